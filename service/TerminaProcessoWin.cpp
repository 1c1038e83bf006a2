/* service/TerminaProcessoWin.cpp - termina, o conta, ogni processo della macchina con un dato nome
 * d'eseguibile. */
#include "service/service.h"

#include "service/ServiceWin.h"

#include <string.h>
#include <tlhelp32.h>

void TerminaProcesso(const char *nomeEseguibile)
{
    HANDLE istantanea = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 voce;
    BOOL altra = FALSE;

    if (istantanea == INVALID_HANDLE_VALUE)
        return;
    ZeroMemory(&voce, sizeof voce);
    voce.dwSize = sizeof voce;
    for (altra = Process32First(istantanea, &voce); altra; altra = Process32Next(istantanea, &voce)) {
        HANDLE processo = NULL;
        if (_stricmp(voce.szExeFile, nomeEseguibile) != 0)
            continue;
        ScriviLog("Termina il processo: \"%s\"\n", voce.szExeFile);
        /* Un processo che l'account del servizio non puo' aprire si salta senza dire altro. */
        processo = OpenProcess(PROCESS_TERMINATE, FALSE, voce.th32ProcessID);
        if (processo == NULL || processo == INVALID_HANDLE_VALUE)
            continue;
        if (!TerminateProcess(processo, 0))
            ScriviLogErrore("TerminateProcess");
        CloseHandle(processo);
    }
    CloseHandle(istantanea);
}

int ContaProcessi(const char *nomeEseguibile)
{
    HANDLE istantanea = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 voce;
    BOOL altra = FALSE;
    int quanti = 0;

    if (istantanea == INVALID_HANDLE_VALUE)
        return 0;
    ZeroMemory(&voce, sizeof voce);
    voce.dwSize = sizeof voce;
    for (altra = Process32First(istantanea, &voce); altra; altra = Process32Next(istantanea, &voce))
        quanti += _stricmp(voce.szExeFile, nomeEseguibile) == 0;
    CloseHandle(istantanea);
    return quanti;
}
