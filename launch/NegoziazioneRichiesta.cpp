/* launch/NegoziazioneRichiesta.cpp - apertura della conversazione con il Client Grafico, ricezione
 * della richiesta e risposta con il codice di accettazione. */
#include "launch/launch.h"

#include "service/service.h"

#include <string.h>

/* Ogni campo usato come testo ha almeno il codice di 4 caratteri del campo 0. */
#define LUNG_CODICE_ACCETTAZIONE 4

/* Riceve la richiesta nel modo della conversazione; 1 se arrivata. */
static int RiceviRichiesta(SocketRete s, StatoCifratura *stato, int inChiaro, uint8_t *messaggio, int *lung)
{
    if (inChiaro)
        return ricezioneBufferInChiaro(s, messaggio, DIM_AREA_MESSAGGIO, lung) == ESITO_FATTO;
    if (ricezioneBuffer(s, stato, messaggio, DIM_AREA_MESSAGGIO, lung) != ESITO_FATTO) {
        ScriviLog("Errore ricezioneBuffer Client Grafico\n");
        return 0;
    }
    return 1;
}

/* Rimanda il messaggio. La trama cifrata consuma l'area che invia: si invia una copia, cosi' i
 * campi restano come ricevuti. */
static int InviaRisposta(SocketRete s, StatoCifratura *stato, int inChiaro, const uint8_t *messaggio, int lung)
{
    uint8_t copia[DIM_AREA_MESSAGGIO];

    if (inChiaro)
        return invioBufferInChiaro(s, messaggio, lung) == ESITO_FATTO;
    memcpy(copia, messaggio, (size_t)lung);
    if (invioBuffer(s, stato, copia, lung) != ESITO_FATTO) {
        ScriviLog("Errore invioBuffer Client Grafico\n");
        return 0;
    }
    return 1;
}

int NegoziazioneRichiesta(SocketRete s, int *inChiaro)
{
    StatoCifratura stato;
    uint8_t messaggio[DIM_AREA_MESSAGGIO];
    CampoLista campi[MAX_CAMPI_RICHIESTA];
    int lung = 0;
    int numCampi = 0;
    int esito = 0;

    memset(&stato, 0, sizeof stato);
    esito = scambioChiavi(s, &stato);
    if (esito == ESITO_CHIUSO) {
        ScriviLog("Impossibile attivare la comunicazione Criptazione KO...\n");
        return 0;
    }
    *inChiaro = esito == ESITO_IN_CHIARO;
    if (!RiceviRichiesta(s, &stato, *inChiaro, messaggio, &lung))
        return 0;
    /* Il conteggio puo' superare la trama se il client ha gia' mandato altro: i campi si cercano
     * solo nei byte arrivati, e una lista che non si chiude tra questi rifiuta la richiesta. */
    numCampi = LeggiListaCampi(messaggio, lung, campi, MAX_CAMPI_RICHIESTA);
    if (numCampi < 1 || campi[0].lung < LUNG_CODICE_ACCETTAZIONE) {
        ScriviLog("NegoziazioneRichiesta - richiesta non valida: %d campi in %d byte\n", numCampi, lung);
        return 0;
    }
    memcpy(messaggio + campi[0].inizio, *inChiaro ? "0101" : "0109", LUNG_CODICE_ACCETTAZIONE);
    return InviaRisposta(s, &stato, *inChiaro, messaggio, lung);
}
