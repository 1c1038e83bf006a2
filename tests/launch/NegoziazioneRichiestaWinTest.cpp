/* tests/launch/NegoziazioneRichiestaWinTest.cpp - la negoziazione su socket veri sotto Wine, con la
 * meta' client del protocollo dall'altra parte e un ambiente installato di prova: risposta, rifiuti,
 * avvisi di aggiornamento, strumento dei formati e richieste che lo attendono, aggiornatore, cartella
 * di lavoro. */
#include "launch/launch.h"

#include "tests/finti/SocketProva.h"
#include "tests/launch/AmbienteProvaWin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using ::testing::HasSubstr;
using ::testing::Not;

class Negoziazione : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(AvviaReteProva());
        Connetti();
        ambiente.Crea("LNC2101", "GEST2");
        contatoreFileParametri = 0;
        inizioLog = FineLog();
    }
    void TearDown() override
    {
        Chiudi();
        SetCurrentDirectoryA("C:\\");
        RimuoviAlbero("C:\\LNC2101");
    }
    void Connetti()
    {
        ASSERT_TRUE(CoppiaConnessa(&client, &servizio));
    }
    void Chiudi()
    {
        if (lato.joinable())
            lato.join();
        ChiudiSocketProva(client);
        ChiudiSocketProva(servizio);
        client = servizio = SOCKET_NON_VALIDO;
    }
    /* La negoziazione gira sul suo thread, come nel servizio. */
    void AvviaServizio()
    {
        esito = -1;
        InizializzaRichiesta(&r);
        lato = std::thread([this] { esito = NegoziazioneRichiesta(servizio, &r); });
    }
    /* Scambio chiavi e invio della richiesta dal lato client. */
    bool Invia(int modoInChiaro, const std::string &corpo)
    {
        std::string copia = corpo;
        stato = {};
        if (scambioChiaviCliente(client, &stato, modoInChiaro) != (modoInChiaro ? ESITO_IN_CHIARO : ESITO_FATTO))
            return false;
        uint8_t *area = (uint8_t *)&copia[0];
        int inviato = modoInChiaro ? invioBufferInChiaro(client, area, (int)copia.size())
                                   : invioBuffer(client, &stato, area, (int)copia.size());
        return inviato == ESITO_FATTO;
    }
    std::string Risposta(int modoInChiaro)
    {
        uint8_t area[DIM_AREA_MESSAGGIO];
        int lung = 0;
        int ricevuto = modoInChiaro ? ricezioneBufferInChiaro(client, area, sizeof area, &lung)
                                    : ricezioneBuffer(client, &stato, area, sizeof area, &lung);
        return ricevuto == ESITO_FATTO ? std::string((const char *)area, (size_t)lung) : "";
    }
    /* Conversazione completa: rende la risposta ("" se non arriva) e attende la negoziazione. */
    std::string Conversa(int modoInChiaro, const std::string &corpo)
    {
        AvviaServizio();
        std::string risposta = Invia(modoInChiaro, corpo) ? Risposta(modoInChiaro) : "";
        lato.join();
        return risposta;
    }
    static std::string CartellaCorrente()
    {
        char cartella[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof cartella, cartella);
        return cartella;
    }
    AmbienteProva ambiente;
    SocketRete client = SOCKET_NON_VALIDO, servizio = SOCKET_NON_VALIDO;
    StatoCifratura stato = {};
    std::thread lato;
    std::atomic<int> esito{-1};
    RichiestaClient r;
    size_t inizioLog = 0;
};

TEST_F(Negoziazione, RispostaUgualeAllaRichiestaTranneIlCodiceInEntrambiIModi)
{
    const std::string primaCartella = CartellaCorrente();
    struct {
        int inChiaro;
        std::string compressione;
        const char *codice;
        int compressioneAttesa;
    } casi[] = {{0, "S", "0109", 1}, {1, "Si", "0101", 1}, {1, "s", "0101", 0}, {0, "N", "0109", 0}};
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.codice + caso.compressione);
        std::vector<std::string> campi = Testa("PROG", caso.compressione);
        campi[0] = "0000X";
        std::string richiesta = Corpo(campi, "coda");
        std::string attesa = richiesta;
        attesa.replace(5, 4, caso.codice);
        EXPECT_EQ(attesa, Conversa(caso.inChiaro, richiesta));
        EXPECT_EQ(1, esito);
        EXPECT_EQ(caso.inChiaro, r.inChiaro);
        EXPECT_EQ(caso.compressioneAttesa, r.compressione);
        EXPECT_EQ(ambiente.radice, r.dirAmbiente);
        EXPECT_EQ(primaCartella, CartellaCorrente()); // la cartella del processo non cambia
        Chiudi();
        Connetti();
    }
    std::string log = LogDa(inizioLog);
    EXPECT_THAT(log, HasSubstr("CambiaWorkingDirectory wkDir = \"" + ambiente.prg + "\"\n"));
    EXPECT_THAT(log, HasSubstr("AggiornamentoFormati NON e' presente il file  = " + ambiente.etc + "\\updatefo.cfg \n"));
    EXPECT_THAT(log, HasSubstr("AggiornamentoInCorso NON e' presente il file  = " + ambiente.prg + "\\aincorso.tst \n"));
}

