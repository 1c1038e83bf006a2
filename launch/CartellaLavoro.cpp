/* launch/CartellaLavoro.cpp - cartella di lavoro del runtime: la cartella prg dell'ambiente in linea
 * o di un suo duplicato installato. Drive e cartella correnti sono di tutto il processo: i chiamanti
 * tengono il blocco della cartella di lavoro. */
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

int CambiaWorkingDirectory(RichiestaClient *richiesta)
{
    const InfoAmbiente *ambiente = &TabellaInfoInstallazione.ambienti[0];
    char lettera = ambiente->drive[0];
    char wkDir[DIM_PATH];

    if (!CambiaDriveCorrente(lettera)) {
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
    if (!CambiaDirectoryCorrente(wkDir)) {
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
    if (!CambiaDriveCorrente(lettera)) {
        ScriviLog("Ambiente duplicato \"%s\": impossibile cambiare il drive di lavoro a \"%c:\"\n", radice, lettera);
        ScriviLog("Impossibile determinare la working directory dell'ambiente duplicato (\"%s\")\n", radice);
        return 0;
    }
    CopiaTesto(richiesta->dirAmbiente, sizeof richiesta->dirAmbiente, radice);
    if (!FormattaTesto(cartella, sizeof cartella, "%s\\prg", radice) || !CambiaDirectoryCorrente(cartella)) {
        ScriviLog("Ambiente duplicato \"%s\": impossibile cambiare la directory di lavoro a \"%s\"\n", radice,
                  cartella);
        ScriviLog("Impossibile determinare la working directory dell'ambiente duplicato (\"%s\")\n", radice);
        return 0;
    }
    return 1;
}
