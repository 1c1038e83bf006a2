/* fuzz/FuzzRicezione.cpp - bersaglio libFuzzer della ricezione: trame cifrate e in chiaro dal
 * canale a pezzi, capacita' ai bordi, scambio chiavi, lettura della lista di campi e LZW.
 * Ingresso: byte 0 modo, byte 1-4 lunghezze dei pezzi, poi il flusso che arriva dal peer. */
#include "protocol/protocol.h"

#include <stdlib.h>
#include <string.h>

typedef struct CopioneFuzz {
    const uint8_t *dati;
    size_t lung;
    size_t letti;
    uint8_t pezzi[4];
    int indicePezzo;
    int restoPezzo;
} CopioneFuzz;

static int Disponibili(CopioneFuzz *c)
{
    if (c->letti >= c->lung)
        return 0;
    if (c->restoPezzo <= 0) {
        int pezzo = c->pezzi[c->indicePezzo++ % 4];
        c->restoPezzo = pezzo == 0 ? 1 << 20 : pezzo;
    }
    size_t restanti = c->lung - c->letti;
    return (size_t)c->restoPezzo < restanti ? c->restoPezzo : (int)restanti;
}

static int RiceviFuzz(void *contesto, uint8_t *dove, int quanti)
{
    CopioneFuzz *c = (CopioneFuzz *)contesto;
    /* La rete non e' mai interrogata per zero byte o per piu' di un'area. */
    if (quanti <= 0 || quanti > DIM_AREA_MESSAGGIO)
        abort();
    int n = Disponibili(c);
    if (n > quanti)
        n = quanti;
    memcpy(dove, c->dati + c->letti, (size_t)n);
    c->letti += (size_t)n;
    c->restoPezzo -= n;
    return n;
}

static int SbirciaFuzz(void *contesto, uint8_t *dove, int quanti)
{
    CopioneFuzz *c = (CopioneFuzz *)contesto;
    int n = Disponibili(c);
    if (n > quanti)
        n = quanti;
    memcpy(dove, c->dati + c->letti, (size_t)n);
    return n;
}

static int InviaFuzz(void *contesto, const uint8_t *cosa, int quanti)
{
    (void)contesto;
    (void)cosa;
    return quanti > 7 ? quanti / 2 : quanti;
}

static int AttendiFuzz(void *contesto, int millisecondi)
{
    CopioneFuzz *c = (CopioneFuzz *)contesto;
    (void)millisecondi;
    return c->letti < c->lung ? 1 : 0;
}

static const int CAPACITA[8] = {0, 1, 5, 14, 15, 16, 260, DIM_AREA_MESSAGGIO};

/* Percorre la lista e controlla che ogni campo stia nei byte dati. */
static void LeggiLista(const uint8_t *corpo, int lung)
{
    CampoLista campi[20];
    int n = LeggiListaCampi(corpo, lung, campi, 20);
    for (int i = 0; i < n; i++)
        if (campi[i].inizio < 5 || campi[i].lung < 1 || campi[i].inizio + campi[i].lung > lung)
            abort();
}

/* Decodifica e, se riesce, ricomprime e ridecodifica: deve tornare uguale. */
static void ProvaLzw(const uint8_t *dati, int lung)
{
    uint8_t chiaro[4096];
    int lungChiaro = DecomprimiLzw(dati, lung, chiaro, (int)sizeof chiaro);
    if (lungChiaro < 0)
        return;
    uint8_t compressi[DIM_USCITA_LZW(4096)];
    int lungCompressi = compressioneDati(chiaro, lungChiaro, compressi, (int)sizeof compressi);
    uint8_t ritorno[4096];
    if (lungCompressi <= 0 ||
        DecomprimiLzw(compressi, lungCompressi, ritorno, (int)sizeof ritorno) != lungChiaro ||
        memcmp(chiaro, ritorno, (size_t)lungChiaro) != 0)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dati, size_t lung)
{
    if (lung < 5)
        return 0;
    int modo = dati[0];
    CopioneFuzz copione;
    memset(&copione, 0, sizeof copione);
    memcpy(copione.pezzi, dati + 1, 4);
    copione.dati = dati + 5;
    copione.lung = lung - 5;
    CanaleRete canale = {RiceviFuzz, InviaFuzz, AttendiFuzz, SbirciaFuzz, &copione};

    StatoCifratura stato;
    memset(&stato, 0, sizeof stato);
    int cifrata = modo & 1;
    if ((modo & 0x10) && scambioChiaviCanale(&canale, &stato) == ESITO_IN_CHIARO)
        cifrata = 0;
    int capacita = CAPACITA[(modo >> 1) & 7];
    /* Destinazione della misura esatta sullo heap: ogni sconfinamento si vede. */
    uint8_t *dest = (uint8_t *)malloc(capacita > 0 ? (size_t)capacita : 1);
    for (int trama = 0; trama < 2; trama++) {
        int ricevuti = -1;
        int esito = cifrata ? ricezioneBufferCanale(&canale, &stato, dest, capacita, &ricevuti)
                            : ricezioneBufferInChiaroCanale(&canale, dest, capacita, &ricevuti);
        if (ricevuti < 0 || ricevuti > capacita)
            abort();
        if (esito != ESITO_FATTO)
            break;
        LeggiLista(dest, ricevuti);
        ProvaLzw(dest, ricevuti);
    }
    free(dest);

    LeggiLista(dati + 5, (int)lung - 5);
    if (modo & 0x20)
        ProvaLzw(dati + 5, (int)lung - 5);
    return 0;
}
