/* tests/setup/PathServizioTest.cpp - scelta del percorso registrato come servizio (disco fisso,
 * sostituzione, share di questa macchina, nessuno dei tre) e cartella che contiene l'ambiente. */
#include "setup/PathServizio.h"

#include "tests/finti/LogMemoria.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

/* Risposte del sistema decise dal caso, e cio' che la scelta ha chiesto. */
struct Sistema {
    const char *dispositivo; // NULL: QueryDosDevice fallisce
    const char *share;       // NULL: nessuno share contiene l'ambiente
    std::string drivesChiesti;
    std::string shareChiesto;
    int ricercheShare = 0;
    std::string rimappato;
};

int Dispositivo(void *contesto, const char *nomeDrive, char *dispositivo, size_t dim)
{
    Sistema *s = (Sistema *)contesto;
    s->drivesChiesti += nomeDrive;
    if (s->dispositivo == NULL)
        return 0;
    snprintf(dispositivo, dim, "%s", s->dispositivo);
    return 1;
}

int Share(void *contesto, const char *sistInfo, char *pathShare)
{
    Sistema *s = (Sistema *)contesto;
    s->ricercheShare++;
    s->shareChiesto = sistInfo;
    if (s->share == NULL)
        return 0;
    snprintf(pathShare, DIM_PATH, "%s", s->share);
    return 1;
}

void Rimappa(void *contesto, char lettera, const char *pathShare)
{
    Sistema *s = (Sistema *)contesto;
    s->rimappato = std::string(1, lettera) + "=" + pathShare;
}

const char pathProprio[] = "C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe";

/* La scelta con il sistema finto dato, a log vuoto, in un percorso d'uscita sporco. */
int Scegli(Sistema *sistema, const char *proprio, char lettera, int fisso, char (&path)[DIM_PATH])
{
    PassiPathServizio passi = {sistema, Dispositivo, Share, Rimappa};
    snprintf(path, sizeof path, "%s", "sporco");
    SvuotaLogMemoria();
    return ScegliPathServizio(&passi, proprio, lettera, fisso, "GEST1", path, sizeof path);
}

TEST(PathServizio, SceltaSecondoDriveSostituzioneEShare)
{
    struct Caso {
        const char *nome;
        char lettera;
        int fisso;
        const char *dispositivo, *share;
        int esito;
        const char *path, *log, *rimappato;
        int ricercheShare;
    } casi[] = {
        {"disco fisso: il proprio percorso", 'C', 1, "\\Device\\HarddiskVolume1", "C:\\NONUSATO", 1, pathProprio,
         "InstallazioneServizio - drive FISSO.\n"
         "InstallazioneServizio - drive = C: strPathShare = \\Device\\HarddiskVolume1 \n",
         "", 0},
        {"disco fisso che e' una sostituzione", 'Z', 1, "\\??\\C:\\ARCHIVI", NULL, 1,
         "C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe",
         "InstallazioneServizio - drive FISSO.\n"
         "InstallazioneServizio - drive = Z: strPathShare = \\??\\C:\\ARCHIVI \n"
         "InstallazioneServizio - drive SUBST pathServizio = C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe \n",
         "", 0},
        {"disco fisso senza risposta sul dispositivo: il proprio percorso", 'C', 1, NULL, NULL, 1, pathProprio,
         "InstallazioneServizio - drive FISSO.\nInstallazioneServizio - drive = C: strPathShare =  \n", "", 0},
        {"drive di rete verso uno share di questa macchina: rimappato", 'Z', 0, "\\??\\D:\\ALTRO", "C:\\ARCHIVI", 1,
         "C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe",
         "InstallazioneServizio - drive REMOTO.\n"
         "InstallazioneServizio - RicercaNetShare TrovataShare = C:\\ARCHIVI \n"
         "InstallazioneServizio - pathServizio = C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe \n",
         "Z=C:\\ARCHIVI", 1},
        {"share alla radice di un drive: niente barra doppia", 'Y', 0, NULL, "D:\\", 1,
         "D:\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe",
         "InstallazioneServizio - drive REMOTO.\n"
         "InstallazioneServizio - RicercaNetShare TrovataShare = D:\\ \n"
         "InstallazioneServizio - pathServizio = D:\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe \n",
         "Y=D:\\", 1},
        {"nessuno share ma una sostituzione", 'Q', 0, "\\??\\C:\\ARCHIVI\\", NULL, 1,
         "C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe",
         "InstallazioneServizio - drive REMOTO.\n"
         "InstallazioneServizio - RicercaNetShare Fallita.\n"
         "InstallazioneServizio - drive = Q: strPathShare = \\??\\C:\\ARCHIVI\\ \n"
         "InstallazioneServizio - drive SUBST pathServizio = C:\\ARCHIVI\\GEST1\\prg\\com\\drumal\\bin\\tarnel.exe \n",
         "", 1},
        {"drive di un'altra macchina: rifiutato", 'R', 0, "\\Device\\LanmanRedirector\\;R:0\\altro\\dati", NULL, 0,
         "",
         "InstallazioneServizio - drive REMOTO.\n"
         "InstallazioneServizio - RicercaNetShare Fallita.\n"
         "InstallazioneServizio - drive = R: strPathShare = \\Device\\LanmanRedirector\\;R:0\\altro\\dati \n"
         "InstallazioneServizio - Il drive R: non e' un disco locale ne' una sostituzione e nessuno share di questa "
         "macchina contiene l'ambiente GEST1: il servizio non potrebbe raggiungere il programma. Installazione "
         "rifiutata.\n",
         "", 1},
        {"lettera senza dispositivo e senza share: rifiutato", 'R', 0, NULL, NULL, 0, "", NULL, "", 1},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.nome);
        Sistema sistema;
        sistema.dispositivo = c.dispositivo;
        sistema.share = c.share;
        char path[DIM_PATH];
        EXPECT_EQ(c.esito, Scegli(&sistema, pathProprio, c.lettera, c.fisso, path));
        EXPECT_STREQ(c.path, path);
        if (c.log != NULL) {
            EXPECT_EQ(c.log, TestoLogMemoria());
        }
        EXPECT_EQ(c.rimappato, sistema.rimappato);
        EXPECT_EQ(c.ricercheShare, sistema.ricercheShare);
        if (c.ricercheShare) {
            EXPECT_EQ("GEST1", sistema.shareChiesto);
        }
    }
}

