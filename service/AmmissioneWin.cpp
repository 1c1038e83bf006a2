/* service/AmmissioneWin.cpp - l'ammissione delle connessioni accettate: lo stato condiviso sotto un
 * blocco, le righe di rifiuto, e i thread di connessione.
 * Ogni connessione ammessa ha un thread tutto suo per la durata della conversazione. Un thread che
 * ha finito la sua resta in attesa della prossima per un poco: sotto carico la connessione nuova va
 * a un thread libero invece di crearne uno (creare e chiudere un thread costa millisecondi di
 * processore sotto Wine, molto piu' di tutta la conversazione). Se nessun thread e' libero se ne
 * crea uno subito: nessuna connessione aspetta un thread.
 * L'attesa e' breve: sotto Wine ogni avvio di un runtime copia lo spazio di indirizzi del servizio,
 * e ogni thread fermo vi aggiunge circa un MiB (misurati circa 30 us di processore in piu' per
 * avvio e per thread fermo). Passata la raffica, i thread che non servono piu' finiscono. */
#include "service/service.h"

#include <stdlib.h>
#include <string.h>

#include <winsock2.h>
#include <windows.h>

/* Thread liberi tenuti in attesa al piu', e per quanto ciascuno attende una connessione nuova. */
#define MAX_THREAD_LIBERI 64
#define ATTESA_THREAD_LIBERO_MS 2000

static StatoAmmissione statoAmmissione;

