/* base/LogWin.cpp - ScriviLog e ScriviLogErrore: il file tarnel.log, aperto una volta per processo.
 * Un solo blocco di processo copre l'intera chiamata: i record non si mescolano mai tra thread.
 * ScriviLog lascia intatto l'ultimo errore del thread, cosi' chi registra puo' poi ancora leggerlo. */
#include "base/base.h"

#include "base/Log.h"

#include <io.h>
#include <share.h>
#include <stdarg.h>
#include <stdio.h>
#include <time.h>

#include <windows.h>

static FILE *flussoLog = NULL;
static char pathLog[DIM_PATH] = "";
static char areaTimestamp[32];

/* Il blocco del log, pronto alla prima chiamata anche se questa arriva prima di main. */
static CRITICAL_SECTION *BloccoLog(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

/* Sceglie la cartella, il modo e apre il flusso con accesso condiviso; scrive il banner. */
static void ApriLog(void)
{
    char pathEseguibile[DIM_PATH];
    WIN32_FILE_ATTRIBUTE_DATA attributi;
    DWORD tipo = 0;
    DWORD lung = 0;
    int dimensioneNota = 0;
    uint64_t dimensione = 0;

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
    if (GetFileAttributesExA(pathLog, GetFileExInfoStandard, &attributi)) {
        dimensioneNota = 1;
        dimensione = ((uint64_t)attributi.nFileSizeHigh << 32) | attributi.nFileSizeLow;
    }
    flussoLog = _fsopen(pathLog, ModoAperturaLog(dimensioneNota, dimensione), _SH_DENYNO);
    if (flussoLog == NULL)
        return;
    /* Il log resta del processo: i figli avviati ereditando handle non lo ricevono. */
    SetHandleInformation((HANDLE)_get_osfhandle(_fileno(flussoLog)), HANDLE_FLAG_INHERIT, 0);
    fputs(BANNER_LOG, flussoLog);
}

static void ScriviRecord(const char *formato, va_list argomenti)
{
    time_t adesso = time(NULL);
    struct tm *locale = NULL;

    if (flussoLog == NULL)
        ApriLog();
    if (flussoLog == NULL)
        return;
    locale = localtime(&adesso);
    if (locale != NULL)
        FormattaTimestamp(areaTimestamp, sizeof areaTimestamp, locale->tm_mday, locale->tm_mon + 1,
                          locale->tm_year + 1900, locale->tm_hour, locale->tm_min, locale->tm_sec);
    else
        areaTimestamp[0] = '\0';
    fprintf(flussoLog, "%s: ", areaTimestamp);
    vfprintf(flussoLog, formato, argomenti);
    fflush(flussoLog);
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
    char testo[DIM_TESTO_ERRORE];
    va_list argomenti;

    /* Senza IGNORE_INSERTS un testo di sistema con %1 leggerebbe argomenti che non ci sono. */
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, codice, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&testoSistema, 0, NULL);
    va_start(argomenti, formato);
    vsnprintf(testo, sizeof testo, formato, argomenti);
    va_end(argomenti);
    SetLastError(codice);
    ScriviLog("%s: errore %d: %s", testo, (int)codice, testoSistema != NULL ? testoSistema : "");
    if (testoSistema != NULL)
        LocalFree(testoSistema);
    SetLastError(codice);
}

const char *pathFileLog(void)
{
    return pathLog;
}
