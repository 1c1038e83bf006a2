/* tools/client/ReteClienteWin.cpp - la rete del client su Windows: avvio di Winsock, connessione con
 * limite di tempo, chiusura; uscita binaria. */
#include "tools/client/cliente.h"

#include <string.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

int AvviaReteCliente(void)
{
    WSADATA dati;
    return WSAStartup(MAKEWORD(2, 2), &dati) == 0;
}

void ChiudiCliente(SocketRete s)
{
    if (s == SOCKET_NON_VALIDO)
        return;
    closesocket((SOCKET)s);
}

/* Un tentativo di connessione non bloccante, atteso al piu' limiteMs. 1 se connesso. */
static int ConnettiIndirizzo(SocketRete s, const struct sockaddr *indirizzo, int lungIndirizzo, int limiteMs)
{
    int errore = 0;
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
        SOCKET nuovo = socket(r->ai_family, r->ai_socktype, r->ai_protocol);
        s = nuovo == INVALID_SOCKET ? SOCKET_NON_VALIDO : (SocketRete)nuovo;
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
    _setmode(_fileno(stdout), _O_BINARY); /* righe con il solo a capo, come su Linux */
}
