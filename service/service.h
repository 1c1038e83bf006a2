/* service/service.h - host del servizio: porta di tarnel.cfg e listener. Il processo, ServiceMain e
 * il gestore dei comandi sono in ServiceWin.h; la riga di comando in ComandiWin.h. */
#ifndef SERVICE_SERVICE_H
#define SERVICE_SERVICE_H

#include <stddef.h>

#include "base/base.h"

/* Legge la porta da <strPathShare>\<sistInfo>\prg\etc\tarnel.cfg. 1 se la porta e' impostata
 * (dal file o quella di default), 0 se il file indica una porta non valida. */
int PortaSocket(const char *strPathShare, const char *sistInfo, int *porta);

#ifdef _WIN32
/* Procedura di thread di una connessione (firma di LPTHREAD_START_ROUTINE): riceve il socket
 * accettato come parametro del thread e ne diventa proprietaria. */
typedef unsigned long(__stdcall * ProceduraConnessione)(void *socketAccettato);

/* Prepara il socket di ascolto legato alla porta configurata. 1 se riuscito. Se fallisce un passo
 * di sistema, *passoFallito ne riceve il nome e l'ultimo errore del thread e' quello del passo;
 * se la porta e' rifiutata, *passoFallito e' NULL (la riga e' gia' nel log). */
int ApriListener(const char *strPathShare, const char *sistInfo, SocketRete *socketAscolto,
                 const char **passoFallito);
/* Ciclo di accept: un thread staccato per ogni connessione. Ritorna solo se il listener fallisce. */
void CicloAccept(SocketRete socketAscolto, ProceduraConnessione procedura);
#endif

#endif
