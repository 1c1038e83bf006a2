/* tests/launch/AttivazioneClientWinTest.cpp - il thread di connessione vero, con lo stack che gli
 * riserva il listener, su socket di loopback: risposta di versione, avvio del runtime di prova con
 * riga di comando, cartella e ambiente, socket ereditato solo dal suo runtime, stack misurato. */
#include "launch/launch.h"

#include "service/service.h"
#include "tests/finti/SocketProva.h"
#include "tests/launch/AmbienteProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <malloc.h>
#include <string.h>
#include <string>

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

#define VERNICE 0xCD
#define DIM_VERNICIATA (DIM_STACK_CONNESSIONE - 32 * 1024)

static volatile uint8_t *fondoVerniciato = NULL;
static size_t bisognoMisurato = 0;

/* Vernicia lo stack sotto il chiamante; alloca tocca le pagine in ordine, impegnandole. */
static void __attribute__((noinline)) VerniciaStack(void)
{
    volatile uint8_t *area = (volatile uint8_t *)alloca(DIM_VERNICIATA);
    memset((void *)area, VERNICE, DIM_VERNICIATA);
    /* Senza questa barriera il compilatore toglie la memset su un'area che nessuno rilegge. */
    __asm__ __volatile__("" : : "r"(area) : "memory");
    fondoVerniciato = area;
}

/* Una connessione con il suo thread di servizio, che consegna l'esito come al listener. */
struct Connessione {
    SocketRete client = SOCKET_NON_VALIDO;
    SocketRete servizio = SOCKET_NON_VALIDO;
    HANDLE thread = NULL;
    StatoCifratura stato = {};
    EsitoConversazione esito = {};
    bool misura = false;

    /* Thread come quelli del listener; con misura vernicia lo stack e misura fin dove e' sceso. */
    static DWORD WINAPI Servi(LPVOID parametro)
    {
        Connessione *c = (Connessione *)parametro;
        volatile uint8_t cima = 0;
        if (c->misura)
            VerniciaStack();
        AttivazioneClient(c->servizio, &c->esito);
        const volatile uint8_t *letto = fondoVerniciato;
        while (c->misura && letto < &cima && *letto == VERNICE)
            letto++;
        if (c->misura)
            bisognoMisurato = (size_t)(&cima - letto);
        return 0;
    }
    bool Apri(bool misuraStack = false)
    {
        misura = misuraStack;
        if (!CoppiaConnessa(&client, &servizio))
            return false;
        thread = CreateThread(NULL, DIM_STACK_CONNESSIONE, Servi, this, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
        return thread != NULL;
    }
    /* Scambio chiavi, richiesta e risposta; rende la risposta ("" se non arriva). */
    std::string Richiedi(int inChiaro, const std::string &corpo)
    {
        std::string copia = corpo;
        uint8_t area[DIM_AREA_MESSAGGIO];
        int lung = 0;
        scambioChiaviCliente(client, &stato, inChiaro);
        if (inChiaro)
            invioBufferInChiaro(client, (uint8_t *)&copia[0], (int)copia.size());
        else
            invioBuffer(client, &stato, (uint8_t *)&copia[0], (int)copia.size());
        int ricevuto = inChiaro ? ricezioneBufferInChiaro(client, area, sizeof area, &lung)
                             : ricezioneBuffer(client, &stato, area, sizeof area, &lung);
        return ricevuto == ESITO_FATTO ? std::string((const char *)area, (size_t)lung) : "";
    }
    /* Attende la fine del thread; rende il tipo dell'esito consegnato (-1 se non finisce). */
    int Fine()
    {
        int tipo = -1;
        if (thread != NULL && WaitForSingleObject(thread, 15000) == WAIT_OBJECT_0)
            tipo = esito.tipo;
        if (thread != NULL)
            CloseHandle(thread);
        thread = NULL;
        return tipo;
    }
    ~Connessione()
    {
        Fine();
        ChiudiSocketProva(client);
    }
};

class Attivazione : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(AvviaReteProva());
        ambiente.Crea("LNC2102");
        contatoreFileParametri = 0;
        SetEnvironmentVariableA("RUNTIME_ATTESA_MS", "20000");
        SetEnvironmentVariableA("DEBPRO", "dbg");
        SetEnvironmentVariableA("SocketComm", "vecchio");
        inizioLog = FineLog();
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("DEBPRO", NULL);
        SetEnvironmentVariableA("SocketComm", NULL);
        SetCurrentDirectoryA("C:\\");
        Sleep(200);
        RimuoviAlbero("C:\\LNC2102");
    }
    /* Il rapporto del runtime che ha salutato con la riga "RUNTIME <nome> <pid>". */
    std::string RapportoDelSaluto(const std::string &saluto)
    {
        char nome[64] = "";
        unsigned long pid = 0;
        if (sscanf(saluto.c_str(), "RUNTIME %63s %lu", nome, &pid) != 2)
            return "";
        return LeggiFile(ambiente.bin + "\\" + nome + "." + std::to_string(pid) + ".txt");
    }
    AmbienteProva ambiente;
    size_t inizioLog = 0;
};

