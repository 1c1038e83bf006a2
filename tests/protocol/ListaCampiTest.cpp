/* tests/protocol/ListaCampiTest.cpp - scrittura e lettura delle liste di campi, ai bordi. */
#include "protocol/protocol.h"

#include "tests/finti/LogMemoria.h"
#include "tests/finti/CanaleFinto.h"

#include <gtest/gtest.h>

TEST(ListaCampi, ScritturaDentroLoSpazio)
{
    std::vector<uint8_t> area(22, '#');
    int pos = aggiungiCampo(area.data(), 22, Byte("0000X").data(), 5);
    pos += aggiungiCampo(area.data() + pos, 22 - pos, Byte(std::string(1, '\0')).data(), 1);
    pos += ChiudiListaCampi(area.data() + pos, 22 - pos);
    EXPECT_EQ(21, pos);
    EXPECT_EQ(Byte(std::string("000050000X00001\0" "00000#", 22)), area);

    struct Caso {
        int spazio;
        int n;
    } rifiuti[] = {{100, 0}, {100, -3}, {200000, 100000}, {9, 5}, {4, 1}};
    std::vector<uint8_t> contenuto(100000, 'c');
    for (const Caso &caso : rifiuti) {
        SCOPED_TRACE(testing::Message() << caso.n << " byte in " << caso.spazio);
        SvuotaLogMemoria();
        std::vector<uint8_t> dest((size_t)caso.spazio, '#');
        EXPECT_EQ(0, aggiungiCampo(dest.data(), caso.spazio, contenuto.data(), caso.n));
        EXPECT_EQ(std::vector<uint8_t>((size_t)caso.spazio, '#'), dest);
        EXPECT_EQ("aggiungiCampo - campo di " + std::to_string(caso.n) + " byte non scritto: spazio " +
                      std::to_string(caso.spazio) + " byte\n",
                  TestoLogMemoria());
    }
    EXPECT_EQ(0, ChiudiListaCampi(area.data(), 4));
    std::vector<uint8_t> grande(100009);
    EXPECT_EQ(100004, aggiungiCampo(grande.data(), 100009, contenuto.data(), 99999));
}

TEST(ListaCampi, LetturaDellaLista)
{
    struct Caso {
        std::string corpo;
        int esito;
        std::vector<std::string> campi;
    } casi[] = {
        {"00000", 0, {}},
        {"00003abc00001x00000", 2, {"abc", "x"}},
        {"00002ab00000zzzz", 1, {"ab"}},
        {"", LISTA_SENZA_FINE, {}},
        {"00002ab0000", LISTA_SENZA_FINE, {}},
        {"00009abc00000", LISTA_CAMPO_OLTRE_FINE, {}},
        {"0000aabc00000", LISTA_CIFRE_NON_VALIDE, {}},
        {"-0001a00000", LISTA_CIFRE_NON_VALIDE, {}},
        {"00001aXYZ1200000", LISTA_CIFRE_NON_VALIDE, {}},
        {"00001a00001b00001c00000", LISTA_TROPPI_CAMPI, {}},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.corpo);
        std::vector<uint8_t> corpo = Byte(caso.corpo);
        CampoLista campi[2];
        int esito = LeggiListaCampi(corpo.data(), (int)corpo.size(), campi, 2);
        ASSERT_EQ(caso.esito, esito);
        for (int i = 0; i < esito; i++)
            EXPECT_EQ(caso.campi[(size_t)i], caso.corpo.substr((size_t)campi[i].inizio, (size_t)campi[i].lung));
    }
}
