/* tests/setup/ConfigServizioWinTest.cpp - i record che la configurazione del servizio passa al
 * gestore dei servizi, registrati dal passo finto, sui sistemi di versione 5 e 6. */
#include "setup/ConfigServizioWin.h"

#include "base/base.h"
#include "tests/finti/PassiSalvati.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/* Ogni chiamata, con il record letto nel momento della chiamata. */
struct Chiamata {
    DWORD livello;
    std::string descrizione;
    DWORD azzera;
    std::vector<SC_ACTION> azioni;
    BOOL ancheSenzaCrash;
};
std::vector<Chiamata> chiamate;
DWORD livelloRifiutato = 0;
DWORD versioneFinta = 6;

BOOL WINAPI Config2Finta(SC_HANDLE, DWORD livello, LPVOID record)
{
    Chiamata c = {livello, "", 0, {}, FALSE};
    if (livello == SERVICE_CONFIG_DESCRIPTION)
        c.descrizione = ((SERVICE_DESCRIPTIONA *)record)->lpDescription;
    if (livello == SERVICE_CONFIG_FAILURE_ACTIONS) {
        SERVICE_FAILURE_ACTIONSA *r = (SERVICE_FAILURE_ACTIONSA *)record;
        c.azzera = r->dwResetPeriod;
        c.azioni.assign(r->lpsaActions, r->lpsaActions + r->cActions);
        EXPECT_EQ(nullptr, r->lpRebootMsg);
        EXPECT_EQ(nullptr, r->lpCommand);
    }
    if (livello == CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH)
        c.ancheSenzaCrash = ((RipristinoAncheSenzaCrash *)record)->fFailureActionsOnNonCrashFailures;
    chiamate.push_back(c);
    if (livello == livelloRifiutato) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    return TRUE;
}

DWORD VersioneFinta(void)
{
    return versioneFinta;
}

}  // namespace

TEST(ConfigServizio, DescrizioneRipristinoEAvvioRifiutatoRitentato)
{
    PassiSalvati<PassiConfigServizio> salvati(passiConfigServizio);
    passiConfigServizio = {Config2Finta, VersioneFinta};
    struct {
        DWORD versione, rifiutato;
        int esito;
        std::vector<DWORD> livelli;
    } casi[] = {
        {6, 0, 1, {SERVICE_CONFIG_DESCRIPTION, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, SERVICE_CONFIG_FAILURE_ACTIONS,
                   CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH}},
        // Il sistema di versione 5 non ha il ripristino degli avvii rifiutati: non lo si chiede.
        {5, 0, 1, {SERVICE_CONFIG_DESCRIPTION, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, SERVICE_CONFIG_FAILURE_ACTIONS}},
        // Un ripristino rifiutato non cambia l'esito; una descrizione rifiutata si'.
        {6, SERVICE_CONFIG_FAILURE_ACTIONS, 1,
         {SERVICE_CONFIG_DESCRIPTION, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, SERVICE_CONFIG_FAILURE_ACTIONS,
          CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH}},
        {6, CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH, 1,
         {SERVICE_CONFIG_DESCRIPTION, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, SERVICE_CONFIG_FAILURE_ACTIONS,
          CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH}},
        {6, SERVICE_CONFIG_DESCRIPTION, 0, {SERVICE_CONFIG_DESCRIPTION}},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(std::to_string(caso.versione) + " " + std::to_string(caso.rifiutato));
        chiamate.clear();
        versioneFinta = caso.versione;
        livelloRifiutato = caso.rifiutato;
        EXPECT_EQ(caso.esito, ConfiguraServizio(NULL, "C:\\GEST1"));
        std::vector<DWORD> livelli;
        for (const Chiamata &c : chiamate)
            livelli.push_back(c.livello);
        EXPECT_EQ(caso.livelli, livelli);
        EXPECT_EQ("Avvia per i Client Grafici i programmi dell'ambiente C:\\GEST1. Verifica: tarnel -check",
                  chiamate[0].descrizione);
        for (const Chiamata &c : chiamate) {
            if (c.livello == SERVICE_CONFIG_FAILURE_ACTIONS) {
                EXPECT_EQ(86400u, c.azzera);
                ASSERT_EQ(3u, c.azioni.size());
                EXPECT_EQ(SC_ACTION_RESTART, c.azioni[0].Type);
                EXPECT_EQ(60000u, c.azioni[0].Delay);
                EXPECT_EQ(SC_ACTION_RESTART, c.azioni[1].Type);
                EXPECT_EQ(60000u, c.azioni[1].Delay);
                EXPECT_EQ(SC_ACTION_NONE, c.azioni[2].Type);
            }
            if (c.livello == CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH) {
                EXPECT_TRUE(c.ancheSenzaCrash);
            }
        }
    }
}