TEST(PathServizio, PercorsoTroppoLungoNonVieneRegistratoTroncato)
{
    // La cartella della sostituzione lascia posto al nome dell'ambiente ma non a bin\tarnel.exe.
    std::string cartella = "\\??\\C:\\" + std::string(DIM_PATH - 30, 'a');
    std::string proprio = "C:\\" + std::string(DIM_PATH - 3, 'b');
    struct Caso {
        const char *nome;
        int fisso;
        const char *dispositivo, *share, *proprio;
    } casi[] = {
        {"sostituzione", 1, cartella.c_str(), NULL, pathProprio},
        {"share", 0, NULL, cartella.c_str() + 4, pathProprio},
        {"proprio percorso", 1, "\\Device\\HarddiskVolume1", NULL, proprio.c_str()},
    };
    for (const Caso &c : casi) {
        SCOPED_TRACE(c.nome);
        Sistema sistema;
        sistema.dispositivo = c.dispositivo;
        sistema.share = c.share;
        char path[DIM_PATH];
        EXPECT_EQ(0, Scegli(&sistema, c.proprio, 'Z', c.fisso, path));
        EXPECT_STREQ("", path);
        EXPECT_NE(std::string::npos, TestoLogMemoria().find("percorso del servizio troppo lungo"));
        EXPECT_EQ("", sistema.rimappato);
    }
}

TEST(PathServizio, CartellaCheContieneLAmbiente)
{
    struct Caso {
        const char *root, *cartella;
    } casi[] = {
        {"C:\\ARCHIVI\\GEST1", "C:\\ARCHIVI"},
        {"C:\\DATI\\ARCHIVI\\GEST1", "C:\\DATI\\ARCHIVI"},
        {"C:\\GEST1", "C:\\"},        // la radice del drive, non la cartella corrente di C:
        {"C:", "C:"},                 // senza barra resta intera
        {"\\\\server\\share\\GEST1", "\\\\server\\share"},
        {"", ""},
    };
    for (const Caso &c : casi) {
        char cartella[DIM_PATH] = "sporco";
        EXPECT_EQ(1, CartellaContenitore(c.root, cartella, sizeof cartella));
        EXPECT_STREQ(c.cartella, cartella) << c.root;
    }
    char piccola[4];
    EXPECT_EQ(0, CartellaContenitore("C:\\ARCHIVI\\GEST1", piccola, sizeof piccola));
    EXPECT_STREQ("C:\\", piccola);
}

} // namespace
