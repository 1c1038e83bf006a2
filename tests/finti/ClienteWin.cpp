/* tests/finti/ClienteWin.cpp - il client Windows avviato come processo dalle prove. */
#include "tests/finti/ClienteWin.h"

#include "tests/finti/ProvaWin.h"

#include <vector>

static HANDLE FileEreditabile(const std::string &path)
{
    SECURITY_ATTRIBUTES attributi = {sizeof attributi, NULL, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &attributi, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

Cliente AvviaClienteGrafico(const std::string &pathLinuxClient, int porta, const std::string &cartellaUscite,
                            const std::string &argomenti)
{
    static int numero = 0;
    Cliente cliente;
    numero++;
    cliente.pathUscita = cartellaUscite + "\\uscita" + std::to_string(numero) + ".txt";
    cliente.pathErrore = cartellaUscite + "\\errore" + std::to_string(numero) + ".txt";
    HANDLE uscita = FileEreditabile(cliente.pathUscita);
    HANDLE errore = FileEreditabile(cliente.pathErrore);
    HANDLE ereditati[2] = {uscita, errore};
    SIZE_T dim = 0;
    InitializeProcThreadAttributeList(NULL, 1, 0, &dim);
    std::vector<char> lista(dim);
    STARTUPINFOEXA avvio = {};
    avvio.StartupInfo.cb = sizeof avvio;
    avvio.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    avvio.StartupInfo.hStdInput = INVALID_HANDLE_VALUE;
    avvio.StartupInfo.hStdOutput = uscita;
    avvio.StartupInfo.hStdError = errore;
    avvio.lpAttributeList = (LPPROC_THREAD_ATTRIBUTE_LIST)lista.data();
    std::string riga = "\"" + PathDaLinux(pathLinuxClient) + "\" --porta " + std::to_string(porta) + " " +
                       argomenti;
    if (uscita != INVALID_HANDLE_VALUE && errore != INVALID_HANDLE_VALUE &&
        InitializeProcThreadAttributeList(avvio.lpAttributeList, 1, 0, &dim) &&
        UpdateProcThreadAttribute(avvio.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, ereditati,
                                  sizeof ereditati, NULL, NULL)) {
        cliente.avviato = CreateProcessA(NULL, &riga[0], NULL, NULL, TRUE, EXTENDED_STARTUPINFO_PRESENT, NULL,
                                         cartellaUscite.c_str(), &avvio.StartupInfo, &cliente.processo) != 0;
        DeleteProcThreadAttributeList(avvio.lpAttributeList);
    }
    CloseHandle(uscita);
    CloseHandle(errore);
    return cliente;
}

EsitoCliente AttendiCliente(Cliente &cliente, DWORD attesaMs)
{
    EsitoCliente esito;
    if (!cliente.avviato)
        return esito;
    DWORD codice = (DWORD)-1;
    if (WaitForSingleObject(cliente.processo.hProcess, attesaMs) != WAIT_OBJECT_0)
        TerminateProcess(cliente.processo.hProcess, 99);
    else if (GetExitCodeProcess(cliente.processo.hProcess, &codice))
        esito.codice = (int)codice;
    CloseHandle(cliente.processo.hProcess);
    CloseHandle(cliente.processo.hThread);
    esito.uscita = LeggiFile(cliente.pathUscita);
    esito.errore = LeggiFile(cliente.pathErrore);
    return esito;
}
