/* tests/launch/NegoziazioneRichiestaTest.cpp - la negoziazione intera su un canale a copione, con i
 * passi di sistema finti: byte della risposta, rifiuti, i tre avvisi, l'aggiornamento del servizio e
 * quello dei formati, le righe di log nel loro ordine. */
#include "launch/launch.h"

#include "install/install.h"
#include "tests/finti/LogMemoria.h"
#include "tests/launch/PassiProva.h"
#include "tests/launch/RichiestaProva.h"
#include "tests/finti/CanaleFinto.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string.h>

using ::testing::HasSubstr;

static const std::string RADICE = "C:\\GEST1";
static const std::string BIN = "C:\\GEST1\\prg\\com\\drumal\\bin";

/* Materiale di chiave del client: non comincia come la frase. */
static std::vector<uint8_t> Materiale(unsigned seme)
{
    std::vector<uint8_t> m = Sequenza(DIM_CHIAVE, seme);
    m[0] = 0x11;
    return m;
}

static void ChiaveDa(FlussoChiave *flusso, const uint8_t *byte)
{
    memset(flusso, 0, sizeof *flusso);
    for (int i = 0; i < DIM_CHIAVE; i++)
        flusso->chiave[i] = byte[i] ^ TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
}

/* Quello che il client manda: frase e trama in chiaro, o materiale e trama cifrata. */
static std::vector<uint8_t> Apertura(bool inChiaro, const std::string &corpo, unsigned seme = 3)
{
    CanaleFinto uscita;
    CanaleRete canale;
    PreparaCanale(&canale, &uscita);
    std::vector<uint8_t> area = Byte(corpo);
    if (inChiaro) {
        invioBufferInChiaroCanale(&canale, area.data(), (int)area.size());
        return Unisci({Byte(FRASE_IN_CHIARO), uscita.inviati});
    }
    std::vector<uint8_t> materiale = Materiale(seme);
    StatoCifratura cliente = {};
    ChiaveDa(&cliente.invio, materiale.data());
    invioBufferCanale(&canale, &cliente, area.data(), (int)area.size());
    return Unisci({materiale, uscita.inviati});
}

/* La prima trama di quanto il servizio ha mandato da da in poi (cifrata: dopo i suoi 1024 byte di
 * chiave). Rende il payload e in *resto i byte che la seguono. */
static std::string Trama(bool inChiaro, const std::vector<uint8_t> &inviati, std::vector<uint8_t> *resto,
                         size_t da = 0)
{
    CanaleFinto finto;
    CanaleRete canale;
    StatoCifratura cliente = {};
    uint8_t area[DIM_AREA_MESSAGGIO];
    int lung = 0;
    if (inChiaro) {
        /* La ricezione in chiaro prende anche i byte dietro la trama: qui si conta la lunghezza. */
        std::string testo((const char *)inviati.data() + da, inviati.size() - da);
        size_t n = testo.size() >= 10 ? strtoul(testo.substr(0, 10).c_str(), NULL, 10) : 0;
        if (testo.size() < 10 + n)
            return "";
        if (resto != NULL)
            *resto = Parte(inviati, da + 10 + n, inviati.size());
        return testo.substr(10, n);
    }
    if (inviati.size() < da + DIM_CHIAVE)
        return "";
    ChiaveDa(&cliente.ricezione, inviati.data() + da);
    da += DIM_CHIAVE;
    finto.ingresso = Parte(inviati, da, inviati.size());
    PreparaCanale(&canale, &finto);
    int esito = ricezioneBufferCanale(&canale, &cliente, area, sizeof area, &lung);
    if (resto != NULL)
        *resto = Parte(finto.ingresso, finto.letti, finto.ingresso.size());
    return esito == ESITO_FATTO ? std::string((const char *)area, (size_t)lung) : "";
}

