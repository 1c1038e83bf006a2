/* setup/InstallazioneServizioWin.cpp - registra tarnel presso il gestore dei servizi: servizi dipendenti,
 * percorso raggiungibile da LocalSystem, accessi alla cartella dell'ambiente, creazione e
 * configurazione. Non e' transazionale: cio' che e' stato fatto prima di un errore resta. */
#include "setup/setup.h"

#include "install/install.h"
#include "base/base.h"
#include "setup/ConfigServizioWin.h"
#include "setup/PathServizio.h"

#include <windows.h>

static int DispositivoDrive(void *contesto, const char *nomeDrive, char *dispositivo, size_t dim)
{
    (void)contesto;
    if (QueryDosDeviceA(nomeDrive, dispositivo, (DWORD)dim) == 0) {
        ScriviLogErrore("InstallazioneServizio - QueryDosDevice %s", nomeDrive);
        return 0;
    }
    return 1;
}

static int RicercaShare(void *contesto, const char *sistInfo, char *pathShare)
{
    (void)contesto;
    return RicercaNetShare(sistInfo, pathShare);
}

static void RimappaDrive(void *contesto, char lettera, const char *pathShare)
{
    (void)contesto;
    RimappaDriveRemoto(lettera, pathShare);
}

/* Se il volume del drive tiene le ACL, la cartella che contiene l'ambiente deve essere accessibile a
 * LocalSystem. 0 solo se servivano i diritti e non si sono potuti dare. */
static int AccessiCartellaAmbiente(char lettera, const char *rootSistInfo)
{
    char radiceDrive[4] = {lettera, ':', '\\', '\0'};
    char nomeVolume[256] = "";
    char fileSystem[256] = "";
    char cartella[DIM_PATH] = "";
    DWORD flags = 0;

    if (!GetVolumeInformationA(radiceDrive, nomeVolume, sizeof nomeVolume, NULL, NULL, &flags, fileSystem,
                               sizeof fileSystem) ||
        !(flags & FILE_PERSISTENT_ACLS))
        return 1;
    CartellaContenitore(rootSistInfo, cartella, sizeof cartella);
    ScriviLog("InstallazioneServizio Prima VerificaAccessiLocalSystem PathShare = %s \n", cartella);
    if (VerificaAccessiLocalSystem(cartella) || ImpostaAccessiLocalSystem(cartella))
        return 1;
    ScriviLogErrore("InstallazioneServizio - Problema ImpostaAccessiCartella %s \n", cartella);
    return 0;
}

/* Crea il servizio e lo configura. Il percorso registrato va tra virgolette: senza, un percorso con
 * un blank si leggerebbe fino al blank, e LocalSystem avvierebbe quel programma. 1 se creato e
 * descritto. */
static int CreaServizio(SC_HANDLE gestore, const char *pathServizio, const char *rootSistInfo)
{
    SC_HANDLE servizio = NULL;
    char pathTraVirgolette[DIM_PATH + 2];
    int creato = 0;

    if (!FormattaTesto(pathTraVirgolette, sizeof pathTraVirgolette, "\"%s\"", pathServizio)) {
        ScriviLog("InstallazioneServizio - percorso troppo lungo: %s\n", pathServizio);
        return 0;
    }
    servizio = CreateServiceA(gestore, NOME_SERVIZIO, NOME_VISUALIZZATO, SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, pathTraVirgolette,
                              NULL, NULL, NULL, NULL, NULL);
    if (servizio == NULL) {
        ScriviLogErrore("CreateService");
        return 0;
    }
    creato = ConfiguraServizio(servizio, rootSistInfo);
    CloseServiceHandle(servizio);
    return creato;
}

int InstallazioneServizio(void)
{
    SC_HANDLE gestore = NULL;
    PassiPathServizio passi = {NULL, DispositivoDrive, RicercaShare, RimappaDrive};
    char pathMeStesso[DIM_PATH] = "";
    char drive[DIM_PATH] = "";
    char sistInfo[DIM_PATH] = "";
    char rootSistInfo[DIM_PATH] = "";
    char pathServizio[DIM_PATH] = "";
    char radiceDrive[4] = "";
    DWORD lung = 0;
    int installato = 0;

    if (!TestDipendenze()) {
        ScriviLog("InstallazioneServizio - Almeno uno dei servizi dipendenti non e' attivo!!!!!");
        return 0;
    }
    gestore = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (gestore == NULL) {
        ScriviLogErrore("InstallazioneServizio - OpenSCManager");
        goto fine;
    }
    /* Un percorso troncato (lung pari alla dimensione) non e' il proprio. */
    lung = GetModuleFileNameA(NULL, pathMeStesso, sizeof pathMeStesso);
    if (lung == 0 || lung >= sizeof pathMeStesso) {
        ScriviLogErrore("InstallazioneServizio - GetModuleFileName");
        goto fine;
    }
    if (!InfoInstallazione(pathMeStesso, drive, sistInfo, rootSistInfo)) {
        ScriviLogErrore("InstallazioneServizio - InfoInstallazione NON mi trovo nelle cartelle del prodotto QOR");
        goto fine;
    }
    ScriviLog("InstallazioneServizio - pathMeStesso = %s \t onlydrive = %s \t sistInfo = %s \t rootSistInfo = %s \n",
              pathMeStesso, drive, sistInfo, rootSistInfo);
    FormattaTesto(radiceDrive, sizeof radiceDrive, "%c:\\", drive[0]);
    if (!ScegliPathServizio(&passi, pathMeStesso, drive[0], GetDriveTypeA(radiceDrive) == DRIVE_FIXED, sistInfo,
                            pathServizio, sizeof pathServizio))
        goto fine;
    if (!AccessiCartellaAmbiente(drive[0], rootSistInfo))
        goto fine;
    installato = CreaServizio(gestore, pathServizio, rootSistInfo);
fine:
    if (gestore != NULL)
        CloseServiceHandle(gestore);
    return installato;
}
