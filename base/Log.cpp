/* base/Log.cpp - testi e regole del log diagnostico, senza file ne' orologio. */
#include "base/Log.h"

#include "base/base.h"

#include <stdio.h>
#include <string.h>

void FormattaTimestamp(char *area, size_t dim, int giorno, int mese, int anno, int ora, int minuto, int secondo)
{
    FormattaTesto(area, dim, "%02d/%02d/%04d %02d:%02d:%02d", giorno, mese, anno, ora, minuto, secondo);
}

int LogDaRuotare(uint64_t dimensione, uint64_t limite)
{
    return dimensione > limite;
}

int ControlloLogDovuto(int giaControllato, uint32_t ultimoMs, uint32_t adessoMs, uint32_t intervalloMs)
{
    return !giaControllato || (uint32_t)(adessoMs - ultimoMs) >= intervalloMs;
}

int PathGenerazioneLog(char *dest, size_t dim, const char *pathLog, int generazione)
{
    if (!FormattaTesto(dest, dim, "%s.%d", pathLog, generazione)) {
        if (dim > 0)
            dest[0] = '\0';
        return 0;
    }
    return 1;
}

uint32_t ImprontaPathLog(const char *pathLog)
{
    uint32_t impronta = 2166136261u;

    for (const char *c = pathLog; *c != '\0'; c++) {
        unsigned char lettera = (unsigned char)*c;
        if (lettera >= 'a' && lettera <= 'z')
            lettera = (unsigned char)(lettera - 'a' + 'A');
        impronta = (impronta ^ lettera) * 16777619u;
    }
    return impronta;
}

int PathLogAccantoEseguibile(char *dest, size_t dim, const char *pathEseguibile)
{
    const char *ultimaBarra = strrchr(pathEseguibile, '\\');
    if (dim == 0)
        return 0;
    dest[0] = '\0';
    if (ultimaBarra == NULL)
        return 0;
    int lungCartella = (int)(ultimaBarra - pathEseguibile) + 1;
    if (!FormattaTesto(dest, dim, "%.*s%s", lungCartella, pathEseguibile, NOME_FILE_LOG)) {
        dest[0] = '\0';
        return 0;
    }
    return 1;
}

size_t DimensioneConCrLf(const char *testo, size_t lung)
{
    size_t dim = lung;
    for (size_t i = 0; i < lung; i++)
        if (testo[i] == '\n')
            dim++;
    return dim;
}

void AggiungiCrLf(char *uscita, const char *testo, size_t lung)
{
    for (size_t i = 0; i < lung; i++) {
        if (testo[i] == '\n')
            *uscita++ = '\r';
        *uscita++ = testo[i];
    }
}

void ScriviRecordErrore(int codice, const char *testoSistema, const char *formato, va_list argomenti)
{
    char testo[DIM_TESTO_ERRORE];

    vsnprintf(testo, sizeof testo, formato, argomenti);
    ScriviLog("%s: errore %d: %s", testo, codice, testoSistema != NULL ? testoSistema : "\n");
}
