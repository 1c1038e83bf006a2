/* tests/protocol/TramaTest.cpp - trame cifrate e in chiaro sul canale a copione: pezzi ai bordi
 * di 2048, intestazioni spezzate, buste PANIC, limiti dell'area, checksum, invii parziali. */
#include "protocol/protocol.h"

#include "tests/finti/LogMemoria.h"
#include "tests/finti/CanaleFinto.h"

#include <gtest/gtest.h>

#include <string.h>

static const uint8_t PRIMO = 0x44; /* passo 13 + 68 = 81 */

/* Byte in rete di una trama; pezzi riceve le chiamate d'invio. */
static std::vector<uint8_t> InRete(bool cifrata, std::vector<uint8_t> payload, StatoCifratura *stato = nullptr,
                                   std::vector<int> *pezzi = nullptr)
{
    StatoCifratura proprio = StatoProva(PRIMO);
    CanaleFinto finto;
    CanaleRete canale;
    PreparaCanale(&canale, &finto);
    int lung = (int)payload.size();
    EXPECT_EQ(ESITO_FATTO, cifrata ? invioBufferCanale(&canale, stato ? stato : &proprio, payload.data(), lung)
                                   : invioBufferInChiaroCanale(&canale, payload.data(), lung));
    if (pezzi != nullptr)
        *pezzi = finto.chiamateInvio;
    return finto.inviati;
}

struct CasoRicezione {
    const char *nome;
    bool cifrata;
    std::vector<uint8_t> ingresso;
    std::vector<int> pezzi;
    int capacita;
    int esito;
    int lung;                     /* conteggio atteso */
    std::vector<uint8_t> payload; /* primi byte attesi nella destinazione */
    std::string log;
};

/* Destinazione di esattamente capacita byte sullo heap: i sanitizer vedono ogni sconfinamento. */
static void Verifica(const CasoRicezione &caso, CanaleFinto *finto = nullptr)
{
    SCOPED_TRACE(caso.nome);
    SvuotaLogMemoria();
    CanaleFinto proprio;
    if (finto == nullptr)
        finto = &proprio;
    finto->ingresso = caso.ingresso;
    finto->pezzi = caso.pezzi;
    CanaleRete canale;
    PreparaCanale(&canale, finto);
    StatoCifratura stato = StatoProva(PRIMO);
    std::vector<uint8_t> dest((size_t)caso.capacita);
    int lung = -1;
    int esito = caso.cifrata ? ricezioneBufferCanale(&canale, &stato, dest.data(), caso.capacita, &lung)
                             : ricezioneBufferInChiaroCanale(&canale, dest.data(), caso.capacita, &lung);
    EXPECT_EQ(caso.esito, esito);
    EXPECT_EQ(caso.lung, lung);
    ASSERT_LE(caso.payload.size(), dest.size());
    EXPECT_EQ(caso.payload, Parte(dest, 0, caso.payload.size()));
    EXPECT_EQ(caso.log, TestoLogMemoria());
    for (int chiesti : finto->richieste)
        EXPECT_LE(chiesti, DIM_AREA_MESSAGGIO);
    if (caso.cifrata && esito == ESITO_FATTO) {
        EXPECT_EQ(13 + PRIMO, stato.ricezione.base);
    }
}

/* Materiale tutto zero nei due versi: chiavi = tabella ripetuta. La seconda trama parte da
 * base + passo = 56, non dal byte 18 dove e' finita la prima. */
