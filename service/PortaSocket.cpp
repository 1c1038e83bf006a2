/* service/PortaSocket.cpp - la porta TCP del servizio dal file tarnel.cfg (chiave SOCKET), o 2000. */
#include "service/service.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define DIM_RIGA_CONF 160

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

int PortaSocket(const char *strPathShare, const char *sistInfo, int *porta)
{
    char pathConf[DIM_PATH];
    char riga[DIM_RIGA_CONF];
    FILE *file = NULL;

    FormattaTesto(pathConf, sizeof pathConf, "%.*s\\%s\\prg\\etc\\" NOME_FILE_CONF,
                  LungCartellaSenzaBarraRadice(strPathShare), strPathShare, sistInfo);
    ScriviLog("PortaSocket - pathFileConf = %s\n", pathConf);

    file = fopen(pathConf, "r");
    if (file == NULL) {
        ScriviLog("File di configurazione \"%s\" non presente o non leggibile: nella comunicazione si utilizza la porta "
                  "socket di default %d\n",
                  pathConf, PORTA_DEFAULT);
        *porta = PORTA_DEFAULT;
        return 1;
    }
    while (fgets(riga, sizeof riga, file) != NULL) {
        char *cursore = riga;
        char *chiave = NULL;
        char *valore = NULL;
        if (riga[0] == '#')
            continue;
        riga[strcspn(riga, "\r\n")] = '\0';
        chiave = ProssimoPezzo(&cursore);
        valore = chiave != NULL ? ProssimoPezzo(&cursore) : NULL;
        if (valore == NULL || strcmp(chiave, "SOCKET") != 0)
            continue;
        fclose(file);
        *porta = ValorePorta(valore);
        if (*porta == 0) {
            ScriviLog("La porta socket \"%s\" specificata nel file di configurazione \"%s\" non e' valida\n", valore,
                      pathConf);
            return 0;
        }
        ScriviLog("Nella comunicazione si utilizza la porta socket %d letta dal file di configurazione \"%s\"\n", *porta,
                  pathConf);
        return 1;
    }
    fclose(file);
    ScriviLog("Nella comunicazione si utilizza la porta socket di default %d\n", PORTA_DEFAULT);
    *porta = PORTA_DEFAULT;
    return 1;
}
