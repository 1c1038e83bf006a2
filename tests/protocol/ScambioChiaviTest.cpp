/* tests/protocol/ScambioChiaviTest.cpp - scambio chiavi sul canale a copione: frase in chiaro,
 * materiale a pezzi o corto, chiusure, lato client all'inverso del servizio. */
#include "protocol/protocol.h"

#include "tests/finti/CanaleFinto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

static std::vector<uint8_t> ConTabella(std::vector<uint8_t> dati)
{
    for (size_t i = 0; i < dati.size(); i++)
        dati[i] ^= TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
    return dati;
}

static std::vector<uint8_t> Chiave(const FlussoChiave &flusso)
{
    return std::vector<uint8_t>(flusso.chiave, flusso.chiave + DIM_CHIAVE);
}

static int Scambio(CanaleFinto *finto, StatoCifratura *stato)
{
    CanaleRete canale;
    PreparaCanale(&canale, finto);
    return scambioChiaviCanale(&canale, stato);
}

/* Nessuna risposta; gli zeri gia' arrivati dietro la frase sono consumati, la trama che segue resta
 * intera. Uno zero che arriva dopo non e' piu' della frase. */
TEST(ScambioChiavi, FraseInChiaroDa108SenzaRisposta)
{
    const std::string frase = FRASE_IN_CHIARO;
    const std::string zero(1, '\0');
    struct Caso {
        const char *nome;
        std::string ingresso;
        std::vector<int> pezzi;
        bool chiuso;
        std::string resto;
    } casi[] = {
        {"sola", frase, {}, true, ""},
        {"sola, poi silenzio", frase, {}, false, ""},
        {"con lo zero", frase + zero, {}, true, ""},
        {"a pezzi 20+26", frase, {20, 26}, true, ""},
        {"lo zero a parte", frase + zero, {46, 1}, false, zero},
        {"in un'area azzerata", frase + std::string(2000, '\0') + "0000000003abc", {}, true, "0000000003abc"},
        {"seguita dalla trama", frase + "0000000003abc", {}, true, "0000000003abc"},
        {"con lo zero e la trama", frase + zero + "0000000003abc", {}, true, "0000000003abc"},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.nome);
        StatoCifratura stato = StatoProva(0);
        CanaleFinto finto;
        finto.ingresso = Byte(caso.ingresso);
        finto.pezzi = caso.pezzi;
        finto.chiusoAllaFine = caso.chiuso;
        EXPECT_EQ(ESITO_IN_CHIARO, Scambio(&finto, &stato));
        EXPECT_TRUE(finto.chiamateInvio.empty());
        if (caso.pezzi.empty()) { /* una ricezione; due se gli zeri passano i 1024 byte */
            EXPECT_EQ(caso.ingresso.size() > 1100 ? 2u : 1u, finto.richieste.size());
        }
        EXPECT_EQ(Byte(caso.resto), Parte(finto.ingresso, finto.letti, finto.ingresso.size()));
    }
}

TEST(ScambioChiavi, MaterialeDi1024ByteAPezzi)
{
    std::vector<uint8_t> materiale = Sequenza(DIM_CHIAVE, 5);
    std::string quasi = FRASE_IN_CHIARO;
    quasi[45] = 'Y';
    std::vector<uint8_t> quasiFrase = Byte(quasi);
    quasiFrase.resize(DIM_CHIAVE, 0x33);
    struct Caso {
        std::vector<uint8_t> materiale;
        std::vector<int> pezzi;
    } casi[] = {{materiale, {}}, {materiale, {300, 724}}, {materiale, {1, 1023}}, {quasiFrase, {20, 1004}}};
    for (const Caso &caso : casi) {
        SCOPED_TRACE(testing::Message() << "pezzi " << caso.pezzi.size() << ", primo byte " << (int)caso.materiale[0]);
        StatoCifratura stato = StatoProva(9);
        stato.invio.posizione = 7;
        stato.ricezione.base = 9;
        CanaleFinto finto;
        finto.ingresso = Unisci({caso.materiale, std::vector<uint8_t>(10, 0xAB)});
        finto.pezzi = caso.pezzi;
        ASSERT_EQ(ESITO_FATTO, Scambio(&finto, &stato));
        EXPECT_EQ(10u, RestantiCanale(&finto)); /* mai oltre 1024 byte */
        EXPECT_EQ(caso.pezzi.empty() ? 1u : caso.pezzi.size(), finto.richieste.size()); /* una per pezzo */
        ASSERT_EQ((size_t)DIM_CHIAVE, finto.inviati.size());
        for (uint8_t byte : finto.inviati)
            ASSERT_NE(255, byte);
        EXPECT_EQ(ConTabella(caso.materiale), Chiave(stato.ricezione));
        EXPECT_EQ(ConTabella(finto.inviati), Chiave(stato.invio));
        EXPECT_EQ(0, stato.invio.posizione + stato.invio.base + stato.ricezione.posizione + stato.ricezione.base);
    }
}

