/* tests/install/RicercaInstallazioneWinTest.cpp - informazioni d'installazione, tabella degli ambienti e
 * drive dell'ambiente in linea su alberi di prova veri, con il log vero accanto al test. Gli share si
 * danno con un'enumerazione di prova che elenca cartelle vere; quella del sistema qui fallisce. */
#include "install/install.h"

#include "base/base.h"
#include "tests/finti/ProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <direct.h>
#include <regex>
#include <vector>

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

std::vector<std::string> shareProva;

int ElencaShareProva(VisitaShare visita, void *contesto)
{
    for (const std::string &cartella : shareProva) {
        if (visita(contesto, cartella.c_str()))
            break;
    }
    return 1;
}

int EnumerazioneFallita(VisitaShare, void *)
{
    return 0;
}

/* Sostituisce ogni segnaposto con il valore. */
std::string Sostituisci(std::string testo, const std::string &segnaposto, const std::string &valore)
{
    for (size_t pos = testo.find(segnaposto); pos != std::string::npos; pos = testo.find(segnaposto, pos + valore.size()))
        testo.replace(pos, segnaposto.size(), valore);
    return testo;
}

/* {R}: la radice dell'ambiente; {B}: la cartella di prova. */
std::string Espandi(const std::string &testo, const std::string &radice, const std::string &base)
{
    return Sostituisci(Sostituisci(testo, "{R}", radice), "{B}", base);
}

/* Una lettera di drive che non porta da nessuna parte, neppure per una subst. */
char LetteraLibera()
{
    DWORD drive = GetLogicalDrives();
    char nome[3] = "?:";
    char dispositivo[MAX_PATH];
    for (char lettera = 'Q'; lettera <= 'Y'; lettera++) {
        nome[0] = lettera;
        if (!(drive & (1u << (lettera - 'A'))) && QueryDosDeviceA(nome, dispositivo, sizeof dispositivo) == 0)
            return lettera;
    }
    return 0;
}

std::string DispositivoDi(char lettera)
{
    char nome[3] = {lettera, ':', '\0'};
    char dispositivo[MAX_PATH];
    return QueryDosDeviceA(nome, dispositivo, sizeof dispositivo) != 0 ? dispositivo : "";
}

/* Una riga di duplica.cfg: cinque colonne, il campo riempito a 30, poi il seguito. */
std::string RigaDuplica(const std::string &campo, const std::string &seguito = "  commento\r\n")
{
    std::string riga = "00001" + campo;
    riga.resize(35, ' ');
    return riga + seguito;
}

class Installazione : public ::testing::Test {
protected:
    void SetUp() override
    {
        salvata = TabellaInfoInstallazione;
        enumerazioneSalvata = passiInstallazione.elencaShare;
        char cartella[MAX_PATH];
        GetCurrentDirectoryA(sizeof cartella, cartella);
        cartellaSalvata = cartella;
        base = CartellaNuova("tnlinst");
        ScriviLog("inizio prova\n");  // il log e' aperto: le prove leggono solo cio' che segue
        pathLog = pathFileLog();
        SegnaLog();
    }
    void TearDown() override
    {
        for (const std::string &ini : iniScritti)
            DeleteFileA(ini.c_str());
        for (const std::string &cartella : cartelleRadice)
            RimuoviAlbero(cartella);
        SetCurrentDirectoryA(cartellaSalvata.c_str());
        passiInstallazione.elencaShare = enumerazioneSalvata;
        TabellaInfoInstallazione = salvata;
        shareProva.clear();
        RimuoviAlbero(base);
    }
    void SegnaLog() { inizioLog = LeggiFile(pathLog).size(); }
    /* Quanto il log ha ricevuto dall'ultimo segno, senza data e ora e con gli a capo come \n. */
    std::string LogNuovo()
    {
        std::string contenuto = LeggiFile(pathLog);
        contenuto = inizioLog < contenuto.size() ? contenuto.substr(inizioLog) : std::string();
        contenuto = std::regex_replace(
            contenuto, std::regex("[0-3][0-9]/[01][0-9]/20[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]: "), "");
        return std::regex_replace(contenuto, std::regex("\r\n"), "\n");
    }
    /* Crea l'albero di un ambiente sotto la cartella di prova e ne da' il percorso del programma. */
    std::string Ambiente(const std::string &relativa)
    {
        std::string radice = base + "\\" + relativa;
        CreaCartelle(radice + "\\prg\\com\\drumal\\bin");
        CreaCartelle(radice + "\\prg\\etc");
        return radice + "\\prg\\com\\drumal\\bin\\tarnel.exe";
    }
    std::string Etc(const std::string &relativa, const std::string &file)
    {
        return base + "\\" + relativa + "\\prg\\etc\\" + file;
    }
    void ScriviIni(const std::string &nome, const std::string &contenuto)
    {
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof windows);
        std::string path = std::string(windows) + "\\" + nome;
        ASSERT_TRUE(ScriviFile(path, contenuto));
        iniScritti.push_back(path);
    }
    /* Una cartella nella radice di C:, tolta alla fine. */
    std::string CartellaInRadice(const std::string &nome)
    {
        std::string cartella = "C:\\" + nome;
        CreaCartelle(cartella);
        cartelleRadice.push_back(cartella);
        return cartella;
    }
    void Record0(const char *drive, const std::string &sistInfo, const std::string &share)
    {
        memset(&TabellaInfoInstallazione, 0, sizeof TabellaInfoInstallazione);
        TabellaInfoInstallazione.numAmbienti = 1;
        CopiaTesto(TabellaInfoInstallazione.ambienti[0].drive, DIM_PATH, drive);
        CopiaTesto(TabellaInfoInstallazione.ambienti[0].sistInfo, DIM_PATH, sistInfo.c_str());
        CopiaTesto(TabellaInfoInstallazione.ambienti[0].strPathShare, DIM_PATH, share.c_str());
    }

    TabellaAmbienti salvata;
    EnumerazioneShare enumerazioneSalvata = NULL;
    std::string cartellaSalvata, base, pathLog;
    std::vector<std::string> iniScritti, cartelleRadice;
    size_t inizioLog = 0;
};

