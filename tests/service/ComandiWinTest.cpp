/* tests/service/ComandiWinTest.cpp - la riga di comando di tarnel.exe: opzioni, modo silente, messaggi,
 * verifica dell'amministratore, codici d'uscita. Nel processo di prova, con la finestra di messaggio
 * registrata invece che mostrata; il testo d'uso dal vero tarnel.exe. */
#include "tests/finti/PassiSalvati.h"
#include "tests/finti/ProvaWin.h"
#include "tests/setup/ServiziProvaWin.h"

#include "service/ComandiWin.h"
#include "base/base.h"

#include <sddl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Messaggio {
    HWND proprietario;
    std::string testo, titolo;
    UINT stile;
};
std::vector<Messaggio> messaggi;

int WINAPI RegistraMessaggio(HWND proprietario, LPCSTR testo, LPCSTR titolo, UINT stile)
{
    messaggi.push_back({proprietario, testo, titolo, stile});
    return IDOK;
}

int NonAmministratore(void)
{
    return 0;
}

const char nomeVisualizzato[] = "Servizio di attivazione applicativi QOR";

std::string TestoFallimento(const std::string &inizio)
{
    return inizio + "\"" + nomeVisualizzato + "\"\nUlteriori informazioni nel file di log: \"" + CartellaEseguibile() +
           "tarnel.log\"";
}

class RigaDiComando : public ::testing::Test {
protected:
    void SetUp() override
    {
        messaggi.clear();
        passiComandi.mostraMessaggio = RegistraMessaggio;
        EliminaServizio("tarnel");
        EliminaServizio("LanmanWorkstation"); // l'installazione si ferma ai servizi dipendenti
        ScriviLog("inizio prova\n");
        inizioLog = FineLogProva();
    }
    void TearDown() override
    {
        EliminaServizio("tarnel");
    }
    int Esegui(std::vector<const char *> argomenti)
    {
        argomenti.insert(argomenti.begin(), "tarnel");
        return EseguiComando((int)argomenti.size(), const_cast<char **>(argomenti.data()));
    }
    size_t inizioLog = 0;
    PassiSalvati<PassiComandi> salvati{passiComandi};
};

TEST_F(RigaDiComando, ComandiSulServizioAssenteMessaggiESilenzio)
{
    struct Caso {
        std::vector<const char *> argomenti;
        const char *riga;     // NULL: nessuna riga nel log
        const char *errore;   // il record d'errore atteso
        const char *messaggio; // NULL: nessuna finestra
    } casi[] = {
        {{"-s", "-stop"}, ": main - Eseguo arresto del servizio\r\n", ": OpenService: errore 1060: ", NULL},
        {{"-stop"}, ": main - Eseguo arresto del servizio\r\n", ": OpenService: errore 1060: ",
         "Impossibile eseguire \"stop\" di "},
        {{"-START"}, ": main - Eseguo avvio del servizio\r\n", ": OpenService: errore 1060: ",
         "Impossibile eseguire \"start\" di "},
        {{"-S", "-Start"}, ": main - Eseguo avvio del servizio\r\n", ": OpenService: errore 1060: ", NULL},
        {{"-r", "argomento", "ignorato"}, ": main - Eseguo la rimozione del servizio\r\n", ": OpenService: errore 1060: ",
         "Impossibile rimuovere: "},
        {{"-s", "-R"}, ": main - Eseguo la rimozione del servizio\r\n", ": OpenService: errore 1060: ", NULL},
        // -s dopo l'opzione non conta: il messaggio c'e'.
        {{"-i", "-s"}, ": main - Eseguo l'installazione del servizio\r\n",
         ": InstallazioneServizio - Almeno uno dei servizi dipendenti non e' attivo!!!!!", "Impossibile installare: "},
        {{"-s", "-i"}, ": main - Eseguo l'installazione del servizio\r\n", ": TestDipendenze LanmanWorkstation FALLITA\r\n",
         NULL},
        {{"-x"}, NULL, NULL, NULL},
        {{"-s"}, NULL, NULL, NULL},
        {{"-s", "-s", "-i"}, NULL, NULL, NULL},
        {{"i"}, NULL, NULL, NULL},
        {{""}, NULL, NULL, NULL},
    };
    for (const Caso &c : casi) {
        std::string nome;
        for (const char *a : c.argomenti)
            nome += std::string(a) + " ";
        SCOPED_TRACE(nome);
        messaggi.clear();
        size_t inizio = FineLogProva();
        EXPECT_EQ(1, Esegui(c.argomenti));
        std::string log = LogProvaDa(inizio);
        if (c.riga == NULL) {
            EXPECT_EQ("", log);
        } else {
            EXPECT_THAT(log, HasSubstr(c.riga));
            EXPECT_THAT(log, HasSubstr(c.errore));
        }
        if (c.messaggio == NULL) {
            EXPECT_EQ(0u, messaggi.size());
        } else {
            ASSERT_EQ(1u, messaggi.size());
            EXPECT_EQ(TestoFallimento(c.messaggio), messaggi[0].testo);
            EXPECT_EQ("Errore", messaggi[0].titolo);
            EXPECT_EQ(0x42010u, messaggi[0].stile);
            EXPECT_EQ(GetDesktopWindow(), messaggi[0].proprietario);
        }
    }
}

