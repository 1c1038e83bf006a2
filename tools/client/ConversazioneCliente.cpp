/* tools/client/ConversazioneCliente.cpp - la conversazione del client con il servizio su un
 * CanaleRete: scambio chiavi (o frase in chiaro), richiesta, risposta, e poi quanto segue: il testo
 * della versione, gli avvisi di aggiornamento o i messaggi dell'applicativo avviato. Ogni
 * ricezione ha un limite di tempo, cosi' il client non resta mai appeso. */
#include "tools/client/cliente.h"

#include "base/base.h"

#include <stdio.h>
#include <string.h>

/* Dati raccolti dopo la risposta, e corpi decompressi. */
#define DIM_DOPO 65536
#define DIM_TESTO_AVVISO 512

/* Canale con limite di tempo su ogni ricezione e, davanti, byte gia' letti da restituire. */
typedef struct CanaleCliente {
    CanaleRete *base;
    int limiteMs;
    int scaduto; /* l'ultima ricezione non ha visto dati entro il limite */
    int chiuso;  /* il peer ha chiuso la connessione */
    uint8_t riserva[LUNG_BUSTA];
    int lungRiserva;
    int posRiserva;
} CanaleCliente;

/* Copia fino a quanti byte dalla riserva; con consuma li toglie. I byte copiati. */
static int DallaRiserva(CanaleCliente *c, uint8_t *dove, int quanti, int consuma)
{
    int n = c->lungRiserva - c->posRiserva;
    if (n > quanti)
        n = quanti;
    memcpy(dove, c->riserva + c->posRiserva, (size_t)n);
    if (consuma)
        c->posRiserva += n;
    return n;
}

static int RiceviCliente(void *contesto, uint8_t *dove, int quanti)
{
    CanaleCliente *c = (CanaleCliente *)contesto;
    if (c->posRiserva < c->lungRiserva)
        return DallaRiserva(c, dove, quanti, 1);
    c->scaduto = 0;
    int pronto = c->base->attendi(c->base->contesto, c->limiteMs);
    if (pronto == 0) {
        c->scaduto = 1;
        return -1;
    }
    int n = pronto < 0 ? -1 : c->base->ricevi(c->base->contesto, dove, quanti);
    if (n <= 0)
        c->chiuso = 1; /* chiusa dal peer o interrotta: per il client e' lo stesso */
    return n;
}

static int InviaCliente(void *contesto, const uint8_t *cosa, int quanti)
{
    CanaleCliente *c = (CanaleCliente *)contesto;
    return c->base->invia(c->base->contesto, cosa, quanti);
}

static int AttendiCliente(void *contesto, int millisecondi)
{
    CanaleCliente *c = (CanaleCliente *)contesto;
    if (c->posRiserva < c->lungRiserva)
        return 1;
    return c->base->attendi(c->base->contesto, millisecondi);
}

static int SbirciaCliente(void *contesto, uint8_t *dove, int quanti)
{
    CanaleCliente *c = (CanaleCliente *)contesto;
    if (c->posRiserva < c->lungRiserva)
        return DallaRiserva(c, dove, quanti, 0);
    return c->base->sbircia(c->base->contesto, dove, quanti);
}

/* Riceve fino a n byte; rende quanti ne sono arrivati prima di chiusura, errore o limite. */
static int RiceviEsatti(CanaleRete *rete, uint8_t *dove, int n)
{
    int ricevuti = 0;
    while (ricevuti < n) {
        int m = rete->ricevi(rete->contesto, dove + ricevuti, n - ricevuti);
        if (m <= 0)
            break;
        ricevuti += m;
    }
    return ricevuti;
}

/* Raccoglie fino alla chiusura: il primo byte entro primoMs, i successivi entro dopoMs dall'ultimo. */
static int Raccogli(CanaleRete *rete, CanaleCliente *c, uint8_t *dove, int capacita, int primoMs, int dopoMs)
{
    int lung = 0;
    c->limiteMs = primoMs;
    while (lung < capacita) {
        int n = rete->ricevi(rete->contesto, dove + lung, capacita - lung);
        if (n <= 0)
            break;
        lung += n;
        c->limiteMs = dopoMs;
    }
    return lung;
}

typedef struct Conversazione {
    const OpzioniConversazione *opzioni;
    CanaleCliente canale;
    CanaleRete rete;
    TestoUscita *uscita;
    char *errore;
    size_t dimErrore;
} Conversazione;

static int Fallisce(Conversazione *cv, int codice, const char *testo)
{
    CopiaTesto(cv->errore, cv->dimErrore, testo);
    return codice;
}