class NegoziazioneNativa : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallaPassiFinti();
        AmbienteFinto(RADICE);
        memset(&TabellaInfoInstallazione, 0, sizeof TabellaInfoInstallazione);
        TabellaInfoInstallazione.numAmbienti = 2;
        CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].drive, "C");
        CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].sistInfo, "GEST1");
        CopiaTestoProva(TabellaInfoInstallazione.ambienti[1].drive, "D:\\GEST2");
        CopiaTestoProva(TabellaInfoInstallazione.ambienti[1].sistInfo, "GEST2");
        contatoreFileParametri = 0;
        SvuotaLogMemoria();
    }
    void TearDown() override
    {
        RipristinaPassi();
    }
    int Negozia(const std::vector<uint8_t> &ingresso, int invioInErrore = -1)
    {
        finto = CanaleFinto();
        finto.ingresso = ingresso;
        finto.invioInErrore = invioInErrore;
        CanaleRete canale;
        PreparaCanale(&canale, &finto);
        InizializzaRichiesta(&r);
        return NegoziazioneRichiestaCanale(&canale, &r);
    }
    CanaleFinto finto;
    RichiestaClient r;
};

TEST_F(NegoziazioneNativa, RispostaERigheDiLogInEntrambiIModi)
{
    struct {
        bool inChiaro;
        std::string compressione, codice;
        int compressioneAttesa;
    } casi[] = {{false, "S", "0109", 1}, {true, "Si", "0101", 1}, {true, "s", "0101", 0}, {false, "N", "0109", 0}};
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.codice + caso.compressione);
        SvuotaLogMemoria();
        std::string corpo = Corpo(Testa("PROG", caso.compressione), "coda");
        std::string attesa = corpo;
        attesa.replace(5, 4, caso.codice);
        ASSERT_EQ(NEGOZIAZIONE_RIUSCITA, Negozia(Apertura(caso.inChiaro, corpo)));
        std::vector<uint8_t> resto;
        EXPECT_EQ(attesa, Trama(caso.inChiaro, finto.inviati, &resto));
        EXPECT_TRUE(resto.empty());
        EXPECT_EQ(caso.inChiaro ? 1 : 0, r.inChiaro);
        EXPECT_EQ(caso.compressioneAttesa, r.compressione);
        EXPECT_EQ(RADICE, r.dirAmbiente);
        EXPECT_EQ("AggiornamentoInCorso NON e' presente il file  = C:\\GEST1\\prg\\aincorso.tst \n"
                  "AggiornamentoFormati fileTestLink = C:\\GEST1\\prg\\etc\\updatefo.cfg \n"
                  "AggiornamentoFormati NON e' presente il file  = C:\\GEST1\\prg\\etc\\updatefo.cfg \n"
                  "CambiaWorkingDirectory wkDir = \"C:\\GEST1\\prg\"\n",
                  TestoLogMemoria());
    }
    // Uno scambio in chiaro: uno sguardo e una sola ricezione per la frase, anche con gli zeri dietro.
    std::vector<uint8_t> imbottita = Apertura(true, Corpo(Testa("PROG")));
    imbottita.insert(imbottita.begin() + LUNG_FRASE_IN_CHIARO, 500, 0);
    EXPECT_EQ(NEGOZIAZIONE_RIUSCITA, Negozia(imbottita));
    EXPECT_EQ(LUNG_FRASE_IN_CHIARO + 500, finto.richieste[0]);
}

