/* tests/base/LibrerieWinTest.cpp - le librerie di sistema caricate quando servono. */
#include "base/base.h"

#include "tests/finti/ProvaWin.h"

#include <gtest/gtest.h>

#include <windows.h>

/* Le righe del log scritte dopo questo punto. */
static std::string LogDopo(size_t inizio)
{
    std::string tutto = LeggiFile(pathFileLog());
    return tutto.size() > inizio ? tutto.substr(inizio) : std::string();
}

TEST(LibrerieDiSistema, FunzioniTrovateOppureNullConUnaRigaNelLog)
{
    ScriviLog("inizio prova delle librerie\n");
    size_t inizio = LeggiFile(pathFileLog()).size();

    static const char *const presenti[] = {"GetTickCount", "GetCurrentProcessId"};
    FunzioneDiLibreria funzioni[2] = {NULL, NULL};
    HMODULE kernel = (HMODULE)CaricaFunzioni("kernel32.dll", presenti, funzioni, 2);
    ASSERT_NE(nullptr, kernel);
    EXPECT_EQ(GetCurrentProcessId(), ((DWORD(WINAPI *)(void))funzioni[1])());
    FreeLibrary(kernel);
    EXPECT_EQ("", LogDopo(inizio));

    static const char *const unaManca[] = {"GetTickCount", "FunzioneCheNonEsiste"};
    EXPECT_EQ(nullptr, CaricaFunzioni("kernel32.dll", unaManca, funzioni, 2));
    EXPECT_NE(std::string::npos,
              LogDopo(inizio).find("Libreria di sistema kernel32.dll: funzione FunzioneCheNonEsiste non trovata"));

    /* Solo dalla cartella di sistema: una libreria accanto all'eseguibile o nel PATH non vale. */
    EXPECT_EQ(nullptr, CaricaFunzioni("tarnel_inesistente.dll", presenti, funzioni, 2));
    EXPECT_NE(std::string::npos, LogDopo(inizio).find("Libreria di sistema tarnel_inesistente.dll non caricata"));
    EXPECT_EQ(nullptr, LibreriaDiSistema("scrittore_log.exe"));
}
