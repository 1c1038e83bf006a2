/* tests/launch/LancioClienteWinTest.cpp - da capo a fondo sotto Wine: il listener vero nel processo
 * di test (ApriListener e CicloAccept con AttivazioneClient), un ambiente di prova C:\E2ECLI (e il
 * suo duplicato C:\E2EDUP) con il runtime di prova installato come trimox*.exe, kvix32a.exe e
 * updqorservice.exe, e connessioni vere fatte dal client Windows clientegrafico.exe avviato come
 * processo. Si controllano la risposta, il file dei parametri, la riga di comando, la cartella e
 * l'ambiente che ogni runtime ha registrato nel suo rapporto, gli avvisi e i rifiuti. */
#include "install/install.h"
#include "launch/launch.h"
#include "service/service.h"

#include "tests/finti/ClienteWin.h"
#include "tests/finti/PassiSalvati.h"
#include "tests/finti/ProvaWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include <windows.h>

namespace {

const char RADICE[] = "C:\\E2ECLI";
const char DUPLICATO[] = "C:\\E2EDUP";
const char BIN[] = "C:\\E2ECLI\\prg\\com\\drumal\\bin";
const char USCITE[] = "C:\\E2ECLI-uscite";

const char TESTO_SERVIZIO[] = "E' in corso l'aggiornamento del servizio di attivazione applicativi QOR:\\x0A"
                              "attendere alcuni istanti e ritentare la connessione";
const char TESTO_APPLICATIVO[] = "La procedura di aggiornamento e' in corso oppure l'ultimo aggiornamento eseguito "
                                 "ha generato errori. Attendere alcuni istanti e ritentare la connessione.";

/* Codici d'uscita del client (il suo testo d'uso li elenca). */
enum { FATTO = 0, RIFIUTATA = 5, NON_VALIDA = 7, AGG_APPLICATIVO = 8, AGG_SERVIZIO = 9, NON_AVVIATO = 10 };

int Porta()
{
    return PortaProva(2201);
}

Cliente AvviaCliente(const std::string &argomenti)
{
    return AvviaClienteGrafico(PATH_CLIENTEGRAFICO, Porta(), USCITE, argomenti);
}

EsitoCliente EseguiCliente(const std::string &argomenti)
{
    Cliente cliente = AvviaCliente(argomenti);
    return AttendiCliente(cliente);
}

/* Il rapporto di un runtime di prova: riga di comando, cartella corrente, handle ereditati che
 * possono essere socket, blocco d'ambiente. */
struct Rapporto {
    bool letto = false;
    std::string comando, cartella, ereditati;
    std::vector<std::string> ambiente;
};

Rapporto LeggiRapporto(const std::string &path)
{
    Rapporto rapporto;
    std::string testo = LeggiFile(path);
    size_t fineComando = testo.find('\n');
    size_t fineCartella = fineComando == std::string::npos ? fineComando : testo.find('\n', fineComando + 1);
    size_t inizioAmbiente = fineCartella == std::string::npos ? fineCartella : testo.find("ambiente=\n", fineCartella);
    if (testo.compare(0, 8, "comando=") != 0 || inizioAmbiente == std::string::npos)
        return rapporto;
    rapporto.comando = testo.substr(8, fineComando - 8);
    rapporto.cartella = testo.substr(fineComando + 1 + 9, fineCartella - fineComando - 1 - 9);
    if (testo.compare(fineCartella + 1, 10, "ereditati=") == 0)
        rapporto.ereditati = testo.substr(fineCartella + 11, inizioAmbiente - 1 - fineCartella - 11);
    for (size_t pos = inizioAmbiente + 10; pos < testo.size() && testo[pos] != '\0';) {
        size_t fine = testo.find('\0', pos);
        if (fine == std::string::npos)
            break;
        rapporto.ambiente.push_back(testo.substr(pos, fine - pos));
        pos = fine + 1;
    }
    rapporto.letto = true;
    return rapporto;
}

/* Il rapporto del runtime che ha salutato il client: "RUNTIME <nome> <pid>" nell'uscita. */
Rapporto RapportoDelRuntime(const EsitoCliente &esito, const std::string &cartellaBin, std::string *nome = nullptr)
{
    std::smatch trovato;
    static const std::regex saluto("dopo: RUNTIME ([a-z0-9_.]+) ([0-9]+)");
    if (!std::regex_search(esito.uscita, trovato, saluto))
        return Rapporto();
    if (nome != nullptr)
        *nome = trovato[1];
    return LeggiRapporto(cartellaBin + "\\" + trovato[1].str() + "." + trovato[2].str() + ".txt");
}

/* Valore di una variabile del blocco (nome esatto), "<assente>" se manca. */
std::string Variabile(const Rapporto &rapporto, const std::string &nome)
{
    for (const std::string &voce : rapporto.ambiente)
        if (voce.compare(0, nome.size() + 1, nome + "=") == 0)
            return voce.substr(nome.size() + 1);
    return "<assente>";
}

/* Quante variabili hanno quel nome, maiuscole e minuscole indifferenti. */
int Conta(const Rapporto &rapporto, std::string nome)
{
    int n = 0;
    std::transform(nome.begin(), nome.end(), nome.begin(), ::tolower);
    for (std::string voce : rapporto.ambiente) {
        std::transform(voce.begin(), voce.end(), voce.begin(), ::tolower);
        n += voce.compare(0, nome.size() + 1, nome + "=") == 0;
    }
    return n;
}

/* Wine mette in coda al blocco d'ambiente di ogni processo che avvia le sue variabili. */
bool AggiuntaDiWine(const std::string &nome)
{
    return nome.compare(0, 4, "WINE") == 0 || nome == "SystemDrive" || nome == "SystemRoot";
}

/* I nomi delle variabili dalla prima che si chiama primo in poi, senza le aggiunte di Wine. */
std::vector<std::string> NomiDa(const Rapporto &rapporto, const std::string &primo)
{
    std::vector<std::string> nomi;
    for (const std::string &voce : rapporto.ambiente) {
        std::string nome = voce.substr(0, voce.find('='));
        if ((nome == primo || !nomi.empty()) && !AggiuntaDiWine(nome))
            nomi.push_back(nome);
    }
    return nomi;
}

/* I rapporti di un programma di prova (per nome, nella cartella data). */
std::vector<std::string> RapportiDi(const std::string &cartella, const std::string &nome)
{
    std::vector<std::string> paths;
    WIN32_FIND_DATAA dati;
    HANDLE ricerca = FindFirstFileA((cartella + "\\" + nome + ".*.txt").c_str(), &dati);
    if (ricerca == INVALID_HANDLE_VALUE)
        return paths;
    do
        paths.push_back(cartella + "\\" + dati.cFileName);
    while (FindNextFileA(ricerca, &dati));
    FindClose(ricerca);
    return paths;
}

void CancellaRapporti(const std::string &cartella, const std::string &nome)
{
    for (const std::string &path : RapportiDi(cartella, nome))
        DeleteFileA(path.c_str());
}

/* Attende fino a 10 s che compaia un rapporto del programma. */
std::vector<std::string> AttendiRapporti(const std::string &cartella, const std::string &nome)
{
    for (int i = 0; i < 100; i++) {
        std::vector<std::string> paths = RapportiDi(cartella, nome);
        if (!paths.empty())
            return paths;
        Sleep(100);
    }
    return {};
}

bool Esiste(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

/* Il file dei parametri che il runtime ha ricevuto in VELMAR_START o VELMARSP_START, letto dalla
 * cartella etc del primo ambiente. */
std::string FileParametri(const std::string &nomeRelativo)
{
    if (nomeRelativo.compare(0, 2, ".\\") != 0)
        return "<nome non relativo: " + nomeRelativo + ">";
    return LeggiFile(std::string(RADICE) + "\\prg\\" + nomeRelativo.substr(2));
}

DWORD WINAPI Ascolta(LPVOID ascolto)
{
    CicloAccept((SocketRete)(uintptr_t)ascolto, AttivazioneClient);
    return 0;
}

/* Installa un albero d'ambiente con i programmi di prova. */
void InstallaAmbiente(const std::string &radice, const std::string &cfg)
{
    std::string bin = radice + "\\prg\\com\\drumal\\bin";
    CreaCartelle(bin);
    CreaCartelle(radice + "\\prg\\etc");
    for (const char *nome : {"trimox3.exe", "trimox4.exe", "trimox3_vc.exe", "trimox4_vc.exe", "kvix32a.exe",
                             "updqorservice.exe"})
        CopyFileA(PathDaLinux(PATH_RUNTIME_PROVA).c_str(), (bin + "\\" + nome).c_str(), FALSE);
    if (!cfg.empty())
        ScriviFile(radice + "\\prg\\etc\\tarnel.cfg", cfg);
}

class LancioCliente : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        RimuoviAlbero(RADICE);
        RimuoviAlbero(DUPLICATO);
        RimuoviAlbero(USCITE);
        CreaCartelle(USCITE);
        InstallaAmbiente(RADICE, "SOCKET=" + std::to_string(Porta()) + "\r\n");
        InstallaAmbiente(DUPLICATO, "");
        RiempiTabella();
        LeggiVersioneServizio();
        SocketRete ascolto = SOCKET_NON_VALIDO;
        const char *passo = NULL;
        listenerPronto = ApriListener("C:\\", "E2ECLI", &ascolto, &passo) != 0;
        if (listenerPronto)
            CloseHandle(CreateThread(NULL, 0, Ascolta, (LPVOID)(uintptr_t)ascolto, 0, NULL));
    }
    /* Il listener resta nel processo: il suo thread non ha fine, come nel servizio. */

