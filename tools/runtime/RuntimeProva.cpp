/* tools/runtime/RuntimeProva.cpp - programma di prova installato nelle cartelle di test al posto
 * del runtime applicativo (trimox3.exe, trimox3_vc.exe, trimox4.exe, trimox4_vc.exe), dello
 * strumento di aggiornamento formati (kvix32a.exe) e dell'aggiornatore del servizio
 * (updqorservice.exe). Il comportamento dipende dal nome del proprio file.
 *
 * Rapporto: ogni avvio scrive, accanto al proprio eseguibile, il file <nome>.<pid>.txt (nome del
 * file senza cartella, in minuscolo, per esempio trimox3.exe.1234.txt), in binario:
 *   "comando=" riga di comando (GetCommandLineA) "\n"
 *   "cartella=" cartella corrente "\n"
 *   "ereditati=" gli handle ereditati che possono essere socket, in decimale separati da spazi "\n"
 *   (cercarli costa migliaia di chiamate al sistema: se accanto all'eseguibile c'e' il file
 *   senza_ereditati.txt, come nelle misure di carico, la riga e' "ereditati=non cercati\n")
 *   "ambiente=\n" e poi il blocco d'ambiente esattamente come GetEnvironmentStringsA lo rende,
 *   con tutte le variabili terminate da zero e lo zero finale del blocco.
 * Il rapporto e' completo prima di qualunque dialogo con il client.
 *
 * trimox*: legge il numero di handle da socketComm e, con WriteFile/ReadFile sull'handle (su un
 * socket ereditato send e recv non sono affidabili), scrive la riga "RUNTIME <nome> <pid>\n";
 * poi rimanda indietro ogni byte che riceve, finche' il client chiude. Un thread di guardia chiude
 * il processo dopo RUNTIME_ATTESA_MS millisecondi (default 30000). Esce con 0, con 2 se socketComm
 * manca o l'handle non si usa.
 * kvix32a: scrive il rapporto, attende KVIX32A_ATTESA_MS millisecondi (default 0) ed esce con 0.
 * updqorservice: lo stesso con UPDQORSERVICE_ATTESA_MS. Ogni altro nome: scrive il rapporto ed esce
 * con 0. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

/* Nome del file dell'eseguibile, in minuscolo, senza cartella. */
static void NomeProprio(char *nome, size_t dim, char *cartella, size_t dimCartella)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, sizeof path);
    char *barra = strrchr(path, '\\');
    const char *base = barra != NULL ? barra + 1 : path;
    snprintf(nome, dim, "%s", base);
    for (char *c = nome; *c != '\0'; c++)
        if (*c >= 'A' && *c <= 'Z')
            *c = (char)(*c - 'A' + 'a');
    if (barra != NULL)
        *barra = '\0';
    snprintf(cartella, dimCartella, "%s", barra != NULL ? path : ".");
}

/* Lunghezza del blocco d'ambiente, compreso lo zero finale. */
static size_t LunghezzaBlocco(const char *blocco)
{
    size_t i = 0;
    while (blocco[i] != '\0')
        i += strlen(blocco + i) + 1;
    return i + 1;
}

/* Gli handle ereditati che possono essere socket: ereditabili, di tipo pipe (lo sono i socket, su
 * Windows come sotto Wine, dove getsockopt su un socket ereditato non risponde), diversi dagli
 * handle standard. Letti prima di aprire qualunque file. */
static void HandleEreditati(char *testo, size_t dim)
{
    size_t lung = 0;
    testo[0] = '\0';
    for (uintptr_t valore = 4; valore < 0x4000 && lung + 24 < dim; valore += 4) {
        HANDLE h = (HANDLE)valore;
        DWORD flag = 0;
        if (!GetHandleInformation(h, &flag) || !(flag & HANDLE_FLAG_INHERIT) || GetFileType(h) != FILE_TYPE_PIPE ||
            h == GetStdHandle(STD_INPUT_HANDLE) || h == GetStdHandle(STD_OUTPUT_HANDLE) ||
            h == GetStdHandle(STD_ERROR_HANDLE))
            continue;
        lung += (size_t)snprintf(testo + lung, dim - lung, "%s%lu", lung > 0 ? " " : "", (unsigned long)valore);
    }
}

