/* tests/service/AmmissioneTest.cpp - chiavi CLIENT, MAXCLIENT, MAXCONN e decisioni del ciclo di accept. */
#include "service/service.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

static const uint32_t ip127_0_0_1 = 0x7F000001, ip127_0_0_2 = 0x7F000002;

TEST(Ammissione, ValoriDelleChiavi)
{
    struct {
        const char *valore;
        int valida;
        uint32_t indirizzo;
        int prefisso;
    } reti[] = {
        {"127.0.0.2", 1, ip127_0_0_2, 32},
        {"10.0.0.0/8", 1, 0x0A000000, 8},
        {"0.0.0.0/0", 1, 0, 0},
        {"255.255.255.255/32", 1, 0xFFFFFFFF, 32},
        {"010.1.1.1", 1, 0x0A010101, 32},  // zeri iniziali: cifre decimali
        {"256.0.0.1", 0, 0, 0},
        {"1.2.3", 0, 0, 0},
        {"1.2.3.4.5", 0, 0, 0},
        {"1.2.3.4/33", 0, 0, 0},
        {"1.2.3.4/", 0, 0, 0},
        {"1.2.3.4 ", 0, 0, 0},
        {" 1.2.3.4", 0, 0, 0},
        {"1..3.4", 0, 0, 0},
        {"1.2.3.0004", 0, 0, 0},
        {"host", 0, 0, 0},
    };
    for (const auto &caso : reti) {
        SCOPED_TRACE(caso.valore);
        ReteClient rete = {0, -1};
        ASSERT_EQ(caso.valida, LeggiReteClient(caso.valore, &rete));
        if (caso.valida) {
            EXPECT_EQ(caso.indirizzo, rete.indirizzo);
            EXPECT_EQ(caso.prefisso, rete.prefisso);
        }
    }
    struct {
        const char *valore;
        int valido;
        int limite;
    } limiti[] = {{"0", 1, 0}, {"4", 1, 4}, {"100000", 1, 100000}, {"100001", 0, 0}, {"-1", 0, 0},
                  {"+4", 0, 0}, {"4x", 0, 0}, {" 4", 0, 0}, {"99999999999", 0, 0}, {"", 0, 0}};
    for (const auto &caso : limiti) {
        SCOPED_TRACE(caso.valore);
        int limite = -1;
        ASSERT_EQ(caso.valido, LeggiLimiteConversazioni(caso.valore, &limite));
        if (caso.valido) {
            EXPECT_EQ(caso.limite, limite);
        }
    }
}

TEST(Ammissione, ReteAmmessaAiBordiDelPrefisso)
{
    ConfigAmmissione config;
    ConfigAmmissioneDefault(&config);
    EXPECT_TRUE(IndirizzoAmmesso(&config, 0x01020304));  // senza reti tutti
    ASSERT_TRUE(LeggiReteClient("192.168.4.0/22", &config.reti[config.numReti++]));
    ASSERT_TRUE(LeggiReteClient("127.0.0.2", &config.reti[config.numReti++]));
    struct {
        uint32_t indirizzo;
        int ammesso;
    } casi[] = {{0xC0A80400, 1}, {0xC0A807FF, 1}, {0xC0A803FF, 0}, {0xC0A80800, 0},
                {ip127_0_0_2, 1}, {ip127_0_0_1, 0}, {0x7F000003, 0}};
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.indirizzo);
        EXPECT_EQ(caso.ammesso, IndirizzoAmmesso(&config, caso.indirizzo));
    }
    ASSERT_TRUE(LeggiReteClient("0.0.0.0/0", &config.reti[config.numReti++]));
    EXPECT_TRUE(IndirizzoAmmesso(&config, ip127_0_0_1));
}

TEST(Ammissione, LimitiPerIndirizzoEInTutto)
{
    auto stato = std::make_unique<StatoAmmissione>();
    ConfigAmmissione config;
    ConfigAmmissioneDefault(&config);
    config.maxClient = 2;
    config.maxConn = 3;
    int inCorso = 0, contata = 0;
    ASSERT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    ASSERT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    EXPECT_EQ(1, contata);
    EXPECT_EQ(RIFIUTATA_PER_INDIRIZZO, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    EXPECT_EQ(2, inCorso);
    EXPECT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, ip127_0_0_2, &inCorso, &contata));
    EXPECT_EQ(RIFIUTATA_TOTALE, AmmettiConversazione(stato.get(), &config, 0x0A000001, &inCorso, &contata));
    EXPECT_EQ(3, inCorso);
    // Una conversazione finita libera un posto per il suo indirizzo e nel totale.
    FineConversazione(stato.get(), ip127_0_0_1, 1);
    EXPECT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    EXPECT_EQ(RIFIUTATA_PER_INDIRIZZO, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    // 0 toglie il limite.
    config.maxClient = 0;
    config.maxConn = 0;
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    EXPECT_EQ(13, stato->conversazioni);
}

