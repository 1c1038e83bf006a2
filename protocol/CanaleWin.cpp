/* protocol/CanaleWin.cpp - CanaleRete su un SOCKET di Winsock. Gli errori vanno nel log con il
 * nome della chiamata, letti subito (WSAGetLastError e GetLastError sono lo stesso valore). */
#include "protocol/protocol.h"

#include "base/base.h"

#include <winsock2.h>
#include <windows.h>

static SOCKET SocketDi(void *contesto)
{
    return (SOCKET) * (SocketRete *)contesto;
}

static int RiceviSocket(void *contesto, uint8_t *dove, int quanti)
{
    int n = recv(SocketDi(contesto), (char *)dove, quanti, 0);
    if (n == SOCKET_ERROR) {
        ScriviLogErrore("recv");
        return -1;
    }
    return n;
}

static int SbirciaSocket(void *contesto, uint8_t *dove, int quanti)
{
    int n = recv(SocketDi(contesto), (char *)dove, quanti, MSG_PEEK);
    if (n == SOCKET_ERROR) {
        ScriviLogErrore("recv");
        return -1;
    }
    return n;
}

static int InviaSocket(void *contesto, const uint8_t *cosa, int quanti)
{
    int n = send(SocketDi(contesto), (const char *)cosa, quanti, 0);
    if (n == SOCKET_ERROR) {
        ScriviLogErrore("send");
        return -1;
    }
    return n;
}

static int AttendiSocket(void *contesto, int millisecondi)
{
    fd_set leggibili;
    struct timeval limite;
    FD_ZERO(&leggibili);
    FD_SET(SocketDi(contesto), &leggibili);
    limite.tv_sec = millisecondi / 1000;
    limite.tv_usec = (millisecondi % 1000) * 1000;
    int n = select(0, &leggibili, NULL, NULL, &limite);
    if (n == SOCKET_ERROR) {
        ScriviLogErrore("select");
        return -1;
    }
    return n > 0 ? 1 : 0;
}

void CanaleSuSocket(CanaleRete *canale, SocketRete *s)
{
    canale->ricevi = RiceviSocket;
    canale->invia = InviaSocket;
    canale->attendi = AttendiSocket;
    canale->sbircia = SbirciaSocket;
    canale->contesto = s;
}

uint32_t IdentificativoProcesso(void)
{
    return (uint32_t)GetCurrentProcessId();
}
