/* tests/launch/NegoziazioneRichiestaTest.cpp - la negoziazione su socket veri, con la meta' client
 * del protocollo dall'altra parte. */
#include "launch/launch.h"

#include "tests/finti/SocketProva.h"
#include "tests/finti/LogMemoria.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

using ::testing::HasSubstr;

/* Corpo di richiesta: i campi dati e poi "00000", seguito da coda. */
static std::string Corpo(std::initializer_list<std::string> campi, const std::string &coda = "")
{
    std::string corpo;
    for (const std::string &campo : campi) {
        char cifre[6];
        snprintf(cifre, sizeof cifre, "%05d", (int)campo.size());
        corpo += cifre + campo;
    }
    return corpo + "00000" + coda;
}

class Negoziazione : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(AvviaReteProva() && CoppiaConnessa(&client, &servizio));
        SvuotaLogMemoria();
    }
    void TearDown() override
    {
        if (lato.joinable())
            lato.join();
        ChiudiSocketProva(client);
        ChiudiSocketProva(servizio);
    }
    /* La negoziazione gira sul suo thread, come nel servizio. */
    void AvviaServizio()
    {
        lato = std::thread([this] { esito = NegoziazioneRichiesta(servizio, &inChiaro); });
    }
    /* Conversazione completa dal lato client: rende la risposta ricevuta ("" se non arriva). */
    std::string Conversa(int modoInChiaro, const std::string &corpo)
    {
        StatoCifratura stato = {};
        uint8_t area[DIM_AREA_MESSAGGIO];
        int lung = 0;
        AvviaServizio();
        if (scambioChiaviCliente(client, &stato, modoInChiaro) != (modoInChiaro ? ESITO_IN_CHIARO : ESITO_FATTO))
            return "";
        memcpy(area, corpo.data(), corpo.size());
        int inviato = modoInChiaro ? invioBufferInChiaro(client, area, (int)corpo.size())
                                   : invioBuffer(client, &stato, area, (int)corpo.size());
        if (inviato != ESITO_FATTO)
            return "";
        int ricevuto = modoInChiaro ? ricezioneBufferInChiaro(client, area, sizeof area, &lung)
                                    : ricezioneBuffer(client, &stato, area, sizeof area, &lung);
        lato.join();
        return ricevuto == ESITO_FATTO ? std::string((const char *)area, lung) : "";
    }
    SocketRete client = SOCKET_NON_VALIDO, servizio = SOCKET_NON_VALIDO;
    std::thread lato;
    int esito = -1;
    int inChiaro = -1;
};

TEST_F(Negoziazione, RispostaCifrataUgualeAllaRichiestaTranneIlCodice)
{
    std::string richiesta = Corpo({std::string("0000X\0", 6), "uno", std::string("due\0", 4), "S", "PROG"}, "coda");
    std::string risposta = Conversa(0, richiesta);
    std::string attesa = richiesta;
    attesa.replace(5, 4, "0109");
    EXPECT_EQ(attesa, risposta);
    EXPECT_EQ(1, esito);
    EXPECT_EQ(0, inChiaro);
}

TEST_F(Negoziazione, RispostaInChiaroConCodice0101)
{
    std::string richiesta = Corpo({"0000X", "a", "b", "N", "PROG"});
    std::string risposta = Conversa(1, richiesta);
    std::string attesa = richiesta;
    attesa.replace(5, 4, "0101");
    EXPECT_EQ(attesa, risposta);
    EXPECT_EQ(1, esito);
    EXPECT_EQ(1, inChiaro);
}

TEST_F(Negoziazione, RichiestePriveDiCodiceOSenzaFineSonoRifiutate)
{
    struct {
        std::string corpo;
        const char *motivo;
    } casi[] = {
        {Corpo({"abc"}), "campo 0 di 3 caratteri"},
        {"00000", "nessun campo"},
        {"00004abcd", "lista senza fine"},
        {"0000", "lista troncata"},
        {"00009abcd00000", "campo oltre i byte ricevuti"},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.motivo);
        ChiudiSocketProva(client);
        ChiudiSocketProva(servizio);
        ASSERT_TRUE(AvviaReteProva() && CoppiaConnessa(&client, &servizio));
        SvuotaLogMemoria();
        AvviaServizio();
        StatoCifratura stato = {};
        ASSERT_EQ(ESITO_IN_CHIARO, scambioChiaviCliente(client, &stato, 1));
        ASSERT_EQ(ESITO_FATTO, invioBufferInChiaro(client, (const uint8_t *)caso.corpo.data(), (int)caso.corpo.size()));
        lato.join();
        EXPECT_EQ(0, esito);
        EXPECT_THAT(TestoLogMemoria(), HasSubstr("NegoziazioneRichiesta - richiesta non valida"));
    }
}

TEST_F(Negoziazione, ClientCheChiudeInOgniFaseLasciaLaSuaRiga)
{
    struct {
        const char *fase;
        int scambio; /* -1 nessuno, 0 cifrato, 1 in chiaro */
        const char *log;
    } casi[] = {
        {"prima dello scambio", -1, "Impossibile attivare la comunicazione Criptazione KO...\n"},
        {"dopo le chiavi", 0, "Errore ricezioneBuffer Client Grafico\n"},
        {"dopo la frase in chiaro", 1, ""},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.fase);
        ChiudiSocketProva(client);
        ChiudiSocketProva(servizio);
        ASSERT_TRUE(AvviaReteProva() && CoppiaConnessa(&client, &servizio));
        SvuotaLogMemoria();
        StatoCifratura stato = {};
        AvviaServizio();
        if (caso.scambio >= 0) {
            ASSERT_EQ(caso.scambio ? ESITO_IN_CHIARO : ESITO_FATTO, scambioChiaviCliente(client, &stato, caso.scambio));
        }
        ChiudiInvioProva(client);
        lato.join();
        EXPECT_EQ(0, esito);
        EXPECT_EQ(caso.log, TestoLogMemoria());
    }
}
