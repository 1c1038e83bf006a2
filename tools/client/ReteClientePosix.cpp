/* tools/client/ReteClientePosix.cpp - la rete del client su Linux: connessione con limite di tempo,
 * chiusura. */
#include "tools/client/cliente.h"

#include <errno.h>
#include <string.h>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int AvviaReteCliente(void)
{
    return 1;
}

void ChiudiCliente(SocketRete s)
{
    if (s == SOCKET_NON_VALIDO)
        return;
    close(s);
}

/* Un tentativo di connessione non bloccante, atteso al piu' limiteMs. 1 se connesso. */
static int ConnettiIndirizzo(SocketRete s, const struct sockaddr *indirizzo, int lungIndirizzo, int limiteMs)
{
    int errore = 0;
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
        s = socket(r->ai_family, r->ai_socktype, r->ai_protocol);
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

void UscitaBinaria(void)
{
}
