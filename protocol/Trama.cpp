/* protocol/Trama.cpp - trame cifrate (15 byte di intestazione) e in chiaro (10), checksum,
 * buste PANIC. Una chiamata legge o scrive un messaggio intero, a pezzi di al massimo 2048 byte;
 * nessuno stato proprio tra le chiamate, solo il flusso di chiave della conversazione. */
#include "protocol/protocol.h"

#include "base/base.h"

#include <limits.h>
#include <string.h>

#define LUNG_CIFRE_TRAMA 10

static int Minimo(int a, int b)
{
    return a < b ? a : b;
}

void calcolaChecksum(uint8_t checksum[LUNG_CHECKSUM], const uint8_t *dati, int lung)
{
    memset(checksum, 0, LUNG_CHECKSUM);
    for (int i = 0; i < lung; i++)
        checksum[i % LUNG_CHECKSUM] ^= dati[i];
}

/* Numero decimale dalle cifre iniziali, fino alla prima non cifra (nessuna cifra: 0);
 * oltre INT_MAX resta INT_MAX. */
static int LeggiNumero(const uint8_t *testo, int cifre)
{
    int64_t valore = 0;
    for (int i = 0; i < cifre && testo[i] >= '0' && testo[i] <= '9'; i++) {
        valore = valore * 10 + (testo[i] - '0');
        if (valore > INT_MAX)
            valore = INT_MAX;
    }
    return (int)valore;
}

/* valore >= 0 in cifre decimali con zeri a sinistra. */
static void ScriviCifre(uint8_t *dest, int cifre, int valore)
{
    for (int i = cifre - 1; i >= 0; i--) {
        dest[i] = (uint8_t)('0' + valore % 10);
        valore /= 10;
    }
}

int InviaTutto(CanaleRete *canale, const uint8_t *dati, int lung)
{
    int inviati = 0;
    while (inviati < lung) {
        int n = canale->invia(canale->contesto, dati + inviati, lung - inviati);
        if (n <= 0)
            return 0;
        inviati += Minimo(n, lung - inviati);
    }
    return 1;
}

/* Busta di avviso nel pezzo appena letto (n >= 10 byte in dove): i 15 byte in chiaro si scartano
 * e gli N byte che la seguono prendono il posto del pezzo. I byte del pezzo dietro la busta sono
 * i primi degli N; una busta spezzata viene completata. Rende i byte del pezzo, -1 per 102. */
static int RiceviDopoBusta(CanaleRete *canale, uint8_t *dove, int n, int spazio, const char *nome)
{
    uint8_t busta[LUNG_BUSTA];
    int tenuti = Minimo(n, LUNG_BUSTA);
    memcpy(busta, dove, (size_t)tenuti);
    while (tenuti < LUNG_BUSTA) {
        int m = canale->ricevi(canale->contesto, busta + tenuti, LUNG_BUSTA - tenuti);
        if (m <= 0)
            return -1;
        tenuti += Minimo(m, LUNG_BUSTA - tenuti);
    }
    int numero = LeggiNumero(busta + 10, 5);
    int resto = n > LUNG_BUSTA ? n - LUNG_BUSTA : 0;
    if (resto > 0)
        memmove(dove, dove + LUNG_BUSTA, (size_t)resto);
    if (numero > spazio) {
        ScriviLog("%s - busta PANIC di %d byte oltre lo spazio rimasto di %d byte\n", nome, numero,
                  spazio);
        return -1;
    }
    if (resto < numero) {
        int m = canale->ricevi(canale->contesto, dove + resto, numero - resto);
        if (m <= 0)
            return -1;
        resto += Minimo(m, numero - resto);
    }
    return resto;
}

/* Un pezzo: una chiamata di ricezione per al massimo chiesti byte; spazio e' quanto il pezzo puo'
 * occupare se una busta lo sostituisce. Rende i byte del pezzo, -1 per 102. */
