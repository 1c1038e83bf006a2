/* launch/launch.h - richieste dei client: la negoziazione e il thread di ogni connessione accettata. */
#ifndef LAUNCH_LAUNCH_H
#define LAUNCH_LAUNCH_H

#include "protocol/protocol.h"

/* Campi di una richiesta di cui si tiene la posizione. */
#define MAX_CAMPI_RICHIESTA 20

/* Apre la conversazione (scambio chiavi), riceve la richiesta e la rimanda con il codice di
 * accettazione nei primi 4 caratteri del campo 0: "0101" in chiaro, "0109" cifrata.
 * 1 se riuscita; *inChiaro dice il modo. Non chiude mai il socket. */
int NegoziazioneRichiesta(SocketRete s, int *inChiaro);

#ifdef _WIN32
/* Procedura del thread di una connessione: il parametro e' il socket accettato, di cui diventa
 * proprietaria. Chiude il socket prima di finire. */
unsigned long __stdcall AttivazioneClient(void *socketAccettato);
#endif

#endif