/* Il generatore riparte dallo stesso seme a ogni scambio: stessi 1024 byte, non una costante. */
TEST(ScambioChiavi, StessiByteInviatiAOgniScambio)
{
    std::vector<std::vector<uint8_t>> inviati;
    for (unsigned seme : {1u, 2u}) {
        StatoCifratura stato = StatoProva(0);
        CanaleFinto finto;
        finto.ingresso = Sequenza(DIM_CHIAVE, seme);
        ASSERT_EQ(ESITO_FATTO, Scambio(&finto, &stato));
        inviati.push_back(finto.inviati);
    }
    EXPECT_EQ(inviati[0], inviati[1]);
    EXPECT_LT(std::count(inviati[0].begin(), inviati[0].end(), inviati[0][0]), 50);
}

/* Dopo il silenzio si usa il materiale arrivato; i byte mancanti tengono la chiave di prima. */
TEST(ScambioChiavi, MaterialeCortoUsatoDopoLAttesa)
{
    std::vector<uint8_t> corto = Sequenza(100, 8);
    StatoCifratura stato;
    memset(&stato, 0, sizeof stato);
    CanaleFinto finto;
    finto.ingresso = corto;
    finto.pezzi = {60, 40};
    finto.chiusoAllaFine = false;
    ASSERT_EQ(ESITO_FATTO, Scambio(&finto, &stato));
    std::vector<uint8_t> atteso = corto;
    atteso.resize(DIM_CHIAVE, 0);
    EXPECT_EQ(ConTabella(atteso), Chiave(stato.ricezione));
    EXPECT_EQ((size_t)DIM_CHIAVE, finto.inviati.size());

    std::vector<uint8_t> precedente = Chiave(stato.ricezione);
    CanaleFinto secondo;
    secondo.ingresso = Sequenza(30, 9);
    secondo.chiusoAllaFine = false;
    ASSERT_EQ(ESITO_FATTO, Scambio(&secondo, &stato));
    memcpy(precedente.data(), secondo.ingresso.data(), 30);
    EXPECT_EQ(ConTabella(precedente), Chiave(stato.ricezione));
}

TEST(ScambioChiavi, ChiusuraOErroreDa102)
{
    struct Caso {
        const char *nome;
        std::vector<uint8_t> ingresso;
        bool errore;
        int invioInErrore;
    } casi[] = {
        {"niente", {}, false, -1},
        {"errore subito", {}, true, -1},
        {"chiuso a meta' materiale", Sequenza(500, 3), false, -1},
        {"errore a meta' materiale", Sequenza(500, 3), true, -1},
        {"chiuso a meta' frase", Byte("OrsoBruno"), false, -1},
        {"invio dei 1024 byte fallito", Sequenza(DIM_CHIAVE, 6), false, 0},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.nome);
        StatoCifratura stato;
        memset(&stato, 0, sizeof stato);
        CanaleFinto finto;
        finto.ingresso = caso.ingresso;
        finto.erroreAllaFine = caso.errore;
        finto.invioInErrore = caso.invioInErrore;
        EXPECT_EQ(ESITO_CHIUSO, Scambio(&finto, &stato));
        EXPECT_TRUE(finto.inviati.empty());
    }
}

/* Client e servizio, ognuno sul copione dei byte dell'altro: chiavi all'inverso e una trama che
 * passa. Poi la frase in chiaro e le chiusure del lato client. */
TEST(ScambioChiavi, LatoClienteAllInverso)
{
    std::vector<uint8_t> materiale = Sequenza(DIM_CHIAVE, 21);
    StatoCifratura servizio = StatoProva(0);
    CanaleFinto versoServizio;
    versoServizio.ingresso = materiale;
    ASSERT_EQ(ESITO_FATTO, Scambio(&versoServizio, &servizio));

    StatoCifratura cliente = StatoProva(0);
    CanaleFinto versoCliente;
    versoCliente.ingresso = versoServizio.inviati;
    versoCliente.pezzi = {500, 24};
    CanaleRete canale;
    PreparaCanale(&canale, &versoCliente);
    ASSERT_EQ(ESITO_FATTO, scambioChiaviClienteCanale(&canale, &cliente, 0, materiale.data()));
    EXPECT_EQ(materiale, versoCliente.inviati);
    EXPECT_EQ(Chiave(servizio.ricezione), Chiave(cliente.invio));
    EXPECT_EQ(Chiave(servizio.invio), Chiave(cliente.ricezione));

    CanaleFinto frase;
    PreparaCanale(&canale, &frase);
    EXPECT_EQ(ESITO_IN_CHIARO, scambioChiaviClienteCanale(&canale, &cliente, 1, nullptr));
    EXPECT_EQ(Byte(FRASE_IN_CHIARO), frase.inviati);
    EXPECT_TRUE(frase.richieste.empty());

    CanaleFinto corto; /* il servizio chiude prima dei suoi 1024 byte */
    corto.ingresso = Sequenza(700, 4);
    PreparaCanale(&canale, &corto);
    EXPECT_EQ(ESITO_CHIUSO, scambioChiaviClienteCanale(&canale, &cliente, 0, materiale.data()));
    CanaleFinto rifiuto;
    rifiuto.invioInErrore = 0;
    PreparaCanale(&canale, &rifiuto);
    EXPECT_EQ(ESITO_CHIUSO, scambioChiaviClienteCanale(&canale, &cliente, 0, materiale.data()));
    EXPECT_TRUE(rifiuto.richieste.empty());
}
