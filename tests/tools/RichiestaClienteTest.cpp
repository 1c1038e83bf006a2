/* tests/tools/RichiestaClienteTest.cpp - il client da riga di comando: composizione delle richieste
 * di ogni tipo, sequenze di escape, lettura della riga di comando. */
#include "tools/client/cliente.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

/* I campi di un corpo come testi (con il loro zero), o un solo elemento "ERRORE:<motivo>". */
static std::vector<std::string> Campi(const ParametriRichiesta &p, int *lungCorpo = nullptr)
{
    static uint8_t corpo[DIM_CORPO_CLIENTE];
    char errore[256];
    int lung = ComponiRichiesta(&p, corpo, sizeof corpo, errore, sizeof errore);
    if (lungCorpo != nullptr)
        *lungCorpo = lung;
    if (lung == 0)
        return {std::string("ERRORE:") + errore};
    CampoLista campi[MAX_CAMPI_CLIENTE];
    int n = LeggiListaCampi(corpo, lung, campi, MAX_CAMPI_CLIENTE);
    std::vector<std::string> testi;
    for (int i = 0; i < n; i++)
        testi.emplace_back((const char *)corpo + campi[i].inizio, (size_t)campi[i].lung);
    if (n < 0 || campi[n - 1].inizio + campi[n - 1].lung + 5 != lung)
        testi.push_back("LISTA NON CHIUSA IN FONDO");
    return testi;
}

static std::string Z(const std::string &testo)
{
    return testo + std::string(1, '\0');
}

static ParametriRichiesta Tipo(TipoRichiestaCliente tipo)
{
    ParametriRichiesta p = {};
    p.tipo = tipo;
    return p;
}

TEST(ComponiRichiesta, CampiDiOgniTipoNellOrdineLetto)
{
    const std::string v = Z("");
    ParametriRichiesta versione = Tipo(CHIEDI_VERSIONE);
    EXPECT_EQ((std::vector<std::string>{Z("0000"), v, v, Z("N"), Z("sysadmin")}), Campi(versione));

    const char *altri[] = {"uno", "due"};
    ParametriRichiesta ordinaria = Tipo(CHIEDI_ORDINARIA);
    ordinaria.programma = "cmd/qor/menu";
    ordinaria.compressione = 1;
    ordinaria.codice = "1234X";
    ordinaria.campo1 = "a";
    ordinaria.altri = altri;
    ordinaria.numAltri = 2;
    EXPECT_EQ((std::vector<std::string>{Z("1234X"), Z("a"), v, Z("S"), Z("cmd/qor/menu"), Z("uno"), Z("due")}),
              Campi(ordinaria));

    ParametriRichiesta k2 = Tipo(CHIEDI_KELVATLOG2);
    EXPECT_EQ(5u, Campi(k2).size());
    k2.annoFisc = "e";
    EXPECT_EQ((std::vector<std::string>{Z("0000"), v, v, Z("N"), Z("cmd/unix/kelvatlog2"), v, Z("e")}), Campi(k2));

    ParametriRichiesta k3 = Tipo(CHIEDI_KELVATLOG3);
    k3.prodotto = "P";
    k3.studio = "ST";
    k3.operat = "OP";
    k3.applic = "AP";
    k3.progra = "PR";
    k3.parpas = "PP";
    k3.anno = "2024";
    k3.ambiente = "C:\\GEST2";
    k3.config = "CF";
    EXPECT_EQ((std::vector<std::string>{Z("0000"), v, v, Z("N"), Z("cmd/unix/kelvatlog3"), Z("P"), Z("ST"), Z("OP"),
                                        Z("AP"), Z("PR"), Z("PP"), Z("2024"), Z("C:\\GEST2"), Z("CF")}),
              Campi(k3));
}