    static void RiempiTabella()
    {
        memset(&TabellaInfoInstallazione, 0, sizeof TabellaInfoInstallazione);
        TabellaInfoInstallazione.numAmbienti = 2;
        InfoAmbiente *linea = &TabellaInfoInstallazione.ambienti[0];
        CopiaTesto(linea->drive, sizeof linea->drive, "C");
        CopiaTesto(linea->sistInfo, sizeof linea->sistInfo, "E2ECLI");
        CopiaTesto(linea->strPathShare, sizeof linea->strPathShare, "C:\\");
        InfoAmbiente *duplicato = &TabellaInfoInstallazione.ambienti[1];
        CopiaTesto(duplicato->drive, sizeof duplicato->drive, DUPLICATO);
        CopiaTesto(duplicato->sistInfo, sizeof duplicato->sistInfo, "E2EDUP");
        CopiaTesto(duplicato->strPathShare, sizeof duplicato->strPathShare, "C:\\");
    }

    void SetUp() override
    {
        ASSERT_TRUE(listenerPronto) << "listener sulla porta " << Porta() << " non aperto";
        RiempiTabella(); /* altre prove dello stesso processo possono averla cambiata */
    }

    static bool listenerPronto;
};

bool LancioCliente::listenerPronto = false;

/* La versione che il servizio deve dare: quella dell'eseguibile del processo, o nulla. */
std::string VersioneAttesa()
{
    char path[MAX_PATH];
    DWORD ignorato = 0;
    GetModuleFileNameA(NULL, path, sizeof path);
    DWORD dim = GetFileVersionInfoSizeA(path, &ignorato);
    if (dim == 0)
        return "";
    std::vector<char> dati(dim);
    VS_FIXEDFILEINFO *fissa = NULL;
    UINT lung = 0;
    if (!GetFileVersionInfoA(path, 0, dim, dati.data()) ||
        !VerQueryValueA(dati.data(), "\\", (LPVOID *)&fissa, &lung) || lung == 0)
        return "";
    char testo[80];
    snprintf(testo, sizeof testo, "%02u.%02u.%02u.%02u", (unsigned)HIWORD(fissa->dwFileVersionMS),
             (unsigned)LOWORD(fissa->dwFileVersionMS), (unsigned)HIWORD(fissa->dwFileVersionLS),
             (unsigned)LOWORD(fissa->dwFileVersionLS));
    return testo;
}