const std::string ASSENTE = "<assente>";

const char *const LOG_INIZIO =
    "InfoInstallazione - sistInfo = >%S< \n"
    "InfoInstallazione - rootSistInfo = >{R}< \n"
    "InfoInstallazione - pathConfigur = >{R}\\prg\\etc\\configur< \n";

std::string LogInizio(const std::string &sistInfo)
{
    return Sostituisci(LOG_INIZIO, "%S", sistInfo);
}

TEST_F(Installazione, DriveDaConfigurIniOPathconf)
{
    const std::string pathconfY = std::string(76, '.') + "N\r\ny:" + std::string(74, '.') + "S\r\n";
    ScriviIni("tarvo.ini", "[Parametri]\r\nSetup=e:\r\n");
    ScriviIni("quibo.ini", "[Parametri]\r\nAltro=F:\r\n");
    const std::string driveConfigur = "Il drive nel quale e' installato il sistema informativo in linea (\"%D:\") e' stato "
                                      "ricavato dal file di configurazione \"{R}\\prg\\etc\\configur\"\n";
    const std::string drivePathconf = "InfoInstallazione - pathPathConf = >{R}\\prg\\etc\\pathconf< \n"
                                      "Il drive nel quale e' installato il sistema informativo in linea (\"Y:\") e' stato "
                                      "ricavato dal file di configurazione \"{R}\\prg\\etc\\pathconf\"\n";
    const std::string nonConfigurato = "InfoInstallazione - pathPathConf = >{R}\\prg\\etc\\pathconf< \n"
                                       "Impossibile determinare il drive di installazione leggendo\nil file: "
                                       "\"{R}\\prg\\etc\\pathconf\"\nIl programma non e' configurato correttamente\n";
    struct Caso {
        const char *nome;
        const char *relativa, *sistInfo;
        std::string configur, pathconf;  // ASSENTE: nessun file
        int esito;
        const char *drive;
        std::string logSeguito;
    } casi[] = {
        {"configur z:", "ARCHIVI\\GEST1", "GEST1", "z:\r\nx\r\n", pathconfY, 1, "Z",
         Sostituisci(driveConfigur, "%D", "Z")},
        {"configur vuoto vince su INI e pathconf", "tarvo", "tarvo", "", pathconfY, 0, "",
         "Impossibile leggere il contenuto del file di autoconfigurazione: \"{R}\\prg\\etc\\configur\"\n"},
        {"configur senza drive", "ARCHIVI\\GEST1", "GEST1", "ARCHIVI\r\n", pathconfY, 0, "",
         "Impossibile determinare il drive di installazione leggendo\nil file: \"{R}\\prg\\etc\\configur\"\n"
         "Il programma non e' installato correttamente\n"},
        {"INI del prodotto", "tarvo", "tarvo", ASSENTE, pathconfY, 1, "E",
         "Il drive nel quale e' installato il sistema informativo in linea (\"E:\") e' stato ricavato dal file INI "
         "\"tarvo.ini\"\n"},
        {"chiave mancante: poi pathconf", "ARCHIVI\\quibo", "quibo", ASSENTE, pathconfY, 1, "Y",
         "Impossibile leggere il drive nel quale e' installato il sistema informativo in linea (es.: \"Z:\") dal "
         "file INI \"quibo.ini\"\n" + drivePathconf},
        {"file INI mancante: poi pathconf", "velmar", "velmar", ASSENTE, pathconfY, 1, "Y",
         "Impossibile leggere il drive nel quale e' installato il sistema informativo in linea (es.: \"Z:\") dal "
         "file INI \"velmar.ini\"\n" + drivePathconf},
        {"riga senza file INI", "tormina", "tormina", ASSENTE, pathconfY, 1, "Y",
         "Impossibile leggere il drive nel quale e' installato il sistema informativo in linea (es.: \"Z:\") dal "
         "file INI \"\"\n" + drivePathconf},
        {"nessun prodotto: solo pathconf", "kzo\\GEST1", "", ASSENTE, pathconfY, 1, "Y", drivePathconf},
        {"riga marcata senza drive", "ARCHIVI\\GEST1", "GEST1", ASSENTE, std::string(76, '1') + "S\r\n", 0, "",
         nonConfigurato},
        {"nessuna riga marcata", "ARCHIVI\\GEST1", "GEST1", ASSENTE, "y:\r\n", 0, "", nonConfigurato},
        {"pathconf mancante", "ARCHIVI\\GEST1", "GEST1", ASSENTE, ASSENTE, 0, "",
         "InfoInstallazione - pathPathConf = >{R}\\prg\\etc\\pathconf< \n"
         "Impossibile aprire il file di configurazione: \"{R}\\prg\\etc\\pathconf\"\n"
         "Il programma non e' configurato correttamente\n"},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.nome);
        std::string path = Ambiente(c.relativa);
        std::string radice = base + "\\" + c.relativa;
        std::string configur = Etc(c.relativa, "configur"), pathconf = Etc(c.relativa, "pathconf");
        if (c.configur != ASSENTE) {
            ASSERT_TRUE(ScriviFile(configur, c.configur));
        }
        if (c.pathconf != ASSENTE) {
            ASSERT_TRUE(ScriviFile(pathconf, c.pathconf));
        }
        char drive[DIM_PATH] = "", sistInfo[DIM_PATH] = "";
        char rootSistInfo[DIM_PATH] = "";
        SegnaLog();
        EXPECT_EQ(c.esito, InfoInstallazione(path.c_str(), drive, sistInfo, rootSistInfo));
        EXPECT_EQ(Espandi(LogInizio(c.sistInfo) + c.logSeguito, radice, base), LogNuovo());
        EXPECT_EQ(radice, rootSistInfo);
        EXPECT_STREQ(c.sistInfo, sistInfo);
        if (c.esito) {
            EXPECT_STREQ(c.drive, drive);
        }
        // I file letti sono di nuovo chiusi: si possono cancellare.
        if (c.configur != ASSENTE) {
            EXPECT_TRUE(DeleteFileA(configur.c_str()));
        }
        if (c.pathconf != ASSENTE) {
            EXPECT_TRUE(DeleteFileA(pathconf.c_str()));
        }
    }
}

