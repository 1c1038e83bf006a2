/* setup/FirewallWin.cpp - la regola del servizio nel firewall dei sistemi di versione 6 e successive.
 * Gira solo nel processo della riga di comando, che e' gia' nell'appartamento multithread: la
 * richiesta di un appartamento a thread singolo vi e' rifiutata con RPC_E_CHANGED_MODE, che qui va
 * bene, e allora CoUninitialize non si chiama. Ogni passo fallito va nel log con il suo HRESULT. */
#include "setup/setup.h"

#include "base/base.h"
#include "setup/FirewallWin.h"

#include <stdlib.h>

#include <windows.h>
#include <netfw.h>
#include <oleauto.h>

static const wchar_t nomeServizioLargo[] = L"tarnel";
#define NOME_REGOLA_FIREWALL "Servizio di attivazione Applicativi QOR (TCP-In)"
static const wchar_t nomeRegola[] = L"" NOME_REGOLA_FIREWALL;
static const wchar_t descrizioneRegola[] =
    L"Consente il traffico di rete verso il servizio di attivazione Applicativi QOR";
static const wchar_t gruppoRegola[] = L"Applicativi QOR";

void PathEseguibileLargo(wchar_t *dest, size_t dim)
{
    char pathEseguibile[DIM_PATH];
    wchar_t largo[DIM_PATH];
    size_t i = 0;

    if (dim == 0)
        return;
    dest[0] = L'\0';
    ZeroMemory(pathEseguibile, sizeof pathEseguibile);
    if (GetModuleFileNameA(NULL, pathEseguibile, sizeof pathEseguibile) == 0) {
        ScriviLogErrore("PathEseguibileLargo - GetModuleFileName");
        return;
    }
    /* Un percorso troncato puo' restare senza terminatore. */
    pathEseguibile[sizeof pathEseguibile - 1] = '\0';
    /* Il percorso e' nella code page ANSI del sistema, non nel locale del C runtime. */
    if (MultiByteToWideChar(CP_ACP, 0, pathEseguibile, -1, largo, DIM_PATH) == 0) {
        ScriviLogErrore("PathEseguibileLargo - MultiByteToWideChar");
        return;
    }
    for (i = 0; i + 1 < dim && largo[i] != L'\0'; i++)
        dest[i] = largo[i];
    dest[i] = L'\0';
}

HRESULT WFCOMInitialize(INetFwPolicy2 **policy)
{
    HRESULT hr = CoCreateInstance(__uuidof(NetFwPolicy2), NULL, CLSCTX_INPROC_SERVER, __uuidof(INetFwPolicy2),
                                  (void **)policy);

    if (FAILED(hr)) {
        *policy = NULL;
        ScriviLog("WFCOMInitialize - CoCreateInstance for INetFwPolicy2 failed: 0x%08lx\n", (unsigned long)hr);
    }
    return hr;
}

typedef struct FunzioniOleAut {
    BSTR(WINAPI *allocaTesto)(const OLECHAR *);
    void(WINAPI *libera)(BSTR);
    UINT(WINAPI *lunghezza)(BSTR);
    HRESULT(WINAPI *svuota)(VARIANTARG *);
    HRESULT(WINAPI *cambiaTipo)(VARIANTARG *, const VARIANTARG *, USHORT, VARTYPE);
} FunzioniOleAut;

/* oleaut32 caricata una volta; NULL se non si carica (tentato una volta sola). */
static const FunzioniOleAut *OleAut(void)
{
    static const char *const nomi[] = {"SysAllocString", "SysFreeString", "SysStringLen", "VariantClear",
                                       "VariantChangeType"};
    static FunzioniOleAut funzioni;
    static int cercate = 0;
    FunzioneDiLibreria trovate[5];

    if (!cercate) {
        cercate = 1;
        if (CaricaFunzioni("oleaut32.dll", nomi, trovate, 5) != NULL) {
            funzioni.allocaTesto = (BSTR(WINAPI *)(const OLECHAR *))trovate[0];
            funzioni.libera = (void(WINAPI *)(BSTR))trovate[1];
            funzioni.lunghezza = (UINT(WINAPI *)(BSTR))trovate[2];
            funzioni.svuota = (HRESULT(WINAPI *)(VARIANTARG *))trovate[3];
            funzioni.cambiaTipo =
                (HRESULT(WINAPI *)(VARIANTARG *, const VARIANTARG *, USHORT, VARTYPE))trovate[4];
        }
    }
    return funzioni.allocaTesto != NULL ? &funzioni : NULL;
}

