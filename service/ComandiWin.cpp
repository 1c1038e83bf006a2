/* service/ComandiWin.cpp - i comandi della riga di comando: installazione (con firewall), rimozione,
 * avvio e arresto del servizio, modo silente, verifica dei diritti di amministratore. Un solo thread. */
#include "service/ComandiWin.h"

#include "install/install.h"
#include "service/ServiceWin.h"
#include "service/service.h"
#include "setup/setup.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define STILE_MESSAGGIO (MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST)
#define DIM_MESSAGGIO 2048
#define TITOLO_MESSAGGIO "Errore"
#define TESTO_LOG_MESSAGGIO "Ulteriori informazioni nel file di log: "
#define TESTO_AMMINISTRATORE "Per utilizzare questo programma e' necessario possedere i privilegi di Amminisratore"

PassiComandi passiComandi = {MessageBoxA, IsAmministratore};

typedef enum Comando {
    COMANDO_RIMOZIONE,
    COMANDO_AVVIO,
    COMANDO_ARRESTO,
    COMANDO_RILETTURA,
    COMANDO_INSTALLAZIONE
} Comando;

/* Per ogni comando, nell'ordine dell'enumerazione: la prima riga del log, l'accesso chiesto al
 * servizio installato (nessuno per l'installazione) e l'inizio del messaggio di fallimento. */
static const struct {
    const char *rigaLog;
    DWORD accesso;
    const char *inizioFallimento;
} comandi[] = {
    {"main - Eseguo la rimozione del servizio\n", DELETE, "Impossibile rimuovere: "},
    {"main - Eseguo avvio del servizio\n", SERVICE_START, "Impossibile eseguire \"start\" di "},
    {"main - Eseguo arresto del servizio\n", SERVICE_STOP | SERVICE_QUERY_STATUS, "Impossibile eseguire \"stop\" di "},
    {"main - Eseguo la rilettura di tarnel.cfg\n", SERVICE_PAUSE_CONTINUE, "Impossibile far rileggere tarnel.cfg a "},
    {"main - Eseguo l'installazione del servizio\n", 0, "Impossibile installare: "},
};
static_assert(sizeof comandi / sizeof comandi[0] == COMANDO_INSTALLAZIONE + 1, "una riga per comando");

static void StampaUso(const char *programma)
{
    printf("Opzioni:\n\t%s [-s] -i\tInstallazione servizio\n", programma);
    printf("\t%s [-s] -r\tRimozione servizio\n", programma);
    printf("\t%s [-s] -start\tAttivazione servizio\n", programma);
    printf("\t%s [-s] -stop\tDisattivazione servizio\n", programma);
    printf("\t%s -check\tVerifica dell'installazione\n", programma);
    printf("\t%s [-s] -reload\tRilettura di tarnel.cfg\n", programma);
    printf("\n\t-s: abilita la modalita' silente (no message box)\n");
}

static void MostraMessaggio(const char *testo)
{
    passiComandi.mostraMessaggio(GetDesktopWindow(), testo, TITOLO_MESSAGGIO, STILE_MESSAGGIO);
}

/* Il messaggio di un comando fallito, che rimanda al file di log: l'inizio dipende dal comando. */
static void MostraFallimento(Comando comando)
{
    char testo[DIM_MESSAGGIO] = "";

    FormattaTesto(testo, sizeof testo, "%s\"%s\"\n%s\"%s\"", comandi[comando].inizioFallimento, NOME_VISUALIZZATO,
                  TESTO_LOG_MESSAGGIO, pathFileLog());
    MostraMessaggio(testo);
}

int GruppiContengonoSid(const TOKEN_GROUPS *gruppi, PSID sid)
{
    for (DWORD i = 0; i < gruppi->GroupCount; i++)
        if (EqualSid(gruppi->Groups[i].Sid, sid))
            return 1;
    return 0;
}

