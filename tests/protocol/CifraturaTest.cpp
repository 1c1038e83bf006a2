/* tests/protocol/CifraturaTest.cpp - flussi di chiave (passo, basi, giro della posizione) e
 * checksum a gruppi di cinque byte. */
#include "protocol/protocol.h"

#include <gtest/gtest.h>

#include <string.h>
#include <vector>

static FlussoChiave FlussoDaTabella()
{
    FlussoChiave flusso;
    memset(&flusso, 0, sizeof flusso);
    for (int i = 0; i < DIM_CHIAVE; i++)
        flusso.chiave[i] = TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
    return flusso;
}

TEST(Cifratura, IlPassoVieneDalPrimoByteConSegno)
{
    struct Caso {
        uint8_t primo;
        int baseIniziale;
        int basi[3];
    } casi[] = {
        {0xF3, 0, {0, 0, 0}},         /* passo 0 */
        {0xF0, 0, {1021, 1018, 1015}}, /* passo -3 */
        {0x80, 0, {909, 794, 679}},   /* passo -115 */
        {0x7F, 1000, {116, 256, 396}}, /* passo 140, giro oltre 1023 */
        {0xFF, 0, {12, 24, 36}},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(testing::Message() << "primo byte " << (int)caso.primo);
        FlussoChiave flusso;
        memset(&flusso, 0, sizeof flusso);
        flusso.chiave[0] = caso.primo;
        flusso.base = caso.baseIniziale;
        uint8_t dati[37] = {0};
        for (int messaggio = 0; messaggio < 3; messaggio++) {
            CifraDecifra(&flusso, dati, (int)sizeof dati);
            ChiudiMessaggio(&flusso);
            EXPECT_EQ(caso.basi[messaggio], flusso.base);
            EXPECT_EQ(flusso.base, flusso.posizione);
        }
    }
}

TEST(Cifratura, LaPosizioneGiraDa1023AZero)
{
    FlussoChiave andata = FlussoDaTabella();
    andata.posizione = 1022;
    uint8_t dati[4] = {0, 0, 0, 0xFF};
    CifraDecifra(&andata, dati, 4);
    /* chiave[1022] e chiave[1023] sono i byte 14 e 15 della tabella, poi i byte 0 e 1. */
    const uint8_t cifrati[4] = {0x81, 0xab, 0x2b, 0x96 ^ 0xFF};
    EXPECT_EQ(0, memcmp(cifrati, dati, 4));
    EXPECT_EQ(2, andata.posizione);

    /* Ritorno a pezzi su 3000 byte: il flusso prosegue da un pezzo all'altro. */
    std::vector<uint8_t> chiaro(3000);
    for (size_t i = 0; i < chiaro.size(); i++)
        chiaro[i] = (uint8_t)(i * 31 + 7);
    std::vector<uint8_t> lungo = chiaro;
    FlussoChiave uno = FlussoDaTabella();
    FlussoChiave due = FlussoDaTabella();
    CifraDecifra(&uno, lungo.data(), 3000);
    EXPECT_NE(chiaro, lungo);
    CifraDecifra(&due, lungo.data(), 1);
    CifraDecifra(&due, lungo.data() + 1, 2047);
    CifraDecifra(&due, lungo.data() + 2048, 952);
    EXPECT_EQ(chiaro, lungo);
}

TEST(Cifratura, MessaggiDiLunghezzaDiversaPortanoAllaStessaBase)
{
    FlussoChiave corto = FlussoDaTabella();
    FlussoChiave lungo = FlussoDaTabella();
    std::vector<uint8_t> dati(5000, 0x55);
    CifraDecifra(&corto, dati.data(), 100);
    CifraDecifra(&lungo, dati.data(), 5000);
    ChiudiMessaggio(&corto);
    ChiudiMessaggio(&lungo);
    EXPECT_EQ(56, corto.posizione); /* 13 + 0x2b */
    EXPECT_EQ(56, lungo.posizione);
}

TEST(Checksum, GruppiDiCinqueByte)
{
    struct Caso {
        std::vector<uint8_t> dati;
        std::vector<uint8_t> atteso;
    } casi[] = {
        {{}, {0, 0, 0, 0, 0}},
        {{0x41}, {0x41, 0, 0, 0, 0}},
        {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
        {{1, 2, 3, 4, 5, 0x10, 0x20}, {0x11, 0x22, 3, 4, 5}},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {1 ^ 6 ^ 11, 2 ^ 7, 3 ^ 8, 4 ^ 9, 5 ^ 10}},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(testing::Message() << caso.dati.size() << " byte");
        std::vector<uint8_t> checksum(5, 0xEE);
        calcolaChecksum(checksum.data(), caso.dati.data(), (int)caso.dati.size());
        EXPECT_EQ(caso.atteso, checksum);
    }
}
