/* tests/service/ListenerWinTest.cpp - il listener vero su loopback, con il log vero accanto al test. */
#include "service/service.h"

#include "tests/finti/ProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <vector>

using ::testing::HasSubstr;

/* Il log del processo di test e quanto vi e' stato scritto da un certo punto in poi. */
static std::string PathLogTest()
{
    return CartellaEseguibile() + "tarnel.log";
}

static size_t FineLog()
{
    return LeggiFile(PathLogTest()).size();
}

static std::string LogDa(size_t inizio)
{
    std::string contenuto = LeggiFile(PathLogTest());
    return inizio < contenuto.size() ? contenuto.substr(inizio) : std::string();
}

class Listener : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA dati;
        ASSERT_EQ(0, WSAStartup(0x0101, &dati));
        share = CartellaNuova("tarnelascolto");
        CreaCartelle(share + "\\GEST1\\prg\\etc");
        ScriviLog("inizio prova\n");  // il log e' aperto: le prove leggono solo cio' che segue
        inizioLog = FineLog();
    }
    void TearDown() override
    {
        RimuoviAlbero(share);
        WSACleanup();
    }
    void Configura(const std::string &contenuto) { ASSERT_TRUE(ScriviFile(share + "\\GEST1\\prg\\etc\\tarnel.cfg", contenuto)); }
    std::string share;
    size_t inizioLog = 0;
};

static int PortaLegata(SocketRete ascolto)
{
    struct sockaddr_in indirizzo;
    int lung = sizeof indirizzo;
    if (getsockname((SOCKET)ascolto, (struct sockaddr *)&indirizzo, &lung) != 0)
        return -1;
    return ntohs(indirizzo.sin_port);
}

TEST_F(Listener, LegaLaPortaDelFileDiConfigurazione)
{
    Configura("SOCKET=" + std::to_string(PortaProva(101)) + "\n");
    SocketRete ascolto = SOCKET_NON_VALIDO;
    const char *passo = "x";
    ASSERT_EQ(1, ApriListener(share.c_str(), "GEST1", &ascolto, &passo));
    EXPECT_EQ(nullptr, passo);
    EXPECT_EQ(PortaProva(101), PortaLegata(ascolto));
    closesocket((SOCKET)ascolto);
    EXPECT_THAT(LogDa(inizioLog), HasSubstr("Nella comunicazione si utilizza la porta socket 21101 letta dal file"));
}

TEST_F(Listener, PortaRifiutataFallisceSenzaNomeDiPasso)
{
    for (const char *valore : {"0", "abc", "70000", "-1"}) {
        SCOPED_TRACE(valore);
        Configura(std::string("SOCKET=") + valore + "\n");
        SocketRete ascolto = 5;
        const char *passo = "x";
        EXPECT_EQ(0, ApriListener(share.c_str(), "GEST1", &ascolto, &passo));
        EXPECT_EQ(nullptr, passo);
        EXPECT_EQ(SOCKET_NON_VALIDO, ascolto);
        EXPECT_THAT(LogDa(inizioLog), HasSubstr(std::string("La porta socket \"") + valore + "\" specificata"));
    }
}

TEST_F(Listener, PortaOccupataFallisceSulBindConIlSuoCodice)
{
    const int porta = PortaProva(102);
    Configura("SOCKET=" + std::to_string(porta) + "\n");
    SOCKET occupante = OccupaPorta(porta);
    ASSERT_NE(INVALID_SOCKET, occupante);

    SocketRete ascolto = SOCKET_NON_VALIDO;
    const char *passo = NULL;
    EXPECT_EQ(0, ApriListener(share.c_str(), "GEST1", &ascolto, &passo));
    DWORD codice = GetLastError();
    ASSERT_STREQ("bind", passo);
    // Windows risponde 10048, questo Wine 10013: conta che il codice sia quello del bind.
    EXPECT_TRUE(codice == WSAEADDRINUSE || codice == WSAEACCES) << codice;
    ScriviLogErrore("%s", passo);
    EXPECT_THAT(LogDa(inizioLog), HasSubstr(": bind: errore " + std::to_string(codice) + ": "));
    closesocket(occupante);
}