int IsAmministratore(void)
{
    SID_IDENTIFIER_AUTHORITY autorita = SECURITY_NT_AUTHORITY;
    HANDLE token = NULL;
    TOKEN_GROUPS *gruppi = NULL;
    PSID amministratori = NULL;
    DWORD dim = 0;
    int amministratore = 0;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        ScriviLogErrore("main - OpenProcessToken");
        token = NULL;
        goto fine;
    }
    if (GetTokenInformation(token, TokenGroups, NULL, 0, &dim) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        dim == 0) {
        ScriviLogErrore("main - GetTokenInformation");
        goto fine;
    }
    gruppi = (TOKEN_GROUPS *)calloc(1, dim);
    if (gruppi == NULL) {
        ScriviLog("main - memoria esaurita per i gruppi del token\n");
        goto fine;
    }
    if (!GetTokenInformation(token, TokenGroups, gruppi, dim, &dim)) {
        ScriviLogErrore("main - GetTokenInformation");
        goto fine;
    }
    if (!AllocateAndInitializeSid(&autorita, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &amministratori)) {
        ScriviLogErrore("main - AllocateAndInitializeSid");
        amministratori = NULL;
        goto fine;
    }
    amministratore = GruppiContengonoSid(gruppi, amministratori);
fine:
    if (amministratori != NULL)
        FreeSid(amministratori);
    free(gruppi);
    if (token != NULL)
        CloseHandle(token);
    return amministratore;
}

/* Versione maggiore del sistema; 0 se non si sa (vale il ramo dei sistemi precedenti). */
static DWORD VersioneMaggiore(void)
{
    OSVERSIONINFOA versione;

    ZeroMemory(&versione, sizeof versione);
    versione.dwOSVersionInfoSize = sizeof versione;
    if (!GetVersionExA(&versione)) {
        ScriviLogErrore("main - GetVersionEx");
        return 0;
    }
    return versione.dwMajorVersion;
}

/* La regola del firewall per il servizio appena installato; i suoi esiti non cambiano quello del comando. */
static void ImpostaFirewall(void)
{
    if (VersioneMaggiore() >= 6) {
        ScriviLog("main - VerificaAbiFirewallVista \n");
        if (VerificaAbiFirewallVista())
            return;
        AbiFirewallVista();
        ScriviLog("main - Abilitato Firewall  INetFwPolicy2 \n");
    } else {
        ScriviLog("main - VerificaAbilitazioneFirewall \n");
        if (VerificaAbilitazioneFirewall() == TRUE)
            return;
        AbiFirewallXP();
        ScriviLog("main - Abilitato Firewall \n");
    }
}

/* Toglie la voce del firewall che l'installazione aggiunge; gli esiti non cambiano quello del comando. */
static void RimuoviFirewall(void)
{
    if (VersioneMaggiore() >= 6)
        RimuoviFirewallVista();
    else
        RimuoviFirewallXP();
}

static int ComandoInstallazione(int silenzioso)
{
    ScriviLog("%s", comandi[COMANDO_INSTALLAZIONE].rigaLog);
    if (!passiComandi.verificaAmministratore()) {
        ScriviLog("main - NON SONO AMMINISTRATORE\n");
        MostraMessaggio(TESTO_AMMINISTRATORE);
        return 1;
    }
    if (!InstallazioneServizio()) {
        if (!silenzioso)
            MostraFallimento(COMANDO_INSTALLAZIONE);
        return 1;
    }
    ImpostaFirewall();
    ScriviLog("main - \"%s\" installato correttamente\n", NOME_VISUALIZZATO);
    return 0;
}

/* Dopo lo STOP: interroga finche' il servizio e' fermo, dormendo il wait hint che annuncia. */
static int AttendiArresto(SC_HANDLE servizio)
{
    SERVICE_STATUS_PROCESS stato;
    DWORD necessari = 0;

    for (;;) {
        if (!QueryServiceStatusEx(servizio, SC_STATUS_PROCESS_INFO, (BYTE *)&stato, sizeof stato, &necessari)) {
            ScriviLogErrore("QueryServiceStatusEx");
            return 0;
        }
        if (stato.dwCurrentState == SERVICE_STOPPED)
            return 1;
        Sleep(stato.dwWaitHint);
    }
}

/* tarnel.cfg letto come lo rileggera' il servizio, con le righe della lettura anche su standard
 * output. 1 se valido. */
