/* launch/AttivazioneClientWin.cpp - il thread di una connessione accettata: negozia la richiesta,
 * poi risponde con la versione o avvia il runtime con un duplicato ereditabile del socket, e chiude
 * la propria copia del socket. Il runtime eredita solo il suo duplicato. */
#include "launch/launch.h"

#include "base/base.h"

#include <string.h>

#include <winsock2.h>
#include <windows.h>

/* Tempo massimo di ogni ricezione dal client; 0 toglie il limite. */
static void AttesaRicezione(SocketRete s, DWORD millisecondi)
{
    if (setsockopt((SOCKET)s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&millisecondi, sizeof millisecondi) ==
        SOCKET_ERROR)
        ScriviLogErrore("AttivazioneClient - setsockopt SO_RCVTIMEO");
}

/* Avvia il runtime ereditando il solo duplicato del socket (lista esplicita degli handle). */
static int AvviaRuntime(char *comando, char *blocco, HANDLE duplicato, const char *cartella)
{
    STARTUPINFOEXA avvio;
    PROCESS_INFORMATION processo;
    SIZE_T dimLista = 0;
    uint64_t areaLista[32]; /* allineata per la lista degli attributi */
    int avviato = 0;

    memset(&avvio, 0, sizeof avvio);
    memset(&processo, 0, sizeof processo);
    avvio.StartupInfo.cb = sizeof avvio;
    InitializeProcThreadAttributeList(NULL, 1, 0, &dimLista);
    if (dimLista > sizeof areaLista) {
        ScriviLog("AttivazioneClient - lista degli attributi di %lu byte oltre l'area\n", (unsigned long)dimLista);
        return 0;
    }
    avvio.lpAttributeList = (LPPROC_THREAD_ATTRIBUTE_LIST)areaLista;
    if (!InitializeProcThreadAttributeList(avvio.lpAttributeList, 1, 0, &dimLista)) {
        ScriviLogErrore("InitializeProcThreadAttributeList");
        return 0;
    }
    if (!UpdateProcThreadAttribute(avvio.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &duplicato,
                                   sizeof duplicato, NULL, NULL)) {
        ScriviLogErrore("UpdateProcThreadAttribute");
    } else if (!CreateProcessA(NULL, comando, NULL, NULL, TRUE, EXTENDED_STARTUPINFO_PRESENT, blocco, cartella,
                               &avvio.StartupInfo, &processo)) {
        ScriviLogErrore("CreateProcess: \"%s\"", comando);
    } else {
        CloseHandle(processo.hProcess);
        CloseHandle(processo.hThread);
        avviato = 1;
    }
    DeleteProcThreadAttributeList(avvio.lpAttributeList);
    return avviato;
}

/* Avvio del runtime: duplicato ereditabile del socket, blocco d'ambiente, riga di comando.
 * 0 solo se il socket non si duplica. */
static unsigned long AttivaApplicativo(SocketRete s, const RichiestaClient *richiesta)
{
    char marcatore[DIM_PATH];
    char cartella[DIM_PATH];
    char comando[DIM_RIGA_COMANDO];
    char blocco[DIM_BLOCCO_ENVIRONMENT];
    HANDLE duplicato = NULL;
    int cobolVisual = 0;

    if (!DuplicateHandle(GetCurrentProcess(), (HANDLE)s, GetCurrentProcess(), &duplicato, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        ScriviLogErrore("DuplicateHandle");
        return 0;
    }
    FormattaTesto(marcatore, sizeof marcatore, "%s\\prg\\etc\\cobol_vc.cfg", richiesta->dirAmbiente);
    if (EsisteFile(marcatore)) {
        cobolVisual = 1;
        ScriviLog("Il COBOL installato e' il Visual COBOL\n");
    }
    PreparaEnvironment(blocco, sizeof blocco, richiesta, (uint32_t)(uintptr_t)duplicato, cobolVisual);
    FormattaTesto(comando, sizeof comando, "%s\\prg\\com\\drumal\\bin\\%s kelvat32", richiesta->dirAmbiente,
                  ESEGUIBILI_RUNTIME[richiesta->inChiaro ? 1 : 0][cobolVisual]);
    ScriviLog("Attivazione applicativo comando = %s \n", comando);
    /* La cartella corrente del runtime e' la cartella prg del suo ambiente, data esplicitamente. */
    FormattaTesto(cartella, sizeof cartella, "%s\\prg", richiesta->dirAmbiente);
    AvviaRuntime(comando, blocco, duplicato, cartella);
    CloseHandle(duplicato);
    return 1;
}

unsigned long __stdcall AttivazioneClient(void *socketAccettato)
{
    SocketRete s = (SocketRete)socketAccettato;
    RichiestaClient richiesta;
    unsigned long risultato = 1;
    int esito = 0;

    InizializzaRichiesta(&richiesta);
    AttesaRicezione(s, ATTESA_RICEZIONE_CLIENT_MS);
    esito = NegoziazioneRichiesta(s, &richiesta);
    /* Aggiornamento del servizio avviato: il thread finisce e la connessione resta aperta. */
    if (esito == NEGOZIAZIONE_FINE_THREAD)
        return 0;
    if (esito != NEGOZIAZIONE_RIUSCITA) {
        ScriviLog("Impossibile abilitare l'esecuzione del Client (comunicazione con il client interrotta)\n");
        closesocket((SOCKET)s);
        return 0;
    }
    if (richiesta.richiestaVersione) {
        send((SOCKET)s, versioneServizio, (int)strlen(versioneServizio), 0);
    } else {
        /* Il runtime eredita il socket senza il limite di attesa della negoziazione. */
        AttesaRicezione(s, 0);
        risultato = AttivaApplicativo(s, &richiesta);
    }
    closesocket((SOCKET)s);
    return risultato;
}
