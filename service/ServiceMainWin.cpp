/* service/ServiceMainWin.cpp - ServiceMain e il gestore dei comandi del servizio.
 * ServiceMain gira sul thread creato dal dispatcher e finisce i suoi giorni nel ciclo di accept;
 * il gestore gira sul thread che il gestore dei servizi sceglie (il principale su Windows, uno suo
 * sotto Wine): nessuno dei due dipende da quale thread esegua l'altro. */
#include "service/service.h"

#include "install/install.h"
#include "launch/launch.h"
#include "service/ServiceWin.h"

#include <pbt.h>

/* Il record di stato del processo e la sua handle: li scrivono ServiceMain e il gestore, ognuno
 * i campi che cambia, e ognuno riporta poi il record intero. */
static SERVICE_STATUS statoServizio;
static SERVICE_STATUS_HANDLE handleStato = NULL;

/* Controlli accettati quando il servizio gira: STOP, rilettura di tarnel.cfg e notifiche di
 * alimentazione (0x49). */
#define CONTROLLI_IN_ESECUZIONE (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PARAMCHANGE | SERVICE_ACCEPT_POWEREVENT)

/* tarnel.cfg riletto con le regole dell'avvio: valido, le regole di ammissione nuove valgono per le
 * connessioni che arrivano da qui in poi; non valido, restano le precedenti. La porta non cambia. */
static void RileggiConfigurazione(void)
{
    const InfoAmbiente *inLinea = &TabellaInfoInstallazione.ambienti[0];
    ConfigServizio config;

    if (!LeggiConfigServizio(inLinea->strPathShare, inLinea->sistInfo, &config)) {
        ScriviLog("ServerCtrlHandlerEx - tarnel.cfg non valido: restano le regole precedenti\n");
        return;
    }
    SostituisciRegoleAmmissione(&config.ammissione);
    ScriviLog("ServerCtrlHandlerEx - tarnel.cfg riletto: %d reti ammesse, MAXCLIENT %d, MAXCONN %d\n",
              config.ammissione.numReti, config.ammissione.maxClient, config.ammissione.maxConn);
    if (config.porta != portaServizio)
        ScriviLog("ServerCtrlHandlerEx - la porta %d di tarnel.cfg vale dal prossimo avvio (ora %d)\n", config.porta,
                  portaServizio);
}

DWORD WINAPI ServerCtrlHandlerEx(DWORD controllo, DWORD tipoEvento, LPVOID datiEvento, LPVOID contesto)
{
    int i = 0;

    (void)datiEvento;
    (void)contesto;
    ScriviLog("ServerCtrlHandlerEx - ricevuto comando dwControl -> %d  dwEventType -> %d \n ", (int)controllo,
              (int)tipoEvento);
    switch (controllo) {
    case SERVICE_CONTROL_STOP:
        ScriviLog("ServerCtrlHandlerEx - ricevuto comando di STOP\n");
        for (i = 0; i < NUM_ESEGUIBILI_RUNTIME; i++)
            TerminaProcesso(ESEGUIBILI_RUNTIME[i / 2][i % 2]);
        statoServizio.dwWin32ExitCode = 0;
        statoServizio.dwCurrentState = SERVICE_STOPPED;
        statoServizio.dwCheckPoint = 0;
        statoServizio.dwWaitHint = 0;
        break;
    case SERVICE_CONTROL_PARAMCHANGE:
        RileggiConfigurazione();
        break;
    case SERVICE_CONTROL_INTERROGATE:
        ScriviLog("ServerCtrlHandlerEx - ricevuto comando di INTERROGATE\n");
        statoServizio.dwCurrentState = SERVICE_RUNNING;
        break;
    case SERVICE_CONTROL_POWEREVENT:
        switch (tipoEvento) {
        case PBT_APMSUSPEND:
        case PBT_APMSTANDBY:
            /* I controlli restano STOP e POWEREVENT: senza, il servizio non riceverebbe piu' ne' la
             * ripresa ne' lo STOP. */
            ScriviLog("ServerCtrlHandlerEx - Entro in hybernate \n");
            break;
        case PBT_APMRESUMESUSPEND:
        case PBT_APMRESUMESTANDBY:
            ScriviLog("ServerCtrlHandlerEx - Resume RESUMESUSPEND");
            statoServizio.dwControlsAccepted = CONTROLLI_IN_ESECUZIONE;
            break;
        case PBT_APMRESUMEAUTOMATIC:
            ScriviLog("ServerCtrlHandlerEx - Resume RESUMEAUTOMATIC  \n");
            statoServizio.dwControlsAccepted = CONTROLLI_IN_ESECUZIONE;
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
    if (!SetServiceStatus(handleStato, &statoServizio))
        ScriviLogErrore("ServerCtrlHandlerEx - SetServiceStatus");
    return NO_ERROR;
}

/* STOPPED con il codice d'uscita dell'avvio rifiutato: il gestore dei servizi registra l'evento
 * e applica le azioni di ripristino. 1 se riportato. */
static int RiportaAvvioRifiutato(DWORD errore)
{
    statoServizio.dwCurrentState = SERVICE_STOPPED;
    statoServizio.dwWin32ExitCode = errore;
    ScriviLog("ServiceMain - avvio rifiutato: errore %lu\n", (unsigned long)errore);
    if (!SetServiceStatus(handleStato, &statoServizio)) {
        ScriviLogErrore("ServiceMain - SetServiceStatus");
        return 0;
    }
    return 1;
}

/* Avvio rifiutato dopo la tabella degli ambienti o il collegamento del drive. */
static void AvvioRifiutato(DWORD errore)
{
    ScriviLog("Impossibile cambiare a \"started\" lo stato del servizio\n");
    RiportaAvvioRifiutato(errore != 0 ? errore : ERROR_PATH_NOT_FOUND);
}

void WINAPI ServiceMain(DWORD numArgomenti, LPSTR *argomenti)
{
    const InfoAmbiente *inLinea = &TabellaInfoInstallazione.ambienti[0];
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

    if (!AnalisiAmbientiInstallati()) {
        AvvioRifiutato(ERROR_PATH_NOT_FOUND);
        return;
    }
    if (!ConnessioneNetworkDrive()) {
        AvvioRifiutato(GetLastError());
        return;
    }
    ScriviElencoAmbienti();
    contatoreFileParametri = 0;
    ScegliEreditarietaRuntime();
    LeggiVersioneServizio();

    if (!ApriListener(inLinea->strPathShare, inLinea->sistInfo, &ascolto, &passoFallito)) {
        /* Senza passo fallito e' tarnel.cfg a non essere valido (la riga e' nel log). */
        errore = passoFallito != NULL ? GetLastError() : ERROR_BAD_CONFIGURATION;
        if (RiportaAvvioRifiutato(errore) && passoFallito != NULL) {
            SetLastError(errore);
            ScriviLogErrore("%s", passoFallito);
        }
        return;
    }
    ScriviLog("ServiceMain - versione %s, processo %lu, porta %d\n", versioneServizio,
              (unsigned long)GetCurrentProcessId(), portaServizio);
    ScriviLog("Servizio di attivazione applicativi QOR in esecuzione\n");
    statoServizio.dwControlsAccepted = CONTROLLI_IN_ESECUZIONE;
    if (!SetServiceStatus(handleStato, &statoServizio)) {
        ScriviLogErrore("ServiceMain - SetServiceStatus");
        return;
    }
    CicloAccept(ascolto, AttivazioneClient);
    /* Senza STOPPED il gestore dei servizi conta un fallimento e applica le azioni di ripristino;
     * i runtime avviati sono processi a se' e continuano. */
    ExitProcess(1);
}
