/* tools/client/LogConsole.cpp - ScriviLog e ScriviLogErrore per gli strumenti: un record per
 * riga su stderr, senza file di log. */
#include "service/service.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

void ScriviLog(const char *formato, ...)
{
    char riga[1024];
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(riga, sizeof riga, formato, argomenti);
    va_end(argomenti);
    fputs(riga, stderr);
}

void ScriviLogErrore(const char *formato, ...)
{
    int codice = errno;
    char testo[512];
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(testo, sizeof testo, formato, argomenti);
    va_end(argomenti);
    fprintf(stderr, "%s: errore %d: %s\n", testo, codice, strerror(codice));
}

const char *pathFileLog(void)
{
    return "";
}
