/* tests/finti/CoppiaSocket.cpp - coppia di socket TCP su loopback per le prove delle conversazioni. */
#include "tests/finti/CoppiaSocket.h"

#include <string.h>

#ifdef _WIN32
#include <winsock2.h>
typedef int LungIndirizzo;
#define SPEGNI_INVIO SD_SEND
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
typedef socklen_t LungIndirizzo;
#define closesocket close
#define SPEGNI_INVIO SHUT_WR
#endif

int CreaCoppiaSocket(SocketRete *lato1, SocketRete *lato2)
{
#ifdef _WIN32
    WSADATA dati;
    if (WSAStartup(0x0101, &dati) != 0)
        return 0;
#endif
    struct sockaddr_in indirizzo;
    LungIndirizzo lung = sizeof indirizzo;
    SocketRete ascolto = (SocketRete)socket(AF_INET, SOCK_STREAM, 0);
    memset(&indirizzo, 0, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (ascolto == SOCKET_NON_VALIDO || bind(ascolto, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0 ||
        listen(ascolto, 1) != 0 || getsockname(ascolto, (struct sockaddr *)&indirizzo, &lung) != 0)
        return 0;
    *lato1 = (SocketRete)socket(AF_INET, SOCK_STREAM, 0);
    if (connect(*lato1, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0)
        return 0;
    *lato2 = (SocketRete)accept(ascolto, NULL, NULL);
    closesocket(ascolto);
    return *lato2 != SOCKET_NON_VALIDO;
}

void ChiudiSocket(SocketRete s)
{
    closesocket(s);
}

void ChiudiInvio(SocketRete s)
{
    shutdown(s, SPEGNI_INVIO);
}