/* Un client che manda la frase in un'area azzerata di 1024 byte, poi la trama: gli zeri sono della
 * frase e la richiesta e' servita. */
TEST_F(Negoziazione, FraseInUnAreaAzzerataAccettata)
{
    std::string corpo = Corpo(Testa("PROG"));
    std::string area = std::string(FRASE_IN_CHIARO) + std::string(DIM_CHIAVE - LUNG_FRASE_IN_CHIARO, '\0');
    AvviaServizio();
    ASSERT_EQ(DIM_CHIAVE, send((SOCKET)client, area.data(), (int)area.size(), 0));
    ASSERT_EQ(ESITO_FATTO, invioBufferInChiaro(client, (const uint8_t *)corpo.data(), (int)corpo.size()));
    std::string attesa = corpo;
    attesa.replace(5, 4, "0101");
    EXPECT_EQ(attesa, Risposta(1));
    lato.join();
    EXPECT_EQ(1, esito);
    EXPECT_EQ(1, r.inChiaro);
}

TEST_F(Negoziazione, RichiesteMalformateRifiutatePrimaDellaRisposta)
{
    std::vector<std::string> conLF = Kelvatlog3("2024");
    conLF[13] = T("cf\r\nUTENTE=root");
    struct {
        std::string corpo;
        const char *log;
        int esito;
    } casi[] = {
        {Corpo({"abc"}), "campo 0 di 3 byte", NEGOZIAZIONE_RIFIUTATA},
        {"00004abcd", "non arriva a \"00000\"", NEGOZIAZIONE_RIFIUTATA},
        {Corpo(conLF), "il campo 13 contiene un a capo", NEGOZIAZIONE_RIFIUTATA},
        {std::string(2049, '0'), "2049", NEGOZIAZIONE_FALLITA}, // oltre l'area dei messaggi: la trama stessa e' rifiutata
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.log);
        size_t inizio = FineLog();
        AvviaServizio();
        ASSERT_TRUE(Invia(1, caso.corpo));
        lato.join();
        EXPECT_EQ(caso.esito, esito);
        EXPECT_THAT(LogDa(inizio), HasSubstr(caso.log));
        bool chiusa = false;
        ChiudiSocketProva(servizio);
        servizio = SOCKET_NON_VALIDO;
        EXPECT_EQ("", RiceviTutto((SOCKET)client, 2000, &chiusa)); // nessuna risposta
        EXPECT_TRUE(chiusa);
        Chiudi();
        Connetti();
    }
    EXPECT_TRUE(Rapporti(ambiente.bin, "kvix32a.exe").empty());
    EXPECT_EQ(0, contatoreFileParametri);
}

TEST_F(Negoziazione, ClientCheChiudeInOgniFaseLasciaLaSuaRiga)
{
    struct {
        const char *fase;
        int scambio; /* -1 nessuno, 0 cifrato, 1 in chiaro */
        const char *log;
    } casi[] = {
        {"prima dello scambio", -1, "Impossibile attivare la comunicazione Criptazione KO...\n"},
        {"dopo le chiavi", 0, "Errore ricezioneBuffer Client Grafico\n"},
        {"dopo la frase in chiaro", 1, nullptr},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.fase);
        size_t inizio = FineLog();
        AvviaServizio();
        if (caso.scambio >= 0) {
            ASSERT_EQ(caso.scambio ? ESITO_IN_CHIARO : ESITO_FATTO, scambioChiaviCliente(client, &stato, caso.scambio));
        }
        ChiudiInvioProva(client);
        lato.join();
        EXPECT_EQ(0, esito);
        if (caso.log != nullptr) {
            EXPECT_THAT(LogDa(inizio), HasSubstr(caso.log));
        } else {
            EXPECT_THAT(LogDa(inizio), Not(HasSubstr("Errore")));
        }
        Chiudi();
        Connetti();
    }
}