/* Una richiesta di versione, nel modo dato: la risposta e poi il testo (o nulla e la chiusura). */
void VerificaVersione(bool inChiaro)
{
    EsitoCliente esito = EseguiCliente(std::string(inChiaro ? "--in-chiaro " : "") + "versione");
    std::string codice = inChiaro ? "0101" : "0109";
    EXPECT_EQ(0u, esito.uscita.find("campo 0: " + codice + "\ncampo 1: \ncampo 2: \ncampo 3: N\ncampo 4: sysadmin\n"))
        << esito.uscita << esito.errore;
    std::string versione = VersioneAttesa();
    if (versione.empty()) {
        EXPECT_EQ(NON_VALIDA, esito.codice) << esito.errore;
        EXPECT_NE(std::string::npos, esito.errore.find("senza mandare la versione")) << esito.errore;
    } else {
        EXPECT_EQ(FATTO, esito.codice) << esito.errore;
        EXPECT_NE(std::string::npos, esito.uscita.find("versione: " + versione + "\n")) << esito.uscita;
    }
}

TEST_F(LancioCliente, VersioneInChiaroECifrata)
{
    VerificaVersione(true);
    VerificaVersione(false);
}

const char PATH_ATTESO[] = "com\\bin;com\\drumal\\bin;com\\drumal\\bin\\cobol;com\\bin\\cpy\\system;com\\drumal\\cmd;";

TEST_F(LancioCliente, Kelvatlog3FileDeiParametriRuntimeCartellaEAmbiente)
{
    SetEnvironmentVariableA("cobsw", "da-togliere");
    EsitoCliente esito = EseguiCliente("--attesa 0.5 kelvatlog3 --prodotto PRD3 --studio ST3 --operat OP3 "
                                       "--applic AP3 --progra PR3 --parpas PP3 --anno 2024 --config CF3");
    SetEnvironmentVariableA("cobsw", NULL);
    ASSERT_EQ(FATTO, esito.codice) << esito.errore;
    EXPECT_EQ(0u, esito.uscita.find("campo 0: 0109\ncampo 1: \ncampo 2: \ncampo 3: N\n"
                                    "campo 4: cmd/unix/kelvatlog3\ncampo 5: PRD3\ncampo 6: ST3\ncampo 7: OP3\n"
                                    "campo 8: AP3\ncampo 9: PR3\ncampo 10: PP3\ncampo 11: 2024\ncampo 12: \n"
                                    "campo 13: CF3\ndopo: RUNTIME trimox3.exe "))
        << esito.uscita;
    Rapporto r = RapportoDelRuntime(esito, BIN);
    ASSERT_TRUE(r.letto) << esito.uscita;
    EXPECT_EQ(std::string(BIN) + "\\trimox3.exe kelvat32", r.comando);
    EXPECT_EQ(std::string(RADICE) + "\\prg", r.cartella);
    EXPECT_EQ("e", Variabile(r, "CAR_ANNO_FISC"));
    EXPECT_EQ("PRD3", Variabile(r, "PRODOTTO_VELMAR"));
    EXPECT_EQ("0", Variabile(r, "BCOMPR"));
    EXPECT_EQ(std::string(RADICE) + "\\prg\\frm", Variabile(r, "LNK"));
    EXPECT_EQ("<assente>", Variabile(r, "QOR_WEB"));
    EXPECT_EQ(0u, Variabile(r, "COBPATH").find("e\\b;e\\t;e\\c;e\\1\\e;e\\3\\e;")) << Variabile(r, "COBPATH");
    EXPECT_EQ(0u, Variabile(r, "PATH").find(PATH_ATTESO)) << Variabile(r, "PATH");
    EXPECT_EQ(1, Conta(r, "PATH"));
    EXPECT_EQ(1, Conta(r, "COBSW"));
    EXPECT_EQ("-F-N", Variabile(r, "COBSW"));
    EXPECT_TRUE(CorrispondeTutto(Variabile(r, "socketComm"), "[0-9]+")) << Variabile(r, "socketComm");
    EXPECT_EQ((std::vector<std::string>{"BCOMPR", "VELMAR_START", "PRODOTTO_VELMAR", "CAR_ANNO_FISC", "COBPATH",
                                        "COBSW", "COBDIR", "TARVOPLUS", "LNK", "PATH", "socketComm"}),
              NomiDa(r, "BCOMPR"));
    EXPECT_EQ("UTENTE=\r\nPROGRA=PR3\r\nCONFIG=CF3\r\nSTUDIO=ST3\r\nOPERAT=OP3\r\nAPPLIC=AP3\r\nPARPAS=PP3\r\n",
              FileParametri(Variabile(r, "VELMAR_START")));
}

