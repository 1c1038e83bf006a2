/* base/LogSemplice.cpp - ScriviLog e ScriviLogErrore senza file: il record va a ConsegnaRecordLog.
 * Non entra nel prodotto, che ha LogWin.cpp. */
#include "base/base.h"

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
    char testo[512];
    va_list argomenti;

    va_start(argomenti, formato);
    vsnprintf(testo, sizeof testo, formato, argomenti);
    va_end(argomenti);
    ScriviLog("%s: errore %d: \n", testo, codice);
}

const char *pathFileLog(void)
{
    return "";
}

void ScegliDestinazioneLog(DestinazioneLog destinazione)
{
    (void)destinazione;
}
