/* install/TestiInstallazione.cpp - testi e righe dei file dell'installazione, senza accessi al sistema. */
#include "install/TestiInstallazione.h"

#include "install/install.h"
#include "base/base.h"

#include <string.h>

static const ProdottoIni tabellaProdottiIni[] = {
    {"\\tarvo\\prg\\", "tarvo.ini"},       {"\\quibo\\prg\\", "quibo.ini"},
    {"\\vostrane\\prg\\", "vostrane.ini"}, {"\\kelvat\\prg\\", "kelvat.ini"},
    {"\\velmar\\prg\\", "velmar.ini"},     {"\\tormina\\prg\\", ""},
    {"\\urta330\\prg\\", "urta330.ini"},   {"\\fenlor\\prg\\", "fenlor.ini"},
    {"\\barsoni\\prg\\", "barsoni.ini"},   {"\\ferolina\\prg\\", "ferolina.ini"},
    {"\\kzo\\prg\\", "kzo.ini"},
};

static int Minuscola(int c)
{
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

static int LetteraAscii(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

const char *CercaTestoNoCase(const char *testo, const char *cercato)
{
    size_t lungCercato = strlen(cercato);

    for (; *testo != '\0'; testo++) {
        size_t i = 0;
        while (i < lungCercato && testo[i] != '\0' &&
               Minuscola((unsigned char)testo[i]) == Minuscola((unsigned char)cercato[i]))
            i++;
        if (i == lungCercato)
            return testo;
    }
    return lungCercato == 0 ? testo : NULL;
}

int RadiceDaPercorso(const char *path, char *rootSistInfo, size_t dim)
{
    const char *occorrenza = NULL;

    if (strlen(path) < strlen(CARTELLA_DRUMAL))
        return 0;
    occorrenza = CercaTestoNoCase(path, CARTELLA_DRUMAL);
    if (occorrenza == NULL)
        return 0;
    return FormattaTesto(rootSistInfo, dim, "%.*s", (int)(occorrenza - path), path);
}

int SistInfoDaRadice(const char *rootSistInfo, char *sistInfo, size_t dim)
{
    const char *barra = strrchr(rootSistInfo, '\\');

    /* Sotto \kzo il nome dell'ambiente non e' quello della cartella. */
    if ((strlen(rootSistInfo) >= 4 && CercaTestoNoCase(rootSistInfo, "\\kzo") != NULL) || barra == NULL)
        return CopiaTesto(sistInfo, dim, "");
    return CopiaTesto(sistInfo, dim, barra + 1);
}

int DriveDaTesto(const char *testo, char *lettera)
{
    if (!LetteraAscii((unsigned char)testo[0]) || testo[1] != ':')
        return 0;
    *lettera = (char)(testo[0] >= 'a' ? testo[0] - 'a' + 'A' : testo[0]);
    return 1;
}

int LeggiPezzoRiga(FILE *file, char *riga)
{
    return fgets(riga, DIM_RIGA_CONFIGURAZIONE, file) != NULL;
}

int DriveDaConfigur(FILE *file, char *lettera)
{
    char riga[DIM_RIGA_CONFIGURAZIONE];

    if (!LeggiPezzoRiga(file, riga))
        return DRIVE_NESSUNA_RIGA;
    return DriveDaTesto(riga, lettera) ? DRIVE_LETTO : DRIVE_NON_VALIDO;
}

int DriveDaPathconf(FILE *file, char *lettera)
{
    char riga[DIM_RIGA_CONFIGURAZIONE];

    while (LeggiPezzoRiga(file, riga)) {
        if (strlen(riga) >= COLONNA_MARCA_PATHCONF && riga[COLONNA_MARCA_PATHCONF - 1] == 'S')
            return DriveDaTesto(riga, lettera) ? DRIVE_LETTO : DRIVE_NON_VALIDO;
    }
    return DRIVE_NESSUNA_RIGA;
}

const ProdottoIni *ProdottoIniDaPercorso(const char *path)
{
    size_t i = 0;

    for (i = 0; i < sizeof tabellaProdottiIni / sizeof tabellaProdottiIni[0]; i++) {
        if (CercaTestoNoCase(path, tabellaProdottiIni[i].cartella) != NULL)
            return &tabellaProdottiIni[i];
    }
    return NULL;
}

int DriveDaValoreIni(const char *valore, char *lettera)
{
    return strcmp(valore, "**") != 0 && DriveDaTesto(valore, lettera);
}

/* Lunghezza della riga senza il fine riga (\n, preceduto o no da \r). */
static size_t LunghezzaSenzaFineRiga(const char *riga)
{
    size_t lung = strlen(riga);

    if (lung > 0 && riga[lung - 1] == '\n')
        lung--;
    if (lung > 0 && riga[lung - 1] == '\r')
        lung--;
    return lung;
}

int CampoDuplica(const char *riga, char *campo, size_t dim)
{
    size_t lung = LunghezzaSenzaFineRiga(riga);
    size_t fine = 0;
    const char *inizio = "";

    if (lung < INIZIO_CAMPO_DUPLICA + LUNG_CAMPO_DUPLICA) {
        /* Riga corta: non nomina un ambiente; si riporta quanto c'e' dalla colonna 6. */
        if (lung > INIZIO_CAMPO_DUPLICA) {
            inizio = riga + INIZIO_CAMPO_DUPLICA;
            fine = lung - INIZIO_CAMPO_DUPLICA;
        }
        while (fine > 0 && inizio[fine - 1] == ' ')
            fine--;
        FormattaTesto(campo, dim, "%.*s", (int)fine, inizio);
        return 0;
    }
    inizio = riga + INIZIO_CAMPO_DUPLICA;
    /* Si taglia dopo l'ultimo non blank tra il 2o e il 30o carattere del campo. */
    for (fine = LUNG_CAMPO_DUPLICA; fine > 1 && inizio[fine - 1] == ' '; fine--)
        ;
    if (fine == 1)
        fine = 0;
    return FormattaTesto(campo, dim, "%.*s", (int)fine, inizio) && fine > 0;
}

const char *NomeDaCampoDuplica(const char *campo)
{
    return strlen(campo) > 3 ? campo + 3 : "";
}

int CandidatoShare(const char *cartellaShare, const char *dirRootAppli, char *dest, size_t dim)
{
    size_t lung = strlen(cartellaShare);
    const char *barra = (lung > 0 && cartellaShare[lung - 1] == '\\') ? "" : "\\";

    return FormattaTesto(dest, dim, "%s%s%s", cartellaShare, barra, dirRootAppli);
}
