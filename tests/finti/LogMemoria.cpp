/* tests/finti/LogMemoria.cpp - ScriviLog e ScriviLogErrore che tengono i record in memoria.
 * Il record d'errore ha la stessa forma di quello vero: "testo: errore N: testo di sistema". */
#include "tests/finti/LogMemoria.h"

#include "base/base.h"

#include <errno.h>
#include <mutex>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#endif

static std::mutex bloccoLog;
static std::string testoLog;

void ScriviLog(const char *formato, ...)
{
    char riga[8192];
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(riga, sizeof riga, formato, argomenti);
    va_end(argomenti);
    std::lock_guard<std::mutex> guardia(bloccoLog);
    testoLog += riga;
}

void ScriviLogErrore(const char *formato, ...)
{
#ifdef _WIN32
    int codice = (int)GetLastError();
#else
    int codice = errno;
#endif
    char testo[512];
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(testo, sizeof testo, formato, argomenti);
    va_end(argomenti);
    ScriviLog("%s: errore %d: %s", testo, codice, "");
}

const char *pathFileLog(void)
{
    return "";
}

std::string TestoLogMemoria()
{
    std::lock_guard<std::mutex> guardia(bloccoLog);
    return testoLog;
}

void SvuotaLogMemoria()
{
    std::lock_guard<std::mutex> guardia(bloccoLog);
    testoLog.clear();
}
