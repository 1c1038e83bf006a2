/* service/service.h - host del servizio: porta di tarnel.cfg e listener. Il processo, ServiceMain e
 * il gestore dei comandi sono in ServiceWin.h; la riga di comando in ComandiWin.h. */
#ifndef SERVICE_SERVICE_H
#define SERVICE_SERVICE_H

#include <stddef.h>

#include "base/base.h"
#include "service/Ammissione.h"

/* Quanto il servizio legge da tarnel.cfg. */
typedef struct ConfigServizio {
    char pathConf[DIM_PATH];
    int porta;
    ConfigAmmissione ammissione;
} ConfigServizio;

/* Legge <strPathShare>\<sistInfo>\prg\etc\tarnel.cfg: la porta (dal file o quella di default) e le
 * regole di ammissione, scrivendo nel log le righe dell'avvio. 0 se un valore non e' valido (la riga
 * e' nel log); la configurazione resta allora parziale. */
int LeggiConfigServizio(const char *strPathShare, const char *sistInfo, ConfigServizio *config);

/* Come LeggiConfigServizio per la porta. 1 se la porta e' impostata (dal file o quella di default),
 * 0 se il file indica un valore non valido; se riuscito, le regole vanno in ammissioneServizio. */
int PortaSocket(const char *strPathShare, const char *sistInfo, int *porta);
/* Le regole di ammissione del ciclo di accept: quelle di default finche' PortaSocket non le legge. */
extern ConfigAmmissione ammissioneServizio;

#ifdef _WIN32
/* Procedura di thread di una connessione (firma di LPTHREAD_START_ROUTINE): riceve il socket
 * accettato come parametro del thread e ne diventa proprietaria. */
typedef unsigned long(__stdcall * ProceduraConnessione)(void *socketAccettato);

/* Prepara il socket di ascolto legato alla porta configurata. 1 se riuscito. Se fallisce un passo
 * di sistema, *passoFallito ne riceve il nome e l'ultimo errore del thread e' quello del passo;
 * se la porta e' rifiutata, *passoFallito e' NULL (la riga e' gia' nel log). */
int ApriListener(const char *strPathShare, const char *sistInfo, SocketRete *socketAscolto,
                 const char **passoFallito);
/* Una connessione appena accettata (indirizzoClient: il suo struct sockaddr_in): se le regole la
 * ammettono, un thread staccato che scrive da chi viene e poi esegue la procedura; se no la chiude,
 * con la riga di rifiuto nel log al piu' una volta al minuto per indirizzo. */
void AvviaConnessione(SocketRete accettato, const void *indirizzoClient, ProceduraConnessione procedura);
/* Ciclo di accept: un thread staccato per ogni connessione. Ritorna solo se il listener fallisce. */
void CicloAccept(SocketRete socketAscolto, ProceduraConnessione procedura);
#endif

#endif
