/* tests/launch/PassiProva.cpp - i passi di sistema finti. */
#include "tests/launch/PassiProva.h"

#include <ctype.h>

PassiFinti finti;
static PassiLancio veri;
static bool installati = false;

static int EsisteFileFinto(const char *path)
{
    return finti.file.count(path) != 0;
}

static int EsisteCartellaFinta(const char *path)
{
    return finti.cartelle.count(path) != 0;
}

static int ScriviFileFinto(const char *path, const char *dati, int lung)
{
    if (!finti.scritturaRiesce)
        return 0;
    finti.scritti[path] = std::string(dati, (size_t)lung);
    finti.file.insert(path);
    return 1;
}

static void RimuoviFileFinto(const char *path)
{
    finti.file.erase(path);
}

static int AvviaProgrammaFinto(const char *programma, const char *comando, const char *cartella, int attendi)
{
    finti.avviati.push_back(std::string(programma) + " | " + comando + " | " + cartella + " | " +
                            std::to_string(attendi));
    return finti.avvioRiesce;
}

static void NienteBlocco(void)
{
}

static uint32_t OrologioFinto(void)
{
    return finti.orologioMs;
}

void InstallaPassiFinti()
{
    if (!installati)
        veri = passiLancio;
    installati = true;
    finti = PassiFinti();
    passiLancio = {EsisteFileFinto, EsisteCartellaFinta, ScriviFileFinto, RimuoviFileFinto, AvviaProgrammaFinto,
                   NienteBlocco, NienteBlocco, OrologioFinto};
}

void RipristinaPassi()
{
    if (installati)
        passiLancio = veri;
}

void AmbienteFinto(const std::string &radice)
{
    finti.cartelle.insert(std::string(1, (char)toupper(radice[0])) + ":\\");
    finti.cartelle.insert(radice);
    finti.cartelle.insert(radice + "\\prg");
}
