/* tests/setup/InstallazioneServizioWinTest.cpp - tarnel.exe vero: installazione in un ambiente di prova con i
 * servizi dipendenti finti, registrazione letta dal gestore dei servizi, ramo del firewall secondo la
 * versione del sistema, seconda installazione, avvio, arresto e rimozione. */
#include "tests/finti/ProvaWin.h"
#include "tests/setup/ServiziProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char nomeVisualizzato[] = "Servizio di attivazione applicativi QOR";

/* Un ambiente con l'eseguibile in <radice>\prg\com\drumal\bin e il drive d'installazione in configur. */
struct Ambiente {
    std::string radice;
    std::string Bin() const { return radice + "\\prg\\com\\drumal\\bin"; }
    std::string Eseguibile() const { return Bin() + "\\tarnel.exe"; }
    std::string Log() const { return LeggiFile(Bin() + "\\tarnel.log"); }
    bool Crea(const std::string &drive, int porta) const
    {
        RimuoviAlbero(radice);
        CreaCartelle(Bin());
        CreaCartelle(radice + "\\prg\\etc");
        return ScriviFile(radice + "\\prg\\etc\\configur", drive + "\r\n") &&
               ScriviFile(radice + "\\prg\\etc\\tarnel.cfg", "SOCKET=" + std::to_string(porta) + "\n") &&
               CopyFileA(PathDaLinux(PATH_TARNEL_EXE).c_str(), Eseguibile().c_str(), FALSE);
    }
    int Esegui(const std::string &argomenti) const { return EseguiProcesso("\"" + Eseguibile() + "\" " + argomenti, 60000); }
};

/* La registrazione del servizio come la vede il gestore. */
struct Registrazione {
    bool trovata = false;
    DWORD tipo = 0, avvio = 0, controlloErrori = 0;
    std::string path, nome, account, dipendenze, gruppo, descrizione;
};

Registrazione LeggiRegistrazione()
{
    Registrazione r;
    SC_HANDLE gestore = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE servizio = gestore ? OpenServiceA(gestore, "tarnel", SERVICE_QUERY_CONFIG) : NULL;
    std::vector<BYTE> area(8192);
    DWORD necessari = 0;
    if (servizio && QueryServiceConfigA(servizio, (QUERY_SERVICE_CONFIGA *)area.data(), (DWORD)area.size(), &necessari)) {
        const QUERY_SERVICE_CONFIGA *config = (const QUERY_SERVICE_CONFIGA *)area.data();
        r.trovata = true;
        r.tipo = config->dwServiceType;
        r.avvio = config->dwStartType;
        r.controlloErrori = config->dwErrorControl;
        r.path = config->lpBinaryPathName ? config->lpBinaryPathName : "";
        r.nome = config->lpDisplayName ? config->lpDisplayName : "";
        r.account = config->lpServiceStartName ? config->lpServiceStartName : "";
        r.dipendenze = config->lpDependencies ? config->lpDependencies : "";
        r.gruppo = config->lpLoadOrderGroup ? config->lpLoadOrderGroup : "";
        if (QueryServiceConfig2A(servizio, SERVICE_CONFIG_DESCRIPTION, area.data(), (DWORD)area.size(), &necessari)) {
            const SERVICE_DESCRIPTIONA *descrizione = (const SERVICE_DESCRIPTIONA *)area.data();
            r.descrizione = descrizione->lpDescription ? descrizione->lpDescription : "";
        }
    }
    if (servizio)
        CloseServiceHandle(servizio);
    if (gestore)
        CloseServiceHandle(gestore);
    return r;
}

/* La versione del sistema che Wine riporta a tarnel.exe: "winxp" per i sistemi precedenti alla 6. */
bool VersionePerTarnel(const char *versione)
{
    HKEY chiave = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\tarnel.exe", 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                        &chiave, NULL) != ERROR_SUCCESS)
        return false;
    LONG esito = versione ? RegSetValueExA(chiave, "Version", 0, REG_SZ, (const BYTE *)versione, (DWORD)strlen(versione) + 1)
                          : RegDeleteValueA(chiave, "Version");
    RegCloseKey(chiave);
    return esito == ERROR_SUCCESS || (versione == NULL && esito == ERROR_FILE_NOT_FOUND);
}

class ComandoInstallazione : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const char *nome : {"LanmanWorkstation", "LanmanServer"})
            if (RegistraFinto(nome, "pronto", SERVICE_DEMAND_START))
                AvviaEAttendi(nome);
    }
    static void TearDownTestSuite()
    {
        EliminaServizio("tarnel");
        EliminaServizio("LanmanWorkstation");
        EliminaServizio("LanmanServer");
    }
    void SetUp() override
    {
        ASSERT_EQ((DWORD)SERVICE_RUNNING, StatoServizio("LanmanWorkstation"));
        ASSERT_EQ((DWORD)SERVICE_RUNNING, StatoServizio("LanmanServer"));
        EliminaServizio("tarnel");
    }
    void TearDown() override
    {
        EliminaServizio("tarnel");
        VersionePerTarnel(NULL);
    }
};

