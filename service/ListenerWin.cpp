/* service/ListenerWin.cpp - socket di ascolto sulla porta configurata e ciclo di accept.
 * Ogni connessione accettata passa a un thread staccato che ne diventa proprietario. */
#include "service/service.h"

#include <winsock2.h>
#include <windows.h>

/* Un socket del servizio non passa mai ai processi figli: i runtime ereditano solo il duplicato
 * fatto per loro (dove manca la lista degli handle, e' questo a tenerli separati). */
static void NonEreditabile(SOCKET s)
{
    if (!SetHandleInformation((HANDLE)s, HANDLE_FLAG_INHERIT, 0))
        ScriviLogErrore("SetHandleInformation");
}

int portaServizio = 0;

int ApriListener(const char *strPathShare, const char *sistInfo, SocketRete *socketAscolto, const char **passoFallito)
{
    WSADATA datiWinsock;
    SOCKET ascolto = INVALID_SOCKET;
    struct sockaddr_in indirizzo;
    int porta = 0;
    int riuso = 1;
    int esito = 0;
    int errore = 0;

    *socketAscolto = SOCKET_NON_VALIDO;
    *passoFallito = NULL;
    errore = WSAStartup(0x0101, &datiWinsock);
    if (errore != 0) {
        /* WSAStartup rende il codice invece di impostarlo: lo si mette dove il chiamante lo cerca. */
        SetLastError((DWORD)errore);
        *passoFallito = "WSAStartup";
        return 0;
    }
    ascolto = socket(AF_INET, SOCK_STREAM, 0);
    if (ascolto == INVALID_SOCKET) {
        *passoFallito = "socket";
        goto fine;
    }
    NonEreditabile(ascolto);
    if (!PortaSocket(strPathShare, sistInfo, &porta))
        goto fine;
    if (setsockopt(ascolto, SOL_SOCKET, SO_REUSEADDR, (const char *)&riuso, sizeof riuso) == SOCKET_ERROR) {
        *passoFallito = "setsockopt SO_REUSEADDR";
        goto fine;
    }
    ZeroMemory(&indirizzo, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_ANY);
    indirizzo.sin_port = htons((u_short)porta);
    if (bind(ascolto, (struct sockaddr *)&indirizzo, sizeof indirizzo) == SOCKET_ERROR) {
        *passoFallito = "bind";
        goto fine;
    }
    *socketAscolto = (SocketRete)ascolto;
    ascolto = INVALID_SOCKET;
    portaServizio = porta;
    esito = 1;
fine:
    if (ascolto != INVALID_SOCKET) {
        errore = (int)GetLastError();
        closesocket(ascolto);
        SetLastError((DWORD)errore);
    }
    return esito;
}

void CicloAccept(SocketRete socketAscolto, ProceduraConnessione procedura)
{
    SOCKET ascolto = (SOCKET)socketAscolto;
    SOCKET accettato = INVALID_SOCKET;
    struct sockaddr_in client;
    int lungClient = 0;

    /* Una coda d'attesa di 1 lascia in sospeso per secondi, o perde, i client che arrivano insieme. */
    if (listen(ascolto, SOMAXCONN) == SOCKET_ERROR) {
        ScriviLogErrore("listen");
        return;
    }
    for (;;) {
        lungClient = sizeof client;
        accettato = accept(ascolto, (struct sockaddr *)&client, &lungClient);
        if (accettato == INVALID_SOCKET)
            break;
        NonEreditabile(accettato);
        AvviaConnessione((SocketRete)accettato, &client, procedura);
        if (listen(ascolto, SOMAXCONN) == SOCKET_ERROR)
            break;
    }
    ScriviLogErrore("listen");
}