TEST_F(Installazione, PercorsoDelProgrammaFuoriDalleCartelleDelProdotto)
{
    for (std::string path : {base + "\\GEST1\\prg\\com\\bin\\tarnel.exe", std::string("C:\\a.exe")}) {
        SegnaLog();
        char drive[DIM_PATH] = "", sistInfo[DIM_PATH] = "";
        char rootSistInfo[DIM_PATH] = "";
        EXPECT_EQ(0, InfoInstallazione(path.c_str(), drive, sistInfo, rootSistInfo));
        EXPECT_EQ("Nel pathname del servizio (\"" + path + "\")\nla directory \"...\\prg\\com\\drumal\" non e' "
                  "presente. Il programma non e' installato correttamente\n",
                  LogNuovo());
    }
}

TEST_F(Installazione, MaiuscoleNelPercorsoDelProgramma)
{
    std::string path = Ambiente("ARCHIVI\\GEST1");
    path = base + "\\ARCHIVI\\GEST1\\PRG\\COM\\DRUMAL\\BIN\\TARNEL.EXE";
    ASSERT_TRUE(ScriviFile(Etc("ARCHIVI\\GEST1", "configur"), "c:\r\n"));
    char drive[DIM_PATH] = "", sistInfo[DIM_PATH] = "";
    char rootSistInfo[DIM_PATH] = "";
    EXPECT_EQ(1, InfoInstallazione(path.c_str(), drive, sistInfo, rootSistInfo));
    EXPECT_STREQ("C", drive);
    EXPECT_STREQ("GEST1", sistInfo);
    EXPECT_EQ(base + "\\ARCHIVI\\GEST1", rootSistInfo);
}

