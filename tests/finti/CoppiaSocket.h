/* tests/finti/CoppiaSocket.h - due socket TCP connessi tra loro su 127.0.0.1 (porta effimera),
 * con Winsock o con i socket BSD. */
#ifndef FINTI_COPPIASOCKET_H
#define FINTI_COPPIASOCKET_H

#include "protocol/protocol.h"

/* Crea la coppia; 1 se riuscita. Su Windows avvia anche Winsock. */
int CreaCoppiaSocket(SocketRete *lato1, SocketRete *lato2);
void ChiudiSocket(SocketRete s);
/* Chiude il verso di invio: l'altro lato legge la fine della connessione. */
void ChiudiInvio(SocketRete s);

#endif