TEST_F(Attivazione, VersioneDallaRisorsaDellEseguibile)
{
    char versione[DIM_VERSIONE] = "x";
    LeggiVersioneEseguibile(PathDaLinux(PATH_RUNTIME_PROVA).c_str(), versione, sizeof versione);
    EXPECT_STREQ("01.02.03.104", versione);
    // L'eseguibile dei test non ha versione: la risposta e' vuota e la connessione si chiude.
    LeggiVersioneServizio();
    EXPECT_STREQ("", versioneServizio);
    Connessione c;
    ASSERT_TRUE(c.Apri());
    EXPECT_NE("", c.Richiedi(0, Corpo(Testa("sysadmin"))));
    bool chiusa = false;
    EXPECT_EQ("", RiceviTutto((SOCKET)c.client, 5000, &chiusa));
    EXPECT_TRUE(chiusa);
    EXPECT_EQ(CONVERSAZIONE_VERSIONE_INVIATA, c.Fine());
    EXPECT_TRUE(Rapporti(ambiente.bin, "trimox3.exe").empty());
}

TEST_F(Attivazione, RuntimeGiustoConRigaCartellaEAmbiente)
{
    struct {
        int inChiaro;
        bool visual;
        std::vector<std::string> campi;
        const char *runtime;
        std::vector<std::string> presenti;
    } casi[] = {
        {1, false, Kelvatlog56("cmd/unix/kelvatlog5", 15), "trimox4.exe",
         {"VELMARSP_START=.\\etc\\kl0.cfg", "CAR_ANNO_FISC=b", "INFOSTART=info", "QOR_WEB=TEVRA",
          "COBDIR=com\\drumal\\bin\\cobol"}},
        {0, true, Kelvatlog3("2019"), "trimox3_vc.exe",
         {"VELMAR_START=.\\etc\\kl1.cfg", "PRODOTTO_VELMAR=PROD", "CAR_ANNO_FISC=9", "COBDIR=com\\drumal\\bin\\cobol_vc"}},
        {1, true, Kelvatlog56("cmd/unix/kelvatlog6", 12), "trimox4_vc.exe",
         {"VELMARSP_START=VELMARSP_START", "V_UTENTE= ", "V_STUDIO=st", "QOR_WEB=TEVRA"}},
        {0, false, Testa("PROG", "S"), "trimox3.exe", {"BCOMPR=1", "CAR_ANNO_FISC=*"}},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.runtime);
        if (caso.visual)
            ScriviFile(ambiente.etc + "\\cobol_vc.cfg", "");
        else
            DeleteFileA((ambiente.etc + "\\cobol_vc.cfg").c_str());
        Connessione c;
        ASSERT_TRUE(c.Apri());
        ASSERT_NE("", c.Richiedi(caso.inChiaro, Corpo(caso.campi)));
        std::string saluto = RiceviRiga((SOCKET)c.client, 10000);
        EXPECT_EQ(CONVERSAZIONE_RUNTIME_AVVIATO, c.Fine());
        EXPECT_STREQ(caso.runtime, c.esito.eseguibile);
        EXPECT_EQ(std::string("RUNTIME ") + caso.runtime + " " + std::to_string(c.esito.processo) + "\n", saluto);
        // Il dialogo passa per il socket ereditato; la fine del runtime chiude la connessione.
        send((SOCKET)c.client, "ciao", 4, 0);
        ChiudiInvioProva(c.client);
        bool chiusa = false;
        EXPECT_EQ("ciao", RiceviTutto((SOCKET)c.client, 10000, &chiusa));
        EXPECT_TRUE(chiusa);

        std::string rapporto = RapportoDelSaluto(saluto);
        EXPECT_EQ(ambiente.bin + "\\" + caso.runtime + " kelvat32", RigaRapporto(rapporto, "comando"));
        EXPECT_EQ(ambiente.prg, RigaRapporto(rapporto, "cartella"));
        std::vector<std::string> variabili = AmbienteRapporto(rapporto);
        for (const std::string &presente : caso.presenti)
            EXPECT_THAT(variabili, Contains(presente));
        EXPECT_THAT(variabili, Contains("LNK=" + ambiente.radice + "\\prg\\frm"));
        EXPECT_THAT(variabili, Not(Contains("SocketComm=vecchio")));
        EXPECT_EQ(1, (int)std::count_if(variabili.begin(), variabili.end(), [](const std::string &v) {
                      return v.compare(0, 11, "socketComm=") == 0;
                  }));
        EXPECT_EQ(2, (int)std::count(variabili.begin(), variabili.end(), "DEBPRO=dbg"));
        if (!caso.inChiaro) {
            EXPECT_THAT(variabili, Not(Contains("QOR_WEB=TEVRA")));
        }
    }
    std::string log = LogDa(inizioLog);
    EXPECT_THAT(log, HasSubstr("Attivazione applicativo comando = " + ambiente.bin + "\\trimox4.exe kelvat32 \n"));
    EXPECT_THAT(log, HasSubstr("Il COBOL installato e' il Visual COBOL\n"));
}