/* Una ricezione non riuscita: scaduta, chiusa o interrotta. */
static int RicezioneFallita(Conversazione *cv, const char *cosa)
{
    char riga[256];
    if (cv->canale.scaduto)
        FormattaTesto(riga, sizeof riga, "tempo scaduto: nessun dato dal servizio in attesa di %s", cosa);
    else if (cv->canale.chiuso)
        FormattaTesto(riga, sizeof riga, "il servizio ha chiuso la connessione durante %s", cosa);
    else
        FormattaTesto(riga, sizeof riga, "errore di rete durante %s", cosa);
    return Fallisce(cv, cv->canale.scaduto ? USCITA_TEMPO : USCITA_NON_VALIDA, riga);
}

/* L'avviso di aggiornamento del servizio: la busta e' gia' nella riserva. */
static int AvvisoServizio(Conversazione *cv)
{
    uint8_t avviso[LUNG_BUSTA + DIM_AREA_MESSAGGIO];
    char testo[DIM_TESTO_AVVISO];
    int n = 0;
    for (int i = 10; i < LUNG_BUSTA; i++)
        n = n * 10 + (cv->canale.riserva[i] >= '0' && cv->canale.riserva[i] <= '9' ? cv->canale.riserva[i] - '0' : 0);
    if (n > DIM_AREA_MESSAGGIO - LUNG_CIFRE_CAMPO)
        return Fallisce(cv, USCITA_NON_VALIDA, "avviso del servizio con una lunghezza non valida");
    memcpy(avviso, cv->canale.riserva, LUNG_BUSTA);
    cv->canale.posRiserva = cv->canale.lungRiserva = 0;
    int lung = LUNG_BUSTA + RiceviEsatti(&cv->rete, avviso + LUNG_BUSTA, n);
    if (lung < LUNG_BUSTA + n)
        return RicezioneFallita(cv, "l'avviso del servizio");
    /* La fine lista: il servizio non chiude la connessione dopo l'avviso, l'attesa e' breve. */
    cv->canale.limiteMs = cv->opzioni->attesaDopoMs;
    lung += RiceviEsatti(&cv->rete, avviso + lung, LUNG_CIFRE_CAMPO);
    if (!DecodificaAvvisoServizio(avviso, lung, testo, sizeof testo)) {
        AccodaUscita(cv->uscita, "dopo: ");
        AccodaByte(cv->uscita, avviso, lung);
        AccodaUscita(cv->uscita, "\n");
        return Fallisce(cv, USCITA_NON_VALIDA, "avviso del servizio non decifrabile");
    }
    AccodaUscita(cv->uscita, "avviso servizio: ");
    AccodaByte(cv->uscita, (const uint8_t *)testo, (int)strlen(testo));
    AccodaUscita(cv->uscita, "\n");
    CopiaTesto(cv->errore, cv->dimErrore, "aggiornamento del servizio in corso: ritentare la connessione piu' tardi");
    return USCITA_AGG_SERVIZIO;
}

/* Trama in chiaro letta esattamente: 10 cifre di lunghezza e il corpo, niente di piu'. */
static int RiceviTramaInChiaro(Conversazione *cv, uint8_t *dest, int capacita, int *lung)
{
    uint8_t intestazione[LUNG_INTESTAZIONE_IN_CHIARO];
    int n = RiceviEsatti(&cv->rete, intestazione, LUNG_INTESTAZIONE_IN_CHIARO);
    if (n == 0 && cv->canale.chiuso)
        return Fallisce(cv, USCITA_RIFIUTATA, "il servizio ha chiuso la connessione senza rispondere: richiesta rifiutata");
    if (n < LUNG_INTESTAZIONE_IN_CHIARO)
        return RicezioneFallita(cv, "la risposta");
    int annunciati = 0;
    for (int i = 0; i < LUNG_INTESTAZIONE_IN_CHIARO; i++) {
        if (intestazione[i] < '0' || intestazione[i] > '9' || annunciati > (capacita / 10))
            return Fallisce(cv, USCITA_NON_VALIDA, "intestazione della risposta non valida");
        annunciati = annunciati * 10 + (intestazione[i] - '0');
    }
    if (annunciati > capacita)
        return Fallisce(cv, USCITA_NON_VALIDA, "risposta piu' lunga dell'area del client");
    if (RiceviEsatti(&cv->rete, dest, annunciati) < annunciati)
        return RicezioneFallita(cv, "la risposta");
    *lung = annunciati;
    return USCITA_FATTO;
}

