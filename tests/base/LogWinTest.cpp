/* tests/base/LogWinTest.cpp - il file di log vero: ogni prova esegue scrittore_log.exe, copiato in
 * una cartella propria, una o piu' volte; ogni esecuzione e' un processo che apre il log da capo. */
#include "base/Log.h"

#include "tests/finti/ProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

using ::testing::HasSubstr;

static const std::string bannerFile = "\r\n\r\n_______ Inizio log ___________________________________________________\r\n\r\n";
static const std::string timestamp = "[0-3][0-9]/[01][0-9]/20[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]: ";

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        cartella = CartellaNuova("tarnellog");
        eseguibile = cartella + "\\scrittore_log.exe";
        ASSERT_TRUE(CopyFileA((CartellaEseguibile() + "scrittore_log.exe").c_str(), eseguibile.c_str(), FALSE));
        pathLog = cartella + "\\tarnel.log";
    }
    void TearDown() override { RimuoviAlbero(cartella); }
    int Scrivi(const std::string &argomenti) { return EseguiProcesso("\"" + eseguibile + "\" " + argomenti, 30000); }
    std::string cartella, eseguibile, pathLog;
};

/* Toglie banner e data-ora da ogni record: resta il testo dei record, per confronti esatti. */
static std::string SoloTesti(const std::string &contenuto)
{
    return std::regex_replace(contenuto, std::regex(timestamp), "");
}

TEST_F(LogFile, BannerAOgniAperturaERecordConDataEOra)
{
    ASSERT_EQ(0, Scrivi("r:uno\\n r:due\\n"));
    ASSERT_EQ(0, Scrivi("r:tre\\n"));
    std::string contenuto = LeggiFile(pathLog);
    EXPECT_TRUE(CorrispondeTutto(contenuto, bannerFile + timestamp + "uno\r\n" + timestamp + "due\r\n" + bannerFile +
                                        timestamp + "tre\r\n")) << contenuto;
}

TEST_F(LogFile, RecordSenzaACapoProsegueNelSeguente)
{
    ASSERT_EQ(0, Scrivi("\"r:ServerCtrlHandlerEx - Resume RESUMESUSPEND\" r:seguito\\n"));
    EXPECT_TRUE(CorrispondeTutto(LeggiFile(pathLog), bannerFile + timestamp + "ServerCtrlHandlerEx - Resume RESUMESUSPEND" + timestamp + "seguito\r\n")) << LeggiFile(pathLog);
}

TEST_F(LogFile, AllAperturaOltreIlLimiteLeGenerazioniSalgono)
{
    struct {
        size_t dimensione;
        bool ruota;
    } casi[] = {{DIMENSIONE_MASSIMA_LOG, false}, {DIMENSIONE_MASSIMA_LOG + 1, true}};
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.dimensione);
        // Generazioni 1..9 gia' piene: la 9 si perde, le altre salgono di un numero.
        for (int n = 1; n <= 9; n++)
            ASSERT_TRUE(ScriviFile(pathLog + "." + std::to_string(n), "generazione " + std::to_string(n)));
        std::string vecchio(caso.dimensione, 'v');
        ASSERT_TRUE(ScriviFile(pathLog, vecchio));
        ASSERT_EQ(0, Scrivi("r:record\\n"));
        std::string contenuto = LeggiFile(pathLog);
        std::string atteso = bannerFile + timestamp + "record\r\n";
        if (caso.ruota) {
            EXPECT_TRUE(CorrispondeTutto(contenuto, atteso)) << contenuto;
            EXPECT_EQ(vecchio, LeggiFile(pathLog + ".1"));
            for (int n = 2; n <= 9; n++)
                EXPECT_EQ("generazione " + std::to_string(n - 1), LeggiFile(pathLog + "." + std::to_string(n)));
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((pathLog + ".10").c_str()));
        } else {
            EXPECT_EQ("generazione 1", LeggiFile(pathLog + ".1"));
            ASSERT_GT(contenuto.size(), vecchio.size());
            EXPECT_EQ(vecchio, contenuto.substr(0, vecchio.size()));
            EXPECT_TRUE(CorrispondeTutto(contenuto.substr(vecchio.size()), atteso)) << contenuto.substr(vecchio.size());
        }
    }
}

