/* service/AmmissioneWin.cpp - l'ammissione delle connessioni accettate: lo stato condiviso sotto un
 * blocco, le righe di rifiuto, e il thread di connessione che scrive da chi viene la connessione e,
 * finita la procedura, libera la sua conversazione. */
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

/* Quello che il thread di una connessione riceve dal ciclo di accept. */
typedef struct Connessione {
    SOCKET socketAccettato;
    ProceduraConnessione procedura;
    uint32_t indirizzo;
    unsigned porta;
    int contata;
} Connessione;

static DWORD WINAPI ThreadConnessione(LPVOID parametro)
{
    Connessione connessione = *(Connessione *)parametro;
    char indirizzo[DIM_TESTO_INDIRIZZO];
    DWORD risultato = 0;

    free(parametro);
    TestoIndirizzo(indirizzo, sizeof indirizzo, connessione.indirizzo);
    ScriviLog("AttivazioneClient - connessione da %s:%u\n", indirizzo, connessione.porta);
    risultato = connessione.procedura((void *)connessione.socketAccettato);
    EnterCriticalSection(BloccoAmmissione());
    FineConversazione(&statoAmmissione, connessione.indirizzo, connessione.contata);
    LeaveCriticalSection(BloccoAmmissione());
    return risultato;
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

void AvviaConnessione(SocketRete accettato, const void *indirizzoClient, ProceduraConnessione procedura)
{
    const struct sockaddr_in *client = (const struct sockaddr_in *)indirizzoClient;
    Connessione *connessione = NULL;
    HANDLE thread = NULL;
    uint32_t indirizzo = ntohl(client->sin_addr.s_addr);
    int contata = 0;

    if (!Ammetti(indirizzo, &contata)) {
        closesocket((SOCKET)accettato);
        return;
    }
    connessione = (Connessione *)malloc(sizeof *connessione);
    if (connessione != NULL) {
        connessione->socketAccettato = (SOCKET)accettato;
        connessione->procedura = procedura;
        connessione->indirizzo = indirizzo;
        connessione->porta = ntohs(client->sin_port);
        connessione->contata = contata;
        thread = CreateThread(NULL, DIM_STACK_CONNESSIONE, ThreadConnessione, connessione,
                              STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
        if (thread == NULL)
            ScriviLogErrore("CreateThread");
    } else {
        ScriviLog("CicloAccept - memoria esaurita per la connessione\n");
    }
    if (thread != NULL) {
        CloseHandle(thread);
        return;
    }
    free(connessione);
    closesocket((SOCKET)accettato);
    EnterCriticalSection(BloccoAmmissione());
    FineConversazione(&statoAmmissione, indirizzo, contata);
    LeaveCriticalSection(BloccoAmmissione());
}
