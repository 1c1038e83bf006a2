/* service/Ammissione.cpp - le decisioni del ciclo di accept: reti ammesse, conversazioni in corso per
 * indirizzo e in tutto, righe di rifiuto al piu' una al minuto per indirizzo. */
#include "service/Ammissione.h"

#include "base/base.h"

#include <string.h>

void ConfigAmmissioneDefault(ConfigAmmissione *config)
{
    memset(config, 0, sizeof *config);
    config->maxClient = MAXCLIENT_DEFAULT;
    config->maxConn = MAXCONN_DEFAULT;
}

/* Un numero di sole cifre (da 1 a maxCifre) non oltre massimo; *cursore va oltre le cifre. */
static int LeggiNumero(const char **cursore, int maxCifre, long massimo, long *numero)
{
    const char *c = *cursore;
    int cifre = 0;

    *numero = 0;
    while (*c >= '0' && *c <= '9' && cifre < maxCifre) {
        *numero = *numero * 10 + (*c - '0');
        c++;
        cifre++;
    }
    if (cifre == 0 || (*c >= '0' && *c <= '9') || *numero > massimo)
        return 0;
    *cursore = c;
    return 1;
}

int LeggiReteClient(const char *valore, ReteClient *rete)
{
    const char *c = valore;
    uint32_t indirizzo = 0;
    long parte = 0;

    for (int i = 0; i < 4; i++) {
        if (i > 0 && *c++ != '.')
            return 0;
        if (!LeggiNumero(&c, 3, 255, &parte))
            return 0;
        indirizzo = (indirizzo << 8) | (uint32_t)parte;
    }
    parte = 32;
    if (*c == '/') {
        c++;
        if (!LeggiNumero(&c, 2, 32, &parte))
            return 0;
    }
    if (*c != '\0')
        return 0;
    rete->indirizzo = indirizzo;
    rete->prefisso = (int)parte;
    return 1;
}

int LeggiLimiteConversazioni(const char *valore, int *limite)
{
    long numero = 0;

    if (!LeggiNumero(&valore, 6, MAX_LIMITE_CONVERSAZIONI, &numero) || *valore != '\0')
        return 0;
    *limite = (int)numero;
    return 1;
}

void TestoIndirizzo(char *dest, size_t dim, uint32_t indirizzo)
{
    FormattaTesto(dest, dim, "%u.%u.%u.%u", (unsigned)(indirizzo >> 24), (unsigned)(indirizzo >> 16) & 255,
                  (unsigned)(indirizzo >> 8) & 255, (unsigned)indirizzo & 255);
}

int IndirizzoAmmesso(const ConfigAmmissione *config, uint32_t indirizzo)
{
    if (config->numReti == 0)
        return 1;
    for (int i = 0; i < config->numReti; i++) {
        int prefisso = config->reti[i].prefisso;
        uint32_t maschera = prefisso == 0 ? 0 : ~(uint32_t)0 << (32 - prefisso);
        if ((indirizzo & maschera) == (config->reti[i].indirizzo & maschera))
            return 1;
    }
    return 0;
}

/* La voce dell'indirizzo, o se manca una libera (NULL se non ce ne sono). */
static ConversazioniIndirizzo *VoceIndirizzo(StatoAmmissione *stato, uint32_t indirizzo)
{
    ConversazioniIndirizzo *libera = NULL;
    for (int i = 0; i < DIM_TABELLA_INDIRIZZI; i++) {
        ConversazioniIndirizzo *voce = &stato->indirizzi[i];
        if (voce->conversazioni > 0 && voce->indirizzo == indirizzo)
            return voce;
        if (voce->conversazioni == 0 && libera == NULL)
            libera = voce;
    }
    return libera;
}

EsitoAmmissione AmmettiConversazione(StatoAmmissione *stato, const ConfigAmmissione *config, uint32_t indirizzo,
                                     int *inCorso, int *contata)
{
    ConversazioniIndirizzo *voce = NULL;

    *inCorso = 0;
    *contata = 0;
    if (!IndirizzoAmmesso(config, indirizzo))
        return RIFIUTATA_INDIRIZZO;
    voce = VoceIndirizzo(stato, indirizzo);
    /* Con la tabella piena un indirizzo nuovo non si potrebbe contare: con MAXCLIENT lo si rifiuta,
     * perche' nessun indirizzo sfugga al limite. */
    if (config->maxClient > 0 && (voce == NULL || voce->conversazioni >= config->maxClient)) {
        *inCorso = voce != NULL ? voce->conversazioni : 0;
        return RIFIUTATA_PER_INDIRIZZO;
    }
    if (config->maxConn > 0 && stato->conversazioni >= config->maxConn) {
        *inCorso = stato->conversazioni;
        return RIFIUTATA_TOTALE;
    }
    stato->conversazioni++;
    if (voce != NULL) {
        voce->indirizzo = indirizzo;
        voce->conversazioni++;
        *contata = 1;
    }
    return AMMESSA;
}

