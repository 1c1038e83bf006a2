/* tests/setup/ServiziWinTest.cpp - i servizi dipendenti con il gestore dei servizi di Wine: servizi
 * finti registrati come LanmanWorkstation e LanmanServer (quello di Wine viene tolto), in ogni stato. */
#include "tests/finti/ProvaWin.h"
#include "tests/setup/ServiziProvaWin.h"

#include "base/base.h"
#include "setup/setup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char workstation[] = "LanmanWorkstation";
const char server[] = "LanmanServer";

class ServiziDipendenti : public ::testing::Test {
protected:
    static void TearDownTestSuite()
    {
        // Il prefisso resta usabile: niente servizi finti dopo le prove.
        EliminaServizio(workstation);
        EliminaServizio(server);
    }
    void SetUp() override
    {
        ScriviLog("inizio prova\n");
        inizioLog = FineLogProva();
    }
    /* I due servizi finti: modo e tipo d'avvio di ciascuno; "" lascia il nome senza servizio. */
    void Prepara(const char *modoWorkstation, DWORD avvioWorkstation, bool avviaWorkstation, const char *modoServer,
                 DWORD avvioServer, bool avviaServer)
    {
        struct {
            const char *nome, *modo;
            DWORD avvio;
            bool avvia;
        } servizi[] = {{workstation, modoWorkstation, avvioWorkstation, avviaWorkstation},
                       {server, modoServer, avvioServer, avviaServer}};
        for (auto &s : servizi) {
            if (s.modo[0] == '\0') {
                EliminaServizio(s.nome);
                ASSERT_EQ(0u, StatoServizio(s.nome));
                continue;
            }
            ASSERT_TRUE(RegistraFinto(s.nome, s.modo, s.avvio)) << s.nome << " " << GetLastError();
            if (s.avvia) {
                ASSERT_TRUE(AvviaEAttendi(s.nome)) << s.nome;
            }
        }
        inizioLog = FineLogProva();
    }
    std::string Log() { return LogProvaDa(inizioLog); }
    size_t inizioLog = 0;
};

TEST_F(ServiziDipendenti, EntrambiAttiviBastaVerificarli)
{
    Prepara("pronto", SERVICE_DEMAND_START, true, "pronto", SERVICE_DEMAND_START, true);
    EXPECT_EQ(1, TestDipendenze());
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr(": TestDipendenze  Entro \r\n"));
    EXPECT_THAT(log, HasSubstr(": VerificaServizioDipendente -LanmanWorkstation- Entro \r\n"));
    EXPECT_THAT(log, HasSubstr(": IsServizioPresente - Entro - sNomeServizio LanmanWorkstation \r\n"));
    EXPECT_THAT(log, HasSubstr(": IsServizioPresente - Trovato il servizio LanmanWorkstation \r\n"));
    EXPECT_THAT(log, HasSubstr(": IsServizioAttivo - Entro sNomeServizio LanmanServer \r\n"));
    EXPECT_THAT(log, HasSubstr(": IsServizioAttivo - Il servizio LanmanServer e' attivo \r\n"));
    EXPECT_THAT(log, HasSubstr(": VerificaServizioDipendente - Il servizio LanmanWorkstation e' ATTIVO.\r\n"));
    EXPECT_THAT(log, HasSubstr(": VerificaServizioDipendente - Il servizio LanmanServer e' ATTIVO.\r\n"));
    EXPECT_THAT(log, Not(HasSubstr("AvviaServizio")));
    EXPECT_THAT(log, Not(HasSubstr("errore")));
}

TEST_F(ServiziDipendenti, UnoFermoVieneAvviatoEAtteso)
{
    Prepara("pronto", SERVICE_DEMAND_START, true, "lento", SERVICE_DEMAND_START, false);
    DWORD inizio = GetTickCount();
    EXPECT_EQ(1, TestDipendenze());
    DWORD durata = GetTickCount() - inizio;
    EXPECT_EQ((DWORD)SERVICE_RUNNING, StatoServizio(server));
    // Almeno una pausa di un secondo: il servizio era ancora in avvio alla prima interrogazione.
    EXPECT_GE(durata, 1000u);
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr(": IsServizioAttivo - Il servizio LanmanServer NON e' attivo \r\n"));
    EXPECT_THAT(log, HasSubstr(": AvviaServizio - Entro sNomeServizio LanmanServer \r\n"));
    EXPECT_THAT(log, HasSubstr(": AvviaServizio - LanmanServer - Servizio avviato correttamente \r\n"));
    EXPECT_THAT(log, HasSubstr(": VerificaServizioDipendente - Il servizio LanmanServer e' STATO AVVIATO.\r\n"));
}

