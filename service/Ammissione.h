/* service/Ammissione.h - chi puo' connettersi e quante conversazioni per volta: le chiavi CLIENT,
 * MAXCLIENT e MAXCONN di tarnel.cfg e le decisioni del ciclo di accept, su record semplici.
 * Portabile: il blocco e l'orologio sono in AmmissioneWin.cpp. */
#ifndef SERVICE_AMMISSIONE_H
#define SERVICE_AMMISSIONE_H

#include <stddef.h>
#include <stdint.h>

#define MAX_RETI_CLIENT 64
#define MAXCLIENT_DEFAULT 128
#define MAXCONN_DEFAULT 1024
/* Valore massimo di MAXCLIENT e MAXCONN: ben oltre i thread che un processo a 32 bit regge. */
#define MAX_LIMITE_CONVERSAZIONI 100000
/* Una riga di rifiuto per indirizzo ogni minuto al piu'. */
#define INTERVALLO_RIGHE_RIFIUTO_MS 60000
/* Indirizzi con conversazioni in corso seguiti uno per uno; con MAXCONN ai valori usuali non si
 * riempie mai. Piena, un indirizzo nuovo e' rifiutato se c'e' MAXCLIENT, se no conta solo nel totale. */
#define DIM_TABELLA_INDIRIZZI 2048
/* Indirizzi rifiutati di recente ricordati per limitare le righe: le righe di rifiuto di un minuto
 * sono al piu' tante quante le voci, piu' una che conta le altre. */
#define DIM_TABELLA_RIFIUTI 256
/* "255.255.255.255" e lo zero. */
#define DIM_TESTO_INDIRIZZO 16
/* Stack riservato a ogni thread di connessione. Un processo a 32 bit con gli stack da 2 MiB di
 * default esaurisce lo spazio di indirizzi dopo circa 940 connessioni ferme; con questa riserva
 * ne regge migliaia. Deve restare almeno il doppio del bisogno misurato del percorso piu' profondo. */
#define DIM_STACK_CONNESSIONE (256 * 1024)

/* Una rete ammessa: indirizzo IPv4 (ordine dell'host: 127.0.0.1 e' 0x7F000001) e lunghezza del prefisso. */
typedef struct ReteClient {
    uint32_t indirizzo;
    int prefisso;
} ReteClient;

/* Le regole lette da tarnel.cfg. Senza reti ogni indirizzo e' ammesso; un limite 0 non limita. */
typedef struct ConfigAmmissione {
    ReteClient reti[MAX_RETI_CLIENT];
    int numReti;
    int maxClient;
    int maxConn;
} ConfigAmmissione;

typedef struct ConversazioniIndirizzo {
    uint32_t indirizzo;
    int conversazioni; /* 0: voce libera */
} ConversazioniIndirizzo;

typedef struct RigheRifiuto {
    uint32_t indirizzo;
    uint32_t ultimaRigaMs;
    int omesse;
    int inUso;
} RigheRifiuto;

/* Lo stato del ciclo di accept: conversazioni in corso e righe di rifiuto recenti. Tutto a zero
 * all'inizio. */
typedef struct StatoAmmissione {
    ConversazioniIndirizzo indirizzi[DIM_TABELLA_INDIRIZZI];
    int conversazioni;
    RigheRifiuto rifiuti[DIM_TABELLA_RIFIUTI];
    int nonRegistrati; /* rifiuti senza voce, da quando l'ultimo riepilogo e' stato scritto */
    uint32_t inizioNonRegistratiMs;
} StatoAmmissione;

typedef enum EsitoAmmissione {
    AMMESSA,
    RIFIUTATA_INDIRIZZO,     /* fuori da tutte le reti CLIENT */
    RIFIUTATA_PER_INDIRIZZO, /* MAXCLIENT raggiunto per quell'indirizzo */
    RIFIUTATA_TOTALE         /* MAXCONN raggiunto */
} EsitoAmmissione;

/* Le regole senza chiavi nel file: ogni indirizzo, 128 per indirizzo, 1024 in tutto. */
void ConfigAmmissioneDefault(ConfigAmmissione *config);

/* "a.b.c.d" o "a.b.c.d/n" (n da 0 a 32): 1 se valido. Niente blank, niente zeri oltre le tre cifre. */
int LeggiReteClient(const char *valore, ReteClient *rete);
/* Un numero decimale da 0 a MAX_LIMITE_CONVERSAZIONI, solo cifre: 1 se valido. */
int LeggiLimiteConversazioni(const char *valore, int *limite);
/* "a.b.c.d" dall'indirizzo in ordine dell'host. */
void TestoIndirizzo(char *dest, size_t dim, uint32_t indirizzo);

/* 1 se l'indirizzo e' in una delle reti, o se non ce ne sono. */
int IndirizzoAmmesso(const ConfigAmmissione *config, uint32_t indirizzo);

/* Decide una connessione appena accettata. Se AMMESSA la conta e *contata dice se e' contata anche
 * per indirizzo (da ripassare a FineConversazione). *inCorso riceve le conversazioni che hanno
 * fatto rifiutare (dell'indirizzo o in tutto). */
EsitoAmmissione AmmettiConversazione(StatoAmmissione *stato, const ConfigAmmissione *config, uint32_t indirizzo,
                                     int *inCorso, int *contata);
/* Una conversazione ammessa e' finita. */
void FineConversazione(StatoAmmissione *stato, uint32_t indirizzo, int contata);

/* 1 se la riga di un rifiuto dell'indirizzo va scritta adesso (nessuna nell'ultimo minuto), con
 * *omesse le righe trattenute da quella precedente; 0 se va trattenuta (e la si conta). */
int RigaRifiutoDaScrivere(StatoAmmissione *stato, uint32_t indirizzo, uint32_t adessoMs, int *omesse);
/* 1 se va scritta adesso la riga dei rifiuti contati senza voce (il primo ha almeno un minuto),
 * con *numero quanti sono; il conto riparte. 0 se non ce ne sono o e' presto. */
int RiepilogoRifiutiDaScrivere(StatoAmmissione *stato, uint32_t adessoMs, int *numero);
/* La riga del log di un rifiuto, con l'a capo. */
void FormattaRigaRifiuto(char *dest, size_t dim, EsitoAmmissione esito, const char *indirizzo, int inCorso,
                         int omesse);

#endif