/* Trama cifrata: prima i 15 byte in chiaro per riconoscere la busta dell'avviso del servizio. */
static int RiceviRispostaCifrata(Conversazione *cv, StatoCifratura *stato, uint8_t *dest, int capacita,
                                 int *lung)
{
    int n = RiceviEsatti(&cv->rete, cv->canale.riserva, LUNG_BUSTA);
    if (n == 0 && cv->canale.chiuso)
        return Fallisce(cv, USCITA_RIFIUTATA, "il servizio ha chiuso la connessione senza rispondere: richiesta rifiutata");
    if (n < LUNG_BUSTA)
        return RicezioneFallita(cv, "la risposta");
    cv->canale.lungRiserva = LUNG_BUSTA;
    cv->canale.posRiserva = 0;
    if (memcmp(cv->canale.riserva + 5, "PANIC", 5) == 0)
        return AvvisoServizio(cv);
    if (ricezioneBufferCanale(&cv->rete, stato, dest, capacita, lung) != ESITO_FATTO)
        return RicezioneFallita(cv, "la risposta");
    return USCITA_FATTO;
}

/* Il testo della versione: byte nudi fino alla chiusura. */
static int Versione(Conversazione *cv)
{
    uint8_t dati[DIM_TESTO_AVVISO];
    char testo[DIM_TESTO_AVVISO];
    const OpzioniConversazione *op = cv->opzioni;
    int lung = Raccogli(&cv->rete, &cv->canale, dati, sizeof dati, op->limiteMs, op->limiteMs);
    if (op->inChiaro && DecodificaAvvisoInChiaro(dati, lung, testo, sizeof testo)) {
        AccodaUscita(cv->uscita, "avviso applicativo: ");
        AccodaByte(cv->uscita, (const uint8_t *)testo, (int)strlen(testo));
        AccodaUscita(cv->uscita, "\n");
        return Fallisce(cv, USCITA_AGG_APPLICATIVO, "aggiornamento dell'applicativo in corso: ritentare piu' tardi");
    }
    if (lung > 0) {
        AccodaUscita(cv->uscita, "versione: ");
        AccodaByte(cv->uscita, dati, lung);
        AccodaUscita(cv->uscita, "\n");
    }
    if (cv->canale.scaduto && lung == 0 && !op->inChiaro)
        return Fallisce(cv, USCITA_TEMPO,
                        "tempo scaduto: nessuna versione dal servizio (durante un aggiornamento il servizio "
                        "attende lo scambio chiavi: --scambio)");
    if (cv->canale.scaduto)
        return Fallisce(cv, USCITA_TEMPO, "tempo scaduto: il servizio non ha chiuso la connessione dopo la versione");
    if (lung == 0)
        return Fallisce(cv, USCITA_NON_VALIDA, "il servizio ha chiuso la connessione senza mandare la versione");
    return USCITA_FATTO;
}

/* Corpo di un messaggio dell'applicativo: decompresso se la conversazione comprime. Rende la
 * lunghezza in corpo, -1 se non si decomprime. */
static int CorpoApplicativo(const OpzioniConversazione *op, const uint8_t *payload, int lung, uint8_t *corpo,
                            int capacita)
{
    if (!op->compressione) {
        if (lung > capacita)
            return -1;
        memcpy(corpo, payload, (size_t)lung);
        return lung;
    }
    return DecomprimiLzw(payload, lung, corpo, capacita);
}

/* Conversazione cifrata dell'applicativo (o dell'avviso che ne prende il posto): nuovo scambio
 * chiavi, poi trame fino alla chiusura. */
