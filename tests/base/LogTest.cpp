/* tests/base/LogTest.cpp - testi del record e regole della rotazione del log. */
#include "base/Log.h"

#include "base/base.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

TEST(Log, TimestampGiornoMeseAnnoOraConZeri)
{
    char area[32];
    FormattaTimestamp(area, sizeof area, 6, 12, 2026, 18, 45, 7);
    EXPECT_STREQ("06/12/2026 18:45:07", area);
    FormattaTimestamp(area, sizeof area, 31, 1, 999, 0, 0, 59);
    EXPECT_STREQ("31/01/0999 00:00:59", area);
}

TEST(Log, TimestampTroncatoAllaDimensioneDellArea)
{
    char area[8];
    memset(area, 'x', sizeof area);
    FormattaTimestamp(area, sizeof area, 6, 12, 2026, 18, 45, 7);
    EXPECT_STREQ("06/12/2", area);
}

TEST(Log, RotazioneAiDueLatiDelLimiteEControlloUnaVoltaPerIntervallo)
{
    EXPECT_FALSE(LogDaRuotare(0, DIMENSIONE_MASSIMA_LOG));
    EXPECT_FALSE(LogDaRuotare(DIMENSIONE_MASSIMA_LOG, DIMENSIONE_MASSIMA_LOG));  // esattamente: si accoda
    EXPECT_TRUE(LogDaRuotare(DIMENSIONE_MASSIMA_LOG + 1, DIMENSIONE_MASSIMA_LOG));
    EXPECT_TRUE(LogDaRuotare(0x100000000ull, DIMENSIONE_MASSIMA_LOG));  // oltre i 4 GiB
    struct {
        int controllato;
        uint32_t ultimo, adesso;
        bool dovuto;
    } casi[] = {
        {0, 5000, 5000, true},              // mai controllato: all'apertura
        {1, 5000, 5000, false},
        {1, 5000, 5000 + 59999, false},
        {1, 5000, 5000 + 60000, true},
        {1, 0xFFFFF000u, 60000 - 0x1000, true},   // l'orologio e' ripartito da zero
        {1, 0xFFFFF000u, 60000 - 0x1001, false},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.adesso);
        EXPECT_EQ(caso.dovuto, ControlloLogDovuto(caso.controllato, caso.ultimo, caso.adesso, INTERVALLO_CONTROLLO_LOG_MS) != 0);
    }
}

TEST(Log, NomiDelleGenerazioni)
{
    char path[24];
    ASSERT_TRUE(PathGenerazioneLog(path, sizeof path, "C:\\log\\tarnel.log", GENERAZIONI_LOG));
    EXPECT_STREQ("C:\\log\\tarnel.log.9", path);
    EXPECT_FALSE(PathGenerazioneLog(path, sizeof path, "C:\\cartella\\tarnel.log", 1));
    EXPECT_STREQ("", path);
}

TEST(Log, OgniLfDiventaCrLfComeNelModoTesto)
{
    struct {
        std::string testo, file;
    } casi[] = {{"", ""}, {"riga\n", "riga\r\n"}, {"\n\n", "\r\n\r\n"}, {"di sistema\r\n", "di sistema\r\r\n"},
                {std::string("a\0b\n", 4), std::string("a\0b\r\n", 5)}, {"senza a capo", "senza a capo"}};
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.testo);
        ASSERT_EQ(caso.file.size(), DimensioneConCrLf(caso.testo.data(), caso.testo.size()));
        std::string uscita(caso.file.size(), 'x');
        AggiungiCrLf(&uscita[0], caso.testo.data(), caso.testo.size());
        EXPECT_EQ(caso.file, uscita);
    }
}

TEST(Log, PathAccantoAllEseguibile)
{
    char path[260];
    ASSERT_TRUE(PathLogAccantoEseguibile(path, sizeof path, "C:\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe"));
    EXPECT_STREQ("C:\\GEST1\\prg\\com\\drumal\\bin\\tarnel.log", path);
    ASSERT_TRUE(PathLogAccantoEseguibile(path, sizeof path, "C:\\tarnel.exe"));
    EXPECT_STREQ("C:\\tarnel.log", path);
    EXPECT_FALSE(PathLogAccantoEseguibile(path, sizeof path, "tarnel.exe"));
    EXPECT_STREQ("", path);
}

TEST(Log, PathTroppoLungoNonVieneTroncato)
{
    char path[20];
    EXPECT_FALSE(PathLogAccantoEseguibile(path, sizeof path, "C:\\cartella\\lunga\\tarnel.exe"));
    EXPECT_STREQ("", path);
    // Entra giusto: 9 caratteri di cartella + 10 di nome + terminatore.
    ASSERT_TRUE(PathLogAccantoEseguibile(path, sizeof path, "C:\\abcde\\x.exe"));
    EXPECT_STREQ("C:\\abcde\\tarnel.log", path);
}

TEST(Log, ImprontaDelPercorsoSenzaMaiuscole)
{
    // Lo stesso file scritto con maiuscole diverse: una pagina sola; un altro file, un'altra.
    EXPECT_EQ(ImprontaPathLog("C:\\GEST1\\prg\\tarnel.log"), ImprontaPathLog("c:\\gest1\\PRG\\TARNEL.LOG"));
    EXPECT_NE(ImprontaPathLog("C:\\GEST1\\prg\\tarnel.log"), ImprontaPathLog("C:\\GEST2\\prg\\tarnel.log"));
    EXPECT_EQ(2166136261u, ImprontaPathLog(""));  // la base di FNV-1a
}

TEST(Testo, CopiaEFormattazioneTroncanoETerminano)
{
    char area[6];
    EXPECT_TRUE(CopiaTesto(area, sizeof area, "abcde"));
    EXPECT_STREQ("abcde", area);
    EXPECT_FALSE(CopiaTesto(area, sizeof area, "abcdef"));
    EXPECT_STREQ("abcde", area);
    EXPECT_TRUE(FormattaTesto(area, sizeof area, "%d", 12345));
    EXPECT_FALSE(FormattaTesto(area, sizeof area, "%d", 123456));
    EXPECT_STREQ("12345", area);
    EXPECT_FALSE(CopiaTesto(area, 0, "x"));
}
