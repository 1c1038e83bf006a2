/* service/ServiceMainWin.cpp - ServiceMain e il gestore dei comandi del servizio.
 * ServiceMain gira sul thread del dispatcher e finisce i suoi giorni nel ciclo di accept. */
#include "service/service.h"

#include "install/install.h"
#include "launch/launch.h"
#include "service/ServiceWin.h"

#include <ctype.h>
#include <string.h>

static SERVICE_STATUS statoServizio;
static SERVICE_STATUS_HANDLE handleStato = NULL;

/* Il record di stato, senza controlli accettati: START_PENDING finche' ServiceMain non ha il listener. */
static void RiportaStato(void)
{
    if (!SetServiceStatus(handleStato, &statoServizio))
        ScriviLogErrore("ServiceMain - SetServiceStatus");
}

DWORD WINAPI ServerCtrlHandlerEx(DWORD controllo, DWORD tipoEvento, LPVOID datiEvento, LPVOID contesto)
{
    (void)datiEvento;
    (void)contesto;
    ScriviLog("ServerCtrlHandlerEx - ricevuto comando dwControl -> %d  dwEventType -> %d \n ", (int)controllo,
              (int)tipoEvento);
    switch (controllo) {
    case SERVICE_CONTROL_STOP:
        ScriviLog("ServerCtrlHandlerEx - ricevuto comando di STOP\n");
        statoServizio.dwWin32ExitCode = 0;
        statoServizio.dwCurrentState = SERVICE_STOPPED;
        statoServizio.dwCheckPoint = 0;
        statoServizio.dwWaitHint = 0;
        break;
    case SERVICE_CONTROL_INTERROGATE:
        ScriviLog("ServerCtrlHandlerEx - ricevuto comando di INTERROGATE\n");
        statoServizio.dwCurrentState = SERVICE_RUNNING;
        break;
    default:
        break;
    }
    if (!SetServiceStatus(handleStato, &statoServizio))
        ScriviLogErrore("ServerCtrlHandlerEx - SetServiceStatus");
    return NO_ERROR;
}

/* L'ambiente in linea ricavato dal percorso dell'eseguibile, installato in
 * <share>\<sistInfo>\prg\com\drumal\bin: la cartella che precede \prg\com\drumal\ e' la radice
 * dell'ambiente, il suo ultimo nome e' sistInfo, la cartella che la contiene e' lo share. */
int AmbienteDaPercorso(const char *pathEseguibile, char *strPathShare, size_t dimShare, char *sistInfo,
                       size_t dimSist)
{
    static const char cartellaProgrammi[] = "\\prg\\com\\drumal\\";
    char radice[MAX_PATH];
    const char *ultimaBarra = NULL;
    size_t lungCartella = sizeof cartellaProgrammi - 1;
    size_t lungRadice = 0;

    while (pathEseguibile[lungRadice] != '\0' &&
           _strnicmp(pathEseguibile + lungRadice, cartellaProgrammi, lungCartella) != 0)
        lungRadice++;
    if (pathEseguibile[lungRadice] == '\0' || lungRadice >= sizeof radice)
        return 0;
    FormattaTesto(radice, sizeof radice, "%.*s", (int)lungRadice, pathEseguibile);
    ultimaBarra = strrchr(radice, '\\');
    if (ultimaBarra == NULL || ultimaBarra[1] == '\0')
        return 0;
    CopiaTesto(sistInfo, dimSist, ultimaBarra + 1);
    if (ultimaBarra - radice == 2 && radice[1] == ':')
        return FormattaTesto(strPathShare, dimShare, "%.3s", radice);
    return FormattaTesto(strPathShare, dimShare, "%.*s", (int)(ultimaBarra - radice), radice);
}

void WINAPI ServiceMain(DWORD numArgomenti, LPSTR *argomenti)
{
    char pathEseguibile[MAX_PATH];
    char strPathShare[MAX_PATH];
    char sistInfo[MAX_PATH];
    SocketRete ascolto = SOCKET_NON_VALIDO;
    const char *passoFallito = NULL;
    DWORD errore = 0;

    (void)numArgomenti;
    (void)argomenti;
    ZeroMemory(&statoServizio, sizeof statoServizio);
    statoServizio.dwServiceType = SERVICE_WIN32;
    statoServizio.dwCurrentState = SERVICE_START_PENDING;
    handleStato = RegisterServiceCtrlHandlerExA(NOME_SERVIZIO, ServerCtrlHandlerEx, NULL);
    if (handleStato == NULL) {
        ScriviLogErrore("ServiceMain - RegisterServiceCtrlHandlerEx");
        return;
    }
    if (!SetServiceStatus(handleStato, &statoServizio)) {
        ScriviLogErrore("ServiceMain - SetServiceStatus");
        return;
    }
    ScriviLog("ServiceMain \n");
    statoServizio.dwCurrentState = SERVICE_RUNNING;

    pathEseguibile[0] = '\0';
    GetModuleFileNameA(NULL, pathEseguibile, sizeof pathEseguibile);
    if (!AmbienteDaPercorso(pathEseguibile, strPathShare, sizeof strPathShare, sistInfo, sizeof sistInfo)) {
        statoServizio.dwCurrentState = SERVICE_STOPPED;
        ScriviLog("Impossibile cambiare a \"started\" lo stato del servizio\n");
        RiportaStato();
        return;
    }
    TabellaInfoInstallazione.numAmbienti = 1;
    FormattaTesto(TabellaInfoInstallazione.ambienti[0].drive, DIM_PATH_INSTALLAZIONE, "%c",
                  strPathShare[1] == ':' ? toupper((unsigned char)strPathShare[0]) : '?');
    CopiaTesto(TabellaInfoInstallazione.ambienti[0].sistInfo, DIM_PATH_INSTALLAZIONE, sistInfo);
    CopiaTesto(TabellaInfoInstallazione.ambienti[0].strPathShare, DIM_PATH_INSTALLAZIONE, strPathShare);
    ScriviLog("Ambiente in linea: \"%c:\\%s\" ---> \"%s\"\n", TabellaInfoInstallazione.ambienti[0].drive[0],
              sistInfo, strPathShare);

    if (!ApriListener(strPathShare, sistInfo, &ascolto, &passoFallito)) {
        errore = GetLastError();
        statoServizio.dwCurrentState = SERVICE_STOPPED;
        if (!SetServiceStatus(handleStato, &statoServizio)) {
            ScriviLogErrore("ServiceMain - SetServiceStatus");
        } else if (passoFallito != NULL) {
            SetLastError(errore);
            ScriviLogErrore("%s", passoFallito);
        }
        return;
    }
    ScriviLog("Servizio di attivazione applicativi QOR in esecuzione\n");
    statoServizio.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_POWEREVENT;
    if (!SetServiceStatus(handleStato, &statoServizio)) {
        ScriviLogErrore("ServiceMain - SetServiceStatus");
        return;
    }
    CicloAccept(ascolto, AttivazioneClient);
}
