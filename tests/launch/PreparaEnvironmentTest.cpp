/* tests/launch/PreparaEnvironmentTest.cpp - il blocco d'ambiente del runtime da un ambiente del
 * servizio dato: ordine, variabili tolte, COBPATH, forme di avvio, DEBPRO, QOR_WEB, spazio pieno. */
#include "launch/launch.h"

#include "tests/finti/LogMemoria.h"
#include "tests/launch/RichiestaProva.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <vector>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

/* Un blocco d'ambiente (testi terminati da zero e uno zero in piu') dalle variabili date. */
static std::string Blocco(const std::vector<std::string> &variabili)
{
    std::string blocco;
    for (const std::string &v : variabili)
        blocco += v + std::string(1, '\0');
    return blocco + std::string(1, '\0');
}

/* Le variabili di un blocco composto di lung byte; verifica i due zeri finali. */
static std::vector<std::string> Variabili(const std::vector<char> &blocco, int lung)
{
    std::vector<std::string> variabili;
    EXPECT_GE(lung, 2);
    if (lung < 2)
        return variabili;
    EXPECT_EQ('\0', blocco[(size_t)lung - 1]);
    EXPECT_EQ('\0', blocco[(size_t)lung - 2]);
    for (int i = 0; i < lung - 1; i += (int)strlen(&blocco[(size_t)i]) + 1)
        variabili.push_back(&blocco[(size_t)i]);
    return variabili;
}

class Environment : public ::testing::Test {
protected:
    void SetUp() override
    {
        InizializzaRichiesta(&r);
        CopiaTestoProva(r.dirAmbiente, "C:\\GEST1");
        SvuotaLogMemoria();
    }
    std::vector<std::string> Componi(const std::vector<std::string> &servizio, const char *path = "C:\\windows",
                                     const char *debpro = nullptr, int cobolVisual = 0, int dim = DIM_BLOCCO_ENVIRONMENT)
    {
        std::string sorgente = Blocco(servizio);
        std::vector<char> blocco((size_t)dim + 16, 'Z');
        int lung = ComponiEnvironment(blocco.data(), dim, servizio.empty() ? nullptr : sorgente.data(), path, debpro,
                                      &r, 1234, cobolVisual);
        EXPECT_LE(lung, dim);
        for (size_t i = (size_t)dim; i < blocco.size(); i++)
            EXPECT_EQ('Z', blocco[i]) << "scritto oltre il blocco";
        return Variabili(blocco, lung);
    }
    RichiestaClient r;
};

static const char COBPATH_SENZA_ANNO[] =
    "COBPATH=e\\b;e\\t;e\\c;e\\1;e\\3;e\\4;e\\5;e\\6;e\\7;e\\r;e\\q;e\\u;e\\8;e\\m;e\\a;e\\e;e\\f;e\\s;e\\i;e\\p;e\\n;"
    "e\\g;e\\y;e\\w;e\\v;e\\x;com\\bin;com\\drumal\\bin;com\\drumal\\bin\\cobol;com\\bin\\cpy\\system;e\\win32;e\\d;"
    "e\\h;e\\j;e\\k;e\\l;e\\o;e\\z;e\\0;e\\2;e\\9;";

TEST_F(Environment, Kelvatlog3CifrataNellOrdineDelBlocco)
{
    r.compressione = 1;
    CopiaTestoProva(r.fileParametri, ".\\etc\\kl7.cfg");
    CopiaTestoProva(r.prodotto, "PROD");
    EXPECT_THAT(Componi({"ComSpec=C:\\windows\\cmd.exe", "TEMP=C:\\temp"}),
                ElementsAre("ComSpec=C:\\windows\\cmd.exe", "TEMP=C:\\temp", "BCOMPR=1", "VELMAR_START=.\\etc\\kl7.cfg",
                            "PRODOTTO_VELMAR=PROD", "CAR_ANNO_FISC=*", COBPATH_SENZA_ANNO, "COBSW=-F-N",
                            "COBDIR=com\\drumal\\bin\\cobol", "TARVOPLUS=TRUE", "LNK=C:\\GEST1\\prg\\frm",
                            "PATH=com\\bin;com\\drumal\\bin;com\\drumal\\bin\\cobol;com\\bin\\cpy\\system;"
                            "com\\drumal\\cmd;C:\\windows",
                            "socketComm=1234"));
    EXPECT_EQ("", TestoLogMemoria());
}

