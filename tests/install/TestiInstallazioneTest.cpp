/* tests/install/TestiInstallazioneTest.cpp - testi dell'installazione: radice e nome dal percorso,
 * drive da configur, pathconf e INI, campi di duplica.cfg, candidati degli share. */
#include "install/TestiInstallazione.h"

#include "install/install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdio.h>
#include <string>

#ifdef _WIN32
#include <process.h>
#define IdProcesso _getpid
#else
#include <unistd.h>
#define IdProcesso getpid
#endif

namespace {

TEST(PercorsoInstallazione, RadiceENomeDellAmbiente)
{
    struct Caso {
        const char *path;
        int esito;
        const char *radice, *sistInfo;
    } casi[] = {
        {"C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe", 1, "C:\\ARCHIVI\\GEST1", "GEST1"},
        {"C:\\ARCHIVI\\GEST1\\PRG\\Com\\DRUMAL\\bin\\tarnel.exe", 1, "C:\\ARCHIVI\\GEST1", "GEST1"},
        {"C:\\prg\\com\\drumal\\bin\\tarnel.exe", 1, "C:", ""},
        {"\\prg\\com\\drumal\\", 1, "", ""},                          // esattamente il testo cercato
        {"D:\\kzo\\prg\\com\\drumal\\bin\\tarnel.exe", 1, "D:\\kzo", ""},
        {"D:\\kzo\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe", 1, "D:\\kzo\\GEST1", ""},
        {"D:\\ARCHIVI\\KZOfiles\\GEST1\\prg\\com\\drumal\\x", 1, "D:\\ARCHIVI\\KZOfiles\\GEST1", ""},
        {"D:\\ARCHIVI\\GEST1kzo\\prg\\com\\drumal\\x", 1, "D:\\ARCHIVI\\GEST1kzo", "GEST1kzo"},
        {"C:\\A\\prg\\com\\drumal\\B\\prg\\com\\drumal\\x", 1, "C:\\A", "A"}, // prima occorrenza
        {"\\prg\\com\\drumal", 0, "", ""},                            // 15 caratteri
        {"C:\\GEST1\\prg\\com\\drumal", 0, "", ""},                   // manca la barra finale
        {"C:\\GEST1\\prg\\com\\drumalx\\bin\\tarnel.exe", 0, "", ""},
        {"C:\\GEST1\\prg\\com\\bin\\tarnel.exe", 0, "", ""},
        {"", 0, "", ""},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.path);
        char radice[DIM_PATH] = "";
        char sistInfo[DIM_PATH] = "";
        ASSERT_EQ(c.esito, RadiceDaPercorso(c.path, radice, sizeof radice));
        if (!c.esito)
            continue;
        EXPECT_STREQ(c.radice, radice);
        EXPECT_EQ(1, SistInfoDaRadice(radice, sistInfo, sizeof sistInfo));
        EXPECT_STREQ(c.sistInfo, sistInfo);
    }
}

TEST(PercorsoInstallazione, RadiceCheNonEntraFallisce)
{
    char radice[8];
    EXPECT_EQ(0, RadiceDaPercorso("C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe", radice, sizeof radice));
    EXPECT_EQ(1, RadiceDaPercorso("C:\\GEST\\prg\\com\\drumal\\bin\\tarnel.exe", radice, sizeof radice));
    EXPECT_STREQ("C:\\GEST", radice);
}

TEST(PercorsoInstallazione, LetteraEDuePunti)
{
    struct Caso {
        const char *testo;
        int esito;
        char lettera;
    } casi[] = {
        {"z:", 1, 'Z'}, {"Z:\\GEST1", 1, 'Z'}, {"a:x", 1, 'A'}, {"1:", 0, 0},   {"Z", 0, 0},
        {"ZZ", 0, 0},   {":", 0, 0},           {"", 0, 0},      {"\xe9:", 0, 0}, {" Z:", 0, 0},
        {"[:", 0, 0},   {"`:", 0, 0},          {"{:", 0, 0},    {"@:", 0, 0},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.testo);
        char lettera = 0;
        EXPECT_EQ(c.esito, DriveDaTesto(c.testo, &lettera));
        if (c.esito) {
            EXPECT_EQ(c.lettera, lettera);
        }
    }
}

