/* tools/riferimento/RiferimentoWin.cpp - riferimento.exe, il servizio di confronto delle misure di
 * carico (scripts/bench). Fa solo il lavoro di socket e di processo di una connessione di tarnel e
 * niente altro: servizio Windows, accept, un thread per connessione, 1024 byte di chiave per verso,
 * una trama cifrata ricevuta e rimandata con il codice di accettazione, poi il testo della versione
 * (richiesta "sysadmin") o un duplicato ereditabile del socket e l'avvio del runtime trimox3.exe che
 * sta accanto all'eseguibile, con la stessa riga di comando e la stessa coda d'ascolto (SOMAXCONN).
 * Nessun log, nessun controllo dei campi, nessun file dei parametri.
 *
 * Uso, come ImagePath del servizio "riferimento": riferimento.exe PORTA. Avviato da console (senza
 * gestore dei servizi) ascolta lo stesso, finche' il processo non viene chiuso. Ascolta solo su
 * 127.0.0.1. */
#include "base/base.h"
#include "protocol/protocol.h"

#include <stdlib.h>
#include <string.h>

#include <winsock2.h>
#include <windows.h>

#define NOME_RIFERIMENTO "riferimento"
/* Stessa riserva di stack dei thread di connessione del servizio. */
#define DIM_STACK_RIFERIMENTO (256 * 1024)
/* Stesso limite di ogni ricezione dal client del servizio. */
#define ATTESA_RICEZIONE_MS 30000
#define VERSIONE_RIFERIMENTO "01.00.00.01"
#define DIM_BLOCCO_RIFERIMENTO 32768

static SERVICE_STATUS statoRiferimento;
static SERVICE_STATUS_HANDLE handleStatoRiferimento = NULL;
static volatile SOCKET ascoltoRiferimento = INVALID_SOCKET;
static int portaRiferimento = 0;
/* La chiave d'invio, uguale per ogni connessione: la si manda cosi' com'e'. */
static uint8_t materialeRiferimento[DIM_CHIAVE];
static char comandoRuntime[DIM_PATH + 16];

/* Il log del protocollo non serve al riferimento. */
void ConsegnaRecordLog(const char *record)
{
    (void)record;
}

/* Riceve esattamente n byte; 1 se arrivati. */
static int RiceviEsatti(SOCKET s, uint8_t *dove, int n)
{
    int ricevuti = 0;
    while (ricevuti < n) {
        int m = recv(s, (char *)dove + ricevuti, n - ricevuti, 0);
        if (m <= 0)
            return 0;
        ricevuti += m;
    }
    return 1;
}

/* Chiavi: il materiale del client diventa la chiave di ricezione, il proprio quella d'invio. */
static int ScambioChiaviRiferimento(SOCKET s, StatoCifratura *stato)
{
    memset(stato, 0, sizeof *stato);
    if (!RiceviEsatti(s, stato->ricezione.chiave, DIM_CHIAVE))
        return 0;
    if (send(s, (const char *)materialeRiferimento, DIM_CHIAVE, 0) != DIM_CHIAVE)
        return 0;
    for (int i = 0; i < DIM_CHIAVE; i++) {
        stato->ricezione.chiave[i] ^= TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
        stato->invio.chiave[i] = materialeRiferimento[i] ^ TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
    }
    return 1;
}

/* Le 10 cifre di lunghezza all'inizio di un'intestazione decifrata; -1 se non sono cifre. */
static int LunghezzaTrama(const uint8_t *intestazione)
{
    int lung = 0;
    for (int i = 0; i < 10; i++) {
        if (intestazione[i] < '0' || intestazione[i] > '9' || lung > DIM_AREA_MESSAGGIO)
            return -1;
        lung = lung * 10 + (intestazione[i] - '0');
    }
    return lung;
}

/* Una trama cifrata: ricezioni grandi quanto l'area, decifrate man mano; la risposta e' la stessa
 * lista con "0109" nel campo 0. Rende 1 se e' una richiesta di versione, 0 di avvio, -1 errore. */
