/* tests/setup/AccessiWinTest.cpp - accessi di LocalSystem: la nuova DACL costruita da una DACL data
 * in SDDL, e le due routine vere su una cartella che c'e' e su una che manca, con il log vero.
 * Sotto Wine la DACL letta da una cartella e' sempre fatta dai permessi Unix e nomina LocalSystem,
 * e la scrittura della DACL riesce senza lasciare traccia: la costruzione si prova percio' da sola. */
#include "tests/finti/ProvaWin.h"  // winsock2.h prima di windows.h

#include "setup/setup.h"

#include "setup/Accessi.h"
#include "setup/AccessiWin.h"
#include "tests/setup/RigheLogWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>
#include <sddl.h>


/* La lista come testo SDDL (sola parte D:), attraverso un descrittore assoluto che la contiene. */
static std::string SddlDiLista(PACL lista)
{
    SECURITY_DESCRIPTOR descrittore;
    char *testo = NULL;
    std::string risultato = "(conversione fallita)";

    if (!InitializeSecurityDescriptor(&descrittore, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descrittore, TRUE, lista, FALSE))
        return risultato;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(&descrittore, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &testo, NULL)) {
        risultato = testo;
        LocalFree(testo);
    }
    return risultato;
}

/* Le voci di una DACL in SDDL, ciascuna con le sue parentesi, in ordine. */
static std::vector<std::string> VociSddl(const std::string &sddl)
{
    std::vector<std::string> voci;
    size_t inizio = sddl.find('(');
    while (inizio != std::string::npos) {
        size_t fine = sddl.find(')', inizio);
        if (fine == std::string::npos)
            break;
        voci.push_back(sddl.substr(inizio, fine - inizio + 1));
        inizio = sddl.find('(', fine);
    }
    return voci;
}

/* Costruisce la nuova lista dalla DACL scritta in SDDL e la rende in SDDL. */
static std::string NuovaListaDa(const char *sddl, int *esito)
{
    PSECURITY_DESCRIPTOR descrittore = NULL;
    PACL dacl = NULL, nuova = NULL;
    BOOL presente = FALSE, predefinita = FALSE;
    std::string risultato = "(nessuna lista)";

    *esito = -1;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descrittore, NULL))
        return "(SDDL non valido)";
    if (GetSecurityDescriptorDacl(descrittore, &presente, &dacl, &predefinita)) {
        *esito = DaclConLocalSystem(dacl, &nuova);
        if (nuova != NULL) {
            risultato = SddlDiLista(nuova);
            LocalFree(nuova);
        }
    }
    LocalFree(descrittore);
    return risultato;
}

TEST(AccessiWin, NuovaListaAggiungeLocalSystemEreditabileETieneLeAltreVoci)
{
    static const char voceSistema[] = "(A;OICI;GA;;;SY)";
    struct Caso {
        const char *daclEsistente;
        std::vector<std::string> altreVoci;  // le voci che devono restare, oltre a quella di LocalSystem
    } casi[] = {
        {"D:(A;;FA;;;BA)(A;;0x1200a9;;;BU)", {"(A;;FA;;;BA)", "(A;;0x1200a9;;;BU)"}},
        {"D:(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1000)",
         {"(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1000)"}},
        // Una voce negata per altri resta.
        {"D:(D;OICI;FA;;;BG)(A;;FA;;;BA)", {"(D;OICI;FA;;;BG)", "(A;;FA;;;BA)"}},
        // Lista vuota (nessuno entra): la nuova ha la sola voce di LocalSystem.
        {"D:", {}},
        // Una voce di sola lettura per LocalSystem viene sostituita, non affiancata.
        {"D:(A;;0x1200a9;;;SY)(A;;FA;;;BA)", {"(A;;FA;;;BA)"}},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.daclEsistente);
        int esito = 0;
        std::string nuova = NuovaListaDa(caso.daclEsistente, &esito);
        ASSERT_EQ(1, esito) << nuova;
        std::vector<std::string> voci = VociSddl(nuova);
        std::vector<std::string> attese = caso.altreVoci;
        attese.push_back(voceSistema);
        std::sort(voci.begin(), voci.end());
        std::sort(attese.begin(), attese.end());
        EXPECT_EQ(attese, voci) << nuova;
        EXPECT_EQ(1, SddlNominaLocalSystem(nuova.c_str())) << nuova;
    }
}