BSTR TestoOle(const OLECHAR *testo)
{
    const FunzioniOleAut *ole = OleAut();
    return ole != NULL ? ole->allocaTesto(testo) : NULL;
}

void LiberaTestoOle(BSTR testo)
{
    const FunzioniOleAut *ole = OleAut();
    if (ole != NULL)
        ole->libera(testo);
}

UINT LunghezzaTestoOle(BSTR testo)
{
    const FunzioniOleAut *ole = OleAut();
    return ole != NULL ? ole->lunghezza(testo) : 0;
}

void IniziaVarianteOle(VARIANTARG *variante)
{
    V_VT(variante) = VT_EMPTY;
}

HRESULT SvuotaVarianteOle(VARIANTARG *variante)
{
    const FunzioniOleAut *ole = OleAut();
    return ole != NULL ? ole->svuota(variante) : E_FAIL;
}

HRESULT CambiaTipoOle(VARIANTARG *dest, const VARIANTARG *origine, USHORT flag, VARTYPE tipo)
{
    const FunzioniOleAut *ole = OleAut();
    return ole != NULL ? ole->cambiaTipo(dest, origine, flag, tipo) : E_FAIL;
}

int CercaRegolaServizio(IEnumVARIANT *elenco)
{
    VARIANT elemento;
    INetFwRule *regola = NULL;
    BSTR nomeServizio = NULL;
    ULONG presi = 0;
    HRESULT hr = S_OK;
    int trovata = 0;

    IniziaVarianteOle(&elemento);
    while (!trovata) {
        SvuotaVarianteOle(&elemento);
        hr = elenco->Next(1, &elemento, &presi);
        if (hr == S_FALSE)
            break;
        if (FAILED(hr)) {
            ScriviLog("VerificaAbiFirewallVista - Next failed: 0x%08lx\n", (unsigned long)hr);
            break;
        }
        hr = CambiaTipoOle(&elemento, &elemento, 0, VT_DISPATCH);
        if (SUCCEEDED(hr) && V_DISPATCH(&elemento) == NULL)
            hr = E_POINTER;
        if (FAILED(hr)) {
            ScriviLog("VerificaAbiFirewallVista - VariantChangeType failed: 0x%08lx\n", (unsigned long)hr);
            break;
        }
        hr = V_DISPATCH(&elemento)->QueryInterface(__uuidof(INetFwRule), (void **)&regola);
        if (FAILED(hr)) {
            regola = NULL;
            ScriviLog("VerificaAbiFirewallVista - QueryInterface for INetFwRule failed: 0x%08lx\n",
                      (unsigned long)hr);
            break;
        }
        /* Conta solo il nome del servizio, confrontato per intero e con le maiuscole; una regola
         * senza nome di servizio non e' la nostra. */
        hr = regola->get_ServiceName(&nomeServizio);
        if (SUCCEEDED(hr) && nomeServizio != NULL && lstrcmpW(nomeServizio, nomeServizioLargo) == 0) {
            ScriviLog("VerificaAbiFirewallVista - Found rule in the Windows Firewall \n");
            trovata = 1;
        }
        LiberaTestoOle(nomeServizio);
        nomeServizio = NULL;
        regola->Release();
        regola = NULL;
    }
    SvuotaVarianteOle(&elemento);
    return trovata;
}

/* La policy ha gia' le sue regole: la ricerca di quella del servizio, dall'insieme delle regole. */
static int CercaNelleRegole(INetFwRules *regole)
{
    IUnknown *enumeratore = NULL;
    IEnumVARIANT *elenco = NULL;
    HRESULT hr = S_OK;
    int trovata = 0;

    hr = regole->get__NewEnum(&enumeratore);
    if (SUCCEEDED(hr) && enumeratore == NULL)
        hr = E_POINTER;
    if (FAILED(hr)) {
        enumeratore = NULL;
        ScriviLog("VerificaAbiFirewallVista - get__NewEnum failed: 0x%08lx\n", (unsigned long)hr);
        goto fine;
    }
    hr = enumeratore->QueryInterface(__uuidof(IEnumVARIANT), (void **)&elenco);
    if (FAILED(hr)) {
        elenco = NULL;
        ScriviLog("VerificaAbiFirewallVista - QueryInterface for IEnumVARIANT failed: 0x%08lx\n", (unsigned long)hr);
        goto fine;
    }
    trovata = CercaRegolaServizio(elenco);

fine:
    if (elenco != NULL)
        elenco->Release();
    if (enumeratore != NULL)
        enumeratore->Release();
    return trovata;
}

