/* tests/protocol/LzwTest.cpp - compressione LZW: vettori di riferimento, dizionario fermo dopo il
 * 510, andata e ritorno con il decodificatore, limiti dell'uscita, dati non validi. */
#include "protocol/protocol.h"

#include "tests/finti/LogMemoria.h"
#include "tests/finti/CanaleFinto.h"

#include <gtest/gtest.h>

#include <string.h>

static std::vector<uint8_t> Comprimi(const std::vector<uint8_t> &ingresso)
{
    std::vector<uint8_t> uscita((size_t)DIM_USCITA_LZW((int)ingresso.size()), 0xA5);
    int lung = compressioneDati(ingresso.data(), (int)ingresso.size(), uscita.data(), (int)uscita.size());
    EXPECT_GT(lung, 0);
    uscita.resize((size_t)(lung > 0 ? lung : 0));
    return uscita;
}

static std::vector<uint8_t> Decomprimi(const std::vector<uint8_t> &compressi, size_t capacita)
{
    std::vector<uint8_t> uscita(capacita);
    int lung = DecomprimiLzw(compressi.data(), (int)compressi.size(), uscita.data(), (int)capacita);
    EXPECT_GE(lung, 0);
    uscita.resize((size_t)(lung > 0 ? lung : 0));
    return uscita;
}

/* Codici di 9 bit dal piu' significativo, fino al 511 compreso. */
static std::vector<int> Codici(const std::vector<uint8_t> &dati)
{
    std::vector<int> codici;
    for (size_t bit = 0; bit + 9 <= dati.size() * 8 && (codici.empty() || codici.back() != 511); bit += 9) {
        int codice = 0;
        for (size_t i = bit; i < bit + 9; i++)
            codice = (codice << 1) | ((dati[i / 8] >> (7 - i % 8)) & 1);
        codici.push_back(codice);
    }
    return codici;
}

static std::vector<uint8_t> Impacca(const std::vector<int> &codici)
{
    std::vector<uint8_t> dati(codici.size() * 9 / 8 + 1, 0);
    ScritturaBit scrittura = {dati.data(), (int)dati.size(), 0};
    for (int codice : codici)
        scriviBit(&scrittura, codice, 9);
    return dati;
}

TEST(Lzw, VettoriDiRiferimento)
{
    SvuotaLogMemoria();
    struct Caso {
        std::string ingresso;
        std::vector<uint8_t> atteso;
        std::vector<int> codici;
    } casi[] = {
        {"", {0xFF, 0x80}, {511}},
        {"A", {0x20, 0xFF, 0xC0}, {65, 511}},
        {"abc", {0x30, 0x98, 0x8C, 0x7F, 0xF0}, {97, 98, 99, 511}},
        {"abababab", {0x30, 0x98, 0xA0, 0x30, 0x33, 0x17, 0xFC}, {97, 98, 257, 259, 98, 511}},
        /* 72 bit: 9 byte pieni, contati 10. */
        {"abcdefg", {0x30, 0x98, 0x8C, 0x66, 0x43, 0x29, 0x98, 0xCF, 0xFF, 0x00}, {97, 98, 99, 100, 101, 102, 103, 511}},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.ingresso);
        std::vector<uint8_t> compressi = Comprimi(Byte(caso.ingresso));
        EXPECT_EQ(caso.atteso, compressi);
        EXPECT_EQ(caso.codici, Codici(compressi));
        EXPECT_EQ(Byte(caso.ingresso), Decomprimi(compressi, 64));
    }
    EXPECT_EQ("", TestoLogMemoria());
}

/* 0..254 creano le voci 257..510; dopo, le coppie nuove non entrano piu': (254,255) torna alla
 * fine e si scrive ancora come due codici. */
