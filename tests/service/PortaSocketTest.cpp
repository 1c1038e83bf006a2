/* tests/service/PortaSocketTest.cpp - la porta dal file tarnel.cfg, con file veri. */
#include "service/service.h"

#include "tests/finti/LogMemoria.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

/* Una cartella di prova per share: su Windows le sottocartelle sono vere; su Linux il percorso
 * con le barre rovesce e' il nome di un solo file dentro la cartella di prova. */
static std::string CartellaProva()
{
#ifdef _WIN32
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string cartella = std::string(temp) + "tarnelporta" + std::to_string(GetCurrentProcessId());
    _mkdir(cartella.c_str());
    return cartella;
#else
    std::string cartella = "/tmp/tarnelporta" + std::to_string(getpid());
    mkdir(cartella.c_str(), 0700);
    return cartella + "/";
#endif
}

static std::string PathConf(const std::string &share)
{
    return share + "\\GEST1\\prg\\etc\\tarnel.cfg";
}

static void ScriviConf(const std::string &share, const std::string &contenuto)
{
#ifdef _WIN32
    _mkdir((share + "\\GEST1").c_str());
    _mkdir((share + "\\GEST1\\prg").c_str());
    _mkdir((share + "\\GEST1\\prg\\etc").c_str());
#endif
    FILE *file = fopen(PathConf(share).c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fwrite(contenuto.data(), 1, contenuto.size(), file);
    fclose(file);
}

class PortaSocket : public ::testing::Test {
protected:
    void SetUp() override
    {
        share = CartellaProva();
        remove(PathConf(share).c_str());
        SvuotaLogMemoria();
    }
    void TearDown() override { remove(PathConf(share).c_str()); }
    /* tarnel.cfg con il contenuto dato, letto con il log vuoto: l'esito di LeggiConfigServizio. */
    int Leggi(const std::string &contenuto, ConfigServizio *config)
    {
        ScriviConf(share, contenuto);
        SvuotaLogMemoria();
        return LeggiConfigServizio(share.c_str(), "GEST1", config);
    }
    std::string share;
};

TEST_F(PortaSocket, SenzaFileSiUsaLaPortaDiDefaultENeDiceIlPercorso)
{
    int porta = -1;
    EXPECT_EQ(1, ::PortaSocket(share.c_str(), "GEST1", &porta));
    EXPECT_EQ(2000, porta);
    std::string atteso = "PortaSocket - pathFileConf = " + PathConf(share) + "\n" + "File di configurazione \"" +
                         PathConf(share) +
                         "\" non presente o non leggibile: nella comunicazione si utilizza la porta socket di default "
                         "2000\n";
    EXPECT_EQ(atteso, TestoLogMemoria());
}

TEST_F(PortaSocket, RigheDelFile)
{
    struct {
        const char *contenuto;
        int esito;
        int porta;
        const char *rigaLog;
    } casi[] = {
        {"SOCKET=5000\n", 1, 5000, "Nella comunicazione si utilizza la porta socket 5000 letta dal file"},
        {"SOCKET=5000", 1, 5000, "porta socket 5000 letta"},                  // ultima riga senza a capo
        {"SOCKET=5000\r\n", 1, 5000, "porta socket 5000 letta"},
        {"SOCKET==5000\n", 1, 5000, "porta socket 5000 letta"},               // piu' '=' contano come uno
        {"=SOCKET=5000\n", 1, 5000, "porta socket 5000 letta"},               // '=' iniziale ignorato
        {"SOCKET=5000=6000\n", 1, 5000, "porta socket 5000 letta"},
        {"SOCKET=  +21\n", 1, 21, "porta socket 21 letta"},                   // spazi e segno prima delle cifre
        {"SOCKET=65535\n", 1, 65535, "porta socket 65535 letta"},
        {"SOCKET=4000x\n", 1, 4000, "porta socket 4000 letta"},
        {"SOCKET=5000\nSOCKET=6000\n", 1, 5000, "porta socket 5000 letta"},   // decide la prima
        {"PORTA=1\nSOCKET=5001\n", 1, 5001, "porta socket 5001 letta"},
        {"SOCKET = 5000\n", 1, 2000, "si utilizza la porta socket di default 2000\n"},  // la chiave e' "SOCKET "
        {"socket=5000\n", 1, 2000, "di default 2000\n"},
        {"#SOCKET=5000\n", 1, 2000, "di default 2000\n"},
        {"SOCKET\nSOCKET=\n", 1, 2000, "di default 2000\n"},                  // righe senza valore ignorate
        {"", 1, 2000, "di default 2000\n"},
        {"SOCKET=0\n", 0, 0, "La porta socket \"0\" specificata nel file di configurazione"},
        {"SOCKET=abc\n", 0, 0, "La porta socket \"abc\" specificata"},
        {"SOCKET=-5\n", 0, 0, "La porta socket \"-5\" specificata"},
        {"SOCKET=65536\n", 0, 0, "La porta socket \"65536\" specificata"},
        {"SOCKET=99999999999999999999\n", 0, 0, "La porta socket \"99999999999999999999\" specificata"},
        {"SOCKET=abc\nSOCKET=5000\n", 0, 0, "La porta socket \"abc\""},      // la prima decide anche se invalida
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.contenuto);
        ScriviConf(share, caso.contenuto);
        SvuotaLogMemoria();
        int porta = 0;
        EXPECT_EQ(caso.esito, ::PortaSocket(share.c_str(), "GEST1", &porta));
        if (caso.esito) {
            EXPECT_EQ(caso.porta, porta);
        }
        EXPECT_NE(std::string::npos, TestoLogMemoria().find(caso.rigaLog)) << TestoLogMemoria();
    }
}

