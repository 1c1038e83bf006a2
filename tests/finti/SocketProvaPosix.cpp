/* tests/finti/SocketProvaPosix.cpp - coppia di socket connessi, build nativa. */
#include "tests/finti/SocketProva.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int AvviaReteProva(void)
{
    return 1;
}

int CoppiaConnessa(SocketRete *cliente, SocketRete *servizio)
{
    struct sockaddr_in indirizzo;
    socklen_t lung = sizeof indirizzo;
    int ascolto = socket(AF_INET, SOCK_STREAM, 0);
    int ok = 0;
    *cliente = *servizio = SOCKET_NON_VALIDO;
    memset(&indirizzo, 0, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    indirizzo.sin_port = 0;
    if (ascolto < 0)
        return 0;
    if (bind(ascolto, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0 || listen(ascolto, 1) != 0 ||
        getsockname(ascolto, (struct sockaddr *)&indirizzo, &lung) != 0)
        goto fine;
    *cliente = socket(AF_INET, SOCK_STREAM, 0);
    if (*cliente < 0 || connect(*cliente, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0)
        goto fine;
    *servizio = accept(ascolto, NULL, NULL);
    ok = *servizio >= 0;
fine:
    close(ascolto);
    return ok;
}

void ChiudiSocketProva(SocketRete s)
{
    if (s != SOCKET_NON_VALIDO)
        close(s);
}

void ChiudiInvioProva(SocketRete s)
{
    shutdown(s, SHUT_WR);
}