static CRITICAL_SECTION *BloccoAmmissione(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

/* Una connessione ammessa: quello che il suo thread riceve. Il record lo libera la fine della
 * conversazione. */
typedef struct Connessione {
    SOCKET socketAccettato;
    ProceduraConnessione procedura;
    uint32_t indirizzo;
    unsigned porta;
    int contata;
    DWORD inizioMs; /* all'accept */
} Connessione;

static void LiberaConversazione(uint32_t indirizzo, int contata)
{
    EnterCriticalSection(BloccoAmmissione());
    FineConversazione(&statoAmmissione, indirizzo, contata);
    LeaveCriticalSection(BloccoAmmissione());
}

/* Una conversazione sul thread corrente, con la riga di come e' finita; alla fine, anche fallita,
 * non conta piu'. */
static void ServiConnessione(Connessione *connessione)
{
    char indirizzo[DIM_TESTO_INDIRIZZO];
    char testoEsito[DIM_NOME_RUNTIME + 32];
    EsitoConversazione esito;

    TestoIndirizzo(indirizzo, sizeof indirizzo, connessione->indirizzo);
    ScriviLog("AttivazioneClient - connessione da %s:%u\n", indirizzo, connessione->porta);
    memset(&esito, 0, sizeof esito);
    connessione->procedura((SocketRete)connessione->socketAccettato, &esito);
    TestoEsitoConversazione(testoEsito, sizeof testoEsito, &esito);
    ScriviLog("AttivazioneClient - fine conversazione da %s:%u: %s in %lu ms\n", indirizzo, connessione->porta,
              testoEsito, (unsigned long)(GetTickCount() - connessione->inizioMs));
    LiberaConversazione(connessione->indirizzo, connessione->contata);
    free(connessione);
}

/* ---- Thread liberi ----
 * Il listener affida una connessione a un thread libero prenotandolo (threadLiberi scende), mettendo
 * la connessione in coda e rilasciando il semaforo. Ogni rilascio corrisponde a una prenotazione:
 * un thread libero la cui attesa scade resta se i liberi sono tutti prenotati, perche' allora un
 * rilascio e' suo. Lo stato sta sotto il blocco dell'ammissione. */
static HANDLE semaforoLavoro = NULL;
static Connessione *codaLavoro[MAX_THREAD_LIBERI];
static int testaCoda = 0;
static int numInCoda = 0;
static int threadLiberi = 0; /* in attesa e non prenotati */

/* Il thread che ha finito una conversazione attende la prossima; NULL se deve finire. */
static Connessione *AttendiConnessione(void)
{
    Connessione *connessione = NULL;
    int resta = 1;

    EnterCriticalSection(BloccoAmmissione());
    if (threadLiberi + numInCoda >= MAX_THREAD_LIBERI)
        resta = 0;
    else
        threadLiberi++;
    LeaveCriticalSection(BloccoAmmissione());
    if (!resta)
        return NULL;
    if (WaitForSingleObject(semaforoLavoro, ATTESA_THREAD_LIBERO_MS) != WAIT_OBJECT_0) {
        EnterCriticalSection(BloccoAmmissione());
        resta = threadLiberi == 0;
        if (!resta)
            threadLiberi--;
        LeaveCriticalSection(BloccoAmmissione());
        if (!resta || WaitForSingleObject(semaforoLavoro, INFINITE) != WAIT_OBJECT_0)
            return NULL;
    }
    EnterCriticalSection(BloccoAmmissione());
    connessione = codaLavoro[testaCoda];
    testaCoda = (testaCoda + 1) % MAX_THREAD_LIBERI;
    numInCoda--;
    LeaveCriticalSection(BloccoAmmissione());
    return connessione;
}

/* 1 se un thread libero prende la connessione. */
static int AffidaAThreadLibero(Connessione *connessione)
{
    int affidata = 0;

    if (semaforoLavoro == NULL)
        return 0;
    EnterCriticalSection(BloccoAmmissione());
    if (threadLiberi > 0) {
        threadLiberi--;
        codaLavoro[(testaCoda + numInCoda) % MAX_THREAD_LIBERI] = connessione;
        numInCoda++;
        affidata = 1;
    }
    LeaveCriticalSection(BloccoAmmissione());
    if (affidata)
        ReleaseSemaphore(semaforoLavoro, 1, NULL);
    return affidata;
}

static DWORD WINAPI ThreadConnessione(LPVOID parametro)
{
    Connessione *connessione = (Connessione *)parametro;

    while (connessione != NULL) {
        ServiConnessione(connessione);
        connessione = semaforoLavoro != NULL ? AttendiConnessione() : NULL;
    }
    return 0;
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
    int nonRegistrati = 0;
    int riepilogo = 0;

    EnterCriticalSection(BloccoAmmissione());
    esito = AmmettiConversazione(&statoAmmissione, &ammissioneServizio, indirizzo, &inCorso, contata);
    if (esito != AMMESSA)
        scrivi = RigaRifiutoDaScrivere(&statoAmmissione, indirizzo, GetTickCount(), &omesse);
    riepilogo = RiepilogoRifiutiDaScrivere(&statoAmmissione, GetTickCount(), &nonRegistrati);
    LeaveCriticalSection(BloccoAmmissione());
    if (riepilogo)
        ScriviLog("CicloAccept - altri %d rifiuti non registrati nell'ultimo minuto\n", nonRegistrati);
    if (esito == AMMESSA)
        return 1;
    if (scrivi) {
        TestoIndirizzo(testo, sizeof testo, indirizzo);
        FormattaRigaRifiuto(riga, sizeof riga, esito, testo, inCorso, omesse);
        ScriviLog("%s", riga);
    }
    return 0;
}

void SostituisciRegoleAmmissione(const ConfigAmmissione *regole)
{
    EnterCriticalSection(BloccoAmmissione());
    ammissioneServizio = *regole;
    LeaveCriticalSection(BloccoAmmissione());
}

/* Un thread libero, o uno nuovo; 1 se la connessione ha il suo thread: da li' il record e' suo. */
static int AvviaThread(Connessione *connessione)
{
    if (AffidaAThreadLibero(connessione))
        return 1;
    HANDLE thread = CreateThread(NULL, DIM_STACK_CONNESSIONE, ThreadConnessione, connessione,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (thread == NULL) {
        ScriviLogErrore("CreateThread");
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

/* Il semaforo dei thread liberi, alla prima connessione (dal thread del listener). Senza semaforo
 * ogni connessione ha un thread nuovo. */
static void PreparaThread(void)
{
    static int preparato = 0;

    if (preparato)
        return;
    semaforoLavoro = CreateSemaphoreA(NULL, 0, MAX_THREAD_LIBERI, NULL);
    if (semaforoLavoro == NULL)
        ScriviLogErrore("CreateSemaphore");
    preparato = 1;
}

void AvviaConnessione(SocketRete accettato, const void *indirizzoClient, ProceduraConnessione procedura)
{
    const struct sockaddr_in *client = (const struct sockaddr_in *)indirizzoClient;
    Connessione *connessione = NULL;
    uint32_t indirizzo = ntohl(client->sin_addr.s_addr);
    DWORD inizio = GetTickCount();
    int contata = 0;

    PreparaThread();
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
        connessione->inizioMs = inizio;
        if (AvviaThread(connessione))
            return;
    }
    free(connessione);
    closesocket((SOCKET)accettato);
    LiberaConversazione(indirizzo, contata);
}