TEST_F(Installazione, StandAloneSulDiscoFissoSenzaShare)
{
    // L'enumerazione del sistema qui non e' disponibile: vale come share non trovato.
    std::string path = Ambiente("GEST1");
    ASSERT_TRUE(ScriviFile(Etc("GEST1", "configur"), "c:\r\n"));
    ASSERT_TRUE(passiInstallazione.elencaShare == ElencaShareDiSistema);
    EXPECT_EQ(1, AnalisiAmbientiDaPercorso(path.c_str()));
    ASSERT_EQ(1, TabellaInfoInstallazione.numAmbienti);
    EXPECT_STREQ("C", TabellaInfoInstallazione.ambienti[0].drive);
    EXPECT_STREQ("GEST1", TabellaInfoInstallazione.ambienti[0].sistInfo);
    EXPECT_STREQ("", TabellaInfoInstallazione.ambienti[0].strPathShare);
    std::string atteso =
        "AnalisiAmbientiInstallati - strPathSistInfo " + path + " \n" + LogInizio("GEST1") +
        "Il drive nel quale e' installato il sistema informativo in linea (\"C:\") e' stato ricavato dal file di "
        "configurazione \"{R}\\prg\\etc\\configur\"\n"
        "AnalisiAmbientiInstallati - drive >C< sistInfo >GEST1< rootSistInfo >{R}< \n"
        "RicercaNetShare NON HO TROVATO SHARE con GEST1 \n"
        "Il sistema informativo in linea e' installato in modalita' stand alone nell'hard disk locale \"C:\"\n"
        "L'ambiente in linea non possiede ambienti duplicati\n";
    // L'enumerazione fallita lascia la sua riga d'errore, con il testo di sistema che Wine sceglie.
    std::string log = LogNuovo();
    std::smatch rigaErrore;
    ASSERT_TRUE(std::regex_search(log, rigaErrore, std::regex("RicercaNetShare - NetShareEnum: errore 50: [^\n]*\n")));
    log.erase(rigaErrore.position(0), rigaErrore.length(0));
    EXPECT_EQ(Espandi(atteso, base + "\\GEST1", base), log);

    int visite = 0;
    auto conta = [](void *contesto, const char *) { return ++*(int *)contesto, 0; };
    int esito = ElencaShareDiSistema(conta, &visite);
    DWORD codice = GetLastError();
    EXPECT_EQ(0, esito);
    EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, codice);
    EXPECT_EQ(0, visite);
}

TEST_F(Installazione, SenzaShareSuUnDriveNonFissoFallisce)
{
    char lettera = LetteraLibera();
    ASSERT_NE(0, lettera);
    std::string path = Ambiente("GEST1");
    ASSERT_TRUE(ScriviFile(Etc("GEST1", "configur"), std::string(1, lettera) + ":\r\n"));
    passiInstallazione.elencaShare = EnumerazioneFallita;
    EXPECT_EQ(0, AnalisiAmbientiDaPercorso(path.c_str()));
    EXPECT_EQ(0, TabellaInfoInstallazione.numAmbienti);
    EXPECT_THAT(LogNuovo(), EndsWith("RicercaNetShare NON HO TROVATO SHARE con GEST1 \n"
                                     "Impossibile determinare il pathname di condivisione (\"Net Share\")\nche "
                                     "implementa il drive: \"" +
                                     std::string(1, lettera) + ":\"\n"));
}

