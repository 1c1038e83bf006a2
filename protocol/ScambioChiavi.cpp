/* protocol/ScambioChiavi.cpp - scambio chiavi all'apertura della conversazione, lato servizio e
 * lato client, e le due costanti condivise con il Client Grafico: tabella di chiave e frase in
 * chiaro. Lo stato di cifratura e' del chiamante; qui nessuno stato proprio. */
#include "protocol/protocol.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

const uint8_t TABELLA_CHIAVE[DIM_TABELLA_CHIAVE] = {
    0x2b, 0x96, 0x42, 0xec, 0xf6, 0x1e, 0xe7, 0x46, 0xe2, 0x29, 0xb6, 0x49,
    0x7a, 0x3a, 0x81, 0xab, 0x8b, 0x41, 0x91, 0xd8, 0x38, 0xde, 0xd6, 0x9e,
    0xb9, 0x9c, 0x53, 0x30, 0x79, 0x58, 0x36, 0x57, 0xc7, 0x43, 0x71, 0x05,
    0x75, 0x20, 0x8d, 0x2a, 0x8b, 0x42, 0x59, 0x79, 0x27, 0x92, 0xdd, 0x83,
    0x67, 0xf2, 0xc4, 0x50, 0x30, 0xc5, 0x8c, 0xc7, 0xed, 0x3c, 0xae, 0xdc,
    0x5e, 0xe3, 0xa0, 0x30, 0x72, 0x4b, 0x03, 0xa7, 0x9c, 0x62, 0x60, 0xed,
    0x0f, 0x25, 0x5a, 0x3e, 0xc8, 0x75, 0xf8, 0xd9, 0x18, 0x32, 0xed, 0xbd,
};

const char FRASE_IN_CHIARO[LUNG_FRASE_IN_CHIARO + 1] = "OrsoBrunoDorme5x8=40TreQuattroCinqueOrsoBrunoZ";

/* chiave[i] ^= tabella[i mod 84] su tutti i 1024 byte. */
static void CombinaConTabella(uint8_t *chiave)
{
    for (int i = 0; i < DIM_CHIAVE; i++)
        chiave[i] ^= TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
}

static void AzzeraPosizioni(StatoCifratura *stato)
{
    stato->invio.posizione = 0;
    stato->invio.base = 0;
    stato->ricezione.posizione = 0;
    stato->ricezione.base = 0;
}

/* Quanti dei byte visti appartengono allo scambio: la frase e gli zeri che la seguono (un client
 * che la manda in un'area azzerata; una trama in chiaro non comincia mai con uno zero), oppure
 * tutto il materiale visto. *frase = 1 se e' la frase. */
static int ByteDelloScambio(const uint8_t *visti, int lung, int *frase)
{
    int n = LUNG_FRASE_IN_CHIARO;

    *frase = lung >= LUNG_FRASE_IN_CHIARO && memcmp(visti, FRASE_IN_CHIARO, LUNG_FRASE_IN_CHIARO) == 0;
    if (!*frase)
        return lung;
    while (n < lung && visti[n] == 0)
        n++;
    return n;
}

/* Gli zeri dietro la frase oltre quelli gia' presi, finche' ce ne sono di gia' arrivati. */
static void ConsumaAltriZeri(CanaleRete *canale)
{
    uint8_t zeri[DIM_CHIAVE];
    int n = DIM_CHIAVE;

    while (n == DIM_CHIAVE && canale->attendi(canale->contesto, 0) > 0) {
        int visti = canale->sbircia(canale->contesto, zeri, DIM_CHIAVE);
        n = 0;
        while (n < visti && zeri[n] == 0)
            n++;
        if (n == 0 || canale->ricevi(canale->contesto, zeri, n) != n)
            return;
    }
}

/* Riceve il materiale del client nella chiave di ricezione: fino a 1024 byte o alla frase in
 * chiaro. Ogni giro guarda (sbircia) quello che e' gia' arrivato e ne prende con una sola
 * ricezione la parte dello scambio, senza toccare la trama che il client manda dopo la frase:
 * di solito uno sguardo e una ricezione. Dopo il primo pezzo attende al massimo 2 s ogni pezzo
 * successivo, poi usa quello che e' arrivato. 101 materiale, 108 frase, 102 rete. */