TEST_F(LogFile, RecordDErroreConCodiceETestoDiSistema)
{
    char *testoSistema = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, 2,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&testoSistema, 0, NULL);
    ASSERT_NE(nullptr, testoSistema);
    std::string testo = testoSistema;
    LocalFree(testoSistema);
    // Il testo di sistema chiude da se' la riga; un codice senza testo la chiude con l'a capo.
    ASSERT_EQ(0, Scrivi("e:2:bind \"e:0x20001234:ServiceMain - SetServiceStatus\" e:0xE0000001:negativo r:dopo\\n"));
    std::string contenuto = SoloTesti(LeggiFile(pathLog));
    std::string atteso =
        bannerFile + "bind: errore 2: " + std::regex_replace(testo, std::regex("\n"), "\r\n") +
        "ServiceMain - SetServiceStatus: errore 536875572: \r\n" + "negativo: errore -536870911: \r\n" + "dopo\r\n";
    EXPECT_EQ(atteso, contenuto);
}

TEST_F(LogFile, TestoDErroreOltreLAreaVieneTagliato)
{
    ASSERT_EQ(0, Scrivi("e:0x20001234:" + std::string(600, 'k')));
    EXPECT_EQ(bannerFile + std::string(DIM_TESTO_ERRORE - 1, 'k') + ": errore 536875572: \r\n", SoloTesti(LeggiFile(pathLog)));
}

TEST_F(LogFile, CartellaRavktempComeFileOComeCartella)
{
    const std::string ravk = "C:\\RAVKTEMP";
    RimuoviAlbero(ravk);
    CreaCartelle(ravk);
    ASSERT_TRUE(ScriviFile(ravk + "\\log", "non una cartella"));
    ASSERT_EQ(0, Scrivi("p"));
    EXPECT_THAT(SoloTesti(LeggiFile(pathLog)), HasSubstr(pathLog + "\r\n"));

    DeleteFileA((ravk + "\\log").c_str());
    CreaCartelle(ravk + "\\log");
    ASSERT_EQ(0, Scrivi("p"));
    std::string ravkLog = LeggiFile(ravk + "\\log\\tarnel.log");
    RimuoviAlbero(ravk);
    EXPECT_EQ(bannerFile + "C:\\RAVKTEMP\\log\\tarnel.log\r\n", SoloTesti(ravkLog));
}

TEST_F(LogFile, AperturaFallitaPerdeIlRecordERiprovaAlSeguente)
{
    // Una cartella con il nome del log impedisce l'apertura; rimossa, la chiamata dopo apre.
    CreaCartelle(pathLog);
    ASSERT_EQ(0, Scrivi("r:perso\\n \"x:" + pathLog + "\" r:scritto\\n"));
    EXPECT_EQ(bannerFile + "scritto\r\n", SoloTesti(LeggiFile(pathLog)));
}

TEST_F(LogFile, MoltiThreadLascianoOgniRecordIntero)
{
    const int numThread = 16, numRecord = 200;
    ASSERT_EQ(0, Scrivi("t:" + std::to_string(numThread) + ":" + std::to_string(numRecord)));
    std::string contenuto = LeggiFile(pathLog);
    ASSERT_EQ(0u, contenuto.find(bannerFile));
    std::regex record("^" + timestamp + "thread ([0-9]{2}) record ([0-9]{4}) abcdefghijklmnopqrstuvwxyz0123456789\r$");
    std::vector<int> prossimo(numThread, 0);
    size_t inizio = bannerFile.size();
    int righe = 0;
    while (inizio < contenuto.size()) {
        size_t fine = contenuto.find('\n', inizio);
        ASSERT_NE(std::string::npos, fine);
        std::string riga = contenuto.substr(inizio, fine - inizio);
        std::smatch parti;
        ASSERT_TRUE(std::regex_match(riga, parti, record)) << riga;
        int thread = std::stoi(parti[1]);
        EXPECT_EQ(prossimo[thread]++, std::stoi(parti[2]));  // ogni thread in ordine, nessuno perso
        righe++;
        inizio = fine + 1;
    }
    EXPECT_EQ(numThread * numRecord, righe);
}

/* Le righe scritte da due processi con "n:A:N" e "n:B:N": ognuno in ordine, nessuna riga estranea. */
struct RecordDueProcessi {
    int prossimo[2] = {0, 0};
    int banner = 0, alternanze = 0;
};

