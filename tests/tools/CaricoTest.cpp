/* tests/tools/CaricoTest.cpp - il generatore di carico: quando una conversazione conta come finita
 * (contro la meta' servizio del protocollo su un thread), percentili e mediane, i limiti del
 * confronto con il riferimento sui loro bordi, ripetizione per ripetizione, e il processore letto
 * da /proc/<pid>/stat. */
#include "tools/carico/carico.h"

#include "tests/finti/SocketProva.h"
#include "tools/client/cliente.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <thread>

/* Cosa fa il servizio finto dopo aver letto la richiesta. */
struct SeguitoFinto {
    const char *nome;
    TipoCarico tipo;
    const char *codice; /* nel campo 0 della risposta; nullptr: nessuna risposta */
    const char *dopo;   /* byte mandati dopo la risposta */
    bool chiudi;        /* chiude dopo; altrimenti chiude il client */
    int finita;
};

static void ServizioFinto(SocketRete s, const SeguitoFinto *seguito)
{
    StatoCifratura stato;
    uint8_t area[DIM_AREA_MESSAGGIO];
    int lung = 0;
    memset(&stato, 0, sizeof stato);
    if (scambioChiavi(s, &stato) != ESITO_FATTO || ricezioneBuffer(s, &stato, area, sizeof area, &lung) != ESITO_FATTO)
        return;
    if (seguito->codice != nullptr) {
        memcpy(area + LUNG_CIFRE_CAMPO, seguito->codice, 4);
        invioBuffer(s, &stato, area, lung);
    }
    if (seguito->dopo[0] != '\0') {
        CanaleRete canale;
        CanaleSuSocket(&canale, &s);
        InviaTutto(&canale, (const uint8_t *)seguito->dopo, (int)strlen(seguito->dopo));
    }
    if (seguito->chiudi)
        ChiudiInvioProva(s);
}

TEST(Carico, QuandoUnaConversazioneEFinita)
{
    static const SeguitoFinto CASI[] = {
        {"versione e chiusura", CARICO_VERSIONE, "0109", "01.00.00.01", true, 1},
        {"versione senza testo", CARICO_VERSIONE, "0109", "", true, 0},
        {"versione rifiutata", CARICO_VERSIONE, nullptr, "", true, 0},
        {"codice diverso", CARICO_VERSIONE, "0101", "01.00.00.01", true, 0},
        {"saluto del runtime", CARICO_AVVIO, "0109", "RUNTIME trimox3.exe 42\n", false, 1},
        {"saluto senza a capo e chiusura", CARICO_AVVIO, "0109", "RUNTIME t", true, 0},
        {"chiusura senza runtime", CARICO_AVVIO, "0109", "", true, 0},
        {"altro al posto del saluto", CARICO_AVVIO, "0109", "ERRORE\n", true, 0},
    };
    ParametriRichiesta parametri = {};
    parametri.tipo = CHIEDI_VERSIONE;
    uint8_t richiesta[DIM_AREA_MESSAGGIO];
    char errore[128];
    int lung = ComponiRichiesta(&parametri, richiesta, sizeof richiesta, errore, sizeof errore);
    ASSERT_GT(lung, 0) << errore;
    uint8_t materiale[DIM_CHIAVE];
    for (int i = 0; i < DIM_CHIAVE; i++)
        materiale[i] = (uint8_t)(i * 7 + 1);
    ASSERT_EQ(1, AvviaReteProva());
    for (const SeguitoFinto &caso : CASI) {
        SocketRete cliente, servizio;
        ASSERT_EQ(1, CoppiaConnessa(&cliente, &servizio)) << caso.nome;
        std::thread finto(ServizioFinto, servizio, &caso);
        CanaleRete canale;
        CanaleSuSocket(&canale, &cliente);
        EXPECT_EQ(caso.finita, ConversaCarico(&canale, caso.tipo, richiesta, lung, materiale))
            << caso.nome;
        ChiudiSocketProva(cliente);
        finto.join();
        ChiudiSocketProva(servizio);
    }
}

TEST(Carico, PercentiliEMediane)
{
    float uno[] = {7};
    EXPECT_EQ(7, PercentileCampioni(uno, 1, 50));
    EXPECT_EQ(7, PercentileCampioni(uno, 1, 99));
    EXPECT_EQ(0, PercentileCampioni(uno, 0, 50));
    float cento[100];
    for (int i = 0; i < 100; i++)
        cento[i] = (float)(100 - i); /* in disordine: il percentile ordina */
    EXPECT_EQ(50, PercentileCampioni(cento, 100, 50));
    EXPECT_EQ(99, PercentileCampioni(cento, 100, 99));
    float dieci[] = {10, 1, 9, 2, 8, 3, 7, 4, 6, 5};
    EXPECT_EQ(5, PercentileCampioni(dieci, 10, 50));
    EXPECT_EQ(10, PercentileCampioni(dieci, 10, 99)); /* rango in alto: il massimo */

    MisuraCarico tre[] = {{30, 5, 90, 10, 0, 4}, {10, 7, 70, 11, 2, 2}, {26, 6, 80, 12, 1, 3}};
    MisuraCarico m = MedianaRipetizioni(tre, 3);
    EXPECT_EQ(26, m.ritmo);
    EXPECT_EQ(6, m.p50);
    EXPECT_EQ(80, m.p99);
    EXPECT_EQ(3, m.processoreMs);
    EXPECT_EQ(33, m.finite);
    EXPECT_EQ(3, m.incompiute);
    EXPECT_EQ(20, MedianaRipetizioni(tre, 2).ritmo); /* pari: la media dei due centrali */
    tre[1].processoreMs = -1; /* una ripetizione senza misura: nessuna mediana del processore */
    EXPECT_GT(0, MedianaRipetizioni(tre, 3).processoreMs);
}

