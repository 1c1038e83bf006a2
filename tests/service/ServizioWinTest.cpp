/* tests/service/ServizioWinTest.cpp - tarnel.exe vero: risorse dell'eseguibile e servizio registrato,
 * avviato, interrogato, fermato ed eliminato attraverso il gestore dei servizi di Wine.
 * L'ambiente di prova e' C:\GEST1 con l'eseguibile in prg\com\drumal\bin. */
#include "tests/finti/ClienteWin.h"
#include "tests/finti/ProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using ::testing::HasSubstr;
using ::testing::Not;

static const std::string radiceAmbiente = "C:\\GEST1";
static const std::string cartellaBin = radiceAmbiente + "\\prg\\com\\drumal\\bin";
static const char nomeServizioProva[] = "tarnel";

/* L'eseguibile che gira come servizio nelle prove, della stessa build dei test. */
static std::string PathTarnel()
{
    return PathDaLinux(PATH_TARNEL_EXE);
}

/* Il prodotto a 32 bit, di cui si esaminano risorse e intestazione. */
static std::string PathProdotto()
{
    return PathDaLinux(PATH_PRODOTTO_EXE);
}

TEST(Eseguibile, VersioneEDescrizioneDallaRisorsa)
{
    std::string path = PathProdotto();
    DWORD zero = 0;
    DWORD dimensione = GetFileVersionInfoSizeA(path.c_str(), &zero);
    ASSERT_GT(dimensione, 0u) << GetLastError();
    std::vector<char> blocco(dimensione);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, dimensione, blocco.data()));
    VS_FIXEDFILEINFO *info = NULL;
    UINT lung = 0;
    ASSERT_TRUE(VerQueryValueA(blocco.data(), "\\", (void **)&info, &lung));
    ASSERT_GT(lung, 0u);
    EXPECT_EQ((DWORD)((VERSIONE_MAGGIORE << 16) | VERSIONE_MINORE), info->dwFileVersionMS);
    EXPECT_EQ((DWORD)((VERSIONE_PATCH << 16) | VERSIONE_RITOCCO), info->dwFileVersionLS);
    for (const char *chiave : {"ProductName", "FileDescription"}) {
        char *valore = NULL;
        ASSERT_TRUE(VerQueryValueA(blocco.data(), (std::string("\\StringFileInfo\\041004B0\\") + chiave).c_str(),
                                   (void **)&valore, &lung));
        EXPECT_STREQ("Servizio di attivazione applicativi QOR", valore);
    }
    char *nome = NULL;
    ASSERT_TRUE(VerQueryValueA(blocco.data(), "\\StringFileInfo\\041004B0\\OriginalFilename", (void **)&nome, &lung));
    EXPECT_STREQ("tarnel.exe", nome);
}

