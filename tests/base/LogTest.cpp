/* tests/service/LogTest.cpp - testi del record e scelta del modo di apertura del log. */
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

TEST(Log, ModoAperturaAiDueLatiDelLimite)
{
    struct {
        int nota;
        uint64_t dimensione;
        const char *modo;
    } casi[] = {
        {0, 0, "w"},                           // file assente o dimensione illeggibile
        {1, 0, "a"},                           // file vuoto
        {1, DIMENSIONE_MASSIMA_LOG - 1, "a"},
        {1, DIMENSIONE_MASSIMA_LOG, "a"},      // esattamente il limite: si accoda
        {1, DIMENSIONE_MASSIMA_LOG + 1, "w"},  // oltre: si ricomincia
        {1, 0x100000000ull, "w"},              // oltre i 4 GiB
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.dimensione);
        EXPECT_STREQ(caso.modo, ModoAperturaLog(caso.nota, caso.dimensione));
    }
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
