/* tests/launch/RichiestaTest.cpp - controllo delle richieste, tipo del programma, carattere dell'anno
 * fiscale, smistamento nel record e file dei parametri, avvisi e versione. */
#include "launch/launch.h"

#include "install/install.h"
#include "tests/finti/LogMemoria.h"
#include "tests/launch/PassiProva.h"
#include "tests/finti/CanaleFinto.h"
#include "tests/launch/RichiestaProva.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string.h>

using ::testing::HasSubstr;


static const uint8_t *Dati(const std::string &testo)
{
    return (const uint8_t *)testo.data();
}

TEST(Richiesta, RecordNuovoSenzaNullaEConAsterisco)
{
    RichiestaClient r;
    memset(&r, 0x55, sizeof r);
    InizializzaRichiesta(&r);
    EXPECT_EQ('*', r.carAnnoFisc);
    EXPECT_EQ(0, r.compressione + r.inChiaro + r.avvioSP + r.richiestaVersione + r.parametriInEnvironment);
    for (const char *testo : {r.dirAmbiente, r.prodotto, r.fileParametri, r.utente, r.progra, r.config, r.studio,
                              r.operat, r.applic, r.parpas, r.descpr, r.infoStart})
        EXPECT_STREQ("", testo);
}

TEST(Richiesta, TipoDalSoloPrefissoDelProgramma)
{
    struct {
        std::string programma;
        TipoRichiesta tipo;
    } casi[] = {
        {T("cmd/unix/kelvatlog3"), RICHIESTA_KELVATLOG3},
        {"cmd/unix/kelvatlog3", RICHIESTA_KELVATLOG3}, // senza zero: conta solo il prefisso
        {T("cmd/unix/kelvatlog3xyz"), RICHIESTA_KELVATLOG3},
        {T("cmd/unix/kelvatlog5"), RICHIESTA_KELVATLOG5},
        {T("cmd/unix/kelvatlog6/altro"), RICHIESTA_KELVATLOG6},
        {T("cmd/unix/kelvatlog2"), RICHIESTA_KELVATLOG2},
        {T("sysadmin"), RICHIESTA_VERSIONE},
        {T("sysadminXYZ"), RICHIESTA_VERSIONE},
        {T("Sysadmin"), RICHIESTA_ORDINARIA},
        {T("sysadmi"), RICHIESTA_ORDINARIA},
        {"sysadmi", RICHIESTA_ORDINARIA}, // piu' corto del prefisso: non si legge oltre il campo
        {T("cmd/unix/kelvatlog4"), RICHIESTA_ORDINARIA},
        {T("cmd/unix/kelvatlog"), RICHIESTA_ORDINARIA},
        {T(""), RICHIESTA_ORDINARIA},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.programma);
        EXPECT_EQ(caso.tipo, TipoDaProgramma(Dati(caso.programma), (int)caso.programma.size()));
    }
}

TEST(Richiesta, CarattereDellAnnoKelvatlog3)
{
    struct {
        const char *anno;
        char carattere;
    } casi[] = {
        {"2019", '9'}, {"1999", '9'}, {"2020", 'a'}, {"2021", 'b'}, {"2024", 'e'}, {"2045", 'z'},
        {"2046", '{'}, {"2019abc", '9'}, {"", '*'}, {"0", '*'}, {"abc", '*'}, {"0000", '*'},
        {"2179", '*'}, // 'a' + 159 = 256: il carattere zero vale nessun anno
        {"2180", '\x01'}, {"12", '*'}, // meno di quattro caratteri: non c'e' il quarto
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.anno);
        EXPECT_EQ(caso.carattere, CarattereAnnoKelvatlog3(caso.anno));
    }
}

