/* launch/AttivazioneClientWin.cpp - il thread di una connessione accettata: negozia la richiesta,
 * poi risponde con la versione o avvia il runtime con un duplicato ereditabile del socket, e chiude
 * la propria copia del socket. Il runtime eredita solo il suo duplicato. */
#include "launch/launch.h"

#include "install/install.h"
#include "base/base.h"

#include <string.h>

#include <winsock2.h>
#include <windows.h>

/* Tempo massimo di ogni ricezione dal client; 0 toglie il limite. */
static void AttesaRicezione(SocketRete s, DWORD millisecondi)
{
    if (setsockopt((SOCKET)s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&millisecondi, sizeof millisecondi) ==
        SOCKET_ERROR)
        ScriviLogErrore("AttivazioneClient - setsockopt SO_RCVTIMEO");
}

/* ---- Come il runtime eredita il suo socket ----
 * Con la lista esplicita degli handle (sistemi di versione 6 e seguenti) il runtime riceve il solo
 * duplicato. I sistemi di versione 5 non hanno quelle funzioni: si cercano a run time e, dove
 * mancano, ogni socket del servizio e' non ereditabile dalla nascita (il listener e ogni socket
 * accettato), e il duplicato diventa ereditabile, passa a CreateProcess e si chiude sotto un solo
 * blocco: nessun runtime puo' trovare ereditabile il duplicato di un'altra connessione. */

/* Valori di winbase.h per i sistemi di versione 6, che le intestazioni per la versione 5 non danno. */
#define AVVIO_ESTESO 0x00080000UL            /* EXTENDED_STARTUPINFO_PRESENT */
#define ATTRIBUTO_LISTA_HANDLE 0x00020002UL /* PROC_THREAD_ATTRIBUTE_HANDLE_LIST */

/* STARTUPINFOEXA */
typedef struct AvvioEsteso {
    STARTUPINFOA avvio;
    void *listaAttributi;
} AvvioEsteso;

typedef BOOL(WINAPI *FunzioneInizializzaLista)(void *lista, DWORD numAttributi, DWORD flag, SIZE_T *dim);
typedef BOOL(WINAPI *FunzioneAggiornaLista)(void *lista, DWORD flag, DWORD_PTR attributo, void *valore,
                                            SIZE_T dim, void *precedente, SIZE_T *dimPrecedente);
typedef void(WINAPI *FunzioneCancellaLista)(void *lista);

typedef struct FunzioniListaHandle {
    FunzioneInizializzaLista inizializza;
    FunzioneAggiornaLista aggiorna;
    FunzioneCancellaLista cancella;
} FunzioniListaHandle;

static void CercaListaHandle(FunzioniListaHandle *funzioni)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");

    if (kernel == NULL)
        return;
    funzioni->inizializza = (FunzioneInizializzaLista)(void *)GetProcAddress(kernel, "InitializeProcThreadAttributeList");
    funzioni->aggiorna = (FunzioneAggiornaLista)(void *)GetProcAddress(kernel, "UpdateProcThreadAttribute");
    funzioni->cancella = (FunzioneCancellaLista)(void *)GetProcAddress(kernel, "DeleteProcThreadAttributeList");
}

/* Le funzioni della lista degli handle, cercate alla prima chiamata; NULL se il sistema non le ha
 * tutte. */
static const FunzioniListaHandle *ListaHandle(void)
{
    static FunzioniListaHandle funzioni;
    static const int cercate = (CercaListaHandle(&funzioni), 1);

    (void)cercate;
    if (funzioni.inizializza == NULL || funzioni.aggiorna == NULL || funzioni.cancella == NULL)
        return NULL;
    return &funzioni;
}

/* 1 quando il servizio deve fare come se la lista degli handle mancasse; lo decide
 * ScegliEreditarietaRuntime. */
static volatile LONG senzaListaHandle = 0;

void ScegliEreditarietaRuntime(void)
{
    char valore[8];
    DWORD lung = GetEnvironmentVariableA(VARIABILE_SENZA_LISTA_HANDLE, valore, sizeof valore);
    int forzata = lung > 0 && lung < sizeof valore && strcmp(valore, "1") == 0;

    InterlockedExchange(&senzaListaHandle, forzata);
    if (forzata || ListaHandle() == NULL)
        ScriviLog("Avvio del runtime senza lista degli handle: socket non ereditabili e avvio sotto blocco\n");
}