/* Il passo comune delle routine della regola: appartamento, policy e regole, ogni fallimento nel
 * log con il nome della routine (la riga di WFCOMInitialize e' data dal chiamante). 1 se si hanno
 * le regole; in ogni caso il chiamante chiude con ChiudiRegole. */
static int ApriRegole(const char *routine, const char *rigaWfcom, HRESULT *hrAppartamento, INetFwPolicy2 **policy,
                      INetFwRules **regole)
{
    HRESULT hr = S_OK;

    *policy = NULL;
    *regole = NULL;
    *hrAppartamento = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (FAILED(*hrAppartamento) && *hrAppartamento != RPC_E_CHANGED_MODE) {
        ScriviLog("%s - CoInitializeEx failed: 0x%08lx\n", routine, (unsigned long)*hrAppartamento);
        return 0;
    }
    hr = WFCOMInitialize(policy);
    if (FAILED(hr)) {
        *policy = NULL;
        ScriviLog("%s", rigaWfcom);
        return 0;
    }
    hr = (*policy)->get_Rules(regole);
    if (FAILED(hr)) {
        *regole = NULL;
        ScriviLog("%s - get_Rules failed: 0x%08lx\n", routine, (unsigned long)hr);
        return 0;
    }
    return 1;
}

static void ChiudiRegole(HRESULT hrAppartamento, INetFwPolicy2 *policy, INetFwRules *regole)
{
    if (regole != NULL)
        regole->Release();
    if (policy != NULL)
        policy->Release();
    if (SUCCEEDED(hrAppartamento))
        CoUninitialize();
}

int VerificaAbiFirewallVista(void)
{
    INetFwPolicy2 *policy = NULL;
    INetFwRules *regole = NULL;
    LONG numeroRegole = 0;
    HRESULT hrAppartamento = S_OK;
    HRESULT hr = S_OK;
    int trovata = 0;

    if (!ApriRegole("VerificaAbiFirewallVista", "VerificaAbiFirewallVista - WFCOMInitialize failed \n",
                    &hrAppartamento, &policy, &regole))
        goto fine;
    hr = regole->get_Count(&numeroRegole);
    if (FAILED(hr)) {
        ScriviLog("VerificaAbiFirewallVista - get_Count failed: 0x%08lx\n", (unsigned long)hr);
        goto fine;
    }
    ScriviLog("VerificaAbiFirewallVista - The number of rules in the Windows Firewall are %d\n", (int)numeroRegole);
    trovata = CercaNelleRegole(regole);

fine:
    ChiudiRegole(hrAppartamento, policy, regole);
    return trovata;
}

int PreparaTestiRegola(TestiRegola *testi)
{
    wchar_t pathLargo[DIM_PATH];

    PathEseguibileLargo(pathLargo, sizeof pathLargo / sizeof pathLargo[0]);
    testi->nome = TestoOle(nomeRegola);
    testi->descrizione = TestoOle(descrizioneRegola);
    testi->pathEseguibile = TestoOle(pathLargo);
    testi->nomeServizio = TestoOle(nomeServizioLargo);
    testi->gruppo = TestoOle(gruppoRegola);
    return testi->nome != NULL && testi->descrizione != NULL && testi->pathEseguibile != NULL &&
           testi->nomeServizio != NULL && testi->gruppo != NULL;
}

void LiberaTestiRegola(TestiRegola *testi)
{
    LiberaTestoOle(testi->gruppo);
    LiberaTestoOle(testi->nomeServizio);
    LiberaTestoOle(testi->pathEseguibile);
    LiberaTestoOle(testi->descrizione);
    LiberaTestoOle(testi->nome);
    ZeroMemory(testi, sizeof *testi);
}

void ImpostaProprietaRegola(INetFwRule *regola, const TestiRegola *testi)
{
    /* Direzione, porte, indirizzi e interfacce restano quelli di una regola nuova: in ingresso, tutti. */
    regola->put_Name(testi->nome);
    regola->put_Description(testi->descrizione);
    regola->put_ApplicationName(testi->pathEseguibile);
    regola->put_ServiceName(testi->nomeServizio);
    regola->put_Protocol(NET_FW_IP_PROTOCOL_TCP);
    regola->put_Grouping(testi->gruppo);
    /* I tre profili insieme, qualunque sia quello corrente. */
    regola->put_Profiles(NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PRIVATE | NET_FW_PROFILE2_PUBLIC);
    regola->put_Action(NET_FW_ACTION_ALLOW);
    regola->put_Enabled(VARIANT_TRUE);
}

