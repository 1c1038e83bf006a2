/* tests/setup/ServiziProvaWin.cpp - aiuti delle prove dell'installazione. */
#include "tests/setup/ServiziProvaWin.h"

#include "tests/finti/ProvaWin.h"

static SC_HANDLE ApriGestore()
{
    return OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
}

DWORD StatoServizio(const std::string &nome)
{
    SC_HANDLE gestore = ApriGestore();
    SC_HANDLE servizio = gestore ? OpenServiceA(gestore, nome.c_str(), SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS_PROCESS stato;
    DWORD necessari = 0;
    DWORD risultato = 0;
    if (servizio && QueryServiceStatusEx(servizio, SC_STATUS_PROCESS_INFO, (BYTE *)&stato, sizeof stato, &necessari))
        risultato = stato.dwCurrentState;
    if (servizio)
        CloseServiceHandle(servizio);
    if (gestore)
        CloseServiceHandle(gestore);
    return risultato;
}

DWORD AttendiStatoServizio(const std::string &nome, DWORD atteso, DWORD attesaMs)
{
    DWORD inizio = GetTickCount();
    DWORD stato = StatoServizio(nome);
    while (stato != atteso && GetTickCount() - inizio < attesaMs) {
        Sleep(50);
        stato = StatoServizio(nome);
    }
    return stato;
}

void EliminaServizio(const std::string &nome)
{
    SC_HANDLE gestore = ApriGestore();
    if (gestore == NULL)
        return;
    SC_HANDLE servizio = OpenServiceA(gestore, nome.c_str(), SERVICE_ALL_ACCESS);
    if (servizio != NULL) {
        SERVICE_STATUS stato;
        if (StatoServizio(nome) != SERVICE_STOPPED) {
            ControlService(servizio, SERVICE_CONTROL_STOP, &stato);
            AttendiStatoServizio(nome, SERVICE_STOPPED, 10000);
        }
        DeleteService(servizio);
        CloseServiceHandle(servizio);
        // Il nome resta occupato finche' il servizio non e' fermo e chiuso da tutti.
        for (int i = 0; i < 100; i++) {
            SC_HANDLE ancora = OpenServiceA(gestore, nome.c_str(), SERVICE_QUERY_STATUS);
            if (ancora == NULL)
                break;
            CloseServiceHandle(ancora);
            Sleep(100);
        }
    }
    CloseServiceHandle(gestore);
}

bool RegistraFinto(const std::string &nome, const std::string &modo, DWORD tipoAvvio)
{
    EliminaServizio(nome);
    SC_HANDLE gestore = ApriGestore();
    if (gestore == NULL)
        return false;
    std::string riga = "\"" + CartellaEseguibile() + "servizio_finto.exe\" " + modo;
    SC_HANDLE servizio = CreateServiceA(gestore, nome.c_str(), nome.c_str(), SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, tipoAvvio, SERVICE_ERROR_NORMAL, riga.c_str(), NULL,
                                        NULL, NULL, NULL, NULL);
    bool ok = servizio != NULL;
    if (servizio)
        CloseServiceHandle(servizio);
    CloseServiceHandle(gestore);
    return ok;
}

bool AvviaEAttendi(const std::string &nome)
{
    SC_HANDLE gestore = ApriGestore();
    SC_HANDLE servizio = gestore ? OpenServiceA(gestore, nome.c_str(), SERVICE_START) : NULL;
    bool avviato = servizio && StartServiceA(servizio, 0, NULL);
    if (servizio)
        CloseServiceHandle(servizio);
    if (gestore)
        CloseServiceHandle(gestore);
    return avviato && AttendiStatoServizio(nome, SERVICE_RUNNING, 10000) == SERVICE_RUNNING;
}

size_t FineLogProva()
{
    return LeggiFile(CartellaEseguibile() + "tarnel.log").size();
}

std::string LogProvaDa(size_t inizio)
{
    std::string contenuto = LeggiFile(CartellaEseguibile() + "tarnel.log");
    return inizio < contenuto.size() ? contenuto.substr(inizio) : std::string();
}