TEST_F(Negoziazione, AggiornamentoInCorsoNelleTreForme)
{
    const std::string testo = "La procedura di aggiornamento e' in corso oppure l'ultimo aggiornamento eseguito ha "
                              "generato errori. Attendere alcuni istanti e ritentare la connessione.";
    const std::string corpoCifrato = "999990020100153" + testo + "00000";
    ASSERT_TRUE(ScriviFile(ambiente.prg + "\\aincorso.tst", ""));
    ASSERT_TRUE(ScriviFile(ambiente.bin + "\\tarnel.new", "")); // con l'aggiornamento in corso non conta
    struct {
        int inChiaro;
        const char *compressione;
    } casi[] = {{1, "N"}, {0, "N"}, {0, "S"}};
    for (const auto &caso : casi) {
        SCOPED_TRACE(std::to_string(caso.inChiaro) + caso.compressione);
        size_t inizio = FineLog();
        AvviaServizio();
        std::string richiesta = Corpo(Testa("PROG", caso.compressione));
        ASSERT_TRUE(Invia(caso.inChiaro, richiesta));
        if (caso.inChiaro) {
            // In chiaro si legge tutto com'e' arrivato: la trama della risposta e subito dopo l'avviso.
            std::string risposta = richiesta;
            risposta.replace(5, 4, "0101");
            char intestazione[16];
            snprintf(intestazione, sizeof intestazione, "%010d", (int)risposta.size());
            std::string arrivato = RiceviTutto((SOCKET)client, 3000);
            EXPECT_EQ(intestazione + risposta + std::string("\x00\x00\x00\xAA", 4) + "00001E00154S" + testo + "00000",
                      arrivato);
        } else {
            ASSERT_NE("", Risposta(caso.inChiaro));
            StatoCifratura nuovo = {};
            ASSERT_EQ(ESITO_FATTO, scambioChiaviCliente(client, &nuovo, 0));
            uint8_t area[DIM_AREA_MESSAGGIO];
            int lung = 0;
            ASSERT_EQ(ESITO_FATTO, ricezioneBuffer(client, &nuovo, area, sizeof area, &lung));
            std::string payload((const char *)area, (size_t)lung);
            if (caso.compressione[0] == 'S') {
                uint8_t chiaro[DIM_AREA_MESSAGGIO];
                int n = DecomprimiLzw(area, lung, chiaro, sizeof chiaro);
                EXPECT_NE(corpoCifrato, payload);
                payload.assign((const char *)chiaro, n > 0 ? (size_t)n : 0);
            }
            EXPECT_EQ(corpoCifrato, payload);
            uint8_t fine[] = "00000";
            invioBuffer(client, &nuovo, fine, 5); // la trama che il servizio legge e scarta
        }
        lato.join();
        EXPECT_EQ(NEGOZIAZIONE_AVVISO_INVIATO, esito);
        std::string log = LogDa(inizio);
        EXPECT_THAT(log, HasSubstr("Impossibile attivare il programma: aggiornamento in corso...\n"));
        EXPECT_THAT(log, Not(HasSubstr("AggiornamentoFormati fileTestLink"))); // niente cartella ne' programma
        Chiudi();
        Connetti();
    }
    EXPECT_TRUE(Rapporti(ambiente.bin, "updqorservice.exe").empty());
}

