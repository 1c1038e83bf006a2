/* protocol/Cifratura.cpp - flussi di chiave: cifratura in posto e chiusura del messaggio.
 * Ogni flusso appartiene a una conversazione e al suo thread. */
#include "protocol/protocol.h"

void CifraDecifra(FlussoChiave *flusso, uint8_t *dati, int lung)
{
    int posizione = ((flusso->posizione % DIM_CHIAVE) + DIM_CHIAVE) % DIM_CHIAVE;
    for (int i = 0; i < lung; i++) {
        dati[i] ^= flusso->chiave[posizione];
        posizione = (posizione + 1) % DIM_CHIAVE;
    }
    flusso->posizione = posizione;
}

int PassoFlusso(const FlussoChiave *flusso)
{
    return 13 + (int)(int8_t)flusso->chiave[0];
}

/* Il messaggio successivo parte da un indice che dipende solo da quanti messaggi ha portato
 * il flusso, non dalla loro lunghezza. */
void ChiudiMessaggio(FlussoChiave *flusso)
{
    int base = (flusso->base + PassoFlusso(flusso)) % DIM_CHIAVE;
    if (base < 0)
        base += DIM_CHIAVE;
    flusso->base = base;
    flusso->posizione = base;
}
