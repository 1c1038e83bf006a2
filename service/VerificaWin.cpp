/* service/VerificaWin.cpp - tarnel -check: verifica dell'installazione senza cambiare nulla nel
 * sistema, neppure il log: anche le righe delle routine che usa vanno su standard output. Una riga
 * per ogni cosa trovata; gli avvisi cominciano con "Avviso: " e non la fanno fallire; l'ultima dice
 * se il servizio potrebbe partire e servire e, se no, perche'. Non servono i diritti di
 * amministratore. */
/* winsock2.h prima di windows.h, che ComandiWin.h include. */
#include <winsock2.h>

#include "service/ComandiWin.h"

#include "install/install.h"
#include "launch/launch.h"
#include "setup/setup.h"
#include "service/ServiceWin.h"
#include "service/service.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <windows.h>
#include <iphlpapi.h>

/* Il primo motivo per cui il servizio non potrebbe partire o servire; vuoto se nessuno. */
typedef struct Verifica {
    char motivo[DIM_PATH * 2];
    int avvisi;
} Verifica;

static void Riga(const char *formato, ...) __attribute__((format(gnu_printf, 1, 2)));
static void Riga(const char *formato, ...)
{
    va_list argomenti;
    va_start(argomenti, formato);
    vprintf(formato, argomenti);
    va_end(argomenti);
    putchar('\n');
}

/* Una riga di difetto; il primo diventa il motivo dell'ultima riga. */
static void Difetto(Verifica *verifica, const char *formato, ...) __attribute__((format(gnu_printf, 2, 3)));
static void Difetto(Verifica *verifica, const char *formato, ...)
{
    char testo[DIM_PATH * 2];
    va_list argomenti;
    va_start(argomenti, formato);
    vsnprintf(testo, sizeof testo, formato, argomenti);
    va_end(argomenti);
    Riga("%s", testo);
    if (verifica->motivo[0] == '\0')
        CopiaTesto(verifica->motivo, sizeof verifica->motivo, testo);
}

/* Una riga d'avviso: il servizio partirebbe, ma qualcosa va saputo. */
static void Avviso(Verifica *verifica, const char *formato, ...) __attribute__((format(gnu_printf, 2, 3)));
static void Avviso(Verifica *verifica, const char *formato, ...)
{
    va_list argomenti;
    fputs("Avviso: ", stdout);
    va_start(argomenti, formato);
    vprintf(formato, argomenti);
    va_end(argomenti);
    putchar('\n');
    verifica->avvisi++;
}

/* Gli ambienti come li trova l'avvio del servizio; il drive dell'ambiente in linea e' solo provato.
 * In radice la radice da cui le richieste partirebbero: quella del drive se raggiungibile, se no la
 * locale, a cui il servizio collegherebbe il drive. */
static int VerificaAmbienti(Verifica *verifica, char *radice, char *radiceLocale)
{
    const InfoAmbiente *inLinea = &TabellaInfoInstallazione.ambienti[0];
    char cartella[DIM_PATH];

    if (!AnalisiAmbientiInstallati()) {
        Difetto(verifica, "Installazione non riconosciuta dal percorso dell'eseguibile (dettagli qui sopra)");
        return 0;
    }
    RadiceAmbiente(inLinea, radice, DIM_PATH);
    RadiceLocaleAmbiente(inLinea, radiceLocale, DIM_PATH);
    Riga("Ambiente in linea: %s (radice locale %s)", radice, radiceLocale);
    for (int i = 1; i < TabellaInfoInstallazione.numAmbienti; i++)
        Riga("Ambiente duplicato: %s", TabellaInfoInstallazione.ambienti[i].drive);
    FormattaTesto(cartella, sizeof cartella, "%c:\\%s", inLinea->drive[0], inLinea->sistInfo);
    /* Come all'avvio del servizio, il drive dell'ambiente diventa quello corrente del processo:
     * le radici senza drive (ambiente stand alone) vi si riferiscono. */
    if (CambiaDriveCorrente(inLinea->drive[0]) && EsisteCartella(cartella))
        Riga("Drive %c: raggiungibile, con la cartella %s", inLinea->drive[0], cartella);
    else if (inLinea->strPathShare[0] != '\0' && EsisteCartella(radiceLocale)) {
        Riga("Drive %c: non raggiungibile: il servizio lo collegherebbe a %s", inLinea->drive[0],
             inLinea->strPathShare);
        CopiaTesto(radice, DIM_PATH, radiceLocale);
    } else
        Difetto(verifica, "Drive %c: non raggiungibile e senza cartella locale: il servizio non partirebbe",
                inLinea->drive[0]);
    return 1;
}

typedef DWORD(WINAPI *FunzioneTabellaTcp)(PVOID tabella, PDWORD dim, BOOL ordina, ULONG famiglia,
                                          TCP_TABLE_CLASS classe, ULONG riservato);

