/* tests/setup/FirewallWinTest.cpp - regola del firewall. La ricerca della regola del servizio, le
 * proprieta' della regola nuova e la lettura di un'applicazione autorizzata su oggetti finti; poi
 * le routine vere contro il firewall di Wine, che risponde E_NOTIMPL a piu' metodi e non conserva
 * le regole aggiunte: ogni routine deve registrare il passo fallito e lasciare l'appartamento COM
 * del thread com'era, sia in un thread gia' nell'appartamento multithread sia in uno senza. */
#include "tests/finti/ProvaWin.h"  // winsock2.h prima di windows.h

#include "setup/setup.h"

#include "setup/FirewallWin.h"
#include "tests/setup/RigheLogWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <netfw.h>
#include <oleauto.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

/* Base degli oggetti finti: IUnknown e IDispatch. Gli oggetti vivono nel test; il conteggio dei
 * riferimenti torna a 1 quando chi li ha presi li ha rilasciati tutti. */
template <class Interfaccia>
class FintoDispatch : public Interfaccia {
public:
    virtual ~FintoDispatch() {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **oggetto) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, __uuidof(Interfaccia))) {
            *oggetto = static_cast<Interfaccia *>(this);
            AddRef();
            return S_OK;
        }
        *oggetto = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++riferimenti; }
    ULONG STDMETHODCALLTYPE Release() override { return --riferimenti; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override
    {
        return E_NOTIMPL;
    }
    ULONG riferimenti = 1;
};

#define NON_FATTO(metodo, parametro) \
    HRESULT STDMETHODCALLTYPE metodo(parametro) override { return E_NOTIMPL; }

/* Una regola del firewall: il nome di servizio che rende, e le proprieta' che le vengono impostate. */
class FintaRegola : public FintoDispatch<INetFwRule> {
public:
    HRESULT esitoServizio = S_OK;
    bool servizioNullo = false;
    std::wstring servizio;
    // Impostate dalla routine: nome della proprieta' e valore, nell'ordine.
    std::vector<std::pair<std::string, std::wstring>> impostate;

