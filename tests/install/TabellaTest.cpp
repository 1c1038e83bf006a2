/* tests/install/TabellaTest.cpp - radici dell'ambiente ricavate da un record della tabella e i nomi
 * dell'ambiente sotto la loro radice. */
#include "install/install.h"

#include "tests/finti/LogMemoria.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

InfoAmbiente Ambiente(const char *drive, const char *sistInfo, const char *share)
{
    InfoAmbiente a;
    memset(&a, 0, sizeof a);
    strcpy(a.drive, drive);
    strcpy(a.sistInfo, sistInfo);
    strcpy(a.strPathShare, share);
    return a;
}

TEST(RadiciAmbiente, RadiceUtentiELocale)
{
    struct Caso {
        const char *drive, *sistInfo, *share, *radice, *locale;
    } casi[] = {
        {"Z", "GEST1", "C:\\ARCHIVI", "Z:\\GEST1", "C:\\ARCHIVI\\GEST1"},
        {"Z", "GEST1", "C:\\", "Z:\\GEST1", "C:\\GEST1"},          // radice di drive: niente barra doppia
        {"D", "GEST1", "", "D:\\GEST1", "D:\\GEST1"},              // stand alone: la lettera dell'ambiente
        {"z:\\GEST2", "GEST2", "D:\\DATI", "z:\\GEST2", "D:\\DATI\\GEST2"}, // duplicato: conta solo la lettera
    };
    for (const Caso &c : casi) {
        InfoAmbiente a = Ambiente(c.drive, c.sistInfo, c.share);
        char testo[DIM_PATH];
        EXPECT_EQ(1, RadiceAmbiente(&a, testo, sizeof testo));
        EXPECT_STREQ(c.radice, testo);
        EXPECT_EQ(1, RadiceLocaleAmbiente(&a, testo, sizeof testo));
        EXPECT_STREQ(c.locale, testo) << c.share;
    }
}

TEST(RadiciAmbiente, TroncataSeNonEntra)
{
    InfoAmbiente a = Ambiente("Z", "GEST1", "C:\\ARCHIVI");
    char piccolo[8];
    EXPECT_EQ(0, RadiceLocaleAmbiente(&a, piccolo, sizeof piccolo));
    EXPECT_STREQ("C:\\ARCH", piccolo);
}

TEST(ElencoAmbienti, UnaRigaPerRecordInOrdine)
{
    TabellaAmbienti salvata = TabellaInfoInstallazione;
    TabellaInfoInstallazione.numAmbienti = 3;
    TabellaInfoInstallazione.ambienti[0] = Ambiente("Z", "GEST1", "C:\\ARCHIVI");
    TabellaInfoInstallazione.ambienti[1] = Ambiente("y:\\GEST2", "GEST2", "D:\\");
    TabellaInfoInstallazione.ambienti[2] = Ambiente("X:\\GEST3", "GEST3", "");
    SvuotaLogMemoria();
    ScriviElencoAmbienti();
    EXPECT_EQ("Ambiente in linea: \"Z:\\GEST1\" ---> \"C:\\ARCHIVI\"\n"
              "Ambiente duplicato: \"y:\\GEST2\" ---> \"D:\\\"\n"
              "Ambiente duplicato: \"X:\\GEST3\" ---> \"\"\n",
              TestoLogMemoria());

    SvuotaLogMemoria();
    TabellaInfoInstallazione.numAmbienti = 0;
    ScriviElencoAmbienti();
    EXPECT_EQ("", TestoLogMemoria());
    TabellaInfoInstallazione = salvata;
}

// Ogni nome pende dalla sua radice: cio' che il servizio aggiorna da se' sotto la radice locale,
// cio' che l'applicativo tiene sotto la radice vista dagli utenti.
TEST(PercorsiAmbiente, OgniNomeSottoLaSuaRadice)
{
    struct Caso {
        const NomeAmbiente *nome;
        const char *atteso;
    } casi[] = {
        {&FILE_AGGIORNAMENTO_IN_CORSO, "Z:\\GEST1\\prg\\aincorso.tst"},
        {&FILE_AGGIORNAMENTO_FORMATI, "Z:\\GEST1\\prg\\etc\\updatefo.cfg"},
        {&FILE_STRUMENTO_FORMATI, "Z:\\GEST1\\prg\\com\\drumal\\bin\\kvix32a.exe"},
        {&FILE_COBOL_VISUAL, "Z:\\GEST1\\prg\\etc\\cobol_vc.cfg"},
        {&FILE_SERVIZIO_NUOVO, "C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.new"},
        {&FILE_AGGIORNATORE, "C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\updqorservice.exe"},
        {&FILE_CONF_SERVIZIO, "C:\\ARCHIVI\\GEST1\\prg\\etc\\tarnel.cfg"},
    };
    InfoAmbiente a = Ambiente("Z", "GEST1", "C:\\ARCHIVI");
    char testo[DIM_PATH];
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.atteso);
        EXPECT_EQ(1, PathNellAmbiente(&a, c.nome, testo, sizeof testo));
        EXPECT_STREQ(c.atteso, testo);
    }
    EXPECT_EQ(1, PathRuntime("Z:\\GEST1", 1, 1, testo, sizeof testo));
    EXPECT_STREQ("Z:\\GEST1\\prg\\com\\drumal\\bin\\trimox4_vc.exe", testo);
    // Un percorso che non entra e' detto, non taciuto.
    EXPECT_EQ(0, PathNellAmbiente(&a, &FILE_AGGIORNATORE, testo, 20));
}

} // namespace