TEST(Eseguibile, ManifestoAsInvokerEIntestazioneA32BitLargeAddressAware)
{
    std::string contenuto = LeggiFile(PathProdotto());
    ASSERT_GT(contenuto.size(), 0x200u);
    uint32_t offsetPe = *(const uint32_t *)&contenuto[0x3c];
    ASSERT_EQ(0, contenuto.compare(offsetPe, 4, std::string("PE\0\0", 4)));
    const IMAGE_FILE_HEADER *intestazione = (const IMAGE_FILE_HEADER *)&contenuto[offsetPe + 4];
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, intestazione->Machine);
    EXPECT_TRUE(intestazione->Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
    const IMAGE_OPTIONAL_HEADER32 *opzionale = (const IMAGE_OPTIONAL_HEADER32 *)(intestazione + 1);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_CUI, opzionale->Subsystem);

    HMODULE modulo = LoadLibraryExA(PathProdotto().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, modulo);
    HRSRC risorsa = FindResourceA(modulo, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, risorsa);
    std::string manifesto((const char *)LockResource(LoadResource(modulo, risorsa)), SizeofResource(modulo, risorsa));
    FreeLibrary(modulo);
    EXPECT_THAT(manifesto, HasSubstr("requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""));
}

/* Il servizio installato nell'ambiente di prova, creato all'inizio e cancellato alla fine di ogni prova. */
class Servizio : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA dati;
        ASSERT_EQ(0, WSAStartup(0x0101, &dati));
        gestore = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, gestore);
        // Una registrazione rimasta da una prova interrotta si toglie prima di ricrearla.
        servizio = OpenServiceA(gestore, nomeServizioProva, SERVICE_ALL_ACCESS);
        if (servizio != NULL) {
            SERVICE_STATUS stato;
            ControlService(servizio, SERVICE_CONTROL_STOP, &stato);
            AttendiStato(SERVICE_STOPPED);
            DeleteService(servizio);
            CloseServiceHandle(servizio);
            servizio = NULL;
        }
        RimuoviAlbero(radiceAmbiente);
        CreaCartelle(cartellaBin);
        CreaCartelle(radiceAmbiente + "\\prg\\etc");
        ASSERT_TRUE(ScriviFile(radiceAmbiente + "\\prg\\etc\\configur", "C:\r\n"));
        ASSERT_TRUE(CopyFileA(PathTarnel().c_str(), (cartellaBin + "\\tarnel.exe").c_str(), FALSE));
        servizio = CreateServiceA(gestore, nomeServizioProva, "Servizio di attivazione applicativi QOR", SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                  (cartellaBin + "\\tarnel.exe").c_str(), NULL, NULL, NULL, NULL, NULL);
        ASSERT_NE(nullptr, servizio) << GetLastError();
    }
    void TearDown() override
    {
        if (servizio != NULL) {
            SERVICE_STATUS stato;
            if (Stato() != SERVICE_STOPPED)
                ControlService(servizio, SERVICE_CONTROL_STOP, &stato);
            AttendiStato(SERVICE_STOPPED);
            DeleteService(servizio);
            CloseServiceHandle(servizio);
        }
        if (gestore != NULL)
            CloseServiceHandle(gestore);
        WSACleanup();
    }
    void Configura(const std::string &contenuto) { ASSERT_TRUE(ScriviFile(radiceAmbiente + "\\prg\\etc\\tarnel.cfg", contenuto)); }
    DWORD Stato()
    {
        SERVICE_STATUS_PROCESS stato;
        DWORD necessari = 0;
        if (!QueryServiceStatusEx(servizio, SC_STATUS_PROCESS_INFO, (BYTE *)&stato, sizeof stato, &necessari))
            return 0;
        return stato.dwCurrentState;
    }
    /* Attende lo stato per al piu' 10 s; lo stato finale. */
    DWORD AttendiStato(DWORD atteso)
    {
        DWORD stato = 0;
        for (int i = 0; i < 100 && (stato = Stato()) != atteso; i++)
            Sleep(100);
        return stato;
    }
    SERVICE_STATUS_PROCESS StatoCompleto()
    {
        SERVICE_STATUS_PROCESS stato;
        DWORD necessari = 0;
        ZeroMemory(&stato, sizeof stato);
        QueryServiceStatusEx(servizio, SC_STATUS_PROCESS_INFO, (BYTE *)&stato, sizeof stato, &necessari);
        return stato;
    }
    std::string LogServizio() { return LeggiFile(cartellaBin + "\\tarnel.log"); }
    SC_HANDLE gestore = NULL;
    SC_HANDLE servizio = NULL;
};

/* Le posizioni dei testi nel log, nell'ordine dato: ognuno cercato dopo il precedente. */
static ::testing::AssertionResult InOrdine(const std::string &log, const std::vector<std::string> &testi)
{
    size_t da = 0;
    for (const std::string &testo : testi) {
        size_t trovato = log.find(testo, da);
        if (trovato == std::string::npos)
            return ::testing::AssertionFailure() << "manca, o non e' al suo posto: " << testo << "\nnel log:\n" << log;
        da = trovato + testo.size();
    }
    return ::testing::AssertionSuccess();
}