TEST_F(ComandoInstallazione, SuDiscoFissoRegistraAvviaFermaERimuove)
{
    Ambiente ambiente = {"C:\\TNSETUP"};
    const int porta = PortaProva(2300);
    ASSERT_TRUE(ambiente.Crea("C:", porta));

    ASSERT_EQ(0, ambiente.Esegui("-s -i")) << ambiente.Log();
    Registrazione r = LeggiRegistrazione();
    ASSERT_TRUE(r.trovata);
    EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, r.tipo);
    EXPECT_EQ((DWORD)SERVICE_AUTO_START, r.avvio);
    EXPECT_EQ((DWORD)SERVICE_ERROR_NORMAL, r.controlloErrori);
    EXPECT_EQ("\"" + ambiente.Eseguibile() + "\"", r.path);  // tra virgolette: nessun blank lo tronca
    EXPECT_EQ(nomeVisualizzato, r.nome);
    EXPECT_EQ("Avvia per i Client Grafici i programmi dell'ambiente C:\\TNSETUP. Verifica: tarnel -check", r.descrizione);
    EXPECT_EQ("LocalSystem", r.account);
    EXPECT_EQ("", r.dipendenze);
    EXPECT_EQ("", r.gruppo);

    std::string log = ambiente.Log();
    EXPECT_THAT(log, HasSubstr(": main - Eseguo l'installazione del servizio\r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - pathMeStesso = C:\\TNSETUP\\prg\\com\\drumal\\bin\\tarnel.exe "
                               "\t onlydrive = C \t sistInfo = TNSETUP \t rootSistInfo = C:\\TNSETUP \r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - drive FISSO.\r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio Prima VerificaAccessiLocalSystem PathShare = C:\\ \r\n"));
    // Wine non conosce l'avvio automatico ritardato: errore registrato, installazione riuscita.
    EXPECT_THAT(log, HasSubstr(": ChangeServiceConfig2 SERVICE_CONFIG_DELAYED_AUTO_START_INFO: errore 87: "));
    EXPECT_THAT(log, HasSubstr(": main - VerificaAbiFirewallVista \r\n"));
    EXPECT_THAT(log, HasSubstr(": main - Abilitato Firewall  INetFwPolicy2 \r\n"));
    EXPECT_THAT(log, Not(HasSubstr("VerificaAbilitazioneFirewall")));
    EXPECT_THAT(log, HasSubstr(": main - \"Servizio di attivazione applicativi QOR\" installato correttamente\r\n"));

    // Una seconda installazione trova il servizio gia' registrato.
    EXPECT_EQ(1, ambiente.Esegui("-s -i"));
    EXPECT_THAT(ambiente.Log(), HasSubstr(": CreateService: errore 1073: "));

    EXPECT_EQ(0, ambiente.Esegui("-s -start"));
    ASSERT_EQ((DWORD)SERVICE_RUNNING, AttendiStatoServizio("tarnel", SERVICE_RUNNING, 10000)) << ambiente.Log();
    WSADATA dati;
    ASSERT_EQ(0, WSAStartup(0x0101, &dati));
    SOCKET client = ConnettiLoopback(porta);
    EXPECT_NE(INVALID_SOCKET, client);
    closesocket(client);
    WSACleanup();
    // L'arresto ritorna solo a servizio fermo.
    EXPECT_EQ(0, ambiente.Esegui("-s -stop"));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, StatoServizio("tarnel"));
    EXPECT_THAT(ambiente.Log(), HasSubstr(": main - Eseguo arresto del servizio\r\n"));

    EXPECT_EQ(0, ambiente.Esegui("-s -r"));
    EXPECT_FALSE(LeggiRegistrazione().trovata);
    RimuoviAlbero(ambiente.radice);
}

TEST_F(ComandoInstallazione, SistemaPrecedenteAllaVersioneSeiUsaLeApplicazioniAutorizzate)
{
    Ambiente ambiente = {"C:\\TNSETUP"};
    ASSERT_TRUE(ambiente.Crea("C:", PortaProva(2301)));
    ASSERT_TRUE(VersionePerTarnel("winxp"));
    EXPECT_EQ(0, ambiente.Esegui("-s -i")) << ambiente.Log();
    std::string log = ambiente.Log();
    EXPECT_THAT(log, HasSubstr(": main - VerificaAbilitazioneFirewall \r\n"));
    EXPECT_THAT(log, HasSubstr(": main - Abilitato Firewall \r\n"));
    EXPECT_THAT(log, Not(HasSubstr("VerificaAbiFirewallVista")));
    EXPECT_THAT(log, HasSubstr(" installato correttamente\r\n"));
    EXPECT_TRUE(LeggiRegistrazione().trovata);
    RimuoviAlbero(ambiente.radice);
}