/* Il runtime eredita il solo suo socket mentre un'altra connessione e' aperta nel servizio, con la
 * lista degli handle e senza (la via dei sistemi che non la hanno, forzata dalla variabile delle
 * prove): ne' il listener ne' il socket accettato dell'altra connessione gli arrivano. */
TEST_F(LancioCliente, IlRuntimeEreditaSoloIlSuoSocket)
{
    /* Il listener ascolta appena il suo thread arriva a listen. */
    SOCKET altra = INVALID_SOCKET;
    for (int i = 0; i < 50 && altra == INVALID_SOCKET; i++, Sleep(100))
        altra = ConnettiLoopback(Porta());
    ASSERT_NE(INVALID_SOCKET, altra);
    /* Il lato client dell'altra connessione starebbe su un'altra macchina: non conta qui. */
    SetHandleInformation((HANDLE)altra, HANDLE_FLAG_INHERIT, 0);
    for (const char *senzaLista : {"1", (const char *)NULL}) {
        SetEnvironmentVariableA(VARIABILE_SENZA_LISTA_HANDLE, senzaLista);
        ScegliEreditarietaRuntime();
        EsitoCliente esito = EseguiCliente("--attesa 0.5 avvia PROG");
        ASSERT_EQ(FATTO, esito.codice) << esito.errore;
        Rapporto r = RapportoDelRuntime(esito, BIN);
        ASSERT_TRUE(r.letto) << esito.uscita;
        EXPECT_EQ(Variabile(r, "socketComm"), r.ereditati) << (senzaLista != NULL ? "senza lista" : "con lista");
    }
    closesocket(altra);
    ScriviLog("IlRuntimeEreditaSoloIlSuoSocket - fine\n");
    EXPECT_NE(std::string::npos, LeggiFile(pathFileLog()).find("Avvio del runtime senza lista degli handle: socket "
                                                               "non ereditabili e avvio sotto blocco"));
}

/* Il listener si ferma dopo l'accept di una connessione scelta, prima del cambio del flag: un
 * runtime che parte intanto non deve trovarla ereditabile. */
volatile LONG accettiVisti = 0;
volatile LONG accettoDaFermare = -1;

void FermaDopoAccept(void)
{
    if (InterlockedIncrement(&accettiVisti) == accettoDaFermare)
        Sleep(1500);
}

/* Senza lista degli handle, una connessione accettata mentre un runtime parte non passa al runtime. */
TEST_F(LancioCliente, ConnessioneAccettataMentreUnRuntimeParteNonGliArriva)
{
    SetEnvironmentVariableA(VARIABILE_SENZA_LISTA_HANDLE, "1");
    ScegliEreditarietaRuntime();
    accettiVisti = 0;
    accettoDaFermare = 2;  // la connessione che arriva dopo quella del client
    provaDopoAccept = FermaDopoAccept;
    Cliente cliente = AvviaCliente("--attesa 0.5 avvia PROG");
    for (int i = 0; i < 100 && accettiVisti < 1; i++)
        Sleep(50);
    /* Il lato client, nello stesso processo, non e' ereditabile prima di connettersi. */
    SOCKET altra = socket(AF_INET, SOCK_STREAM, 0);
    SetHandleInformation((HANDLE)altra, HANDLE_FLAG_INHERIT, 0);
    sockaddr_in indirizzo = {};
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_port = htons((u_short)Porta());
    indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, connect(altra, (sockaddr *)&indirizzo, sizeof indirizzo)) << WSAGetLastError();
    EsitoCliente esito = AttendiCliente(cliente);
    provaDopoAccept = NULL;
    closesocket(altra);
    SetEnvironmentVariableA(VARIABILE_SENZA_LISTA_HANDLE, NULL);
    ScegliEreditarietaRuntime();
    EXPECT_EQ(2, accettiVisti);
    ASSERT_EQ(FATTO, esito.codice) << esito.errore;
    Rapporto r = RapportoDelRuntime(esito, BIN);
    ASSERT_TRUE(r.letto) << esito.uscita;
    EXPECT_EQ(Variabile(r, "socketComm"), r.ereditati);
}

TEST_F(LancioCliente, Kelvatlog3NellAmbienteDuplicato)
{
    EsitoCliente esito = EseguiCliente(std::string("--attesa 0.5 --in-chiaro kelvatlog3 --studio DUP --anno 2019 "
                                                   "--ambiente c:\\e2edup"));
    ASSERT_EQ(FATTO, esito.codice) << esito.errore << esito.uscita;
    Rapporto r = RapportoDelRuntime(esito, std::string(DUPLICATO) + "\\prg\\com\\drumal\\bin");
    ASSERT_TRUE(r.letto) << esito.uscita;
    EXPECT_EQ("c:\\e2edup\\prg\\com\\drumal\\bin\\trimox4.exe kelvat32", r.comando);
    EXPECT_TRUE(CorrispondeTutto(r.cartella, "[Cc]:\\\\[Ee]2[Ee][Dd][Uu][Pp]\\\\prg")) << r.cartella;
    EXPECT_EQ("9", Variabile(r, "CAR_ANNO_FISC"));
    EXPECT_EQ("TEVRA", Variabile(r, "QOR_WEB"));
    /* Il file dei parametri sta nel primo ambiente; il runtime ne riceve il nome relativo. */
    EXPECT_NE(std::string::npos, FileParametri(Variabile(r, "VELMAR_START")).find("STUDIO=DUP\r\n"));
}

