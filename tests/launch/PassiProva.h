/* tests/launch/PassiProva.h - passi di sistema finti di una richiesta: file e cartelle che esistono,
 * file scritti, programmi avviati, tutto in memoria. */
#ifndef PROVE_LAUNCH_PASSIPROVA_H
#define PROVE_LAUNCH_PASSIPROVA_H

#include "launch/launch.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct PassiFinti {
    std::set<std::string> file, cartelle;     /* quelli che esistono */
    std::map<std::string, std::string> scritti; /* percorso -> contenuto */
    std::vector<std::string> avviati;         /* "programma | comando | cartella | modo" */
    int avvioRiesce = 1; /* quanto rende avviaProgramma: 1, 0 o AVVIO_GIA_IN_CORSO */
    bool scritturaRiesce = true;
    uint32_t orologioMs = 0; /* l'orologio dei passi: lo muove solo la prova */
};
extern PassiFinti finti;

/* Mette i passi finti, con finti vuoto; RipristinaPassi rimette quelli veri. */
void InstallaPassiFinti();
void RipristinaPassi();
/* Un ambiente che esiste: il drive e le cartelle radice e prg. */
void AmbienteFinto(const std::string &radice);

#endif