TEST(Trama, DueTrameInUnVersoVettoriDiRiferimento)
{
    StatoCifratura stato;
    memset(&stato, 0, sizeof stato);
    for (int i = 0; i < DIM_CHIAVE; i++)
        stato.invio.chiave[i] = stato.ricezione.chiave[i] = TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
    StatoCifratura lettore = stato;
    std::vector<uint8_t> prima = InRete(true, Byte("abc"), &stato);
    std::vector<uint8_t> seconda = InRete(true, Byte("xy"), &stato);
    EXPECT_EQ(std::vector<uint8_t>({0x1b, 0xa6, 0x72, 0xdc, 0xc6, 0x2e, 0xd7, 0x76, 0xd2, 0x1a, 0xd7, 0x2b,
                                    0x19, 0x3a, 0x81, 0xca, 0xe9, 0x22}),
              prima);
    EXPECT_EQ(std::vector<uint8_t>({0xdd, 0x0c, 0x9e, 0xec, 0x6e, 0xd3, 0x90, 0x00, 0x42, 0x79, 0x7b, 0xde,
                                    0x9c, 0x62, 0x60, 0x95, 0x76}),
              seconda);

    CanaleFinto finto;
    finto.ingresso = Unisci({prima, seconda});
    CanaleRete canale;
    PreparaCanale(&canale, &finto);
    uint8_t area[3];
    int lung = 0;
    ASSERT_EQ(ESITO_FATTO, ricezioneBufferCanale(&canale, &lettore, area, 3, &lung));
    EXPECT_EQ(0, memcmp("abc", area, 3));
    ASSERT_EQ(ESITO_FATTO, ricezioneBufferCanale(&canale, &lettore, area, 2, &lung));
    EXPECT_EQ(0, memcmp("xy", area, 2));

    /* Decifrata da dove e' finita la prima, la seconda non ha piu' cifre nell'intestazione. */
    FlussoChiave continuato = stato.ricezione;
    continuato.posizione = 18;
    CifraDecifra(&continuato, seconda.data(), 10);
    EXPECT_NE(Byte("0000000002"), Parte(seconda, 0, 10));
}

TEST(Trama, PezziDiInvioAiBordiDi2048)
{
    struct Caso {
        bool cifrata;
        int lung;
        std::vector<int> pezzi;
    } casi[] = {
        {true, 0, {15}},           {true, 2033, {2048}},        {true, 2034, {2048, 1}},
        {true, 5000, {2048, 2048, 919}}, {false, 0, {10}},      {false, 2038, {2048}},
        {false, 2039, {2048, 1}},  {false, 4500, {2048, 2048, 414}},
    };
    for (const Caso &caso : casi) {
        std::vector<uint8_t> payload = Sequenza((size_t)caso.lung, 1);
        std::vector<int> pezzi;
        std::vector<uint8_t> rete = InRete(caso.cifrata, payload, nullptr, &pezzi);
        std::string nome = (caso.cifrata ? "cifrata " : "in chiaro ") + std::to_string(caso.lung);
        SCOPED_TRACE(nome);
        EXPECT_EQ(caso.pezzi, pezzi);
        Verifica({nome.c_str(), caso.cifrata, rete, {}, caso.lung, ESITO_FATTO, caso.lung, payload, ""});
    }
}

TEST(Trama, IntestazioneSpezzataEBustePanic)
{
    std::vector<uint8_t> p = Sequenza(100, 3);
    std::vector<uint8_t> r = InRete(true, p);
    std::vector<uint8_t> conBusta = Unisci({Parte(r, 0, 45), Byte("00005PANIC00070"), Parte(r, 45, 115)});
    CasoRicezione casi[] = {
        {"intestazione 4+7+4", true, r, {4, 7, 4}, 260, ESITO_FATTO, 100, p, ""},
        {"4+7+10: payload con l'intestazione", true, r, {4, 7, 10}, 260, ESITO_FATTO, 100, p, ""},
        {"busta nella fase di payload", true, conBusta, {45, 15, 70}, 260, ESITO_FATTO, 100, p, ""},
        {"busta nella fase d'intestazione", true, Unisci({Byte("abcdePANIC00015"), r}), {15, 15}, 260,
         ESITO_FATTO, 100, p, ""},
        {"busta e primi byte in un pezzo", true, conBusta, {45, 85}, 260, ESITO_FATTO, 100, p, ""},
        {"busta spezzata dopo PANIC", true, conBusta, {45, 12, 3, 70}, 260, ESITO_FATTO, 100, p, ""},
        {"busta con N zero", true, Unisci({Parte(r, 0, 45), Byte("00005PANIC00000"), Parte(r, 45, 115)}),
         {45, 15}, 260, ESITO_FATTO, 100, p, ""},
        {"in chiaro PANIC e' payload", false, InRete(false, Byte("xxxxxPANIC00003abc")), {10}, 260, ESITO_FATTO,
         18, Byte("xxxxxPANIC00003abc"), ""},
    };
    for (const CasoRicezione &caso : casi)
        Verifica(caso);

    CanaleFinto finto;
    Verifica(casi[0], &finto);
    EXPECT_EQ(std::vector<int>({15, 15, 15, 100}), finto.richieste);
}

