/* tests/service/LogWinTest.cpp - il file di log vero: ogni prova esegue scrittore_log.exe, copiato in
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

TEST_F(LogFile, LimiteDiDimensioneValutatoSoloAllApertura)
{
    struct {
        size_t dimensione;
        bool ricomincia;
    } casi[] = {{DIMENSIONE_MASSIMA_LOG - 1, false}, {DIMENSIONE_MASSIMA_LOG, false}, {DIMENSIONE_MASSIMA_LOG + 1, true}};
    // Il file ricominciato resta come tarnel.log.1, al posto di uno precedente.
    ASSERT_TRUE(ScriviFile(pathLog + ".1", "precedente"));
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.dimensione);
        std::string vecchio(caso.dimensione, 'v');
        ASSERT_TRUE(ScriviFile(pathLog, vecchio));
        ASSERT_EQ(0, Scrivi("r:record\\n"));
        std::string contenuto = LeggiFile(pathLog);
        std::string atteso = bannerFile + timestamp + "record\r\n";
        if (caso.ricomincia) {
            EXPECT_TRUE(CorrispondeTutto(contenuto, atteso)) << contenuto;
            EXPECT_EQ(vecchio, LeggiFile(pathLog + ".1"));
        } else {
            EXPECT_EQ("precedente", LeggiFile(pathLog + ".1"));
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

TEST_F(LogFile, DueProcessiNonSiCopronoMai)
{
    // Il primo crea il file; il secondo parte quando il file c'e' e vi accoda. Scrivono insieme.
    const int numRecord = 500;
    HANDLE primo = AvviaProcesso("\"" + eseguibile + "\" n:A:" + std::to_string(numRecord));
    ASSERT_NE(nullptr, primo);
    for (int i = 0; i < 5000 && GetFileAttributesA(pathLog.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(1);
    EXPECT_EQ(0, Scrivi("n:B:" + std::to_string(numRecord)));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(primo, 30000));
    CloseHandle(primo);

    std::string contenuto = LeggiFile(pathLog);
    std::string rigaBanner = bannerFile.substr(4, bannerFile.size() - 8) + "\r";  // senza le righe vuote
    std::regex record("^" + timestamp + "processo ([AB]) record ([0-9]{4}) abcdefghijklmnopqrstuvwxyz0123456789\r$");
    int prossimo[2] = {0, 0}, banner2 = 0, alternanze = 0;
    char ultimo = 0;
    size_t inizio = 0;
    while (inizio < contenuto.size()) {
        size_t fine = contenuto.find('\n', inizio);
        ASSERT_NE(std::string::npos, fine);
        std::string riga = contenuto.substr(inizio, fine - inizio);
        inizio = fine + 1;
        if (riga == "\r" || riga == rigaBanner) {
            banner2 += riga == rigaBanner;
            continue;
        }
        std::smatch parti;
        ASSERT_TRUE(std::regex_match(riga, parti, record)) << riga;
        char processo = parti[1].str()[0];
        EXPECT_EQ(prossimo[processo - 'A']++, std::stoi(parti[2]));  // ognuno in ordine, nessuno perso o doppio
        alternanze += ultimo != 0 && ultimo != processo;
        ultimo = processo;
    }
    EXPECT_EQ(2, banner2);
    EXPECT_EQ(numRecord, prossimo[0]);
    EXPECT_EQ(numRecord, prossimo[1]);
    EXPECT_GT(alternanze, 1) << "i due processi non hanno scritto insieme";
}