/* Un file temporaneo con il contenuto dato, aperto in lettura binaria; chiuso e rimosso alla fine. */
class FileProva {
public:
    explicit FileProva(const std::string &contenuto)
    {
        static int numero = 0;
        path = (std::filesystem::temp_directory_path() / ("tnl_righe_" + std::to_string(IdProcesso()) + "_" + std::to_string(++numero) + ".txt")).string();
        FILE *scrittura = fopen(path.c_str(), "wb");
        if (scrittura != NULL) {
            fwrite(contenuto.data(), 1, contenuto.size(), scrittura);
            fclose(scrittura);
        }
        file = fopen(path.c_str(), "rb");
    }
    ~FileProva()
    {
        if (file != NULL)
            fclose(file);
        remove(path.c_str());
    }
    FILE *file = NULL;
    std::string path;
};

/* Una riga di pathconf: inizio, riempita fino alla colonna 76, poi la marca e il seguito. */
std::string RigaPathconf(const std::string &inizio, char marca, const std::string &seguito = "xyz")
{
    std::string riga = inizio;
    riga.resize(COLONNA_MARCA_PATHCONF - 1, '.');
    return riga + marca + seguito + "\r\n";
}

TEST(FileConfigurazione, DriveDallaPrimaRigaDiConfigur)
{
    struct Caso {
        std::string contenuto;
        int esito;
        char lettera;
    } casi[] = {
        {"z:\r\naltro\r\n", DRIVE_LETTO, 'Z'},
        {"Y:", DRIVE_LETTO, 'Y'},                          // senza fine riga
        {"q:" + std::string(700, 'x') + "\n", DRIVE_LETTO, 'Q'},
        {"", DRIVE_NESSUNA_RIGA, 0},
        {"\r\nz:\r\n", DRIVE_NON_VALIDO, 0},               // conta solo la prima riga
        {"ARCHIVI\r\n", DRIVE_NON_VALIDO, 0},
        {"1:\r\n", DRIVE_NON_VALIDO, 0},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.contenuto.substr(0, 20));
        FileProva prova(c.contenuto);
        ASSERT_NE(nullptr, prova.file);
        char lettera = 0;
        EXPECT_EQ(c.esito, DriveDaConfigur(prova.file, &lettera));
        if (c.esito == DRIVE_LETTO) {
            EXPECT_EQ(c.lettera, lettera);
        }
    }
}

TEST(FileConfigurazione, DriveDallaRigaMarcataDiPathconf)
{
    std::string lunga = "a:" + std::string(509, '-');                   // primo pezzo: 511 caratteri
    struct Caso {
        const char *nome;
        std::string contenuto;
        int esito;
        char lettera;
    } casi[] = {
        {"terza riga", RigaPathconf("c:", 'N') + RigaPathconf("d:", ' ') + RigaPathconf("y:", 'S'), DRIVE_LETTO, 'Y'},
        {"la prima marcata decide", RigaPathconf("1:", 'S') + RigaPathconf("y:", 'S'), DRIVE_NON_VALIDO, 0},
        {"nessuna marcata", RigaPathconf("c:", 'N') + RigaPathconf("d:", 's'), DRIVE_NESSUNA_RIGA, 0},
        {"file vuoto", "", DRIVE_NESSUNA_RIGA, 0},
        {"76 caratteri", std::string("e:") + std::string(73, '.') + "S\r\n", DRIVE_NESSUNA_RIGA, 0},
        {"S alla 78", std::string("e:") + std::string(75, '.') + "S\r\n", DRIVE_NESSUNA_RIGA, 0},
        {"77 caratteri senza fine riga", std::string("f:") + std::string(74, '.') + "S", DRIVE_LETTO, 'F'},
        {"S nel secondo pezzo", lunga + RigaPathconf("w:", 'S'), DRIVE_LETTO, 'W'},
        {"pezzo di 511 marcato", std::string("v:") + std::string(74, '.') + "S" + std::string(600, '.') + "\r\n",
         DRIVE_LETTO, 'V'},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.nome);
        FileProva prova(c.contenuto);
        ASSERT_NE(nullptr, prova.file);
        char lettera = 0;
        EXPECT_EQ(c.esito, DriveDaPathconf(prova.file, &lettera));
        if (c.esito == DRIVE_LETTO) {
            EXPECT_EQ(c.lettera, lettera);
        }
    }
}

