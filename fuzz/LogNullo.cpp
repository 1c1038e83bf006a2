/* fuzz/LogNullo.cpp - ScriviLog e ScriviLogErrore che formattano e scartano (fuzz e misure): il formato e gli
 * argomenti passano comunque dai sanitizer. */
#include "base/base.h"

#include <stdarg.h>
#include <stdio.h>

void ScriviLog(const char *formato, ...)
{
    char riga[1024];
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(riga, sizeof riga, formato, argomenti);
    va_end(argomenti);
}

void ScriviLogErrore(const char *formato, ...)
{
    char riga[1024];
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(riga, sizeof riga, formato, argomenti);
    va_end(argomenti);
}

const char *pathFileLog(void)
{
    return "";
}