TEST_F(NegoziazioneNativa, RifiutiConLaLoroRigaESenzaRisposta)
{
    std::string malformato = Corpo({"abc"});
    struct {
        const char *nome;
        std::vector<uint8_t> ingresso;
        int invioInErrore;
        std::string log;
        size_t inviati;
        int esito;
    } casi[] = {
        {"nessun byte", {}, -1, "Impossibile attivare la comunicazione Criptazione KO...\n", 0, NEGOZIAZIONE_FALLITA},
        {"chiuso dopo la frase", Byte(FRASE_IN_CHIARO), -1, "", 0, NEGOZIAZIONE_FALLITA},
        {"chiuso dopo la chiave", Materiale(3), -1, "Errore ricezioneBuffer Client Grafico\n", DIM_CHIAVE,
         NEGOZIAZIONE_FALLITA},
        {"malformata", Apertura(true, malformato), -1, "campo 0 di 3 byte", 0, NEGOZIAZIONE_RIFIUTATA},
        {"risposta in chiaro fallita", Apertura(true, Corpo(Testa("PROG"))), 0, "", 0, NEGOZIAZIONE_FALLITA},
        {"risposta cifrata fallita", Apertura(false, Corpo(Testa("PROG"))), 1, "Errore invioBuffer Client Grafico\n",
         DIM_CHIAVE, NEGOZIAZIONE_FALLITA},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.nome);
        SvuotaLogMemoria();
        EXPECT_EQ(caso.esito, Negozia(caso.ingresso, caso.invioInErrore));
        EXPECT_THAT(TestoLogMemoria(), HasSubstr(caso.log));
        EXPECT_EQ(caso.inviati, finto.inviati.size());
        EXPECT_TRUE(finti.avviati.empty());
    }
}

TEST_F(NegoziazioneNativa, DriveOCartellaMancantiDopoLaRisposta)
{
    struct {
        const char *nome;
        std::string togli, righe;
    } casi[] = {
        {"drive", "C:\\", "Impossibile cambiare il drive di lavoro a \"C:\"\n"
                          "Impossibile cambiare il drive di lavoro a \"C:\"\n"
                          "Impossibile determinare la working directory dell'applicativo\n"},
        {"prg", RADICE + "\\prg", "Impossibile cambiare la directory di lavoro a \"C:\\GEST1\\prg\"\n"
                                  "Impossibile determinare la working directory dell'applicativo\n"},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.nome);
        AmbienteFinto(RADICE);
        finti.cartelle.erase(caso.togli);
        SvuotaLogMemoria();
        EXPECT_EQ(NEGOZIAZIONE_RIFIUTATA, Negozia(Apertura(true, Corpo(Testa("PROG")))));
        EXPECT_NE("", Trama(true, finto.inviati, NULL));
        std::string log = TestoLogMemoria();
        EXPECT_EQ(caso.righe, log.substr(log.size() - std::min(log.size(), caso.righe.size())));
    }
}

TEST_F(NegoziazioneNativa, Kelvatlog3DuplicatoFileNelPrimoAmbiente)
{
    AmbienteFinto("d:\\gest2");
    AmbienteFinto("D:\\GEST2");
    ASSERT_EQ(NEGOZIAZIONE_RIUSCITA, Negozia(Apertura(false, Corpo(Kelvatlog3("2024", "d:\\gest2")))));
    EXPECT_STREQ("d:\\gest2", r.dirAmbiente);
    EXPECT_STREQ(".\\etc\\kl0.cfg", r.fileParametri);
    ASSERT_EQ(1u, finti.scritti.count(RADICE + "\\prg\\etc\\kl0.cfg"));
    EXPECT_EQ("UTENTE=\r\nPROGRA=pr\r\nCONFIG=cf\r\nSTUDIO=st\r\nOPERAT=op\r\nAPPLIC=ap\r\nPARPAS=pp\r\n",
              finti.scritti[RADICE + "\\prg\\etc\\kl0.cfg"]);

    finti.cartelle.erase("D:\\GEST2\\prg");
    SvuotaLogMemoria();
    EXPECT_EQ(NEGOZIAZIONE_RIFIUTATA, Negozia(Apertura(false, Corpo(Kelvatlog3("2024", "D:\\GEST2")))));
    EXPECT_THAT(TestoLogMemoria(),
                HasSubstr("Ambiente duplicato \"D:\\GEST2\": impossibile cambiare la directory di lavoro a "
                          "\"D:\\GEST2\\prg\"\nImpossibile determinare la working directory dell'ambiente "
                          "duplicato (\"D:\\GEST2\")\n"));
    finti.scritturaRiesce = false;
    SvuotaLogMemoria();
    EXPECT_EQ(NEGOZIAZIONE_RIFIUTATA, Negozia(Apertura(true, Corpo(Kelvatlog3("2024")))));
    EXPECT_EQ("Impossibile creare il file \".\\etc\\kl2.cfg\" necessario ad attivare Quadrivel \n",
              TestoLogMemoria().substr(TestoLogMemoria().find("Impossibile")));
}

