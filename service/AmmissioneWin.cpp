/* service/AmmissioneWin.cpp - l'ammissione delle connessioni accettate: lo stato condiviso sotto un
 * blocco, le righe di rifiuto, e il thread di connessione che scrive da chi viene la connessione;
 * quando il thread finisce, un'attesa registrata sulla sua handle libera la conversazione. */
#include "service/service.h"

#include "service/Listener.h"

#include <stdlib.h>

#include <winsock2.h>
#include <windows.h>

static StatoAmmissione statoAmmissione;

static CRITICAL_SECTION *BloccoAmmissione(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

/* Una connessione ammessa: quello che il suo thread riceve e, per la fine del thread, la sua handle
 * e l'attesa registrata su di essa. Il record lo libera la fine del thread. */
typedef struct Connessione {
    SOCKET socketAccettato;
    ProceduraConnessione procedura;
    uint32_t indirizzo;
    unsigned porta;
    int contata;
    HANDLE thread;
    HANDLE attesa;
} Connessione;

static void LiberaConversazione(uint32_t indirizzo, int contata)
{
    EnterCriticalSection(BloccoAmmissione());
    FineConversazione(&statoAmmissione, indirizzo, contata);
    LeaveCriticalSection(BloccoAmmissione());
}

static DWORD WINAPI ThreadConnessione(LPVOID parametro)
{
    const Connessione *connessione = (const Connessione *)parametro;
    char indirizzo[DIM_TESTO_INDIRIZZO];

    TestoIndirizzo(indirizzo, sizeof indirizzo, connessione->indirizzo);
    ScriviLog("AttivazioneClient - connessione da %s:%u\n", indirizzo, connessione->porta);
    return connessione->procedura((void *)connessione->socketAccettato);
}

/* Il thread della connessione e' finito, comunque sia finito (anche con ExitThread dentro la
 * procedura): la sua conversazione non conta piu'. */
static VOID CALLBACK FineThreadConnessione(PVOID parametro, BOOLEAN scaduta)
{
    Connessione *connessione = (Connessione *)parametro;

    (void)scaduta;
    LiberaConversazione(connessione->indirizzo, connessione->contata);
    UnregisterWait(connessione->attesa);
    CloseHandle(connessione->thread);
    free(connessione);
}

/* 1 se la connessione e' ammessa (e contata); altrimenti la riga di rifiuto, se e' il suo turno. */
static int Ammetti(uint32_t indirizzo, int *contata)
{
    char testo[DIM_TESTO_INDIRIZZO];
    char riga[256];
    EsitoAmmissione esito = AMMESSA;
    int inCorso = 0;
    int omesse = 0;
    int scrivi = 0;

    EnterCriticalSection(BloccoAmmissione());
    esito = AmmettiConversazione(&statoAmmissione, &ammissioneServizio, indirizzo, &inCorso, contata);
    if (esito != AMMESSA)
        scrivi = RigaRifiutoDaScrivere(&statoAmmissione, indirizzo, GetTickCount(), &omesse);
    LeaveCriticalSection(BloccoAmmissione());
    if (esito == AMMESSA)
        return 1;
    if (scrivi) {
        TestoIndirizzo(testo, sizeof testo, indirizzo);
        FormattaRigaRifiuto(riga, sizeof riga, esito, testo, inCorso, omesse);
        ScriviLog("%s", riga);
    }
    return 0;
}

/* Il thread sospeso, l'attesa della sua fine, poi il via: cosi' la fine non arriva prima
 * dell'attesa. 1 se il thread e' partito. */
static int AvviaThread(Connessione *connessione)
{
    connessione->thread = CreateThread(NULL, DIM_STACK_CONNESSIONE, ThreadConnessione, connessione,
                                       CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (connessione->thread == NULL) {
        ScriviLogErrore("CreateThread");
        return 0;
    }
    if (!RegisterWaitForSingleObject(&connessione->attesa, connessione->thread, FineThreadConnessione, connessione,
                                     INFINITE, WT_EXECUTEONLYONCE)) {
        ScriviLogErrore("RegisterWaitForSingleObject");
        TerminateThread(connessione->thread, 0); /* mai partito */
        CloseHandle(connessione->thread);
        return 0;
    }
    ResumeThread(connessione->thread);
    return 1;
}

void AvviaConnessione(SocketRete accettato, const void *indirizzoClient, ProceduraConnessione procedura)
{
    const struct sockaddr_in *client = (const struct sockaddr_in *)indirizzoClient;
    Connessione *connessione = NULL;
    uint32_t indirizzo = ntohl(client->sin_addr.s_addr);
    int contata = 0;

    if (!Ammetti(indirizzo, &contata)) {
        closesocket((SOCKET)accettato);
        return;
    }
    connessione = (Connessione *)calloc(1, sizeof *connessione);
    if (connessione == NULL) {
        ScriviLog("CicloAccept - memoria esaurita per la connessione\n");
    } else {
        connessione->socketAccettato = (SOCKET)accettato;
        connessione->procedura = procedura;
        connessione->indirizzo = indirizzo;
        connessione->porta = ntohs(client->sin_port);
        connessione->contata = contata;
        if (AvviaThread(connessione))
            return;
    }
    free(connessione);
    closesocket((SOCKET)accettato);
    LiberaConversazione(indirizzo, contata);
}