TEST(AccessiWin, DaclNullaNonSiToccaPercheLasciaGiaEntrareTutti)
{
    // Una DACL nulla (in SDDL "D:NO_ACCESS_CONTROL", che pero' Wine legge come lista vuota).
    size_t inizio = SegnaLog();
    PACL nuova = reinterpret_cast<PACL>(1);
    EXPECT_EQ(1, DaclConLocalSystem(NULL, &nuova));
    EXPECT_EQ(nullptr, nuova);
    EXPECT_EQ("ImpostaAccessiLocalSystem - DACL nulla: l'accesso e' gia' libero per tutti, resta com'e'\n",
              RigheLog(inizio));
}

class AccessiCartella : public ::testing::Test {
protected:
    void SetUp() override
    {
        cartella = CartellaNuova("tarnelaccessi");
        mancante = cartella + "\\manca";
        inizio = SegnaLog();
    }
    void TearDown() override { RimuoviAlbero(cartella); }
    std::string cartella, mancante;
    size_t inizio = 0;
};

TEST_F(AccessiCartella, VerificaSuCartellaEsistenteLeggeLaDaclELaScriveNelLog)
{
    ASSERT_EQ(0u, cartella.find("C:\\"));
    // La DACL fatta da Wine nomina sempre LocalSystem.
    EXPECT_EQ(1, VerificaAccessiLocalSystem(cartella.c_str()));
    std::string righe = RigheLog(inizio);
    EXPECT_TRUE(CorrispondeTutto(righe, Letterale("VerificaAccessiLocalSystem - ENTRO - pathRoot " + cartella + "\n") +
                                            "VerificaAccessiLocalSystem D:[^\n]*;SY\\)[^\n]*\n" +
                                            Letterale("VerificaAccessiLocalSystem - ESCO - bStatus 1\n")))
        << righe;
}

TEST_F(AccessiCartella, ConcessioneSuCartellaEsistenteRiesce)
{
    EXPECT_EQ(1, ImpostaAccessiLocalSystem(cartella.c_str()));
    EXPECT_EQ("ImpostaAccessiLocalSystem - ENTRO - pathRoot " + cartella + "\n"
              "ImpostaAccessiLocalSystem - ESCO - bStatus 1\n",
              RigheLog(inizio));
    // Dopo la concessione la verifica passa.
    EXPECT_EQ(1, VerificaAccessiLocalSystem(cartella.c_str()));
}

TEST_F(AccessiCartella, CartellaMancante)
{
    // La verifica registra la lettura fallita con il codice 2 e rende 0.
    EXPECT_EQ(0, VerificaAccessiLocalSystem(mancante.c_str()));
    std::string righe = RigheLog(inizio);
    EXPECT_TRUE(CorrispondeTutto(righe, Letterale("VerificaAccessiLocalSystem - ENTRO - pathRoot " + mancante + "\n") +
                                            Letterale("VerificaAccessiLocalSystem - GetNamedSecurityInfo \n: errore 2: ") +
                                            "[^\n]*\n" + Letterale("VerificaAccessiLocalSystem - ESCO - bStatus 0\n")))
        << righe;

    // La concessione rende 0 subito dopo la prima riga.
    inizio = SegnaLog();
    EXPECT_EQ(0, ImpostaAccessiLocalSystem(mancante.c_str()));
    EXPECT_EQ("ImpostaAccessiLocalSystem - ENTRO - pathRoot " + mancante + "\n", RigheLog(inizio));
}
