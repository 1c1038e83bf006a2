/* service/service.h - host del servizio: porta di tarnel.cfg e listener. Il processo, ServiceMain e
 * il gestore dei comandi sono in ServiceWin.h; la riga di comando in ComandiWin.h. */
#ifndef SERVICE_SERVICE_H
#define SERVICE_SERVICE_H

#include <stddef.h>

#include "base/base.h"
#include "launch/launch.h"
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
/* La porta su cui il servizio ascolta: la scrive ApriListener riuscito; 0 prima. */
extern int portaServizio;

#ifdef _WIN32
/* La conversazione di una connessione, sul suo thread: riceve il socket accettato e ne diventa
 * proprietaria; in *esito come e' finita, per la riga di fine conversazione. */
typedef void (*ProceduraConnessione)(SocketRete socketAccettato, EsitoConversazione *esito);

/* Prepara il socket di ascolto legato alla porta configurata. 1 se riuscito. Se fallisce un passo
 * di sistema, *passoFallito ne riceve il nome e l'ultimo errore del thread e' quello del passo;
 * se la porta e' rifiutata, *passoFallito e' NULL (la riga e' gia' nel log). */
int ApriListener(const char *strPathShare, const char *sistInfo, SocketRete *socketAscolto,
                 const char **passoFallito);
/* Una connessione appena accettata (indirizzoClient: il suo struct sockaddr_in): se le regole la
 * ammettono, un thread staccato che scrive da chi viene, esegue la procedura e scrive come e' finita
 * e in quanto dall'accept; se no la chiude,
 * con la riga di rifiuto nel log al piu' una volta al minuto per indirizzo. */
void AvviaConnessione(SocketRete accettato, const void *indirizzoClient, ProceduraConnessione procedura);
/* Sostituisce le regole di ammissione sotto il blocco dell'ammissione: valgono dalla prossima
 * connessione; le conversazioni in corso proseguono e restano contate come quando sono iniziate. */
void SostituisciRegoleAmmissione(const ConfigAmmissione *regole);
/* Ciclo di accept: un thread staccato per ogni connessione. Ritorna solo se il listener fallisce. */
void CicloAccept(SocketRete socketAscolto, ProceduraConnessione procedura);
#endif

#endif
