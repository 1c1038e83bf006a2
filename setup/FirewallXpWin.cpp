/* setup/FirewallXpWin.cpp - l'eseguibile del servizio tra le applicazioni autorizzate del profilo
 * corrente, sui sistemi precedenti alla versione 6. Queste routine rendono solo il loro esito: la
 * sola riga di log e' quella del tipo di profilo. Come per la regola, RPC_E_CHANGED_MODE va bene e
 * allora CoUninitialize non si chiama. */
#include "setup/setup.h"

#include "base/base.h"
#include "setup/FirewallWin.h"

#include <windows.h>
#include <netfw.h>
#include <oleauto.h>

static const wchar_t nomeApplicazione[] = L"Servizio di attivazione applicativi QOR";

HRESULT WindowsFirewallInitialize(INetFwProfile **profilo)
{
    INetFwMgr *gestore = NULL;
    INetFwPolicy *policy = NULL;
    /* Se la lettura del tipo fallisce la variabile non viene toccata: tipo sconosciuto. */
    NET_FW_PROFILE_TYPE tipo = NET_FW_PROFILE_TYPE_MAX;
    HRESULT hr = S_OK;

    *profilo = NULL;
    hr = CoCreateInstance(__uuidof(NetFwMgr), NULL, CLSCTX_INPROC_SERVER, __uuidof(INetFwMgr), (void **)&gestore);
    if (FAILED(hr)) {
        gestore = NULL;
        goto fine;
    }
    hr = gestore->get_LocalPolicy(&policy);
    if (FAILED(hr)) {
        policy = NULL;
        goto fine;
    }
    hr = policy->get_CurrentProfile(profilo);
    if (FAILED(hr) || *profilo == NULL) {
        *profilo = NULL;
        if (SUCCEEDED(hr))
            hr = E_POINTER;
        goto fine;
    }
    (*profilo)->get_Type(&tipo);
    switch (tipo) {
    case NET_FW_PROFILE_DOMAIN:
        ScriviLog("WindowsFirewallInitialize - is NET_FW_PROFILE_DOMAIN \n");
        break;
    case NET_FW_PROFILE_STANDARD:
        ScriviLog("WindowsFirewallInitialize - is NET_FW_PROFILE_STANDARD \n");
        break;
    case NET_FW_PROFILE_CURRENT:
        ScriviLog("WindowsFirewallInitialize - is NET_FW_PROFILE_CURRENT \n");
        break;
    default:
        ScriviLog("WindowsFirewallInitialize - is NET_FW_PROFILE_TYPE_MAX \n");
        break;
    }

fine:
    if (policy != NULL)
        policy->Release();
    if (gestore != NULL)
        gestore->Release();
    return hr;
}

/* Le applicazioni autorizzate del profilo; *applicazioni e' NULL se il passo fallisce. */
static HRESULT ApplicazioniAutorizzate(INetFwProfile *profilo, INetFwAuthorizedApplications **applicazioni)
{
    HRESULT hr = profilo->get_AuthorizedApplications(applicazioni);

    if (FAILED(hr) || *applicazioni == NULL) {
        *applicazioni = NULL;
        return SUCCEEDED(hr) ? E_POINTER : hr;
    }
    return hr;
}

HRESULT IsApplicazioneAbilitata(INetFwProfile *profilo, const wchar_t *pathEseguibile, BOOL *abilitata)
{
    INetFwAuthorizedApplications *applicazioni = NULL;
    INetFwAuthorizedApplication *applicazione = NULL;
    BSTR path = NULL;
    VARIANT_BOOL statoAbilitata = VARIANT_FALSE;
    HRESULT hr = S_OK;

    *abilitata = FALSE;
    hr = ApplicazioniAutorizzate(profilo, &applicazioni);
    if (FAILED(hr))
        goto fine;
    path = TestoOle(pathEseguibile);
    if (path == NULL) {
        hr = E_OUTOFMEMORY;
        goto fine;
    }
    /* Un'applicazione che non c'e' non e' un errore: semplicemente non e' abilitata. */
    if (FAILED(applicazioni->Item(path, &applicazione)) || applicazione == NULL) {
        applicazione = NULL;
        hr = S_OK;
        goto fine;
    }
    hr = applicazione->get_Enabled(&statoAbilitata);
    if (SUCCEEDED(hr) && statoAbilitata != VARIANT_FALSE)
        *abilitata = TRUE;

fine:
    if (applicazione != NULL)
        applicazione->Release();
    LiberaTestoOle(path);
    if (applicazioni != NULL)
        applicazioni->Release();
    return hr;
}

/* Il passo comune delle due routine: profilo corrente, percorso dell'eseguibile e se vi e' gia'
 * un'applicazione autorizzata abilitata. L'HRESULT del primo passo che fallisce. */
static HRESULT StatoNelProfilo(INetFwProfile **profilo, wchar_t *pathLargo, size_t dim, BOOL *abilitata)
{
    HRESULT hr = WindowsFirewallInitialize(profilo);

    *abilitata = FALSE;
    if (FAILED(hr))
        return hr;
    PathEseguibileLargo(pathLargo, dim);
    return IsApplicazioneAbilitata(*profilo, pathLargo, abilitata);
}

/* L'appartamento delle due routine: riuscito anche quando il thread ne ha gia' un altro. */
static int ApriAppartamento(HRESULT *hrAppartamento)
{
    *hrAppartamento = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    return SUCCEEDED(*hrAppartamento) || *hrAppartamento == RPC_E_CHANGED_MODE;
}

static void ChiudiAppartamento(INetFwProfile *profilo, HRESULT hrAppartamento)
{
    if (profilo != NULL)
        profilo->Release();
    if (SUCCEEDED(hrAppartamento))
        CoUninitialize();
}

