/* tests/tools/ConversazioneClienteTest.cpp - la conversazione del client su socket veri contro un
 * servizio finto (la meta' servizio del protocollo su un thread) che dopo la risposta manda la
 * versione, un avviso in una delle sue forme o i messaggi di un applicativo; e i decodificatori
 * degli avvisi sui loro bordi. */
#include "tools/client/cliente.h"

#include "tests/finti/LogMemoria.h"
#include "tests/finti/SocketProva.h"

#include <gtest/gtest.h>

#include <functional>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

static const char TESTO_SERVIZIO[] = "E' in corso l'aggiornamento del servizio di attivazione applicativi QOR:\n"
                                     "attendere alcuni istanti e ritentare la connessione";
static const char TESTO_APPLICATIVO[] =
    "La procedura di aggiornamento e' in corso oppure l'ultimo aggiornamento eseguito "
    "ha generato errori. Attendere alcuni istanti e ritentare la connessione.";

static std::string Lista(const std::vector<std::string> &campi)
{
    std::string corpo;
    for (const std::string &campo : campi) {
        char cifre[6];
        snprintf(cifre, sizeof cifre, "%05d", (int)campo.size());
        corpo += cifre + campo;
    }
    return corpo + "00000";
}

static std::string AvvisoServizio()
{
    return Lista({"PANIC", TESTO_SERVIZIO});
}

static std::string AvvisoInChiaro()
{
    std::string corpo = Lista({"E", std::string("S") + TESTO_APPLICATIVO});
    std::string lunghezza = {0, 0, (char)(corpo.size() >> 8), (char)(corpo.size() & 0xFF)};
    return lunghezza + corpo;
}

static std::string CorpoAvvisoCifrato()
{
    return "9999900201" + Lista({TESTO_APPLICATIVO});
}

/* Il testo come il client lo stampa (a capo come \x0A). */
static std::string Stampato(const std::string &testo)
{
    std::string uscita;
    for (char c : testo)
        uscita += c == '\n' ? std::string("\\x0A") : std::string(1, c);
    return uscita;
}

TEST(DecodificaAvvisi, FormeEsatteEBordi)
{
    char testo[512];
    std::string servizio = AvvisoServizio();
    ASSERT_EQ(144u, servizio.size());
    EXPECT_EQ(1, DecodificaAvvisoServizio((const uint8_t *)servizio.data(), 144, testo, sizeof testo));
    EXPECT_STREQ(TESTO_SERVIZIO, testo);
    EXPECT_EQ(0, DecodificaAvvisoServizio((const uint8_t *)servizio.data(), 139, testo, sizeof testo));
    EXPECT_EQ(0, DecodificaAvvisoServizio((const uint8_t *)servizio.data(), 144, testo, 124)); /* non entra */

    std::string inChiaro = AvvisoInChiaro();
    ASSERT_EQ(174u, inChiaro.size());
    EXPECT_EQ(std::string("\0\0\0\xAA" "00001E", 10), inChiaro.substr(0, 10));
    EXPECT_EQ(1, DecodificaAvvisoInChiaro((const uint8_t *)inChiaro.data(), 174, testo, sizeof testo));
    EXPECT_STREQ(TESTO_APPLICATIVO, testo);
    EXPECT_EQ(0, DecodificaAvvisoInChiaro((const uint8_t *)inChiaro.data(), 173, testo, sizeof testo));
    std::string altroCampo = inChiaro;
    altroCampo[9] = 'F';
    EXPECT_EQ(0, DecodificaAvvisoInChiaro((const uint8_t *)altroCampo.data(), 174, testo, sizeof testo));

    std::string cifrato = CorpoAvvisoCifrato();
    ASSERT_EQ(173u, cifrato.size());
    EXPECT_EQ(1, DecodificaAvvisoCifrato((const uint8_t *)cifrato.data(), 173, testo, sizeof testo));
    EXPECT_STREQ(TESTO_APPLICATIVO, testo);
    EXPECT_EQ(0, DecodificaAvvisoCifrato((const uint8_t *)"99998", 5, testo, sizeof testo));
    std::string normale = Lista({"99999", "x"});
    EXPECT_EQ(0, DecodificaAvvisoCifrato((const uint8_t *)normale.data(), (int)normale.size(), testo, sizeof testo));
}

