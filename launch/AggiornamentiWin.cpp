/* launch/AggiornamentiWin.cpp - lo strumento di aggiornamento formati, l'aggiornamento del servizio
 * (updqorservice.exe) e il blocco di processo sulla cartella di lavoro. */
#include "launch/launch.h"

#include "install/install.h"
#include "base/base.h"

#include <winsock2.h>
#include <windows.h>

/* Il blocco della cartella di lavoro, pronto alla prima chiamata (una sezione critica: c'e' su
 * ogni sistema servito). */
static CRITICAL_SECTION *BloccoCartellaLavoro(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

void BloccaCartellaLavoro(void)
{
    EnterCriticalSection(BloccoCartellaLavoro());
}

void SbloccaCartellaLavoro(void)
{
    LeaveCriticalSection(BloccoCartellaLavoro());
}

/* Avvia un programma senza handle ereditati, con l'ambiente e la cartella del servizio. */
static int AvviaProgramma(const char *comando, PROCESS_INFORMATION *processo)
{
    char rigaComando[DIM_RIGA_COMANDO];
    STARTUPINFOA avvio;

    CopiaTesto(rigaComando, sizeof rigaComando, comando);
    memset(&avvio, 0, sizeof avvio);
    avvio.cb = sizeof avvio;
    memset(processo, 0, sizeof *processo);
    return CreateProcessA(NULL, rigaComando, NULL, NULL, FALSE, 0, NULL, NULL, &avvio, processo) != 0;
}

void AggiornamentoFormati(void)
{
    const InfoAmbiente *ambiente = &TabellaInfoInstallazione.ambienti[0];
    char lettera = ambiente->drive[0];
    char radice[DIM_PATH];
    char fileTestLink[DIM_PATH];
    char comando[DIM_PATH];
    char directorydilavoro[DIM_PATH];
    PROCESS_INFORMATION processo;

    if (!CambiaDriveCorrente(lettera)) {
        ScriviLog("Impossibile cambiare il drive di lavoro a \"%c:\"\n", lettera);
        return;
    }
    FormattaTesto(radice, sizeof radice, "%c:\\%s", lettera, ambiente->sistInfo);
    FormattaTesto(fileTestLink, sizeof fileTestLink, "%s\\prg\\etc\\updatefo.cfg", radice);
    ScriviLog("AggiornamentoFormati fileTestLink = %s \n", fileTestLink);
    if (!EsisteFile(fileTestLink)) {
        ScriviLog("AggiornamentoFormati NON e' presente il file  = %s \n", fileTestLink);
        return;
    }
    FormattaTesto(comando, sizeof comando, "%s\\prg\\com\\drumal\\bin\\kvix32a.exe", radice);
    ScriviLog("AggiornamentoFormati comando = %s \n", comando);
    FormattaTesto(directorydilavoro, sizeof directorydilavoro, "%s\\prg", radice);
    ScriviLog("AggiornamentoFormati directorydilavoro = %s \n", directorydilavoro);
    CambiaDirectoryCorrente(directorydilavoro);
    ScriviLog("AggiornamentoFormati SetCurrentDirectory = %s \n", directorydilavoro);
    if (!AvviaProgramma(comando, &processo)) {
        ScriviLog("AggiornamentoFormati Errore nella CreateProcess comando = %s \n", comando);
        return;
    }
    WaitForSingleObject(processo.hProcess, INFINITE);
    CloseHandle(processo.hProcess);
    CloseHandle(processo.hThread);
    ScriviLog("AggiornamentoFormati Eseguito il comando = %s \n", comando);
    DeleteFileA(fileTestLink);
    ScriviLog("AggiornamentoFormati dopo la rimozione = %s \n", fileTestLink);
}

void AggiornamentoServizio(SocketRete s)
{
    static const char titolo[] = "Servizio di attivazione applicativi QOR";
    const InfoAmbiente *ambiente = &TabellaInfoInstallazione.ambienti[0];
    char marcatore[DIM_PATH];
    char radiceLocale[DIM_PATH];
    char nuovo[DIM_PATH];
    char comando[DIM_RIGA_COMANDO];
    uint8_t avviso[LUNG_AVVISO_SERVIZIO];
    PROCESS_INFORMATION processo;

    FormattaTesto(marcatore, sizeof marcatore, "%c:\\%s\\prg\\aincorso.tst", ambiente->drive[0], ambiente->sistInfo);
    if (EsisteFile(marcatore))
        return;
    RadiceLocaleAmbiente(ambiente, radiceLocale, sizeof radiceLocale);
    FormattaTesto(nuovo, sizeof nuovo, "%s\\prg\\com\\drumal\\bin\\%s", radiceLocale, "tarnel.new");
    if (!EsisteFile(nuovo))
        return;
    if (send((SOCKET)s, (const char *)avviso, AvvisoAggiornamentoServizio(avviso), 0) == SOCKET_ERROR) {
        ScriviLogErrore("send");
        ScriviLog("Impossibile notificare al Client Grafico la necessita' di aggiornare il servizio di attivazione "
                  "applicativi QOR \n");
    }
    FormattaTesto(comando, sizeof comando, "%s\\prg\\com\\drumal\\bin\\%s %s %s", radiceLocale, "updqorservice.exe",
                  "tarnel.exe", "tarnel.new");
    if (!AvviaProgramma(comando, &processo)) {
        ScriviLogErrore("CreateProcess");
        ScriviLog("Impossibile attivare la procedura di aggiornamento del %s: \"%s\"\n", titolo, comando);
    } else {
        CloseHandle(processo.hProcess);
        CloseHandle(processo.hThread);
        ScriviLog("Attivata la procedura di aggiornamento del %s: \"%s\"\n", titolo, comando);
    }
    ExitThread(0);
}