TEST(ComponiRichiesta, Kelvatlog5e6ContanoICampiDalleOpzioniOComeChiesto)
{
    struct Caso {
        TipoRichiestaCliente tipo;
        const char *annoFisc;
        const char *infoStart;
        int numCampi;
        size_t attesi;
    } casi[] = {
        {CHIEDI_KELVATLOG5, nullptr, nullptr, 0, 13}, {CHIEDI_KELVATLOG5, "f", nullptr, 0, 14},
        {CHIEDI_KELVATLOG5, "f", "INFO", 0, 15},      {CHIEDI_KELVATLOG5, "f", "INFO", 16, 16},
        {CHIEDI_KELVATLOG5, "f", nullptr, 12, 12},    {CHIEDI_KELVATLOG6, "f", nullptr, 0, 14},
        {CHIEDI_KELVATLOG6, nullptr, nullptr, 0, 13},
    };
    for (const Caso &caso : casi) {
        ParametriRichiesta p = Tipo(caso.tipo);
        p.studio = "S";
        p.descpr = "D";
        p.config = "C";
        p.annoFisc = caso.annoFisc;
        p.infoStart = caso.infoStart;
        p.numCampi = caso.numCampi;
        std::vector<std::string> campi = Campi(p);
        ASSERT_EQ(caso.attesi, campi.size()) << caso.numCampi << " " << campi[0];
        EXPECT_EQ(Z("S"), campi[5]);
        EXPECT_EQ(Z("D"), campi[10]);
        EXPECT_EQ(Z("C"), campi[11]);
        if (caso.attesi >= 14) {
            EXPECT_EQ(Z("f"), campi[13]);
        }
        if (caso.attesi >= 15) {
            EXPECT_EQ(Z(caso.infoStart != nullptr ? caso.infoStart : ""), campi[14]);
        }
        if (caso.attesi == 16) {
            EXPECT_EQ(Z(""), campi[15]);
        }
    }
}

TEST(ComponiRichiesta, GrezzaSenzaZeroConEscapeECorpoIntero)
{
    const char *altri[] = {"ab", "c\\x00d", "\\r\\n"};
    ParametriRichiesta p = Tipo(CHIEDI_GREZZA);
    p.altri = altri;
    p.numAltri = 3;
    EXPECT_EQ((std::vector<std::string>{Z("ab"), Z("c\\x00d"), Z("\\r\\n")}), Campi(p));
    p.escape = 1;
    p.senzaZero = 1;
    EXPECT_EQ((std::vector<std::string>{"ab", std::string("c\0d", 3), "\r\n"}), Campi(p));

    /* Il corpo intero va com'e': niente "00000" aggiunto. */
    uint8_t corpo[64];
    char errore[128];
    p.corpo = "00005abc\\x00\\\\";
    EXPECT_EQ(10, ComponiRichiesta(&p, corpo, sizeof corpo, errore, sizeof errore));
    EXPECT_EQ(std::string("00005abc\0\\", 10), std::string((const char *)corpo, 10));
}

TEST(ComponiRichiesta, RifiutiConUnMotivo)
{
    const char *vuoto[] = {""};
    const char *escapeRotto[] = {"abc\\x4"};
    const char *molti[MAX_CAMPI_CLIENTE + 1];
    for (auto &campo : molti)
        campo = "x";
    std::string lungo(3000, 'L');
    const char *lunghi[] = {lungo.c_str(), lungo.c_str(), lungo.c_str()};

    struct Caso {
        const char *const *altri;
        int numAltri;
        int senzaZero;
        const char *motivo;
    } casi[] = {
        {vuoto, 1, 1, "campo vuoto"},
        {escapeRotto, 1, 0, "escape"},
        {molti, MAX_CAMPI_CLIENTE + 1, 0, "campi"},
        {lunghi, 3, 0, "non entra"},
    };
    for (const Caso &caso : casi) {
        ParametriRichiesta p = Tipo(CHIEDI_GREZZA);
        p.altri = caso.altri;
        p.numAltri = caso.numAltri;
        p.senzaZero = caso.senzaZero;
        p.escape = 1;
        std::vector<std::string> campi = Campi(p);
        ASSERT_EQ(1u, campi.size());
        EXPECT_NE(std::string::npos, campi[0].find(caso.motivo)) << campi[0];
    }
    ParametriRichiesta senzaProgramma = Tipo(CHIEDI_ORDINARIA);
    EXPECT_NE(std::string::npos, Campi(senzaProgramma)[0].find("manca il programma"));

    /* Piu' dell'area del servizio si compone ancora: serve a provarne il rifiuto. */
    ParametriRichiesta grande = Tipo(CHIEDI_KELVATLOG3);
    grande.prodotto = lungo.c_str();
    int lung = 0;
    EXPECT_EQ(14u, Campi(grande, &lung).size());
    EXPECT_GT(lung, DIM_AREA_MESSAGGIO);
}

TEST(DecodificaEscape, SequenzeEBordi)
{
    struct Caso {
        const char *testo;
        int capacita;
        int attesi; /* -1: rifiutato */
        std::string risultato;
    } casi[] = {
        {"a\\\\b", 8, 3, "a\\b"},
        {"\\x41\\x7f\\xFF", 8, 3, "A\x7f\xff"},
        {"\\n\\r\\t\\0", 8, 4, std::string("\n\r\t\0", 4)},
        {"abcd", 4, 4, "abcd"},
        {"abcde", 4, -1, ""},
        {"\\x4", 8, -1, ""},
        {"\\xg0", 8, -1, ""},
        {"fine\\", 8, -1, ""},
        {"\\q", 8, -1, ""},
        {"", 0, 0, ""},
    };
    for (const Caso &caso : casi) {
        uint8_t dest[8];
        int n = DecodificaEscape(caso.testo, dest, caso.capacita);
        EXPECT_EQ(caso.attesi, n) << caso.testo;
        if (n >= 0) {
            EXPECT_EQ(caso.risultato, std::string((const char *)dest, (size_t)n)) << caso.testo;
        }
    }
}

