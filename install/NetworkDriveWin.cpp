/* install/NetworkDriveWin.cpp - rende utilizzabile al servizio il drive dell'ambiente in linea e,
 * durante l'installazione, sostituisce la connessione di rete del drive con una subst della cartella
 * locale dello share. Le subst restano fino alla rimozione o al riavvio della macchina. */
#include "install/install.h"

#include "base/base.h"

#include <windows.h>

#include <winnetwk.h>

int ConnessioneNetworkDrive(void)
{
    const InfoAmbiente *inLinea = &TabellaInfoInstallazione.ambienti[0];
    char lettera = inLinea->drive[0];
    char nomeDrive[4];
    char radice[DIM_PATH + 4];

    ScriviLog("ConnessioneNetworkDrive - Drive in esame %c \n", lettera);
    if (CambiaDriveCorrente(lettera)) {
        ScriviLog("ConnessioneNetworkDrive - chdrive riuscita  \n");
        FormattaTesto(radice, sizeof radice, "%c:\\%s", lettera, inLinea->sistInfo);
        if (EsisteCartella(radice))
            return 1;
        ScriviLog("Il drive \"%c:\" e' connesso ma nella root directory non\ne' installato il sistema informativo "
                  "\"%s\" \n",
                  lettera, inLinea->sistInfo);
        return 0;
    }
    ScriviLog("ConnessioneNetworkDrive - chdrive fallita \n");
    FormattaTesto(nomeDrive, sizeof nomeDrive, "%c:", lettera);
    if (DefineDosDeviceA(0, nomeDrive, inLinea->strPathShare))
        return 1;
    ScriviLogErrore("Impossibile connettere con Subst il drive \"%c:\" al pathname \"%s\"\n", lettera,
                    inLinea->strPathShare);
    return 0;
}

int FromRemoteDriveToUNC(const char *nomeDrive, char *uncName)
{
    /* REMOTE_NAME_INFO seguito dai suoi testi: l'unione lo allinea per i puntatori. */
    union {
        REMOTE_NAME_INFOA info;
        char byte[DIM_PATH];
    } area;
    DWORD dimensione = sizeof area.byte;
    DWORD esito = WNetGetUniversalNameA(nomeDrive, REMOTE_NAME_INFO_LEVEL, &area, &dimensione);

    uncName[0] = '\0';
    if (esito != NO_ERROR) {
        SetLastError(esito);
        ScriviLogErrore("FromRemoteDriveToUNC - %s Drive remoto\n", nomeDrive);
        return 0;
    }
    CopiaTesto(uncName, DIM_PATH, area.info.lpUniversalName != NULL ? area.info.lpUniversalName : "");
    ScriviLog("FromRemoteDriveToUNC - OK UncName = %s \n", uncName);
    return 1;
}

void RimappaDriveRemoto(char lettera, const char *strPathShare)
{
    char nomeDrive[4];
    char uncName[DIM_PATH];

    FormattaTesto(nomeDrive, sizeof nomeDrive, "%c:", lettera);
    ScriviLog("InstallazioneServizio - prima di FromRemoteDriveToUNC drive %s\n", nomeDrive);
    if (!FromRemoteDriveToUNC(nomeDrive, uncName))
        return;
    ScriviLog("InstallazioneServizio Prima di WNetCancelConnection2 - drive %s \n", nomeDrive);
    /* Forzata anche con file aperti, e tolta dal profilo perche' non torni al prossimo logon. */
    if (WNetCancelConnection2A(nomeDrive, CONNECT_UPDATE_PROFILE, TRUE) != NO_ERROR)
        return;
    ScriviLog("InstallazioneServizio - Rimosso il drive %s \n", nomeDrive);
    if (!DefineDosDeviceA(0, nomeDrive, strPathShare))
        ScriviLogErrore("InstallazioneServizio - connettere con Subst il drive \"%c:\" al pathname \"%s\"", lettera,
                        strPathShare);
}