TEST_F(Installazione, SenzaInformazioniDInstallazioneNessunaTabella)
{
    std::string path = Ambiente("GEST1");  // nessun file di configurazione
    TabellaInfoInstallazione.numAmbienti = 5;
    EXPECT_EQ(0, AnalisiAmbientiDaPercorso(path.c_str()));
    EXPECT_EQ(0, TabellaInfoInstallazione.numAmbienti);
    std::string log = LogNuovo();
    EXPECT_THAT(log, EndsWith("Il programma non e' configurato correttamente\n"));
    EXPECT_THAT(log, Not(HasSubstr("RicercaNetShare")));
}

TEST_F(Installazione, PrimoShareCheContieneLAmbiente)
{
    for (const char *cartella : {"VUOTA", "ARCHIVI\\GEST1", "ALTRO\\GEST1", "FILE"})
        CreaCartelle(base + "\\" + cartella);
    ASSERT_TRUE(ScriviFile(base + "\\FILE\\GEST1", "non e' una cartella"));
    CartellaInRadice("tnlinst_radice");
    std::string vuota = base + "\\VUOTA", archivi = base + "\\ARCHIVI", altro = base + "\\ALTRO";
    struct Caso {
        const char *nome;
        std::vector<std::string> share;
        std::string dirRootAppli;
        std::string trovata;  // vuota: nessuno share
    } casi[] = {
        {"il primo che la contiene", {vuota, archivi, altro}, "GEST1", archivi},
        {"l'ordine decide", {altro, archivi}, "GEST1", altro},
        {"un file non basta", {base + "\\FILE", archivi}, "GEST1", archivi},
        {"cartella inesistente saltata", {base + "\\NONCE", altro}, "GEST1", altro},
        {"share gia' con la barra", {archivi + "\\"}, "GEST1", archivi + "\\"},
        {"share radice di un drive", {vuota, "C:\\"}, "tnlinst_radice", "C:\\"},
        {"nome vuoto: lo share stesso", {base + "\\NONCE", vuota, archivi}, "", vuota},
        {"nessuno la contiene", {vuota, base + "\\FILE"}, "GEST1", ""},
        {"nessuno share", {}, "GEST1", ""},
    };
    passiInstallazione.elencaShare = ElencaShareProva;
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.nome);
        shareProva = c.share;
        char strPathShare[DIM_PATH] = "";
        SegnaLog();
        EXPECT_EQ(c.trovata.empty() ? 0 : 1, RicercaNetShare(c.dirRootAppli.c_str(), strPathShare));
        if (c.trovata.empty()) {
            EXPECT_EQ("RicercaNetShare NON HO TROVATO SHARE con " + c.dirRootAppli + " \n", LogNuovo());
        } else {
            EXPECT_EQ(c.trovata, strPathShare);
            EXPECT_EQ("RicercaNetShare TROVATA dirRootAppli = " + c.dirRootAppli + " \t strPathShare = " + c.trovata +
                          " \n",
                      LogNuovo());
        }
    }

    passiInstallazione.elencaShare = EnumerazioneFallita;
    char strPathShare[DIM_PATH] = "";
    SegnaLog();
    EXPECT_EQ(0, RicercaNetShare("GEST1", strPathShare));
    EXPECT_EQ("RicercaNetShare NON HO TROVATO SHARE con GEST1 \n", LogNuovo());
}

TEST_F(Installazione, AmbienteInLineaInUnoShare)
{
    std::string path = Ambiente("ARCHIVI\\GEST1");
    CreaCartelle(base + "\\ALTRO\\GEST1");
    ASSERT_TRUE(ScriviFile(Etc("ARCHIVI\\GEST1", "configur"), "z:\r\n"));
    shareProva = {base + "\\VUOTA", base + "\\ARCHIVI", base + "\\ALTRO"};
    passiInstallazione.elencaShare = ElencaShareProva;
    EXPECT_EQ(1, AnalisiAmbientiDaPercorso(path.c_str()));
    ASSERT_EQ(1, TabellaInfoInstallazione.numAmbienti);
    EXPECT_STREQ("Z", TabellaInfoInstallazione.ambienti[0].drive);
    EXPECT_STREQ("GEST1", TabellaInfoInstallazione.ambienti[0].sistInfo);
    EXPECT_EQ(base + "\\ARCHIVI", TabellaInfoInstallazione.ambienti[0].strPathShare);
    EXPECT_THAT(LogNuovo(), EndsWith("AnalisiAmbientiInstallati - drive >Z< sistInfo >GEST1< rootSistInfo >" + base +
                                     "\\ARCHIVI\\GEST1< \n"
                                     "RicercaNetShare TROVATA dirRootAppli = GEST1 \t strPathShare = " +
                                     base + "\\ARCHIVI \n"
                                            "L'ambiente in linea non possiede ambienti duplicati\n"));
}