TEST_F(Attivazione, OgniRuntimeEreditaSoloIlSuoSocket)
{
    // B aspetta in silenzio mentre A avvia il suo runtime, che resta vivo.
    Connessione b;
    ASSERT_TRUE(b.Apri());
    Connessione a;
    ASSERT_TRUE(a.Apri());
    ASSERT_NE("", a.Richiedi(1, Corpo(Testa("PROG"))));
    std::string saluto = RiceviRiga((SOCKET)a.client, 10000);
    ASSERT_EQ(0u, saluto.find("RUNTIME trimox4.exe ")) << saluto;
    EXPECT_EQ(CONVERSAZIONE_RUNTIME_AVVIATO, a.Fine());

    // B fallisce la negoziazione: il servizio chiude il suo socket e il client B vede la fine subito,
    // perche' il runtime di A non ne tiene una copia.
    StatoCifratura stato = {};
    ASSERT_EQ(ESITO_IN_CHIARO, scambioChiaviCliente(b.client, &stato, 1));
    invioBufferInChiaro(b.client, (const uint8_t *)"00003abc00000", 13);
    bool chiusa = false;
    EXPECT_EQ("", RiceviTutto((SOCKET)b.client, 5000, &chiusa));
    EXPECT_TRUE(chiusa);
    EXPECT_EQ(CONVERSAZIONE_RIFIUTATA, b.Fine());

    // A e' ancora servito dal suo runtime, e vede la fine quando il runtime finisce.
    send((SOCKET)a.client, "eco", 3, 0);
    ChiudiInvioProva(a.client);
    EXPECT_EQ("eco", RiceviTutto((SOCKET)a.client, 10000, &chiusa));
    EXPECT_TRUE(chiusa);
}