TEST_F(Servizio, SiAvviaAccettaConnessioniESiFermaConStop)
{
    const int porta = PortaProva(201);
    Configura("\xEF\xBB\xBFSOCKET=" + std::to_string(porta) + "\n");  // salvato dal Blocco note in UTF-8
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    ASSERT_EQ((DWORD)SERVICE_RUNNING, AttendiStato(SERVICE_RUNNING));
    SERVICE_STATUS_PROCESS completo = StatoCompleto();
    EXPECT_EQ((DWORD)(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PARAMCHANGE | SERVICE_ACCEPT_POWEREVENT),
              completo.dwControlsAccepted);
    EXPECT_EQ(0u, completo.dwWin32ExitCode);

    // Clienti veri: la versione del file di tarnel.exe, poi l'avvio del runtime (quello di prova).
    ASSERT_TRUE(CopyFileA(PathDaLinux(PATH_RUNTIME_PROVA).c_str(), (cartellaBin + "\\trimox3.exe").c_str(), FALSE));
    std::string uscite = CartellaNuova("servizioclienti");
    Cliente cliente = AvviaClienteGrafico(PATH_CLIENTEGRAFICO, porta, uscite, "versione");
    EsitoCliente versione = AttendiCliente(cliente);
    char attesa[32];
    snprintf(attesa, sizeof attesa, "versione: %02d.%02d.%02d.%02d\n", VERSIONE_MAGGIORE, VERSIONE_MINORE,
             VERSIONE_PATCH, VERSIONE_RITOCCO);
    EXPECT_EQ(0, versione.codice) << versione.errore;
    EXPECT_THAT(versione.uscita, HasSubstr(attesa));
    cliente = AvviaClienteGrafico(PATH_CLIENTEGRAFICO, porta, uscite, "avvia PROGRAMMA");
    EsitoCliente lancio = AttendiCliente(cliente);
    EXPECT_EQ(0, lancio.codice) << lancio.errore;
    EXPECT_TRUE(ContieneEspressione(lancio.uscita, "RUNTIME trimox3\\.exe [0-9]+")) << lancio.uscita;
    RimuoviAlbero(uscite);

    SERVICE_STATUS stato;
    ASSERT_TRUE(ControlService(servizio, SERVICE_CONTROL_STOP, &stato)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
    // Ambiente stand alone sul disco fisso C: nessuno share, il drive corrente e' C.
    EXPECT_TRUE(InOrdine(LogServizio(),
                         {": ServiceMain \r\n",
                          ": AnalisiAmbientiInstallati - strPathSistInfo C:\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe \r\n",
                          ": Il sistema informativo in linea e' installato in modalita' stand alone nell'hard disk locale "
                          "\"C:\"\r\n",
                          ": L'ambiente in linea non possiede ambienti duplicati\r\n",
                          ": ConnessioneNetworkDrive - Drive in esame C \r\n",
                          ": Ambiente in linea: \"C:\\GEST1\" ---> \"\"\r\n",
                          ": PortaSocket - pathFileConf = \\GEST1\\prg\\etc\\tarnel.cfg\r\n",
                          ": Servizio di attivazione applicativi QOR in esecuzione\r\n",
                          ": Attivazione applicativo comando = C:\\GEST1\\prg\\com\\drumal\\bin\\trimox3.exe kelvat32 \r\n",
                          ": ServerCtrlHandlerEx - ricevuto comando dwControl -> 1  dwEventType -> 0 \r\n ",
                          ": ServerCtrlHandlerEx - ricevuto comando di STOP\r\n"}));
}

TEST_F(Servizio, InterrogateEComandoUtenteLoLascianoInEsecuzione)
{
    const int porta = PortaProva(203);
    Configura("SOCKET=" + std::to_string(porta) + "\n");
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    ASSERT_EQ((DWORD)SERVICE_RUNNING, AttendiStato(SERVICE_RUNNING));

    SERVICE_STATUS stato;
    EXPECT_TRUE(ControlService(servizio, SERVICE_CONTROL_INTERROGATE, &stato)) << GetLastError();
    EXPECT_TRUE(ControlService(servizio, 128, &stato)) << GetLastError();
    EXPECT_TRUE(ControlService(servizio, 255, &stato)) << GetLastError();
    Sleep(500);
    EXPECT_EQ((DWORD)SERVICE_RUNNING, Stato());
    std::string log = LogServizio();  // prima della connessione, che scrive le sue righe
    SOCKET client = ConnettiLoopback(porta);
    EXPECT_NE(INVALID_SOCKET, client);
    closesocket(client);

    EXPECT_TRUE(InOrdine(log, {": ServerCtrlHandlerEx - ricevuto comando dwControl -> 4  dwEventType -> 0 \r\n ",
                               ": ServerCtrlHandlerEx - ricevuto comando di INTERROGATE\r\n",
                               ": ServerCtrlHandlerEx - ricevuto comando dwControl -> 128  dwEventType -> 0 \r\n ",
                               ": ServerCtrlHandlerEx - ricevuto comando dwControl -> 255  dwEventType -> 0 \r\n "}));
    // Il comando dell'utente non aggiunge altro: la riga generica e' l'ultima del log.
    std::string coda = log.substr(log.rfind("dwControl -> 255"));
    EXPECT_EQ(std::string::npos, coda.find("\r\n", coda.find("\r\n") + 2)) << coda;
    EXPECT_THAT(log, Not(HasSubstr("SetServiceStatus")));
}

TEST_F(Servizio, StopTerminaIRuntimeEFinisceIlProcesso)
{
    const int porta = PortaProva(204);
    Configura("SOCKET=" + std::to_string(porta) + "\n");
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    ASSERT_EQ((DWORD)SERVICE_RUNNING, AttendiStato(SERVICE_RUNNING));
    HANDLE processoServizio = OpenProcess(SYNCHRONIZE, FALSE, StatoCompleto().dwProcessId);
    ASSERT_NE(nullptr, processoServizio);

    // Due runtime che girano: uno nella cartella dei programmi, uno altrove scritto in maiuscolo.
    std::string altrove = CartellaNuova("runtimemaiuscolo");
    HANDLE runtime[2] = {AvviaDormiente(cartellaBin + "\\trimox3.exe"), AvviaDormiente(altrove + "\\TRIMOX4_VC.EXE")};
    ASSERT_NE(nullptr, runtime[0]);
    ASSERT_NE(nullptr, runtime[1]);
    Sleep(300);

    SERVICE_STATUS stato;
    ASSERT_TRUE(ControlService(servizio, SERVICE_CONTROL_STOP, &stato)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, runtime, TRUE, 10000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(processoServizio, 10000));
    CloseHandle(processoServizio);
    for (HANDLE h : runtime) {
        TerminateProcess(h, 0);
        CloseHandle(h);
    }
    RimuoviAlbero(altrove);

    std::string log = LogServizio();
    EXPECT_TRUE(InOrdine(log, {": ServerCtrlHandlerEx - ricevuto comando di STOP\r\n",
                               ": Termina il processo: \"trimox3.exe\"\r\n",
                               ": Termina il processo: \"TRIMOX4_VC.EXE\"\r\n"}));
    size_t righe = 0;
    for (size_t da = log.find("Termina il processo"); da != std::string::npos; da = log.find("Termina il processo", da + 1))
        righe++;
    EXPECT_EQ(2u, righe);
}

TEST_F(Servizio, EseguibileFuoriDallaCartellaDeiProgrammiNonSiAvvia)
{
    std::string cartella = radiceAmbiente + "\\altrove";
    CreaCartelle(cartella);
    ASSERT_TRUE(CopyFileA(PathTarnel().c_str(), (cartella + "\\tarnel.exe").c_str(), FALSE));
    ASSERT_TRUE(ChangeServiceConfigA(servizio, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                     (cartella + "\\tarnel.exe").c_str(), NULL, NULL, NULL, NULL, NULL, NULL))
        << GetLastError();
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, StatoCompleto().dwWin32ExitCode);
    std::string log = LeggiFile(cartella + "\\tarnel.log");
    EXPECT_TRUE(InOrdine(log, {": ServiceMain \r\n", ": Nel pathname del servizio (\"C:\\GEST1\\altrove\\tarnel.exe\")\r\n",
                               ": Impossibile cambiare a \"started\" lo stato del servizio\r\n",
                               ": ServiceMain - avvio rifiutato: errore 3\r\n"}));
    EXPECT_THAT(log, Not(HasSubstr("PortaSocket")));
    EXPECT_THAT(log, Not(HasSubstr("in esecuzione")));
}