TEST_F(PortaSocket, RigaInvalidaCitaValoreEPercorso)
{
    ScriviConf(share, "SOCKET=0\n");
    int porta = 0;
    EXPECT_EQ(0, ::PortaSocket(share.c_str(), "GEST1", &porta));
    std::string atteso = "PortaSocket - pathFileConf = " + PathConf(share) + "\nLa porta socket \"0\" specificata nel file " +
                         "di configurazione \"" + PathConf(share) + "\" non e' valida\n";
    EXPECT_EQ(atteso, TestoLogMemoria());
}

TEST_F(PortaSocket, RigaPiuLungaDellAreaPerdeIlResto)
{
    struct {
        std::string contenuto;
        int porta, numReti, rigaSocket;
    } casi[] = {
        // La coda di un commento lungo non diventa una riga CLIENT; la riga dopo conta ancora.
        {"#" + std::string(158, 'x') + "CLIENT=10.0.0.0/8\nSOCKET=7000\n", 7000, 0, 0},
        // 159 caratteri esatti riempiono l'area: l'a capo rimasto non e' una riga in piu'.
        {std::string(159, 'x') + "\nSOCKET=7000\nSOCKET=1\n", 7000, 0, 3},
        {std::string(156, 'x') + "=SOCKET=7000\n", 2000, 0, 0},  // chiave xxx, valore "SO"
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.contenuto.substr(150));
        ConfigServizio config;
        EXPECT_EQ(1, Leggi(caso.contenuto, &config));
        EXPECT_EQ(caso.porta, config.porta);
        EXPECT_EQ(caso.numReti, config.ammissione.numReti);
        EXPECT_EQ(caso.rigaSocket, config.rigaSecondoSocket);
    }
}

TEST_F(PortaSocket, RigheQuasiGiusteFermanoLAvvio)
{
    struct {
        const char *contenuto;
        int esito, porta, numReti;
        int rigaNonValida;
        const char *testo;
        int rigaSocketInesatta, rigaSecondoSocket, clientPresente;
        bool quasiGiusta; /* la riga "La riga ... non e' valida" nel log */
    } casi[] = {
        {"#x\nclient=10.0.0.0/8\n", 0, 2000, 0, 2, "client=10.0.0.0/8", 0, 0, 0, true},
        {"CLIENT = 10.0.0.0/8\r\n", 0, 2000, 0, 1, "CLIENT = 10.0.0.0/8", 0, 0, 0, true},
        {"\tCLIENT=10.0.0.0/8\n", 0, 2000, 0, 1, "\tCLIENT=10.0.0.0/8", 0, 0, 0, true},
        {"CLIENT= 10.0.0.0/8\n", 0, 2000, 0, 1, "CLIENT= 10.0.0.0/8", 0, 0, 0, true},
        {"CLIENT=127.0.0.1\nMaxConn=5\nSOCKET=9\n", 0, 2000, 1, 2, "MaxConn=5", 0, 0, 1, true},
        {"MAXCLIENT \n", 0, 2000, 0, 1, "MAXCLIENT ", 0, 0, 0, true},  // senza valore
        {"CLIENT=\n", 0, 2000, 0, 1, "CLIENT=", 0, 0, 0, true},
        {"CLIENTI=1\nMAXCONNX=2\n", 1, 2000, 0, 0, "", 0, 0, 0, false},  // altre chiavi: ignorate
        // Il segno UTF-8 in testa si salta; a meta' file resta parte della riga.
        {"\xEF\xBB\xBFSOCKET=5000\n", 1, 5000, 0, 0, "", 0, 0, 0, false},
        {"\xEF\xBB\xBF#x\nCLIENT=127.0.0.1\n", 1, 2000, 1, 0, "", 0, 0, 1, false},
        {"SOCKET=1\n\xEF\xBB\xBFSOCKET=5000\n", 1, 1, 0, 0, "", 0, 0, 0, false},
        // SOCKET tiene la regola di sempre; la verifica ne riceve le righe.
        {"socket=5000\nSOCKET = 6\nSOCKET=  7\nSOCKET=8\n", 1, 7, 0, 0, "", 1, 4, 0, false},
        // La riga di un valore non valido, come letta.
        {"SOCKET=5\n=CLIENT==1.2.3.400\n", 0, 5, 0, 2, "=CLIENT==1.2.3.400", 0, 0, 1, false},
        {"\nSOCKET=x\n", 0, 0, 0, 2, "SOCKET=x", 0, 0, 0, false},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.contenuto);
        ConfigServizio config;
        EXPECT_EQ(caso.esito, Leggi(caso.contenuto, &config));
        EXPECT_EQ(caso.porta, config.porta);
        EXPECT_EQ(caso.numReti, config.ammissione.numReti);
        EXPECT_EQ(caso.rigaNonValida, config.rigaNonValida);
        EXPECT_EQ(std::string(caso.testo), config.testoRigaNonValida);
        EXPECT_EQ(caso.rigaSocketInesatta, config.rigaSocketInesatta);
        EXPECT_EQ(caso.rigaSecondoSocket, config.rigaSecondoSocket);
        EXPECT_EQ(caso.clientPresente, config.clientPresente);
        std::string rigaLog = "La riga \"" + std::string(caso.testo) + "\" del file di configurazione \"" +
                              PathConf(share) + "\" non e' valida\n";
        EXPECT_EQ(caso.quasiGiusta, TestoLogMemoria().find(rigaLog) != std::string::npos) << TestoLogMemoria();
    }
}