TEST(Richiesta, RichiesteMalformateRifiutateConIlMotivo)
{
    std::vector<std::string> ventuno = Testa("PROG");
    while (ventuno.size() < 21)
        ventuno.push_back(T("x"));
    std::vector<std::string> k3SenzaZero = Kelvatlog3("2024");
    k3SenzaZero[9] = "pr";
    std::vector<std::string> annoSenzaZero = Kelvatlog3("2024");
    annoSenzaZero[11] = "2024";
    std::vector<std::string> prodottoLungo = Kelvatlog3("2024");
    prodottoLungo[5] = T(std::string(80, 'p'));
    std::vector<std::string> ambienteLungo = Kelvatlog3("2024");
    ambienteLungo[12] = T("C:\\" + std::string(253, 'd'));
    std::vector<std::string> k3Corta = Kelvatlog3("2024");
    k3Corta.resize(13);
    std::vector<std::string> conCR = Kelvatlog3("2024");
    conCR[6] = T("st\r");
    std::vector<std::string> conLF = Kelvatlog56("cmd/unix/kelvatlog5", 14);
    conLF[11] = T("cf\nUTENTE=root");
    std::vector<std::string> k6Lungo = Kelvatlog56("cmd/unix/kelvatlog6", 12);
    k6Lungo[8] = T(std::string(256, 'v'));
    std::vector<std::string> infoLungo = Kelvatlog56("cmd/unix/kelvatlog5", 15);
    infoLungo[14] = T(std::string(256, 'i'));
    struct {
        std::string corpo;
        const char *motivo;
    } casi[] = {
        {Corpo(ventuno), "piu' di 20 campi"},
        {"00004abcd", "la lista dei campi non arriva a \"00000\" entro i 9 byte ricevuti"},
        {"0000", "la lista dei campi non arriva a \"00000\""},
        {"00009abcd00000", "la lista dei campi non arriva a \"00000\""},
        {"0000x", "la lista dei campi non arriva a \"00000\""},
        {"00000", "campo 0 di 0 byte, meno di 4"},
        {Corpo({"abc", T("a"), T("b"), T("S"), T("PROG")}), "campo 0 di 3 byte, meno di 4"},
        {Corpo({T("0000"), T("a"), T("b"), T("S")}), "4 campi, ne servono almeno 5"},
        {Corpo(k3Corta), "13 campi, il programma ne legge 14"},
        {Corpo(Kelvatlog56("cmd/unix/kelvatlog5", 11)), "11 campi, il programma ne legge 12"},
        {Corpo(Kelvatlog56("cmd/unix/kelvatlog6", 11)), "11 campi, il programma ne legge 12"},
        {Corpo(k3SenzaZero), "il campo 9 non ha lo zero finale"},
        {Corpo(annoSenzaZero), "il campo 11 non ha lo zero finale"},
        {Corpo(prodottoLungo), "il campo 5 ha 80 caratteri, piu' dei 79 del suo posto"},
        {Corpo(ambienteLungo), "il campo 12 ha 256 caratteri, piu' dei 255 del suo posto"},
        {Corpo(conCR), "il campo 6 contiene un a capo"},
        {Corpo(conLF), "il campo 11 contiene un a capo"},
        {Corpo(k6Lungo), "il campo 8 ha 256 caratteri, piu' dei 255 del suo posto"},
        {Corpo(infoLungo), "il campo 14 ha 256 caratteri, piu' dei 255 del suo posto"},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.motivo);
        CampoLista campi[MAX_CAMPI_RICHIESTA];
        SvuotaLogMemoria();
        const DescrittoreRichiesta *descrittore = NULL;
        EXPECT_EQ(0, ControllaRichiesta(Dati(caso.corpo), (int)caso.corpo.size(), campi, &descrittore));
        EXPECT_TRUE(descrittore == NULL);
        EXPECT_THAT(TestoLogMemoria(),
                    HasSubstr(std::string("NegoziazioneRichiesta - richiesta rifiutata: ") + caso.motivo));
    }
}

TEST(Richiesta, RichiesteBenFormateAccettateAlLimite)
{
    std::vector<std::string> venti = Testa("PROG");
    while (venti.size() < 20)
        venti.push_back("senza zero");
    std::vector<std::string> prodotto79 = Kelvatlog3("2024");
    prodotto79[5] = T(std::string(79, 'p'));
    std::vector<std::string> k6Pieno = Kelvatlog56("cmd/unix/kelvatlog6", 12);
    k6Pieno[8] = T(std::string(255, 'v'));
    std::vector<std::string> k5SenzaZeroNonLetto = Kelvatlog56("cmd/unix/kelvatlog5", 14);
    k5SenzaZeroNonLetto[12] = "non letto";
    k5SenzaZeroNonLetto[13] = "b"; // carattere dell'anno: si usa solo il primo
    struct {
        std::string corpo;
        int numCampi;
        const char *come;
    } casi[] = {
        {Corpo(venti, "coda dopo la fine"), 20, "20 campi e coda"},
        {Corpo({"0000", "a", "b", "s", "P"}), 5, "campo 0 di 4 byte senza zero"},
        {Corpo(prodotto79), 14, "prodotto di 79"},
        {Corpo(k6Pieno), 12, "valore di 255"},
        {Corpo(k5SenzaZeroNonLetto), 14, "campi non copiati senza zero"},
        {Corpo(Kelvatlog56("cmd/unix/kelvatlog2", 6)), 6, "kelvatlog2 senza anno"},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.come);
        CampoLista campi[MAX_CAMPI_RICHIESTA];
        SvuotaLogMemoria();
        const DescrittoreRichiesta *descrittore = NULL;
        EXPECT_EQ(caso.numCampi, ControllaRichiesta(Dati(caso.corpo), (int)caso.corpo.size(), campi, &descrittore));
        EXPECT_TRUE(descrittore != NULL);
        EXPECT_EQ("", TestoLogMemoria());
    }
}