/* Un pezzo di 9 byte con "PANI" nei byte 5-8 in rete, dopo un pezzo che decifrato lascia "PANIC"
 * negli stessi posti dell'area: non e' una busta. */
TEST(Trama, PezzoSottoIDieciByteNonEBusta)
{
    std::vector<uint8_t> payload = Sequenza(30, 8);
    memcpy(payload.data() + 5, "PANIC", 5);
    FlussoChiave chiave = StatoProva(PRIMO).invio;
    for (int j = 0; j < 4; j++)
        payload[(size_t)(15 + j)] = (uint8_t)("PANI"[j] ^ chiave.chiave[30 + j]);
    std::vector<uint8_t> rete = InRete(true, payload);
    ASSERT_EQ(Byte("PANI"), Parte(rete, 30, 34));
    Verifica({"pezzi 15+10+9+11", true, rete, {15, 10, 9, 11}, 100, ESITO_FATTO, 30, payload, ""});
}

/* Una trama oltre la capacita' e una busta oltre lo spazio rimasto finiscono con 102; i byte oltre L
 * si contano fino alla capacita', non oltre. */
TEST(Trama, LimitiDellArea)
{
    std::vector<uint8_t> p = Sequenza(200, 9);
    std::vector<uint8_t> r = InRete(true, p);
    std::vector<uint8_t> dopo = Sequenza(60, 4);
    std::vector<uint8_t> abcCifrata = Unisci({InRete(true, Byte("abc")), dopo});
    std::vector<uint8_t> abcInChiaro = Unisci({InRete(false, Byte("abc")), dopo});
    CasoRicezione casi[] = {
        {"cifrata di 2049 byte", true, InRete(true, Sequenza(2049, 1)), {}, 2048, ESITO_CHIUSO, 0, {},
         "ricezioneBuffer - trama di 2049 byte oltre l'area di 2048 byte\n"},
        {"cifrata di 1 byte in capacita' 0", true, InRete(true, Byte("a")), {}, 0, ESITO_CHIUSO, 0, {},
         "ricezioneBuffer - trama di 1 byte oltre l'area di 0 byte\n"},
        {"in chiaro di 300 byte in 260", false, InRete(false, Sequenza(300, 1)), {}, 260, ESITO_CHIUSO, 0, {},
         "ricezioneBufferInChiaro - trama di 300 byte oltre l'area di 260 byte\n"},
        {"lunghezza oltre int", false, Byte("9999999999abc"), {}, 2048, ESITO_CHIUSO, 0, {},
         "ricezioneBufferInChiaro - trama di 2147483647 byte oltre l'area di 2048 byte\n"},
        {"busta oltre lo spazio rimasto", true,
         Unisci({Parte(r, 0, 45), Byte("00005PANIC00300"), std::vector<uint8_t>(300, 0x5A)}), {45, 15}, 260,
         ESITO_CHIUSO, 30, Parte(p, 0, 30),
         "ricezioneBuffer - busta PANIC di 300 byte oltre lo spazio rimasto di 230 byte\n"},
        {"cifrata, oltre L con l'intestazione", true, abcCifrata, {10, 15}, 100, ESITO_FATTO, 10, Byte("abc"), ""},
        {"cifrata, oltre L fino alla capacita'", true, abcCifrata, {10, 15}, 5, ESITO_FATTO, 5, Byte("abc"), ""},
        {"cifrata, capacita' uguale a L", true, abcCifrata, {10, 15}, 3, ESITO_FATTO, 3, Byte("abc"), ""},
        {"in chiaro, oltre L nel payload", false, abcInChiaro, {10, 50}, 100, ESITO_FATTO, 50, Byte("abc"), ""},
        {"in chiaro, oltre L fino alla capacita'", false, abcInChiaro, {10, 50}, 20, ESITO_FATTO, 20, Byte("abc"),
         ""},
    };
    for (const CasoRicezione &caso : casi)
        Verifica(caso);
}

