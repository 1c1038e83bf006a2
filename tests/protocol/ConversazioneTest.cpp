/* tests/protocol/ConversazioneTest.cpp - conversazioni intere tra la meta' client e la meta'
 * servizio su socket veri (127.0.0.1, porta effimera). Il servizio gira su un thread; il client
 * chiude il suo socket prima di attenderlo, cosi' un servizio fermo in ricezione finisce. */
#include "protocol/protocol.h"

#include "tests/finti/LogMemoria.h"
#include "tests/finti/CanaleFinto.h"
#include "tests/finti/SocketProva.h"

#include <gtest/gtest.h>

#include <string.h>
#include <thread>

static const char TESTO_AGGIORNAMENTO[] =
    "La procedura di aggiornamento e' in corso oppure l'ultimo aggiornamento eseguito "
    "ha generato errori. Attendere alcuni istanti e ritentare la connessione.";

/* Lista di campi di testi, ognuno chiuso da uno zero contato nella lunghezza. */
static std::vector<uint8_t> Richiesta(const std::vector<std::string> &testi)
{
    std::vector<uint8_t> corpo(DIM_AREA_MESSAGGIO);
    int pos = 0;
    for (const std::string &testo : testi)
        pos += aggiungiCampo(corpo.data() + pos, DIM_AREA_MESSAGGIO - pos, (const uint8_t *)testo.c_str(),
                             (int)testo.size() + 1);
    pos += ChiudiListaCampi(corpo.data() + pos, DIM_AREA_MESSAGGIO - pos);
    corpo.resize((size_t)pos);
    return corpo;
}

struct LatoServizio {
    int esiti[5] = {0, 0, 0, 0, 0}; /* scambio, richiesta, risposta, secondo scambio, avviso */
    std::vector<uint8_t> richiesta;
    std::vector<uint8_t> ultimaTrama;
};

/* Il servizio: scambio, richiesta, risposta con il codice d'accettazione nel campo 0; in una
 * conversazione cifrata poi un nuovo scambio, l'avviso compresso e la trama del client. */
static void Servizio(SocketRete s, LatoServizio *lato)
{
    StatoCifratura stato;
    memset(&stato, 0, sizeof stato);
    uint8_t area[DIM_AREA_MESSAGGIO];
    int lung = 0;
    lato->esiti[0] = scambioChiavi(s, &stato);
    bool inChiaro = lato->esiti[0] == ESITO_IN_CHIARO;
    lato->esiti[1] = inChiaro ? ricezioneBufferInChiaro(s, area, sizeof area, &lung)
                              : ricezioneBuffer(s, &stato, area, sizeof area, &lung);
    CampoLista campi[20];
    if (lato->esiti[1] != ESITO_FATTO || LeggiListaCampi(area, lung, campi, 20) < 1)
        return;
    lato->richiesta.assign(area, area + lung);
    memcpy(area + campi[0].inizio, inChiaro ? "0101" : "0109", 4);
    lato->esiti[2] = inChiaro ? invioBufferInChiaro(s, area, lung) : invioBuffer(s, &stato, area, lung);
    if (inChiaro)
        return;

    lato->esiti[3] = scambioChiavi(s, &stato);
    uint8_t corpo[200];
    int pos = 10;
    memcpy(corpo, "9999900201", 10);
    pos += aggiungiCampo(corpo + pos, 200 - pos, (const uint8_t *)TESTO_AGGIORNAMENTO, 153);
    pos += ChiudiListaCampi(corpo + pos, 200 - pos);
    uint8_t compressi[DIM_USCITA_LZW(200)];
    lato->esiti[4] = invioBuffer(s, &stato, compressi, compressioneDati(corpo, pos, compressi, sizeof compressi));
    uint8_t breve[260];
    if (ricezioneBuffer(s, &stato, breve, sizeof breve, &lung) == ESITO_FATTO)
        lato->ultimaTrama.assign(breve, breve + lung);
}

class Conversazione : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(AvviaReteProva());
        ASSERT_TRUE(CoppiaConnessa(&cliente, &servizio));
        SvuotaLogMemoria();
        memset(&stato, 0, sizeof stato);
    }
    void TearDown() override
    {
        Termina();
        ChiudiSocketProva(servizio);
    }
    void Termina()
    {
        ChiudiSocketProva(cliente);
        cliente = SOCKET_NON_VALIDO;
        if (filo.joinable())
            filo.join();
    }
    SocketRete cliente = SOCKET_NON_VALIDO;
    SocketRete servizio = SOCKET_NON_VALIDO;
    std::thread filo;
    LatoServizio lato;
    StatoCifratura stato;
    uint8_t area[DIM_AREA_MESSAGGIO];
    int lung = 0;
};