/* Lo smistamento con i passi finti: il file ".\etc\kl<N>.cfg" si ritrova nella cartella etc della
 * cartella prg di dirAmbiente, con il percorso completo. */
class Smistamento : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallaPassiFinti();
        contatoreFileParametri = 0;
        memset(&TabellaInfoInstallazione, 0, sizeof TabellaInfoInstallazione);
        SvuotaLogMemoria();
    }
    void TearDown() override
    {
        RipristinaPassi();
    }
    /* Controlla e smista un corpo; rende il risultato dello smistamento (-1 se rifiutato prima). */
    int Smista(const std::vector<std::string> &campiTesto)
    {
        corpo = Corpo(campiTesto);
        InizializzaRichiesta(&r);
        CopiaTestoProva(r.dirAmbiente, "C:\\GEST1");
        const DescrittoreRichiesta *descrittore = NULL;
        int numCampi = ControllaRichiesta(Dati(corpo), (int)corpo.size(), campi, &descrittore);
        if (numCampi == 0)
            return -1;
        return SmistamentoProgramma(descrittore, Dati(corpo), campi, numCampi, &r);
    }
    static std::string Leggi(const std::string &nome)
    {
        return finti.scritti["C:\\GEST1\\prg" + nome.substr(1)];
    }
    std::string corpo;
    CampoLista campi[MAX_CAMPI_RICHIESTA];
    RichiestaClient r;
};

TEST_F(Smistamento, Kelvatlog3ScriveSetteRigheENumeraIFile)
{
    ASSERT_EQ(1, Smista(Kelvatlog3("2024")));
    EXPECT_STREQ(".\\etc\\kl0.cfg", r.fileParametri);
    EXPECT_STREQ("PROD", r.prodotto);
    EXPECT_EQ('e', r.carAnnoFisc);
    EXPECT_EQ(0, r.avvioSP + r.parametriInEnvironment + r.richiestaVersione);
    EXPECT_STREQ("", r.infoStart);
    EXPECT_EQ("UTENTE=\r\nPROGRA=pr\r\nCONFIG=cf\r\nSTUDIO=st\r\nOPERAT=op\r\nAPPLIC=ap\r\nPARPAS=pp\r\n",
              Leggi(".\\etc\\kl0.cfg"));

    // Il numero va avanti qualunque sia il tipo; kelvatlog6 non scrive file e non lo muove.
    ASSERT_EQ(1, Smista(Kelvatlog56("cmd/unix/kelvatlog6", 14)));
    EXPECT_STREQ("", r.fileParametri);
    ASSERT_EQ(1, Smista(Kelvatlog56("cmd/unix/kelvatlog5", 14)));
    EXPECT_STREQ(".\\etc\\kl1.cfg", r.fileParametri);
    EXPECT_EQ("UTENTE=\r\nPROGRA=pr\r\nCONFIG=cf\r\nSTUDIO=st\r\nOPERAT=op\r\nAPPLIC=ap\r\nPARPAS=pp\r\nDESCPR=ds\r\n",
              Leggi(".\\etc\\kl1.cfg"));
    EXPECT_EQ(2, contatoreFileParametri);
}