TEST_F(Negoziazione, NuovoServizioAvvisaAvviaLAggiornatoreEFinisceIlThread)
{
    ASSERT_TRUE(ScriviFile(ambiente.bin + "\\tarnel.new", ""));
    AvviaServizio();
    ASSERT_TRUE(Invia(0, Corpo(Testa("PROG"))));
    std::string avviso = RiceviTutto((SOCKET)client, 2000);
    lato.join();
    EXPECT_EQ(NEGOZIAZIONE_FINE_THREAD, esito);
    EXPECT_EQ("00005PANIC00124E' in corso l'aggiornamento del servizio di attivazione applicativi QOR:\nattendere "
              "alcuni istanti e ritentare la connessione00000",
              avviso);
    const std::string comando = ambiente.bin + "\\updqorservice.exe tarnel.exe tarnel.new";
    EXPECT_THAT(LogDa(inizioLog), HasSubstr("Attivata la procedura di aggiornamento del Servizio di attivazione "
                                            "applicativi QOR: \"" + comando + "\"\n"));
    std::vector<std::string> rapporti;
    for (int i = 0; i < 50 && rapporti.empty(); i++, Sleep(100))
        rapporti = Rapporti(ambiente.bin, "updqorservice.exe");
    ASSERT_EQ(1u, rapporti.size());
    EXPECT_EQ(comando, RigaRapporto(rapporti[0], "comando"));
    EXPECT_EQ(ambiente.bin, RigaRapporto(rapporti[0], "cartella"));

    // In chiaro il nuovo servizio non si guarda: la richiesta e' servita.
    Chiudi();
    Connetti();
    EXPECT_NE("", Conversa(1, Corpo(Testa("PROG"))));
    EXPECT_EQ(1, esito);
}

