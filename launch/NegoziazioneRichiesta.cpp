/* launch/NegoziazioneRichiesta.cpp - apertura della conversazione con il Client Grafico, ricezione
 * e controllo della richiesta, risposta con il codice di accettazione, controlli di aggiornamento,
 * cartella di lavoro e programma richiesto. Gira sul thread della connessione, su un CanaleRete; i
 * passi di sistema sono quelli di passiLancio. */
#include "launch/launch.h"

#include "base/base.h"

#include <string.h>

/* Riceve la richiesta nel modo della conversazione; 1 se arrivata. */
static int RiceviRichiesta(CanaleRete *canale, StatoCifratura *stato, int inChiaro, uint8_t *messaggio, int *lung)
{
    if (inChiaro)
        return ricezioneBufferInChiaroCanale(canale, messaggio, DIM_AREA_MESSAGGIO, lung) == ESITO_FATTO;
    if (ricezioneBufferCanale(canale, stato, messaggio, DIM_AREA_MESSAGGIO, lung) != ESITO_FATTO) {
        ScriviLog("Errore ricezioneBuffer Client Grafico\n");
        return 0;
    }
    return 1;
}

/* Rimanda il messaggio. La trama cifrata consuma l'area che invia: si invia una copia, cosi' i
 * campi restano come ricevuti. */
static int InviaRisposta(CanaleRete *canale, StatoCifratura *stato, int inChiaro, const uint8_t *messaggio,
                         int lung)
{
    uint8_t copia[DIM_AREA_MESSAGGIO];

    if (inChiaro)
        return invioBufferInChiaroCanale(canale, messaggio, lung) == ESITO_FATTO;
    memcpy(copia, messaggio, (size_t)lung);
    if (invioBufferCanale(canale, stato, copia, lung) != ESITO_FATTO) {
        ScriviLog("Errore invioBuffer Client Grafico\n");
        return 0;
    }
    return 1;
}

/* Dal controllo dell'aggiornamento in corso al programma; rende l'esito della negoziazione. */
static int PreparaCartellaEProgramma(CanaleRete *canale, const DescrittoreRichiesta *descrittore,
                                     const uint8_t *messaggio, const CampoLista *campi, int numCampi,
                                     RichiestaClient *richiesta)
{
    if (AggiornamentoInCorso(canale, richiesta->inChiaro, richiesta->compressione)) {
        ScriviLog("Impossibile attivare il programma: aggiornamento in corso...\n");
        return NEGOZIAZIONE_AVVISO_INVIATO;
    }
    AggiornamentoFormati();
    if (!CambiaWorkingDirectory(richiesta) || !SmistamentoProgramma(descrittore, messaggio, campi, numCampi, richiesta))
        return NEGOZIAZIONE_RIFIUTATA;
    return NEGOZIAZIONE_RIUSCITA;
}

/* ---- Scadenza della negoziazione ----
 * Dall'inizio alla risposta passano al piu' LIMITE_NEGOZIAZIONE_MS: il canale della negoziazione
 * avvolge quello della connessione e fa attendere a ogni ricezione solo il tempo che resta. La
 * prima ricezione ha il limite del socket, che e' lo stesso: un client muto cade come sempre. */
typedef struct CanaleConScadenza {
    CanaleRete *interno;
    uint32_t inizioMs;
    int ricevuto; /* e' arrivato qualcosa */
    int scaduta;
} CanaleConScadenza;

static int RestoMs(const CanaleConScadenza *scadenza)
{
    uint32_t passati = passiLancio.adessoMs() - scadenza->inizioMs;
    return passati >= LIMITE_NEGOZIAZIONE_MS ? 0 : (int)(LIMITE_NEGOZIAZIONE_MS - passati);
}

/* 1 se si puo' ricevere; -1 se la scadenza arriva prima dei dati (con la riga) o l'attesa fallisce. */
static int PrimaDiRicevere(CanaleConScadenza *scadenza)
{
    int resto = 0;
    int pronto = 0;

    if (scadenza->scaduta)
        return -1;
    if (!scadenza->ricevuto)
        return 1;
    resto = RestoMs(scadenza);
    if (resto > 0)
        pronto = scadenza->interno->attendi(scadenza->interno->contesto, resto);
    if (pronto != 0)
        return pronto;
    ScriviLog("AttivazioneClient - richiesta non completata in 60 s: connessione chiusa\n");
    scadenza->scaduta = 1;
    return -1;
}