TEST_F(Attivazione, RuntimeCheNonParteChiudeLaConnessioneInterrotta)
{
    ASSERT_TRUE(DeleteFileA((ambiente.bin + "\\trimox4.exe").c_str()));
    Connessione c;
    ASSERT_TRUE(c.Apri());
    ASSERT_NE("", c.Richiedi(1, Corpo(Testa("PROG"))));
    bool chiusa = false;
    EXPECT_EQ("", RiceviTutto((SOCKET)c.client, 5000, &chiusa));
    EXPECT_TRUE(chiusa);
    EXPECT_EQ(CONVERSAZIONE_INTERROTTA, c.Fine());
    EXPECT_THAT(LogDa(inizioLog), HasSubstr("CreateProcess: \"" + ambiente.bin + "\\trimox4.exe kelvat32\""));
}

TEST_F(Attivazione, AvviiContemporaneiConFileDistinti)
{
    const int quanti = 20;
    std::vector<Connessione> connessioni(quanti);
    for (Connessione &c : connessioni)
        ASSERT_TRUE(c.Apri());
    std::vector<std::string> file;
    for (Connessione &c : connessioni) {
        ASSERT_NE("", c.Richiedi(1, Corpo(Kelvatlog56("cmd/unix/kelvatlog5", 14))));
    }
    for (Connessione &c : connessioni) {
        std::string saluto = RiceviRiga((SOCKET)c.client, 10000);
        EXPECT_EQ(CONVERSAZIONE_RUNTIME_AVVIATO, c.Fine());
        std::string rapporto = RapportoDelSaluto(saluto);
        EXPECT_EQ(ambiente.prg, RigaRapporto(rapporto, "cartella"));
        for (const std::string &v : AmbienteRapporto(rapporto))
            if (v.compare(0, 15, "VELMARSP_START=") == 0)
                file.push_back(v.substr(15));
        ChiudiInvioProva(c.client);
    }
    std::vector<std::string> attesi;
    for (int i = 0; i < quanti; i++)
        attesi.push_back(".\\etc\\kl" + std::to_string(i) + ".cfg");
    std::sort(file.begin(), file.end());
    std::sort(attesi.begin(), attesi.end());
    EXPECT_EQ(attesi, file);
    for (int i = 0; i < quanti; i++)
        EXPECT_EQ(0u, LeggiFile(ambiente.etc + "\\kl" + std::to_string(i) + ".cfg").find("UTENTE=\r\nPROGRA=pr\r\n")) << i;
    for (Connessione &c : connessioni)
        RiceviTutto((SOCKET)c.client, 10000);
}

TEST_F(Attivazione, MetaStackDiMargineSuOgniPercorso)
{
    struct {
        const char *percorso;
        std::string corpo;
        int esito;
    } casi[] = {
        {"versione", Corpo(Testa("sysadmin")), CONVERSAZIONE_VERSIONE_INVIATA},
        {"avvio", Corpo(Kelvatlog56("cmd/unix/kelvatlog6", 14)), CONVERSAZIONE_RUNTIME_AVVIATO},
        {"rifiutata", "00003abc00000", CONVERSAZIONE_RIFIUTATA},
    };
    size_t bisogno = 0;
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.percorso);
        Connessione c;
        ASSERT_TRUE(c.Apri(true));
        c.Richiedi(1, caso.corpo);
        EXPECT_EQ(caso.esito, c.Fine());
        bisogno = std::max(bisogno, bisognoMisurato);
        ChiudiInvioProva(c.client);
        RiceviTutto((SOCKET)c.client, 10000);
    }
    printf("bisogno di stack misurato: %u byte (riserva %u)\n", (unsigned)bisogno, (unsigned)DIM_STACK_CONNESSIONE);
    RecordProperty("bisognoStack", (int)bisogno);
    EXPECT_GT(bisogno, (size_t)DIM_BLOCCO_ENVIRONMENT); // la misura vede almeno il blocco d'ambiente
    EXPECT_LE(2 * bisogno, (size_t)DIM_STACK_CONNESSIONE);
}
