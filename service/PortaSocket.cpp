/* service/PortaSocket.cpp - il file tarnel.cfg: la porta TCP del servizio (chiave SOCKET, o 2000) e le
 * regole di ammissione dei client (CLIENT, MAXCLIENT, MAXCONN). */
#include "service/service.h"

#include "install/install.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

ConfigAmmissione ammissioneServizio = {{}, 0, MAXCLIENT_DEFAULT, MAXCONN_DEFAULT};

/* Il segno d'ordine dei byte che il Blocco note mette in testa ai file UTF-8. */
#define SEGNO_UTF8 "\xEF\xBB\xBF"

/* Prossimo pezzo della riga tra separatori '='; una sequenza di '=' conta come un separatore.
 * Termina il pezzo sul posto e sposta *cursore oltre. NULL se non restano pezzi. */
static char *ProssimoPezzo(char **cursore)
{
    char *inizio = *cursore;
    char *fine = NULL;

    while (*inizio == '=')
        inizio++;
    if (*inizio == '\0')
        return NULL;
    fine = inizio;
    while (*fine != '\0' && *fine != '=')
        fine++;
    if (*fine == '=')
        *fine++ = '\0';
    *cursore = fine;
    return inizio;
}

/* Il valore di SOCKET come numero decimale con segno; fuori da 1..65535 (0 compreso) vale 0. */
static int ValorePorta(const char *valore)
{
    long numero = strtol(valore, NULL, 10);
    if (numero < 1 || numero > 65535)
        return 0;
    return (int)numero;
}

/* Un valore come scritto nel file, con il numero della sua riga (0: nessuna riga). */
typedef struct ValoreConf {
    char testo[DIM_RIGA_CONF];
    int riga;
    char testoRiga[DIM_RIGA_CONF]; /* la riga intera come letta */
} ValoreConf;

/* I valori delle chiavi: il primo per le chiavi a valore unico. */
typedef struct ValoriConf {
    ValoreConf socket;
    ValoreConf maxClient;
    ValoreConf maxConn;
    ValoreConf clientErrato; /* il primo CLIENT non valido */
} ValoriConf;

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

/* 1 se il pezzo, senza blank e tab ai lati e senza badare alle maiuscole, e' la chiave. */
static int SomigliaAllaChiave(const char *pezzo, const char *chiave)
{
    size_t lung = strlen(chiave);

    while (IsBlank(*pezzo))
        pezzo++;
    for (size_t i = 0; i < lung; i++)
        if (toupper((unsigned char)pezzo[i]) != chiave[i])
            return 0;
    pezzo += lung;
    while (IsBlank(*pezzo))
        pezzo++;
    return *pezzo == '\0';
}

/* Il resto di una riga piu' lunga dell'area si butta: non diventa una riga a se'. */
static void ScartaResto(FILE *file, const char *riga)
{
    int c = 0;

    if (strchr(riga, '\n') != NULL)
        return;
    while ((c = fgetc(file)) != EOF && c != '\n')
        ;
}

static void TieniValore(ValoreConf *dove, const char *valore, int riga, const char *testoRiga)
{
    if (dove->riga != 0)
        return;
    CopiaTesto(dove->testo, sizeof dove->testo, valore);
    CopiaTesto(dove->testoRiga, sizeof dove->testoRiga, testoRiga);
    dove->riga = riga;
}

/* Una riga con la chiave e il valore (il testo della riga intera in config); 0 se la riga ferma la
 * lettura: una chiave dell'ammissione scritta non esattamente (ignorarla aprirebbe a tutti). */
static int LeggiRiga(const char *chiave, const char *valore, int numRiga, ValoriConf *valori, ConfigServizio *config)
{
    static const char *const chiaviAmmissione[] = {"CLIENT", "MAXCLIENT", "MAXCONN"};
    ConfigAmmissione *ammissione = &config->ammissione;
    int esatta = valore != NULL && !IsBlank(valore[0]);

    for (int i = 0; i < 3; i++)
        if (SomigliaAllaChiave(chiave, chiaviAmmissione[i]) && (!esatta || strcmp(chiave, chiaviAmmissione[i]) != 0))
            return 0;
    /* SOCKET segue la regola di sempre: la chiave esatta, il valore anche dopo dei blank. */
    if (SomigliaAllaChiave(chiave, "SOCKET") && strcmp(chiave, "SOCKET") != 0) {
        if (config->rigaSocketInesatta == 0)
            config->rigaSocketInesatta = numRiga;
        return 1;
    }
    if (valore == NULL)
        return 1;
    if (strcmp(chiave, "SOCKET") == 0) {
        if (valori->socket.riga != 0 && config->rigaSecondoSocket == 0)
            config->rigaSecondoSocket = numRiga;
        TieniValore(&valori->socket, valore, numRiga, config->testoRigaNonValida);
    } else if (strcmp(chiave, "MAXCLIENT") == 0) {
        TieniValore(&valori->maxClient, valore, numRiga, config->testoRigaNonValida);
    } else if (strcmp(chiave, "MAXCONN") == 0) {
        TieniValore(&valori->maxConn, valore, numRiga, config->testoRigaNonValida);
    } else if (strcmp(chiave, "CLIENT") == 0) {
        config->clientPresente = 1;
        if (valori->clientErrato.riga != 0)
            return 1;
        if (ammissione->numReti >= MAX_RETI_CLIENT || !LeggiReteClient(valore, &ammissione->reti[ammissione->numReti]))
            TieniValore(&valori->clientErrato, valore, numRiga, config->testoRigaNonValida);
        else
            ammissione->numReti++;
    }
    return 1;
}