static int RiceviMateriale(CanaleRete *canale, uint8_t *materiale)
{
    int ricevuti = 0;
    while (ricevuti < DIM_CHIAVE) {
        if (ricevuti > 0) {
            int pronto = canale->attendi(canale->contesto, ATTESA_MATERIALE_MS);
            if (pronto < 0)
                return ESITO_CHIUSO;
            if (pronto == 0)
                break;
        }
        int n = canale->sbircia(canale->contesto, materiale + ricevuti, DIM_CHIAVE - ricevuti);
        if (n <= 0)
            return ESITO_CHIUSO;
        int visti = ricevuti + (n < DIM_CHIAVE - ricevuti ? n : DIM_CHIAVE - ricevuti);
        int frase = 0;
        int chiesti = ByteDelloScambio(materiale, visti, &frase) - ricevuti;
        int m = canale->ricevi(canale->contesto, materiale + ricevuti, chiesti);
        if (m <= 0)
            return ESITO_CHIUSO;
        ricevuti += m < chiesti ? m : chiesti;
        if (frase && ricevuti >= LUNG_FRASE_IN_CHIARO) {
            if (ricevuti == DIM_CHIAVE)
                ConsumaAltriZeri(canale);
            return ESITO_IN_CHIARO;
        }
    }
    return ESITO_FATTO;
}

/* I byte del materiale non arrivati tengono il contenuto precedente della chiave. */
int scambioChiaviCanale(CanaleRete *canale, StatoCifratura *stato)
{
    int esito = RiceviMateriale(canale, stato->ricezione.chiave);
    if (esito != ESITO_FATTO)
        return esito;
    CombinaConTabella(stato->ricezione.chiave);

    srand((unsigned)((IdentificativoProcesso() * 37u) % 14533u));
    for (int i = 0; i < DIM_CHIAVE; i++)
        stato->invio.chiave[i] = (uint8_t)(rand() % 255);
    if (!InviaTutto(canale, stato->invio.chiave, DIM_CHIAVE))
        return ESITO_CHIUSO;
    CombinaConTabella(stato->invio.chiave);
    AzzeraPosizioni(stato);
    return ESITO_FATTO;
}

int scambioChiavi(SocketRete s, StatoCifratura *stato)
{
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    return scambioChiaviCanale(&canale, stato);
}

/* Lato client: le chiavi all'inverso del servizio. La chiave d'invio viene dal materiale proprio,
 * quella di ricezione dai 1024 byte del servizio. */
int scambioChiaviClienteCanale(CanaleRete *canale, StatoCifratura *stato, int inChiaro,
                               const uint8_t *materiale)
{
    if (inChiaro)
        return InviaTutto(canale, (const uint8_t *)FRASE_IN_CHIARO, LUNG_FRASE_IN_CHIARO)
                   ? ESITO_IN_CHIARO
                   : ESITO_CHIUSO;
    memcpy(stato->invio.chiave, materiale, DIM_CHIAVE);
    if (!InviaTutto(canale, stato->invio.chiave, DIM_CHIAVE))
        return ESITO_CHIUSO;
    int ricevuti = 0;
    while (ricevuti < DIM_CHIAVE) {
        int n = canale->ricevi(canale->contesto, stato->ricezione.chiave + ricevuti,
                               DIM_CHIAVE - ricevuti);
        if (n <= 0)
            return ESITO_CHIUSO;
        ricevuti += n < DIM_CHIAVE - ricevuti ? n : DIM_CHIAVE - ricevuti;
    }
    CombinaConTabella(stato->invio.chiave);
    CombinaConTabella(stato->ricezione.chiave);
    AzzeraPosizioni(stato);
    return ESITO_FATTO;
}

/* Materiale del client da un generatore locale (xorshift32): il generatore della libreria resta
 * al servizio, che lo riavvia a ogni scambio. */
static void GeneraMateriale(uint8_t *materiale, uint32_t seme)
{
    uint32_t x = seme != 0 ? seme : 0x9e3779b9u;
    for (int i = 0; i < DIM_CHIAVE; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        materiale[i] = (uint8_t)(x >> 24);
    }
}

int scambioChiaviCliente(SocketRete s, StatoCifratura *stato, int inChiaro)
{
    uint8_t materiale[DIM_CHIAVE];
    CanaleRete canale;
    GeneraMateriale(materiale, (uint32_t)time(NULL) ^ (IdentificativoProcesso() * 2654435761u) ^
                                   (uint32_t)(uintptr_t)stato);
    /* Il materiale non deve sembrare la frase in chiaro al servizio. */
    if (materiale[0] == (uint8_t)FRASE_IN_CHIARO[0])
        materiale[0] ^= 0x80;
    CanaleSuSocket(&canale, &s);
    return scambioChiaviClienteCanale(&canale, stato, inChiaro, materiale);
}
