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

/* mpr serve solo all'installazione: caricata per la chiamata e poi chiusa. */
typedef DWORD(APIENTRY *FunzioneNomeUniversale)(LPCSTR, DWORD, LPVOID, LPDWORD);
typedef DWORD(APIENTRY *FunzioneTogliConnessione)(LPCSTR, DWORD, BOOL);

int FromRemoteDriveToUNC(const char *nomeDrive, char *uncName)
{
    static const char *const nomi[] = {"WNetGetUniversalNameA"};
    FunzioneDiLibreria funzione = NULL;
    HMODULE mpr = NULL;
    /* REMOTE_NAME_INFO seguito dai suoi testi: l'unione lo allinea per i puntatori. */
    union {
        REMOTE_NAME_INFOA info;
        char byte[DIM_PATH];
    } area;
    DWORD dimensione = sizeof area.byte;
    DWORD esito = NO_ERROR;

    uncName[0] = '\0';
    if ((mpr = (HMODULE)CaricaFunzioni("mpr.dll", nomi, &funzione, 1)) == NULL)
        return 0;
    esito = ((FunzioneNomeUniversale)funzione)(nomeDrive, REMOTE_NAME_INFO_LEVEL, &area, &dimensione);
    FreeLibrary(mpr);
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
    static const char *const nomi[] = {"WNetCancelConnection2A"};
    FunzioneDiLibreria funzione = NULL;
    HMODULE mpr = NULL;
    DWORD tolta = NO_ERROR;

    FormattaTesto(nomeDrive, sizeof nomeDrive, "%c:", lettera);
    ScriviLog("InstallazioneServizio - prima di FromRemoteDriveToUNC drive %s\n", nomeDrive);
    if (!FromRemoteDriveToUNC(nomeDrive, uncName))
        return;
    ScriviLog("InstallazioneServizio Prima di WNetCancelConnection2 - drive %s \n", nomeDrive);
    /* Forzata anche con file aperti, e tolta dal profilo perche' non torni al prossimo logon. */
    if ((mpr = (HMODULE)CaricaFunzioni("mpr.dll", nomi, &funzione, 1)) == NULL)
        return;
    tolta = ((FunzioneTogliConnessione)funzione)(nomeDrive, CONNECT_UPDATE_PROFILE, TRUE);
    FreeLibrary(mpr);
    if (tolta != NO_ERROR)
        return;
    ScriviLog("InstallazioneServizio - Rimosso il drive %s \n", nomeDrive);
    if (!DefineDosDeviceA(0, nomeDrive, strPathShare))
        ScriviLogErrore("InstallazioneServizio - connettere con Subst il drive \"%c:\" al pathname \"%s\"", lettera,
                        strPathShare);
}
