/* protocol/ListaCampi.cpp - liste di campi: cinque cifre di lunghezza e contenuto, fine "00000".
 * Corpo di richieste, risposte e avvisi. Nessuno stato; ogni scrittura e' limitata dallo spazio. */
#include "protocol/protocol.h"

#include "base/base.h"

#include <string.h>

int aggiungiCampo(uint8_t *dest, int spazio, const uint8_t *contenuto, int n)
{
    if (n < 1 || n > MAX_LUNG_CAMPO || spazio < LUNG_CIFRE_CAMPO || n > spazio - LUNG_CIFRE_CAMPO) {
        ScriviLog("aggiungiCampo - campo di %d byte non scritto: spazio %d byte\n", n, spazio);
        return 0;
    }
    int valore = n;
    for (int i = LUNG_CIFRE_CAMPO - 1; i >= 0; i--) {
        dest[i] = (uint8_t)('0' + valore % 10);
        valore /= 10;
    }
    memmove(dest + LUNG_CIFRE_CAMPO, contenuto, (size_t)n);
    return n + LUNG_CIFRE_CAMPO;
}

int ChiudiListaCampi(uint8_t *dest, int spazio)
{
    if (spazio < LUNG_CIFRE_CAMPO) {
        ScriviLog("ChiudiListaCampi - fine lista non scritta: spazio %d byte\n", spazio);
        return 0;
    }
    memset(dest, '0', LUNG_CIFRE_CAMPO);
    return LUNG_CIFRE_CAMPO;
}

/* Cinque cifre decimali in valore; 0 se una non e' una cifra. */
static int LeggiCifreCampo(const uint8_t *cifre, int *valore)
{
    int v = 0;
    for (int i = 0; i < LUNG_CIFRE_CAMPO; i++) {
        if (cifre[i] < '0' || cifre[i] > '9')
            return 0;
        v = v * 10 + (cifre[i] - '0');
    }
    *valore = v;
    return 1;
}

int LeggiListaCampi(const uint8_t *corpo, int lung, CampoLista *campi, int maxCampi)
{
    int pos = 0;
    int numCampi = 0;
    for (;;) {
        int n = 0;
        if (lung - pos < LUNG_CIFRE_CAMPO)
            return LISTA_SENZA_FINE;
        if (!LeggiCifreCampo(corpo + pos, &n))
            return LISTA_CIFRE_NON_VALIDE;
        pos += LUNG_CIFRE_CAMPO;
        if (n == 0)
            return numCampi;
        if (n > lung - pos)
            return LISTA_CAMPO_OLTRE_FINE;
        if (numCampi >= maxCampi)
            return LISTA_TROPPI_CAMPI;
        campi[numCampi].inizio = pos;
        campi[numCampi].lung = n;
        numCampi++;
        pos += n;
    }
}