static int ConversazioneApplicativo(Conversazione *cv)
{
    static uint8_t payload[DIM_CORPO_CLIENTE];
    static uint8_t corpo[DIM_DOPO];
    const OpzioniConversazione *op = cv->opzioni;
    StatoCifratura stato;
    char testo[DIM_TESTO_AVVISO];
    int messaggi = 0;

    memset(&stato, 0, sizeof stato);
    cv->canale.limiteMs = op->limiteMs;
    if (scambioChiaviClienteCanale(&cv->rete, &stato, 0, op->materiale) != ESITO_FATTO) {
        if (cv->canale.scaduto)
            return Fallisce(cv, USCITA_TEMPO, "tempo scaduto: nessuna chiave dall'applicativo");
        return Fallisce(cv, USCITA_NON_AVVIATO,
                        "il servizio ha chiuso la connessione dopo la risposta: applicativo non avviato");
    }
    for (;;) {
        int lung = 0;
        cv->canale.limiteMs = messaggi == 0 ? op->limiteMs : op->attesaDopoMs;
        if (ricezioneBufferCanale(&cv->rete, &stato, payload, sizeof payload, &lung) != ESITO_FATTO) {
            if (messaggi > 0 && (cv->canale.chiuso || cv->canale.scaduto))
                return USCITA_FATTO;
            if (messaggi == 0 && cv->canale.chiuso)
                return Fallisce(cv, USCITA_NON_AVVIATO, "l'applicativo ha chiuso la connessione senza messaggi");
            return RicezioneFallita(cv, "un messaggio dell'applicativo");
        }
        messaggi++;
        int n = CorpoApplicativo(op, payload, lung, corpo, sizeof corpo);
        if (n < 0) {
            AccodaUscita(cv->uscita, "applicativo: ");
            AccodaByte(cv->uscita, payload, lung);
            AccodaUscita(cv->uscita, "\n");
            return Fallisce(cv, USCITA_NON_VALIDA, "messaggio compresso non decifrabile");
        }
        if (DecodificaAvvisoCifrato(corpo, n, testo, sizeof testo)) {
            AccodaUscita(cv->uscita, "avviso applicativo: ");
            AccodaByte(cv->uscita, (const uint8_t *)testo, (int)strlen(testo));
            AccodaUscita(cv->uscita, "\n");
            /* Il servizio legge e scarta un messaggio del client prima di chiudere. */
            uint8_t risposta[LUNG_CIFRE_CAMPO];
            memcpy(risposta, "00000", LUNG_CIFRE_CAMPO);
            invioBufferCanale(&cv->rete, &stato, risposta, LUNG_CIFRE_CAMPO);
            return Fallisce(cv, USCITA_AGG_APPLICATIVO, "aggiornamento dell'applicativo in corso: ritentare piu' tardi");
        }
        if (n == 0 || AccodaCampi(cv->uscita, "applicativo", corpo, n) < 0) {
            AccodaUscita(cv->uscita, "applicativo: ");
            AccodaByte(cv->uscita, corpo, n);
            AccodaUscita(cv->uscita, "\n");
        }
        if (messaggi == 1 && op->invia != NULL && op->lungInvia > 0) {
            int lungRisposta = op->lungInvia;
            if (lungRisposta > (int)sizeof payload)
                lungRisposta = (int)sizeof payload;
            memcpy(payload, op->invia, (size_t)lungRisposta);
            if (invioBufferCanale(&cv->rete, &stato, payload, lungRisposta) != ESITO_FATTO)
                return Fallisce(cv, USCITA_INVIO, "invio all'applicativo non riuscito");
        }
    }
}

/* Quanto arriva dopo la risposta, byte per byte: il testo dell'applicativo avviato o l'avviso in
 * chiaro. Con dati da mandare, partono dopo i primi byte arrivati (il saluto dell'applicativo). */
static int DatiDopo(Conversazione *cv, int avvio)
{
    static uint8_t dati[DIM_DOPO];
    char testo[DIM_TESTO_AVVISO];
    const OpzioniConversazione *op = cv->opzioni;
    int lung = Raccogli(&cv->rete, &cv->canale, dati, sizeof dati, avvio ? op->limiteMs : op->attesaDopoMs,
                        op->attesaDopoMs);
    if (lung > 0 && op->invia != NULL && op->lungInvia > 0 && !cv->canale.chiuso) {
        if (!InviaTutto(&cv->rete, op->invia, op->lungInvia))
            return Fallisce(cv, USCITA_INVIO, "invio all'applicativo non riuscito");
        lung += Raccogli(&cv->rete, &cv->canale, dati + lung, (int)sizeof dati - lung, op->limiteMs, op->attesaDopoMs);
    }
    if (lung == 0) {
        if (!avvio)
            return USCITA_FATTO;
        if (cv->canale.scaduto && !op->inChiaro)
            return Fallisce(cv, USCITA_TEMPO,
                            "tempo scaduto: nessun dato dopo la risposta (durante un aggiornamento il servizio "
                            "attende lo scambio chiavi: --scambio)");
        if (cv->canale.scaduto)
            return Fallisce(cv, USCITA_TEMPO, "tempo scaduto: nessun dato dall'applicativo");
        return Fallisce(cv, USCITA_NON_AVVIATO,
                        "il servizio ha chiuso la connessione dopo la risposta: applicativo non avviato");
    }
    if (op->inChiaro && DecodificaAvvisoInChiaro(dati, lung, testo, sizeof testo)) {
        AccodaUscita(cv->uscita, "avviso applicativo: ");
        AccodaByte(cv->uscita, (const uint8_t *)testo, (int)strlen(testo));
        AccodaUscita(cv->uscita, "\n");
        return Fallisce(cv, USCITA_AGG_APPLICATIVO, "aggiornamento dell'applicativo in corso: ritentare piu' tardi");
    }
    if (!op->inChiaro || !AccodaMessaggiInChiaro(cv->uscita, dati, lung)) {
        AccodaUscita(cv->uscita, "dopo: ");
        AccodaByte(cv->uscita, dati, lung);
        AccodaUscita(cv->uscita, "\n");
    }
    return USCITA_FATTO;
}