static RecordDueProcessi LeggiRecordDueProcessi(const std::string &contenuto)
{
    RecordDueProcessi letti;
    const std::string rigaBanner = bannerFile.substr(4, bannerFile.size() - 8) + "\r";  // senza le righe vuote
    const std::regex record("^" + timestamp + "processo ([AB]) record ([0-9]{4}) abcdefghijklmnopqrstuvwxyz0123456789\r$");
    char ultimo = 0;
    size_t inizio = 0;
    while (inizio < contenuto.size()) {
        size_t fine = contenuto.find('\n', inizio);
        if (fine == std::string::npos) {
            ADD_FAILURE() << "riga senza fine: " << contenuto.substr(inizio);
            break;
        }
        std::string riga = contenuto.substr(inizio, fine - inizio);
        inizio = fine + 1;
        if (riga == "\r" || riga == rigaBanner) {
            letti.banner += riga == rigaBanner;
            continue;
        }
        std::smatch parti;
        if (!std::regex_match(riga, parti, record)) {
            ADD_FAILURE() << riga;
            continue;
        }
        char processo = parti[1].str()[0];
        EXPECT_EQ(letti.prossimo[processo - 'A']++, std::stoi(parti[2]));  // in ordine, nessuno perso o doppio
        letti.alternanze += ultimo != 0 && ultimo != processo;
        ultimo = processo;
    }
    return letti;
}

/* Il primo processo crea il file; il secondo parte quando il file c'e'. Scrivono insieme. */
static void ScriviInDue(const std::string &eseguibile, const std::string &pathLog, const std::string &prima,
                        int numRecord)
{
    HANDLE primo = AvviaProcesso("\"" + eseguibile + "\" " + prima + "n:A:" + std::to_string(numRecord));
    ASSERT_NE(nullptr, primo);
    for (int i = 0; i < 5000 && GetFileAttributesA(pathLog.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(1);
    EXPECT_EQ(0, EseguiProcesso("\"" + eseguibile + "\" " + prima + "n:B:" + std::to_string(numRecord), 30000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(primo, 30000));
    CloseHandle(primo);
}

TEST_F(LogFile, DueProcessiNonSiCopronoMai)
{
    const int numRecord = 500;
    ScriviInDue(eseguibile, pathLog, "", numRecord);
    RecordDueProcessi letti = LeggiRecordDueProcessi(LeggiFile(pathLog));
    EXPECT_EQ(2, letti.banner);
    EXPECT_EQ(numRecord, letti.prossimo[0]);
    EXPECT_EQ(numRecord, letti.prossimo[1]);
    EXPECT_GT(letti.alternanze, 1) << "i due processi non hanno scritto insieme";
}

TEST_F(LogFile, DueProcessiDuranteLeRotazioniNonPerdonoNulla)
{
    // Limite piccolo e dimensione guardata a ogni record: i due processi ruotano piu' volte mentre
    // l'altro scrive. Dalla generazione piu' vecchia al file vivo, ogni record c'e' una volta, in
    // ordine; ogni generazione ruotata aveva passato il limite (nessuna e' ruotata due volte).
    const int numRecord = 400, limite = 12000;
    ScriviInDue(eseguibile, pathLog, "l:" + std::to_string(limite) + " ", numRecord);
    std::string tutto;
    int generazioni = 0;
    for (int n = 9; n >= 1; n--) {
        std::string generazione = LeggiFile(pathLog + "." + std::to_string(n));
        if (generazione.empty())
            continue;
        generazioni++;
        EXPECT_GT(generazione.size(), (size_t)limite) << "generazione " << n;
        tutto += generazione;
    }
    tutto += LeggiFile(pathLog);
    ASSERT_GE(generazioni, 2);
    ASSERT_LE(generazioni, 8) << "troppe rotazioni: la prova perderebbe la generazione piu' vecchia";
    RecordDueProcessi letti = LeggiRecordDueProcessi(tutto);
    EXPECT_EQ(numRecord, letti.prossimo[0]);
    EXPECT_EQ(numRecord, letti.prossimo[1]);
    EXPECT_GT(letti.alternanze, 1) << "i due processi non hanno scritto insieme";
}