void FineConversazione(StatoAmmissione *stato, uint32_t indirizzo, int contata)
{
    if (stato->conversazioni > 0)
        stato->conversazioni--;
    if (!contata)
        return;
    for (int i = 0; i < DIM_TABELLA_INDIRIZZI; i++) {
        ConversazioniIndirizzo *voce = &stato->indirizzi[i];
        if (voce->conversazioni > 0 && voce->indirizzo == indirizzo) {
            voce->conversazioni--;
            return;
        }
    }
}

int RigaRifiutoDaScrivere(StatoAmmissione *stato, uint32_t indirizzo, uint32_t adessoMs, int *omesse)
{
    RigheRifiuto *scelta = NULL;

    *omesse = 0;
    for (int i = 0; i < DIM_TABELLA_RIFIUTI; i++) {
        RigheRifiuto *voce = &stato->rifiuti[i];
        if (voce->inUso && voce->indirizzo == indirizzo) {
            /* La differenza senza segno regge il giro dell'orologio dei millisecondi. */
            if ((uint32_t)(adessoMs - voce->ultimaRigaMs) < INTERVALLO_RIGHE_RIFIUTO_MS) {
                voce->omesse++;
                return 0;
            }
            *omesse = voce->omesse;
            voce->omesse = 0;
            voce->ultimaRigaMs = adessoMs;
            return 1;
        }
        /* Per un indirizzo nuovo: una voce libera, se no quella con la riga piu' vecchia, se ha
         * piu' di un minuto. */
        if (!voce->inUso) {
            if (scelta == NULL || scelta->inUso)
                scelta = voce;
        } else if (scelta == NULL ||
                   (scelta->inUso && adessoMs - voce->ultimaRigaMs > adessoMs - scelta->ultimaRigaMs)) {
            scelta = voce;
        }
    }
    if (scelta->inUso && (uint32_t)(adessoMs - scelta->ultimaRigaMs) < INTERVALLO_RIGHE_RIFIUTO_MS) {
        /* Tutte le voci hanno avuto la loro riga nell'ultimo minuto: il rifiuto si conta soltanto. */
        if (stato->nonRegistrati == 0)
            stato->inizioNonRegistratiMs = adessoMs;
        stato->nonRegistrati++;
        return 0;
    }
    scelta->inUso = 1;
    scelta->indirizzo = indirizzo;
    scelta->ultimaRigaMs = adessoMs;
    scelta->omesse = 0;
    return 1;
}

int RiepilogoRifiutiDaScrivere(StatoAmmissione *stato, uint32_t adessoMs, int *numero)
{
    *numero = stato->nonRegistrati;
    if (stato->nonRegistrati == 0 ||
        (uint32_t)(adessoMs - stato->inizioNonRegistratiMs) < INTERVALLO_RIGHE_RIFIUTO_MS)
        return 0;
    stato->nonRegistrati = 0;
    return 1;
}

void FormattaRigaRifiuto(char *dest, size_t dim, EsitoAmmissione esito, const char *indirizzo, int inCorso,
                         int omesse)
{
    char motivo[64] = "";
    char coda[64] = "";

    if (esito == RIFIUTATA_INDIRIZZO)
        CopiaTesto(motivo, sizeof motivo, "indirizzo non ammesso");
    else if (esito == RIFIUTATA_PER_INDIRIZZO)
        FormattaTesto(motivo, sizeof motivo, "%d conversazioni in corso da questo indirizzo", inCorso);
    else
        FormattaTesto(motivo, sizeof motivo, "%d conversazioni in corso", inCorso);
    if (omesse > 0)
        FormattaTesto(coda, sizeof coda, " (altri %d rifiuti non registrati)", omesse);
    FormattaTesto(dest, dim, "CicloAccept - connessione da %s rifiutata: %s%s\n", indirizzo, motivo, coda);
}
