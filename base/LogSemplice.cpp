/* base/LogSemplice.cpp - ScriviLog e ScriviLogErrore senza file: il record va a ConsegnaRecordLog.
 * Non entra nel prodotto, che ha LogWin.cpp. */
#include "base/base.h"

#include "base/Log.h"

#include <stdarg.h>
#include <stdio.h>

#define DIM_RECORD 8192

void ScriviLog(const char *formato, ...)
{
    char record[DIM_RECORD];
    va_list argomenti;

    va_start(argomenti, formato);
    vsnprintf(record, sizeof record, formato, argomenti);
    va_end(argomenti);
    ConsegnaRecordLog(record);
}

void ScriviLogErrore(const char *formato, ...)
{
    int codice = UltimoErroreSistema();
    va_list argomenti;

    /* Senza testo di sistema: il record finisce con l'a capo. */
    va_start(argomenti, formato);
    ScriviRecordErrore(codice, NULL, formato, argomenti);
    va_end(argomenti);
}

const char *pathFileLog(void)
{
    return "";
}

void ScegliDestinazioneLog(DestinazioneLog destinazione)
{
    (void)destinazione;
}