/* Il processo che ascolta sulla porta, se la tabella TCP del sistema lo dice; 0 se non si sa.
 * GetExtendedTcpTable si cerca a run time: i primi sistemi di versione 5 non l'hanno. */
static DWORD ProcessoInAscolto(int porta)
{
    char area[64 * 1024];
    MIB_TCPTABLE_OWNER_PID *tabella = (MIB_TCPTABLE_OWNER_PID *)area;
    DWORD dim = sizeof area;
    HMODULE libreria = (HMODULE)LibreriaDiSistema("iphlpapi.dll");
    FunzioneTabellaTcp leggiTabella = NULL;
    DWORD esito = ERROR_NOT_SUPPORTED;

    if (libreria == NULL)
        return 0;
    leggiTabella = (FunzioneTabellaTcp)(void *)GetProcAddress(libreria, "GetExtendedTcpTable");
    if (leggiTabella != NULL)
        esito = leggiTabella(tabella, &dim, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0);
    FreeLibrary(libreria);
    if (esito != NO_ERROR)
        return 0;
    for (DWORD i = 0; i < tabella->dwNumEntries; i++)
        if (ntohs((u_short)tabella->table[i].dwLocalPort) == porta)
            return tabella->table[i].dwOwningPid;
    return 0;
}

/* La porta: libera, del servizio in esecuzione (processo del servizio in ascolto su di essa, o se
 * il sistema non lo dice servizio in esecuzione), o di un altro programma. */
static void VerificaPorta(Verifica *verifica, int porta, DWORD processoServizio)
{
    WSADATA dati;
    SOCKET prova = INVALID_SOCKET;
    struct sockaddr_in indirizzo;
    int libera = 0;
    DWORD proprietario = 0;

    if (WSAStartup(0x0101, &dati) != 0) {
        Difetto(verifica, "Porta %d: impossibile provarla (Winsock non disponibile)", porta);
        return;
    }
    prova = socket(AF_INET, SOCK_STREAM, 0);
    ZeroMemory(&indirizzo, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_ANY);
    indirizzo.sin_port = htons((u_short)porta);
    libera = prova != INVALID_SOCKET && bind(prova, (struct sockaddr *)&indirizzo, sizeof indirizzo) == 0;
    if (prova != INVALID_SOCKET)
        closesocket(prova);
    if (libera) {
        Riga("Porta %d: libera", porta);
    } else {
        proprietario = ProcessoInAscolto(porta);
        if (processoServizio != 0 && (proprietario == 0 || proprietario == processoServizio))
            Riga("Porta %d: occupata dal servizio in esecuzione", porta);
        else
            Difetto(verifica, "Porta %d: occupata da un altro programma", porta);
    }
    WSACleanup();
}

static void RigheAmmissione(const ConfigAmmissione *ammissione)
{
    char indirizzo[DIM_TESTO_INDIRIZZO];

    if (ammissione->numReti == 0)
        Riga("Client ammessi: tutti gli indirizzi");
    for (int i = 0; i < ammissione->numReti; i++) {
        TestoIndirizzo(indirizzo, sizeof indirizzo, ammissione->reti[i].indirizzo);
        Riga("Client ammessi: %s/%d", indirizzo, ammissione->reti[i].prefisso);
    }
    Riga("Conversazioni per indirizzo al massimo: %d%s", ammissione->maxClient,
         ammissione->maxClient == 0 ? " (nessun limite)" : "");
    Riga("Conversazioni in tutto al massimo: %d%s", ammissione->maxConn, ammissione->maxConn == 0 ? " (nessun limite)" : "");
}

/* I programmi che una richiesta puo' avviare, da dove li avvierebbe: i runtime e lo strumento dei
 * formati dalla radice della richiesta, il programma d'aggiornamento dalla radice locale. */
static void VerificaProgrammi(Verifica *verifica, const char *radice)
{
    static int (*const altri[])(char *, size_t) = {PathStrumentoFormati, PathAggiornatore};
    char path[DIM_PATH];
    int cobolVisual = CobolVisual(radice, path, sizeof path);

    Riga("COBOL: %s%s%s", cobolVisual ? "Visual COBOL (" : "non Visual COBOL", cobolVisual ? FILE_COBOL_VISUAL.file : "",
         cobolVisual ? " presente)" : "");
    for (int inChiaro = 0; inChiaro < 2; inChiaro++) {
        PathRuntime(radice, inChiaro, cobolVisual, path, sizeof path);
        if (EsisteFile(path))
            Riga("Programma presente: %s", path);
        else
            Difetto(verifica, "Programma mancante: %s", path);
    }
    for (size_t i = 0; i < sizeof altri / sizeof altri[0]; i++) {
        altri[i](path, sizeof path);
        Riga("Programma %s: %s", EsisteFile(path) ? "presente" : "mancante", path);
    }
}