/* In chiaro l'avviso di 174 byte; cifrato un nuovo scambio chiavi e la trama, compressa o no. */
TEST_F(NegoziazioneNativa, AvvisoDiAggiornamentoApplicativoNeiTreModi)
{
    const std::string testo = "La procedura di aggiornamento e' in corso oppure l'ultimo aggiornamento eseguito ha "
                              "generato errori. Attendere alcuni istanti e ritentare la connessione.";
    finti.file.insert(RADICE + "\\prg\\aincorso.tst");
    finti.file.insert(BIN + "\\tarnel.new"); // con l'applicativo in aggiornamento non conta
    for (std::string compressione : {"", "N", "S"}) {
        bool inChiaro = compressione.empty();
        SCOPED_TRACE(inChiaro ? "in chiaro" : compressione);
        SvuotaLogMemoria();
        std::vector<uint8_t> ingresso = Apertura(inChiaro, Corpo(Testa("PROG", inChiaro ? "N" : compressione)));
        if (!inChiaro)
            ingresso = Unisci({ingresso, Apertura(false, "00000", 4)});
        EXPECT_EQ(NEGOZIAZIONE_AVVISO_INVIATO, Negozia(ingresso));
        std::vector<uint8_t> resto;
        EXPECT_NE("", Trama(inChiaro, finto.inviati, &resto));
        if (inChiaro) {
            EXPECT_EQ(Unisci({Byte(std::string("\x00\x00\x00\xAA", 4)), Byte("00001E00154S" + testo + "00000")}),
                      resto);
        } else {
            std::string avviso = Trama(false, resto, NULL);
            if (compressione == "S") {
                uint8_t chiaro[DIM_AREA_MESSAGGIO];
                int n = DecomprimiLzw((const uint8_t *)avviso.data(), (int)avviso.size(), chiaro, sizeof chiaro);
                avviso.assign((const char *)chiaro, n > 0 ? (size_t)n : 0);
            }
            EXPECT_EQ("999990020100153" + testo + "00000", avviso);
            EXPECT_EQ(0u, RestantiCanale(&finto)); // la trama del client dopo l'avviso e' letta
        }
        EXPECT_THAT(TestoLogMemoria(), HasSubstr("Impossibile attivare il programma: aggiornamento in corso...\n"));
        EXPECT_THAT(TestoLogMemoria(), ::testing::Not(HasSubstr("AggiornamentoFormati")));
        EXPECT_TRUE(finti.avviati.empty());
    }
}