TEST_F(RigaDiComando, NonAmministratoreRifiutatoAncheInSilenzio)
{
    passiComandi.verificaAmministratore = NonAmministratore;
    for (std::vector<const char *> argomenti : {std::vector<const char *>{"-s", "-i"}, {"-I"}}) {
        messaggi.clear();
        size_t inizio = FineLogProva();
        EXPECT_EQ(1, Esegui(argomenti));
        std::string log = LogProvaDa(inizio);
        EXPECT_THAT(log, HasSubstr(": main - Eseguo l'installazione del servizio\r\n"));
        EXPECT_THAT(log, HasSubstr(": main - NON SONO AMMINISTRATORE\r\n"));
        EXPECT_THAT(log, Not(HasSubstr("TestDipendenze")));
        ASSERT_EQ(1u, messaggi.size());
        EXPECT_EQ("Per utilizzare questo programma e' necessario possedere i privilegi di Amminisratore",
                  messaggi[0].testo);
        EXPECT_EQ("Errore", messaggi[0].titolo);
        EXPECT_EQ(0x42010u, messaggi[0].stile);
    }
}

TEST_F(RigaDiComando, ArrestoDiUnServizioFermoERimozione)
{
    // Un servizio finto registrato con il nome del servizio: fermo, lo STOP fallisce.
    ASSERT_TRUE(RegistraFinto("tarnel", "pronto", SERVICE_DEMAND_START));
    EXPECT_EQ(1, Esegui({"-s", "-stop"}));
    EXPECT_THAT(LogProvaDa(inizioLog), HasSubstr(": ControlService: errore 1062: "));

    ASSERT_TRUE(AvviaEAttendi("tarnel"));
    EXPECT_EQ(0, Esegui({"-s", "-stop"}));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, StatoServizio("tarnel"));
    EXPECT_EQ(0, Esegui({"-s", "-start"}));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, AttendiStatoServizio("tarnel", SERVICE_RUNNING, 10000));
    EXPECT_EQ(0, Esegui({"-s", "-stop"}));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, StatoServizio("tarnel"));

    EXPECT_EQ(0, Esegui({"-r"}));
    EXPECT_EQ(0u, StatoServizio("tarnel"));
    EXPECT_EQ(0u, messaggi.size());
    EXPECT_THAT(LogProvaDa(inizioLog), Not(HasSubstr("DeleteService")));
}

TEST(Amministratore, IlTokenDelProcessoDecideComeCheckTokenMembership)
{
    PSID amministratori = NULL;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-32-544", &amministratori));
    BOOL membro = FALSE;
    ASSERT_TRUE(CheckTokenMembership(NULL, amministratori, &membro));
    LocalFree(amministratori);
    // Sotto Wine l'utente e' amministratore: il gruppo c'e' ed e' abilitato.
    EXPECT_EQ(membro ? 1 : 0, IsAmministratore());
}

TEST(RigaDiComandoEseguibile, TestoDUsoPerOpzioniSconosciute)
{
    std::string tarnel = PathDaLinux(PATH_TARNEL_EXE);
    std::string uso = "Opzioni:\n\t" + tarnel + " [-s] -i\tInstallazione servizio\n\t" + tarnel +
                      " [-s] -r\tRimozione servizio\n\t" + tarnel + " [-s] -start\tAttivazione servizio\n\t" + tarnel +
                      " [-s] -stop\tDisattivazione servizio\n\t" + tarnel +
                      " -check\tVerifica dell'installazione\n\t" + tarnel +
                      " [-s] -reload\tRilettura di tarnel.cfg\n\n\t-s: abilita la modalita' silente (no message box)\n";
    for (const char *argomenti : {"-x", "-s", "-s -x", "/i", "-stopp"}) {
        SCOPED_TRACE(argomenti);
        std::string uscita;
        EXPECT_EQ(1, EseguiConUscita("\"" + tarnel + "\" " + argomenti, &uscita));
        EXPECT_EQ(uso, uscita);
    }
}

} // namespace
