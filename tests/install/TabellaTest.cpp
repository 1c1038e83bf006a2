/* Radici dell'ambiente ricavate da un record della tabella. */
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

} // namespace