TEST_F(LancioCliente, Kelvatlog5Con14_15E16Campi)
{
    struct Caso {
        const char *argomenti;
        const char *infoStart;
        int numCampi;
    } casi[] = {
        {"", "<assente>", 14},
        {"--infostart INFO15", "INFO15", 15},
        {"--infostart INFO16 --campi 16", "<assente>", 16},
    };
    SetEnvironmentVariableA("DEBPRO", "debug-prova");
    for (const Caso &caso : casi) {
        EsitoCliente esito = EseguiCliente(std::string("--attesa 0.5 --in-chiaro --compressione kelvatlog5 --studio "
                                                       "S5 --operat O5 --applic A5 --progra P5 --parpas PP5 --descpr "
                                                       "D5 --config C5 --anno-fisc g ") +
                                           caso.argomenti);
        ASSERT_EQ(FATTO, esito.codice) << caso.argomenti << ": " << esito.errore << esito.uscita;
        /* La risposta: la richiesta con 0101, tutti i campi e non uno di piu'. */
        EXPECT_EQ(0u, esito.uscita.find("campo 0: 0101\n")) << esito.uscita;
        std::string ultimo = "campo " + std::to_string(caso.numCampi - 1) + ": ";
        EXPECT_NE(std::string::npos, esito.uscita.find("\n" + ultimo)) << esito.uscita;
        EXPECT_EQ(std::string::npos, esito.uscita.find("\ncampo " + std::to_string(caso.numCampi) + ": "));
        EXPECT_NE(std::string::npos, esito.uscita.find("campo 10: D5\ncampo 11: C5\ncampo 12: \ncampo 13: g\n"));
        Rapporto r = RapportoDelRuntime(esito, BIN);
        ASSERT_TRUE(r.letto) << esito.uscita;
        EXPECT_EQ(std::string(BIN) + "\\trimox4.exe kelvat32", r.comando);
        EXPECT_EQ(std::string(RADICE) + "\\prg", r.cartella);
        EXPECT_EQ("g", Variabile(r, "CAR_ANNO_FISC")) << caso.argomenti;
        EXPECT_EQ(caso.infoStart, Variabile(r, "INFOSTART")) << caso.argomenti;
        EXPECT_EQ("1", Variabile(r, "BCOMPR"));
        EXPECT_EQ("<assente>", Variabile(r, "VELMAR_START"));
        EXPECT_EQ("<assente>", Variabile(r, "PRODOTTO_VELMAR"));
        EXPECT_EQ("debug-prova", Variabile(r, "DEBPRO"));
        EXPECT_EQ("TEVRA", Variabile(r, "QOR_WEB"));
        std::vector<std::string> attesi = {"BCOMPR", "VELMARSP_START", "CAR_ANNO_FISC", "COBPATH", "COBSW", "COBDIR",
                                           "TARVOPLUS"};
        if (std::string(caso.infoStart) != "<assente>")
            attesi.push_back("INFOSTART");
        attesi.insert(attesi.end(), {"LNK", "PATH", "socketComm", "DEBPRO", "QOR_WEB"});
        EXPECT_EQ(attesi, NomiDa(r, "BCOMPR")) << caso.argomenti;
        EXPECT_EQ("UTENTE=\r\nPROGRA=P5\r\nCONFIG=C5\r\nSTUDIO=S5\r\nOPERAT=O5\r\nAPPLIC=A5\r\nPARPAS=PP5\r\n"
                  "DESCPR=D5\r\n",
                  FileParametri(Variabile(r, "VELMARSP_START")));
    }
    SetEnvironmentVariableA("DEBPRO", NULL);
}

TEST_F(LancioCliente, Kelvatlog6Kelvatlog2EOrdinaria)
{
    EsitoCliente k6 = EseguiCliente("--attesa 0.5 kelvatlog6 --studio S6 --operat O6 --applic A6 --progra P6 "
                                    "--parpas PP6 --descpr D6 --config C6 --anno-fisc h");
    ASSERT_EQ(FATTO, k6.codice) << k6.errore;
    EXPECT_EQ(0u, k6.uscita.find("campo 0: 0109\ncampo 1: \ncampo 2: \ncampo 3: N\ncampo 4: cmd/unix/kelvatlog6\n"
                                 "campo 5: S6\n"))
        << k6.uscita;
    Rapporto r6 = RapportoDelRuntime(k6, BIN);
    ASSERT_TRUE(r6.letto) << k6.uscita;
    EXPECT_EQ("VELMARSP_START", Variabile(r6, "VELMARSP_START"));
    EXPECT_EQ("h", Variabile(r6, "CAR_ANNO_FISC"));
    EXPECT_EQ((std::vector<std::string>{"V_APPLIC", "V_CONFIG", "V_DESCPR", "V_OPERAT", "V_PARPAS", "V_PROGRA",
                                        "V_STUDIO", "V_UTENTE"}),
              NomiDa(r6, "V_APPLIC"));
    EXPECT_EQ("A6|C6|D6|O6|PP6|P6|S6| ",
              Variabile(r6, "V_APPLIC") + "|" + Variabile(r6, "V_CONFIG") + "|" + Variabile(r6, "V_DESCPR") + "|" +
                  Variabile(r6, "V_OPERAT") + "|" + Variabile(r6, "V_PARPAS") + "|" + Variabile(r6, "V_PROGRA") +
                  "|" + Variabile(r6, "V_STUDIO") + "|" + Variabile(r6, "V_UTENTE"));

    EsitoCliente k2 = EseguiCliente("--attesa 0.5 --in-chiaro kelvatlog2 --anno-fisc k");
    ASSERT_EQ(FATTO, k2.codice) << k2.errore;
    EXPECT_EQ(0u, k2.uscita.find("campo 0: 0101\ncampo 1: \ncampo 2: \ncampo 3: N\ncampo 4: cmd/unix/kelvatlog2\n"
                                 "campo 5: \ncampo 6: k\ndopo: RUNTIME trimox4.exe "))
        << k2.uscita;
    Rapporto r2 = RapportoDelRuntime(k2, BIN);
    ASSERT_TRUE(r2.letto) << k2.uscita;
    EXPECT_EQ(std::string(BIN) + "\\trimox4.exe kelvat32", r2.comando);
    EXPECT_EQ("k", Variabile(r2, "CAR_ANNO_FISC"));
    EXPECT_EQ(0u, Variabile(r2, "COBPATH").find("e\\b;e\\t;e\\c;e\\1\\k;"));
    EXPECT_EQ((std::vector<std::string>{"BCOMPR", "CAR_ANNO_FISC", "COBPATH", "COBSW", "COBDIR", "TARVOPLUS", "LNK",
                                        "PATH", "socketComm", "QOR_WEB"}),
              NomiDa(r2, "BCOMPR"));

    /* Ordinaria: niente variabile di avvio, l'asterisco, e l'eco del runtime sul socket ereditato. */
    EsitoCliente ordinaria = EseguiCliente("--attesa 0.5 --invia eco-del-client avvia cmd/qor/menu quinto");
    ASSERT_EQ(FATTO, ordinaria.codice) << ordinaria.errore;
    EXPECT_NE(std::string::npos, ordinaria.uscita.find("campo 4: cmd/qor/menu\ncampo 5: quinto\n"));
    EXPECT_TRUE(ContieneEspressione(ordinaria.uscita, "dopo: RUNTIME trimox3\\.exe [0-9]+\\\\x0Aeco-del-client\n"))
        << ordinaria.uscita;
    Rapporto r = RapportoDelRuntime(ordinaria, BIN);
    ASSERT_TRUE(r.letto) << ordinaria.uscita;
    EXPECT_EQ("*", Variabile(r, "CAR_ANNO_FISC"));
    EXPECT_EQ(0u, Variabile(r, "COBPATH").find("e\\b;e\\t;e\\c;e\\1;e\\3;e\\4;e\\5;e\\6;e\\7;e\\r;e\\q;e\\u;"));
    EXPECT_EQ((std::vector<std::string>{"BCOMPR", "CAR_ANNO_FISC", "COBPATH", "COBSW", "COBDIR", "TARVOPLUS", "LNK",
                                        "PATH", "socketComm"}),
              NomiDa(r, "BCOMPR"));
}