TEST_F(Servizio, DriveDiInstallazioneNonFissoSenzaShareNonSiAvvia)
{
    // configur indica un drive che in questo prefisso non esiste: nessuno share e nessun disco fisso.
    ASSERT_TRUE(ScriviFile(radiceAmbiente + "\\prg\\etc\\configur", "Q:\r\n"));
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
    std::string log = LogServizio();
    EXPECT_TRUE(InOrdine(log, {": ServiceMain \r\n",
                               ": Impossibile determinare il pathname di condivisione (\"Net Share\")\r\n"
                               "che implementa il drive: \"Q:\"\r\n",
                               ": Impossibile cambiare a \"started\" lo stato del servizio\r\n"}));
    EXPECT_THAT(log, Not(HasSubstr("ConnessioneNetworkDrive")));
    EXPECT_THAT(log, Not(HasSubstr("PortaSocket")));
}

TEST_F(Servizio, ConfigurazioneNonValidaLoFermaConErrore1610)
{
    const std::string pathConf = "\"\\GEST1\\prg\\etc\\tarnel.cfg\"";
    struct {
        const char *contenuto;
        std::string riga;
    } casi[] = {
        {"SOCKET=0\n", "La porta socket \"0\" specificata nel file di configurazione " + pathConf + " non e' valida\r\n"},
        // Una rete scritta quasi bene non apre l'accesso a tutti: ferma l'avvio.
        {"client=10.0.0.0/8\n", "La riga \"client=10.0.0.0/8\" del file di configurazione " + pathConf + " non e' valida\r\n"},
        {"CLIENT = 10.0.0.0/8\n", "La riga \"CLIENT = 10.0.0.0/8\" del file di configurazione " + pathConf + " non e' valida\r\n"},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.contenuto);
        DeleteFileA((cartellaBin + "\\tarnel.log").c_str());
        Configura(caso.contenuto);
        ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
        EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
        EXPECT_EQ((DWORD)ERROR_BAD_CONFIGURATION, StatoCompleto().dwWin32ExitCode);
        std::string log = LogServizio();
        // Dopo la riga del file solo quella dell'avvio rifiutato: nessun record d'errore.
        size_t riga = log.find(caso.riga);
        ASSERT_NE(std::string::npos, riga) << log;
        EXPECT_TRUE(ContieneEspressione(log.substr(riga + caso.riga.size()),
                                        "^[^\r\n]*: ServiceMain - avvio rifiutato: errore 1610\r\n$"))
            << log.substr(riga);
        EXPECT_THAT(log, Not(HasSubstr("in esecuzione")));
    }
}