TEST(FileConfigurazione, RigheLungheLetteAPezziDi511)
{
    FileProva prova(std::string(1100, 'x') + "\nfine\n");
    ASSERT_NE(nullptr, prova.file);
    char riga[DIM_RIGA_CONFIGURAZIONE];
    size_t lunghezze[4] = {0};
    int pezzi = 0;
    while (pezzi < 4 && LeggiPezzoRiga(prova.file, riga))
        lunghezze[pezzi++] = strlen(riga);
    EXPECT_EQ(4, pezzi);
    EXPECT_EQ(511u, lunghezze[0]);
    EXPECT_EQ(511u, lunghezze[1]);
    EXPECT_EQ(79u, lunghezze[2]);  // 78 caratteri e l'a capo
    EXPECT_EQ(5u, lunghezze[3]);
    EXPECT_EQ(0, LeggiPezzoRiga(prova.file, riga));
}

TEST(FileIni, ProdottoDalPercorso)
{
    struct Caso {
        const char *path;
        const char *fileIni;  // NULL: nessuna riga
    } casi[] = {
        {"C:\\tarvo\\prg\\com\\drumal\\bin\\tarnel.exe", "tarvo.ini"},
        {"C:\\X\\TARVO\\PRG\\com\\drumal\\bin\\tarnel.exe", "tarvo.ini"},
        {"C:\\tormina\\prg\\com\\drumal\\bin\\tarnel.exe", ""},
        {"C:\\ferolina\\prg\\com\\drumal\\bin\\tarnel.exe", "ferolina.ini"},
        {"C:\\kzo\\prg\\com\\drumal\\bin\\tarnel.exe", "kzo.ini"},
        {"C:\\kzo\\prg\\tarvo\\prg\\bin\\tarnel.exe", "tarvo.ini"},   // decide l'ordine delle righe
        {"C:\\mytarvo\\prg\\com\\drumal\\bin\\tarnel.exe", NULL},
        {"C:\\tarvo2\\prg\\com\\drumal\\bin\\tarnel.exe", NULL},
        {"C:\\tarvo\\prgx\\com\\drumal\\bin\\tarnel.exe", NULL},
        {"C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe", NULL},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.path);
        const ProdottoIni *prodotto = ProdottoIniDaPercorso(c.path);
        if (c.fileIni == NULL) {
            EXPECT_EQ(nullptr, prodotto);
        } else {
            ASSERT_NE(nullptr, prodotto);
            EXPECT_STREQ(c.fileIni, prodotto->fileIni);
        }
    }
}

TEST(FileIni, ValoreDiSetup)
{
    struct Caso {
        const char *valore;
        int esito;
        char lettera;
    } casi[] = {
        {"E:", 1, 'E'}, {"e:\\ARCHIVI", 1, 'E'}, {"**", 0, 0}, {"", 0, 0}, {"*:", 0, 0}, {"E", 0, 0}, {"**:", 0, 0},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.valore);
        char lettera = 0;
        EXPECT_EQ(c.esito, DriveDaValoreIni(c.valore, &lettera));
        if (c.esito) {
            EXPECT_EQ(c.lettera, lettera);
        }
    }
}

/* Una riga di duplica.cfg: cinque colonne libere, il campo riempito a 30, poi il seguito. */
std::string RigaDuplica(const std::string &campo, const std::string &seguito = "  commento\r\n")
{
    std::string riga = "00001" + campo;
    riga.resize(INIZIO_CAMPO_DUPLICA + LUNG_CAMPO_DUPLICA, ' ');
    return riga + seguito;
}