TEST_F(Environment, VariabiliTolteSoloConIlNomeEsatto)
{
    std::vector<std::string> v =
        Componi({"Path=a", "PATH=b", "path=c", "PATHEXT=.EXE", "SocketComm=9", "COBDIR=x", "TarvoPlus=y", "lnk=z",
                 "LNKX=k", "bcompr=0", "Car_Anno_Fisc=q", "cobpath=p", "CobSw=s", "=C:=C:\\x", "A=1", "AB=1",
                 "VELMAR_START=v", "PRODOTTO_VELMAR=p", "VELMARSP_START=s", "INFOSTART=i", "V_STUDIO=s",
                 "QOR_WEB=q", "DEBPRO=d"},
                nullptr, nullptr);
    std::vector<std::string> copiate(v.begin(), v.begin() + 11);
    EXPECT_THAT(copiate, ElementsAre("PATHEXT=.EXE", "LNKX=k", "=C:=C:\\x", "AB=1", "VELMAR_START=v",
                                     "PRODOTTO_VELMAR=p", "VELMARSP_START=s", "INFOSTART=i", "V_STUDIO=s",
                                     "QOR_WEB=q", "DEBPRO=d"));
    EXPECT_EQ("BCOMPR=0", v[11]);
    // Senza PATH del servizio la PATH composta finisce dopo le sue cartelle.
    EXPECT_THAT(v, Contains("PATH=com\\bin;com\\drumal\\bin;com\\drumal\\bin\\cobol;com\\bin\\cpy\\system;com\\drumal\\cmd;"));
    EXPECT_EQ(11u + 9u, v.size());
}

TEST_F(Environment, CobpathConAnnoEVisualCobol)
{
    r.carAnnoFisc = 'b';
    std::vector<std::string> v = Componi({}, "P", nullptr, 1);
    EXPECT_EQ("BCOMPR=0", v[0]); // ambiente del servizio illeggibile: si comincia dalle aggiunte
    EXPECT_EQ("CAR_ANNO_FISC=b", v[1]);
    EXPECT_EQ("COBPATH=e\\b;e\\t;e\\c;e\\1\\b;e\\3\\b;e\\4\\b;e\\5\\b;e\\6\\b;e\\7\\b;e\\r\\b;e\\q\\b;e\\u;e\\8;e\\m;e\\a;"
              "e\\e;e\\f;e\\s;e\\i;e\\p;e\\n;e\\g;e\\y;e\\w;e\\v;e\\x;com\\bin;com\\drumal\\bin;"
              "com\\drumal\\bin\\cobol_vc;com\\bin\\cpy\\system;e\\win32;e\\d;e\\h;e\\j;e\\k;e\\l;e\\o;e\\z;e\\0;e\\2;e\\9;",
              v[2]);
    EXPECT_EQ("COBDIR=com\\drumal\\bin\\cobol_vc", v[4]);
    EXPECT_EQ("PATH=com\\bin;com\\drumal\\bin;com\\drumal\\bin\\cobol_vc;com\\bin\\cpy\\system;com\\drumal\\cmd;P", v[7]);
}

