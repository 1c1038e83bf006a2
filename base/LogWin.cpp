/* base/LogWin.cpp - ScriviLog e ScriviLogErrore: il file tarnel.log, aperto una volta per processo.
 * Un solo blocco di processo copre l'intera chiamata: i record non si mescolano mai tra thread.
 * Il file e' aperto in sola aggiunta (FILE_APPEND_DATA) e ogni record, gia' composto con gli a capo
 * CR LF del modo testo, va in una sola scrittura: il sistema lo mette sempre in fondo, anche quando
 * un altro processo ha scritto nel frattempo, e i record di due processi non si coprono mai.
 * Il blocco tra i processi si prende solo quando un altro processo ha lo stesso log aperto.
 * ScriviLog lascia intatto l'ultimo errore del thread, cosi' chi registra puo' poi ancora leggerlo. */
#include "base/base.h"

#include "base/Log.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <windows.h>
#include <sddl.h>

static HANDLE fileLog = INVALID_HANDLE_VALUE;
/* Parte alta della posizione del byte che fa da blocco tra i processi: 2^62, oltre ogni file vero. */
#define ZONA_BLOCCO_LOG 0x40000000
static char pathLog[DIM_PATH] = "";
/* Data e ora dell'ultimo record e il secondo a cui valgono: l'ora locale si chiede al sistema una
 * volta al secondo, non a ogni record. Sotto il blocco del log. */
static char areaTimestamp[32];
static uint64_t secondoTimestamp = UINT64_MAX;
static volatile LONG destinazioneLog = LOG_SU_FILE;

void ScegliDestinazioneLog(DestinazioneLog destinazione)
{
    InterlockedExchange(&destinazioneLog, (LONG)destinazione);
}

/* Il blocco del log, pronto alla prima chiamata anche se questa arriva prima di main. */
static CRITICAL_SECTION *BloccoLog(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

/* ---- Il blocco tra i processi ----
 * Un byte ben oltre ogni fine reale del file, bloccato per ogni scrittura e per ogni rotazione: mette
 * in fila i processi che scrivono lo stesso file. */
static void BloccaFileLog(OVERLAPPED *zona, BOOL *bloccato)
{
    ZeroMemory(zona, sizeof *zona);
    zona->OffsetHigh = ZONA_BLOCCO_LOG;
    *bloccato = LockFileEx(fileLog, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, zona);
}

static void SbloccaFileLog(OVERLAPPED *zona, BOOL bloccato)
{
    if (bloccato)
        UnlockFileEx(fileLog, 0, 1, 0, zona);
}

/* ---- Chi scrive lo stesso log ----
 * Il blocco tra i processi costa due richieste al sistema per record, e serve solo quando un altro
 * processo scrive lo stesso file (sotto Wine la scrittura in fondo e' fatta di due passi, e una
 * rotazione non deve mai cadere a meta' di un record altrui). Una pagina condivisa, con il nome
 * dall'impronta del percorso, conta i processi che hanno il log aperto e le scritture in corso
 * senza blocco. Chi scrive senza blocco lo dichiara e poi guarda se e' il solo processo; chi
 * arriva si conta e poi attende che le scritture senza blocco in corso finiscano: dei due almeno
 * uno vede l'altro, e nessun record si scrive senza blocco mentre un altro processo scrive.
 * Un processo che finisce senza togliersi dal conto lascia gli altri al blocco di sempre; senza la
 * pagina si blocca sempre. */
typedef struct PaginaLog {
    volatile LONG processi;    /* processi con il log aperto */
    volatile LONG senzaBlocco; /* scritture in corso senza il blocco tra i processi */
} PaginaLog;

/* Attesa massima delle scritture senza blocco di un altro processo: solo uno finito a meta' di una
 * scrittura la fa durare tanto. */
#define ATTESA_SCRITTURE_SENZA_BLOCCO_MS 2000
/* SYSTEM, gli amministratori e gli utenti autenticati: chiunque possa scrivere il log vi si conta. */
#define SICUREZZA_PAGINA_LOG "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;AU)"

static PaginaLog *paginaLog = NULL; /* mappata; sotto il blocco del log */
static int paginaCercata = 0;       /* la mappatura si tenta una volta sola */
static int contatoNellaPagina = 0;

static LONG Leggi(volatile LONG *valore)
{
    return InterlockedCompareExchange(valore, 0, 0);
}

static PaginaLog *MappaPagina(void)
{
    char nome[64];
    SECURITY_ATTRIBUTES sicurezza;
    PSECURITY_DESCRIPTOR descrittore = NULL;
    HANDLE sezione = NULL;
    void *vista = NULL;

    FormattaTesto(nome, sizeof nome, "Global\\tarnel.log-%08lx", (unsigned long)ImprontaPathLog(pathLog));
    ZeroMemory(&sicurezza, sizeof sicurezza);
    sicurezza.nLength = sizeof sicurezza;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(SICUREZZA_PAGINA_LOG, SDDL_REVISION_1, &descrittore,
                                                             NULL))
        sicurezza.lpSecurityDescriptor = descrittore;
    sezione = CreateFileMappingA(INVALID_HANDLE_VALUE, &sicurezza, PAGE_READWRITE, 0, sizeof(PaginaLog), nome);
    if (descrittore != NULL)
        LocalFree(descrittore);
    if (sezione == NULL)
        return NULL;
    /* L'handle resta aperto finche' vive il processo: sotto Wine il nome della sezione sparisce con
     * l'ultimo handle, anche se le viste restano, e chi arriva dopo ne creerebbe un'altra. */
    vista = MapViewOfFile(sezione, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(PaginaLog));
    if (vista == NULL)
        CloseHandle(sezione);
    return (PaginaLog *)vista;
}

