/* tools/client/cliente.h - il client da riga di comando: composizione delle richieste,
 * conversazione con il servizio e decodifica di risposte, versione e avvisi. Portabile: le
 * routine lavorano su un CanaleRete e scrivono l'uscita in un testo a dimensione fissa; solo
 * ReteCliente.cpp conosce i socket della piattaforma. */
#ifndef TOOLS_CLIENT_CLIENTE_H
#define TOOLS_CLIENT_CLIENTE_H

#include "protocol/protocol.h"

#include <stddef.h>

/* Codici d'uscita del programma, uno per ogni esito. */
#define USCITA_FATTO 0
#define USCITA_USO 1            /* argomenti non validi, richiesta che non si compone */
#define USCITA_CONNESSIONE 2    /* indirizzo non valido o connessione non riuscita */
#define USCITA_SCAMBIO 3        /* scambio chiavi non riuscito */
#define USCITA_INVIO 4          /* invio all'applicativo non riuscito */
#define USCITA_RIFIUTATA 5      /* connessione chiusa senza risposta (anche durante l'invio): rifiutata */
#define USCITA_TEMPO 6          /* il servizio non ha risposto entro il limite */
#define USCITA_NON_VALIDA 7     /* risposta, versione o avviso non decifrabili */
#define USCITA_AGG_APPLICATIVO 8 /* avviso: aggiornamento dell'applicativo in corso */
#define USCITA_AGG_SERVIZIO 9   /* avviso: aggiornamento del servizio in corso */
#define USCITA_NON_AVVIATO 10   /* connessione chiusa dopo la risposta senza altri dati */

/* Corpo massimo che il client compone: piu' dell'area del servizio, per provarne il rifiuto. */
#define DIM_CORPO_CLIENTE 8192
/* Campi che il client compone al massimo. */
#define MAX_CAMPI_CLIENTE 64

typedef enum TipoRichiestaCliente {
    CHIEDI_GREZZA,    /* i campi come dati, o il corpo intero */
    CHIEDI_VERSIONE,  /* sysadmin */
    CHIEDI_ORDINARIA, /* programma qualunque */
    CHIEDI_KELVATLOG2,
    CHIEDI_KELVATLOG3,
    CHIEDI_KELVATLOG5,
    CHIEDI_KELVATLOG6
} TipoRichiestaCliente;

/* Cosa chiede l'utente. I testi NULL valgono vuoti (un campo del solo zero finale). */
typedef struct ParametriRichiesta {
    TipoRichiestaCliente tipo;
    int escape;       /* i testi hanno sequenze \\ \xNN \n \r \t \0 da decodificare */
    int senzaZero;    /* richiesta grezza: i campi senza lo zero finale */
    const char *codice;   /* campo 0 (vuoto: "0000") */
    const char *campo1;
    const char *campo2;
    int compressione; /* campo 3: "S" o "N" */
    const char *programma; /* campo 4 (vuoto: quello del tipo) */
    const char *prodotto, *studio, *operat, *applic, *progra, *parpas, *descpr, *config;
    const char *anno;      /* kelvatlog3, campo 11 */
    const char *ambiente;  /* kelvatlog3, campo 12: radice di un ambiente duplicato */
    const char *annoFisc;  /* kelvatlog2 campo 6; kelvatlog5 e 6 campo 13 */
    const char *infoStart; /* kelvatlog5 campo 14 */
    int numCampi;          /* kelvatlog5 e 6: numero di campi voluto (0: secondo i dati) */
    const char *corpo;     /* richiesta grezza: il corpo intero, senza liste da comporre */
    const char *const *altri; /* campi in piu' (ordinaria: dal 5; grezza: tutti) */
    int numAltri;
} ParametriRichiesta;

/* Decodifica le sequenze di escape di testo in dest (capacita byte). Rende i byte scritti,
 * -1 se una sequenza non e' valida o il risultato non entra. */
int DecodificaEscape(const char *testo, uint8_t *dest, int capacita);

/* Compone il corpo della richiesta. Rende i byte del corpo, 0 con il motivo in errore. */
int ComponiRichiesta(const ParametriRichiesta *parametri, uint8_t *corpo, int capacita,
                     char *errore, size_t dimErrore);

/* Testo d'uscita a dimensione fissa: quanto non entra si perde, troncato resta 1. */
typedef struct TestoUscita {
    char *testo;
    int capacita;
    int lung;
    int troncato;
} TestoUscita;

void AccodaUscita(TestoUscita *uscita, const char *formato, ...) __attribute__((format(gnu_printf, 2, 3)));
/* Byte come testo leggibile: stampabili cosi' come sono, la barra rovescia raddoppiata, gli altri \xNN. */
void AccodaByte(TestoUscita *uscita, const uint8_t *dati, int lung);
/* Una lista di campi una riga per campo, "<etichetta> N: contenuto", senza lo zero finale di un
 * campo di testo. Rende la fine della lista nel corpo, -1 se il corpo non e' una lista. */