static int TramaRiferimento(SOCKET s, StatoCifratura *stato)
{
    uint8_t area[LUNG_INTESTAZIONE_CIFRATA + DIM_AREA_MESSAGGIO];
    CampoLista campi[64];
    int tenuti = 0;
    int attesi = LUNG_INTESTAZIONE_CIFRATA;
    while (tenuti < attesi) {
        int n = recv(s, (char *)area + tenuti, (int)sizeof area - tenuti, 0);
        if (n <= 0)
            return -1;
        CifraDecifra(&stato->ricezione, area + tenuti, n);
        if (tenuti < LUNG_INTESTAZIONE_CIFRATA && tenuti + n >= LUNG_INTESTAZIONE_CIFRATA) {
            int lung = LunghezzaTrama(area);
            if (lung < 0 || lung > DIM_AREA_MESSAGGIO)
                return -1;
            attesi += lung;
        }
        tenuti += n;
    }
    ChiudiMessaggio(&stato->ricezione);
    uint8_t *corpo = area + LUNG_INTESTAZIONE_CIFRATA;
    int lung = attesi - LUNG_INTESTAZIONE_CIFRATA;
    if (LeggiListaCampi(corpo, lung, campi, 64) < 5 || campi[0].lung < 4)
        return -1;
    int versione = campi[4].lung >= 8 && memcmp(corpo + campi[4].inizio, "sysadmin", 8) == 0;
    memcpy(corpo + LUNG_CIFRE_CAMPO, "0109", 4);
    return invioBuffer((SocketRete)s, stato, corpo, lung) == ESITO_FATTO ? versione : -1;
}

/* Il blocco d'ambiente del processo con in coda socketComm. 0 se non entra. */
static int BloccoRiferimento(char *blocco, size_t dim, HANDLE duplicato)
{
    char *proprio = GetEnvironmentStringsA();
    size_t lung = 0;
    if (proprio != NULL) {
        while (proprio[lung] != '\0')
            lung += strlen(proprio + lung) + 1;
        if (lung + 64 > dim) {
            FreeEnvironmentStringsA(proprio);
            return 0;
        }
        memcpy(blocco, proprio, lung);
        FreeEnvironmentStringsA(proprio);
    }
    int n = FormattaTesto(blocco + lung, dim - lung - 1, "socketComm=%lu", (unsigned long)(uintptr_t)duplicato);
    lung += strlen(blocco + lung) + 1;
    blocco[lung] = '\0';
    return n;
}

/* Duplicato ereditabile del socket e avvio del runtime che eredita solo quello. */
static void AvviaRuntimeRiferimento(SOCKET s)
{
    char blocco[DIM_BLOCCO_RIFERIMENTO];
    char comando[sizeof comandoRuntime];
    HANDLE duplicato = NULL;
    STARTUPINFOEXA avvio;
    PROCESS_INFORMATION processo;
    SIZE_T dimLista = 0;
    uint64_t areaLista[32];
    DWORD zero = 0;

    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&zero, sizeof zero);
    if (!DuplicateHandle(GetCurrentProcess(), (HANDLE)s, GetCurrentProcess(), &duplicato, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return;
    memset(&avvio, 0, sizeof avvio);
    memset(&processo, 0, sizeof processo);
    avvio.StartupInfo.cb = sizeof avvio;
    avvio.lpAttributeList = (LPPROC_THREAD_ATTRIBUTE_LIST)areaLista;
    InitializeProcThreadAttributeList(NULL, 1, 0, &dimLista);
    if (dimLista <= sizeof areaLista && BloccoRiferimento(blocco, sizeof blocco, duplicato) &&
        InitializeProcThreadAttributeList(avvio.lpAttributeList, 1, 0, &dimLista)) {
        if (UpdateProcThreadAttribute(avvio.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &duplicato,
                                      sizeof duplicato, NULL, NULL)) {
            memcpy(comando, comandoRuntime, sizeof comando);
            if (CreateProcessA(NULL, comando, NULL, NULL, TRUE, EXTENDED_STARTUPINFO_PRESENT, blocco, NULL,
                               &avvio.StartupInfo, &processo)) {
                CloseHandle(processo.hProcess);
                CloseHandle(processo.hThread);
            }
        }
        DeleteProcThreadAttributeList(avvio.lpAttributeList);
    }
    CloseHandle(duplicato);
}

static DWORD WINAPI ConnessioneRiferimento(LPVOID parametro)
{
    SOCKET s = (SOCKET)parametro;
    StatoCifratura stato;
    DWORD attesa = ATTESA_RICEZIONE_MS;

    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&attesa, sizeof attesa);
    int tipo = ScambioChiaviRiferimento(s, &stato) ? TramaRiferimento(s, &stato) : -1;
    if (tipo == 1)
        send(s, VERSIONE_RIFERIMENTO, (int)strlen(VERSIONE_RIFERIMENTO), 0);
    else if (tipo == 0)
        AvviaRuntimeRiferimento(s);
    closesocket(s);
    return 0;
}