/* Una lettura del canale interno (ricevi o sbircia) dentro la scadenza. */
static int LeggiEntro(CanaleConScadenza *scadenza, int (*leggi)(void *, uint8_t *, int), uint8_t *dove, int quanti)
{
    int n = PrimaDiRicevere(scadenza);

    if (n > 0)
        n = leggi(scadenza->interno->contesto, dove, quanti);
    if (n > 0)
        scadenza->ricevuto = 1;
    return n;
}

static int RiceviEntro(void *contesto, uint8_t *dove, int quanti)
{
    CanaleConScadenza *scadenza = (CanaleConScadenza *)contesto;
    return LeggiEntro(scadenza, scadenza->interno->ricevi, dove, quanti);
}

static int SbirciaEntro(void *contesto, uint8_t *dove, int quanti)
{
    CanaleConScadenza *scadenza = (CanaleConScadenza *)contesto;
    return LeggiEntro(scadenza, scadenza->interno->sbircia, dove, quanti);
}

static int AttendiEntro(void *contesto, int millisecondi)
{
    CanaleConScadenza *scadenza = (CanaleConScadenza *)contesto;
    int resto = scadenza->scaduta ? 0 : RestoMs(scadenza);

    if (resto == 0)
        return 0;
    return scadenza->interno->attendi(scadenza->interno->contesto, millisecondi < resto ? millisecondi : resto);
}

static int InviaEntro(void *contesto, const uint8_t *cosa, int quanti)
{
    CanaleConScadenza *scadenza = (CanaleConScadenza *)contesto;
    return scadenza->interno->invia(scadenza->interno->contesto, cosa, quanti);
}

static int Negozia(CanaleRete *canale, RichiestaClient *richiesta)
{
    StatoCifratura stato;
    uint8_t messaggio[DIM_AREA_MESSAGGIO];
    CampoLista campi[MAX_CAMPI_RICHIESTA];
    const DescrittoreRichiesta *descrittore = NULL;
    int lung = 0;
    int numCampi = 0;
    int esito = 0;

    memset(&stato, 0, sizeof stato);
    esito = scambioChiaviCanale(canale, &stato);
    if (esito == ESITO_CHIUSO) {
        ScriviLog("Impossibile attivare la comunicazione Criptazione KO...\n");
        return NEGOZIAZIONE_FALLITA;
    }
    richiesta->inChiaro = esito == ESITO_IN_CHIARO;
    if (!RiceviRichiesta(canale, &stato, richiesta->inChiaro, messaggio, &lung))
        return NEGOZIAZIONE_FALLITA;
    if (!richiesta->inChiaro) {
        switch (AggiornamentoServizio(canale)) {
        case 1:
            return NEGOZIAZIONE_FINE_THREAD;
        case 2:
            return NEGOZIAZIONE_AGGIORNATORE_IN_CORSO;
        default:
            break;
        }
    }
    /* I campi si cercano solo nei byte arrivati; una richiesta malformata non ha risposta. */
    numCampi = ControllaRichiesta(messaggio, lung, campi, &descrittore);
    if (numCampi == 0)
        return NEGOZIAZIONE_RIFIUTATA;
    richiesta->compressione = campi[3].lung > 0 && messaggio[campi[3].inizio] == 'S';
    memcpy(messaggio + campi[0].inizio, richiesta->inChiaro ? "0101" : "0109", LUNG_CODICE_ACCETTAZIONE);
    if (!InviaRisposta(canale, &stato, richiesta->inChiaro, messaggio, lung))
        return NEGOZIAZIONE_FALLITA;
    return PreparaCartellaEProgramma(canale, descrittore, messaggio, campi, numCampi, richiesta);
}

int NegoziazioneRichiestaCanale(CanaleRete *canale, RichiestaClient *richiesta)
{
    CanaleConScadenza scadenza = {canale, passiLancio.adessoMs(), 0, 0};
    CanaleRete entro = {RiceviEntro, InviaEntro, AttendiEntro, SbirciaEntro, &scadenza};

    return Negozia(&entro, richiesta);
}

int NegoziazioneRichiesta(SocketRete s, RichiestaClient *richiesta)
{
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    return NegoziazioneRichiestaCanale(&canale, richiesta);
}
