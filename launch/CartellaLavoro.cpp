/* launch/CartellaLavoro.cpp - cartella di lavoro del runtime (la cartella prg dell'ambiente in linea
 * o di un suo duplicato installato) e aggiornamento dei formati. Drive e cartella correnti del
 * processo non si toccano: si controlla che esistano e i percorsi restano completi. */
#include "launch/launch.h"

#include "install/install.h"
#include "base/base.h"

static char Maiuscola(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

static int UgualiSenzaMaiuscole(const char *a, const char *b)
{
    while (*a != '\0' && Maiuscola(*a) == Maiuscola(*b)) {
        a++;
        b++;
    }
    return Maiuscola(*a) == Maiuscola(*b);
}

/* 1 se la lettera (A-Z) e' un drive che c'e': quello che serviva per renderlo corrente. */
static int DriveEsistente(char lettera)
{
    char radice[4] = {lettera, ':', '\\', '\0'};
    return lettera >= 'A' && lettera <= 'Z' && passiLancio.esisteCartella(radice);
}

int CambiaWorkingDirectory(RichiestaClient *richiesta)
{
    const InfoAmbiente *ambiente = &TabellaInfoInstallazione.ambienti[0];
    char lettera = ambiente->drive[0];
    char wkDir[DIM_PATH];

    if (!DriveEsistente(lettera)) {
        ScriviLog("Impossibile cambiare il drive di lavoro a \"%c:\"\n", lettera);
        ScriviLog("Impossibile determinare la working directory dell'applicativo\n");
        return 0;
    }
    if (!RadiceAmbiente(ambiente, richiesta->dirAmbiente, sizeof richiesta->dirAmbiente) ||
        !FormattaTesto(wkDir, sizeof wkDir, "%s\\prg", richiesta->dirAmbiente)) {
        ScriviLog("CambiaWorkingDirectory - radice dell'ambiente troppo lunga: \"%s\"\n", richiesta->dirAmbiente);
        ScriviLog("Impossibile determinare la working directory dell'applicativo\n");
        return 0;
    }
    ScriviLog("CambiaWorkingDirectory wkDir = \"%s\"\n", wkDir);
    if (!passiLancio.esisteCartella(wkDir)) {
        ScriviLog("Impossibile cambiare la directory di lavoro a \"%s\"\n", wkDir);
        ScriviLog("Impossibile determinare la working directory dell'applicativo\n");
        return 0;
    }
    return 1;
}

/* 1 se radice e' la radice di un ambiente della tabella: un client non sceglie cartelle qualsiasi. */
static int RadiceInstallata(const char *radice)
{
    char installata[DIM_PATH];

    for (int i = 0; i < TabellaInfoInstallazione.numAmbienti && i < MAX_AMBIENTI; i++) {
        if (RadiceAmbiente(&TabellaInfoInstallazione.ambienti[i], installata, sizeof installata) &&
            UgualiSenzaMaiuscole(installata, radice))
            return 1;
    }
    return 0;
}

int CambiaAmbienteDuplicato(const char *radice, RichiestaClient *richiesta)
{
    char lettera = Maiuscola(radice[0]);
    char cartella[DIM_PATH];

    if (!RadiceInstallata(radice)) {
        ScriviLog("Ambiente duplicato \"%s\": non e' la radice di un ambiente installato\n", radice);
        ScriviLog("Impossibile determinare la working directory dell'ambiente duplicato (\"%s\")\n", radice);
        return 0;
    }
    if (!DriveEsistente(lettera)) {
        ScriviLog("Ambiente duplicato \"%s\": impossibile cambiare il drive di lavoro a \"%c:\"\n", radice, lettera);
        ScriviLog("Impossibile determinare la working directory dell'ambiente duplicato (\"%s\")\n", radice);
        return 0;
    }
    CopiaTesto(richiesta->dirAmbiente, sizeof richiesta->dirAmbiente, radice);
    if (!FormattaTesto(cartella, sizeof cartella, "%s\\prg", radice) || !passiLancio.esisteCartella(cartella)) {
        ScriviLog("Ambiente duplicato \"%s\": impossibile cambiare la directory di lavoro a \"%s\"\n", radice,
                  cartella);
        ScriviLog("Impossibile determinare la working directory dell'ambiente duplicato (\"%s\")\n", radice);
        return 0;
    }
    return 1;
}

int MarcatoreAggiornamentoFormati(char *path, size_t dim)
{
    PathNellAmbiente(&TabellaInfoInstallazione.ambienti[0], &FILE_AGGIORNAMENTO_FORMATI, path, dim);
    return passiLancio.esisteFile(path);
}

int PathStrumentoFormati(char *path, size_t dim)
{
    return PathNellAmbiente(&TabellaInfoInstallazione.ambienti[0], &FILE_STRUMENTO_FORMATI, path, dim);
}

int CobolVisual(const char *dirAmbiente, char *path, size_t dim)
{
    PathSottoRadice(dirAmbiente, &FILE_COBOL_VISUAL, path, dim);
    return passiLancio.esisteFile(path);
}

/* Sotto il blocco dei formati: lo strumento kvix32a.exe dalla cartella prg, atteso fino alla fine,
 * poi la rimozione del marcatore. */
static void EseguiStrumentoFormati(const char *radice, const char *fileTestLink)
{
    char comando[DIM_PATH];
    char directorydilavoro[DIM_PATH];

    PathStrumentoFormati(comando, sizeof comando);
    /* La riga di comando e' il solo percorso del programma. */
    ScriviLog("AggiornamentoFormati comando = %s \n", comando);
    FormattaTesto(directorydilavoro, sizeof directorydilavoro, "%s\\prg", radice);
    ScriviLog("AggiornamentoFormati directorydilavoro = %s \n", directorydilavoro);
    ScriviLog("AggiornamentoFormati SetCurrentDirectory = %s \n", directorydilavoro);
    if (!passiLancio.avviaProgramma(comando, comando, directorydilavoro, AVVIO_ATTESA_FINE)) {
        ScriviLog("AggiornamentoFormati Errore nella CreateProcess comando = %s \n", comando);
        return;
    }
    ScriviLog("AggiornamentoFormati Eseguito il comando = %s \n", comando);
    passiLancio.rimuoviFile(fileTestLink);
    ScriviLog("AggiornamentoFormati dopo la rimozione = %s \n", fileTestLink);
}

void AggiornamentoFormati(void)
{
    const InfoAmbiente *ambiente = &TabellaInfoInstallazione.ambienti[0];
    char lettera = ambiente->drive[0];
    char radice[DIM_PATH];
    char fileTestLink[DIM_PATH];
    int presente = 0;

    if (!DriveEsistente(lettera)) {
        ScriviLog("Impossibile cambiare il drive di lavoro a \"%c:\"\n", lettera);
        return;
    }
    RadiceAmbiente(ambiente, radice, sizeof radice);
    presente = MarcatoreAggiornamentoFormati(fileTestLink, sizeof fileTestLink);
    ScriviLog("AggiornamentoFormati fileTestLink = %s \n", fileTestLink);
    /* Senza marcatore nessun blocco; con il marcatore si riguarda sotto il blocco: chi e' arrivato
     * mentre lo strumento girava lo trova gia' rimosso. */
    if (presente) {
        passiLancio.bloccaFormati();
        presente = passiLancio.esisteFile(fileTestLink);
        if (presente)
            EseguiStrumentoFormati(radice, fileTestLink);
        passiLancio.sbloccaFormati();
    }
    if (!presente)
        ScriviLog("AggiornamentoFormati NON e' presente il file  = %s \n", fileTestLink);
}