static int RiceviPezzo(CanaleRete *canale, int provaBusta, uint8_t *dove, int chiesti, int spazio,
                       const char *nome)
{
    int n = canale->ricevi(canale->contesto, dove, chiesti);
    if (n <= 0)
        return -1;
    n = Minimo(n, chiesti);
    /* La busta viaggia in chiaro: si riconosce prima di decifrare. */
    if (provaBusta && n >= 10 && memcmp(dove + 5, "PANIC", 5) == 0)
        return RiceviDopoBusta(canale, dove, n, spazio, nome);
    return n;
}

/* Ricezione comune alle due forme; flusso NULL = trama in chiaro. */
static int RiceviTrama(CanaleRete *canale, FlussoChiave *flusso, uint8_t *dest, int capacita,
                       int *lungRicevuta, const char *nome)
{
    uint8_t area[DIM_AREA_MESSAGGIO];
    uint8_t atteso[LUNG_CHECKSUM] = {0};
    int lungIntest = flusso != NULL ? LUNG_INTESTAZIONE_CIFRATA : LUNG_INTESTAZIONE_IN_CHIARO;
    int tenuti = 0;
    int ricevuti = 0;

    if (capacita < 0 || dest == NULL)
        capacita = 0;
    *lungRicevuta = 0;
    /* Intestazione: i byte oltre l'intestazione sono payload e devono entrare in dest. */
    int capacitaArea = Minimo(capacita, DIM_AREA_MESSAGGIO);
    while (tenuti < lungIntest) {
        int spazio = Minimo(DIM_AREA_MESSAGGIO - tenuti, capacitaArea + lungIntest - tenuti);
        int n = RiceviPezzo(canale, flusso != NULL, area + tenuti, Minimo(lungIntest, spazio), spazio,
                            nome);
        if (n < 0)
            return ESITO_CHIUSO;
        if (flusso != NULL)
            CifraDecifra(flusso, area + tenuti, n);
        tenuti += n;
    }
    int annunciati = LeggiNumero(area, LUNG_CIFRE_TRAMA);
    if (annunciati > capacita) {
        ScriviLog("%s - trama di %d byte oltre l'area di %d byte\n", nome, annunciati, capacita);
        return ESITO_CHIUSO;
    }
    if (flusso != NULL)
        memcpy(atteso, area + LUNG_CIFRE_TRAMA, LUNG_CHECKSUM);
    ricevuti = tenuti - lungIntest;
    if (ricevuti > 0)
        memcpy(dest, area + lungIntest, (size_t)ricevuti);

    while (ricevuti < annunciati) {
        int spazio = Minimo(DIM_AREA_MESSAGGIO, capacita - ricevuti);
        int chiesti = flusso != NULL ? Minimo(annunciati - ricevuti, DIM_AREA_MESSAGGIO) : spazio;
        int n = RiceviPezzo(canale, flusso != NULL, area, chiesti, spazio, nome);
        if (n < 0) {
            *lungRicevuta = ricevuti;
            return ESITO_CHIUSO;
        }
        if (flusso != NULL)
            CifraDecifra(flusso, area, n);
        memcpy(dest + ricevuti, area, (size_t)n);
        ricevuti += n;
    }

    if (flusso != NULL) {
        uint8_t calcolato[LUNG_CHECKSUM];
        ChiudiMessaggio(flusso);
        calcolaChecksum(calcolato, dest, annunciati);
        if (memcmp(calcolato, atteso, LUNG_CHECKSUM) != 0)
            ScriviLog("%s - ERRORE FATALE - Errore nella ricezione dei dati via rete\n", nome);
    }
    *lungRicevuta = ricevuti;
    return ESITO_FATTO;
}

int ricezioneBufferCanale(CanaleRete *canale, StatoCifratura *stato, uint8_t *dest, int capacita,
                          int *lungRicevuta)
{
    return RiceviTrama(canale, &stato->ricezione, dest, capacita, lungRicevuta, "ricezioneBuffer");
}