TEST(FileDuplica, CampoENomeDellAmbiente)
{
    struct Caso {
        const char *nome;
        std::string riga;
        int esito;
        const char *campo, *sistInfo;
    } casi[] = {
        {"campo tipico", RigaDuplica("Z:\\GEST2"), 1, "Z:\\GEST2", "GEST2"},
        {"35 caratteri esatti", RigaDuplica("z:\\GEST2", "\r\n"), 1, "z:\\GEST2", "GEST2"},
        {"35 senza fine riga", RigaDuplica("Z:\\GEST2", ""), 1, "Z:\\GEST2", "GEST2"},
        {"blank interni", RigaDuplica("Z:\\MIO AMB"), 1, "Z:\\MIO AMB", "MIO AMB"},
        {"campo pieno", RigaDuplica("Y:\\" + std::string(27, 'N'), "Xresto\n"), 1, nullptr, nullptr},
        {"solo lettera e barra", RigaDuplica("Z:\\"), 1, "Z:\\", ""},
        {"due caratteri", RigaDuplica("Z:"), 1, "Z:", ""},
        {"campo vuoto", RigaDuplica(""), 0, "", ""},
        {"solo il primo carattere", RigaDuplica("Z"), 0, "", ""},
        {"34 caratteri", "00001Z:\\GEST2" + std::string(21, ' ') + "\r\n", 0, "Z:\\GEST2", ""},
        {"corta senza blank", "00001Z:\\GEST2\r\n", 0, "Z:\\GEST2", ""},
        {"riga vuota", "\r\n", 0, "", ""},
        {"riga di 5 caratteri", "00001\n", 0, "", ""},
        {"riga di 3 caratteri", "abc", 0, "", ""},
        {"nulla", "", 0, "", ""},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.nome);
        char campo[DIM_PATH] = "x";
        EXPECT_EQ(c.esito, CampoDuplica(c.riga.c_str(), campo, sizeof campo));
        std::string campoAtteso = c.campo != nullptr ? c.campo : "Y:\\" + std::string(27, 'N');
        std::string nomeAtteso = c.sistInfo != nullptr ? c.sistInfo : std::string(27, 'N');
        EXPECT_EQ(campoAtteso, campo);
        if (c.esito) {
            EXPECT_EQ(nomeAtteso, NomeDaCampoDuplica(campo));
        }
    }
}

TEST(FileDuplica, PezzoDi511SenzaFineRiga)
{
    std::string pezzo = RigaDuplica("X:\\GEST4", std::string(476, '.'));
    ASSERT_EQ(511u, pezzo.size());
    char campo[DIM_PATH];
    EXPECT_EQ(1, CampoDuplica(pezzo.c_str(), campo, sizeof campo));
    EXPECT_STREQ("X:\\GEST4", campo);
}

TEST(CandidatiShare, CartellaBarraENome)
{
    struct Caso {
        const char *share, *nome, *candidato;
    } casi[] = {
        {"C:\\ARCHIVI", "GEST1", "C:\\ARCHIVI\\GEST1"},
        {"C:\\", "GEST1", "C:\\GEST1"},
        {"C:\\ARCHIVI\\", "GEST1", "C:\\ARCHIVI\\GEST1"},
        {"C:\\ARCHIVI", "", "C:\\ARCHIVI\\"},
    };
    for (const Caso &c : casi) {
        char candidato[DIM_PATH];
        EXPECT_EQ(1, CandidatoShare(c.share, c.nome, candidato, sizeof candidato));
        EXPECT_STREQ(c.candidato, candidato);
    }
    char piccolo[10];
    EXPECT_EQ(0, CandidatoShare("C:\\ARCHIVI", "GEST1", piccolo, sizeof piccolo));
    EXPECT_EQ(1, CandidatoShare("C:\\ARCHI", "", piccolo, sizeof piccolo));
}

} // namespace
