/* service/PortaSocket.cpp - il file tarnel.cfg: la porta TCP del servizio (chiave SOCKET, o 2000) e le
 * regole di ammissione dei client (CLIENT, MAXCLIENT, MAXCONN). */
#include "service/service.h"

#include "install/install.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define DIM_RIGA_CONF 160

ConfigAmmissione ammissioneServizio = {{}, 0, MAXCLIENT_DEFAULT, MAXCONN_DEFAULT};

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

/* I valori delle chiavi come scritti nel file: il primo per le chiavi a valore unico. */
typedef struct ValoriConf {
    char socket[DIM_RIGA_CONF];
    char maxClient[DIM_RIGA_CONF];
    char maxConn[DIM_RIGA_CONF];
    char clientErrato[DIM_RIGA_CONF]; /* il primo CLIENT non valido */
} ValoriConf;

/* Legge le righe chiave=valore; le reti CLIENT vanno direttamente nella configurazione. */
static void LeggiRighe(FILE *file, ValoriConf *valori, ConfigAmmissione *ammissione)
{
    char riga[DIM_RIGA_CONF];

    while (fgets(riga, sizeof riga, file) != NULL) {
        char *cursore = riga;
        char *chiave = NULL;
        char *valore = NULL;
        if (riga[0] == '#')
            continue;
        riga[strcspn(riga, "\r\n")] = '\0';
        chiave = ProssimoPezzo(&cursore);
        valore = chiave != NULL ? ProssimoPezzo(&cursore) : NULL;
        if (valore == NULL)
            continue;
        if (strcmp(chiave, "SOCKET") == 0 && valori->socket[0] == '\0')
            CopiaTesto(valori->socket, sizeof valori->socket, valore);
        else if (strcmp(chiave, "MAXCLIENT") == 0 && valori->maxClient[0] == '\0')
            CopiaTesto(valori->maxClient, sizeof valori->maxClient, valore);
        else if (strcmp(chiave, "MAXCONN") == 0 && valori->maxConn[0] == '\0')
            CopiaTesto(valori->maxConn, sizeof valori->maxConn, valore);
        else if (strcmp(chiave, "CLIENT") == 0 && valori->clientErrato[0] == '\0') {
            if (ammissione->numReti >= MAX_RETI_CLIENT ||
                !LeggiReteClient(valore, &ammissione->reti[ammissione->numReti]))
                CopiaTesto(valori->clientErrato, sizeof valori->clientErrato, valore);
            else
                ammissione->numReti++;
        }
    }
}

static int ValoreNonValido(const char *valore, const char *chiave, const char *pathConf)
{
    ScriviLog("Il valore \"%s\" della chiave %s nel file di configurazione \"%s\" non e' valido\n", valore, chiave,
              pathConf);
    return 0;
}

/* Le chiavi dell'ammissione, gia' lette: 0 (con la riga nel log) se un valore non e' valido. */
static int ControllaAmmissione(const ValoriConf *valori, ConfigAmmissione *ammissione, const char *pathConf)
{
    char indirizzo[DIM_TESTO_INDIRIZZO];

    if (valori->clientErrato[0] != '\0')
        return ValoreNonValido(valori->clientErrato, "CLIENT", pathConf);
    if (valori->maxClient[0] != '\0' && !LeggiLimiteConversazioni(valori->maxClient, &ammissione->maxClient))
        return ValoreNonValido(valori->maxClient, "MAXCLIENT", pathConf);
    if (valori->maxConn[0] != '\0' && !LeggiLimiteConversazioni(valori->maxConn, &ammissione->maxConn))
        return ValoreNonValido(valori->maxConn, "MAXCONN", pathConf);
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

    memset(&valori, 0, sizeof valori);
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
    LeggiRighe(file, &valori, &config->ammissione);
    fclose(file);
    if (valori.socket[0] == '\0') {
        ScriviLog("Nella comunicazione si utilizza la porta socket di default %d\n", PORTA_DEFAULT);
    } else {
        config->porta = ValorePorta(valori.socket);
        if (config->porta == 0) {
            ScriviLog("La porta socket \"%s\" specificata nel file di configurazione \"%s\" non e' valida\n",
                      valori.socket, config->pathConf);
            return 0;
        }
        ScriviLog("Nella comunicazione si utilizza la porta socket %d letta dal file di configurazione \"%s\"\n",
                  config->porta, config->pathConf);
    }
    return ControllaAmmissione(&valori, &config->ammissione, config->pathConf);
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
