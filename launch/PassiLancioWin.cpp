/* launch/PassiLancioWin.cpp - i passi di sistema veri di una richiesta: file, avvio dei programmi
 * con la loro cartella corrente esplicita, il blocco dell'aggiornamento dei formati. */
#include "launch/launch.h"

#include "base/base.h"

#include <string.h>

#include <windows.h>

/* Il blocco dell'aggiornamento dei formati, pronto alla prima chiamata (una sezione critica: c'e' su
 * ogni sistema servito). */
static CRITICAL_SECTION *BloccoFormati(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

static void BloccaFormati(void)
{
    EnterCriticalSection(BloccoFormati());
}

static void SbloccaFormati(void)
{
    LeaveCriticalSection(BloccoFormati());
}

/* Con CreateFile l'handle non e' ereditabile: un runtime avviato intanto da un altro thread non
 * riceve il file dei parametri di un'altra richiesta. 1 solo se tutti i byte sono stati scritti. */
static int ScriviFile(const char *path, const char *dati, int lung)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD scritti = 0;
    int riuscito = 0;

    if (file == INVALID_HANDLE_VALUE)
        return 0;
    riuscito = WriteFile(file, dati, (DWORD)lung, &scritti, NULL) && scritti == (DWORD)lung;
    CloseHandle(file);
    return riuscito;
}

static void RimuoviFile(const char *path)
{
    DeleteFileA(path);
}

/* Il processo avviato per ultimo con AVVIO_UNICO, finche' non se ne sa la fine; sotto il suo blocco. */
static HANDLE processoUnico = NULL;

static CRITICAL_SECTION *BloccoUnico(void)
{
    static CRITICAL_SECTION blocco;
    static const int pronto = (InitializeCriticalSection(&blocco), 1);
    (void)pronto;
    return &blocco;
}

/* Senza handle ereditati, con l'ambiente del servizio; la riga di comando va in un'area scrivibile. */
static int CreaProgramma(const char *programma, const char *comando, const char *cartella, PROCESS_INFORMATION *processo)
{
    char rigaComando[DIM_RIGA_COMANDO];
    STARTUPINFOA avvio;
    size_t lung = strlen(comando);

    if (lung >= sizeof rigaComando)
        lung = sizeof rigaComando - 1;
    memcpy(rigaComando, comando, lung);
    rigaComando[lung] = '\0';
    memset(&avvio, 0, sizeof avvio);
    avvio.cb = sizeof avvio;
    memset(processo, 0, sizeof *processo);
    if (!CreateProcessA(programma, rigaComando, NULL, NULL, FALSE, 0, NULL, cartella, &avvio, processo))
        return 0;
    CloseHandle(processo->hThread);
    return 1;
}

/* Al piu' un processo alla volta: il precedente va finito prima che ne parta un altro. */
static int AvviaUnico(const char *programma, const char *comando, const char *cartella)
{
    PROCESS_INFORMATION processo;
    int esito = 0;

    EnterCriticalSection(BloccoUnico());
    if (processoUnico != NULL && WaitForSingleObject(processoUnico, 0) == WAIT_TIMEOUT) {
        esito = AVVIO_GIA_IN_CORSO;
        goto fine;
    }
    if (processoUnico != NULL)
        CloseHandle(processoUnico);
    processoUnico = NULL;
    esito = CreaProgramma(programma, comando, cartella, &processo);
    if (esito)
        processoUnico = processo.hProcess;
fine:
    LeaveCriticalSection(BloccoUnico());
    return esito;
}

static int AvviaProgramma(const char *programma, const char *comando, const char *cartella, int modo)
{
    PROCESS_INFORMATION processo;

    if (modo == AVVIO_UNICO)
        return AvviaUnico(programma, comando, cartella);
    if (!CreaProgramma(programma, comando, cartella, &processo))
        return 0;
    if (modo == AVVIO_ATTESA_FINE)
        WaitForSingleObject(processo.hProcess, INFINITE);
    CloseHandle(processo.hProcess);
    return 1;
}

static uint32_t AdessoMs(void)
{
    return GetTickCount();
}

PassiLancio passiLancio = {EsisteFile, EsisteCartella, ScriviFile, RimuoviFile, AvviaProgramma, BloccaFormati,
                           SbloccaFormati, AdessoMs};