TEST(DecodificaAvvisi, MessaggiInChiaroTuttiOnessuno)
{
    char spazio[512];
    TestoUscita uscita = {spazio, sizeof spazio, 0, 0};
    std::string primo = Lista({"pronto"});
    std::string dati = std::string("\0\0\0", 3) + (char)primo.size() + primo + std::string("\0\0\0\3", 4) + "a\\b";
    EXPECT_EQ(1, AccodaMessaggiInChiaro(&uscita, (const uint8_t *)dati.data(), (int)dati.size()));
    EXPECT_EQ("applicativo 0: pronto\napplicativo: a\\\\b\n", std::string(uscita.testo, (size_t)uscita.lung));

    TestoUscita vuota = {spazio, sizeof spazio, 0, 0};
    std::string coda = dati + "x";
    EXPECT_EQ(0, AccodaMessaggiInChiaro(&vuota, (const uint8_t *)coda.data(), (int)coda.size()));
    EXPECT_EQ(0, AccodaMessaggiInChiaro(&vuota, (const uint8_t *)"", 0));
    EXPECT_EQ(0, vuota.lung);

    char piccolo[8];
    TestoUscita corta = {piccolo, sizeof piccolo, 0, 0};
    AccodaUscita(&corta, "%s", "0123456789");
    EXPECT_EQ(7, corta.lung);
    EXPECT_EQ(1, corta.troncato);
}

/* Il servizio finto: scambio, richiesta, risposta con il codice (o no), poi il seguito. */
struct Finto {
    bool rispondi = true;
    const char *codice = nullptr; /* nullptr: 0101 o 0109 secondo il modo */
    std::function<void(SocketRete, StatoCifratura *, bool)> seguito;
    std::string richiesta;
};

static void Servizio(SocketRete s, Finto *finto)
{
    StatoCifratura stato = {};
    uint8_t area[DIM_AREA_MESSAGGIO];
    int lung = 0;
    int esito = scambioChiavi(s, &stato);
    bool inChiaro = esito == ESITO_IN_CHIARO;
    if (esito == ESITO_CHIUSO)
        return;
    esito = inChiaro ? ricezioneBufferInChiaro(s, area, sizeof area, &lung)
                     : ricezioneBuffer(s, &stato, area, sizeof area, &lung);
    if (esito != ESITO_FATTO)
        return;
    finto->richiesta.assign((const char *)area, (size_t)lung);
    if (finto->rispondi) {
        memcpy(area + 5, finto->codice != nullptr ? finto->codice : inChiaro ? "0101" : "0109", 4);
        if (inChiaro)
            invioBufferInChiaro(s, area, lung);
        else
            invioBuffer(s, &stato, area, lung);
    }
    if (finto->seguito)
        finto->seguito(s, &stato, inChiaro);
}

static void InviaGrezzi(SocketRete s, const std::string &dati)
{
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    InviaTutto(&canale, (const uint8_t *)dati.data(), (int)dati.size());
}

/* La conversazione dell'applicativo cifrata: nuovo scambio, un corpo (compresso se chiesto), e
 * la trama del client che il servizio legge e scarta. */
static std::string CifrataApplicativo(SocketRete s, const std::string &corpo, bool comprimi)
{
    StatoCifratura stato = {};
    uint8_t area[DIM_AREA_MESSAGGIO];
    int lung = 0;
    if (scambioChiavi(s, &stato) != ESITO_FATTO)
        return "nessuno scambio";
    memcpy(area, corpo.data(), corpo.size());
    lung = (int)corpo.size();
    if (comprimi) {
        uint8_t compressi[DIM_USCITA_LZW(DIM_AREA_MESSAGGIO)];
        lung = compressioneDati(area, lung, compressi, sizeof compressi);
        memcpy(area, compressi, (size_t)lung);
    }
    invioBuffer(s, &stato, area, lung);
    if (ricezioneBuffer(s, &stato, area, 260, &lung) != ESITO_FATTO)
        return "nessuna trama";
    return std::string((const char *)area, (size_t)lung);
}

struct Esito {
    int codice;
    std::string uscita;
    std::string errore;
};

static Esito Conversa(Finto *finto, OpzioniConversazione opzioni, const std::string &richiesta,
                      bool chiudiServizio = true)
{
    static char spazio[65536];
    static uint8_t materiale[DIM_CHIAVE];
    SocketRete cliente = SOCKET_NON_VALIDO, servizio = SOCKET_NON_VALIDO;
    Esito esito = {-1, "", ""};
    if (!AvviaReteProva() || !CoppiaConnessa(&cliente, &servizio))
        return esito;
    for (int i = 0; i < DIM_CHIAVE; i++)
        materiale[i] = (uint8_t)(i * 7 + 3);
    opzioni.materiale = materiale;
    std::thread lato([&] {
        Servizio(servizio, finto);
        if (chiudiServizio)
            ChiudiSocketProva(servizio);
    });
    CanaleRete canale;
    CanaleSuSocket(&canale, &cliente);
    TestoUscita uscita = {spazio, sizeof spazio, 0, 0};
    char errore[256];
    esito.codice = ConversaCliente(&canale, &opzioni, (const uint8_t *)richiesta.data(), (int)richiesta.size(),
                                   &uscita, errore, sizeof errore);
    esito.uscita.assign(uscita.testo, (size_t)uscita.lung);
    esito.errore = errore;
    ChiudiSocketProva(cliente);
    lato.join();
    if (!chiudiServizio)
        ChiudiSocketProva(servizio);
    return esito;
}