/* Legge le righe chiave=valore; le reti CLIENT vanno direttamente nella configurazione. 0 se una
 * riga ferma la lettura (e' in config, con il suo numero). */
static int LeggiRighe(FILE *file, ValoriConf *valori, ConfigServizio *config)
{
    char riga[DIM_RIGA_CONF];
    int numRiga = 0;

    while (fgets(riga, sizeof riga, file) != NULL) {
        char *inizio = riga;
        char *cursore = NULL;
        char *chiave = NULL;
        char *valore = NULL;
        numRiga++;
        ScartaResto(file, riga);
        if (numRiga == 1 && strncmp(riga, SEGNO_UTF8, 3) == 0)
            inizio += 3;
        if (inizio[0] == '#')
            continue;
        inizio[strcspn(inizio, "\r\n")] = '\0';
        CopiaTesto(config->testoRigaNonValida, sizeof config->testoRigaNonValida, inizio);
        cursore = inizio;
        chiave = ProssimoPezzo(&cursore);
        valore = chiave != NULL ? ProssimoPezzo(&cursore) : NULL;
        if (chiave != NULL && !LeggiRiga(chiave, valore, numRiga, valori, config)) {
            config->rigaNonValida = numRiga;
            return 0;
        }
    }
    config->testoRigaNonValida[0] = '\0';
    return 1;
}

/* La riga del valore non valido, annotata nella configurazione. */
static int ValoreNonValido(const ValoreConf *valore, const char *chiave, ConfigServizio *config)
{
    ScriviLog("Il valore \"%s\" della chiave %s nel file di configurazione \"%s\" non e' valido\n", valore->testo,
              chiave, config->pathConf);
    config->rigaNonValida = valore->riga;
    CopiaTesto(config->testoRigaNonValida, sizeof config->testoRigaNonValida, valore->testoRiga);
    return 0;
}

/* Le chiavi dell'ammissione, gia' lette: 0 (con la riga nel log) se un valore non e' valido. */
static int ControllaAmmissione(const ValoriConf *valori, ConfigServizio *config)
{
    ConfigAmmissione *ammissione = &config->ammissione;
    char indirizzo[DIM_TESTO_INDIRIZZO];

    if (valori->clientErrato.riga != 0)
        return ValoreNonValido(&valori->clientErrato, "CLIENT", config);
    if (valori->maxClient.riga != 0 && !LeggiLimiteConversazioni(valori->maxClient.testo, &ammissione->maxClient))
        return ValoreNonValido(&valori->maxClient, "MAXCLIENT", config);
    if (valori->maxConn.riga != 0 && !LeggiLimiteConversazioni(valori->maxConn.testo, &ammissione->maxConn))
        return ValoreNonValido(&valori->maxConn, "MAXCONN", config);
    for (int i = 0; i < ammissione->numReti; i++) {
        TestoIndirizzo(indirizzo, sizeof indirizzo, ammissione->reti[i].indirizzo);
        ScriviLog("Ammessi i client di %s/%d\n", indirizzo, ammissione->reti[i].prefisso);
    }
    return 1;
}

int LeggiConfigServizio(const char *strPathShare, const char *sistInfo, ConfigServizio *config)
{
    ValoriConf valori;
    char radice[DIM_PATH];
    FILE *file = NULL;
    int lette = 0;

    memset(&valori, 0, sizeof valori);
    memset(config, 0, sizeof *config);
    ConfigAmmissioneDefault(&config->ammissione);
    config->porta = PORTA_DEFAULT;
    FormattaTesto(radice, sizeof radice, "%.*s\\%s", LungCartellaSenzaBarraRadice(strPathShare), strPathShare, sistInfo);
    PathSottoRadice(radice, &FILE_CONF_SERVIZIO, config->pathConf, sizeof config->pathConf);
    ScriviLog("PortaSocket - pathFileConf = %s\n", config->pathConf);

    file = fopen(config->pathConf, "r");
    if (file == NULL) {
        ScriviLog("File di configurazione \"%s\" non presente o non leggibile: nella comunicazione si utilizza la porta "
                  "socket di default %d\n",
                  config->pathConf, PORTA_DEFAULT);
        return 1;
    }
    lette = LeggiRighe(file, &valori, config);
    fclose(file);
    if (!lette) {
        ScriviLog("La riga \"%s\" del file di configurazione \"%s\" non e' valida\n", config->testoRigaNonValida,
                  config->pathConf);
        return 0;
    }
    if (valori.socket.riga == 0) {
        ScriviLog("Nella comunicazione si utilizza la porta socket di default %d\n", PORTA_DEFAULT);
    } else {
        config->porta = ValorePorta(valori.socket.testo);
        if (config->porta == 0) {
            ScriviLog("La porta socket \"%s\" specificata nel file di configurazione \"%s\" non e' valida\n",
                      valori.socket.testo, config->pathConf);
            config->rigaNonValida = valori.socket.riga;
            CopiaTesto(config->testoRigaNonValida, sizeof config->testoRigaNonValida, valori.socket.testoRiga);
            return 0;
        }
        ScriviLog("Nella comunicazione si utilizza la porta socket %d letta dal file di configurazione \"%s\"\n",
                  config->porta, config->pathConf);
    }
    return ControllaAmmissione(&valori, config);
}

int PortaSocket(const char *strPathShare, const char *sistInfo, int *porta)
{
    ConfigServizio config;
    int esito = LeggiConfigServizio(strPathShare, sistInfo, &config);

    *porta = config.porta;
    if (esito)
        ammissioneServizio = config.ammissione;
    return esito;
}
