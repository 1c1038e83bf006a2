/* launch/NegoziazioneRichiestaWin.cpp - apertura della conversazione con il Client Grafico, ricezione
 * e controllo della richiesta, risposta con il codice di accettazione, controlli di aggiornamento,
 * cartella di lavoro e programma richiesto. Gira sul thread della connessione. */
#include "launch/launch.h"

#include "base/base.h"

#include <string.h>

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

/* Dal controllo degli aggiornamenti al programma, sotto il blocco della cartella di lavoro. */
static int PreparaCartellaEProgramma(SocketRete s, const uint8_t *messaggio, const CampoLista *campi, int numCampi,
                                     RichiestaClient *richiesta)
{
    if (AggiornamentoInCorso(s, richiesta->inChiaro, richiesta->compressione)) {
        ScriviLog("Impossibile attivare il programma: aggiornamento in corso...\n");
        return 0;
    }
    BloccaCartellaLavoro();
    AggiornamentoFormati();
    if (!CambiaWorkingDirectory(richiesta) || !SmistamentoProgramma(messaggio, campi, numCampi, richiesta)) {
        SbloccaCartellaLavoro();
        return 0;
    }
    return 1;
}

int NegoziazioneRichiesta(SocketRete s, RichiestaClient *richiesta)
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
    richiesta->inChiaro = esito == ESITO_IN_CHIARO;
    if (!RiceviRichiesta(s, &stato, richiesta->inChiaro, messaggio, &lung))
        return 0;
    if (!richiesta->inChiaro)
        AggiornamentoServizio(s);
    /* I campi si cercano solo nei byte arrivati; una richiesta malformata non ha risposta. */
    numCampi = ControllaRichiesta(messaggio, lung, campi);
    if (numCampi == 0)
        return 0;
    richiesta->compressione = campi[3].lung > 0 && messaggio[campi[3].inizio] == 'S';
    memcpy(messaggio + campi[0].inizio, richiesta->inChiaro ? "0101" : "0109", LUNG_CODICE_ACCETTAZIONE);
    if (!InviaRisposta(s, &stato, richiesta->inChiaro, messaggio, lung))
        return 0;
    return PreparaCartellaEProgramma(s, messaggio, campi, numCampi, richiesta);
}