static OpzioniConversazione Opzioni(bool inChiaro, bool versione, bool avvio, bool scambio = false)
{
    OpzioniConversazione o = {};
    o.inChiaro = inChiaro;
    o.richiestaVersione = versione;
    o.avvio = avvio;
    o.scambioApplicativo = scambio;
    o.limiteMs = 3000;
    o.attesaDopoMs = 300;
    return o;
}

static const std::string RICHIESTA = Lista({std::string("0000\0", 5), std::string("\0", 1), std::string("\0", 1),
                                            std::string("N\0", 2), std::string("sysadmin\0", 9)});

TEST(ConversaCliente, VersioneNeiDueModi)
{
    for (bool inChiaro : {true, false}) {
        Finto finto;
        finto.seguito = [](SocketRete s, StatoCifratura *, bool) { InviaGrezzi(s, "01.02.03.104"); };
        Esito e = Conversa(&finto, Opzioni(inChiaro, true, false), RICHIESTA);
        EXPECT_EQ(USCITA_FATTO, e.codice) << e.errore;
        EXPECT_EQ(RICHIESTA, finto.richiesta);
        std::string codice = inChiaro ? "0101" : "0109";
        EXPECT_EQ("campo 0: " + codice + "\ncampo 1: \ncampo 2: \ncampo 3: N\ncampo 4: sysadmin\n"
                  "versione: 01.02.03.104\n",
                  e.uscita);
    }
}

TEST(ConversaCliente, AvvisiDiAggiornamentoInOgniForma)
{
    struct Caso {
        const char *nome;
        bool inChiaro;
        bool comprimi;
    } casi[] = {{"in chiaro", true, false}, {"cifrato", false, false}, {"cifrato e compresso", false, true}};
    for (const Caso &caso : casi) {
        Finto finto;
        std::string tramaDelClient;
        finto.seguito = [&](SocketRete s, StatoCifratura *, bool inChiaro) {
            if (inChiaro)
                InviaGrezzi(s, AvvisoInChiaro());
            else
                tramaDelClient = CifrataApplicativo(s, CorpoAvvisoCifrato(), caso.comprimi);
        };
        OpzioniConversazione o = Opzioni(caso.inChiaro, false, true, true);
        o.compressione = caso.comprimi;
        Esito e = Conversa(&finto, o, RICHIESTA);
        EXPECT_EQ(USCITA_AGG_APPLICATIVO, e.codice) << caso.nome << ": " << e.errore;
        EXPECT_NE(std::string::npos, e.uscita.find(std::string("avviso applicativo: ") + TESTO_APPLICATIVO + "\n"))
            << caso.nome << ": " << e.uscita;
        if (!caso.inChiaro) {
            EXPECT_EQ("00000", tramaDelClient) << caso.nome;
        }
    }

    /* L'avviso del servizio arriva al posto della risposta e la connessione resta aperta. */
    Finto finto;
    finto.rispondi = false;
    finto.seguito = [](SocketRete s, StatoCifratura *, bool) { InviaGrezzi(s, AvvisoServizio()); };
    Esito e = Conversa(&finto, Opzioni(false, false, true), RICHIESTA, false);
    EXPECT_EQ(USCITA_AGG_SERVIZIO, e.codice) << e.errore;
    EXPECT_EQ("avviso servizio: " + Stampato(TESTO_SERVIZIO) + "\n", e.uscita);
}