int AccodaCampi(TestoUscita *uscita, const char *etichetta, const uint8_t *corpo, int lung);

/* Avviso di aggiornamento del servizio: la lista "PANIC" e testo, spedita in chiaro senza trama
 * (le prime 15 byte sono la busta). 1 con il testo in testo (dimTesto byte), 0 se non lo e'. */
int DecodificaAvvisoServizio(const uint8_t *dati, int lung, char *testo, size_t dimTesto);
/* Avviso di aggiornamento dell'applicativo in chiaro: 4 byte di lunghezza (il piu' significativo
 * primo) e la lista "E", "S<testo>". 1 se dati e' esattamente l'avviso. */
int DecodificaAvvisoInChiaro(const uint8_t *dati, int lung, char *testo, size_t dimTesto);
/* Corpo dell'avviso cifrato (gia' decompresso): "99999", "00201" e la lista del testo. */
int DecodificaAvvisoCifrato(const uint8_t *corpo, int lung, char *testo, size_t dimTesto);
/* Messaggi dell'applicativo in chiaro: una sequenza di 4 byte di lunghezza e corpo. Accoda un
 * messaggio per riga (campi se il corpo e' una lista). 1 se dati e' tutta fatta cosi'. */
int AccodaMessaggiInChiaro(TestoUscita *uscita, const uint8_t *dati, int lung);

/* Come si conversa. */
typedef struct OpzioniConversazione {
    int inChiaro;
    int compressione;      /* la richiesta chiede la compressione: i corpi dell'applicativo la usano */
    int richiestaVersione; /* dopo la risposta arriva il testo della versione */
    int avvio;             /* richiesta di avvio: dopo la risposta l'applicativo deve farsi sentire */
    /* Cifrata: dopo la risposta apre la conversazione cifrata dell'applicativo (nuovo scambio chiavi,
     * trame), che e' anche la forma dell'avviso d'aggiornamento cifrato. Altrimenti si raccolgono i
     * byte che arrivano. */
    int scambioApplicativo;
    int limiteMs;          /* attesa massima di ogni ricezione */
    int attesaDopoMs;      /* attesa di altri dati dopo l'ultimo arrivato */
    const uint8_t *materiale; /* DIM_CHIAVE byte di chiave del client per ogni scambio */
    /* Mandati all'applicativo dopo i suoi primi dati (in una conversazione cifrata come trama). */
    const uint8_t *invia;
    int lungInvia;
} OpzioniConversazione;

/* Conversazione intera sul canale: scambio chiavi, richiesta, risposta, e poi versione, avvisi o
 * dati dell'applicativo. Quanto arriva va in uscita; un fallimento lascia in errore una riga in
 * italiano. Rende un codice USCITA_. */
int ConversaCliente(CanaleRete *canale, const OpzioniConversazione *opzioni, const uint8_t *richiesta,
                    int lungRichiesta, TestoUscita *uscita, char *errore, size_t dimErrore);

/* ---- Riga di comando (ArgomentiCliente.cpp) ---- */

#define DIM_INVIA 1024

typedef struct ArgomentiCliente {
    ParametriRichiesta richiesta;
    OpzioniConversazione conversazione; /* il materiale lo mette chi conversa */
    const char *host;
    const char *porta;
    int verboso;
    int aiuto;
    const char *altri[MAX_CAMPI_CLIENTE];
    uint8_t invia[DIM_INVIA];
} ArgomentiCliente;

/* Il testo d'uso, con comandi, opzioni e codici d'uscita. */
extern const char TESTO_USO[];

/* Legge la riga di comando. 1 se valida (o se e' chiesto l'aiuto), 0 con il motivo in errore. */
int LeggiArgomenti(int argc, const char *const *argv, ArgomentiCliente *argomenti, char *errore,
                   size_t dimErrore);

/* ---- Log del programma (LogConsole.cpp) ---- */

/* Le righe di log del protocollo vanno su stderr solo se attivo (--verboso). */
void AttivaLogConsole(int attivo);

/* ---- Rete della piattaforma (ReteCliente.cpp) ---- */

/* Avvia la rete del processo (WSAStartup su Windows). 1 se riuscita. */
int AvviaReteCliente(void);
/* Connessione TCP a host:porta entro limiteMs. SOCKET_NON_VALIDO con il motivo in errore. */
SocketRete ConnettiCliente(const char *host, const char *porta, int limiteMs, char *errore,
                           size_t dimErrore);
void ChiudiCliente(SocketRete s);
/* Standard output senza traduzione degli a capo (su Windows); nulla altrove. */
void UscitaBinaria(void);
/* Materiale di chiave del client: DIM_CHIAVE byte pseudo-casuali che non sembrano la frase. */
void GeneraMaterialeCliente(uint8_t *materiale);

#endif
