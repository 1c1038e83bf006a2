/* tests/setup/ServiziProvaWin.h - aiuti delle prove dell'installazione: servizi finti registrati con i
 * nomi dei servizi dipendenti, stato dei servizi, log del processo di prova. */
#ifndef TESTS_SETUP_SERVIZIPROVAWIN_H
#define TESTS_SETUP_SERVIZIPROVAWIN_H

#include "tests/finti/ProvaWin.h"

#include <string>

/* Registra (dopo aver tolto un servizio con lo stesso nome) il servizio finto nel modo dato
 * ("pronto", "lento", "bloccato", "rinuncia") con il tipo d'avvio dato. true se registrato. */
bool RegistraFinto(const std::string &nome, const std::string &modo, DWORD tipoAvvio);
/* Ferma (se gira) ed elimina un servizio; attende che il nome sia libero. */
void EliminaServizio(const std::string &nome);
/* Avvia il servizio e attende RUNNING (al piu' 10 s). */
bool AvviaEAttendi(const std::string &nome);
/* Stato corrente del servizio; 0 se non si puo' interrogare (assente). */
DWORD StatoServizio(const std::string &nome);
/* Attende lo stato per al piu' attesaMs; lo stato finale. */
DWORD AttendiStatoServizio(const std::string &nome, DWORD atteso, DWORD attesaMs);

/* Il log del processo di prova (tarnel.log accanto all'eseguibile): posizione attuale e testo da li' in poi. */
size_t FineLogProva();
std::string LogProvaDa(size_t inizio);

#endif