TEST_F(Listener, ListenRifiutatoSiRegistraESiEsce)
{
    SOCKET nonLegato = socket(AF_INET, SOCK_STREAM, 0);
    CicloAccept((SocketRete)nonLegato, NULL);
    EXPECT_THAT(LogDa(inizioLog), HasSubstr(": listen: errore "));
    closesocket(nonLegato);
}

/* Connessioni concorrenti: ogni thread di connessione attende che tutti gli altri siano partiti,
 * cosa possibile solo se ognuno ha un thread suo; poi manda al client il proprio id di thread. */
static std::atomic<int> connessioniAttive{0};
static int connessioniAttese = 0;
static HANDLE tuttiPresenti = NULL;

/* La riserva di stack del thread corrente: tutte le regioni della stessa allocazione dello stack. */
static DWORD RiservaStack()
{
    MEMORY_BASIC_INFORMATION memoria;
    VirtualQuery(&memoria, &memoria, sizeof memoria);
    char *base = (char *)memoria.AllocationBase;
    char *regione = base;
    DWORD totale = 0;
    while (VirtualQuery(regione, &memoria, sizeof memoria) == sizeof memoria && memoria.AllocationBase == base) {
        totale += (DWORD)memoria.RegionSize;
        regione += memoria.RegionSize;
    }
    return totale;
}

static void ConnessioneDiProva(SocketRete parametro, EsitoConversazione *)
{
    SOCKET client = (SOCKET)parametro;
    if (++connessioniAttive == connessioniAttese)
        SetEvent(tuttiPresenti);
    WaitForSingleObject(tuttiPresenti, 10000);
    DWORD id = GetCurrentThreadId();
    DWORD riserva = RiservaStack();
    DWORD risposta[2] = {id, riserva};
    send(client, (const char *)risposta, sizeof risposta, 0);
    closesocket(client);
}

struct AvvioCiclo {
    SocketRete ascolto;
    ProceduraConnessione procedura;
};

static DWORD WINAPI EseguiCiclo(LPVOID parametro)
{
    CicloAccept(((AvvioCiclo *)parametro)->ascolto, ((AvvioCiclo *)parametro)->procedura);
    return 0;
}

/* Apre il listener su una porta di prova e fa girare CicloAccept su un thread. */
class CicloAcceptProva : public Listener {
protected:
    void Avvia(int porta, int attese, const std::string &regole = "")
    {
        connessioniAttive = 0;
        connessioniAttese = attese;
        tuttiPresenti = CreateEventA(NULL, TRUE, FALSE, NULL);
        Configura("SOCKET=" + std::to_string(porta) + "\n" + regole);
        const char *passo = NULL;
        ASSERT_EQ(1, ApriListener(share.c_str(), "GEST1", &avvio.ascolto, &passo));
        ciclo = CreateThread(NULL, 0, EseguiCiclo, &avvio, 0, &idCiclo);
        ASSERT_NE(nullptr, ciclo);
        // Il listen avviene nel thread del ciclo: prima di allora un connect verrebbe rifiutato.
        BOOL inAscolto = FALSE;
        for (int i = 0; i < 500 && !inAscolto; i++) {
            int lung = sizeof inAscolto;
            getsockopt((SOCKET)avvio.ascolto, SOL_SOCKET, SO_ACCEPTCONN, (char *)&inAscolto, &lung);
            if (!inAscolto)
                Sleep(10);
        }
        ASSERT_TRUE(inAscolto);
    }
    /* Chiudere il socket di ascolto fa fallire accept: il ciclo registra la fine e ritorna. */
    void Ferma()
    {
        closesocket((SOCKET)avvio.ascolto);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ciclo, 10000));
        CloseHandle(ciclo);
        CloseHandle(tuttiPresenti);
        EXPECT_THAT(LogDa(inizioLog), HasSubstr(": CicloAccept - il listener non accetta piu' connessioni: il servizio "
                                                "termina per essere riavviato\r\n"));
    }
    AvvioCiclo avvio{SOCKET_NON_VALIDO, ConnessioneDiProva};
    HANDLE ciclo = NULL;
    DWORD idCiclo = 0;
};