int VerificaAbilitazioneFirewall(void)
{
    INetFwProfile *profilo = NULL;
    wchar_t pathLargo[DIM_PATH];
    BOOL abilitata = FALSE;
    HRESULT hrAppartamento = S_OK;
    HRESULT hr = S_OK;

    if (!ApriAppartamento(&hrAppartamento))
        return FALSE;
    hr = StatoNelProfilo(&profilo, pathLargo, sizeof pathLargo / sizeof pathLargo[0], &abilitata);
    ChiudiAppartamento(profilo, hrAppartamento);
    return SUCCEEDED(hr) ? abilitata : FALSE;
}

/* Una nuova applicazione autorizzata con il percorso e il nome del servizio, aggiunta al profilo.
 * Il primo passo che fallisce ferma la sequenza e ne rende l'HRESULT. */
static HRESULT AggiungiApplicazione(INetFwProfile *profilo, const wchar_t *pathEseguibile)
{
    INetFwAuthorizedApplications *applicazioni = NULL;
    INetFwAuthorizedApplication *applicazione = NULL;
    BSTR testo = NULL;
    HRESULT hr = S_OK;

    hr = ApplicazioniAutorizzate(profilo, &applicazioni);
    if (FAILED(hr))
        goto fine;
    hr = CoCreateInstance(__uuidof(NetFwAuthorizedApplication), NULL, CLSCTX_INPROC_SERVER,
                          __uuidof(INetFwAuthorizedApplication), (void **)&applicazione);
    if (FAILED(hr)) {
        applicazione = NULL;
        goto fine;
    }
    testo = TestoOle(pathEseguibile);
    if (testo == NULL) {
        hr = E_OUTOFMEMORY;
        goto fine;
    }
    hr = applicazione->put_ProcessImageFileName(testo);
    LiberaTestoOle(testo);
    testo = NULL;
    if (FAILED(hr))
        goto fine;
    testo = TestoOle(nomeApplicazione);
    if (testo == NULL || LunghezzaTestoOle(testo) == 0) {
        hr = E_OUTOFMEMORY;
        goto fine;
    }
    hr = applicazione->put_Name(testo);
    if (FAILED(hr))
        goto fine;
    hr = applicazioni->Add(applicazione);

fine:
    LiberaTestoOle(testo);
    if (applicazione != NULL)
        applicazione->Release();
    if (applicazioni != NULL)
        applicazioni->Release();
    return hr;
}

int AbiFirewallXP(void)
{
    INetFwProfile *profilo = NULL;
    wchar_t pathLargo[DIM_PATH];
    BOOL abilitata = FALSE;
    HRESULT hrAppartamento = S_OK;
    HRESULT hr = S_OK;

    if (!ApriAppartamento(&hrAppartamento))
        return 0;
    hr = StatoNelProfilo(&profilo, pathLargo, sizeof pathLargo / sizeof pathLargo[0], &abilitata);
    if (SUCCEEDED(hr) && !abilitata)
        hr = AggiungiApplicazione(profilo, pathLargo);
    ChiudiAppartamento(profilo, hrAppartamento);
    return SUCCEEDED(hr) ? 1 : 0;
}

/* Toglie dal profilo l'applicazione autorizzata dell'eseguibile; una che non c'e' piu' non e' un
 * errore. Sempre 1: l'esito non cambia quello della rimozione del servizio. */
int RimuoviFirewallXP(void)
{
    INetFwProfile *profilo = NULL;
    INetFwAuthorizedApplications *applicazioni = NULL;
    INetFwAuthorizedApplication *applicazione = NULL;
    wchar_t pathLargo[DIM_PATH];
    char pathStretto[DIM_PATH * 2];
    BSTR path = NULL;
    HRESULT hrAppartamento = S_OK;
    HRESULT hr = S_OK;

    if (!ApriAppartamento(&hrAppartamento))
        return 1;
    hr = WindowsFirewallInitialize(&profilo);
    if (SUCCEEDED(hr))
        hr = ApplicazioniAutorizzate(profilo, &applicazioni);
    if (FAILED(hr)) {
        ScriviLog("RimuoviFirewallXP - applicazioni autorizzate non disponibili: 0x%08lx\n", (unsigned long)hr);
        goto fine;
    }
    PathEseguibileLargo(pathLargo, sizeof pathLargo / sizeof pathLargo[0]);
    path = TestoOle(pathLargo);
    if (path == NULL)
        goto fine;
    if (FAILED(applicazioni->Item(path, &applicazione)) || applicazione == NULL) {
        applicazione = NULL;
        ScriviLog("RimuoviFirewallXP - nessuna applicazione autorizzata da rimuovere\n");
        goto fine;
    }
    hr = applicazioni->Remove(path);
    if (SUCCEEDED(hr) && WideCharToMultiByte(CP_ACP, 0, pathLargo, -1, pathStretto, sizeof pathStretto, NULL, NULL))
        ScriviLog("RimuoviFirewallXP - rimossa l'applicazione autorizzata \"%s\"\n", pathStretto);
    else if (SUCCEEDED(hr))
        ScriviLog("RimuoviFirewallXP - rimossa l'applicazione autorizzata\n");
    else
        ScriviLog("RimuoviFirewallXP - Remove failed: 0x%08lx\n", (unsigned long)hr);
fine:
    if (applicazione != NULL)
        applicazione->Release();
    LiberaTestoOle(path);
    if (applicazioni != NULL)
        applicazioni->Release();
    ChiudiAppartamento(profilo, hrAppartamento);
    return 1;
}
