/* tests/base/ScrittoreLog.cpp - scrive il log vero come gli dicono gli argomenti, uno per azione:
 *   r:TESTO         ScriviLog("%s", TESTO), con \n nel testo come a capo
 *   e:CODICE:TESTO  SetLastError(CODICE), poi ScriviLogErrore("%s", TESTO)
 *   t:THREAD:RECORD THREAD thread scrivono RECORD record ciascuno, tutti insieme
 *   n:NOME:RECORD   RECORD record "processo NOME record N", con una breve pausa dopo ognuno
 *   x:CARTELLA      rimuove la cartella
 *   p               scrive nel log il proprio pathFileLog()
 *   l:LIMITE        ruota il log oltre LIMITE byte, guardandone la dimensione a ogni record */
#include "base/base.h"

#include "base/Log.h"

#include <stdlib.h>
#include <string.h>

#include <windows.h>

static int recordPerThread = 0;
static HANDLE via = NULL;

static DWORD WINAPI Scrittore(LPVOID parametro)
{
    int numero = (int)(INT_PTR)parametro;
    WaitForSingleObject(via, INFINITE);
    for (int i = 0; i < recordPerThread; i++)
        ScriviLog("thread %02d record %04d %s\n", numero, i, "abcdefghijklmnopqrstuvwxyz0123456789");
    return 0;
}

static void ScriviInParallelo(int numThread, int numRecord)
{
    HANDLE thread[64];
    if (numThread > 64)
        numThread = 64;
    recordPerThread = numRecord;
    via = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (int i = 0; i < numThread; i++)
        thread[i] = CreateThread(NULL, 0, Scrittore, (LPVOID)(INT_PTR)i, 0, NULL);
    SetEvent(via);
    WaitForMultipleObjects(numThread, thread, TRUE, INFINITE);
    for (int i = 0; i < numThread; i++)
        CloseHandle(thread[i]);
    CloseHandle(via);
}

/* Sostituisce le sequenze \n del testo con un a capo vero. */
static void Ricomponi(char *testo)
{
    char *letto = testo;
    char *scritto = testo;
    while (*letto != '\0') {
        if (letto[0] == '\\' && letto[1] == 'n') {
            *scritto++ = '\n';
            letto += 2;
        } else {
            *scritto++ = *letto++;
        }
    }
    *scritto = '\0';
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        char *azione = argv[i];
        char *resto = azione[0] != '\0' && azione[1] == ':' ? azione + 2 : azione + 1;
        Ricomponi(resto);
        switch (azione[0]) {
        case 'r':
            ScriviLog("%s", resto);
            break;
        case 'e': {
            char *testo = strchr(resto, ':');
            DWORD codice = (DWORD)strtoul(resto, NULL, 0);
            SetLastError(codice);
            ScriviLogErrore("%s", testo != NULL ? testo + 1 : "");
            break;
        }
        case 't': {
            char *separatore = strchr(resto, ':');
            ScriviInParallelo(atoi(resto), separatore != NULL ? atoi(separatore + 1) : 1);
            break;
        }
        case 'n': {
            char *separatore = strchr(resto, ':');
            int numRecord = separatore != NULL ? atoi(separatore + 1) : 1;
            if (separatore != NULL)
                *separatore = '\0';
            for (int n = 0; n < numRecord; n++) {
                ScriviLog("processo %s record %04d %s\n", resto, n, "abcdefghijklmnopqrstuvwxyz0123456789");
                Sleep(1);
            }
            break;
        }
        case 'x':
            RemoveDirectoryA(resto);
            break;
        case 'p':
            ScriviLog("%s\n", pathFileLog());
            break;
        case 'l':
            RegolaRotazioneLog(strtoull(resto, NULL, 10), 0);
            break;
        default:
            return 2;
        }
    }
    return 0;
}