TEST_F(LancioCliente, AvvisoDiAggiornamentoApplicativoNelleTreForme)
{
    std::string marcatore = std::string(RADICE) + "\\prg\\aincorso.tst";
    ASSERT_TRUE(ScriviFile(marcatore, "in corso"));
    CancellaRapporti(BIN, "trimox3.exe");
    CancellaRapporti(BIN, "trimox4.exe");
    struct Caso {
        const char *argomenti;
        const char *codice;
    } casi[] = {
        {"--in-chiaro avvia PROG", "0101"},
        {"--scambio avvia PROG", "0109"},
        {"--scambio --compressione avvia PROG", "0109"},
        {"--in-chiaro versione", "0101"},
        {"--scambio versione", "0109"},
    };
    for (const Caso &caso : casi) {
        EsitoCliente esito = EseguiCliente(caso.argomenti);
        EXPECT_EQ(AGG_APPLICATIVO, esito.codice) << caso.argomenti << ": " << esito.errore;
        EXPECT_EQ(0u, esito.uscita.find(std::string("campo 0: ") + caso.codice)) << esito.uscita;
        EXPECT_NE(std::string::npos, esito.uscita.find(std::string("avviso applicativo: ") + TESTO_APPLICATIVO + "\n"))
            << caso.argomenti << ": " << esito.uscita;
    }
    DeleteFileA(marcatore.c_str());
    EXPECT_TRUE(RapportiDi(BIN, "trimox3.exe").empty());
    EXPECT_TRUE(RapportiDi(BIN, "trimox4.exe").empty());
    EsitoCliente dopo = EseguiCliente("--attesa 0.5 avvia PROG");
    EXPECT_EQ(FATTO, dopo.codice) << dopo.errore;
}

TEST_F(LancioCliente, AvvisoDiAggiornamentoDelServizioEAggiornatore)
{
    std::string nuovo = std::string(BIN) + "\\tarnel.new";
    ASSERT_TRUE(ScriviFile(nuovo, "nuovo servizio"));
    CancellaRapporti(BIN, "updqorservice.exe");

    /* In chiaro il controllo non c'e': la richiesta e' servita. */
    EsitoCliente chiaro = EseguiCliente("--attesa 0.5 --in-chiaro avvia PROG");
    EXPECT_EQ(FATTO, chiaro.codice) << chiaro.errore;
    EXPECT_TRUE(RapportiDi(BIN, "updqorservice.exe").empty());

    /* Tre client mentre l'aggiornatore gira: tre avvisi, un solo aggiornatore. */
    SetEnvironmentVariableA("UPDQORSERVICE_ATTESA_MS", "4000");
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        EsitoCliente esito = EseguiCliente("avvia PROG");
        EXPECT_EQ(AGG_SERVIZIO, esito.codice) << esito.errore;
        EXPECT_EQ(std::string("avviso servizio: ") + TESTO_SERVIZIO + "\n", esito.uscita);
        if (i == 0)
            AttendiRapporti(BIN, "updqorservice.exe");
    }
    SetEnvironmentVariableA("UPDQORSERVICE_ATTESA_MS", NULL);
    std::vector<std::string> rapporti = RapportiDi(BIN, "updqorservice.exe");
    ASSERT_EQ(1u, rapporti.size());
    Rapporto r = LeggiRapporto(rapporti[0]);
    EXPECT_EQ(std::string(BIN) + "\\updqorservice.exe tarnel.exe tarnel.new", r.comando);

    /* Con l'aggiornamento dell'applicativo in corso il servizio non si aggiorna. */
    std::string marcatore = std::string(RADICE) + "\\prg\\aincorso.tst";
    ASSERT_TRUE(ScriviFile(marcatore, "in corso"));
    EsitoCliente entrambi = EseguiCliente("--scambio avvia PROG");
    EXPECT_EQ(AGG_APPLICATIVO, entrambi.codice) << entrambi.errore;
    DeleteFileA(marcatore.c_str());
    DeleteFileA(nuovo.c_str());
    EXPECT_EQ(1u, RapportiDi(BIN, "updqorservice.exe").size());
}