TEST(Lzw, DizionarioFermoDopoIl510)
{
    std::vector<uint8_t> ingresso;
    std::vector<int> attesi;
    for (int b = 0; b < 256; b++) {
        ingresso.push_back((uint8_t)b);
        attesi.push_back(b);
    }
    for (int b : {0, 1, 255, 0, 255, 0, 254, 255})
        ingresso.push_back((uint8_t)b);
    for (int codice : {257, 255, 0, 255, 0, 254, 255, 511})
        attesi.push_back(codice);
    std::vector<uint8_t> compressi = Comprimi(ingresso);
    EXPECT_EQ(attesi, Codici(compressi));
    EXPECT_EQ(ingresso, Decomprimi(compressi, ingresso.size()));
}

TEST(Lzw, AndataERitornoFinoA2048Byte)
{
    unsigned seme = 12345;
    std::vector<size_t> lunghezze = {1, 2, 255, 256, 2047, 2048};
    for (int i = 0; i < 30; i++) {
        seme = seme * 1103515245u + 12345u;
        lunghezze.push_back(1 + (seme >> 8) % 2048);
    }
    for (size_t lung : lunghezze) {
        for (unsigned alfabeto : {1u, 3u, 26u, 256u}) {
            SCOPED_TRACE(testing::Message() << lung << " byte, alfabeto di " << alfabeto);
            std::vector<uint8_t> corpo = Sequenza(lung, (unsigned)lung * alfabeto);
            for (uint8_t &byte : corpo)
                byte = (uint8_t)(byte % alfabeto);
            EXPECT_EQ(corpo, Decomprimi(Comprimi(corpo), lung));
        }
    }
}

/* Oltre 2048 byte interi: la riga d'errore fatale dopo ogni codice del ciclo, e si va avanti. */
TEST(Lzw, OltreIl2048SegnalaEProsegue)
{
    SvuotaLogMemoria();
    std::vector<uint8_t> corpo = Sequenza(2000, 99);
    std::vector<uint8_t> compressi = Comprimi(corpo);
    ASSERT_GT(compressi.size(), 2049u);
    std::string riga = "compressioneDati - ERRORE FATALE - Errore fatale compressione dati: 103\n";
    std::vector<int> codici = Codici(compressi);
    std::string atteso;
    for (size_t i = 0; i + 2 < codici.size(); i++)
        if ((i + 1) * 9 / 8 * 8 > 16384)
            atteso += riga;
    EXPECT_EQ(atteso, TestoLogMemoria());
    EXPECT_EQ(corpo, Decomprimi(compressi, corpo.size()));

    SvuotaLogMemoria();
    std::vector<uint8_t> guardia(28, 0xEE); /* servono 31 byte: capacita' 20 e 8 di guardia */
    EXPECT_EQ(0, compressioneDati(Byte("abcdefghijklmnopqrstuvwxyz").data(), 26, guardia.data(), 20));
    EXPECT_EQ(std::vector<uint8_t>(8, 0xEE), Parte(guardia, 20, 28));
    EXPECT_EQ("compressioneDati - dati compressi di 31 byte oltre l'area di 20 byte\n", TestoLogMemoria());
}

TEST(Lzw, DecodificaDiDatiNonValidi)
{
    struct Caso {
        std::vector<int> codici;
        int capacita;
        int esito;
    } casi[] = {
        {{97, 256, 511}, 10, LZW_CODICE_NON_VALIDO},
        {{257, 511}, 10, LZW_CODICE_NON_VALIDO},
        {{97, 98, 259, 511}, 10, LZW_CODICE_NON_VALIDO},
        {{97, 257, 511}, 10, 3}, /* codice uguale al prossimo: "aaa" */
        {{97, 98}, 10, LZW_SENZA_FINE},
        {{97, 98, 257, 511}, 3, LZW_USCITA_PIENA},
        {{97, 98, 257, 511}, 4, 4},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(testing::Message() << caso.codici.size() << " codici, capacita' " << caso.capacita);
        std::vector<uint8_t> dati = Impacca(caso.codici);
        std::vector<uint8_t> uscita((size_t)caso.capacita);
        EXPECT_EQ(caso.esito, DecomprimiLzw(dati.data(), (int)dati.size(), uscita.data(), caso.capacita));
    }
    EXPECT_EQ(LZW_SENZA_FINE, DecomprimiLzw(nullptr, 0, nullptr, 0));
}
