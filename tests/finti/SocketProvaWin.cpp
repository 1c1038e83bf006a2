/* tests/finti/SocketProvaWin.cpp - coppia di socket connessi con Winsock (sotto Wine). */
#include "tests/finti/SocketProva.h"

#include <string.h>

#include <winsock2.h>
#include <windows.h>

int AvviaReteProva(void)
{
    WSADATA dati;
    return WSAStartup(MAKEWORD(2, 2), &dati) == 0;
}

int CoppiaConnessa(SocketRete *cliente, SocketRete *servizio)
{
    struct sockaddr_in indirizzo;
    int lung = sizeof indirizzo;
    SOCKET ascolto = socket(AF_INET, SOCK_STREAM, 0);
    SOCKET connesso = INVALID_SOCKET;
    SOCKET accettato = INVALID_SOCKET;
    int ok = 0;
    memset(&indirizzo, 0, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    indirizzo.sin_port = 0;
    if (ascolto == INVALID_SOCKET)
        return 0;
    if (bind(ascolto, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0 || listen(ascolto, 1) != 0 ||
        getsockname(ascolto, (struct sockaddr *)&indirizzo, &lung) != 0)
        goto fine;
    connesso = socket(AF_INET, SOCK_STREAM, 0);
    if (connesso == INVALID_SOCKET || connect(connesso, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0)
        goto fine;
    accettato = accept(ascolto, NULL, NULL);
    ok = accettato != INVALID_SOCKET;
fine:
    closesocket(ascolto);
    *cliente = (SocketRete)connesso;
    *servizio = (SocketRete)accettato;
    return ok;
}

void ChiudiSocketProva(SocketRete s)
{
    if (s != SOCKET_NON_VALIDO)
        closesocket((SOCKET)s);
}

void ChiudiInvioProva(SocketRete s)
{
    shutdown((SOCKET)s, SD_SEND);
}