TEST(Trama, ChecksumErrataDaComunque101)
{
    std::vector<uint8_t> payload = Sequenza(40, 2);
    std::vector<uint8_t> rete = InRete(true, payload);
    rete[15 + 7] ^= 0x01;
    payload[7] ^= 0x01;
    Verifica({"un bit cambiato", true, rete, {}, 2048, ESITO_FATTO, 40, payload,
              "ricezioneBuffer - ERRORE FATALE - Errore nella ricezione dei dati via rete\n"});
}

TEST(Trama, ChiusureEIntestazioniStrane)
{
    std::vector<uint8_t> r = InRete(true, Sequenza(50, 5));
    CasoRicezione casi[] = {
        {"niente", true, {}, {}, 2048, ESITO_CHIUSO, 0, {}, ""},
        {"chiusa nell'intestazione", true, Parte(r, 0, 7), {}, 2048, ESITO_CHIUSO, 0, {}, ""},
        {"chiusa nel payload", true, Parte(r, 0, 40), {}, 2048, ESITO_CHIUSO, 25, {}, ""},
        {"chiusa dopo la busta", true, Unisci({Parte(r, 0, 30), Byte("00005PANIC00035")}), {30}, 2048,
         ESITO_CHIUSO, 15, {}, ""},
        {"chiusa dentro la busta", true, Unisci({Parte(r, 0, 30), Byte("00005PANIC00")}), {30}, 2048,
         ESITO_CHIUSO, 15, {}, ""},
        {"in chiaro chiusa nel payload", false, Byte("0000000050abc"), {}, 2048, ESITO_CHIUSO, 3, Byte("abc"), ""},
        {"cifre seguite da altro", false, Byte("3xxxxxxxxxabcd"), {10, 1, 1, 1}, 20, ESITO_FATTO, 3, Byte("abc"), ""},
        {"nessuna cifra", false, Byte("+000000005abcd"), {10}, 20, ESITO_FATTO, 0, {}, ""},
    };
    for (const CasoRicezione &caso : casi)
        Verifica(caso);
    CasoRicezione errore = casi[2];
    errore.nome = "errore nel payload";
    CanaleFinto finto;
    finto.erroreAllaFine = true;
    Verifica(errore, &finto);
}

TEST(Trama, InvioParzialeProsegueEdErroreFerma)
{
    std::vector<uint8_t> payload = Sequenza(5000, 11);
    for (bool cifrata : {true, false}) {
        SCOPED_TRACE(cifrata ? "cifrata" : "in chiaro");
        std::vector<uint8_t> intero = InRete(cifrata, payload);
        for (int chiamataInErrore : {-1, 0, 2}) {
            StatoCifratura stato = StatoProva(PRIMO);
            std::vector<uint8_t> copia = payload;
            CanaleFinto finto;
            finto.massimoPerInvio = 100;
            finto.invioInErrore = chiamataInErrore;
            CanaleRete canale;
            PreparaCanale(&canale, &finto);
            int esito = cifrata ? invioBufferCanale(&canale, &stato, copia.data(), 5000)
                                : invioBufferInChiaroCanale(&canale, copia.data(), 5000);
            EXPECT_EQ(chiamataInErrore < 0 ? ESITO_FATTO : ESITO_CHIUSO, esito);
            EXPECT_EQ(Parte(intero, 0, finto.inviati.size()), finto.inviati);
            EXPECT_EQ(chiamataInErrore < 0 ? intero.size() : (size_t)chiamataInErrore * 100, finto.inviati.size());
        }
    }
    SvuotaLogMemoria();
    StatoCifratura stato = StatoProva(PRIMO);
    CanaleFinto finto;
    CanaleRete canale;
    PreparaCanale(&canale, &finto);
    EXPECT_EQ(ESITO_CHIUSO, invioBufferCanale(&canale, &stato, nullptr, -1));
    EXPECT_TRUE(finto.chiamateInvio.empty());
    EXPECT_EQ("invioBuffer - payload di -1 byte non valido\n", TestoLogMemoria());
}