TEST_F(ServiziDipendenti, DisabilitatoFermaTuttoPrimaDelSecondo)
{
    Prepara("pronto", SERVICE_DISABLED, false, "pronto", SERVICE_DEMAND_START, true);
    EXPECT_EQ(0, TestDipendenze());
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr(": AvviaServizio - LanmanWorkstation - StartService failed  : errore 1058: "));
    EXPECT_THAT(log, HasSubstr(": VerificaServizioDipendente - Il servizio LanmanWorkstation NON e' STATO AVVIATO.\r\n"));
    EXPECT_THAT(log, HasSubstr(": TestDipendenze LanmanWorkstation FALLITA\r\n"));
    EXPECT_THAT(log, Not(HasSubstr("LanmanServer")));
}

TEST_F(ServiziDipendenti, AssenteNonEPresente)
{
    Prepara("pronto", SERVICE_DEMAND_START, true, "", 0, false);
    EXPECT_EQ(0, TestDipendenze());
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr(": IsServizioPresente - OpenService failed: errore 1060: "));
    EXPECT_THAT(log, HasSubstr(": VerificaServizioDipendente - Il servizio LanmanServer NON e' presente.\r\n"));
    EXPECT_THAT(log, HasSubstr(": TestDipendenze LanmanServer FALLITA\r\n"));
    EXPECT_THAT(log, Not(HasSubstr("IsServizioAttivo - Entro sNomeServizio LanmanServer")));
}

TEST_F(ServiziDipendenti, AvvioCheNonArrivaARunning)
{
    struct Caso {
        const char *modo;
        DWORD durataMinima, durataMassima;
        const char *riga; // espressione
    } casi[] = {
        // Check point fermo con wait hint 1500: pause di 1 s, fine alla seconda interrogazione oltre 1,5 s.
        {"bloccato", 1500, 5000, ": AvviaServizio - LanmanServer - FALLITO \r\n"},
        // Fermo appena partito: nessuna attesa; secondo il momento lo rifiuta gia' il gestore.
        {"rinuncia", 0, 1000, ": AvviaServizio - LanmanServer - (FALLITO \r\n|StartService failed  : errore )"},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.modo);
        Prepara("pronto", SERVICE_DEMAND_START, false, c.modo, SERVICE_DEMAND_START, false);
        DWORD inizio = GetTickCount();
        EXPECT_EQ(0, AvviaServizio(server));
        DWORD durata = GetTickCount() - inizio;
        EXPECT_GE(durata, c.durataMinima);
        EXPECT_LE(durata, c.durataMassima);
        EXPECT_TRUE(ContieneEspressione(Log(), c.riga)) << Log();
        AttendiStatoServizio(server, SERVICE_STOPPED, 10000);
    }
}

TEST_F(ServiziDipendenti, ServizioGiaAttivoOAssente)
{
    Prepara("pronto", SERVICE_DEMAND_START, true, "", 0, false);
    EXPECT_EQ(1, AvviaServizio(workstation));
    EXPECT_EQ(1, IsServizioAttivo(workstation));
    EXPECT_EQ(1, IsServizioPresente(workstation));
    EXPECT_EQ(0, AvviaServizio(server));
    EXPECT_EQ(0, IsServizioAttivo(server));
    EXPECT_EQ(0, IsServizioPresente(server));
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr(": AvviaServizio - Il servizio LanmanWorkstation e' GIA' attivo \r\n"));
    EXPECT_THAT(log, HasSubstr(": AvviaServizio - OpenService failed: errore 1060: "));
    EXPECT_THAT(log, HasSubstr(": IsServizioAttivo - OpenService failed: errore 1060: "));
    EXPECT_THAT(log, HasSubstr(": IsServizioPresente - OpenService failed: errore 1060: "));
}

} // namespace
