/* service/ListenerWin.cpp - socket di ascolto sulla porta configurata e ciclo di accept.
 * Ogni connessione accettata passa ad AvviaConnessione, che la affida a un thread libero o nuovo. */
#include "service/service.h"

#include "launch/launch.h"

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

void (*provaDopoAccept)(void) = NULL;

/* Il passo del ciclo: un accept e l'affido della connessione. */
typedef struct ContestoAccept {
    SOCKET ascolto;
    ProceduraConnessione procedura;
    int nonBloccante; /* il socket di ascolto e' in modo non bloccante */
} ContestoAccept;

static int ModoAscolto(ContestoAccept *ciclo, int nonBloccante)
{
    u_long modo = (u_long)nonBloccante;

    if (ciclo->nonBloccante == nonBloccante)
        return 0;
    if (ioctlsocket(ciclo->ascolto, FIONBIO, &modo) == SOCKET_ERROR)
        return WSAGetLastError();
    ciclo->nonBloccante = nonBloccante;
    return 0;
}

/* Un accept; con sottoBlocco, accept e cambio del flag sotto il blocco dell'avvio dei runtime, con
 * l'attesa della connessione fuori: dentro, l'accept non si blocca. 0 con *accettato
 * INVALID_SOCKET se la connessione e' sparita intanto. */
static int Accetta(ContestoAccept *ciclo, int sottoBlocco, SOCKET *accettato, struct sockaddr_in *client)
{
    int lungClient = sizeof *client;
    int errore = ModoAscolto(ciclo, sottoBlocco);
    int bloccato = 0;
    fd_set pronti;

    *accettato = INVALID_SOCKET;
    if (errore == 0 && sottoBlocco) {
        FD_ZERO(&pronti);
        FD_SET(ciclo->ascolto, &pronti);
        if (select(0, &pronti, NULL, NULL, NULL) == SOCKET_ERROR)
            return WSAGetLastError();
        BloccaAvvioRuntime();
        bloccato = 1;
    }
    if (errore == 0) {
        *accettato = accept(ciclo->ascolto, (struct sockaddr *)client, &lungClient);
        errore = *accettato == INVALID_SOCKET ? WSAGetLastError() : 0;
    }
    if (*accettato != INVALID_SOCKET) {
        if (provaDopoAccept != NULL)
            provaDopoAccept();
        NonEreditabile(*accettato);
    }
    if (bloccato)
        SbloccaAvvioRuntime();
    /* La connessione e' caduta tra select e accept: niente da dire. */
    if (bloccato && errore == WSAEWOULDBLOCK)
        errore = 0;
    SetLastError((DWORD)errore);
    return errore;
}

static int AccettaEAvvia(void *contesto)
{
    ContestoAccept *ciclo = (ContestoAccept *)contesto;
    struct sockaddr_in client;
    SOCKET accettato = INVALID_SOCKET;
    u_long bloccante = 0;
    int sottoBlocco = AvvioSenzaListaHandle();
    int errore = Accetta(ciclo, sottoBlocco, &accettato, &client);

    if (accettato == INVALID_SOCKET)
        return errore;
    /* Il socket accettato eredita il modo non bloccante del socket di ascolto. */
    if (sottoBlocco && ioctlsocket(accettato, FIONBIO, &bloccante) == SOCKET_ERROR)
        ScriviLogErrore("CicloAccept - ioctlsocket FIONBIO");
    AvviaConnessione((SocketRete)accettato, &client, ciclo->procedura);
    return 0;
}

static void Attendi(int millisecondi)
{
    Sleep((DWORD)millisecondi);
}

static uint32_t AdessoMs(void)
{
    return GetTickCount();
}

void CicloAccept(SocketRete socketAscolto, ProceduraConnessione procedura)
{
    ContestoAccept ciclo = {(SOCKET)socketAscolto, procedura, 0};
    PassiAccept passi = {AccettaEAvvia, Attendi, AdessoMs, &ciclo};

    /* Una coda d'attesa di 1 lascia in sospeso per secondi, o perde, i client che arrivano insieme.
     * Il listen si fa una volta: ripeterlo dopo ogni accept non cambia nulla per i client. */
    if (listen(ciclo.ascolto, SOMAXCONN) == SOCKET_ERROR) {
        ScriviLogErrore("listen");
        return;
    }
    CicloAcceptPassi(&passi);
}
