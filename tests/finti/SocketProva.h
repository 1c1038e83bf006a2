/* tests/finti/SocketProva.h - socket veri su 127.0.0.1 per i test delle conversazioni:
 * una coppia connessa su una porta effimera, niente altro. */
#ifndef FINTI_SOCKETPROVA_H
#define FINTI_SOCKETPROVA_H

#include "protocol/protocol.h"

/* Avvia la rete del processo (WSAStartup su Windows). 1 se riuscito. */
int AvviaReteProva(void);
/* Due socket connessi tra loro su 127.0.0.1, porta 0. 1 se riuscito. */
int CoppiaConnessa(SocketRete *cliente, SocketRete *servizio);
void ChiudiSocketProva(SocketRete s);
/* Chiude il verso d'invio: l'altro lato legge la fine della connessione. */
void ChiudiInvioProva(SocketRete s);

#endif