TEST_F(Servizio, PortaOccupataLoFermaConIlRecordDelBind)
{
    const int porta = PortaProva(202);
    Configura("SOCKET=" + std::to_string(porta) + "\n");
    SOCKET occupante = OccupaPorta(porta);
    ASSERT_NE(INVALID_SOCKET, occupante);
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
    closesocket(occupante);
    EXPECT_TRUE(ContieneEspressione(LogServizio(), "avvio rifiutato: errore 100(13|48)\r\n[\\s\\S]*: bind: errore 100(13|48): "))
        << LogServizio();
    DWORD codice = StatoCompleto().dwWin32ExitCode;
    EXPECT_TRUE(codice == WSAEADDRINUSE || codice == WSAEACCES) << codice;
}

TEST(ServizioDaConsole, SenzaArgomentiFuoriDalGestoreEsceConUno)
{
    // Fuori dal gestore dei servizi il dispatcher rifiuta: 1063, dopo circa 10 s sotto Wine.
    std::string cartella = CartellaNuova("tarnelconsole");
    ASSERT_TRUE(CopyFileA(PathTarnel().c_str(), (cartella + "\\tarnel.exe").c_str(), FALSE));
    EXPECT_EQ(1, EseguiProcesso("\"" + cartella + "\\tarnel.exe\"", 60000));
    EXPECT_THAT(LeggiFile(cartella + "\\tarnel.log"), HasSubstr(": StartServiceCtrlDispatcher: errore 1063: "));
    EXPECT_EQ(1, EseguiProcesso("\"" + cartella + "\\tarnel.exe\" -x", 60000));
    RimuoviAlbero(cartella);
}