TEST_F(Conversazione, CifrataConAvvisoCompresso)
{
    filo = std::thread(Servizio, servizio, &lato);
    ASSERT_EQ(ESITO_FATTO, scambioChiaviCliente(cliente, &stato, 0));
    std::vector<uint8_t> richiesta = Richiesta({"0000X", "uno", "due", "Si", "qorprog", ""});
    std::vector<uint8_t> copia = richiesta;
    ASSERT_EQ(ESITO_FATTO, invioBuffer(cliente, &stato, copia.data(), (int)copia.size()));
    ASSERT_EQ(ESITO_FATTO, ricezioneBuffer(cliente, &stato, area, sizeof area, &lung));
    std::vector<uint8_t> attesa = richiesta;
    memcpy(attesa.data() + 5, "0109", 4);
    EXPECT_EQ(attesa, std::vector<uint8_t>(area, area + lung));

    ASSERT_EQ(ESITO_FATTO, scambioChiaviCliente(cliente, &stato, 0));
    ASSERT_EQ(ESITO_FATTO, ricezioneBuffer(cliente, &stato, area, sizeof area, &lung));
    uint8_t corpo[DIM_AREA_MESSAGGIO];
    ASSERT_EQ(173, DecomprimiLzw(area, lung, corpo, sizeof corpo));
    EXPECT_EQ(Unisci({Byte("999990020100153"), Byte(TESTO_AGGIORNAMENTO), Byte("00000")}),
              std::vector<uint8_t>(corpo, corpo + 173));
    uint8_t ok[] = "00002ok00000";
    ASSERT_EQ(ESITO_FATTO, invioBuffer(cliente, &stato, ok, 12));
    Termina();

    EXPECT_EQ(richiesta, lato.richiesta);
    EXPECT_EQ(Byte("00002ok00000"), lato.ultimaTrama);
    for (int esito : lato.esiti)
        EXPECT_EQ(ESITO_FATTO, esito);
    EXPECT_EQ("", TestoLogMemoria());
}

/* La richiesta parte subito dietro la frase: il servizio non la prende come materiale. */
TEST_F(Conversazione, InChiaroConLaFrase)
{
    filo = std::thread(Servizio, servizio, &lato);
    ASSERT_EQ(ESITO_IN_CHIARO, scambioChiaviCliente(cliente, &stato, 1));
    std::vector<uint8_t> richiesta = Richiesta({"0000X", "uno", "due", "s", "qorprog"});
    ASSERT_EQ(ESITO_FATTO, invioBufferInChiaro(cliente, richiesta.data(), (int)richiesta.size()));
    ASSERT_EQ(ESITO_FATTO, ricezioneBufferInChiaro(cliente, area, sizeof area, &lung));
    std::vector<uint8_t> attesa = richiesta;
    memcpy(attesa.data() + 5, "0101", 4);
    EXPECT_EQ(attesa, std::vector<uint8_t>(area, area + lung));
    Termina();
    EXPECT_EQ(ESITO_IN_CHIARO, lato.esiti[0]);
    EXPECT_EQ(richiesta, lato.richiesta);
    EXPECT_EQ("", TestoLogMemoria());
}

/* Trame di piu' pezzi nei due versi, poi il client chiude: il servizio riceve 102. Il thread usa
 * solo la fixture, che vive fino al join. */
TEST_F(Conversazione, TramaDiPiuPezziEChiusura)
{
    std::vector<uint8_t> grande = Sequenza(DIM_AREA_MESSAGGIO * 3 + 7, 13);
    lato.richiesta.resize(grande.size());
    filo = std::thread([this]() {
        StatoCifratura proprio;
        memset(&proprio, 0, sizeof proprio);
        int n = 0;
        lato.esiti[0] = scambioChiavi(servizio, &proprio);
        lato.esiti[1] = ricezioneBuffer(servizio, &proprio, lato.richiesta.data(), (int)lato.richiesta.size(), &n);
        lato.ultimaTrama = lato.richiesta;
        lato.esiti[2] = invioBuffer(servizio, &proprio, lato.ultimaTrama.data(), n);
        lato.esiti[3] = ricezioneBuffer(servizio, &proprio, lato.ultimaTrama.data(), n, &n);
    });
    ASSERT_EQ(ESITO_FATTO, scambioChiaviCliente(cliente, &stato, 0));
    std::vector<uint8_t> copia = grande;
    ASSERT_EQ(ESITO_FATTO, invioBuffer(cliente, &stato, copia.data(), (int)copia.size()));
    std::vector<uint8_t> eco(grande.size());
    ASSERT_EQ(ESITO_FATTO, ricezioneBuffer(cliente, &stato, eco.data(), (int)eco.size(), &lung));
    EXPECT_EQ(grande, eco);
    Termina();
    EXPECT_EQ(grande, lato.richiesta);
    EXPECT_EQ(ESITO_FATTO, lato.esiti[1]);
    EXPECT_EQ(ESITO_FATTO, lato.esiti[2]);
    EXPECT_EQ(ESITO_CHIUSO, lato.esiti[3]);
}