TEST(Carico, LimitiDelConfrontoRipetizionePerRipetizione)
{
    struct Caso {
        ProvaConfronto prova;
        MisuraCarico servizio[3];
        const char *motivo; /* "" se rispetta i limiti */
    };
    const MisuraCarico R = {100, 10, 100, 300, 0, 2};
    const MisuraCarico riferimento[3] = {R, R, R};
    const Caso CASI[] = {
        {PROVA_VERSIONE, {{100, 50, 125, 300, 0, 9}, {120, 50, 125, 300, 4, 9}, {90, 50, 125, 300, 0, 9}}, ""},
        {PROVA_VERSIONE, {{99, 10, 100, 300, 0, 2}, {99, 10, 100, 300, 0, 2}, {200, 10, 100, 300, 0, 2}},
         "ritmo 0.99 (limite 1.00)"},
        {PROVA_VERSIONE, {{100, 10, 126, 300, 0, 2}, {100, 10, 126, 300, 0, 2}, {100, 10, 90, 300, 0, 2}},
         "p99 1.26 (limite 1.25)"},
        {PROVA_AVVIO, {{95, 30, 900, 300, 0, 2.4}, {80, 30, 900, 300, 0, 2.4}, {120, 30, 900, 300, 0, 2.4}}, ""},
        {PROVA_AVVIO, {{100, 10, 100, 300, 0, 2}, {79, 10, 100, 300, 0, 2}, {100, 10, 100, 300, 0, 2}},
         "ritmo minimo 0.79 (limite 0.80)"},
        {PROVA_AVVIO, {{90, 10, 100, 300, 0, 2.5}, {90, 10, 100, 300, 1, 2.5}, {100, 10, 100, 300, 0, 1}},
         "ritmo 0.90 (limite 0.95); processore 1.25 (limite 1.20); 1 conversazioni non finite"},
        {PROVA_AVVIO, {{100, 10, 100, 300, 0, 2}, {100, 10, 100, 300, 0, -1}, {100, 10, 100, 300, 0, 2}},
         "processore non misurato"},
        {PROVA_RAFFICA, {{1, 11, 900, 300, 0, 2}, {1, 11, 900, 300, 0, 2}, {1, 11, 900, 300, 0, 2}}, ""},
        {PROVA_RAFFICA, {{100, 11.1, 100, 300, 0, 2}, {100, 11.1, 100, 299, 1, 2}, {100, 9, 100, 300, 0, 2}},
         "p50 1.11 (limite 1.10); 1 conversazioni non finite"},
    };
    for (const Caso &caso : CASI) {
        SCOPED_TRACE(caso.motivo);
        char motivo[256];
        ConfrontoCarico confronto;
        EXPECT_EQ(caso.motivo[0] == '\0',
                  ConfrontaRipetizioni(caso.prova, caso.servizio, riferimento, 3, &confronto, motivo, sizeof motivo));
        EXPECT_STREQ(caso.motivo, motivo);
    }

    /* Il rapporto e' di ogni ripetizione con la sua: le mediane dei due lati sono uguali, i
     * rapporti no. */
    const MisuraCarico servizio[3] = {{100, 10, 100, 300, 0, 2}, {50, 10, 100, 300, 0, 2}, {200, 10, 100, 300, 0, 1}};
    const MisuraCarico variabile[3] = {{50, 10, 100, 300, 0, 2}, {100, 10, 100, 300, 0, 2}, {200, 10, 100, 300, 0, 4}};
    char motivo[256];
    ConfrontoCarico c;
    ConfrontaRipetizioni(PROVA_VERSIONE, servizio, variabile, 3, &c, motivo, sizeof motivo);
    EXPECT_EQ(0.5, c.ritmo.minimo);
    EXPECT_EQ(1, c.ritmo.mediana);
    EXPECT_EQ(2, c.ritmo.massimo);
    ASSERT_TRUE(c.processoreMisurato);
    EXPECT_EQ(0.25, c.processore.minimo);

    /* Un riferimento che non ha misure valide in una ripetizione non promuove nessuno. */
    const MisuraCarico rotti[][3] = {{R, R, {0, 0, 0, 0, 5, 0}}, {R, {100, 10, 100, 299, 1, 2}, R}};
    for (const auto &rotto : rotti) {
        EXPECT_EQ(0, ConfrontaRipetizioni(PROVA_AVVIO, riferimento, rotto, 3, &c, motivo, sizeof motivo));
        EXPECT_NE(nullptr, strstr(motivo, "riferimento senza misure valide"));
    }
}

TEST(Carico, ProcessoreDaStat)
{
    struct Caso {
        const char *testo;
        int letto;
        unsigned long long tick;
    };
    const Caso CASI[] = {
        {"4242 (tarnel.exe) S 1 4242 4242 0 -1 4194304 900 0 0 0 150 37 0 0 20 0 9 0", 1, 187},
        /* il nome puo' contenere spazi e parentesi: conta l'ultima */
        {"17 (C:\\a b) (x)) R 1 17 17 0 -1 0 0 0 0 0 5 6 0 0", 1, 11},
        {"17 (corto) R 1 17 17 0 -1 0 0 0 0 0 5", 0, 0},
        {"17 senza nome", 0, 0},
    };
    for (const Caso &caso : CASI) {
        SCOPED_TRACE(caso.testo);
        unsigned long long tick = 0;
        EXPECT_EQ(caso.letto, TickDaStat(caso.testo, &tick));
        EXPECT_EQ(caso.tick, tick);
    }
}