int ConversaCliente(CanaleRete *canale, const OpzioniConversazione *opzioni, const uint8_t *richiesta,
                    int lungRichiesta, TestoUscita *uscita, char *errore, size_t dimErrore)
{
    static uint8_t area[DIM_CORPO_CLIENTE];
    Conversazione cv;
    StatoCifratura stato;
    int lungRisposta = 0;
    int esito;

    memset(&cv, 0, sizeof cv);
    memset(&stato, 0, sizeof stato);
    cv.opzioni = opzioni;
    cv.canale.base = canale;
    cv.canale.limiteMs = opzioni->limiteMs;
    cv.rete.ricevi = RiceviCliente;
    cv.rete.invia = InviaCliente;
    cv.rete.attendi = AttendiCliente;
    cv.rete.sbircia = SbirciaCliente;
    cv.rete.contesto = &cv.canale;
    cv.uscita = uscita;
    cv.errore = errore;
    cv.dimErrore = dimErrore;
    if (dimErrore > 0)
        errore[0] = '\0';
    if (lungRichiesta <= 0 || lungRichiesta > (int)sizeof area)
        return Fallisce(&cv, USCITA_USO, "richiesta vuota o troppo lunga");

    esito = scambioChiaviClienteCanale(&cv.rete, &stato, opzioni->inChiaro, opzioni->materiale);
    if (esito != (opzioni->inChiaro ? ESITO_IN_CHIARO : ESITO_FATTO)) {
        if (cv.canale.scaduto)
            return Fallisce(&cv, USCITA_TEMPO, "tempo scaduto: nessuna chiave dal servizio");
        return Fallisce(&cv, USCITA_SCAMBIO, "scambio chiavi non riuscito: il servizio ha chiuso la connessione");
    }
    memcpy(area, richiesta, (size_t)lungRichiesta); /* l'invio cifrato consuma l'area */
    esito = opzioni->inChiaro ? invioBufferInChiaroCanale(&cv.rete, area, lungRichiesta)
                              : invioBufferCanale(&cv.rete, &stato, area, lungRichiesta);
    /* Un servizio che rifiuta la trama mentre arriva (per esempio oltre la sua area) chiude la
     * connessione: il resto dell'invio trova la connessione chiusa, ed e' lo stesso rifiuto. */
    if (esito != ESITO_FATTO)
        return Fallisce(&cv, USCITA_RIFIUTATA,
                        "il servizio ha chiuso la connessione durante l'invio della richiesta: richiesta rifiutata");

    esito = opzioni->inChiaro ? RiceviTramaInChiaro(&cv, area, sizeof area, &lungRisposta)
                              : RiceviRispostaCifrata(&cv, &stato, area, sizeof area, &lungRisposta);
    if (esito != USCITA_FATTO)
        return esito;
    if (AccodaCampi(uscita, "campo", area, lungRisposta) < 0) {
        AccodaUscita(uscita, "risposta: ");
        AccodaByte(uscita, area, lungRisposta);
        AccodaUscita(uscita, "\n");
        return Fallisce(&cv, USCITA_NON_VALIDA, "risposta non in forma di lista di campi");
    }
    const char *codice = opzioni->inChiaro ? "0101" : "0109";
    if (lungRisposta < LUNG_CIFRE_CAMPO + 4 || memcmp(area + LUNG_CIFRE_CAMPO, codice, 4) != 0) {
        char riga[128];
        FormattaTesto(riga, sizeof riga, "la risposta non porta il codice di accettazione %s", codice);
        return Fallisce(&cv, USCITA_NON_VALIDA, riga);
    }

    if (!opzioni->inChiaro && opzioni->scambioApplicativo)
        return ConversazioneApplicativo(&cv);
    if (opzioni->richiestaVersione)
        return Versione(&cv);
    return DatiDopo(&cv, opzioni->avvio);
}