TEST_F(Smistamento, CampiDelRecordPerTipoENumeroDiCampi)
{
    struct {
        std::vector<std::string> campi;
        const char *come;
        char anno;
        const char *infoStart;
        int avvioSP, parametriInEnvironment, richiestaVersione, conFile;
    } casi[] = {
        {Kelvatlog56("cmd/unix/kelvatlog5", 12), "k5 di 12", '*', "", 1, 0, 0, 1},
        {Kelvatlog56("cmd/unix/kelvatlog5", 13), "k5 di 13", '*', "", 1, 0, 0, 1},
        {Kelvatlog56("cmd/unix/kelvatlog5", 14), "k5 di 14", 'b', "", 1, 0, 0, 1},
        {Kelvatlog56("cmd/unix/kelvatlog5", 15), "k5 di 15", 'b', "info", 1, 0, 0, 1},
        {Kelvatlog56("cmd/unix/kelvatlog5", 16), "k5 di 16", 'b', "", 1, 0, 0, 1},
        {Kelvatlog56("cmd/unix/kelvatlog5", 14, ""), "k5 anno vuoto", '*', "", 1, 0, 0, 1},
        {Kelvatlog56("cmd/unix/kelvatlog6", 13), "k6 di 13", '*', "", 1, 1, 0, 0},
        {Kelvatlog56("cmd/unix/kelvatlog6", 15), "k6 di 15", 'b', "", 1, 1, 0, 0},
        {Kelvatlog56("cmd/unix/kelvatlog6", 14, ""), "k6 anno vuoto", '*', "", 1, 1, 0, 0},
        {Kelvatlog56("cmd/unix/kelvatlog2", 6), "k2 di 6", '*', "", 0, 0, 0, 0},
        {Kelvatlog56("cmd/unix/kelvatlog2", 7, "x"), "k2 di 7", 'o', "", 0, 0, 0, 0}, // campo 6: "op"
        {Kelvatlog3("2019", "", "cmd/unix/kelvatlog3 e altro"), "k3 con coda", '9', "", 0, 0, 0, 1},
        {Kelvatlog3(""), "k3 anno vuoto", '*', "", 0, 0, 0, 1},
        {Testa("sysadmin"), "versione", '*', "", 0, 0, 1, 0},
        {Testa("sysadmin e altro"), "versione con coda", '*', "", 0, 0, 1, 0},
        {Testa("PROG"), "ordinaria", '*', "", 0, 0, 0, 0},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.come);
        ASSERT_EQ(1, Smista(caso.campi));
        EXPECT_EQ(caso.anno, r.carAnnoFisc);
        EXPECT_STREQ(caso.infoStart, r.infoStart);
        EXPECT_EQ(caso.avvioSP, r.avvioSP);
        EXPECT_EQ(caso.parametriInEnvironment, r.parametriInEnvironment);
        EXPECT_EQ(caso.richiestaVersione, r.richiestaVersione);
        EXPECT_EQ(caso.conFile, r.fileParametri[0] != '\0');
    }
}

TEST_F(Smistamento, Kelvatlog6MetteIParametriNelRecord)
{
    ASSERT_EQ(1, Smista(Kelvatlog56("cmd/unix/kelvatlog6", 12)));
    EXPECT_STREQ(" ", r.utente);
    EXPECT_STREQ("st", r.studio);
    EXPECT_STREQ("op", r.operat);
    EXPECT_STREQ("ap", r.applic);
    EXPECT_STREQ("pr", r.progra);
    EXPECT_STREQ("pp", r.parpas);
    EXPECT_STREQ("ds", r.descpr);
    EXPECT_STREQ("cf", r.config);
    EXPECT_EQ(0, contatoreFileParametri);
}

TEST_F(Smistamento, AmbienteDuplicatoNonInstallatoRifiutato)
{
    TabellaInfoInstallazione.numAmbienti = 2;
    CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].drive, "C");
    CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].sistInfo, "GEST1");
    CopiaTestoProva(TabellaInfoInstallazione.ambienti[1].drive, "D:\\GEST2");
    CopiaTestoProva(TabellaInfoInstallazione.ambienti[1].sistInfo, "GEST2");
    for (const char *radice : {"C:\\Windows", "D:\\GEST3", "D:\\GEST2\\..\\x", "D:\\GEST", "E:\\GEST2"}) {
        SCOPED_TRACE(radice);
        SvuotaLogMemoria();
        EXPECT_EQ(0, Smista(Kelvatlog3("2024", radice)));
        EXPECT_EQ(std::string("Ambiente duplicato \"") + radice +
                      "\": non e' la radice di un ambiente installato\n"
                      "Impossibile determinare la working directory dell'ambiente duplicato (\"" +
                      radice + "\")\n",
                  TestoLogMemoria());
    }
}