/* Il blocco della via senza lista: una sezione critica, pronta alla prima chiamata. */
static CRITICAL_SECTION *BloccoAvvio(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

/* La lista degli handle con cui avviare il runtime; NULL per la via senza lista. */
static const FunzioniListaHandle *ListaPerAvvio(void)
{
    return senzaListaHandle ? NULL : ListaHandle();
}

int AvvioSenzaListaHandle(void)
{
    return ListaPerAvvio() == NULL;
}

void BloccaAvvioRuntime(void)
{
    EnterCriticalSection(BloccoAvvio());
}

void SbloccaAvvioRuntime(void)
{
    LeaveCriticalSection(BloccoAvvio());
}

/* Il programma del runtime, con il suo percorso completo, e la sua riga di comando. */
typedef struct ComandoRuntime {
    char programma[DIM_PATH];
    char riga[DIM_RIGA_COMANDO];
} ComandoRuntime;

/* CreateProcess del runtime con bInheritHandles, il blocco d'ambiente e la cartella corrente data;
 * flag i flag di creazione. Rende l'identificativo del processo, 0 se non e' partito. */
static DWORD CreaProcessoRuntime(ComandoRuntime *comando, char *blocco, const char *cartella, STARTUPINFOA *avvio,
                                 DWORD flag)
{
    PROCESS_INFORMATION processo;
    int tentativi = 0;
    BOOL avviato = FALSE;

    /* Piu' avvii insieme possono trovare il sistema in un momento sfavorevole (errore interno 1359,
     * visto sotto Wine): si ritenta poche volte prima di dare l'avvio per fallito. */
    for (;;) {
        memset(&processo, 0, sizeof processo);
        avviato = CreateProcessA(comando->programma, comando->riga, NULL, NULL, TRUE, flag, blocco, cartella, avvio,
                                 &processo);
        if (avviato || GetLastError() != ERROR_INTERNAL_ERROR || ++tentativi == 3)
            break;
        Sleep(10);
    }
    if (!avviato) {
        ScriviLogErrore("CreateProcess: \"%s\"", comando->riga);
        return 0;
    }
    CloseHandle(processo.hProcess);
    CloseHandle(processo.hThread);
    return processo.dwProcessId;
}

static int RendiEreditabile(HANDLE duplicato)
{
    if (!SetHandleInformation(duplicato, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        ScriviLogErrore("SetHandleInformation");
        return 0;
    }
    return 1;
}

/* Il runtime eredita il solo duplicato, elencato nella lista degli attributi: nessun altro avvio lo
 * elenca, e il duplicato nasce gia' ereditabile. Rende il processo. */
static DWORD AvviaConListaHandle(const FunzioniListaHandle *lista, ComandoRuntime *comando, char *blocco,
                                 const char *cartella, HANDLE duplicato)
{
    AvvioEsteso avvio;
    SIZE_T dimLista = 0;
    uint64_t areaLista[32]; /* allineata per la lista degli attributi */
    DWORD avviato = 0;

    memset(&avvio, 0, sizeof avvio);
    avvio.avvio.cb = sizeof avvio;
    lista->inizializza(NULL, 1, 0, &dimLista);
    if (dimLista > sizeof areaLista) {
        ScriviLog("AttivazioneClient - lista degli attributi di %lu byte oltre l'area\n", (unsigned long)dimLista);
        return 0;
    }
    avvio.listaAttributi = areaLista;
    if (!lista->inizializza(avvio.listaAttributi, 1, 0, &dimLista)) {
        ScriviLogErrore("InitializeProcThreadAttributeList");
        return 0;
    }
    if (!lista->aggiorna(avvio.listaAttributi, 0, ATTRIBUTO_LISTA_HANDLE, &duplicato, sizeof duplicato, NULL, NULL))
        ScriviLogErrore("UpdateProcThreadAttribute");
    else
        avviato = CreaProcessoRuntime(comando, blocco, cartella, &avvio.avvio, AVVIO_ESTESO);
    lista->cancella(avvio.listaAttributi);
    return avviato;
}

/* Avvia il runtime e chiude il duplicato. Senza lista, il duplicato e' ereditabile solo sotto il
 * blocco dell'avvio, e gli altri socket del servizio non lo sono mai. Rende il processo del
 * runtime, 0 se non e' partito. */
static DWORD AvviaRuntime(const FunzioniListaHandle *lista, ComandoRuntime *comando, char *blocco,
                          const char *cartella, HANDLE duplicato)
{
    STARTUPINFOA avvio;
    DWORD avviato = 0;

    if (lista != NULL) {
        avviato = AvviaConListaHandle(lista, comando, blocco, cartella, duplicato);
        CloseHandle(duplicato);
        return avviato;
    }
    memset(&avvio, 0, sizeof avvio);
    avvio.cb = sizeof avvio;
    EnterCriticalSection(BloccoAvvio());
    if (RendiEreditabile(duplicato))
        avviato = CreaProcessoRuntime(comando, blocco, cartella, &avvio, 0);
    CloseHandle(duplicato);
    LeaveCriticalSection(BloccoAvvio());
    return avviato;
}

/* Avvio del runtime: duplicato del socket, blocco d'ambiente, riga di comando. In *esito il runtime
 * avviato, o la conversazione interrotta. */
static void AttivaApplicativo(SocketRete s, const RichiestaClient *richiesta, EsitoConversazione *esito)
{
    char marcatore[DIM_PATH];
    char cartella[DIM_PATH];
    ComandoRuntime comando;
    char blocco[DIM_BLOCCO_ENVIRONMENT];
    HANDLE duplicato = NULL;
    const char *eseguibile = NULL;
    const FunzioniListaHandle *lista = ListaPerAvvio();
    int cobolVisual = 0;

    /* Senza lista degli handle non ereditabile: lo diventa solo nell'avvio, sotto il suo blocco. */
    if (!DuplicateHandle(GetCurrentProcess(), (HANDLE)s, GetCurrentProcess(), &duplicato, 0, lista != NULL,
                         DUPLICATE_SAME_ACCESS)) {
        ScriviLogErrore("DuplicateHandle");
        return;
    }
    if (CobolVisual(richiesta->dirAmbiente, marcatore, sizeof marcatore)) {
        cobolVisual = 1;
        ScriviLog("Il COBOL installato e' il Visual COBOL\n");
    }
    PreparaEnvironment(blocco, sizeof blocco, richiesta, (uint32_t)(uintptr_t)duplicato, cobolVisual);
    eseguibile = NomeRuntime(richiesta->inChiaro, cobolVisual);
    PathRuntime(richiesta->dirAmbiente, richiesta->inChiaro, cobolVisual, comando.programma, sizeof comando.programma);
    FormattaTesto(comando.riga, sizeof comando.riga, "%s kelvat32", comando.programma);
    ScriviLog("Attivazione applicativo comando = %s \n", comando.riga);
    /* La cartella corrente del runtime e' la cartella prg del suo ambiente, data esplicitamente. */
    FormattaTesto(cartella, sizeof cartella, "%s\\prg", richiesta->dirAmbiente);
    esito->processo = AvviaRuntime(lista, &comando, blocco, cartella, duplicato);
    if (esito->processo != 0) {
        esito->tipo = CONVERSAZIONE_RUNTIME_AVVIATO;
        CopiaTesto(esito->eseguibile, sizeof esito->eseguibile, eseguibile);
    }
}

void AttivazioneClient(SocketRete s, EsitoConversazione *esito)
{
    RichiestaClient richiesta;
    int negoziazione = 0;

    memset(esito, 0, sizeof *esito);
    esito->tipo = CONVERSAZIONE_INTERROTTA;
    InizializzaRichiesta(&richiesta);
    AttesaRicezione(s, ATTESA_RICEZIONE_CLIENT_MS);
    negoziazione = NegoziazioneRichiesta(s, &richiesta);
    /* Aggiornamento del servizio avviato: il thread finisce e la connessione resta aperta. */
    if (negoziazione == NEGOZIAZIONE_FINE_THREAD) {
        esito->tipo = CONVERSAZIONE_AGGIORNAMENTO_SERVIZIO;
        return;
    }
    if (negoziazione != NEGOZIAZIONE_RIUSCITA) {
        esito->tipo = EsitoDaNegoziazione(negoziazione);
        ScriviLog("Impossibile abilitare l'esecuzione del Client (comunicazione con il client interrotta)\n");
        closesocket((SOCKET)s);
        return;
    }
    if (richiesta.richiestaVersione) {
        if (send((SOCKET)s, versioneServizio, (int)strlen(versioneServizio), 0) != SOCKET_ERROR)
            esito->tipo = CONVERSAZIONE_VERSIONE_INVIATA;
    } else {
        /* Il runtime eredita il socket senza il limite di attesa della negoziazione. */
        AttesaRicezione(s, 0);
        AttivaApplicativo(s, &richiesta, esito);
    }
    closesocket((SOCKET)s);
}