/* Sotto il blocco del log: il processo si conta, poi lascia finire chi scriveva da solo. */
static void ContaNellaPagina(void)
{
    DWORD inizio = GetTickCount();

    if (contatoNellaPagina)
        return;
    if (!paginaCercata) {
        paginaCercata = 1;
        paginaLog = MappaPagina();
    }
    if (paginaLog == NULL)
        return;
    InterlockedIncrement(&paginaLog->processi);
    contatoNellaPagina = 1;
    while (Leggi(&paginaLog->senzaBlocco) != 0 && GetTickCount() - inizio < ATTESA_SCRITTURE_SENZA_BLOCCO_MS)
        Sleep(1);
}

/* Alla fine del processo, dopo il suo ultimo record: gli altri non lo aspettano piu'. Un record
 * scritto ancora dopo lo riconta. Se un thread e' ancora nel log (o vi e' finito a meta') il
 * processo resta contato: gli altri continuano a bloccare, e la fine non attende. */
static void TogliDallaPagina(void)
{
    if (!TryEnterCriticalSection(BloccoLog()))
        return;
    if (contatoNellaPagina)
        InterlockedDecrement(&paginaLog->processi);
    contatoNellaPagina = 0;
    LeaveCriticalSection(BloccoLog());
}

/* 1 se il record si puo' scrivere senza blocco: il processo e' il solo a scrivere il log. Se 1, la
 * scrittura e' dichiarata e FineSenzaBlocco la chiude. */
static int InizioSenzaBlocco(void)
{
    if (!contatoNellaPagina)
        ContaNellaPagina();
    if (!contatoNellaPagina)
        return 0;
    InterlockedIncrement(&paginaLog->senzaBlocco);
    if (Leggi(&paginaLog->processi) == 1)
        return 1;
    InterlockedDecrement(&paginaLog->senzaBlocco);
    return 0;
}

static void FineSenzaBlocco(void)
{
    InterlockedDecrement(&paginaLog->senzaBlocco);
}

/* ---- Rotazione ----
 * La dimensione si guarda all'apertura e poi al piu' una volta per intervallo, e sempre sotto il
 * blocco tra i processi: chi trova il file oltre il limite lo ruota prima di scrivere, e chi viene
 * dopo lo trova gia' piccolo. Il file vivo non si rinomina (altri processi lo tengono aperto):
 * si copia in tarnel.log.1 e si tronca sul posto; le generazioni vecchie salgono di un numero. */
static uint64_t limiteLog = DIMENSIONE_MASSIMA_LOG;
static uint32_t intervalloControlloMs = INTERVALLO_CONTROLLO_LOG_MS;
static int dimensioneControllata = 0;
static uint32_t ultimoControlloMs = 0;

void RegolaRotazioneLog(uint64_t limite, uint32_t intervalloMs)
{
    limiteLog = limite;
    intervalloControlloMs = intervalloMs;
}