TEST_F(Installazione, DuplicatiDaDuplicaCfg)
{
    std::string path = Ambiente("ARCHIVI\\GEST1");
    for (const char *cartella : {"ARCHIVI\\GEST2", "ALTRO\\GEST3"})
        CreaCartelle(base + "\\" + cartella);
    ASSERT_TRUE(ScriviFile(Etc("ARCHIVI\\GEST1", "configur"), "z:\r\n"));
    std::string pathDuplica = Etc("ARCHIVI\\GEST1", "duplica.cfg");
    ASSERT_TRUE(ScriviFile(pathDuplica, RigaDuplica("Z:\\GEST2") + "\r\n" + "00001Y:\\GEST3\r\n" + RigaDuplica("") +
                                            RigaDuplica("x:\\NOPE") + RigaDuplica("w:\\GEST3") +
                                            RigaDuplica("V:\\GEST2", std::string(600, '-') + "\r\n")));
    shareProva = {base + "\\ARCHIVI", base + "\\ALTRO"};
    passiInstallazione.elencaShare = ElencaShareProva;
    SegnaLog();
    EXPECT_EQ(1, AnalisiAmbientiDaPercorso(path.c_str()));
    EXPECT_TRUE(DeleteFileA(pathDuplica.c_str()));

    struct {
        const char *drive, *sistInfo, *share;
    } attesi[] = {
        {"Z", "GEST1", "{B}\\ARCHIVI"},
        {"Z:\\GEST2", "GEST2", "{B}\\ARCHIVI"},
        {"w:\\GEST3", "GEST3", "{B}\\ALTRO"},
        {"V:\\GEST2", "GEST2", "{B}\\ARCHIVI"},
    };
    ASSERT_EQ(4, TabellaInfoInstallazione.numAmbienti);
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(attesi[i].drive, TabellaInfoInstallazione.ambienti[i].drive);
        EXPECT_STREQ(attesi[i].sistInfo, TabellaInfoInstallazione.ambienti[i].sistInfo);
        EXPECT_EQ(Espandi(attesi[i].share, "", base), TabellaInfoInstallazione.ambienti[i].strPathShare);
    }
    const std::string nonTrovato = "Impossibile determinare il pathname di condivisione (\"Net Share\") dell'ambiente "
                                   "duplicato \"%s\" specificato nel file \"{R}\\prg\\etc\\duplica.cfg\"\n";
    auto NonTrovato = [&](const std::string &campo) { return Sostituisci(nonTrovato, "%s", campo); };
    std::string trattini(27, '-');
    std::string atteso = "RicercaNetShare TROVATA dirRootAppli = GEST2 \t strPathShare = {B}\\ARCHIVI \n" +
                         NonTrovato("") + NonTrovato("Y:\\GEST3") + NonTrovato("") +
                         "RicercaNetShare NON HO TROVATO SHARE con NOPE \n" + NonTrovato("x:\\NOPE") +
                         "RicercaNetShare TROVATA dirRootAppli = GEST3 \t strPathShare = {B}\\ALTRO \n"
                         "RicercaNetShare TROVATA dirRootAppli = GEST2 \t strPathShare = {B}\\ARCHIVI \n"
                         "RicercaNetShare NON HO TROVATO SHARE con " +
                         trattini + " \n" + NonTrovato("---" + trattini);
    std::string log = LogNuovo();
    EXPECT_THAT(log, EndsWith(Espandi(atteso, base + "\\ARCHIVI\\GEST1", base))) << log;
}