    HRESULT STDMETHODCALLTYPE get_ServiceName(BSTR *valore) override
    {
        if (FAILED(esitoServizio))
            return esitoServizio;
        *valore = servizioNullo ? NULL : SysAllocString(servizio.c_str());
        return S_OK;
    }
    HRESULT Annota(const char *nome, const std::wstring &valore)
    {
        impostate.emplace_back(nome, valore);
        return S_OK;
    }
    static std::wstring Testo(BSTR b) { return b == NULL ? L"(NULL)" : std::wstring(b, SysStringLen(b)); }
    static std::wstring Numero(long n) { return std::to_wstring(n); }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR v) override { return Annota("Name", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_Description(BSTR v) override { return Annota("Description", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR v) override { return Annota("ApplicationName", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_ServiceName(BSTR v) override { return Annota("ServiceName", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_Protocol(LONG v) override { return Annota("Protocol", Numero(v)); }
    HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR v) override { return Annota("LocalPorts", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_RemotePorts(BSTR v) override { return Annota("RemotePorts", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_LocalAddresses(BSTR v) override { return Annota("LocalAddresses", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR v) override { return Annota("RemoteAddresses", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_IcmpTypesAndCodes(BSTR v) override { return Annota("IcmpTypesAndCodes", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_Direction(NET_FW_RULE_DIRECTION v) override { return Annota("Direction", Numero(v)); }
    HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT) override { return Annota("Interfaces", L""); }
    HRESULT STDMETHODCALLTYPE put_InterfaceTypes(BSTR v) override { return Annota("InterfaceTypes", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL v) override { return Annota("Enabled", Numero(v)); }
    HRESULT STDMETHODCALLTYPE put_Grouping(BSTR v) override { return Annota("Grouping", Testo(v)); }
    HRESULT STDMETHODCALLTYPE put_Profiles(LONG v) override { return Annota("Profiles", Numero(v)); }
    HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL v) override { return Annota("EdgeTraversal", Numero(v)); }
    HRESULT STDMETHODCALLTYPE put_Action(NET_FW_ACTION v) override { return Annota("Action", Numero(v)); }
    NON_FATTO(get_Name, BSTR *)
    NON_FATTO(get_Description, BSTR *)
    NON_FATTO(get_ApplicationName, BSTR *)
    NON_FATTO(get_Protocol, LONG *)
    NON_FATTO(get_LocalPorts, BSTR *)
    NON_FATTO(get_RemotePorts, BSTR *)
    NON_FATTO(get_LocalAddresses, BSTR *)
    NON_FATTO(get_RemoteAddresses, BSTR *)
    NON_FATTO(get_IcmpTypesAndCodes, BSTR *)
    NON_FATTO(get_Direction, NET_FW_RULE_DIRECTION *)
    NON_FATTO(get_Interfaces, VARIANT *)
    NON_FATTO(get_InterfaceTypes, BSTR *)
    NON_FATTO(get_Enabled, VARIANT_BOOL *)
    NON_FATTO(get_Grouping, BSTR *)
    NON_FATTO(get_Profiles, LONG *)
    NON_FATTO(get_EdgeTraversal, VARIANT_BOOL *)
    NON_FATTO(get_Action, NET_FW_ACTION *)
};

/* Un oggetto dell'elenco che non e' una regola. */
class FintoOggetto : public FintoDispatch<IDispatch> {};

/* Un elemento dell'elenco come lo consegna l'enumeratore. */
struct Elemento {
    enum Tipo { Regola, NonRegola, Numero } tipo;
    const wchar_t *servizio;  // NULL: la regola non ha nome di servizio
    HRESULT esitoLettura;     // esito della lettura del nome di servizio
};

/* L'enumeratore delle regole: consegna gli elementi uno alla volta, poi rende esitoFine. */
class FintoElenco : public IEnumVARIANT {
public:
    explicit FintoElenco(const std::vector<Elemento> &elementi, HRESULT fine) : esitoFine(fine)
    {
        for (const Elemento &e : elementi) {
            regole.emplace_back(new FintaRegola);
            regole.back()->servizio = e.servizio != NULL ? e.servizio : L"";
            regole.back()->servizioNullo = e.servizio == NULL;
            regole.back()->esitoServizio = e.esitoLettura;
            tipi.push_back(e.tipo);
        }
    }
    ~FintoElenco()
    {
        for (FintaRegola *r : regole)
            delete r;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **oggetto) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumVARIANT)) {
            *oggetto = static_cast<IEnumVARIANT *>(this);
            AddRef();
            return S_OK;
        }
        *oggetto = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++riferimenti; }
    ULONG STDMETHODCALLTYPE Release() override { return --riferimenti; }
    HRESULT STDMETHODCALLTYPE Next(ULONG quanti, VARIANT *elementi, ULONG *presi) override
    {
        if (quanti != 1 || elementi == NULL)
            return E_INVALIDARG;
        if (presi != NULL)
            *presi = 0;
        if (prossimo >= regole.size())
            return esitoFine;
        size_t i = prossimo++;
        if (tipi[i] == Elemento::Numero) {
            V_VT(elementi) = VT_BSTR;
            V_BSTR(elementi) = SysAllocString(L"non una regola");
        } else if (tipi[i] == Elemento::NonRegola) {
            altro.AddRef();
            V_VT(elementi) = VT_DISPATCH;
            V_DISPATCH(elementi) = &altro;
        } else {
            regole[i]->AddRef();
            V_VT(elementi) = VT_DISPATCH;
            V_DISPATCH(elementi) = regole[i];
        }
        if (presi != NULL)
            *presi = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT **) override { return E_NOTIMPL; }

    /* Tutti i riferimenti presi sono stati restituiti. */
    bool TuttoRilasciato() const
    {
        bool rilasciato = riferimenti == 1 && altro.riferimenti == 1;
        for (FintaRegola *r : regole)
            rilasciato = rilasciato && r->riferimenti == 1;
        return rilasciato;
    }

    ULONG riferimenti = 1;
    HRESULT esitoFine;
    size_t prossimo = 0;
    std::vector<FintaRegola *> regole;
    std::vector<Elemento::Tipo> tipi;
    FintoOggetto altro;
};

}  // namespace

static const char rigaTrovata[] = "VerificaAbiFirewallVista - Found rule in the Windows Firewall \n";

TEST(FirewallWin, RicercaDellaRegolaPerNomeDiServizioEsatto)
{
    const Elemento::Tipo R = Elemento::Regola;
    struct Caso {
        const char *nome;
        std::vector<Elemento> elementi;
        HRESULT esitoFine;
        int atteso;
        const char *rigaAttesa;  // oltre a "Found rule" quando trovata; NULL se nessuna
    } casi[] = {
        {"sola regola del servizio", {{R, L"tarnel", S_OK}}, S_FALSE, 1, NULL},
        {"stesso nome in maiuscolo", {{R, L"TARNEL", S_OK}}, S_FALSE, 0, NULL},
        {"maiuscola iniziale", {{R, L"Tarnel", S_OK}}, S_FALSE, 0, NULL},
        {"regola senza nome di servizio", {{R, NULL, S_OK}}, S_FALSE, 0, NULL},
        {"nome vuoto", {{R, L"", S_OK}}, S_FALSE, 0, NULL},
        {"nome piu' lungo", {{R, L"tarnel2", S_OK}}, S_FALSE, 0, NULL},
        {"nome piu' corto", {{R, L"tarne", S_OK}}, S_FALSE, 0, NULL},
        {"nome con spazio finale", {{R, L"tarnel ", S_OK}}, S_FALSE, 0, NULL},
        {"nessuna regola", {}, S_FALSE, 0, NULL},
        {"la nostra dopo altre", {{R, L"Dnscache", S_OK}, {R, NULL, S_OK}, {R, L"TARNEL", S_OK}, {R, L"tarnel", S_OK}},
         S_FALSE, 1, NULL},
        {"lettura del nome fallita: si va avanti", {{R, L"tarnel", E_ACCESSDENIED}, {R, L"tarnel", S_OK}}, S_FALSE, 1, NULL},
        {"trovata: l'elenco non si legge oltre", {{R, L"tarnel", S_OK}}, E_FAIL, 1, NULL},
        {"enumeratore che fallisce", {{R, L"altro", S_OK}}, E_FAIL, 0,
         "VerificaAbiFirewallVista - Next failed: 0x80004005\n"},
        {"elemento che non e' una regola: la ricerca finisce", {{Elemento::NonRegola, NULL, S_OK}, {R, L"tarnel", S_OK}},
         S_FALSE, 0, "VerificaAbiFirewallVista - QueryInterface for INetFwRule failed: 0x80004002\n"},
        {"elemento che non e' un oggetto", {{Elemento::Numero, NULL, S_OK}, {R, L"tarnel", S_OK}}, S_FALSE, 0,
         "VerificaAbiFirewallVista - VariantChangeType failed: 0x"},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.nome);
        FintoElenco elenco(caso.elementi, caso.esitoFine);
        size_t inizio = SegnaLog();
        EXPECT_EQ(caso.atteso, CercaRegolaServizio(&elenco));
        std::string righe = RigheLog(inizio);
        if (caso.atteso == 1)
            EXPECT_THAT(righe, HasSubstr(rigaTrovata));
        else
            EXPECT_THAT(righe, Not(HasSubstr("Found rule")));
        if (caso.rigaAttesa != NULL)
            EXPECT_THAT(righe, HasSubstr(caso.rigaAttesa));
        else
            EXPECT_THAT(righe, Not(HasSubstr("failed")));
        EXPECT_TRUE(elenco.TuttoRilasciato());
    }
}

TEST(FirewallWin, RegolaNuovaHaTutteLeProprietaDelServizio)
{
    TestiRegola testi = {NULL, NULL, NULL, NULL, NULL};
    ASSERT_TRUE(PreparaTestiRegola(&testi));
    FintaRegola regola;
    ImpostaProprietaRegola(&regola, &testi);
    LiberaTestiRegola(&testi);

    wchar_t pathAtteso[MAX_PATH] = L"";
    ASSERT_GT(GetModuleFileNameW(NULL, pathAtteso, MAX_PATH), 0u);
    // Direzione, porte, indirizzi e interfacce non si impostano: valgono quelli di una regola nuova.
    std::vector<std::pair<std::string, std::wstring>> attese = {
        {"Name", L"Servizio di attivazione Applicativi QOR (TCP-In)"},
        {"Description", L"Consente il traffico di rete verso il servizio di attivazione Applicativi QOR"},
        {"ApplicationName", pathAtteso},
        {"ServiceName", L"tarnel"},
        {"Protocol", L"6"},
        {"Grouping", L"Applicativi QOR"},
        {"Profiles", L"7"},
        {"Action", L"1"},
        {"Enabled", std::to_wstring(VARIANT_TRUE)},
    };
    EXPECT_EQ(attese, regola.impostate);
    EXPECT_EQ(1u, regola.riferimenti);
}

TEST(FirewallWin, PathEseguibileLargoTroncatoEntroLaDimensione)
{
    wchar_t pathIntero[MAX_PATH] = L"";
    ASSERT_GT(GetModuleFileNameW(NULL, pathIntero, MAX_PATH), 0u);
    wchar_t dest[MAX_PATH + 2];
    for (size_t dim : {size_t(MAX_PATH), size_t(12), size_t(1)}) {
        SCOPED_TRACE(dim);
        wmemset(dest, L'#', MAX_PATH + 2);
        PathEseguibileLargo(dest, dim);
        EXPECT_EQ(std::wstring(pathIntero).substr(0, dim - 1), std::wstring(dest));
        EXPECT_EQ(L'#', dest[dim]);  // niente oltre la dimensione data
    }
}

namespace {

class FintaApplicazione : public FintoDispatch<INetFwAuthorizedApplication> {
public:
    HRESULT esitoAbilitata = S_OK;
    VARIANT_BOOL abilitata = VARIANT_FALSE;
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL *valore) override
    {
        if (SUCCEEDED(esitoAbilitata))
            *valore = abilitata;
        return esitoAbilitata;
    }
    NON_FATTO(get_Name, BSTR *)
    NON_FATTO(put_Name, BSTR)
    NON_FATTO(get_ProcessImageFileName, BSTR *)
    NON_FATTO(put_ProcessImageFileName, BSTR)
    NON_FATTO(get_IpVersion, NET_FW_IP_VERSION *)
    NON_FATTO(put_IpVersion, NET_FW_IP_VERSION)
    NON_FATTO(get_Scope, NET_FW_SCOPE *)
    NON_FATTO(put_Scope, NET_FW_SCOPE)
    NON_FATTO(get_RemoteAddresses, BSTR *)
    NON_FATTO(put_RemoteAddresses, BSTR)
    NON_FATTO(put_Enabled, VARIANT_BOOL)
};

/* Le applicazioni autorizzate: ne contengono una sola, con il suo percorso. */
class FinteApplicazioni : public FintoDispatch<INetFwAuthorizedApplications> {
public:
    std::wstring pathElencato;
    FintaApplicazione applicazione;
    HRESULT STDMETHODCALLTYPE Item(BSTR path, INetFwAuthorizedApplication **trovata) override
    {
        *trovata = NULL;
        if (path == NULL || pathElencato != path)
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        applicazione.AddRef();
        *trovata = &applicazione;
        return S_OK;
    }
    NON_FATTO(get_Count, LONG *)
    NON_FATTO(Add, INetFwAuthorizedApplication *)
    NON_FATTO(Remove, BSTR)
    NON_FATTO(get__NewEnum, IUnknown **)
};

class FintoProfilo : public FintoDispatch<INetFwProfile> {
public:
    HRESULT esitoApplicazioni = S_OK;
    FinteApplicazioni applicazioni;
    HRESULT STDMETHODCALLTYPE get_AuthorizedApplications(INetFwAuthorizedApplications **elenco) override
    {
        *elenco = NULL;
        if (FAILED(esitoApplicazioni))
            return esitoApplicazioni;
        applicazioni.AddRef();
        *elenco = &applicazioni;
        return S_OK;
    }
    NON_FATTO(get_Type, NET_FW_PROFILE_TYPE *)
    NON_FATTO(get_FirewallEnabled, VARIANT_BOOL *)
    NON_FATTO(put_FirewallEnabled, VARIANT_BOOL)
    NON_FATTO(get_ExceptionsNotAllowed, VARIANT_BOOL *)
    NON_FATTO(put_ExceptionsNotAllowed, VARIANT_BOOL)
    NON_FATTO(get_NotificationsDisabled, VARIANT_BOOL *)
    NON_FATTO(put_NotificationsDisabled, VARIANT_BOOL)
    NON_FATTO(get_UnicastResponsesToMulticastBroadcastDisabled, VARIANT_BOOL *)
    NON_FATTO(put_UnicastResponsesToMulticastBroadcastDisabled, VARIANT_BOOL)
    NON_FATTO(get_RemoteAdminSettings, INetFwRemoteAdminSettings **)
    NON_FATTO(get_IcmpSettings, INetFwIcmpSettings **)
    NON_FATTO(get_GloballyOpenPorts, INetFwOpenPorts **)
    NON_FATTO(get_Services, INetFwServices **)
};

}  // namespace

TEST(FirewallWin, ApplicazioneAutorizzataAbilitataSoloSeElencataEAbilitata)
{
    static const wchar_t path[] = L"C:\\QOR\\tarnel.exe";
    struct Caso {
        const char *nome;
        HRESULT esitoApplicazioni;
        const wchar_t *pathElencato;
        HRESULT esitoAbilitata;
        VARIANT_BOOL abilitata;
        HRESULT hrAtteso;
        BOOL abilitataAttesa;
    } casi[] = {
        {"elencata e abilitata", S_OK, path, S_OK, VARIANT_TRUE, S_OK, TRUE},
        {"elencata con un vero diverso da -1", S_OK, path, S_OK, 1, S_OK, TRUE},
        {"elencata e disabilitata", S_OK, path, S_OK, VARIANT_FALSE, S_OK, FALSE},
        {"non elencata", S_OK, L"C:\\QOR\\altro.exe", S_OK, VARIANT_TRUE, S_OK, FALSE},
        {"elencata in maiuscolo: per l'elenco e' un altro percorso", S_OK, L"C:\\QOR\\TARNEL.EXE", S_OK, VARIANT_TRUE,
         S_OK, FALSE},
        {"lettura dello stato fallita", S_OK, path, E_FAIL, VARIANT_TRUE, E_FAIL, FALSE},
        {"applicazioni autorizzate illeggibili", E_ACCESSDENIED, path, S_OK, VARIANT_TRUE, E_ACCESSDENIED, FALSE},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.nome);
        FintoProfilo profilo;
        profilo.esitoApplicazioni = caso.esitoApplicazioni;
        profilo.applicazioni.pathElencato = caso.pathElencato;
        profilo.applicazioni.applicazione.esitoAbilitata = caso.esitoAbilitata;
        profilo.applicazioni.applicazione.abilitata = caso.abilitata;
        BOOL abilitata = 7;  // qualunque valore precedente viene sovrascritto
        EXPECT_EQ(caso.hrAtteso, IsApplicazioneAbilitata(&profilo, path, &abilitata));
        EXPECT_EQ(caso.abilitataAttesa, abilitata);
        EXPECT_EQ(1u, profilo.riferimenti);
        EXPECT_EQ(1u, profilo.applicazioni.riferimenti);
        EXPECT_EQ(1u, profilo.applicazioni.applicazione.riferimenti);
    }
}

/* ---- Le routine vere contro il firewall di Wine, in un thread proprio. ---- */

namespace {

struct EsitoThread {
    bool entraNelMultithread;  // il thread entra nell'appartamento multithread prima delle routine
    int (*routine)(void);
    int risultato;
    HRESULT appartamentoDopo;  // CoInitializeEx ripetuta dopo la routine, come l'ha lasciato
};

DWORD WINAPI ThreadFirewall(void *parametro)
{
    EsitoThread *esito = static_cast<EsitoThread *>(parametro);
    HRESULT prima = S_OK;
    if (esito->entraNelMultithread)
        prima = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    esito->risultato = esito->routine();
    // Se la routine ha chiuso un appartamento non suo, o ne ha lasciato aperto uno suo, qui si vede:
    // nel multithread la stessa richiesta rende S_FALSE (gia' dentro), senza appartamento S_OK.
    esito->appartamentoDopo =
        CoInitializeEx(NULL, esito->entraNelMultithread ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(esito->appartamentoDopo))
        CoUninitialize();
    if (esito->entraNelMultithread && SUCCEEDED(prima))
        CoUninitialize();
    return 0;
}

int VerificaXp(void) { return VerificaAbilitazioneFirewall() == TRUE ? 1 : 0; }

}  // namespace

/* Esegue la routine in un thread nuovo; rende le righe di log che ha scritto. */
static std::string EseguiInThread(EsitoThread *esito)
{
    size_t inizio = SegnaLog();
    HANDLE thread = CreateThread(NULL, 0, ThreadFirewall, esito, 0, NULL);
    if (thread == NULL)
        return "(thread non creato)";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
    CloseHandle(thread);
    return RigheLog(inizio);
}

class FirewallWine : public ::testing::TestWithParam<bool> {};

TEST_P(FirewallWine, RoutineDellaRegolaRegistranoIlPassoFallito)
{
    bool multithread = GetParam();
    HRESULT appartamentoAtteso = multithread ? S_FALSE : S_OK;

    // Wine conta le regole (nessuna) ma non da' l'enumeratore: non trovata.
    EsitoThread verifica = {multithread, VerificaAbiFirewallVista, -1, E_FAIL};
    std::string righe = EseguiInThread(&verifica);
    EXPECT_EQ(0, verifica.risultato);
    EXPECT_EQ(appartamentoAtteso, verifica.appartamentoDopo);
    EXPECT_EQ("VerificaAbiFirewallVista - The number of rules in the Windows Firewall are 0\n"
              "VerificaAbiFirewallVista - get__NewEnum failed: 0x80004001\n",
              righe);

    // Wine non sa dire i profili correnti: la regola non si aggiunge, e la routine rende 1 lo stesso.
    EsitoThread aggiunta = {multithread, AbiFirewallVista, -1, E_FAIL};
    righe = EseguiInThread(&aggiunta);
    EXPECT_EQ(1, aggiunta.risultato);
    EXPECT_EQ(appartamentoAtteso, aggiunta.appartamentoDopo);
    EXPECT_EQ("AbiFirewallVista - get_CurrentProfileTypes failed: 0x80004001\n", righe);
}

TEST_P(FirewallWine, RoutineDelleApplicazioniAutorizzate)
{
    bool multithread = GetParam();
    HRESULT appartamentoAtteso = multithread ? S_FALSE : S_OK;
    // Wine non dice il tipo del profilo; ogni percorso risulta elencato ma disabilitato, e le
    // aggiunte riescono senza restare.
    static const char rigaProfilo[] = "WindowsFirewallInitialize - is NET_FW_PROFILE_TYPE_MAX \n";

    EsitoThread verifica = {multithread, VerificaXp, -1, E_FAIL};
    EXPECT_EQ(rigaProfilo, EseguiInThread(&verifica));
    EXPECT_EQ(0, verifica.risultato);
    EXPECT_EQ(appartamentoAtteso, verifica.appartamentoDopo);

    EsitoThread aggiunta = {multithread, AbiFirewallXP, -1, E_FAIL};
    EXPECT_EQ(rigaProfilo, EseguiInThread(&aggiunta));
    EXPECT_EQ(1, aggiunta.risultato);
    EXPECT_EQ(appartamentoAtteso, aggiunta.appartamentoDopo);
}

INSTANTIATE_TEST_SUITE_P(Appartamento, FirewallWine, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &parametro) {
                             return parametro.param ? std::string("GiaNelMultithread") : std::string("SenzaAppartamento");
                         });

/* Una classe del firewall che non si puo' creare: la sua registrazione punta a una DLL che non c'e'.
 * La registrazione di prima torna al suo posto alla fine della prova. */
class ClasseFirewallGuasta : public ::testing::Test {
protected:
    void Guasta(const char *clsid)
    {
        chiave = std::string("Software\\Classes\\CLSID\\") + clsid + "\\InprocServer32";
        HKEY aperta = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, chiave.c_str(), 0, KEY_ALL_ACCESS, &aperta));
        char valore[MAX_PATH] = "";
        DWORD lung = sizeof valore;
        LONG letto = RegQueryValueExA(aperta, NULL, NULL, NULL, reinterpret_cast<BYTE *>(valore), &lung);
        if (letto == ERROR_SUCCESS) {
            dllPrima.assign(valore, lung);
            static const char inesistente[] = "C:\\windows\\system32\\nonesiste.dll";
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(aperta, NULL, 0, REG_SZ, reinterpret_cast<const BYTE *>(inesistente),
                                                    sizeof inesistente));
        }
        RegCloseKey(aperta);
        ASSERT_EQ(ERROR_SUCCESS, letto);
    }
    void TearDown() override
    {
        HKEY aperta = NULL;
        if (dllPrima.empty() || RegOpenKeyExA(HKEY_LOCAL_MACHINE, chiave.c_str(), 0, KEY_ALL_ACCESS, &aperta) != 0)
            return;
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(aperta, NULL, 0, REG_SZ, reinterpret_cast<const BYTE *>(dllPrima.data()),
                                                (DWORD)dllPrima.size()));
        RegCloseKey(aperta);
    }
    std::string chiave, dllPrima;
};

TEST_F(ClasseFirewallGuasta, PolicySenzaOggettoRegistraAncheIlPassoDellaRoutine)
{
    Guasta("{E2B3C97F-6AE1-41AC-817A-F6F92166D7DD}");
    EsitoThread verifica = {true, VerificaAbiFirewallVista, -1, E_FAIL};
    std::string righe = EseguiInThread(&verifica);
    EXPECT_EQ(0, verifica.risultato);
    EXPECT_TRUE(CorrispondeTutto(righe, "WFCOMInitialize - CoCreateInstance for INetFwPolicy2 failed: 0x8[0-9a-f]{7}\n" +
                                            Letterale("VerificaAbiFirewallVista - WFCOMInitialize failed \n")))
        << righe;

    EsitoThread aggiunta = {true, AbiFirewallVista, -1, E_FAIL};
    righe = EseguiInThread(&aggiunta);
    EXPECT_EQ(1, aggiunta.risultato);
    EXPECT_TRUE(CorrispondeTutto(righe, "WFCOMInitialize - CoCreateInstance for INetFwPolicy2 failed: 0x8[0-9a-f]{7}\n" +
                                            Letterale("AbiFirewallVista - WFCOMInitialize failed\n")))
        << righe;
}

TEST_F(ClasseFirewallGuasta, GestoreSenzaOggettoNonAbilitaENonAggiunge)
{
    Guasta("{304CE942-6E39-40D8-943A-B913C40C9CD4}");
    EsitoThread verifica = {true, VerificaXp, -1, E_FAIL};
    EXPECT_EQ("", EseguiInThread(&verifica));
    EXPECT_EQ(0, verifica.risultato);
    EXPECT_EQ(S_FALSE, verifica.appartamentoDopo);

    EsitoThread aggiunta = {true, AbiFirewallXP, -1, E_FAIL};
    EXPECT_EQ("", EseguiInThread(&aggiunta));
    EXPECT_EQ(0, aggiunta.risultato);
    EXPECT_EQ(S_FALSE, aggiunta.appartamentoDopo);
}

/* Le routine che ricevono o rendono oggetti, chiamate direttamente nel thread del test. */
TEST(FirewallWin, InizializzazioniDiretteRendonoOggettiUsabili)
{
    HRESULT appartamento = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    ASSERT_TRUE(SUCCEEDED(appartamento));

    INetFwPolicy2 *policy = reinterpret_cast<INetFwPolicy2 *>(1);
    ASSERT_EQ(S_OK, WFCOMInitialize(&policy));
    ASSERT_NE(nullptr, policy);
    policy->Release();

    INetFwProfile *profilo = reinterpret_cast<INetFwProfile *>(1);
    ASSERT_EQ(S_OK, WindowsFirewallInitialize(&profilo));
    ASSERT_NE(nullptr, profilo);
    BOOL abilitata = TRUE;
    EXPECT_EQ(S_OK, IsApplicazioneAbilitata(profilo, L"C:\\QOR\\tarnel.exe", &abilitata));
    EXPECT_EQ(FALSE, abilitata);
    profilo->Release();
    CoUninitialize();
}

namespace {

struct CreazioniSenzaCom {
    HRESULT hrAppartamento;  // CO_E_NOTINITIALIZED se nessun thread del processo e' in COM
    HRESULT hrPolicy;
    INetFwPolicy2 *policy;
    HRESULT hrProfilo;
    INetFwProfile *profilo;
};

DWORD WINAPI ThreadSenzaCom(void *parametro)
{
    CreazioniSenzaCom *dati = static_cast<CreazioniSenzaCom *>(parametro);
    APTTYPE tipo;
    APTTYPEQUALIFIER qualificatore;
    dati->hrAppartamento = CoGetApartmentType(&tipo, &qualificatore);
    if (dati->hrAppartamento != CO_E_NOTINITIALIZED)
        return 0;
    dati->hrPolicy = WFCOMInitialize(&dati->policy);
    dati->hrProfilo = WindowsFirewallInitialize(&dati->profilo);
    return 0;
}

}  // namespace

/* In un thread che non e' entrato in COM (e nessun altro thread del processo lo e') la creazione
 * degli oggetti fallisce: l'errore torna al chiamante e i puntatori restano nulli. */
TEST(FirewallWin, SenzaComLeCreazioniFallisconoConIlLoroHresult)
{
    CreazioniSenzaCom dati = {S_OK, S_OK, reinterpret_cast<INetFwPolicy2 *>(1), S_OK, reinterpret_cast<INetFwProfile *>(1)};
    size_t inizio = SegnaLog();
    HANDLE thread = CreateThread(NULL, 0, ThreadSenzaCom, &dati, 0, NULL);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
    CloseHandle(thread);
    if (dati.hrAppartamento != CO_E_NOTINITIALIZED)
        GTEST_SKIP() << "un altro thread del processo tiene l'appartamento multithread";
    EXPECT_EQ(CO_E_NOTINITIALIZED, dati.hrPolicy);
    EXPECT_EQ(nullptr, dati.policy);
    EXPECT_EQ(CO_E_NOTINITIALIZED, dati.hrProfilo);
    EXPECT_EQ(nullptr, dati.profilo);
    EXPECT_EQ("WFCOMInitialize - CoCreateInstance for INetFwPolicy2 failed: 0x800401f0\n", RigheLog(inizio));
}
