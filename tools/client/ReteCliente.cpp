/* tools/client/ReteCliente.cpp - la rete del client sulla piattaforma: avvio di Winsock,
 * connessione con limite di tempo, chiusura, materiale di chiave. */
#include "tools/client/cliente.h"

#include "base/base.h"

#include <string.h>
#include <time.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

int AvviaReteCliente(void)
{
#ifdef _WIN32
    WSADATA dati;
    return WSAStartup(MAKEWORD(2, 2), &dati) == 0;
#else
    return 1;
#endif
}

void ChiudiCliente(SocketRete s)
{
    if (s == SOCKET_NON_VALIDO)
        return;
#ifdef _WIN32
    closesocket((SOCKET)s);
#else
    close(s);
#endif
}

/* Un tentativo di connessione non bloccante, atteso al piu' limiteMs. 1 se connesso. */
static int ConnettiIndirizzo(SocketRete s, const struct sockaddr *indirizzo, int lungIndirizzo, int limiteMs)
{
    int errore = 0;
#ifdef _WIN32
    u_long nonBloccante = 1;
    ioctlsocket((SOCKET)s, FIONBIO, &nonBloccante);
    if (connect((SOCKET)s, indirizzo, lungIndirizzo) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return 0;
        fd_set scrivibili, eccezioni;
        FD_ZERO(&scrivibili);
        FD_ZERO(&eccezioni);
        FD_SET((SOCKET)s, &scrivibili);
        FD_SET((SOCKET)s, &eccezioni);
        struct timeval limite = {limiteMs / 1000, (limiteMs % 1000) * 1000};
        if (select(0, NULL, &scrivibili, &eccezioni, &limite) <= 0 || FD_ISSET((SOCKET)s, &eccezioni))
            return 0;
    }
    int lung = (int)sizeof errore;
    if (getsockopt((SOCKET)s, SOL_SOCKET, SO_ERROR, (char *)&errore, &lung) != 0 || errore != 0)
        return 0;
    nonBloccante = 0;
    ioctlsocket((SOCKET)s, FIONBIO, &nonBloccante);
#else
    int flag = fcntl(s, F_GETFL, 0);
    fcntl(s, F_SETFL, flag | O_NONBLOCK);
    if (connect(s, indirizzo, (socklen_t)lungIndirizzo) != 0) {
        if (errno != EINPROGRESS)
            return 0;
        struct pollfd attesa = {s, POLLOUT, 0};
        int n;
        do
            n = poll(&attesa, 1, limiteMs);
        while (n < 0 && errno == EINTR);
        if (n <= 0)
            return 0;
    }
    socklen_t lung = sizeof errore;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &errore, &lung) != 0 || errore != 0)
        return 0;
    fcntl(s, F_SETFL, flag);
#endif
    return 1;
}

SocketRete ConnettiCliente(const char *host, const char *porta, int limiteMs, char *errore, size_t dimErrore)
{
    struct addrinfo richiesta;
    struct addrinfo *risultati = NULL;
    SocketRete s = SOCKET_NON_VALIDO;

    memset(&richiesta, 0, sizeof richiesta);
    richiesta.ai_family = AF_UNSPEC;
    richiesta.ai_socktype = SOCK_STREAM;
    richiesta.ai_protocol = IPPROTO_TCP;
    int esito = getaddrinfo(host, porta, &richiesta, &risultati);
    if (esito != 0) {
        FormattaTesto(errore, dimErrore, "indirizzo %s porta %s non valido", host, porta);
        return SOCKET_NON_VALIDO;
    }
    for (struct addrinfo *r = risultati; r != NULL && s == SOCKET_NON_VALIDO; r = r->ai_next) {
#ifdef _WIN32
        SOCKET nuovo = socket(r->ai_family, r->ai_socktype, r->ai_protocol);
        s = nuovo == INVALID_SOCKET ? SOCKET_NON_VALIDO : (SocketRete)nuovo;
#else
        s = socket(r->ai_family, r->ai_socktype, r->ai_protocol);
#endif
        if (s != SOCKET_NON_VALIDO && !ConnettiIndirizzo(s, r->ai_addr, (int)r->ai_addrlen, limiteMs)) {
            ChiudiCliente(s);
            s = SOCKET_NON_VALIDO;
        }
    }
    freeaddrinfo(risultati);
    if (s == SOCKET_NON_VALIDO)
        FormattaTesto(errore, dimErrore, "impossibile connettersi a %s porta %s", host, porta);
    return s;
}

void GeneraMaterialeCliente(uint8_t *materiale)
{
    static uint32_t contatore = 0;
    uint32_t x = (uint32_t)time(NULL) ^ (IdentificativoProcesso() * 2654435761u) ^ (++contatore * 40503u);
    if (x == 0)
        x = 0x9e3779b9u;
    for (int i = 0; i < DIM_CHIAVE; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        materiale[i] = (uint8_t)(x >> 24);
    }
    /* Il materiale non deve sembrare la frase in chiaro al servizio. */
    if (materiale[0] == (uint8_t)FRASE_IN_CHIARO[0])
        materiale[0] ^= 0x80;
}