TEST_F(Installazione, TabellaPienaAlVentesimoRecord)
{
    std::string path = Ambiente("ARCHIVI\\GEST1");
    ASSERT_TRUE(ScriviFile(Etc("ARCHIVI\\GEST1", "configur"), "z:\r\n"));
    std::string righe;
    for (int i = 1; i <= 19; i++) {
        std::string nome = "DUP" + std::to_string(i);
        CreaCartelle(base + "\\ARCHIVI\\" + nome);
        righe += RigaDuplica("Y:\\" + nome);
    }
    std::string pathDuplica = Etc("ARCHIVI\\GEST1", "duplica.cfg");
    shareProva = {base + "\\ARCHIVI"};
    passiInstallazione.elencaShare = ElencaShareProva;

    size_t fine18 = 0;
    for (int n = 0; n < 18; n++)
        fine18 = righe.find('\n', fine18) + 1;
    ASSERT_TRUE(ScriviFile(pathDuplica, righe.substr(0, fine18)));
    EXPECT_EQ(1, AnalisiAmbientiDaPercorso(path.c_str()));
    EXPECT_TRUE(DeleteFileA(pathDuplica.c_str()));
    ASSERT_EQ(19, TabellaInfoInstallazione.numAmbienti);
    EXPECT_STREQ("Y:\\DUP18", TabellaInfoInstallazione.ambienti[18].drive);
    EXPECT_STREQ("DUP18", TabellaInfoInstallazione.ambienti[18].sistInfo);

    // 19 righe risolte: il ventesimo record riempie la tabella; la riga seguente non si legge piu'.
    ASSERT_TRUE(ScriviFile(pathDuplica, righe + RigaDuplica("Y:\\DOPO")));
    SegnaLog();
    EXPECT_EQ(0, AnalisiAmbientiDaPercorso(path.c_str()));
    EXPECT_TRUE(DeleteFileA(pathDuplica.c_str()));
    std::string log = LogNuovo();
    EXPECT_THAT(log, EndsWith("RicercaNetShare TROVATA dirRootAppli = DUP19 \t strPathShare = " + base +
                              "\\ARCHIVI \nOverflow tabella informazioni di installazione"));
    EXPECT_THAT(log, Not(HasSubstr("DOPO")));
}

TEST_F(Installazione, DriveRaggiungibileConESenzaAmbiente)
{
    std::string nome = "tnlinst_conn";
    CartellaInRadice(nome);
    struct Caso {
        std::string sistInfo;
        int esito;
        std::string log;
    } casi[] = {
        {nome, 1, ""},
        {"", 1, ""},
        {"tnlinst_manca", 0,
         "Il drive \"C:\" e' connesso ma nella root directory non\ne' installato il sistema informativo "
         "\"tnlinst_manca\" \n"},
    };
    std::string dispositivoC = DispositivoDi('C');
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.sistInfo);
        Record0("C", c.sistInfo, "");
        ASSERT_EQ(0, _chdrive(26));
        SegnaLog();
        EXPECT_EQ(c.esito, ConnessioneNetworkDrive());
        EXPECT_EQ("ConnessioneNetworkDrive - Drive in esame C \nConnessioneNetworkDrive - chdrive riuscita  \n" + c.log,
                  LogNuovo());
        EXPECT_EQ(3, _getdrive());
        EXPECT_EQ(dispositivoC, DispositivoDi('C'));
    }
}

TEST_F(Installazione, DriveIrraggiungibileSostituitoDalloShare)
{
    char lettera = LetteraLibera();
    ASSERT_NE(0, lettera);
    const char nomeDrive[3] = {lettera, ':', '\0'};
    std::string archivi = base + "\\ARCHIVI";
    CreaCartelle(archivi + "\\GEST1");
    Record0(nomeDrive, "GEST1", archivi);
    int driveCorrente = _getdrive();
    EXPECT_EQ(1, ConnessioneNetworkDrive());
    EXPECT_EQ("\\??\\" + archivi, DispositivoDi(lettera));
    EXPECT_TRUE(DefineDosDeviceA(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, nomeDrive, archivi.c_str()));
    EXPECT_EQ("", DispositivoDi(lettera));
    EXPECT_EQ(driveCorrente, _getdrive());
    EXPECT_EQ(std::string("ConnessioneNetworkDrive - Drive in esame ") + lettera +
                  " \nConnessioneNetworkDrive - chdrive fallita \n",
              LogNuovo());

    // Senza cartella dello share la subst e' rifiutata.
    Record0(nomeDrive, "GEST1", "");
    SegnaLog();
    EXPECT_EQ(0, ConnessioneNetworkDrive());
    EXPECT_EQ("", DispositivoDi(lettera));
    EXPECT_THAT(LogNuovo(), StartsWith(std::string("ConnessioneNetworkDrive - Drive in esame ") + lettera +
                                       " \nConnessioneNetworkDrive - chdrive fallita \nImpossibile connettere con "
                                       "Subst il drive \"" +
                                       nomeDrive + "\" al pathname \"\"\n: errore "));
}

