/* service/service.h - host del servizio: porta di tarnel.cfg e listener. Il processo, ServiceMain e
 * il gestore dei comandi sono in ServiceWin.h; la riga di comando in ComandiWin.h. */
#ifndef SERVICE_SERVICE_H
#define SERVICE_SERVICE_H

#include <stddef.h>
#include <stdint.h>

#include "base/base.h"
#include "launch/launch.h"
#include "service/Ammissione.h"

/* Una riga di tarnel.cfg: 159 caratteri e lo zero; il resto di una riga piu' lunga si butta. */
#define DIM_RIGA_CONF 160

/* Quanto il servizio legge da tarnel.cfg. I numeri di riga contano da 1 tutte le righe del file,
 * commenti compresi; 0 vuol dire nessuna riga. */
typedef struct ConfigServizio {
    char pathConf[DIM_PATH];
    int porta;
    ConfigAmmissione ammissione;
    /* La riga che ha fermato la lettura: una riga di CLIENT, MAXCLIENT o MAXCONN scritta non
     * esattamente (maiuscole, blank o tab attorno alla chiave o a '=', valore mancante), o quella
     * della chiave con il valore non valido; il testo come letto, senza l'a capo. */
    int rigaNonValida;
    char testoRigaNonValida[DIM_RIGA_CONF];
    /* La prima riga con la chiave SOCKET scritta non esattamente ("socket=", "SOCKET = 5000"): la
     * regola di sempre la ignora, la verifica ne avvisa. */
    int rigaSocketInesatta;
    /* La seconda riga SOCKET: vale la prima. */
    int rigaSecondoSocket;
    /* 1 se c'e' almeno una riga CLIENT (prima di quella che ha fermato la lettura). */
    int clientPresente;
} ConfigServizio;

/* Legge <strPathShare>\<sistInfo>\prg\etc\tarnel.cfg: la porta (dal file o quella di default) e le
 * regole di ammissione, scrivendo nel log le righe dell'avvio. Stand alone (strPathShare vuoto) il
 * percorso e' \<sistInfo>\prg\etc\tarnel.cfg, senza drive: vale il drive che l'avvio ha reso
 * corrente (ConnessioneNetworkDrive; -check e -reload lo rendono corrente allo stesso modo). Un
 * segno UTF-8 in testa al file si salta. 0 se una riga o un valore non e' valido (la riga e' nel
 * log e in config->rigaNonValida); la configurazione resta allora parziale. */
int LeggiConfigServizio(const char *strPathShare, const char *sistInfo, ConfigServizio *config);

/* Come LeggiConfigServizio per la porta. 1 se la porta e' impostata (dal file o quella di default),
 * 0 se il file indica un valore non valido; se riuscito, le regole vanno in ammissioneServizio. */
int PortaSocket(const char *strPathShare, const char *sistInfo, int *porta);
/* Le regole di ammissione del ciclo di accept: quelle di default finche' PortaSocket non le legge. */
extern ConfigAmmissione ammissioneServizio;
/* La porta su cui il servizio ascolta: la scrive ApriListener riuscito; 0 prima. */
extern int portaServizio;

/* ---- Ciclo di accept (CicloAccept.cpp) ---- */

/* Righe di un accept fallito: al piu' una al minuto. Attesa dopo una mancanza di risorse. */
#define INTERVALLO_RIGHE_ACCEPT_MS 60000
#define ATTESA_RISORSE_ACCEPT_MS 100

typedef enum TipoErroreAccept {
    ERRORE_ACCEPT_PROSEGUI, /* la connessione e' caduta prima dell'accept: si riprende subito */
    ERRORE_ACCEPT_ATTENDI,  /* mancano risorse: si riprende dopo una breve attesa */
    ERRORE_ACCEPT_FATALE    /* il socket di ascolto non serve piu' */
} TipoErroreAccept;

/* I passi del ciclo: ListenerWin.cpp mette quelli veri, le prove i loro. */
typedef struct PassiAccept {
    /* Accetta una connessione e la affida: 0, o il codice d'errore dell'accept, che resta anche
     * l'ultimo errore del thread. */
    int (*accettaEAvvia)(void *contesto);
    void (*attendi)(int millisecondi);
    uint32_t (*adessoMs)(void);
    void *contesto;
} PassiAccept;

/* Come il ciclo tratta un errore di accept (codici di Winsock). */
TipoErroreAccept ClassificaErroreAccept(int errore);
/* Accetta finche' un errore fatale, poi scrive la riga della fine del listener e ritorna. */
void CicloAcceptPassi(const PassiAccept *passi);

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
 * ammettono, la affida a un thread libero, o a uno nuovo se nessuno e' libero, che scrive da chi
 * viene, esegue la procedura e scrive come e' finita e in quanto dall'accept; se no la chiude,
 * con la riga di rifiuto nel log al piu' una volta al minuto per indirizzo. */
void AvviaConnessione(SocketRete accettato, const void *indirizzoClient, ProceduraConnessione procedura);
/* Solo per le prove: chiamata dopo ogni accept riuscito, prima che il socket diventi non
 * ereditabile (sotto il blocco dell'avvio dei runtime dove c'e'). NULL nel servizio. */
extern void (*provaDopoAccept)(void);
/* Sostituisce le regole di ammissione sotto il blocco dell'ammissione: valgono dalla prossima
 * connessione; le conversazioni in corso proseguono e restano contate come quando sono iniziate. */
void SostituisciRegoleAmmissione(const ConfigAmmissione *regole);
/* Ciclo di accept: ogni connessione ammessa su un thread suo finche' dura la conversazione (un thread
 * che ha finito ne attende un'altra, AmmissioneWin.cpp). Ritorna solo se il listener non
 * accetta piu' (la riga e' nel log): il chiamante termina il processo. */
void CicloAccept(SocketRete socketAscolto, ProceduraConnessione procedura);
#endif

#endif