/* Riceve le due parole che manda ConnessioneDiProva; false se non arrivano intere. */
static bool RiceviRisposta(SOCKET client, DWORD risposta[2])
{
    int letti = 0;
    DWORD timeout = 15000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, (const char *)&timeout, sizeof timeout);
    while (letti < 8) {
        int n = recv(client, (char *)risposta + letti, 8 - letti, 0);
        if (n <= 0)
            return false;
        letti += n;
    }
    return true;
}

TEST_F(CicloAcceptProva, OgniConnessioneHaUnThreadSuoConStackRidotto)
{
    const int numClient = 8;
    Avvia(PortaProva(103), numClient);
    std::vector<SOCKET> client;
    for (int i = 0; i < numClient; i++) {
        client.push_back(ConnettiLoopback(PortaProva(103)));
        ASSERT_NE(INVALID_SOCKET, client.back());
    }
    std::set<DWORD> thread;
    for (SOCKET c : client) {
        DWORD risposta[2];
        ASSERT_TRUE(RiceviRisposta(c, risposta));
        thread.insert(risposta[0]);
        // Windows riserva esattamente quanto chiesto; Wine non riserva mai meno di 1 MiB. Senza la
        // riserva esplicita il thread avrebbe quella dell'eseguibile, 2 MiB.
        EXPECT_GE(risposta[1], (DWORD)DIM_STACK_CONNESSIONE);
        EXPECT_LE(risposta[1], (DWORD)std::max(DIM_STACK_CONNESSIONE, 1024 * 1024));
        closesocket(c);
    }
    EXPECT_EQ((size_t)numClient, thread.size());
    EXPECT_EQ(0u, thread.count(idCiclo));
    Ferma();
}

TEST_F(CicloAcceptProva, LaConnessioneSeguenteVaAlThreadRimastoLibero)
{
    Avvia(PortaProva(106), 1);
    DWORD thread[2] = {0, 0};
    for (DWORD &id : thread) {
        SOCKET c = ConnettiLoopback(PortaProva(106));
        DWORD risposta[2];
        ASSERT_TRUE(RiceviRisposta(c, risposta));
        id = risposta[0];
        closesocket(c);
        Sleep(200); // il thread torna libero dopo la sua conversazione
    }
    EXPECT_EQ(thread[0], thread[1]);
    Ferma();
}

TEST_F(CicloAcceptProva, RafficaDiCinquantaClientServitiSubito)
{
    const int numClient = 50;
    Avvia(PortaProva(104), numClient);
    std::vector<SOCKET> client;
    DWORD inizio = GetTickCount();
    // Tutti i connect partono insieme, senza attendere l'accept dei precedenti.
    for (int i = 0; i < numClient; i++) {
        SOCKET c = socket(AF_INET, SOCK_STREAM, 0);
        u_long nonBloccante = 1;
        ioctlsocket(c, FIONBIO, &nonBloccante);
        struct sockaddr_in indirizzo;
        ZeroMemory(&indirizzo, sizeof indirizzo);
        indirizzo.sin_family = AF_INET;
        indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        indirizzo.sin_port = htons(PortaProva(104));
        connect(c, (struct sockaddr *)&indirizzo, sizeof indirizzo);
        client.push_back(c);
    }
    int serviti = 0;
    for (SOCKET c : client) {
        fd_set scrivibili;
        FD_ZERO(&scrivibili);
        FD_SET(c, &scrivibili);
        struct timeval attesa = {10, 0};
        select(0, NULL, &scrivibili, NULL, &attesa);
        u_long bloccante = 0;
        ioctlsocket(c, FIONBIO, &bloccante);
        DWORD risposta[2];
        if (RiceviRisposta(c, risposta))
            serviti++;
        closesocket(c);
    }
    DWORD durata = GetTickCount() - inizio;
    EXPECT_EQ(numClient, serviti);
    EXPECT_LT(durata, 5000u);
    RecordProperty("millisecondi", (int)durata);
    Ferma();
}