/* I marcatori che cambiano le risposte del servizio, e chi altro puo' scrivere dove stanno i
 * programmi che il servizio avvia come LocalSystem. */
static void VerificaMarcatori(Verifica *verifica, const char *radice)
{
    static const struct {
        int (*cerca)(char *, size_t);
        const char *effetto;
    } marcatori[] = {
        {MarcatoreAggiornamentoInCorso, "i client ricevono l'avviso di aggiornamento in corso"},
        {MarcatoreServizioNuovo, "i client cifrati passano all'aggiornamento del servizio"},
        {MarcatoreAggiornamentoFormati, "la prossima richiesta esegue l'aggiornamento dei formati"},
    };
    char path[DIM_PATH];
    FiduciarioAmpio chi = NESSUN_FIDUCIARIO;

    for (size_t i = 0; i < sizeof marcatori / sizeof marcatori[0]; i++)
        if (marcatori[i].cerca(path, sizeof path))
            Avviso(verifica, "%s presente: %s", path, marcatori[i].effetto);
    UnisciPercorso(radice, CARTELLA_BIN_SERVIZIO, path, sizeof path);
    chi = CartellaScrivibileDaTutti(path);
    if (chi != NESSUN_FIDUCIARIO)
        Avviso(verifica, "%s scrivibile da %s: chi vi scrive %s o %s fa eseguire programmi come LocalSystem", path,
               NomeFiduciarioAmpio(chi), NomeRuntime(0, 0), FILE_SERVIZIO_NUOVO.file);
}

/* I runtime che girano ora, contati come li conta lo STOP. */
static void RigaRuntime(void)
{
    int quanti = 0;

    for (int i = 0; i < NUM_ESEGUIBILI_RUNTIME; i++)
        quanti += ContaProcessi(ESEGUIBILI_RUNTIME[i / 2][i % 2]);
    Riga("Runtime in esecuzione: %d (tarnel -stop li termina tutti)", quanti);
}

/* L'accesso di LocalSystem alla cartella a cui l'installazione lo darebbe: quella che contiene
 * l'ambiente dell'eseguibile. */
static void VerificaAccessi(Verifica *verifica)
{
    char pathEseguibile[DIM_PATH];
    char drive[DIM_PATH];
    char sistInfo[DIM_PATH];
    char rootSistInfo[DIM_PATH];
    char cartella[DIM_PATH];
    DWORD lung = GetModuleFileNameA(NULL, pathEseguibile, sizeof pathEseguibile);

    if (lung == 0 || lung >= sizeof pathEseguibile || !InfoInstallazione(pathEseguibile, drive, sistInfo, rootSistInfo) ||
        !CartellaContenitore(rootSistInfo, cartella, sizeof cartella)) {
        Difetto(verifica, "Cartella dell'ambiente non determinabile dal percorso dell'eseguibile");
        return;
    }
    if (VerificaAccessiLocalSystem(cartella))
        Riga("LocalSystem raggiunge la cartella %s", cartella);
    else
        Difetto(verifica, "LocalSystem non raggiunge la cartella %s", cartella);
}

/* Le righe di tarnel.cfg che la lettura accetta ma che non dicono quello che sembrano. */
static void AvvisiConfigurazione(Verifica *verifica, const ConfigServizio *config)
{
    if (config->rigaSocketInesatta > 0)
        Avviso(verifica, "riga %d di %s: chiave SOCKET non scritta esattamente, il servizio la ignora (porta %d)",
               config->rigaSocketInesatta, config->pathConf, config->porta);
    if (config->rigaSecondoSocket > 0)
        Avviso(verifica, "riga %d di %s: seconda riga SOCKET, vale la prima (porta %d)", config->rigaSecondoSocket,
               config->pathConf, config->porta);
    if (!config->clientPresente)
        Avviso(verifica, "nessuna riga CLIENT in %s: ogni indirizzo puo' avviare programmi", config->pathConf);
}

static const char *TestoAvvio(DWORD tipo)
{
    switch (tipo) {
    case SERVICE_AUTO_START:
        return "automatico";
    case SERVICE_DEMAND_START:
        return "manuale";
    case SERVICE_DISABLED:
        return "disabilitato";
    default:
        return "di sistema";
    }
}

static const char *TestoStato(DWORD stato)
{
    switch (stato) {
    case SERVICE_RUNNING:
        return "in esecuzione";
    case SERVICE_STOPPED:
        return "fermo";
    case SERVICE_START_PENDING:
        return "in avvio";
    case SERVICE_STOP_PENDING:
        return "in arresto";
    default:
        return "sospeso";
    }
}

