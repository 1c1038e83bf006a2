/* install/InfoInstallazioneWin.cpp - radice, nome e drive d'installazione dell'ambiente in linea,
 * dal percorso del programma e dai file configur, INI del prodotto e pathconf, in quest'ordine. */
#include "install/install.h"

#include "install/TestiInstallazione.h"
#include "base/base.h"

#include <stdio.h>

#include <windows.h>

#define MSG_NON_INSTALLATO "Il programma non e' installato correttamente\n"
#define MSG_NON_CONFIGURATO "Il programma non e' configurato correttamente\n"

int RicercaDriveIni(const char *path, char *drive)
{
    const ProdottoIni *prodotto = ProdottoIniDaPercorso(path);
    char valore[256];
    char lettera = 0;

    if (prodotto == NULL)
        return 0;
    /* Nome senza cartella: il file si cerca nella cartella di Windows. */
    if (prodotto->fileIni[0] != '\0') {
        GetPrivateProfileStringA("Parametri", "Setup", "**", valore, sizeof valore, prodotto->fileIni);
        if (DriveDaValoreIni(valore, &lettera)) {
            FormattaTesto(drive, DIM_PATH, "%c", lettera);
            ScriviLog("Il drive nel quale e' installato il sistema informativo in linea (\"%s:\") e' stato ricavato "
                      "dal file INI \"%s\"\n",
                      drive, prodotto->fileIni);
            return 1;
        }
    }
    ScriviLog("Impossibile leggere il drive nel quale e' installato il sistema informativo in linea (es.: \"Z:\") "
              "dal file INI \"%s\"\n",
              prodotto->fileIni);
    return 0;
}

static void LogDriveNonDeterminato(const char *pathFile, const char *seguito)
{
    ScriviLog("Impossibile determinare il drive di installazione leggendo\nil file: \"%s\"\n%s", pathFile, seguito);
}

static void LogDriveRicavato(const char *drive, const char *pathFile)
{
    ScriviLog("Il drive nel quale e' installato il sistema informativo in linea (\"%s:\") e' stato ricavato dal "
              "file di configurazione \"%s\"\n",
              drive, pathFile);
}

/* Il drive da pathconf, l'ultima fonte: il file deve esserci. */
static int DriveDaFilePathconf(const char *rootSistInfo, char *drive)
{
    char pathPathConf[DIM_PATH * 2];
    FILE *file = NULL;
    char lettera = 0;
    int esito = 0;

    PathSottoRadice(rootSistInfo, &FILE_PATHCONF, pathPathConf, sizeof pathPathConf);
    ScriviLog("InfoInstallazione - pathPathConf = >%s< \n", pathPathConf);
    file = fopen(pathPathConf, "rb");
    if (file == NULL) {
        ScriviLog("Impossibile aprire il file di configurazione: \"%s\"\n%s", pathPathConf, MSG_NON_CONFIGURATO);
        return 0;
    }
    esito = DriveDaPathconf(file, &lettera);
    fclose(file);
    if (esito != DRIVE_LETTO) {
        LogDriveNonDeterminato(pathPathConf, MSG_NON_CONFIGURATO);
        return 0;
    }
    FormattaTesto(drive, DIM_PATH, "%c", lettera);
    LogDriveRicavato(drive, pathPathConf);
    return 1;
}

int InfoInstallazione(const char *path, char *drive, char *sistInfo, char *rootSistInfo)
{
    char pathConfigur[DIM_PATH * 2];
    FILE *file = NULL;
    char lettera = 0;
    int esito = 0;

    if (!RadiceDaPercorso(path, rootSistInfo, DIM_PATH)) {
        ScriviLog("Nel pathname del servizio (\"%s\")\nla directory %s", path,
                  "\"...\\prg\\com\\drumal\" non e' presente. " MSG_NON_INSTALLATO);
        return 0;
    }
    SistInfoDaRadice(rootSistInfo, sistInfo, DIM_PATH);
    ScriviLog("InfoInstallazione - sistInfo = >%s< \n", sistInfo);
    ScriviLog("InfoInstallazione - rootSistInfo = >%s< \n", rootSistInfo);

    PathSottoRadice(rootSistInfo, &FILE_CONFIGUR, pathConfigur, sizeof pathConfigur);
    ScriviLog("InfoInstallazione - pathConfigur = >%s< \n", pathConfigur);
    file = fopen(pathConfigur, "rb");
    if (file != NULL) {
        /* Se configur c'e' decide lui, anche quando non serve. */
        esito = DriveDaConfigur(file, &lettera);
        fclose(file);
        if (esito == DRIVE_NESSUNA_RIGA) {
            ScriviLog("Impossibile leggere il contenuto del file di autoconfigurazione: \"%s\"\n", pathConfigur);
            return 0;
        }
        if (esito == DRIVE_NON_VALIDO) {
            LogDriveNonDeterminato(pathConfigur, MSG_NON_INSTALLATO);
            return 0;
        }
        FormattaTesto(drive, DIM_PATH, "%c", lettera);
        LogDriveRicavato(drive, pathConfigur);
        return 1;
    }
    if (RicercaDriveIni(path, drive))
        return 1;
    return DriveDaFilePathconf(rootSistInfo, drive);
}
