/* tests/setup/ServiziTest.cpp - la regola d'attesa dell'avvio di un servizio dipendente. */
#include "setup/Servizi.h"

#include <gtest/gtest.h>

TEST(AttesaAvvio, IntervalloUnDecimoDelWaitHintTraUnoEDieciSecondi)
{
    struct Caso {
        uint32_t waitHint, intervallo;
    } casi[] = {
        {0, 1000},          {200, 1000},        {2000, 1000},        {9999, 1000},        {10000, 1000},
        {10010, 1001},      {30000, 3000},      {99999, 9999},       {100000, 10000},     {100010, 10000},
        {200000, 10000},    {0xFFFFFFFFu, 10000},
    };
    for (const Caso &c : casi)
        EXPECT_EQ(c.intervallo, IntervalloAttesaAvvio(c.waitHint)) << c.waitHint;
}

TEST(AttesaAvvio, FinisceQuandoIlCheckPointEFermoPiuDelWaitHint)
{
    struct Passo {
        uint32_t checkPoint, waitHint, tickOra;
        int prosegue;
    };
    struct Caso {
        const char *nome;
        uint32_t checkPointIniziale, tickIniziale;
        Passo passi[4];
        int numPassi;
    } casi[] = {
        {"check point fermo: fino al wait hint si attende, oltre no", 1, 1000,
         {{1, 3000, 2000, 1}, {1, 3000, 4000, 1}, {1, 3000, 4001, 0}}, 3},
        {"check point che avanza riparte dal suo tick", 1, 1000,
         {{2, 3000, 3900, 1}, {2, 3000, 6900, 1}, {2, 3000, 6901, 0}}, 3},
        {"un check point che scende non conta come avanzamento", 5, 0, {{4, 1000, 1001, 0}}, 1},
        {"il wait hint e' quello dell'ultima interrogazione", 1, 0, {{1, 500, 400, 1}, {1, 100, 400, 0}}, 2},
        {"giro del contatore dei tick", 1, 0xFFFFFC18u, {{1, 2000, 0x000003E8u, 1}, {1, 2000, 0x000003E9u, 0}}, 2},
        {"avanzamento proprio al giro del contatore", 1, 0xFFFFFFF0u,
         {{2, 1000, 0x00000010u, 1}, {2, 1000, 0x000003F8u, 1}, {2, 1000, 0x000003F9u, 0}}, 3},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.nome);
        AttesaAvvio attesa;
        IniziaAttesaAvvio(&attesa, c.checkPointIniziale, c.tickIniziale);
        for (int i = 0; i < c.numPassi; i++) {
            const Passo &p = c.passi[i];
            EXPECT_EQ(p.prosegue, ProseguiAttesaAvvio(&attesa, p.checkPoint, p.waitHint, p.tickOra)) << "passo " << i;
        }
    }
}
