/* tools/client/LogConsole.cpp - ScriviLog e ScriviLogErrore per il client: nessun file di log; le
 * righe vanno su stderr solo in modo verboso, perche' i suoi errori sono una riga sola. */
#include "base/base.h"
#include "tools/client/cliente.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#endif

static int logAttivo = 0;

void AttivaLogConsole(int attivo)
{
    logAttivo = attivo;
}

void ScriviLog(const char *formato, ...)
{
    char riga[1024];
    if (!logAttivo)
        return;
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(riga, sizeof riga, formato, argomenti);
    va_end(argomenti);
    fputs(riga, stderr);
}

void ScriviLogErrore(const char *formato, ...)
{
#ifdef _WIN32
    int codice = (int)GetLastError();
#else
    int codice = errno;
#endif
    char testo[512];
    if (!logAttivo)
        return;
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(testo, sizeof testo, formato, argomenti);
    va_end(argomenti);
#ifdef _WIN32
    fprintf(stderr, "%s: errore %d\n", testo, codice);
#else
    fprintf(stderr, "%s: errore %d: %s\n", testo, codice, strerror(codice));
#endif
}

const char *pathFileLog(void)
{
    return "";
}
