/* launch/PassiLancioWin.cpp - i passi di sistema veri di una richiesta: file, avvio dei programmi
 * con la loro cartella corrente esplicita, il blocco dell'aggiornamento dei formati. */
#include "launch/launch.h"

#include "base/base.h"

#include <stdio.h>
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

static int ScriviFile(const char *path, const char *dati, int lung)
{
    FILE *file = fopen(path, "wb");
    if (file == NULL)
        return 0;
    fwrite(dati, 1, (size_t)lung, file);
    fclose(file);
    return 1;
}

static void RimuoviFile(const char *path)
{
    DeleteFileA(path);
}

/* Senza handle ereditati, con l'ambiente del servizio; la riga di comando va in un'area scrivibile. */
static int AvviaProgramma(const char *comando, const char *cartella, int attendi)
{
    char rigaComando[DIM_RIGA_COMANDO];
    STARTUPINFOA avvio;
    PROCESS_INFORMATION processo;
    size_t lung = strlen(comando);

    if (lung >= sizeof rigaComando)
        lung = sizeof rigaComando - 1;
    memcpy(rigaComando, comando, lung);
    rigaComando[lung] = '\0';
    memset(&avvio, 0, sizeof avvio);
    avvio.cb = sizeof avvio;
    memset(&processo, 0, sizeof processo);
    if (!CreateProcessA(NULL, rigaComando, NULL, NULL, FALSE, 0, NULL, cartella, &avvio, &processo))
        return 0;
    if (attendi)
        WaitForSingleObject(processo.hProcess, INFINITE);
    CloseHandle(processo.hProcess);
    CloseHandle(processo.hThread);
    return 1;
}

PassiLancio passiLancio = {EsisteFile, EsisteCartella, ScriviFile, RimuoviFile, AvviaProgramma, BloccaFormati,
                           SbloccaFormati};