TEST_F(LancioCliente, MarcatoreDiAggiornamentoFormati)
{
    std::string marcatore = std::string(RADICE) + "\\prg\\etc\\updatefo.cfg";
    ASSERT_TRUE(ScriviFile(marcatore, ""));
    CancellaRapporti(BIN, "kvix32a.exe");
    EsitoCliente esito = EseguiCliente("--attesa 0.5 avvia PROG");
    EXPECT_EQ(FATTO, esito.codice) << esito.errore;
    std::vector<std::string> rapporti = RapportiDi(BIN, "kvix32a.exe");
    ASSERT_EQ(1u, rapporti.size());
    Rapporto r = LeggiRapporto(rapporti[0]);
    EXPECT_EQ(std::string(BIN) + "\\kvix32a.exe", r.comando);
    EXPECT_EQ(std::string(RADICE) + "\\prg", r.cartella);
    EXPECT_FALSE(Esiste(marcatore));
    /* Senza marcatore lo strumento non riparte. */
    EsitoCliente dopo = EseguiCliente("--attesa 0.5 avvia PROG");
    EXPECT_EQ(FATTO, dopo.codice) << dopo.errore;
    EXPECT_EQ(1u, RapportiDi(BIN, "kvix32a.exe").size());
}

TEST_F(LancioCliente, VentiAvviiInsieme)
{
    const int quanti = 20;
    std::vector<Cliente> clienti;
    for (int i = 0; i < quanti; i++) {
        std::string argomenti = "--attesa 1 kelvatlog3 --studio STUDIO" + std::to_string(i) + " --anno 2021";
        if (i % 4 == 3)
            argomenti += std::string(" --ambiente ") + DUPLICATO;
        clienti.push_back(AvviaCliente(argomenti));
    }
    std::vector<std::string> fileParametri;
    for (int i = 0; i < quanti; i++) {
        EsitoCliente esito = AttendiCliente(clienti[(size_t)i]);
        ASSERT_EQ(FATTO, esito.codice) << i << ": " << esito.errore << esito.uscita;
        bool duplicato = i % 4 == 3;
        std::string radice = duplicato ? DUPLICATO : RADICE;
        Rapporto r = RapportoDelRuntime(esito, radice + "\\prg\\com\\drumal\\bin");
        ASSERT_TRUE(r.letto) << i << ": " << esito.uscita;
        EXPECT_EQ(radice + "\\prg", r.cartella) << i;
        EXPECT_EQ(radice + "\\prg\\com\\drumal\\bin\\trimox3.exe kelvat32", r.comando) << i;
        EXPECT_EQ("b", Variabile(r, "CAR_ANNO_FISC"));
        std::string nome = Variabile(r, "VELMAR_START");
        fileParametri.push_back(nome);
        EXPECT_NE(std::string::npos, FileParametri(nome).find("STUDIO=STUDIO" + std::to_string(i) + "\r\n"))
            << i << ": " << nome;
    }
    std::sort(fileParametri.begin(), fileParametri.end());
    EXPECT_EQ(fileParametri.end(), std::unique(fileParametri.begin(), fileParametri.end()));
}

TEST_F(LancioCliente, RichiesteMalformateRifiutatePoiLaVersione)
{
    std::string lungo(2100, 'x');
    std::string campi21 = "grezza 0000 a b N PROG";
    for (int i = 5; i < 21; i++)
        campi21 += " c" + std::to_string(i);
    std::string parametro256(256, 'p');
    std::string prodotto80(80, 'P');
    const std::string k5 = "cmd/unix/kelvatlog5";
    /* Tutti rifiutati prima della risposta, tranne l'ambiente duplicato, che fallisce dopo. */
    struct Caso {
        const char *nome;
        std::string argomenti;
        int codice = RIFIUTATA;
    } casi[] = {
        {"corpo oltre l'area", "grezza 0000 a b N " + lungo},
        {"21 campi", campi21},
        {"lista senza fine", "--escape grezza --corpo 000050000\\x00"},
        {"campo 0 corto", "grezza 00 a b N PROG"},
        {"4 campi", "grezza 0000 a b N"},
        {"kelvatlog3 con 9 campi", "grezza 0000 a b N cmd/unix/kelvatlog3 p s o a"},
        {"kelvatlog5 senza zeri", "grezza --senza-zero 0000 a b N " + k5 + " s o a p pp d c x f"},
        {"prodotto oltre 79", "kelvatlog3 --prodotto " + prodotto80},
        {"parametro oltre 255", "kelvatlog6 --studio " + parametro256},
        {"INFOSTART oltre 255", "kelvatlog5 --infostart " + parametro256},
        {"a capo in un parametro", "--escape kelvatlog5 --studio a\\nb"},
        {"ritorno carrello in un parametro", "--escape kelvatlog3 --config x\\ry"},
        {"ambiente duplicato estraneo", "kelvatlog3 --ambiente C:\\windows", NON_AVVIATO},
    };
    ScriviLog("RichiesteMalformate - inizio\n"); /* apre il log, se non lo e' ancora */
    std::string pathLog = pathFileLog();
    for (const Caso &caso : casi) {
        size_t primaDelLog = LeggiFile(pathLog).size();
        EsitoCliente esito = EseguiCliente(caso.argomenti);
        EXPECT_EQ(caso.codice, esito.codice) << caso.nome << ": " << esito.errore << esito.uscita;
        std::string log = LeggiFile(pathLog).substr(std::min(primaDelLog, LeggiFile(pathLog).size()));
        EXPECT_NE(std::string::npos, log.find("Impossibile abilitare l'esecuzione del Client")) << caso.nome << log;
        VerificaVersione(false);
    }
}

} // namespace