/* 1 se gli handle ereditati vanno cercati: sempre, tranne quando il file senza_ereditati.txt sta
 * nella cartella dell'eseguibile. */
static int CercaEreditati(const char *cartella)
{
    char path[MAX_PATH + 32];
    snprintf(path, sizeof path, "%s\\senza_ereditati.txt", cartella);
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

static int ScriviRapporto(const char *cartella, const char *nome)
{
    char path[MAX_PATH + 64];
    char corrente[MAX_PATH] = "";
    char ereditati[1024] = "non cercati";
    if (CercaEreditati(cartella))
        HandleEreditati(ereditati, sizeof ereditati);
    snprintf(path, sizeof path, "%s\\%s.%lu.txt", cartella, nome, (unsigned long)GetCurrentProcessId());
    GetCurrentDirectoryA(sizeof corrente, corrente);
    FILE *f = fopen(path, "wb");
    if (f == NULL)
        return 0;
    fprintf(f, "comando=%s\n", GetCommandLineA());
    fprintf(f, "cartella=%s\n", corrente);
    fprintf(f, "ereditati=%s\n", ereditati);
    fprintf(f, "ambiente=\n");
    char *blocco = GetEnvironmentStringsA();
    if (blocco != NULL) {
        fwrite(blocco, 1, LunghezzaBlocco(blocco), f);
        FreeEnvironmentStringsA(blocco);
    }
    fclose(f);
    return 1;
}

static DWORD NumeroDaAmbiente(const char *variabile, DWORD predefinito)
{
    char valore[32];
    DWORD n = GetEnvironmentVariableA(variabile, valore, sizeof valore);
    if (n == 0 || n >= sizeof valore)
        return predefinito;
    return (DWORD)strtoul(valore, NULL, 10);
}

static DWORD WINAPI Guardia(LPVOID attesa)
{
    Sleep((DWORD)(uintptr_t)attesa);
    ExitProcess(3);
    return 0;
}

/* Il dialogo del runtime: saluto, poi eco finche' il client chiude. */
static int Dialogo(const char *nome)
{
    char valore[32];
    DWORD n = GetEnvironmentVariableA("socketComm", valore, sizeof valore);
    if (n == 0 || n >= sizeof valore)
        return 2;
    HANDLE socketComm = (HANDLE)(uintptr_t)strtoull(valore, NULL, 10);
    DWORD attesa = NumeroDaAmbiente("RUNTIME_ATTESA_MS", 30000);
    HANDLE guardia = CreateThread(NULL, 0, Guardia, (LPVOID)(uintptr_t)attesa, 0, NULL);
    if (guardia != NULL)
        CloseHandle(guardia);

    char saluto[128];
    DWORD scritti = 0;
    int lung = snprintf(saluto, sizeof saluto, "RUNTIME %s %lu\n", nome, (unsigned long)GetCurrentProcessId());
    if (!WriteFile(socketComm, saluto, (DWORD)lung, &scritti, NULL))
        return 2;
    char area[512];
    DWORD letti = 0;
    while (ReadFile(socketComm, area, sizeof area, &letti, NULL) && letti > 0) {
        if (!WriteFile(socketComm, area, letti, &scritti, NULL))
            break;
    }
    return 0;
}

int main(void)
{
    char nome[MAX_PATH];
    char cartella[MAX_PATH];
    NomeProprio(nome, sizeof nome, cartella, sizeof cartella);
    ScriviRapporto(cartella, nome);
    if (strncmp(nome, "trimox", 6) == 0)
        return Dialogo(nome);
    if (strncmp(nome, "kvix32a", 7) == 0)
        Sleep(NumeroDaAmbiente("KVIX32A_ATTESA_MS", 0));
    if (strncmp(nome, "updqorservice", 13) == 0)
        Sleep(NumeroDaAmbiente("UPDQORSERVICE_ATTESA_MS", 0));
    return 0;
}