int ricezioneBufferInChiaroCanale(CanaleRete *canale, uint8_t *dest, int capacita,
                                  int *lungRicevuta)
{
    return RiceviTrama(canale, NULL, dest, capacita, lungRicevuta, "ricezioneBufferInChiaro");
}

/* Il primo pezzo porta l'intestazione e i primi byte di payload; gli altri partono dall'area del
 * chiamante, 2048 byte alla volta, cifrati dove sono. */
int invioBufferCanale(CanaleRete *canale, StatoCifratura *stato, uint8_t *payload, int lung)
{
    uint8_t pezzo[DIM_AREA_MESSAGGIO];
    if (lung < 0 || (lung > 0 && payload == NULL)) {
        ScriviLog("invioBuffer - payload di %d byte non valido\n", lung);
        return ESITO_CHIUSO;
    }
    ScriviCifre(pezzo, LUNG_CIFRE_TRAMA, lung);
    calcolaChecksum(pezzo + LUNG_CIFRE_TRAMA, payload, lung);
    int primi = Minimo(lung, DIM_AREA_MESSAGGIO - LUNG_INTESTAZIONE_CIFRATA);
    if (primi > 0)
        memcpy(pezzo + LUNG_INTESTAZIONE_CIFRATA, payload, (size_t)primi);
    CifraDecifra(&stato->invio, pezzo, LUNG_INTESTAZIONE_CIFRATA + primi);
    if (!InviaTutto(canale, pezzo, LUNG_INTESTAZIONE_CIFRATA + primi))
        return ESITO_CHIUSO;
    for (int pos = primi; pos < lung; pos += DIM_AREA_MESSAGGIO) {
        int quanti = Minimo(lung - pos, DIM_AREA_MESSAGGIO);
        CifraDecifra(&stato->invio, payload + pos, quanti);
        if (!InviaTutto(canale, payload + pos, quanti))
            return ESITO_CHIUSO;
    }
    ChiudiMessaggio(&stato->invio);
    return ESITO_FATTO;
}

int invioBufferInChiaroCanale(CanaleRete *canale, const uint8_t *payload, int lung)
{
    uint8_t pezzo[DIM_AREA_MESSAGGIO];
    if (lung < 0 || (lung > 0 && payload == NULL)) {
        ScriviLog("invioBufferInChiaro - payload di %d byte non valido\n", lung);
        return ESITO_CHIUSO;
    }
    ScriviCifre(pezzo, LUNG_CIFRE_TRAMA, lung);
    int primi = Minimo(lung, DIM_AREA_MESSAGGIO - LUNG_INTESTAZIONE_IN_CHIARO);
    if (primi > 0)
        memcpy(pezzo + LUNG_INTESTAZIONE_IN_CHIARO, payload, (size_t)primi);
    if (!InviaTutto(canale, pezzo, LUNG_INTESTAZIONE_IN_CHIARO + primi))
        return ESITO_CHIUSO;
    for (int pos = primi; pos < lung; pos += DIM_AREA_MESSAGGIO) {
        if (!InviaTutto(canale, payload + pos, Minimo(lung - pos, DIM_AREA_MESSAGGIO)))
            return ESITO_CHIUSO;
    }
    return ESITO_FATTO;
}

int ricezioneBuffer(SocketRete s, StatoCifratura *stato, uint8_t *dest, int capacita,
                    int *lungRicevuta)
{
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    return ricezioneBufferCanale(&canale, stato, dest, capacita, lungRicevuta);
}

int ricezioneBufferInChiaro(SocketRete s, uint8_t *dest, int capacita, int *lungRicevuta)
{
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    return ricezioneBufferInChiaroCanale(&canale, dest, capacita, lungRicevuta);
}

int invioBuffer(SocketRete s, StatoCifratura *stato, uint8_t *payload, int lung)
{
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    return invioBufferCanale(&canale, stato, payload, lung);
}

int invioBufferInChiaro(SocketRete s, const uint8_t *payload, int lung)
{
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    return invioBufferInChiaroCanale(&canale, payload, lung);
}