/* Crea la regola del servizio e la aggiunge all'insieme. */
static void AggiungiRegola(INetFwRules *regole, const TestiRegola *testi)
{
    INetFwRule *regola = NULL;
    HRESULT hr = CoCreateInstance(__uuidof(NetFwRule), NULL, CLSCTX_INPROC_SERVER, __uuidof(INetFwRule),
                                  (void **)&regola);

    if (FAILED(hr)) {
        ScriviLog("AbiFirewallVista - CoCreateInstance for Firewall Rule failed: 0x%08lx\n", (unsigned long)hr);
        return;
    }
    ImpostaProprietaRegola(regola, testi);
    hr = regole->Add(regola);
    if (SUCCEEDED(hr))
        ScriviLog("AbiFirewallVista - Firewall Rule Add OK \n");
    else
        ScriviLog("AbiFirewallVista - Firewall Rule Add failed: 0x%08lx\n", (unsigned long)hr);
    regola->Release();
}

int AbiFirewallVista(void)
{
    TestiRegola testi = {NULL, NULL, NULL, NULL, NULL};
    INetFwPolicy2 *policy = NULL;
    INetFwRules *regole = NULL;
    LONG profiliCorrenti = 0;
    HRESULT hrAppartamento = E_FAIL;
    HRESULT hr = S_OK;

    if (!PreparaTestiRegola(&testi)) {
        ScriviLog("AbiFirewallVista - SysAllocString failed: 0x%08lx\n", (unsigned long)E_OUTOFMEMORY);
        goto fine;
    }
    if (!ApriRegole("AbiFirewallVista", "AbiFirewallVista - WFCOMInitialize failed\n", &hrAppartamento, &policy,
                    &regole))
        goto fine;
    /* Il valore letto non cambia la regola, che vale per tutti i profili. */
    hr = policy->get_CurrentProfileTypes(&profiliCorrenti);
    if (FAILED(hr)) {
        ScriviLog("AbiFirewallVista - get_CurrentProfileTypes failed: 0x%08lx\n", (unsigned long)hr);
        goto fine;
    }
    AggiungiRegola(regole, &testi);

fine:
    LiberaTestiRegola(&testi);
    ChiudiRegole(hrAppartamento, policy, regole);
    return 1;
}

/* Toglie la regola che l'installazione aggiunge, cercata per nome: una regola che non c'e' piu' non
 * e' un errore. Sempre 1: l'esito non cambia quello della rimozione del servizio. */
int RimuoviFirewallVista(void)
{
    INetFwPolicy2 *policy = NULL;
    INetFwRules *regole = NULL;
    INetFwRule *regola = NULL;
    BSTR nome = NULL;
    HRESULT hrAppartamento = E_FAIL;
    HRESULT hr = S_OK;

    if (!ApriRegole("RimuoviFirewallVista", "RimuoviFirewallVista - WFCOMInitialize failed\n", &hrAppartamento,
                    &policy, &regole))
        goto fine;
    nome = TestoOle(nomeRegola);
    if (nome == NULL) {
        ScriviLog("RimuoviFirewallVista - SysAllocString failed: 0x%08lx\n", (unsigned long)E_OUTOFMEMORY);
        goto fine;
    }
    hr = regole->Item(nome, &regola);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
        ScriviLog("RimuoviFirewallVista - nessuna regola \"%s\" da rimuovere\n", NOME_REGOLA_FIREWALL);
        goto fine;
    }
    if (SUCCEEDED(hr) && regola != NULL)
        regola->Release();
    /* Anche se la ricerca non riesce si prova a rimuovere: la regola puo' esserci comunque. */
    hr = regole->Remove(nome);
    if (SUCCEEDED(hr))
        ScriviLog("RimuoviFirewallVista - rimossa la regola \"%s\"\n", NOME_REGOLA_FIREWALL);
    else
        ScriviLog("RimuoviFirewallVista - Remove failed: 0x%08lx\n", (unsigned long)hr);
fine:
    LiberaTestoOle(nome);
    ChiudiRegole(hrAppartamento, policy, regole);
    return 1;
}