TEST_F(ComandoInstallazione, FuoriDalleCartelleDelProdottoNonInstalla)
{
    // L'eseguibile della build, non in ...\prg\com\drumal\bin: il suo log e' accanto a lui.
    std::string tarnel = PathDaLinux(PATH_TARNEL_EXE);
    std::string pathLog = tarnel.substr(0, tarnel.rfind('\\') + 1) + "tarnel.log";
    size_t inizio = LeggiFile(pathLog).size();
    EXPECT_EQ(1, EseguiProcesso("\"" + tarnel + "\" -s -i", 60000));
    EXPECT_FALSE(LeggiRegistrazione().trovata);
    std::string log = LeggiFile(pathLog).substr(inizio);
    EXPECT_THAT(log, HasSubstr(": TestDipendenze  Entro \r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - InfoInstallazione NON mi trovo nelle cartelle del prodotto QOR: errore "));
    EXPECT_THAT(log, Not(HasSubstr("CreateService")));
}

/* Una lettera di drive libera (nessun dispositivo), da Q in poi. */
std::string LetteraLibera(char da)
{
    char dispositivo[MAX_PATH];
    for (char lettera = da; lettera <= 'Y'; lettera++) {
        std::string nome = std::string(1, lettera) + ":";
        if (QueryDosDeviceA(nome.c_str(), dispositivo, sizeof dispositivo) == 0)
            return nome;
    }
    return "";
}

TEST_F(ComandoInstallazione, DriveSostituitoRegistraIlPercorsoSottoLaCartellaSostituita)
{
    // L'eseguibile gira da una copia; il drive d'installazione e' una sostituzione di un'altra cartella.
    Ambiente ambiente = {"C:\\TNCOPIA\\TNSETUP"};
    std::string drive = LetteraLibera('Q');
    ASSERT_NE("", drive);
    ASSERT_TRUE(ambiente.Crea(drive, PortaProva(2302)));
    CreaCartelle("C:\\TNARCH\\TNSETUP");
    ASSERT_TRUE(DefineDosDeviceA(0, drive.c_str(), "C:\\TNARCH"));

    EXPECT_EQ(0, ambiente.Esegui("-s -i")) << ambiente.Log();
    DefineDosDeviceA(DDD_REMOVE_DEFINITION, drive.c_str(), NULL);
    std::string atteso = "C:\\TNARCH\\TNSETUP\\prg\\com\\drumal\\bin\\tarnel.exe";
    EXPECT_EQ("\"" + atteso + "\"", LeggiRegistrazione().path);
    std::string log = ambiente.Log();
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - drive REMOTO.\r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - RicercaNetShare Fallita.\r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - drive = " + drive + " strPathShare = \\??\\C:\\TNARCH \r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - drive SUBST pathServizio = " + atteso + " \r\n"));
    // Il volume di una sostituzione non risponde sotto Wine: nessun accesso da dare.
    EXPECT_THAT(log, Not(HasSubstr("Prima VerificaAccessiLocalSystem")));
    RimuoviAlbero("C:\\TNCOPIA");
    RimuoviAlbero("C:\\TNARCH");
}

TEST_F(ComandoInstallazione, DriveCheLocalSystemNonRaggiungeRifiutato)
{
    Ambiente ambiente = {"C:\\TNSETUP"};
    std::string drive = LetteraLibera('R');
    ASSERT_NE("", drive);
    ASSERT_TRUE(ambiente.Crea(drive, PortaProva(2303)));
    EXPECT_EQ(1, ambiente.Esegui("-s -i"));
    EXPECT_FALSE(LeggiRegistrazione().trovata);
    std::string log = ambiente.Log();
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - drive = " + drive + " strPathShare =  \r\n"));
    EXPECT_THAT(log, HasSubstr(": InstallazioneServizio - Il drive " + drive +
                               " non e' un disco locale ne' una sostituzione e nessuno share di questa macchina contiene "
                               "l'ambiente TNSETUP: il servizio non potrebbe raggiungere il programma. Installazione "
                               "rifiutata.\r\n"));
    EXPECT_THAT(log, Not(HasSubstr("CreateService")));
    EXPECT_THAT(log, Not(HasSubstr("installato correttamente")));
    RimuoviAlbero(ambiente.radice);
}

} // namespace
