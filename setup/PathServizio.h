/* setup/PathServizio.h - da dove il gestore dei servizi avviera' tarnel.exe e quale cartella deve
 * essere accessibile a LocalSystem. Intestazione portabile: le chiamate di sistema arrivano dal
 * chiamante come passi (PassiPathServizio), cosi' la scelta si prova senza dischi, sostituzioni o
 * share veri. */
#ifndef SETUP_PATHSERVIZIO_H
#define SETUP_PATHSERVIZIO_H

#include <stddef.h>

#include "base/base.h"

/* I passi di sistema della scelta (vedi base.h): InstallazioneServizioWin.cpp passa quelli veri, le
 * prove i loro. */
typedef struct PassiPathServizio {
    void *contesto;
    /* Il dispositivo dietro il nome di drive "X:" (QueryDosDevice): 1 se il sistema ha risposto. */
    int (*dispositivoDrive)(void *contesto, const char *nomeDrive, char *dispositivo, size_t dim);
    /* Lo share di questa macchina che contiene la cartella sistInfo: la sua cartella in pathShare
     * (DIM_PATH byte). 1 se trovato. */
    int (*ricercaShare)(void *contesto, const char *sistInfo, char *pathShare);
    /* Sostituisce la connessione di rete del drive con una sostituzione della cartella dello share. */
    void (*rimappaDrive)(void *contesto, char lettera, const char *pathShare);
} PassiPathServizio;

/* Sceglie il percorso da registrare: su un disco fisso il proprio, o quello sotto la cartella di una
 * sostituzione; su un altro drive quello sotto la cartella dello share di questa macchina (e il drive
 * viene rimappato), altrimenti sotto la cartella di una sostituzione. Un drive che non e' nessuna di
 * queste cose non e' raggiungibile da LocalSystem: 0 e la riga del rifiuto. 1 se scelto. */
int ScegliPathServizio(const PassiPathServizio *passi, const char *pathMeStesso, char lettera, int driveFisso,
                       const char *sistInfo, char *pathServizio, size_t dim);

/* La cartella che contiene l'ambiente: rootSistInfo tagliata prima dell'ultima barra (intera se non ne
 * ha); la radice di un drive resta "X:\". 1 se il testo e' entrato intero. */
int CartellaContenitore(const char *rootSistInfo, char *cartella, size_t dim);

#endif