TEST_F(Negoziazione, StrumentoDeiFormatiEseguitoUnaVoltaNellaCartellaPrg)
{
    const std::string marcatore = ambiente.etc + "\\updatefo.cfg";
    const std::string strumento = ambiente.bin + "\\kvix32a.exe";
    ASSERT_TRUE(ScriviFile(marcatore, "x"));
    EXPECT_NE("", Conversa(1, Corpo(Testa("sysadmin")))); // anche una richiesta di versione
    EXPECT_EQ(1, esito);
    std::vector<std::string> rapporti = Rapporti(ambiente.bin, "kvix32a.exe");
    ASSERT_EQ(1u, rapporti.size());
    EXPECT_EQ(strumento, RigaRapporto(rapporti[0], "comando"));
    EXPECT_EQ(ambiente.prg, RigaRapporto(rapporti[0], "cartella"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(marcatore.c_str()));
    std::string log = LogDa(inizioLog);
    EXPECT_THAT(log, HasSubstr("AggiornamentoFormati comando = " + strumento + " \n"));
    EXPECT_THAT(log, HasSubstr("AggiornamentoFormati directorydilavoro = " + ambiente.prg + " \n"));
    EXPECT_THAT(log, HasSubstr("AggiornamentoFormati Eseguito il comando = " + strumento + " \n"));
    EXPECT_THAT(log, HasSubstr("AggiornamentoFormati dopo la rimozione = " + marcatore + " \n"));

    // Senza marcatore nessun altro avvio; uno strumento che non parte lascia il marcatore.
    Chiudi();
    Connetti();
    EXPECT_NE("", Conversa(1, Corpo(Testa("PROG"))));
    EXPECT_EQ(1u, Rapporti(ambiente.bin, "kvix32a.exe").size());
    ASSERT_TRUE(DeleteFileA(strumento.c_str()));
    ASSERT_TRUE(ScriviFile(marcatore, "x"));
    size_t inizio = FineLog();
    Chiudi();
    Connetti();
    EXPECT_NE("", Conversa(1, Corpo(Testa("PROG"))));
    EXPECT_EQ(1, esito);
    EXPECT_THAT(LogDa(inizio), HasSubstr("AggiornamentoFormati Errore nella CreateProcess comando = " + strumento + " \n"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(marcatore.c_str()));
}

/* Lo strumento dei formati gira 2 s: cinque richieste arrivate intanto lo aspettano, non lo rilanciano
 * e sono servite dopo la sua fine. */
TEST_F(Negoziazione, RichiesteDuranteLAggiornamentoFormatiAttendonoLoStrumento)
{
    const std::string marcatore = ambiente.etc + "\\updatefo.cfg";
    ASSERT_TRUE(ScriviFile(marcatore, "x"));
    SetEnvironmentVariableA("KVIX32A_ATTESA_MS", "2000");
    AvviaServizio();
    ASSERT_TRUE(Invia(1, Corpo(Testa("PROG"))));
    EXPECT_NE("", Risposta(1));
    for (int i = 0; i < 100 && Rapporti(ambiente.bin, "kvix32a.exe").empty(); i++)
        Sleep(20);
    struct Altra {
        SocketRete client = SOCKET_NON_VALIDO, servizio = SOCKET_NON_VALIDO;
        RichiestaClient r;
        std::atomic<int> esito{-1};
        std::thread lato;
    } altre[5];
    for (Altra &a : altre) {
        ASSERT_TRUE(CoppiaConnessa(&a.client, &a.servizio));
        InizializzaRichiesta(&a.r);
        a.lato = std::thread([&a] { a.esito = NegoziazioneRichiesta(a.servizio, &a.r); });
        StatoCifratura st = {};
        std::string corpo = Corpo(Testa("PROG"));
        ASSERT_EQ(ESITO_IN_CHIARO, scambioChiaviCliente(a.client, &st, 1));
        ASSERT_EQ(ESITO_FATTO, invioBufferInChiaro(a.client, (const uint8_t *)corpo.data(), (int)corpo.size()));
    }
    Sleep(500);
    for (Altra &a : altre)
        EXPECT_EQ(-1, a.esito); // ferme sul blocco mentre lo strumento gira
    lato.join();
    EXPECT_EQ(1, esito);
    for (Altra &a : altre) {
        a.lato.join();
        EXPECT_EQ(1, a.esito);
        ChiudiSocketProva(a.client);
        ChiudiSocketProva(a.servizio);
    }
    SetEnvironmentVariableA("KVIX32A_ATTESA_MS", NULL);
    EXPECT_EQ(1u, Rapporti(ambiente.bin, "kvix32a.exe").size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(marcatore.c_str()));
    std::string log = LogDa(inizioLog);
    size_t rimozione = log.find("AggiornamentoFormati dopo la rimozione");
    ASSERT_NE(std::string::npos, rimozione);
    // Le cinque trovano il marcatore gia' rimosso: le loro righe "NON e' presente" vengono dopo.
    size_t nonPresente = log.find("AggiornamentoFormati NON e' presente");
    EXPECT_GT(nonPresente, rimozione);
}

TEST_F(Negoziazione, Kelvatlog3InAmbienteDuplicatoConFileNelPrimo)
{
    const std::string duplicato = "c:\\lnc2101\\gest2"; // in minuscolo: il drive C, il testo com'e'
    EXPECT_NE("", Conversa(1, Corpo(Kelvatlog3("2024", duplicato))));
    EXPECT_EQ(1, esito);
    EXPECT_EQ(duplicato, r.dirAmbiente);
    EXPECT_STREQ(".\\etc\\kl0.cfg", r.fileParametri);
    EXPECT_EQ('e', r.carAnnoFisc);
    EXPECT_EQ("UTENTE=\r\nPROGRA=pr\r\nCONFIG=cf\r\nSTUDIO=st\r\nOPERAT=op\r\nAPPLIC=ap\r\nPARPAS=pp\r\n",
              LeggiFile(ambiente.etc + "\\kl0.cfg"));

    // Una cartella qualsiasi del disco non e' un ambiente duplicato.
    Chiudi();
    Connetti();
    EXPECT_NE("", Conversa(1, Corpo(Kelvatlog3("2024", "C:\\windows"))));
    EXPECT_EQ(NEGOZIAZIONE_RIFIUTATA, esito);
    EXPECT_THAT(LogDa(inizioLog), HasSubstr("Ambiente duplicato \"C:\\windows\": non e' la radice di un ambiente installato\n"));
}

TEST_F(Negoziazione, CartellaOFileMancantiFannoFallire)
{
    RimuoviAlbero(ambiente.etc);
    EXPECT_NE("", Conversa(1, Corpo(Kelvatlog56("cmd/unix/kelvatlog5", 14))));
    EXPECT_EQ(NEGOZIAZIONE_RIFIUTATA, esito);
    EXPECT_THAT(LogDa(inizioLog),
                HasSubstr("Impossibile creare il file \".\\etc\\kl0.cfg\" necessario ad attivare Quadrivel \n"));
    EXPECT_EQ(1, contatoreFileParametri);

    SetCurrentDirectoryA("C:\\"); // la cartella corrente non si rimuove
    RimuoviAlbero(ambiente.prg);
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ambiente.prg.c_str()));
    size_t inizio = FineLog();
    Chiudi();
    Connetti();
    EXPECT_NE("", Conversa(1, Corpo(Testa("PROG"))));
    EXPECT_EQ(NEGOZIAZIONE_RIFIUTATA, esito);
    EXPECT_THAT(LogDa(inizio), HasSubstr("Impossibile cambiare la directory di lavoro a \"" + ambiente.prg + "\"\n"));
    EXPECT_THAT(LogDa(inizio), HasSubstr("Impossibile determinare la working directory dell'applicativo\n"));
}
