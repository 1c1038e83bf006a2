/* tests/service/TerminaProcessoWinTest.cpp - terminazione dei processi del runtime per nome, su
 * processi veri: copie di dormiente.exe con i nomi degli eseguibili. */
#include "tests/finti/ProvaWin.h"

#include "service/ServiceWin.h"
#include "service/service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string LogProva()
{
    return LeggiFile(CartellaEseguibile() + "tarnel.log");
}

HANDLE AvviaCopia(const std::string &cartella, const std::string &nome)
{
    return AvviaDormiente(cartella + "\\" + nome);
}

TEST(TerminaProcesso, TerminaOgniCopiaDelNomeSenzaBadareAlleMaiuscole)
{
    std::string cartella = CartellaNuova("terminaprocesso");
    std::string altra = CartellaNuova("terminaprocesso2");
    ScriviLog("prova TerminaProcesso\n");
    size_t inizio = LogProva().size();

    // Due copie di trimox4.exe in cartelle diverse, una scritta in maiuscolo, e due estranei.
    HANDLE prima = AvviaCopia(cartella, "trimox4.exe");
    HANDLE seconda = AvviaCopia(altra, "TRIMOX4.EXE");
    HANDLE simile = AvviaCopia(cartella, "trimox4.exe.exe");
    HANDLE diverso = AvviaCopia(cartella, "trimox3.exe");
    ASSERT_NE(nullptr, prima);
    ASSERT_NE(nullptr, seconda);
    ASSERT_NE(nullptr, simile);
    ASSERT_NE(nullptr, diverso);
    Sleep(300);

    TerminaProcesso("trimox4.exe");

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(prima, 10000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(seconda, 10000));
    DWORD codice = 1;
    EXPECT_TRUE(GetExitCodeProcess(prima, &codice));
    EXPECT_EQ(0u, codice);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(simile, 0));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(diverso, 0));

    std::string righe = LogProva().substr(inizio);
    EXPECT_THAT(righe, HasSubstr(": Termina il processo: \"trimox4.exe\"\r\n"));
    EXPECT_THAT(righe, HasSubstr(": Termina il processo: \"TRIMOX4.EXE\"\r\n"));
    EXPECT_THAT(righe, Not(HasSubstr("trimox3")));
    EXPECT_THAT(righe, Not(HasSubstr("trimox4.exe.exe")));
    EXPECT_THAT(righe, Not(HasSubstr("TerminateProcess")));

    // Nessun processo con quel nome: nessuna riga.
    inizio = LogProva().size();
    TerminaProcesso("trimox4_vc.exe");
    EXPECT_EQ("", LogProva().substr(inizio));

    for (HANDLE h : {prima, seconda, simile, diverso}) {
        TerminateProcess(h, 0);
        WaitForSingleObject(h, 10000);
        CloseHandle(h);
    }
    RimuoviAlbero(cartella);
    RimuoviAlbero(altra);
}

} // namespace