/* Un client muto da un indirizzo di loopback scelto verso il servizio su 127.0.0.1. */
static SOCKET ConnettiDa(const char *sorgente, int porta)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in indirizzo = {};
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = inet_addr(sorgente);
    if (s == INVALID_SOCKET || bind(s, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    indirizzo.sin_addr.s_addr = inet_addr("127.0.0.1");
    indirizzo.sin_port = htons((u_short)porta);
    if (connect(s, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

/* true se il servizio ha chiuso la connessione entro attesaMs; false se la tiene aperta (la ammette:
 * il thread aspetta lo scambio delle chiavi, che un client muto non comincia). */
static bool ChiusaDalServizio(SOCKET s, DWORD attesaMs)
{
    char dato = 0;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&attesaMs, sizeof attesaMs);
    int n = recv(s, &dato, 1, 0);
    return n == 0 || (n < 0 && WSAGetLastError() != WSAETIMEDOUT);
}

static unsigned PortaLocale(SOCKET s)
{
    struct sockaddr_in locale = {};
    int lung = sizeof locale;
    getsockname(s, (struct sockaddr *)&locale, &lung);
    return ntohs(locale.sin_port);
}

static size_t Occorrenze(const std::string &testo, const std::string &cercato)
{
    size_t volte = 0;
    for (size_t da = testo.find(cercato); da != std::string::npos; da = testo.find(cercato, da + 1))
        volte++;
    return volte;
}

class AmmissioneServizio : public Servizio {
protected:
    void Avvia(int porta, const std::string &regole)
    {
        Configura("SOCKET=" + std::to_string(porta) + "\n" + regole);
        ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
        ASSERT_EQ((DWORD)SERVICE_RUNNING, AttendiStato(SERVICE_RUNNING));
    }
    /* Il client vero da 127.0.0.1 chiede la versione: true se ha la risposta. */
    bool VersioneRisposta(int porta)
    {
        std::string uscite = CartellaNuova("ammissioneclienti");
        Cliente cliente = AvviaClienteGrafico(PATH_CLIENTEGRAFICO, porta, uscite, "--limite 10 versione");
        EsitoCliente esito = AttendiCliente(cliente, 30000);
        RimuoviAlbero(uscite);
        return esito.codice == 0 && esito.uscita.find("versione: ") != std::string::npos;
    }
    /* Attende (al piu' 10 s) che una connessione da sorgente sia di nuovo ammessa. */
    bool DiNuovoAmmessa(const char *sorgente, int porta)
    {
        for (int i = 0; i < 50; i++) {
            SOCKET s = ConnettiDa(sorgente, porta);
            bool aperta = s != INVALID_SOCKET && !ChiusaDalServizio(s, 200);
            closesocket(s);
            if (aperta)
                return true;
        }
        return false;
    }
};

TEST_F(AmmissioneServizio, SoloGliIndirizziDiClientEUnaRigaDiRifiutoAlMinuto)
{
    const int porta = PortaProva(211);
    Avvia(porta, "CLIENT=127.0.0.2\n");
    SOCKET ammesso = ConnettiDa("127.0.0.2", porta);
    ASSERT_NE(INVALID_SOCKET, ammesso);
    EXPECT_FALSE(ChiusaDalServizio(ammesso, 1000));
    unsigned portaAmmesso = PortaLocale(ammesso);
    closesocket(ammesso);
    for (int i = 0; i < 6; i++) {
        SOCKET rifiutato = ConnettiDa("127.0.0.1", porta);
        ASSERT_NE(INVALID_SOCKET, rifiutato);
        EXPECT_TRUE(ChiusaDalServizio(rifiutato, 5000)) << i;
        closesocket(rifiutato);
    }
    std::string log = LogServizio();
    EXPECT_TRUE(InOrdine(log, {": Ammessi i client di 127.0.0.2/32\r\n", ": Servizio di attivazione applicativi QOR in esecuzione\r\n",
                               ": AttivazioneClient - connessione da 127.0.0.2:" + std::to_string(portaAmmesso) + "\r\n",
                               ": CicloAccept - connessione da 127.0.0.1 rifiutata: indirizzo non ammesso\r\n"}));
    EXPECT_EQ(1u, Occorrenze(log, "rifiutata")) << log;
    EXPECT_EQ(1u, Occorrenze(log, "AttivazioneClient - connessione da")) << log;
}

TEST_F(AmmissioneServizio, MaxClientRifiutaLaQuintaDaUnIndirizzoNonLAltro)
{
    const int porta = PortaProva(212);
    Avvia(porta, "MAXCLIENT=4\n");
    std::vector<SOCKET> muti;
    for (int i = 0; i < 4; i++) {
        muti.push_back(ConnettiDa("127.0.0.2", porta));
        ASSERT_NE(INVALID_SOCKET, muti.back());
    }
    for (SOCKET s : muti)
        EXPECT_FALSE(ChiusaDalServizio(s, 200));
    SOCKET quinta = ConnettiDa("127.0.0.2", porta);
    EXPECT_TRUE(ChiusaDalServizio(quinta, 5000));
    closesocket(quinta);
    EXPECT_TRUE(VersioneRisposta(porta));
    for (SOCKET s : muti)
        closesocket(s);
    EXPECT_TRUE(DiNuovoAmmessa("127.0.0.2", porta));
    EXPECT_THAT(LogServizio(),
                HasSubstr(": CicloAccept - connessione da 127.0.0.2 rifiutata: 4 conversazioni in corso da questo indirizzo\r\n"));
}

TEST_F(AmmissioneServizio, MillecinquecentoConnessioniMuteNonFermanoGliAltri)
{
    const int porta = PortaProva(213);
    const int numMute = 1500;
    Avvia(porta, "");
    std::vector<SOCKET> muti;
    DWORD inizio = GetTickCount();
    for (int i = 0; i < numMute && GetTickCount() - inizio < 60000; i++) {
        SOCKET s = ConnettiDa("127.0.0.2", porta);
        if (s == INVALID_SOCKET)
            break;
        muti.push_back(s);
    }
    EXPECT_EQ((size_t)numMute, muti.size());
    DWORD primaDellaVersione = GetTickCount();
    EXPECT_TRUE(VersioneRisposta(porta));
    EXPECT_LT(GetTickCount() - primaDellaVersione, 10000u);
    for (SOCKET s : muti)
        closesocket(s);
    EXPECT_TRUE(DiNuovoAmmessa("127.0.0.2", porta));
    std::string log = LogServizio();
    EXPECT_EQ(1u, Occorrenze(log, "rifiutata: 128 conversazioni in corso da questo indirizzo\r\n")) << log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
}

TEST_F(Servizio, ValoreNonValidoDiUnaChiaveFermaLAvvio)
{
    for (const char *chiave : {"CLIENT", "MAXCLIENT", "MAXCONN"}) {
        SCOPED_TRACE(chiave);
        DeleteFileA((cartellaBin + "\\tarnel.log").c_str());
        Configura(std::string(chiave) + "=-1\n");
        ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
        EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
        std::string log = LogServizio();
        EXPECT_THAT(log, HasSubstr(": Il valore \"-1\" della chiave " + std::string(chiave) +
                                   " nel file di configurazione \"\\GEST1\\prg\\etc\\tarnel.cfg\" non e' valido\r\n"));
        EXPECT_THAT(log, Not(HasSubstr("in esecuzione")));
    }
}

/* tarnel -check dall'ambiente di prova: il codice d'uscita e le righe. */
class Verifica : public Servizio {
protected:
    void SetUp() override
    {
        Servizio::SetUp();
        for (const char *runtime : {"trimox3.exe", "trimox4.exe"})
            ASSERT_TRUE(ScriviFile(cartellaBin + "\\" + runtime, "MZ"));
    }
    int Esegui(std::string *uscita) { return EseguiConUscita("\"" + cartellaBin + "\\tarnel.exe\" -check", uscita); }
    static std::string UltimaRiga(std::string uscita)
    {
        while (!uscita.empty() && uscita.back() == '\n')
            uscita.pop_back();
        return uscita.substr(uscita.rfind('\n') + 1);
    }
};

TEST_F(Verifica, AmbienteBuonoEServizioInEsecuzione)
{
    const int porta = PortaProva(214);
    Configura("SOCKET=" + std::to_string(porta) + "\nCLIENT=127.0.0.0/8\nMAXCLIENT=0\n");
    std::string uscita;
    EXPECT_EQ(0, Esegui(&uscita)) << uscita;
    EXPECT_TRUE(InOrdine(uscita, {"Versione: ", "Ambiente in linea: C:\\GEST1 (radice locale C:\\GEST1)\n",
                                  "Drive C: raggiungibile", "Servizio \"tarnel\" registrato: eseguibile " + cartellaBin +
                                  "\\tarnel.exe, avvio manuale, stato fermo\n",
                                  "Avviso: percorso registrato senza virgolette: " + cartellaBin + "\\tarnel.exe\n",
                                  "Porta " + std::to_string(porta) + ": libera\n", "Client ammessi: 127.0.0.0/8\n",
                                  "Conversazioni per indirizzo al massimo: 0 (nessun limite)\n",
                                  "Conversazioni in tutto al massimo: 1024\n", "Programma presente: " + cartellaBin + "\\trimox3.exe\n",
                                  "Programma mancante: " + cartellaBin + "\\kvix32a.exe\n",
                                  "Verifica riuscita con "})) << uscita;
    // Con il servizio in esecuzione la porta e' la sua.
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    ASSERT_EQ((DWORD)SERVICE_RUNNING, AttendiStato(SERVICE_RUNNING));
    EXPECT_EQ(0, Esegui(&uscita)) << uscita;
    EXPECT_THAT(uscita, HasSubstr("Porta " + std::to_string(porta) + ": occupata dal servizio in esecuzione\n"));
}

TEST_F(Verifica, OgniDifettoDaUscita1ConIlMotivoInFondo)
{
    const int porta = PortaProva(215);
    struct {
        const char *conf;
        bool occupa;
        const char *togli;
        std::string motivo;
    } casi[] = {
        {"", false, "trimox4.exe", "Programma mancante: " + cartellaBin + "\\trimox4.exe"},
        {"", true, nullptr, "Porta " + std::to_string(porta) + ": occupata da un altro programma"},
        {"MAXCONN=molte\n", false, nullptr, "Configurazione \\GEST1\\prg\\etc\\tarnel.cfg non valida"},
        {"# commento\nMaxConn=5\n", false, nullptr,
         "Configurazione \\GEST1\\prg\\etc\\tarnel.cfg non valida alla riga 3: \"MaxConn=5\""},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.motivo);
        Configura("SOCKET=" + std::to_string(porta) + "\n" + caso.conf);
        SOCKET occupante = caso.occupa ? OccupaPorta(porta) : INVALID_SOCKET;
        if (caso.togli != nullptr)
            DeleteFileA((cartellaBin + "\\" + caso.togli).c_str());
        std::string uscita;
        EXPECT_EQ(1, Esegui(&uscita)) << uscita;
        EXPECT_EQ(0u, UltimaRiga(uscita).find("Verifica fallita: " + caso.motivo)) << uscita;
        if (occupante != INVALID_SOCKET)
            closesocket(occupante);
        ASSERT_TRUE(ScriviFile(cartellaBin + "\\trimox4.exe", "MZ"));
    }
}

TEST_F(Verifica, NonScriveNullaEAvvisaSuiMarcatori)
{
    // Un log oltre il limite e nessuna generazione: restano come sono; aincorso.tst e' solo un avviso.
    const std::string log = cartellaBin + "\\tarnel.log";
    const std::string contenuto(1100000, 'v');
    ASSERT_TRUE(ScriviFile(log, contenuto));
    DeleteFileA((log + ".1").c_str());
    Configura("SOCKET=" + std::to_string(PortaProva(216)) + "\nCLIENT=127.0.0.1\nsocket=7\nSOCKET=8\n");
    ASSERT_TRUE(ScriviFile(radiceAmbiente + "\\prg\\aincorso.tst", ""));
    std::string uscita;
    EXPECT_EQ(0, Esegui(&uscita)) << uscita;
    DeleteFileA((radiceAmbiente + "\\prg\\aincorso.tst").c_str());
    EXPECT_THAT(uscita, HasSubstr("Avviso: " + radiceAmbiente + "\\prg\\aincorso.tst presente: i client ricevono l'avviso"));
    EXPECT_THAT(uscita, HasSubstr("Runtime in esecuzione: 0 (tarnel -stop li termina tutti)\n"));
    EXPECT_THAT(uscita, HasSubstr("Avviso: riga 3 di \\GEST1\\prg\\etc\\tarnel.cfg: chiave SOCKET non scritta"));
    EXPECT_THAT(uscita, HasSubstr("Avviso: riga 4 di \\GEST1\\prg\\etc\\tarnel.cfg: seconda riga SOCKET, vale la prima (porta " +
                                  std::to_string(PortaProva(216)) + ")\n"));
    EXPECT_EQ(0u, UltimaRiga(uscita).find("Verifica riuscita con ")) << uscita;
    EXPECT_TRUE(LeggiFile(log) == contenuto) << "il log e' cambiato";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((log + ".1").c_str()));
}
