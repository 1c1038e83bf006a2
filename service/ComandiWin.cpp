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
    {"main - Eseguo avvio del servizio\n", SERVICE_START | SERVICE_QUERY_STATUS, "Impossibile eseguire \"start\" di "},
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

/* Il gruppo deve essere abilitato nel token: un prompt non elevato, dove il gruppo c'e' solo per
 * negare, non passa, e riceve subito il messaggio dei diritti invece di un errore 5 piu' tardi. */
int IsAmministratore(void)
{
    SID_IDENTIFIER_AUTHORITY autorita = SECURITY_NT_AUTHORITY;
    PSID amministratori = NULL;
    BOOL membro = FALSE;

    if (!AllocateAndInitializeSid(&autorita, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &amministratori)) {
        ScriviLogErrore("main - AllocateAndInitializeSid");
        return 0;
    }
    if (!CheckTokenMembership(NULL, amministratori, &membro)) {
        ScriviLogErrore("main - CheckTokenMembership");
        membro = FALSE;
    }
    FreeSid(amministratori);
    return membro != FALSE;
}

/* La regola del firewall per il servizio appena installato; i suoi esiti non cambiano quello del comando. */
static void ImpostaFirewall(void)
{
    if (VersioneMaggioreSistema() >= 6) {
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
    if (VersioneMaggioreSistema() >= 6)
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

/* Attesa dell'esito di -start e -stop: un'interrogazione ogni 250 ms (il servizio annuncia un wait
 * hint di 0), per al piu' 60 s. */
#define ATTESA_ESITO_MS 60000
#define INTERVALLO_INTERROGAZIONI_MS 250

/* Interroga il servizio finche' e' in uno dei due stati. 1 se raggiunto (lo stato in *stato), 0 se
 * passa l'attesa, -1 se l'interrogazione fallisce. */
static int AttendiStatoServizio(SC_HANDLE servizio, DWORD primo, DWORD secondo, SERVICE_STATUS_PROCESS *stato)
{
    DWORD necessari = 0;

    for (int atteso = 0;; atteso += INTERVALLO_INTERROGAZIONI_MS) {
        if (!QueryServiceStatusEx(servizio, SC_STATUS_PROCESS_INFO, (BYTE *)stato, sizeof *stato, &necessari)) {
            ScriviLogErrore("QueryServiceStatusEx");
            return -1;
        }
        if (stato->dwCurrentState == primo || stato->dwCurrentState == secondo)
            return 1;
        if (atteso >= ATTESA_ESITO_MS)
            return 0;
        Sleep(INTERVALLO_INTERROGAZIONI_MS);
    }
}

/* Dopo StartService: riuscito se il servizio arriva a RUNNING o e' ancora in avvio dopo l'attesa;
 * fallito se si ferma. */
static int AttendiAvvio(SC_HANDLE servizio)
{
    SERVICE_STATUS_PROCESS stato;
    int esito = AttendiStatoServizio(servizio, SERVICE_RUNNING, SERVICE_STOPPED, &stato);

    if (esito < 0)
        return 0;
    if (esito == 0) {
        ScriviLog("main - Avvio del servizio ancora in corso dopo 60 s\n");
        return 1;
    }
    if (stato.dwCurrentState == SERVICE_RUNNING)
        return 1;
    ScriviLog("main - Il servizio si e' fermato durante l'avvio (errore %lu): dettagli nel file di log\n",
              (unsigned long)stato.dwWin32ExitCode);
    return 0;
}

/* Dopo lo STOP: riuscito quando il servizio e' fermo. */
static int AttendiArresto(SC_HANDLE servizio)
{
    SERVICE_STATUS_PROCESS stato;
    int esito = AttendiStatoServizio(servizio, SERVICE_STOPPED, SERVICE_STOPPED, &stato);

    if (esito == 0)
        ScriviLog("main - Il servizio non si e' fermato entro 60 s\n");
    return esito > 0;
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
        if (!StartServiceA(servizio, 0, NULL))
            ScriviLogErrore("StartService");
        else
            riuscito = AttendiAvvio(servizio);
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
