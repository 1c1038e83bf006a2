/* setup/ServiziWin.cpp - i servizi da cui dipende la condivisione dei file: presenza, stato, avvio
 * con attesa. Ogni routine apre il gestore dei servizi locale e chiude cio' che ha aperto su ogni via. */
#include "setup/setup.h"

#include "base/base.h"
#include "setup/Servizi.h"

#include <windows.h>

/* Attivo in ogni stato tranne fermo e in arresto. */
static int StatoAttivo(DWORD stato)
{
    return stato != SERVICE_STOPPED && stato != SERVICE_STOP_PENDING;
}

static int LeggiStato(SC_HANDLE servizio, SERVICE_STATUS_PROCESS *stato)
{
    DWORD necessari = 0;

    return QueryServiceStatusEx(servizio, SC_STATUS_PROCESS_INFO, (BYTE *)stato, sizeof *stato, &necessari) != 0;
}

/* Apre il gestore dei servizi locale e il servizio, con tutti gli accessi; un'apertura fallita va nel
 * log con il nome della routine. 1 se aperti entrambi; in ogni caso il chiamante chiude con
 * ChiudiServizio. */
static int ApriServizio(const char *routine, const char *nomeServizio, SC_HANDLE *gestore, SC_HANDLE *servizio)
{
    *servizio = NULL;
    *gestore = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (*gestore == NULL) {
        ScriviLogErrore("%s - OpenSCManager", routine);
        return 0;
    }
    *servizio = OpenServiceA(*gestore, nomeServizio, SERVICE_ALL_ACCESS);
    if (*servizio == NULL) {
        ScriviLogErrore("%s - OpenService failed", routine);
        return 0;
    }
    return 1;
}

static void ChiudiServizio(SC_HANDLE gestore, SC_HANDLE servizio)
{
    if (servizio != NULL)
        CloseServiceHandle(servizio);
    if (gestore != NULL)
        CloseServiceHandle(gestore);
}

int TestDipendenze(void)
{
    ScriviLog("TestDipendenze  Entro \n");
    if (!VerificaServizioDipendente("LanmanWorkstation")) {
        ScriviLog("TestDipendenze LanmanWorkstation FALLITA\n");
        return 0;
    }
    if (!VerificaServizioDipendente("LanmanServer")) {
        ScriviLog("TestDipendenze LanmanServer FALLITA\n");
        return 0;
    }
    return 1;
}

int VerificaServizioDipendente(const char *nomeServizio)
{
    ScriviLog("VerificaServizioDipendente -%s- Entro \n", nomeServizio);
    if (!IsServizioPresente(nomeServizio)) {
        ScriviLog("VerificaServizioDipendente - Il servizio %s NON e' presente.\n", nomeServizio);
        return 0;
    }
    if (IsServizioAttivo(nomeServizio)) {
        ScriviLog("VerificaServizioDipendente - Il servizio %s e' ATTIVO.\n", nomeServizio);
        return 1;
    }
    if (AvviaServizio(nomeServizio)) {
        ScriviLog("VerificaServizioDipendente - Il servizio %s e' STATO AVVIATO.\n", nomeServizio);
        return 1;
    }
    ScriviLog("VerificaServizioDipendente - Il servizio %s NON e' STATO AVVIATO.\n", nomeServizio);
    return 0;
}

int IsServizioPresente(const char *nomeServizio)
{
    SC_HANDLE gestore = NULL;
    SC_HANDLE servizio = NULL;
    int presente = 0;

    ScriviLog("IsServizioPresente - Entro - sNomeServizio %s \n", nomeServizio);
    if (!ApriServizio("IsServizioPresente", nomeServizio, &gestore, &servizio))
        goto fine;
    ScriviLog("IsServizioPresente - Trovato il servizio %s \n", nomeServizio);
    presente = 1;
fine:
    ChiudiServizio(gestore, servizio);
    return presente;
}

int IsServizioAttivo(const char *nomeServizio)
{
    SC_HANDLE gestore = NULL;
    SC_HANDLE servizio = NULL;
    SERVICE_STATUS_PROCESS stato;
    int attivo = 0;

    ScriviLog("IsServizioAttivo - Entro sNomeServizio %s \n", nomeServizio);
    if (!ApriServizio("IsServizioAttivo", nomeServizio, &gestore, &servizio))
        goto fine;
    if (!LeggiStato(servizio, &stato)) {
        ScriviLogErrore("IsServizioAttivo - QueryServiceStatusEx failed");
        goto fine;
    }
    if (StatoAttivo(stato.dwCurrentState)) {
        ScriviLog("IsServizioAttivo - Il servizio %s e' attivo \n", nomeServizio);
        attivo = 1;
    } else {
        ScriviLog("IsServizioAttivo - Il servizio %s NON e' attivo \n", nomeServizio);
    }
fine:
    ChiudiServizio(gestore, servizio);
    return attivo;
}

/* Dopo StartService: attende finche' il servizio e' in avvio e il suo check point avanza. 1 se le
 * interrogazioni sono riuscite (lo stato finale e' in *stato). */
static int AttendiAvvio(SC_HANDLE servizio, const char *nomeServizio, SERVICE_STATUS_PROCESS *stato)
{
    AttesaAvvio attesa;

    if (!LeggiStato(servizio, stato)) {
        ScriviLogErrore("AvviaServizio - %s - QueryServiceStatusEx failed", nomeServizio);
        return 0;
    }
    IniziaAttesaAvvio(&attesa, stato->dwCheckPoint, GetTickCount());
    while (stato->dwCurrentState == SERVICE_START_PENDING) {
        Sleep(IntervalloAttesaAvvio(stato->dwWaitHint));
        if (!LeggiStato(servizio, stato)) {
            ScriviLogErrore("AvviaServizio - %s - QueryServiceStatusEx failed", nomeServizio);
            return 0;
        }
        if (!ProseguiAttesaAvvio(&attesa, stato->dwCheckPoint, stato->dwWaitHint, GetTickCount()))
            break;
    }
    return 1;
}

int AvviaServizio(const char *nomeServizio)
{
    SC_HANDLE gestore = NULL;
    SC_HANDLE servizio = NULL;
    SERVICE_STATUS_PROCESS stato;
    int avviato = 0;

    ScriviLog("AvviaServizio - Entro sNomeServizio %s \n", nomeServizio);
    if (!ApriServizio("AvviaServizio", nomeServizio, &gestore, &servizio))
        goto fine;
    if (!LeggiStato(servizio, &stato)) {
        ScriviLogErrore("AvviaServizio - QueryServiceStatusEx failed");
        goto fine;
    }
    if (StatoAttivo(stato.dwCurrentState)) {
        ScriviLog("AvviaServizio - Il servizio %s e' GIA' attivo \n", nomeServizio);
        avviato = 1;
        goto fine;
    }
    if (!StartServiceA(servizio, 0, NULL)) {
        ScriviLogErrore("AvviaServizio - %s - StartService failed  ", nomeServizio);
        goto fine;
    }
    if (!AttendiAvvio(servizio, nomeServizio, &stato))
        goto fine;
    if (stato.dwCurrentState == SERVICE_RUNNING) {
        ScriviLog("AvviaServizio - %s - Servizio avviato correttamente \n", nomeServizio);
        avviato = 1;
    } else {
        ScriviLog("AvviaServizio - %s - FALLITO \n", nomeServizio);
    }
fine:
    ChiudiServizio(gestore, servizio);
    return avviato;
}