TEST(Ammissione, TabellaPienaRifiutaConMaxclientOContaSoloNelTotale)
{
    auto stato = std::make_unique<StatoAmmissione>();
    ConfigAmmissione config;
    ConfigAmmissioneDefault(&config);
    config.maxConn = 0;
    int inCorso = 0, contata = 0;
    for (uint32_t i = 0; i < DIM_TABELLA_INDIRIZZI; i++)
        ASSERT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, 0x0A000000 + i, &inCorso, &contata));
    EXPECT_EQ(RIFIUTATA_PER_INDIRIZZO, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    EXPECT_EQ(0, inCorso);
    EXPECT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, 0x0A000005, &inCorso, &contata));  // gia' in tabella
    config.maxClient = 0;
    ASSERT_EQ(AMMESSA, AmmettiConversazione(stato.get(), &config, ip127_0_0_1, &inCorso, &contata));
    EXPECT_EQ(0, contata);
    // La fine di una non contata non tocca la voce di un altro.
    FineConversazione(stato.get(), 0x0A000000, 0);
    EXPECT_EQ(1, stato->indirizzi[0].conversazioni);
    EXPECT_EQ(DIM_TABELLA_INDIRIZZI + 1, stato->conversazioni);
}

TEST(Ammissione, RigheDiRifiutoUnaAlMinutoPerIndirizzo)
{
    auto stato = std::make_unique<StatoAmmissione>();
    int omesse = -1;
    const uint32_t t0 = 0xFFFFF000;  // l'orologio dei millisecondi fa il giro nel mezzo
    EXPECT_TRUE(RigaRifiutoDaScrivere(stato.get(), ip127_0_0_1, t0, &omesse));
    EXPECT_EQ(0, omesse);
    for (int i = 0; i < 5; i++)
        EXPECT_FALSE(RigaRifiutoDaScrivere(stato.get(), ip127_0_0_1, t0 + 1000 * i, &omesse));
    EXPECT_TRUE(RigaRifiutoDaScrivere(stato.get(), ip127_0_0_2, t0 + 10, &omesse));  // un altro indirizzo
    EXPECT_FALSE(RigaRifiutoDaScrivere(stato.get(), ip127_0_0_1, t0 + INTERVALLO_RIGHE_RIFIUTO_MS - 1, &omesse));
    EXPECT_TRUE(RigaRifiutoDaScrivere(stato.get(), ip127_0_0_1, t0 + INTERVALLO_RIGHE_RIFIUTO_MS, &omesse));
    EXPECT_EQ(6, omesse);
    EXPECT_TRUE(RigaRifiutoDaScrivere(stato.get(), ip127_0_0_1, t0 + 2 * INTERVALLO_RIGHE_RIFIUTO_MS, &omesse));
    EXPECT_EQ(0, omesse);
}

TEST(Ammissione, RigheDiRifiutoLimitateConMoltiIndirizzi)
{
    auto stato = std::make_unique<StatoAmmissione>();
    int omesse = 0, numero = 0, righe = 0;
    const uint32_t t0 = 0xFFFF0000;
    // 400 indirizzi in meno di un minuto: una riga per voce, gli altri solo contati.
    for (uint32_t i = 0; i < 400; i++)
        righe += RigaRifiutoDaScrivere(stato.get(), 0x0A000000 + i, t0 + 100 * i, &omesse);
    EXPECT_EQ(DIM_TABELLA_RIFIUTI, righe);
    EXPECT_FALSE(RiepilogoRifiutiDaScrivere(stato.get(), t0 + 25600 + INTERVALLO_RIGHE_RIFIUTO_MS - 1, &numero));
    EXPECT_TRUE(RiepilogoRifiutiDaScrivere(stato.get(), t0 + 25600 + INTERVALLO_RIGHE_RIFIUTO_MS, &numero));
    EXPECT_EQ(400 - DIM_TABELLA_RIFIUTI, numero);
    EXPECT_FALSE(RiepilogoRifiutiDaScrivere(stato.get(), t0 + 25600 + 2 * INTERVALLO_RIGHE_RIFIUTO_MS, &numero));
    // Passato il minuto, un indirizzo nuovo prende la voce con la riga piu' vecchia; la voce di un
    // indirizzo ancora recente resta sua.
    const uint32_t t1 = t0 + INTERVALLO_RIGHE_RIFIUTO_MS;
    EXPECT_TRUE(RigaRifiutoDaScrivere(stato.get(), 0x0B000000, t1, &omesse));
    EXPECT_TRUE(RigaRifiutoDaScrivere(stato.get(), 0x0A000000, t1 + 100, &omesse));  // la sua voce e' andata
    EXPECT_FALSE(RigaRifiutoDaScrivere(stato.get(), 0x0A0000FF, t1 + 101, &omesse));
    EXPECT_FALSE(RigaRifiutoDaScrivere(stato.get(), 0x0C000000, t1 + 102, &omesse));  // voci tutte recenti
}

TEST(Ammissione, TestiDelleRigheDiRifiuto)
{
    char riga[256];
    FormattaRigaRifiuto(riga, sizeof riga, RIFIUTATA_INDIRIZZO, "127.0.0.1", 0, 0);
    EXPECT_STREQ("CicloAccept - connessione da 127.0.0.1 rifiutata: indirizzo non ammesso\n", riga);
    FormattaRigaRifiuto(riga, sizeof riga, RIFIUTATA_PER_INDIRIZZO, "127.0.0.1", 4, 0);
    EXPECT_STREQ("CicloAccept - connessione da 127.0.0.1 rifiutata: 4 conversazioni in corso da questo indirizzo\n", riga);
    FormattaRigaRifiuto(riga, sizeof riga, RIFIUTATA_TOTALE, "10.0.0.1", 1024, 7);
    EXPECT_STREQ("CicloAccept - connessione da 10.0.0.1 rifiutata: 1024 conversazioni in corso (altri 7 rifiuti non "
                 "registrati)\n", riga);
    TestoIndirizzo(riga, sizeof riga, 0xFFFFFFFE);
    EXPECT_STREQ("255.255.255.254", riga);
}
