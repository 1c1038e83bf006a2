/* tests/setup/ServizioFinto.cpp - un servizio minimo che le prove registrano con i nomi dei servizi da
 * cui dipende l'installazione. Il modo viene dal primo argomento della riga registrata:
 *   pronto    RUNNING subito;
 *   lento     START_PENDING con check point che avanza (wait hint 3000) per circa 1,5 s, poi RUNNING;
 *   bloccato  START_PENDING con check point fermo (wait hint 1500); dopo 3,5 s si ferma da solo;
 *   rinuncia  STOPPED subito, con un codice d'uscita. */
#include <string.h>

#include <windows.h>

static char modo[32] = "pronto";
static SERVICE_STATUS stato;
static SERVICE_STATUS_HANDLE handleStato = NULL;
static HANDLE eventoFine = NULL;

static void Riporta(DWORD statoCorrente, DWORD checkPoint, DWORD waitHint)
{
    stato.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    stato.dwCurrentState = statoCorrente;
    stato.dwControlsAccepted = statoCorrente == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    stato.dwCheckPoint = checkPoint;
    stato.dwWaitHint = waitHint;
    SetServiceStatus(handleStato, &stato);
}

static DWORD WINAPI Gestore(DWORD controllo, DWORD tipoEvento, LPVOID dati, LPVOID contesto)
{
    (void)tipoEvento;
    (void)dati;
    (void)contesto;
    if (controllo == SERVICE_CONTROL_STOP) {
        Riporta(SERVICE_STOP_PENDING, 1, 1000);
        SetEvent(eventoFine);
    } else {
        SetServiceStatus(handleStato, &stato);
    }
    return NO_ERROR;
}

static void WINAPI ServiceMainFinto(DWORD numArgomenti, LPSTR *argomenti)
{
    (void)numArgomenti;
    (void)argomenti;
    handleStato = RegisterServiceCtrlHandlerExA("finto", Gestore, NULL);
    if (handleStato == NULL)
        return;
    eventoFine = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (strcmp(modo, "rinuncia") == 0) {
        stato.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        stato.dwServiceSpecificExitCode = 7;
        Riporta(SERVICE_STOPPED, 0, 0);
        return;
    }
    if (strcmp(modo, "lento") == 0) {
        for (DWORD checkPoint = 1; checkPoint <= 3; checkPoint++) {
            Riporta(SERVICE_START_PENDING, checkPoint, 3000);
            Sleep(500);
        }
    } else if (strcmp(modo, "bloccato") == 0) {
        Riporta(SERVICE_START_PENDING, 1, 1500);
        Sleep(3500);
        Riporta(SERVICE_STOPPED, 0, 0);
        return;
    }
    Riporta(SERVICE_RUNNING, 0, 0);
    WaitForSingleObject(eventoFine, INFINITE);
    Riporta(SERVICE_STOPPED, 0, 0);
}

int main(int argc, char **argv)
{
    static char nome[] = "finto";
    SERVICE_TABLE_ENTRYA tabella[] = {{nome, ServiceMainFinto}, {NULL, NULL}};

    if (argc > 1 && strlen(argv[1]) < sizeof modo)
        strcpy(modo, argv[1]);
    return StartServiceCtrlDispatcherA(tabella) ? 0 : 1;
}