/* Socket d'ascolto su 127.0.0.1:porta, come quello del servizio. */
static SOCKET ApriAscolto(int porta)
{
    WSADATA dati;
    struct sockaddr_in indirizzo;
    int riuso = 1;
    if (WSAStartup(MAKEWORD(2, 2), &dati) != 0)
        return INVALID_SOCKET;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return s;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, (const char *)&riuso, sizeof riuso);
    memset(&indirizzo, 0, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    indirizzo.sin_port = htons((u_short)porta);
    if (bind(s, (struct sockaddr *)&indirizzo, sizeof indirizzo) == SOCKET_ERROR ||
        listen(s, SOMAXCONN) == SOCKET_ERROR) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

/* Accept finche' il socket d'ascolto resta aperto. */
static void CicloRiferimento(SOCKET ascolto)
{
    for (;;) {
        SOCKET accettato = accept(ascolto, NULL, NULL);
        if (accettato == INVALID_SOCKET)
            return;
        HANDLE thread = CreateThread(NULL, DIM_STACK_RIFERIMENTO, ConnessioneRiferimento, (LPVOID)accettato,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
        if (thread == NULL)
            closesocket(accettato);
        else
            CloseHandle(thread);
    }
}

static DWORD WINAPI ComandoRiferimento(DWORD controllo, DWORD tipoEvento, LPVOID dati, LPVOID contesto)
{
    (void)tipoEvento;
    (void)dati;
    (void)contesto;
    if (controllo == SERVICE_CONTROL_STOP) {
        statoRiferimento.dwCurrentState = SERVICE_STOP_PENDING;
        SetServiceStatus(handleStatoRiferimento, &statoRiferimento);
        closesocket(ascoltoRiferimento);
    }
    return NO_ERROR;
}

static void WINAPI ServiceMainRiferimento(DWORD numArgomenti, LPSTR *argomenti)
{
    (void)numArgomenti;
    (void)argomenti;
    memset(&statoRiferimento, 0, sizeof statoRiferimento);
    statoRiferimento.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    handleStatoRiferimento = RegisterServiceCtrlHandlerExA(NOME_RIFERIMENTO, ComandoRiferimento, NULL);
    if (handleStatoRiferimento == NULL)
        return;
    ascoltoRiferimento = ApriAscolto(portaRiferimento);
    if (ascoltoRiferimento != INVALID_SOCKET) {
        statoRiferimento.dwCurrentState = SERVICE_RUNNING;
        statoRiferimento.dwControlsAccepted = SERVICE_ACCEPT_STOP;
        SetServiceStatus(handleStatoRiferimento, &statoRiferimento);
        CicloRiferimento(ascoltoRiferimento);
    }
    statoRiferimento.dwCurrentState = SERVICE_STOPPED;
    statoRiferimento.dwControlsAccepted = 0;
    SetServiceStatus(handleStatoRiferimento, &statoRiferimento);
}

int main(int argc, char **argv)
{
    char cartella[DIM_PATH] = "";
    portaRiferimento = argc > 1 ? atoi(argv[1]) : 0;
    if (portaRiferimento <= 0 || portaRiferimento > 65535)
        return 1;
    DWORD n = GetModuleFileNameA(NULL, cartella, sizeof cartella);
    char *barra = n > 0 && n < sizeof cartella ? strrchr(cartella, '\\') : NULL;
    if (barra == NULL)
        return 1;
    *barra = '\0';
    /* Il runtime cifrato non Visual COBOL del servizio, accanto a riferimento.exe: qui il suo nome
     * e' scritto a mano, perche' il riferimento sta sopra protocol/ soltanto. */
    FormattaTesto(comandoRuntime, sizeof comandoRuntime, "%s\\trimox3.exe kelvat32", cartella);
    srand((unsigned)GetCurrentProcessId());
    for (int i = 0; i < DIM_CHIAVE; i++)
        materialeRiferimento[i] = (uint8_t)(rand() % 255);

    SERVICE_TABLE_ENTRYA tabella[] = {{(LPSTR)NOME_RIFERIMENTO, ServiceMainRiferimento}, {NULL, NULL}};
    if (StartServiceCtrlDispatcherA(tabella))
        return 0;
    /* Da console: ascolta finche' il processo vive. */
    ascoltoRiferimento = ApriAscolto(portaRiferimento);
    if (ascoltoRiferimento == INVALID_SOCKET)
        return 1;
    CicloRiferimento(ascoltoRiferimento);
    return 0;
}