TEST(Avvisi, AvvisiDiAggiornamentoByteAByte)
{
    uint8_t area[256];
    std::string servizio((const char *)area, (size_t)AvvisoAggiornamentoServizio(area));
    EXPECT_EQ(144u, servizio.size());
    EXPECT_EQ("00005PANIC00124E' in corso l'aggiornamento del servizio di attivazione applicativi QOR:\nattendere "
              "alcuni istanti e ritentare la connessione00000",
              servizio);

    const std::string testo = "La procedura di aggiornamento e' in corso oppure l'ultimo aggiornamento eseguito ha "
                              "generato errori. Attendere alcuni istanti e ritentare la connessione.";
    std::string chiaro((const char *)area, (size_t)AvvisoAggiornamentoInChiaro(area));
    EXPECT_EQ(std::string("\x00\x00\x00\xAA", 4) + "00001E00154S" + testo + "00000", chiaro);
    std::string cifrato((const char *)area, (size_t)CorpoAvvisoAggiornamentoCifrato(area));
    EXPECT_EQ("999990020100153" + testo + "00000", cifrato);
    EXPECT_EQ(173u, cifrato.size());
}

TEST(Avvisi, VersioneConDueCifreOPiu)
{
    struct {
        uint32_t alta, bassa;
        const char *testo;
    } casi[] = {
        {0x00010002, 0x00030004, "01.02.03.04"},
        {0x00640000, 0x000A0063, "100.00.10.99"},
        {0xFFFFFFFF, 0xFFFFFFFF, "65535.65535.65535.65535"},
    };
    for (const auto &caso : casi) {
        char testo[DIM_VERSIONE];
        EXPECT_EQ(1, FormattaVersione(caso.alta, caso.bassa, testo, sizeof testo));
        EXPECT_STREQ(caso.testo, testo);
    }
}

TEST(CartellaLavoro, DriveNonValidoFallisceConLeDueRighe)
{
    memset(&TabellaInfoInstallazione, 0, sizeof TabellaInfoInstallazione);
    TabellaInfoInstallazione.numAmbienti = 1;
    CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].drive, "1");
    CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].sistInfo, "GEST1");
    RichiestaClient r;
    InizializzaRichiesta(&r);
    SvuotaLogMemoria();
    EXPECT_EQ(0, CambiaWorkingDirectory(&r));
    EXPECT_EQ("Impossibile cambiare il drive di lavoro a \"1:\"\n"
              "Impossibile determinare la working directory dell'applicativo\n",
              TestoLogMemoria());
    SvuotaLogMemoria();
    InstallaPassiFinti();
    CanaleFinto finto;
    CanaleRete canale;
    PreparaCanale(&canale, &finto);
    EXPECT_EQ(0, AggiornamentoInCorso(&canale, 1, 0));
    RipristinaPassi();
    EXPECT_EQ("AggiornamentoInCorso NON e' presente il file  = 1:\\GEST1\\prg\\aincorso.tst \n", TestoLogMemoria());
}

TEST(EsitoConversazione, TestiDellaRigaDiFine)
{
    struct {
        TipoEsitoConversazione tipo;
        const char *testo;
    } casi[] = {
        {CONVERSAZIONE_VERSIONE_INVIATA, "versione inviata"},
        {CONVERSAZIONE_RUNTIME_AVVIATO, "avviato trimox3_vc.exe (processo 4294967295)"},
        {CONVERSAZIONE_AVVISO_IN_CORSO, "avviso di aggiornamento in corso inviato"},
        {CONVERSAZIONE_AGGIORNAMENTO_SERVIZIO, "passata all'aggiornamento del servizio"},
        {CONVERSAZIONE_RIFIUTATA, "richiesta rifiutata"},
        {CONVERSAZIONE_INTERROTTA, "interrotta"},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.testo);
        EsitoConversazione esito = {caso.tipo, "trimox3_vc.exe", 0xFFFFFFFFu};
        char testo[DIM_NOME_RUNTIME + 32];
        TestoEsitoConversazione(testo, sizeof testo, &esito);
        EXPECT_STREQ(caso.testo, testo);
    }
    // Ogni negoziazione non riuscita ha il suo esito; una sconosciuta conta come interrotta.
    EXPECT_EQ(CONVERSAZIONE_INTERROTTA, EsitoDaNegoziazione(NEGOZIAZIONE_FALLITA));
    EXPECT_EQ(CONVERSAZIONE_AGGIORNAMENTO_SERVIZIO, EsitoDaNegoziazione(NEGOZIAZIONE_FINE_THREAD));
    EXPECT_EQ(CONVERSAZIONE_AVVISO_IN_CORSO, EsitoDaNegoziazione(NEGOZIAZIONE_AVVISO_INVIATO));
    EXPECT_EQ(CONVERSAZIONE_RIFIUTATA, EsitoDaNegoziazione(NEGOZIAZIONE_RIFIUTATA));
    EXPECT_EQ(CONVERSAZIONE_INTERROTTA, EsitoDaNegoziazione(99));
}