TEST_F(NegoziazioneNativa, NuovoServizioSoloCifratoAvvisaEFinisceIlThread)
{
    finti.file.insert(BIN + "\\tarnel.new");
    // Avviato, non avviato, o il precedente che gira ancora: l'avviso arriva sempre.
    for (int riesce : {1, 0, AVVIO_GIA_IN_CORSO}) {
        SCOPED_TRACE(riesce);
        finti.avviati.clear();
        finti.avvioRiesce = riesce;
        SvuotaLogMemoria();
        EXPECT_EQ(riesce == AVVIO_GIA_IN_CORSO ? NEGOZIAZIONE_AGGIORNATORE_IN_CORSO : NEGOZIAZIONE_FINE_THREAD,
                  Negozia(Apertura(false, Corpo(Testa("PROG")))));
        std::string dopoChiave((const char *)finto.inviati.data() + DIM_CHIAVE, finto.inviati.size() - DIM_CHIAVE);
        EXPECT_EQ("00005PANIC00124E' in corso l'aggiornamento del servizio di attivazione applicativi QOR:\n"
                  "attendere alcuni istanti e ritentare la connessione00000",
                  dopoChiave);
        const std::string comando = BIN + "\\updqorservice.exe tarnel.exe tarnel.new";
        EXPECT_EQ(std::vector<std::string>{BIN + "\\updqorservice.exe | " + comando + " | " + BIN + " | 2"},
                  finti.avviati);
        if (riesce == AVVIO_GIA_IN_CORSO)
            EXPECT_THAT(TestoLogMemoria(), HasSubstr("Procedura di aggiornamento del Servizio di attivazione applicativi "
                                                     "QOR gia' in corso: nessun altro avvio, connessione chiusa\n"));
        else
            EXPECT_THAT(TestoLogMemoria(), HasSubstr(std::string(riesce ? "Attivata" : "Impossibile attivare") +
                                                     " la procedura di aggiornamento del Servizio di attivazione "
                                                     "applicativi QOR: \"" + comando + "\"\n"));
    }
    // In chiaro il nuovo servizio non si guarda.
    EXPECT_EQ(NEGOZIAZIONE_RIUSCITA, Negozia(Apertura(true, Corpo(Testa("PROG")))));
}

TEST_F(NegoziazioneNativa, AggiornamentoFormatiConLoStrumentoPoiSenzaMarcatore)
{
    const std::string marcatore = RADICE + "\\prg\\etc\\updatefo.cfg";
    const std::string strumento = BIN + "\\kvix32a.exe";
    for (bool riesce : {false, true, true}) {
        SCOPED_TRACE(riesce);
        finti.avvioRiesce = riesce;
        finti.avviati.clear();
        SvuotaLogMemoria();
        bool presente = finti.file.count(marcatore) != 0 || !riesce;
        if (!riesce)
            finti.file.insert(marcatore);
        EXPECT_EQ(NEGOZIAZIONE_RIUSCITA, Negozia(Apertura(true, Corpo(Testa("sysadmin")))));
        EXPECT_EQ(1, r.richiestaVersione);
        std::string log = TestoLogMemoria();
        if (!presente) {
            EXPECT_TRUE(finti.avviati.empty());
            EXPECT_THAT(log, HasSubstr("AggiornamentoFormati NON e' presente il file  = " + marcatore + " \n"));
            continue;
        }
        EXPECT_EQ(std::vector<std::string>{strumento + " | " + strumento + " | " + RADICE + "\\prg | 1"}, finti.avviati);
        std::string righe = "AggiornamentoFormati comando = " + strumento + " \n"
                            "AggiornamentoFormati directorydilavoro = C:\\GEST1\\prg \n"
                            "AggiornamentoFormati SetCurrentDirectory = C:\\GEST1\\prg \n" +
                            (riesce ? "AggiornamentoFormati Eseguito il comando = " + strumento + " \n"
                                      "AggiornamentoFormati dopo la rimozione = " + marcatore + " \n"
                                    : "AggiornamentoFormati Errore nella CreateProcess comando = " + strumento + " \n");
        EXPECT_THAT(log, HasSubstr(righe));
        EXPECT_EQ(riesce ? 0u : 1u, finti.file.count(marcatore));
    }
}

/* Un client lento sull'orologio dei passi finti: i pezzi arrivano uno ogni passoMs; finito il
 * prefisso, il ciclo si ripete senza fine (vuoto: il client tace). Una ricezione su un client
 * muto attende il limite del socket e fallisce. */
struct ClienteLento {
    std::vector<uint8_t> prefisso, ciclo;
    int pezzo;
    uint32_t passoMs;
    size_t letti;
    uint32_t arrivoMs;
};

static bool HaDati(const ClienteLento *c)
{
    return c->letti < c->prefisso.size() || !c->ciclo.empty();
}