TEST_F(Installazione, SoloIlDriveDellAmbienteInLinea)
{
    char lettera = LetteraLibera();
    ASSERT_NE(0, lettera);
    std::string nome = "tnlinst_conn";
    CartellaInRadice(nome);
    Record0("C", nome, "");
    TabellaInfoInstallazione.numAmbienti = 2;
    FormattaTesto(TabellaInfoInstallazione.ambienti[1].drive, DIM_PATH, "%c:\\GEST2", lettera);
    CopiaTesto(TabellaInfoInstallazione.ambienti[1].sistInfo, DIM_PATH, "GEST2");
    CopiaTesto(TabellaInfoInstallazione.ambienti[1].strPathShare, DIM_PATH, base.c_str());
    EXPECT_EQ(1, ConnessioneNetworkDrive());
    EXPECT_EQ("", DispositivoDi(lettera));
    EXPECT_THAT(LogNuovo(), Not(HasSubstr(std::string("Drive in esame ") + lettera)));
}

TEST_F(Installazione, AvvioConDriveDiReteSostituitoDalloShare)
{
    // Il drive degli utenti non esiste per il servizio: record 0 dallo share, poi la subst.
    char lettera = LetteraLibera();
    ASSERT_NE(0, lettera);
    const char nomeDrive[3] = {lettera, ':', '\0'};
    std::string path = Ambiente("ARCHIVI\\GEST1");
    ASSERT_TRUE(ScriviFile(Etc("ARCHIVI\\GEST1", "configur"), std::string(nomeDrive) + "\r\n"));
    std::string archivi = base + "\\ARCHIVI";
    shareProva = {archivi};
    passiInstallazione.elencaShare = ElencaShareProva;
    ASSERT_EQ(1, AnalisiAmbientiDaPercorso(path.c_str()));
    SegnaLog();
    EXPECT_EQ(1, ConnessioneNetworkDrive());
    EXPECT_EQ("\\??\\" + archivi, DispositivoDi(lettera));
    ScriviElencoAmbienti();
    EXPECT_TRUE(DefineDosDeviceA(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, nomeDrive, archivi.c_str()));
    EXPECT_EQ(std::string("ConnessioneNetworkDrive - Drive in esame ") + lettera +
                  " \nConnessioneNetworkDrive - chdrive fallita \nAmbiente in linea: \"" + nomeDrive +
                  "\\GEST1\" ---> \"" + archivi + "\"\n",
              LogNuovo());
}

TEST_F(Installazione, PercorsoDelProgrammaDalSistema)
{
    // L'eseguibile di prova non sta nelle cartelle del prodotto.
    char path[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(NULL, path, sizeof path));
    TabellaInfoInstallazione.numAmbienti = 3;
    EXPECT_EQ(0, AnalisiAmbientiInstallati());
    EXPECT_EQ(0, TabellaInfoInstallazione.numAmbienti);
    EXPECT_THAT(LogNuovo(), StartsWith("AnalisiAmbientiInstallati - strPathSistInfo " + std::string(path) +
                                       " \nNel pathname del servizio (\"" + path + "\")\n"));
}

TEST_F(Installazione, RimappaturaSenzaNomeRemotoLasciaIlDrive)
{
    std::string dispositivoC = DispositivoDi('C');
    RimappaDriveRemoto('C', base.c_str());
    EXPECT_EQ(dispositivoC, DispositivoDi('C'));
    EXPECT_THAT(LogNuovo(), StartsWith("InstallazioneServizio - prima di FromRemoteDriveToUNC drive C:\n"
                                       "FromRemoteDriveToUNC - C: Drive remoto\n: errore 2250: "));
    EXPECT_THAT(LogNuovo(), Not(HasSubstr("WNetCancelConnection2")));

    char uncName[DIM_PATH] = "x";
    SegnaLog();
    EXPECT_EQ(0, FromRemoteDriveToUNC("C:", uncName));
    EXPECT_STREQ("", uncName);
    EXPECT_THAT(LogNuovo(), StartsWith("FromRemoteDriveToUNC - C: Drive remoto\n: errore 2250: "));
}

} // namespace
