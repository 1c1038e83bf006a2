/* tests/tools/CaricoTest.cpp - il generatore di carico: quando una conversazione conta come finita
 * (contro la meta' servizio del protocollo su un thread), percentili e mediane, e i limiti del
 * confronto con il riferimento sui loro bordi. */
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

    MisuraCarico tre[] = {{30, 5, 90, 10, 0}, {10, 7, 70, 11, 2}, {26, 6, 80, 12, 1}};
    MisuraCarico m = MedianaRipetizioni(tre, 3);
    EXPECT_EQ(26, m.ritmo);
    EXPECT_EQ(6, m.p50);
    EXPECT_EQ(80, m.p99);
    EXPECT_EQ(33, m.finite);
    EXPECT_EQ(3, m.incompiute);
    EXPECT_EQ(20, MedianaRipetizioni(tre, 2).ritmo); /* pari: la media dei due centrali */
}

TEST(Carico, LimitiDelConfronto)
{
    struct Caso {
        ProvaConfronto prova;
        MisuraCarico servizio;
        int rispetta;
        const char *motivo;
    };
    const MisuraCarico riferimento = {100, 10, 100, 300, 0};
    const Caso CASI[] = {
        {PROVA_VERSIONE, {80, 50, 125, 240, 0}, 1, ""},
        {PROVA_VERSIONE, {79, 10, 100, 240, 0}, 0, "ritmo 0.79 (limite 0.80)"},
        {PROVA_VERSIONE, {100, 10, 126, 240, 0}, 0, "p99 1.26 (limite 1.25)"},
        {PROVA_VERSIONE, {50, 10, 200, 240, 3}, 0, "ritmo 0.50 (limite 0.80); p99 2.00 (limite 1.25)"},
        {PROVA_AVVIO, {90, 30, 900, 270, 0}, 1, ""},
        {PROVA_AVVIO, {89, 10, 100, 270, 0}, 0, "ritmo 0.89 (limite 0.90)"},
        {PROVA_AVVIO, {100, 10, 100, 299, 1}, 0, "1 conversazioni non finite"},
        {PROVA_RAFFICA, {1, 12, 900, 300, 0}, 1, ""},
        {PROVA_RAFFICA, {100, 12.1, 100, 300, 0}, 0, "p50 1.21 (limite 1.20)"},
        {PROVA_RAFFICA, {100, 10, 100, 298, 2}, 0, "2 conversazioni non finite"},
    };
    for (const Caso &caso : CASI) {
        char motivo[256];
        EXPECT_EQ(caso.rispetta, ConfrontaMisure(caso.prova, &caso.servizio, &riferimento, motivo, sizeof motivo))
            << caso.motivo;
        EXPECT_STREQ(caso.motivo, motivo);
    }

    /* Un riferimento che non ha misure valide non promuove nessuno. */
    char motivo[256];
    const MisuraCarico buono = {100, 10, 100, 300, 0};
    const MisuraCarico rotti[] = {{0, 0, 0, 0, 5}, {100, 10, 100, 299, 1}};
    for (const MisuraCarico &rotto : rotti) {
        EXPECT_EQ(0, ConfrontaMisure(PROVA_AVVIO, &buono, &rotto, motivo, sizeof motivo));
        EXPECT_NE(nullptr, strstr(motivo, "riferimento senza misure valide"));
    }
}