TEST_F(Environment, FormeDiAvvioVariabiliVDebproEQorWeb)
{
    // kelvatlog5: forma SP con il file, INFOSTART; conversazione in chiaro.
    r.avvioSP = 1;
    r.inChiaro = 1;
    CopiaTestoProva(r.fileParametri, ".\\etc\\kl0.cfg");
    CopiaTestoProva(r.infoStart, "inf");
    std::vector<std::string> v = Componi({"DEBPRO=uno"}, "P", "uno");
    EXPECT_THAT(v, ElementsAre("DEBPRO=uno", "BCOMPR=0", "VELMARSP_START=.\\etc\\kl0.cfg", "CAR_ANNO_FISC=*",
                               COBPATH_SENZA_ANNO, "COBSW=-F-N", "COBDIR=com\\drumal\\bin\\cobol", "TARVOPLUS=TRUE",
                               "INFOSTART=inf", "LNK=C:\\GEST1\\prg\\frm", ::testing::StartsWith("PATH="),
                               "socketComm=1234", "DEBPRO=uno", "QOR_WEB=TEVRA"));

    // kelvatlog6: testo fisso e le variabili V_ in ordine alfabetico, utente un blank.
    InizializzaRichiesta(&r);
    r.avvioSP = 1;
    r.parametriInEnvironment = 1;
    CopiaTestoProva(r.utente, " ");
    CopiaTestoProva(r.applic, "ap");
    CopiaTestoProva(r.config, "cf");
    CopiaTestoProva(r.descpr, "ds");
    CopiaTestoProva(r.operat, "op");
    CopiaTestoProva(r.parpas, "pp");
    CopiaTestoProva(r.progra, "pr");
    CopiaTestoProva(r.studio, "st");
    v = Componi({}, "P", "");
    EXPECT_EQ("VELMARSP_START=VELMARSP_START", v[1]);
    std::vector<std::string> coda(v.end() - 8, v.end());
    EXPECT_THAT(coda, ElementsAre("V_APPLIC=ap", "V_CONFIG=cf", "V_DESCPR=ds", "V_OPERAT=op", "V_PARPAS=pp",
                                  "V_PROGRA=pr", "V_STUDIO=st", "V_UTENTE= "));
    EXPECT_EQ("socketComm=1234", v[v.size() - 9]);

    // Richiesta ordinaria: niente avvio, niente V_, niente INFOSTART, niente QOR_WEB.
    InizializzaRichiesta(&r);
    v = Componi({}, "P");
    EXPECT_EQ(9u, v.size());
    for (const char *assente : {"VELMAR", "INFOSTART=", "V_", "DEBPRO=", "QOR_WEB="})
        for (const std::string &variabile : v)
            EXPECT_THAT(variabile, Not(HasSubstr(assente)));
}

TEST_F(Environment, BloccoPienoLasciaFuoriLeCopiateMaiLeAggiunte)
{
    r.parametriInEnvironment = 1;
    r.avvioSP = 1;
    CopiaTestoProva(r.studio, std::string(255, 's'));
    CopiaTestoProva(r.infoStart, std::string(255, 'i'));
    std::string pathLungo(4999, 'p');
    std::string debproLungo(4999, 'd');
    std::vector<std::string> servizio;
    for (int i = 0; i < 8; i++)
        servizio.push_back("GRANDE" + std::to_string(i) + "=" + std::string(4000, (char)('a' + i)));
    servizio.push_back("PICCOLA=1");

    std::vector<std::string> v = Componi(servizio, pathLungo.c_str(), debproLungo.c_str());
    EXPECT_THAT(v, Contains("PATH=com\\bin;com\\drumal\\bin;com\\drumal\\bin\\cobol;com\\bin\\cpy\\system;"
                            "com\\drumal\\cmd;" + pathLungo));
    EXPECT_THAT(v, Contains("DEBPRO=" + debproLungo));
    EXPECT_THAT(v, Contains("V_STUDIO=" + std::string(255, 's')));
    EXPECT_THAT(v, Contains("PICCOLA=1")); // una piccola dopo una grande che non entra trova posto
    EXPECT_THAT(v, Not(Contains(servizio[7])));
    EXPECT_EQ("GRANDE0=" + std::string(4000, 'a'), v[0]);
    EXPECT_THAT(TestoLogMemoria(), HasSubstr("variabili del servizio lasciate fuori"));
    std::string log = TestoLogMemoria();
    EXPECT_EQ(1, (int)std::count(log.begin(), log.end(), '\n'));

    // Un'area in cui non entrano nemmeno le aggiunte da' un blocco vuoto, senza scrivere oltre.
    SvuotaLogMemoria();
    v = Componi(servizio, "P", nullptr, 0, 300);
    EXPECT_THAT(v, ElementsAre(""));
    EXPECT_THAT(TestoLogMemoria(), HasSubstr("non entrano nel blocco"));
}