/* Un secondo drive (S: del prefisso Wine) con un ambiente duplicato, messo in tabella come record 2
 * con lo share trovato dall'enumerazione di prova; l'ambiente in linea resta C:. */
class LancioSecondoDrive : public LancioCliente {
protected:
    static void SetUpTestSuite()
    {
        if (!listenerPronto) // il listener e' uno per processo
            LancioCliente::SetUpTestSuite();
    }
    static int ElencaDueDrive(VisitaShare visita, void *contesto)
    {
        for (const char *share : {"C:\\", "S:\\"})
            if (visita(contesto, share))
                return 1;
        return 1;
    }
    void SetUp() override
    {
        LancioCliente::SetUp();
        ASSERT_TRUE(Esiste("S:\\")) << "manca il drive S: del prefisso Wine";
        InstallaAmbiente(SECONDO, "");
        InfoAmbiente *secondo = &TabellaInfoInstallazione.ambienti[2];
        CopiaTesto(secondo->drive, sizeof secondo->drive, SECONDO);
        CopiaTesto(secondo->sistInfo, sizeof secondo->sistInfo, "E2ES");
        {
            PassiSalvati<PassiInstallazione> salvati(passiInstallazione);
            passiInstallazione.elencaShare = ElencaDueDrive;
            ASSERT_EQ(1, RicercaNetShare("E2ES", secondo->strPathShare));
        }
        EXPECT_STREQ("S:\\", secondo->strPathShare);
        TabellaInfoInstallazione.numAmbienti = 3;
    }
    static constexpr const char *SECONDO = "S:\\E2ES";
};

TEST_F(LancioSecondoDrive, SediciKelvatlog3InsiemeMetaSulSecondoDrive)
{
    const int quanti = 16;
    std::vector<Cliente> clienti;
    for (int i = 0; i < quanti; i++) {
        std::string argomenti = "--attesa 1 kelvatlog3 --studio S" + std::to_string(i) + " --anno 2022";
        if (i % 2 == 1)
            argomenti += std::string(" --ambiente ") + SECONDO;
        clienti.push_back(AvviaCliente(argomenti));
    }
    std::vector<std::string> fileParametri;
    for (int i = 0; i < quanti; i++) {
        EsitoCliente esito = AttendiCliente(clienti[(size_t)i]);
        ASSERT_EQ(FATTO, esito.codice) << i << ": " << esito.errore << esito.uscita;
        std::string radice = i % 2 == 1 ? SECONDO : RADICE;
        Rapporto r = RapportoDelRuntime(esito, radice + "\\prg\\com\\drumal\\bin");
        ASSERT_TRUE(r.letto) << i << ": " << esito.uscita;
        EXPECT_EQ(radice + "\\prg", r.cartella) << i;
        EXPECT_EQ(radice + "\\prg\\com\\drumal\\bin\\trimox3.exe kelvat32", r.comando) << i;
        std::string nome = Variabile(r, "VELMAR_START");
        fileParametri.push_back(nome);
        EXPECT_NE(std::string::npos, FileParametri(nome).find("STUDIO=S" + std::to_string(i) + "\r\n")) << i;
    }
    std::sort(fileParametri.begin(), fileParametri.end());
    EXPECT_EQ(fileParametri.end(), std::unique(fileParametri.begin(), fileParametri.end()));
}

/* Stand alone: dopo una richiesta sul duplicato di S: la versione e tarnel.new guardano il drive
 * dell'ambiente in linea, non quello dell'ultima richiesta. */
TEST_F(LancioSecondoDrive, NuovoServizioSulDriveDellAmbienteInLineaDopoIlDuplicato)
{
    TabellaInfoInstallazione.ambienti[0].strPathShare[0] = '\0';
    std::string nuovo = std::string(BIN) + "\\tarnel.new";
    ASSERT_TRUE(ScriviFile(nuovo, "nuovo servizio"));
    CancellaRapporti(BIN, "updqorservice.exe");
    std::string dup = std::string("--attesa 0.5 kelvatlog3 --in-chiaro --ambiente ") + SECONDO;
    ASSERT_EQ(FATTO, EseguiCliente(dup).codice);
    VerificaVersione(true);
    ASSERT_EQ(FATTO, EseguiCliente(dup).codice);
    EsitoCliente esito = EseguiCliente("versione");
    DeleteFileA(nuovo.c_str());
    EXPECT_EQ(AGG_SERVIZIO, esito.codice) << esito.errore << esito.uscita;
    std::vector<std::string> rapporti = AttendiRapporti(BIN, "updqorservice.exe");
    ASSERT_EQ(1u, rapporti.size());
    Rapporto r = LeggiRapporto(rapporti[0]);
    EXPECT_EQ(std::string(BIN) + "\\updqorservice.exe tarnel.exe tarnel.new", r.comando);
    EXPECT_EQ(BIN, r.cartella);
}
