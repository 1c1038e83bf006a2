/* tools/client/DecodificaCliente.cpp - il testo d'uscita del client e la decodifica di quanto il
 * servizio manda oltre alla risposta: avvisi di aggiornamento e messaggi in chiaro dell'applicativo. */
#include "tools/client/cliente.h"

#include "base/base.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#define MAX_CAMPI_DECODIFICA 64

void AccodaUscita(TestoUscita *uscita, const char *formato, ...)
{
    int spazio = uscita->capacita - uscita->lung;
    if (spazio <= 1) {
        uscita->troncato = 1;
        return;
    }
    va_list argomenti;
    va_start(argomenti, formato);
    int n = vsnprintf(uscita->testo + uscita->lung, (size_t)spazio, formato, argomenti);
    va_end(argomenti);
    if (n < 0)
        return;
    if (n >= spazio) {
        uscita->troncato = 1;
        n = spazio - 1;
    }
    uscita->lung += n;
}

void AccodaByte(TestoUscita *uscita, const uint8_t *dati, int lung)
{
    for (int i = 0; i < lung; i++) {
        if (dati[i] == '\\')
            AccodaUscita(uscita, "\\\\");
        else if (dati[i] >= 0x20 && dati[i] < 0x7F)
            AccodaUscita(uscita, "%c", dati[i]);
        else
            AccodaUscita(uscita, "\\x%02X", dati[i]);
    }
}

int AccodaCampi(TestoUscita *uscita, const char *etichetta, const uint8_t *corpo, int lung)
{
    CampoLista campi[MAX_CAMPI_DECODIFICA];
    int numCampi = LeggiListaCampi(corpo, lung, campi, MAX_CAMPI_DECODIFICA);
    if (numCampi < 0)
        return -1;
    int fine = LUNG_CIFRE_CAMPO;
    for (int i = 0; i < numCampi; i++) {
        int n = campi[i].lung;
        if (n > 0 && corpo[campi[i].inizio + n - 1] == 0)
            n--;
        AccodaUscita(uscita, "%s %d: ", etichetta, i);
        AccodaByte(uscita, corpo + campi[i].inizio, n);
        AccodaUscita(uscita, "\n");
        fine = campi[i].inizio + campi[i].lung + LUNG_CIFRE_CAMPO;
    }
    return fine;
}

/* Copia n byte di testo in dest (dim byte) chiudendolo; 0 se non entra. */
static int CopiaContenuto(char *dest, size_t dim, const uint8_t *dati, int n)
{
    if (dim == 0 || n < 0 || (size_t)n >= dim)
        return 0;
    memcpy(dest, dati, (size_t)n);
    dest[n] = '\0';
    return 1;
}

/* Numero di esattamente cifre cifre decimali; -1 se non lo sono. */
static int LeggiCifre(const uint8_t *testo, int cifre)
{
    int valore = 0;
    for (int i = 0; i < cifre; i++) {
        if (testo[i] < '0' || testo[i] > '9')
            return -1;
        valore = valore * 10 + (testo[i] - '0');
    }
    return valore;
}

int DecodificaAvvisoServizio(const uint8_t *dati, int lung, char *testo, size_t dimTesto)
{
    CampoLista campi[3];
    if (lung < LUNG_BUSTA || memcmp(dati + 5, "PANIC", 5) != 0)
        return 0;
    if (LeggiListaCampi(dati, lung, campi, 3) != 2)
        return 0;
    if (campi[0].lung != 5 || campi[0].inizio != LUNG_CIFRE_CAMPO)
        return 0;
    return CopiaContenuto(testo, dimTesto, dati + campi[1].inizio, campi[1].lung);
}

/* Lunghezza di 4 byte, il piu' significativo primo. */
static uint32_t LunghezzaGrandeFine(const uint8_t *dati)
{
    return ((uint32_t)dati[0] << 24) | ((uint32_t)dati[1] << 16) | ((uint32_t)dati[2] << 8) | dati[3];
}

int DecodificaAvvisoInChiaro(const uint8_t *dati, int lung, char *testo, size_t dimTesto)
{
    CampoLista campi[3];
    if (lung < 4 || LunghezzaGrandeFine(dati) != (uint32_t)(lung - 4))
        return 0;
    const uint8_t *corpo = dati + 4;
    if (LeggiListaCampi(corpo, lung - 4, campi, 3) != 2)
        return 0;
    if (campi[0].lung != 1 || corpo[campi[0].inizio] != 'E' || campi[1].lung < 1 ||
        corpo[campi[1].inizio] != 'S')
        return 0;
    return CopiaContenuto(testo, dimTesto, corpo + campi[1].inizio + 1, campi[1].lung - 1);
}

int DecodificaAvvisoCifrato(const uint8_t *corpo, int lung, char *testo, size_t dimTesto)
{
    CampoLista campi[2];
    if (lung < 2 * LUNG_CIFRE_CAMPO || memcmp(corpo, "99999", 5) != 0 || LeggiCifre(corpo + 5, 5) < 0)
        return 0;
    const uint8_t *lista = corpo + 2 * LUNG_CIFRE_CAMPO;
    if (LeggiListaCampi(lista, lung - 2 * LUNG_CIFRE_CAMPO, campi, 2) != 1)
        return 0;
    return CopiaContenuto(testo, dimTesto, lista + campi[0].inizio, campi[0].lung);
}

int AccodaMessaggiInChiaro(TestoUscita *uscita, const uint8_t *dati, int lung)
{
    /* Prima si controlla che tutto sia fatto di messaggi, poi si accoda. */
    int pos = 0;
    int messaggi = 0;
    while (pos < lung) {
        if (lung - pos < 4)
            return 0;
        uint32_t n = LunghezzaGrandeFine(dati + pos);
        if (n > (uint32_t)(lung - pos - 4))
            return 0;
        pos += 4 + (int)n;
        messaggi++;
    }
    if (messaggi == 0)
        return 0;
    for (pos = 0; pos < lung;) {
        int n = (int)LunghezzaGrandeFine(dati + pos);
        const uint8_t *corpo = dati + pos + 4;
        CampoLista campi[MAX_CAMPI_DECODIFICA];
        if (n > 0 && LeggiListaCampi(corpo, n, campi, MAX_CAMPI_DECODIFICA) >= 0) {
            AccodaCampi(uscita, "applicativo", corpo, n);
        } else {
            AccodaUscita(uscita, "applicativo: ");
            AccodaByte(uscita, corpo, n);
            AccodaUscita(uscita, "\n");
        }
        pos += 4 + n;
    }
    return 1;
}