/* tarnel.log.8 in .9, ... .1 in .2, il file vivo copiato in .1 e troncato. Se la copia non riesce
 * il file resta com'e': nessuna riga si perde, si riprova al controllo seguente. */
static void RuotaLog(void)
{
    char piuVecchia[DIM_PATH + 4];
    char recente[DIM_PATH + 4];
    HANDLE tronca = INVALID_HANDLE_VALUE;

    for (int n = GENERAZIONI_LOG; n > 1; n--)
        if (PathGenerazioneLog(piuVecchia, sizeof piuVecchia, pathLog, n) &&
            PathGenerazioneLog(recente, sizeof recente, pathLog, n - 1))
            MoveFileExA(recente, piuVecchia, MOVEFILE_REPLACE_EXISTING);
    if (!PathGenerazioneLog(recente, sizeof recente, pathLog, 1) || !CopyFileA(pathLog, recente, FALSE))
        return;
    tronca = CreateFileA(pathLog, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                         TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (tronca != INVALID_HANDLE_VALUE)
        CloseHandle(tronca);
}

/* Sotto il blocco tra i processi: se e' ora, la dimensione e, oltre il limite, la rotazione. */
static void ControllaDimensione(void)
{
    uint32_t adesso = GetTickCount();
    LARGE_INTEGER dimensione;

    if (!ControlloLogDovuto(dimensioneControllata, ultimoControlloMs, adesso, intervalloControlloMs))
        return;
    dimensioneControllata = 1;
    ultimoControlloMs = adesso;
    if (GetFileSizeEx(fileLog, &dimensione) && LogDaRuotare((uint64_t)dimensione.QuadPart, limiteLog))
        RuotaLog();
}

/* Scrive i byte in fondo al file con una sola chiamata, sotto il blocco tra i processi. Il file in
 * sola aggiunta scrive sempre in fondo; il blocco mette in fila anche i processi, dove il sistema
 * calcolasse la fine e poi scrivesse in due passi, e tiene ogni record fuori da una rotazione. */
static void ScriviInFondo(const char *dati, size_t lung)
{
    OVERLAPPED zona;
    DWORD scritti = 0;
    BOOL bloccato = FALSE;

    if (InizioSenzaBlocco()) {
        ControllaDimensione();
        WriteFile(fileLog, dati, (DWORD)lung, &scritti, NULL);
        FineSenzaBlocco();
        return;
    }
    BloccaFileLog(&zona, &bloccato);
    ControllaDimensione();
    WriteFile(fileLog, dati, (DWORD)lung, &scritti, NULL);
    SbloccaFileLog(&zona, bloccato);
}

/* Scrive il testo come lo scriverebbe il modo testo: ogni LF diventa CR LF. Un solo WriteFile. */
static void ScriviTesto(const char *testo, size_t lung)
{
    char area[2 * DIM_RECORD_LOG];
    char *uscita = area;
    size_t dimUscita = 0;

    dimUscita = DimensioneConCrLf(testo, lung);
    if (dimUscita > sizeof area) {
        uscita = (char *)malloc(dimUscita);
        if (uscita == NULL)
            return;
    }
    AggiungiCrLf(uscita, testo, lung);
    ScriviInFondo(uscita, dimUscita);
    if (uscita != area)
        free(uscita);
}

/* Sceglie la cartella, apre il file in sola aggiunta con accesso condiviso (lo crea se manca) e
 * scrive il banner: il primo controllo della dimensione, e l'eventuale rotazione, gli vanno davanti. */
static void ApriLog(void)
{
    char pathEseguibile[DIM_PATH];
    DWORD tipo = 0;
    DWORD lung = 0;

    pathLog[0] = '\0';
    tipo = GetFileAttributesA(CARTELLA_LOG_PREFERITA);
    if (tipo != INVALID_FILE_ATTRIBUTES && (tipo & FILE_ATTRIBUTE_DIRECTORY))
        FormattaTesto(pathLog, sizeof pathLog, "%s\\%s", CARTELLA_LOG_PREFERITA, NOME_FILE_LOG);
    if (pathLog[0] == '\0') {
        lung = GetModuleFileNameA(NULL, pathEseguibile, sizeof pathEseguibile);
        if (lung == 0 || lung >= sizeof pathEseguibile)
            return;
        if (!PathLogAccantoEseguibile(pathLog, sizeof pathLog, pathEseguibile))
            return;
    }
    fileLog = CreateFileA(pathLog, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (fileLog == INVALID_HANDLE_VALUE)
        return;
    ContaNellaPagina();
    if (contatoNellaPagina)
        atexit(TogliDallaPagina);
    dimensioneControllata = 0;
    ScriviTesto(BANNER_LOG, sizeof BANNER_LOG - 1);
}

/* Il secondo dell'orologio di sistema. GetSystemTimeAsFileTime non chiede nulla al sistema: time()
 * della libreria C, sotto Wine, rilegge a ogni chiamata il fuso orario. */
static uint64_t SecondoDiSistema(void)
{
    FILETIME adesso;

    GetSystemTimeAsFileTime(&adesso);
    return (((uint64_t)adesso.dwHighDateTime << 32) | adesso.dwLowDateTime) / 10000000u;
}

/* Compone data e ora e il testo del chiamante in un record solo e lo scrive con una chiamata. */
static void ScriviRecord(const char *formato, va_list argomenti)
{
    uint64_t secondo = SecondoDiSistema();
    time_t adesso = 0;
    struct tm *locale = NULL;
    char area[DIM_RECORD_LOG];
    char *record = area;
    int lungInizio = 0;
    int lungTesto = 0;
    va_list copia;
    LONG destinazione = destinazioneLog;

    if (destinazione != LOG_SOLO_SU_USCITA && fileLog == INVALID_HANDLE_VALUE)
        ApriLog();
    if (destinazione == LOG_SU_FILE && fileLog == INVALID_HANDLE_VALUE)
        return;
    if (secondo != secondoTimestamp) {
        adesso = time(NULL);
        locale = localtime(&adesso);
        if (locale != NULL)
            FormattaTimestamp(areaTimestamp, sizeof areaTimestamp, locale->tm_mday, locale->tm_mon + 1,
                              locale->tm_year + 1900, locale->tm_hour, locale->tm_min, locale->tm_sec);
        else
            areaTimestamp[0] = '\0';
        secondoTimestamp = locale != NULL ? secondo : UINT64_MAX;
    }
    lungInizio = snprintf(area, sizeof area, "%s: ", areaTimestamp);
    va_copy(copia, argomenti);
    lungTesto = vsnprintf(area + lungInizio, sizeof area - (size_t)lungInizio, formato, copia);
    va_end(copia);
    if (lungTesto < 0)
        return;
    if ((size_t)(lungInizio + lungTesto) >= sizeof area) {
        /* Un testo piu' lungo dell'area: si compone in memoria presa per l'occasione. */
        record = (char *)malloc((size_t)(lungInizio + lungTesto) + 1);
        if (record == NULL)
            return;
        memcpy(record, area, (size_t)lungInizio);
        vsnprintf(record + lungInizio, (size_t)lungTesto + 1, formato, argomenti);
    }
    if (destinazione != LOG_SU_FILE) {
        fwrite(record + lungInizio, 1, (size_t)lungTesto, stdout);
        fflush(stdout);
    }
    if (destinazione != LOG_SOLO_SU_USCITA && fileLog != INVALID_HANDLE_VALUE)
        ScriviTesto(record, (size_t)(lungInizio + lungTesto));
    if (record != area)
        free(record);
}

void ScriviLog(const char *formato, ...)
{
    DWORD ultimoErrore = GetLastError();
    va_list argomenti;

    EnterCriticalSection(BloccoLog());
    va_start(argomenti, formato);
    ScriviRecord(formato, argomenti);
    va_end(argomenti);
    LeaveCriticalSection(BloccoLog());
    SetLastError(ultimoErrore);
}

void ScriviLogErrore(const char *formato, ...)
{
    DWORD codice = GetLastError();
    char *testoSistema = NULL;
    va_list argomenti;

    /* Senza IGNORE_INSERTS un testo di sistema con %1 leggerebbe argomenti che non ci sono. */
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, codice, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&testoSistema, 0, NULL);
    SetLastError(codice);
    va_start(argomenti, formato);
    ScriviRecordErrore((int)codice, testoSistema, formato, argomenti);
    va_end(argomenti);
    if (testoSistema != NULL)
        LocalFree(testoSistema);
    SetLastError(codice);
}

const char *pathFileLog(void)
{
    return pathLog;
}