TEST_F(PortaSocket, ChiaviDellAmmissione)
{
    struct {
        const char *contenuto;
        int esito;
        int numReti, maxClient, maxConn;
        const char *log;  // righe dopo quella della porta
    } casi[] = {
        {"SOCKET=5000\n", 1, 0, 128, 1024, ""},
        {"CLIENT=127.0.0.2\nMAXCLIENT=4\nMAXCLIENT=9\nCLIENT=10.0.0.0/8\nMAXCONN=0\n", 1, 2, 4, 0,
         "Ammessi i client di 127.0.0.2/32\nAmmessi i client di 10.0.0.0/8\n"},
        {"#CLIENT=x\nMAXCONN=7\n", 1, 0, 128, 7, ""},
        {"CLIENT=127.0.0.2\nCLIENT=127.0.0.300\n", 0, 1, 128, 1024,
         "Il valore \"127.0.0.300\" della chiave CLIENT nel file di configurazione \"$\" non e' valido\n"},
        {"MAXCLIENT=-1\nMAXCONN=x\n", 0, 0, 128, 1024,
         "Il valore \"-1\" della chiave MAXCLIENT nel file di configurazione \"$\" non e' valido\n"},
        {"MAXCONN=1 \n", 0, 0, 128, 1024,
         "Il valore \"1 \" della chiave MAXCONN nel file di configurazione \"$\" non e' valido\n"},
        {"SOCKET=0\nMAXCONN=x\n", 0, 0, 128, 1024, nullptr},  // la porta non valida ferma prima
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.contenuto);
        ConfigServizio config;
        EXPECT_EQ(caso.esito, Leggi(caso.contenuto, &config));
        EXPECT_EQ(caso.numReti, config.ammissione.numReti);
        EXPECT_EQ(caso.maxClient, config.ammissione.maxClient);
        EXPECT_EQ(caso.maxConn, config.ammissione.maxConn);
        std::string log = TestoLogMemoria();
        size_t dopoPorta = log.find("\n", log.find("porta socket")) + 1;
        if (caso.log == nullptr) {
            EXPECT_EQ(std::string::npos, log.find("chiave"));
            continue;
        }
        std::string atteso = caso.log;
        size_t segno = atteso.find('$');
        if (segno != std::string::npos)
            atteso.replace(segno, 1, PathConf(share));
        EXPECT_EQ(atteso, log.substr(dopoPorta));
    }
    // Le regole lette passano al ciclo di accept solo se tutto il file e' valido.
    ScriviConf(share, "MAXCLIENT=4\n");
    int porta = 0;
    ASSERT_EQ(1, ::PortaSocket(share.c_str(), "GEST1", &porta));
    EXPECT_EQ(4, ammissioneServizio.maxClient);
    ScriviConf(share, "MAXCLIENT=5\nCLIENT=x\n");
    ASSERT_EQ(0, ::PortaSocket(share.c_str(), "GEST1", &porta));
    EXPECT_EQ(4, ammissioneServizio.maxClient);
    ConfigAmmissioneDefault(&ammissioneServizio);
}

TEST(PortaSocketPercorso, RadiceDiDriveNonRaddoppiaLaBarra)
{
    SvuotaLogMemoria();
    int porta = 0;
    ::PortaSocket("Q:\\", "GEST1", &porta);
    EXPECT_EQ(0u, TestoLogMemoria().find("PortaSocket - pathFileConf = Q:\\GEST1\\prg\\etc\\tarnel.cfg\n"));
    SvuotaLogMemoria();
    ::PortaSocket("\\\\server\\share", "GEST1", &porta);
    EXPECT_EQ(0u, TestoLogMemoria().find("PortaSocket - pathFileConf = \\\\server\\share\\GEST1\\prg\\etc\\tarnel.cfg\n"));
}