TEST(ConversaCliente, MessaggiDellApplicativo)
{
    /* Cifrato: scambio dell'applicativo, messaggi in lista di campi, risposta del client al primo. */
    Finto cifrato;
    std::string risposta;
    cifrato.seguito = [&](SocketRete s, StatoCifratura *, bool) {
        StatoCifratura stato = {};
        uint8_t area[256];
        int lung = 0;
        if (scambioChiavi(s, &stato) != ESITO_FATTO)
            return;
        std::string corpo = Lista({"trimox3", "pronto"});
        memcpy(area, corpo.data(), corpo.size());
        invioBuffer(s, &stato, area, (int)corpo.size());
        if (ricezioneBuffer(s, &stato, area, sizeof area, &lung) == ESITO_FATTO)
            risposta.assign((const char *)area, (size_t)lung);
        memcpy(area, "fine", 4);
        invioBuffer(s, &stato, area, 4);
    };
    OpzioniConversazione o = Opzioni(false, false, true, true);
    o.invia = (const uint8_t *)"ciao";
    o.lungInvia = 4;
    Esito e = Conversa(&cifrato, o, RICHIESTA);
    EXPECT_EQ(USCITA_FATTO, e.codice) << e.errore;
    EXPECT_NE(std::string::npos, e.uscita.find("applicativo 0: trimox3\napplicativo 1: pronto\napplicativo: fine\n"))
        << e.uscita;
    EXPECT_EQ("ciao", risposta);

    /* In chiaro: messaggi con 4 byte di lunghezza; byte che non lo sono restano grezzi. */
    struct Caso {
        std::string dati;
        std::string atteso;
    } casi[] = {
        {std::string("\0\0\0\x0c", 4) + Lista({"ok"}), "applicativo 0: ok\n"},
        {"testo libero", "dopo: testo libero\n"},
    };
    for (const Caso &caso : casi) {
        Finto finto;
        finto.seguito = [&](SocketRete s, StatoCifratura *, bool) { InviaGrezzi(s, caso.dati); };
        Esito chiaro = Conversa(&finto, Opzioni(true, false, true), RICHIESTA);
        EXPECT_EQ(USCITA_FATTO, chiaro.codice) << chiaro.errore;
        EXPECT_NE(std::string::npos, chiaro.uscita.find(caso.atteso)) << chiaro.uscita;
    }

    /* Un applicativo che saluta e poi fa l'eco, nei due modi: i byte mandati tornano dopo il saluto. */
    for (bool inChiaro : {true, false}) {
        Finto eco;
        eco.seguito = [](SocketRete s, StatoCifratura *, bool) {
            InviaGrezzi(s, "RUNTIME trimox 7\n");
            char area[64];
            CanaleRete canale;
            CanaleSuSocket(&canale, &s);
            int n = canale.ricevi(canale.contesto, (uint8_t *)area, sizeof area);
            if (n > 0)
                InviaGrezzi(s, std::string(area, (size_t)n));
        };
        OpzioniConversazione conEco = Opzioni(inChiaro, false, true);
        conEco.invia = (const uint8_t *)"eco";
        conEco.lungInvia = 3;
        Esito risultato = Conversa(&eco, conEco, RICHIESTA);
        EXPECT_EQ(USCITA_FATTO, risultato.codice) << risultato.errore;
        EXPECT_NE(std::string::npos, risultato.uscita.find("dopo: RUNTIME trimox 7\\x0Aeco\n")) << risultato.uscita;
    }
}

TEST(ConversaCliente, FallimentiConCodiciDistinti)
{
    struct Caso {
        const char *nome;
        bool inChiaro, versione, avvio;
        bool rispondi;
        const char *codice;
        bool silenzio; /* il servizio tace dopo la risposta senza chiudere */
        int atteso;
        const char *motivo;
    } casi[] = {
        {"rifiutata in chiaro", true, false, true, false, nullptr, false, USCITA_RIFIUTATA, "senza rispondere"},
        {"rifiutata cifrata", false, false, true, false, nullptr, false, USCITA_RIFIUTATA, "senza rispondere"},
        {"codice sbagliato", true, false, true, true, "0109", false, USCITA_NON_VALIDA, "0101"},
        {"versione vuota", true, true, false, true, nullptr, false, USCITA_NON_VALIDA, "senza mandare la versione"},
        {"chiusa dopo la risposta", true, false, true, true, nullptr, false, USCITA_NON_AVVIATO, "non avviato"},
        {"chiusa dopo la risposta, cifrata", false, false, true, true, nullptr, false, USCITA_NON_AVVIATO,
         "non avviato"},
        {"muto dopo la risposta", true, false, true, true, nullptr, true, USCITA_TEMPO, "tempo scaduto"},
        {"muto prima della risposta", false, false, true, false, nullptr, true, USCITA_TEMPO, "tempo scaduto"},
    };
    for (const Caso &caso : casi) {
        Finto finto;
        finto.rispondi = caso.rispondi;
        finto.codice = caso.codice;
        if (caso.silenzio)
            finto.seguito = [](SocketRete, StatoCifratura *, bool) {
                std::this_thread::sleep_for(std::chrono::milliseconds(900));
            };
        OpzioniConversazione o = Opzioni(caso.inChiaro, caso.versione, caso.avvio);
        o.limiteMs = 400;
        Esito e = Conversa(&finto, o, RICHIESTA);
        EXPECT_EQ(caso.atteso, e.codice) << caso.nome << ": " << e.errore;
        EXPECT_NE(std::string::npos, e.errore.find(caso.motivo)) << caso.nome << ": " << e.errore;
    }
}