/* Le azioni di recupero registrate: senza, un servizio caduto resta fermo. */
static void VerificaRecupero(Verifica *verifica, SC_HANDLE servizio)
{
    union {
        SERVICE_FAILURE_ACTIONSA azioni;
        char byte[1024];
    } area;
    DWORD necessari = 0;

    if (!QueryServiceConfig2A(servizio, SERVICE_CONFIG_FAILURE_ACTIONS, (BYTE *)&area, sizeof area, &necessari))
        Avviso(verifica, "azioni di recupero non leggibili (errore %lu)", GetLastError());
    else if (area.azioni.cActions == 0)
        Avviso(verifica, "nessuna azione di recupero: se il servizio cade resta fermo");
}

/* La registrazione del servizio, con il solo diritto di leggerla. Il processo del servizio se e' in
 * esecuzione, altrimenti 0. */
static DWORD VerificaRegistrazione(Verifica *verifica)
{
    union {
        QUERY_SERVICE_CONFIGA config;
        char byte[8192];
    } area;
    SERVICE_STATUS_PROCESS stato;
    SC_HANDLE gestore = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE servizio = NULL;
    DWORD necessari = 0;
    DWORD processo = 0;

    if (gestore != NULL)
        servizio = OpenServiceA(gestore, NOME_SERVIZIO, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (servizio == NULL) {
        Difetto(verifica, "Servizio \"%s\" non registrato", NOME_SERVIZIO);
    } else if (!QueryServiceConfigA(servizio, &area.config, sizeof area, &necessari) ||
               !QueryServiceStatusEx(servizio, SC_STATUS_PROCESS_INFO, (BYTE *)&stato, sizeof stato, &necessari)) {
        Difetto(verifica, "Servizio \"%s\" registrato ma non leggibile (errore %lu)", NOME_SERVIZIO, GetLastError());
    } else {
        Riga("Servizio \"%s\" registrato: eseguibile %s, avvio %s, stato %s", NOME_SERVIZIO,
             area.config.lpBinaryPathName, TestoAvvio(area.config.dwStartType), TestoStato(stato.dwCurrentState));
        if (area.config.dwStartType == SERVICE_DISABLED)
            Difetto(verifica, "Servizio \"%s\" disabilitato", NOME_SERVIZIO);
        if (area.config.lpBinaryPathName[0] != '"')
            Avviso(verifica, "percorso registrato senza virgolette: %s", area.config.lpBinaryPathName);
        VerificaRecupero(verifica, servizio);
        if (stato.dwCurrentState == SERVICE_RUNNING)
            processo = stato.dwProcessId;
    }
    if (servizio != NULL)
        CloseServiceHandle(servizio);
    if (gestore != NULL)
        CloseServiceHandle(gestore);
    return processo;
}

int ComandoVerifica(void)
{
    const InfoAmbiente *inLinea = &TabellaInfoInstallazione.ambienti[0];
    Verifica verifica;
    ConfigServizio config;
    char versione[64];
    char radice[DIM_PATH];
    char radiceLocale[DIM_PATH];
    DWORD processoServizio = 0;

    /* Nessun file: ne' tarnel.log ne' le sue generazioni, che il servizio in esecuzione usa. */
    ScegliDestinazioneLog(LOG_SOLO_SU_USCITA);
    memset(&verifica, 0, sizeof verifica);
    LeggiVersioneEseguibile(NULL, versione, sizeof versione);
    Riga("Versione: %s", versione);
    if (VerificaAmbienti(&verifica, radice, radiceLocale)) {
        if (!LeggiConfigServizio(inLinea->strPathShare, inLinea->sistInfo, &config)) {
            if (config.rigaNonValida > 0)
                Difetto(&verifica, "Configurazione %s non valida alla riga %d: \"%s\"", config.pathConf,
                        config.rigaNonValida, config.testoRigaNonValida);
            else
                Difetto(&verifica, "Configurazione %s non valida (la riga qui sopra)", config.pathConf);
        } else {
            processoServizio = VerificaRegistrazione(&verifica);
            VerificaPorta(&verifica, config.porta, processoServizio);
            RigheAmmissione(&config.ammissione);
            AvvisiConfigurazione(&verifica, &config);
        }
        VerificaProgrammi(&verifica, radice);
        VerificaMarcatori(&verifica, radice);
        VerificaAccessi(&verifica);
    }
    RigaRuntime();
    if (verifica.motivo[0] != '\0')
        Riga("Verifica fallita: %s", verifica.motivo);
    else if (verifica.avvisi > 0)
        Riga("Verifica riuscita con %d avvisi: il servizio puo' partire e servire", verifica.avvisi);
    else
        Riga("Verifica riuscita: il servizio puo' partire e servire");
    fflush(stdout);
    return verifica.motivo[0] != '\0' ? 1 : 0;
}
