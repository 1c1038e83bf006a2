/* tests/service/ServizioWinTest.cpp - tarnel.exe vero: risorse dell'eseguibile e servizio registrato,
 * avviato, interrogato, fermato ed eliminato attraverso il gestore dei servizi di Wine.
 * L'ambiente di prova e' C:\GEST1 con l'eseguibile in prg\com\drumal\bin. */
#include "tests/finti/ProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    std::string LogServizio() { return LeggiFile(cartellaBin + "\\tarnel.log"); }
    SC_HANDLE gestore = NULL;
    SC_HANDLE servizio = NULL;
};

TEST_F(Servizio, SiAvviaAccettaConnessioniESiFermaConStop)
{
    const int porta = PortaProva(201);
    Configura("SOCKET=" + std::to_string(porta) + "\n");
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    ASSERT_EQ((DWORD)SERVICE_RUNNING, AttendiStato(SERVICE_RUNNING));

    SOCKET client = ConnettiLoopback(porta);
    EXPECT_NE(INVALID_SOCKET, client);
    closesocket(client);

    SERVICE_STATUS stato;
    ASSERT_TRUE(ControlService(servizio, SERVICE_CONTROL_STOP, &stato)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
    std::string log = LogServizio();
    EXPECT_THAT(log, HasSubstr(": ServiceMain \r\n"));
    EXPECT_THAT(log, HasSubstr("Ambiente in linea: \"C:\\GEST1\" ---> \"C:\\\""));
    EXPECT_THAT(log, HasSubstr("PortaSocket - pathFileConf = C:\\GEST1\\prg\\etc\\tarnel.cfg\r\n"));
    EXPECT_THAT(log, HasSubstr(": Servizio di attivazione applicativi QOR in esecuzione\r\n"));
    EXPECT_THAT(log, HasSubstr(": ServerCtrlHandlerEx - ricevuto comando dwControl -> 1  dwEventType -> 0 \r\n "));
    EXPECT_THAT(log, HasSubstr(": ServerCtrlHandlerEx - ricevuto comando di STOP\r\n"));
}

TEST_F(Servizio, PortaZeroLoFermaSenzaRecordDErrore)
{
    Configura("SOCKET=0\n");
    ASSERT_TRUE(StartServiceA(servizio, 0, NULL)) << GetLastError();
    EXPECT_EQ((DWORD)SERVICE_STOPPED, AttendiStato(SERVICE_STOPPED));
    std::string log = LogServizio();
    size_t riga = log.find("La porta socket \"0\" specificata nel file di configurazione "
                           "\"C:\\GEST1\\prg\\etc\\tarnel.cfg\" non e' valida\r\n");
    ASSERT_NE(std::string::npos, riga) << log;
    EXPECT_THAT(log.substr(riga), Not(HasSubstr("errore")));
    EXPECT_THAT(log, Not(HasSubstr("in esecuzione")));
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
    EXPECT_TRUE(ContieneEspressione(LogServizio(), ": bind: errore 100(13|48): ")) << LogServizio();
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