static int ConfigurazioneValida(void)
{
    const InfoAmbiente *inLinea = &TabellaInfoInstallazione.ambienti[0];
    ConfigServizio config;
    int valida = 0;

    ScegliDestinazioneLog(LOG_SU_FILE_E_USCITA);
    /* Come all'avvio del servizio, il drive dell'ambiente diventa quello corrente: un ambiente
     * stand alone ha il percorso di tarnel.cfg senza drive. */
    valida = AnalisiAmbientiInstallati() && CambiaDriveCorrente(inLinea->drive[0]) &&
             LeggiConfigServizio(inLinea->strPathShare, inLinea->sistInfo, &config);
    ScegliDestinazioneLog(LOG_SU_FILE);
    return valida;
}

static int ComandoSulServizio(Comando comando, int silenzioso)
{
    SC_HANDLE gestore = NULL;
    SC_HANDLE servizio = NULL;
    SERVICE_STATUS stato;
    int riuscito = 0;

    ScriviLog("%s", comandi[comando].rigaLog);
    /* Un tarnel.cfg non valido non si manda al servizio: lo rifiuterebbe. */
    if (comando == COMANDO_RILETTURA && !ConfigurazioneValida())
        goto fine;
    gestore = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (gestore == NULL) {
        ScriviLogErrore("OpenSCManager");
        goto fine;
    }
    servizio = OpenServiceA(gestore, NOME_SERVIZIO, comandi[comando].accesso);
    if (servizio == NULL) {
        ScriviLogErrore("OpenService");
        goto fine;
    }
    switch (comando) {
    case COMANDO_RIMOZIONE:
        riuscito = DeleteService(servizio) != 0;
        if (!riuscito)
            ScriviLogErrore("DeleteService");
        else
            RimuoviFirewall();
        break;
    case COMANDO_AVVIO:
        riuscito = StartServiceA(servizio, 0, NULL) != 0;
        if (!riuscito)
            ScriviLogErrore("StartService");
        break;
    case COMANDO_ARRESTO:
        if (!ControlService(servizio, SERVICE_CONTROL_STOP, &stato))
            ScriviLogErrore("ControlService");
        else
            riuscito = AttendiArresto(servizio);
        break;
    case COMANDO_RILETTURA:
        riuscito = ControlService(servizio, SERVICE_CONTROL_PARAMCHANGE, &stato) != 0;
        if (!riuscito)
            ScriviLogErrore("ControlService");
        break;
    default:
        break;
    }
fine:
    if (servizio != NULL)
        CloseServiceHandle(servizio);
    if (gestore != NULL)
        CloseServiceHandle(gestore);
    if (riuscito)
        return 0;
    if (!silenzioso)
        MostraFallimento(comando);
    return 1;
}

int EseguiComando(int argc, char **argv)
{
    static char nomeServizio[] = NOME_SERVIZIO;
    SERVICE_TABLE_ENTRYA tabella[] = {{nomeServizio, ServiceMain}, {NULL, NULL}};
    const char *opzione = NULL;
    int silenzioso = 0;

    if (argc < 2) {
        if (!StartServiceCtrlDispatcherA(tabella)) {
            ScriviLogErrore("StartServiceCtrlDispatcher");
            return 1;
        }
        return 0;
    }
    if (_stricmp(argv[1], "-s") == 0) {
        silenzioso = 1;
        opzione = argc > 2 ? argv[2] : "";
    } else {
        opzione = argv[1];
    }
    if (_stricmp(opzione, "-i") == 0)
        return ComandoInstallazione(silenzioso);
    if (_stricmp(opzione, "-r") == 0)
        return ComandoSulServizio(COMANDO_RIMOZIONE, silenzioso);
    if (_stricmp(opzione, "-start") == 0)
        return ComandoSulServizio(COMANDO_AVVIO, silenzioso);
    if (_stricmp(opzione, "-stop") == 0)
        return ComandoSulServizio(COMANDO_ARRESTO, silenzioso);
    if (_stricmp(opzione, "-reload") == 0)
        return ComandoSulServizio(COMANDO_RILETTURA, silenzioso);
    if (_stricmp(opzione, "-check") == 0)
        return ComandoVerifica();
    StampaUso(argv[0]);
    return 1;
}