static int ConsegnaLento(ClienteLento *c, uint8_t *dove, int quanti, bool consuma)
{
    if (!HaDati(c)) {
        finti.orologioMs += ATTESA_RICEZIONE_CLIENT_MS;
        return -1;
    }
    if ((int32_t)(c->arrivoMs - finti.orologioMs) > 0)
        finti.orologioMs = c->arrivoMs;
    int n = 0;
    for (size_t i = c->letti; n < quanti && n < c->pezzo; i++, n++)
        dove[n] = i < c->prefisso.size() ? c->prefisso[i] : c->ciclo[(i - c->prefisso.size()) % c->ciclo.size()];
    if (consuma) {
        c->letti += (size_t)n;
        c->arrivoMs = finti.orologioMs + c->passoMs;
    }
    return n;
}

static int RiceviLento(void *c, uint8_t *dove, int quanti)
{
    return ConsegnaLento((ClienteLento *)c, dove, quanti, true);
}

static int SbirciaLento(void *c, uint8_t *dove, int quanti)
{
    return ConsegnaLento((ClienteLento *)c, dove, quanti, false);
}

static int AttendiLento(void *contesto, int millisecondi)
{
    ClienteLento *c = (ClienteLento *)contesto;
    if (HaDati(c) && (int32_t)(c->arrivoMs - finti.orologioMs) <= millisecondi) {
        if ((int32_t)(c->arrivoMs - finti.orologioMs) > 0)
            finti.orologioMs = c->arrivoMs;
        return 1;
    }
    finti.orologioMs += (uint32_t)millisecondi;
    return 0;
}

static int InviaLento(void *, const uint8_t *, int quanti)
{
    return quanti;
}

TEST_F(NegoziazioneNativa, OgniClienteLentoCadeAllaScadenza)
{
    const std::string riga = "AttivazioneClient - richiesta non completata in 60 s: connessione chiusa\n";
    std::vector<uint8_t> materiale = Materiale(5);
    struct {
        const char *nome;
        ClienteLento cliente;
        bool rigaScadenza;
    } casi[] = {
        // Un byte ogni 1,5 s: ogni ricezione resta sotto il limite del socket.
        {"a goccia", {Apertura(true, std::string(200, 'x')), {}, 1, 1500, 0, 0}, true},
        // Buste PANIC vuote senza fine dopo il materiale di chiave.
        {"buste vuote", {materiale, Byte("00000PANIC00000"), DIM_CHIAVE, 1000, 0, 0}, true},
        // Meta' del materiale di chiave, poi silenzio.
        {"scambio interrotto", {Parte(materiale, 0, 500), {}, 500, 0, 0, 0}, true},
        // Un client muto cade alla prima ricezione, come sempre, senza la riga della scadenza.
        {"muto", {{}, {}, 1, 0, 0, 0}, false},
    };
    for (auto &caso : casi) {
        SCOPED_TRACE(caso.nome);
        SvuotaLogMemoria();
        finti.orologioMs = 0xFFFFF000u;  // l'orologio fa il giro durante la negoziazione
        caso.cliente.arrivoMs = finti.orologioMs;
        uint32_t inizio = finti.orologioMs;
        CanaleRete canale = {RiceviLento, InviaLento, AttendiLento, SbirciaLento, &caso.cliente};
        InizializzaRichiesta(&r);
        EXPECT_EQ(NEGOZIAZIONE_FALLITA, NegoziazioneRichiestaCanale(&canale, &r));
        uint32_t durata = finti.orologioMs - inizio;
        EXPECT_GE(durata, LIMITE_NEGOZIAZIONE_MS);
        EXPECT_LE(durata, LIMITE_NEGOZIAZIONE_MS + caso.cliente.passoMs);
        std::string log = TestoLogMemoria();
        size_t primo = log.find(riga);
        EXPECT_EQ(caso.rigaScadenza, primo != std::string::npos) << log;
        if (primo != std::string::npos) {
            EXPECT_EQ(std::string::npos, log.find(riga, primo + 1)) << log;  // una volta sola
        }
    }
}
