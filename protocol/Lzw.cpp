/* protocol/Lzw.cpp - compressione LZW a codici di 9 bit, dal bit piu' significativo.
 * Codici 0-255 byte singoli, 257-510 dizionario (fermo dopo il 510, nessun azzeramento),
 * 511 fine. Lo stato vive sulla pila della chiamata: i thread non condividono nulla. */
#include "protocol/protocol.h"

#include "base/base.h"

#include <string.h>

#define DIM_HASH_LZW 5003
#define NUM_CODICI_LZW 512

/* Posto della tabella di ricerca: codice 0 = vuoto (i codici del dizionario partono da 257). */
typedef struct VoceHash {
    int16_t codice;
    int16_t prefisso;
    uint8_t byte;
} VoceHash;

int scriviBit(ScritturaBit *scrittura, int codice, int numBit)
{
    for (int i = numBit - 1; i >= 0; i--) {
        int byte = scrittura->posizione / 8;
        if (byte < scrittura->capacita) {
            uint8_t maschera = (uint8_t)(0x80u >> (scrittura->posizione % 8));
            if ((codice >> i) & 1)
                scrittura->uscita[byte] |= maschera;
            else
                scrittura->uscita[byte] &= (uint8_t)~maschera;
        }
        scrittura->posizione++;
    }
    return scrittura->posizione;
}

/* Posto della coppia (prefisso, byte): quello che la contiene o il vuoto dove andrebbe. */
static int CercaCoppia(const VoceHash *tabella, int prefisso, int byte)
{
    int h = (byte << 1) ^ prefisso;
    int spostamento = h == 0 ? 1 : DIM_HASH_LZW - h;
    while (tabella[h].codice != 0 && (tabella[h].prefisso != prefisso || tabella[h].byte != byte)) {
        h -= spostamento;
        if (h < 0)
            h += DIM_HASH_LZW;
    }
    return h;
}

static void ScriviCodice(ScritturaBit *scrittura, int codice)
{
    scriviBit(scrittura, codice, BIT_CODICE_LZW);
    /* Controllo dopo ogni codice del ciclo: piu' di 2048 byte interi. */
    if (scrittura->posizione - scrittura->posizione % 8 > LIMITE_COMPRESSI * 8)
        ScriviLog("compressioneDati - ERRORE FATALE - Errore fatale compressione dati: %d\n",
                  ERRORE_COMPRESSIONE);
}

int compressioneDati(const uint8_t *ingresso, int lung, uint8_t *uscita, int capacita)
{
    VoceHash tabella[DIM_HASH_LZW];
    ScritturaBit scrittura = {uscita, capacita > 0 ? capacita : 0, 0};
    int prossimo = PRIMO_CODICE_LZW;

    memset(tabella, 0, sizeof tabella);
    if (lung > 0) {
        int prefisso = ingresso[0];
        for (int i = 1; i < lung; i++) {
            int byte = ingresso[i];
            int posto = CercaCoppia(tabella, prefisso, byte);
            if (tabella[posto].codice != 0) {
                prefisso = tabella[posto].codice;
                continue;
            }
            if (prossimo < CODICE_FINE_LZW) {
                tabella[posto].codice = (int16_t)prossimo;
                tabella[posto].prefisso = (int16_t)prefisso;
                tabella[posto].byte = (uint8_t)byte;
                prossimo++;
            }
            ScriviCodice(&scrittura, prefisso);
            prefisso = byte;
        }
        scriviBit(&scrittura, prefisso, BIT_CODICE_LZW);
    }
    scriviBit(&scrittura, CODICE_FINE_LZW, BIT_CODICE_LZW);

    int lungCompressa = scrittura.posizione / 8 + 1;
    if (lungCompressa > scrittura.capacita) {
        ScriviLog("compressioneDati - dati compressi di %d byte oltre l'area di %d byte\n",
                  lungCompressa, capacita);
        return 0;
    }
    /* I bit dopo la fine, fino all'ultimo byte contato, a zero: niente memoria vecchia in rete. */
    while (scrittura.posizione < lungCompressa * 8)
        scriviBit(&scrittura, 0, 1);
    return lungCompressa;
}

/* Prossimo codice di 9 bit dalla posizione *bit; -1 se i dati finiscono prima. */
static int LeggiCodice(const uint8_t *ingresso, int lung, int *bit)
{
    if ((int64_t)*bit > (int64_t)lung * 8 - BIT_CODICE_LZW)
        return -1;
    int codice = 0;
    for (int i = 0; i < BIT_CODICE_LZW; i++) {
        int pos = *bit + i;
        codice = (codice << 1) | ((ingresso[pos / 8] >> (7 - pos % 8)) & 1);
    }
    *bit += BIT_CODICE_LZW;
    return codice;
}

typedef struct DizionarioLzw {
    int16_t prefisso[NUM_CODICI_LZW];
    uint8_t suffisso[NUM_CODICI_LZW];
    uint8_t primo[NUM_CODICI_LZW];
    int16_t lunghezza[NUM_CODICI_LZW];
} DizionarioLzw;

/* Scrive la stringa del codice in uscita + scritti, da destra a sinistra lungo i prefissi. */
static int ScriviStringa(const DizionarioLzw *diz, int codice, uint8_t *uscita, int capacita,
                         int scritti)
{
    int lungStringa = codice < 256 ? 1 : diz->lunghezza[codice];
    if (lungStringa > capacita - scritti)
        return LZW_USCITA_PIENA;
    int pos = scritti + lungStringa - 1;
    while (codice > 255) {
        uscita[pos--] = diz->suffisso[codice];
        codice = diz->prefisso[codice];
    }
    uscita[pos] = (uint8_t)codice;
    return scritti + lungStringa;
}

int DecomprimiLzw(const uint8_t *ingresso, int lung, uint8_t *uscita, int capacita)
{
    DizionarioLzw diz;
    int bit = 0;
    int scritti = 0;
    int prossimo = PRIMO_CODICE_LZW;
    int precedente = -1;

    for (int c = 0; c < 256; c++) {
        diz.primo[c] = (uint8_t)c;
        diz.lunghezza[c] = 1;
    }
    for (;;) {
        int codice = LeggiCodice(ingresso, lung, &bit);
        if (codice < 0)
            return LZW_SENZA_FINE;
        if (codice == CODICE_FINE_LZW)
            return scritti;
        if (codice == 256 || codice > prossimo || (codice == prossimo && precedente < 0))
            return LZW_CODICE_NON_VALIDO;
        if (precedente >= 0 && prossimo < CODICE_FINE_LZW) {
            /* Il codice uguale al prossimo e' il precedente seguito dal suo primo byte. */
            int primoByte = codice < prossimo ? diz.primo[codice] : diz.primo[precedente];
            diz.prefisso[prossimo] = (int16_t)precedente;
            diz.suffisso[prossimo] = (uint8_t)primoByte;
            diz.primo[prossimo] = diz.primo[precedente];
            diz.lunghezza[prossimo] = (int16_t)(diz.lunghezza[precedente] + 1);
            prossimo++;
        }
        scritti = ScriviStringa(&diz, codice, uscita, capacita, scritti);
        if (scritti < 0)
            return scritti;
        precedente = codice;
    }
}
