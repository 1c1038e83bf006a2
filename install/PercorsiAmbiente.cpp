/* install/PercorsiAmbiente.cpp - la disposizione di un ambiente: i nomi relativi dei suoi file e
 * delle sue cartelle, la radice da cui ciascuno pende, e l'unione di una radice e di un nome.
 * Ogni nome e' scritto qui soltanto; chi compone un percorso dell'ambiente passa di qui. */
#include "install/install.h"

#include "base/base.h"

const char CARTELLA_DRUMAL[] = "\\prg\\com\\drumal\\";
const char CARTELLA_BIN_SERVIZIO[] = "prg\\com\\drumal\\bin";
const char CARTELLA_ETC[] = "prg\\etc";

const NomeAmbiente FILE_CONFIGUR = {CARTELLA_ETC, "configur", RADICE_AMBIENTE};
const NomeAmbiente FILE_PATHCONF = {CARTELLA_ETC, "pathconf", RADICE_AMBIENTE};
const NomeAmbiente FILE_DUPLICA = {CARTELLA_ETC, "duplica.cfg", RADICE_AMBIENTE};
const NomeAmbiente FILE_CONF_SERVIZIO = {CARTELLA_ETC, "tarnel.cfg", RADICE_LOCALE};
const NomeAmbiente FILE_COBOL_VISUAL = {CARTELLA_ETC, "cobol_vc.cfg", RADICE_AMBIENTE};
const NomeAmbiente FILE_AGGIORNAMENTO_FORMATI = {CARTELLA_ETC, "updatefo.cfg", RADICE_AMBIENTE};
const NomeAmbiente FILE_AGGIORNAMENTO_IN_CORSO = {"prg", "aincorso.tst", RADICE_AMBIENTE};
const NomeAmbiente FILE_SERVIZIO_NUOVO = {CARTELLA_BIN_SERVIZIO, "tarnel.new", RADICE_LOCALE};
const NomeAmbiente FILE_ESEGUIBILE_SERVIZIO = {CARTELLA_BIN_SERVIZIO, "tarnel.exe", RADICE_LOCALE};
const NomeAmbiente FILE_AGGIORNATORE = {CARTELLA_BIN_SERVIZIO, "updqorservice.exe", RADICE_LOCALE};
const NomeAmbiente FILE_STRUMENTO_FORMATI = {CARTELLA_BIN_SERVIZIO, "kvix32a.exe", RADICE_AMBIENTE};

const char *const ESEGUIBILI_RUNTIME[2][2] = {{"trimox3.exe", "trimox3_vc.exe"}, {"trimox4.exe", "trimox4_vc.exe"}};

int UnisciPercorso(const char *radice, const char *relativo, char *dest, size_t dim)
{
    return FormattaTesto(dest, dim, "%s\\%s", radice, relativo);
}

int PathSottoRadice(const char *radice, const NomeAmbiente *nome, char *dest, size_t dim)
{
    return FormattaTesto(dest, dim, "%s\\%s\\%s", radice, nome->cartella, nome->file);
}

int PathNellAmbiente(const InfoAmbiente *ambiente, const NomeAmbiente *nome, char *dest, size_t dim)
{
    char radice[DIM_PATH];
    int intera = nome->radice == RADICE_LOCALE ? RadiceLocaleAmbiente(ambiente, radice, sizeof radice)
                                               : RadiceAmbiente(ambiente, radice, sizeof radice);

    return PathSottoRadice(radice, nome, dest, dim) && intera;
}

const char *NomeRuntime(int inChiaro, int cobolVisual)
{
    return ESEGUIBILI_RUNTIME[inChiaro ? 1 : 0][cobolVisual ? 1 : 0];
}

int PathRuntime(const char *radice, int inChiaro, int cobolVisual, char *dest, size_t dim)
{
    return FormattaTesto(dest, dim, "%s\\%s\\%s", radice, CARTELLA_BIN_SERVIZIO, NomeRuntime(inChiaro, cobolVisual));
}