/* LeggiArgomenti su un vettore di testi; argv[0] aggiunto. */
static int Leggi(std::vector<const char *> argomenti, ArgomentiCliente *a, std::string *errore)
{
    static ArgomentiCliente vuoti;
    char testo[256];
    argomenti.insert(argomenti.begin(), "clientegrafico");
    *a = vuoti;
    int esito = LeggiArgomenti((int)argomenti.size(), argomenti.data(), a, testo, sizeof testo);
    *errore = testo;
    return esito;
}

TEST(LeggiArgomenti, ComandiEOpzioniInOgniPosto)
{
    static ArgomentiCliente a;
    std::string errore;
    ASSERT_TRUE(Leggi({"--porta", "23201", "versione", "--in-chiaro", "--limite", "1.5", "--attesa", "0"}, &a,
                      &errore))
        << errore;
    EXPECT_EQ(CHIEDI_VERSIONE, a.richiesta.tipo);
    EXPECT_STREQ("23201", a.porta);
    EXPECT_EQ(1, a.conversazione.inChiaro);
    EXPECT_EQ(1500, a.conversazione.limiteMs);
    EXPECT_EQ(0, a.conversazione.attesaDopoMs);
    EXPECT_EQ(1, a.conversazione.richiestaVersione);
    EXPECT_EQ(0, a.conversazione.scambioApplicativo);

    ASSERT_TRUE(Leggi({"avvia", "PROG", "cinque", "--compressione"}, &a, &errore)) << errore;
    EXPECT_STREQ("PROG", a.richiesta.programma);
    ASSERT_EQ(1, a.richiesta.numAltri);
    EXPECT_STREQ("cinque", a.richiesta.altri[0]);
    EXPECT_EQ(1, a.conversazione.compressione);
    EXPECT_EQ(1, a.conversazione.avvio);
    EXPECT_EQ(0, a.conversazione.scambioApplicativo);

    ASSERT_TRUE(Leggi({"kelvatlog5", "--scambio", "--infostart", "X", "--anno-fisc", "g"}, &a, &errore));
    EXPECT_EQ(1, a.conversazione.scambioApplicativo);
    EXPECT_STREQ("X", a.richiesta.infoStart);
    EXPECT_STREQ("g", a.richiesta.annoFisc);

    ASSERT_TRUE(Leggi({"grezza", "0000X", "--", "--non-opzione"}, &a, &errore));
    ASSERT_EQ(2, a.richiesta.numAltri);
    EXPECT_STREQ("--non-opzione", a.richiesta.altri[1]);
    EXPECT_EQ(0, a.conversazione.avvio);

    ASSERT_TRUE(Leggi({"kelvatlog6", "--escape", "--invia", "ok\\x00"}, &a, &errore));
    EXPECT_EQ(3, a.conversazione.lungInvia);
    EXPECT_EQ(0, a.conversazione.invia[2]);
}

TEST(LeggiArgomenti, ErroriDetti)
{
    struct Caso {
        std::vector<const char *> argomenti;
        const char *motivo;
    } casi[] = {
        {{}, "manca il comando"},
        {{"avvia"}, "manca il programma"},
        {{"kelvatlog3", "in-piu"}, "in piu'"},
        {{"--porta", "0", "versione"}, "porta"},
        {{"--porta", "65536", "versione"}, "porta"},
        {{"versione", "--attesa", "abc"}, "secondi"},
        {{"versione", "--limite", "-1"}, "secondi"},
        {{"versione", "--porta"}, "manca il valore"},
        {{"versione", "--boh"}, "sconosciuta"},
        {{"saluta"}, "comando sconosciuto"},
        {{"kelvatlog6", "--infostart", "X"}, "solo per kelvatlog5"},
        {{"kelvatlog3", "--campi", "14"}, "solo per kelvatlog5"},
        {{"kelvatlog5", "--campi", "17"}, "numero di campi"},
        {{"grezza"}, "mancano i campi"},
    };
    for (const Caso &caso : casi) {
        static ArgomentiCliente a;
        std::string errore;
        EXPECT_FALSE(Leggi(caso.argomenti, &a, &errore)) << caso.motivo;
        EXPECT_NE(std::string::npos, errore.find(caso.motivo)) << errore;
    }
}
