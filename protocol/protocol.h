/* protocol/protocol.h - protocollo di rete con il Client Grafico: scambio chiavi e cifratura,
 * trame e liste di campi, compressione. Portabile: Winsock su Windows, socket BSD su Linux.
 * Contiene anche la meta' client della conversazione, usata dagli strumenti e dai test. */
#ifndef PROTOCOL_PROTOCOL_H
#define PROTOCOL_PROTOCOL_H

#include <stdint.h>

#include "base/base.h"

/* Esiti delle operazioni di rete. */
#define ESITO_FATTO 101
#define ESITO_CHIUSO 102
#define ESITO_IN_CHIARO 108

/* Dimensioni fisse del protocollo. */
#define DIM_CHIAVE 1024
#define DIM_TABELLA_CHIAVE 84
#define LUNG_FRASE_IN_CHIARO 46
#define DIM_AREA_MESSAGGIO 2048
#define LUNG_INTESTAZIONE_CIFRATA 15
#define LUNG_INTESTAZIONE_IN_CHIARO 10
#define LUNG_CHECKSUM 5
#define LUNG_BUSTA 15
#define LUNG_CIFRE_CAMPO 5
#define MAX_LUNG_CAMPO 99999
/* Attesa massima di altri byte del materiale di chiave dopo il primo pezzo. */
#define ATTESA_MATERIALE_MS 2000

/* Costanti condivise con il Client Grafico (definite in ScambioChiavi.cpp). */
extern const uint8_t TABELLA_CHIAVE[DIM_TABELLA_CHIAVE];
extern const char FRASE_IN_CHIARO[LUNG_FRASE_IN_CHIARO + 1];

/* Flusso di chiave di una direzione. Nuovo = tutto a zero. */
typedef struct FlussoChiave {
    uint8_t chiave[DIM_CHIAVE];
    int posizione; /* indice del byte di chiave del prossimo byte cifrato */
    int base;      /* indice di inizio del messaggio corrente */
} FlussoChiave;

/* Stato di cifratura di una conversazione; appartiene al thread della connessione. */
typedef struct StatoCifratura {
    FlussoChiave invio;
    FlussoChiave ricezione;
} StatoCifratura;

/* Canale di byte: il socket vero o, nei test, un copione a pezzi.
 * ricevi e invia come recv/send: >0 byte trasferiti, 0 connessione chiusa, <0 errore.
 * attendi: >0 dati pronti (o chiusura), 0 nessun dato entro i millisecondi, <0 errore.
 * sbircia: come ricevi, ma i byte restano da leggere. */
typedef struct CanaleRete {
    int (*ricevi)(void *contesto, uint8_t *dove, int quanti);
    int (*invia)(void *contesto, const uint8_t *cosa, int quanti);
    int (*attendi)(void *contesto, int millisecondi);
    int (*sbircia)(void *contesto, uint8_t *dove, int quanti);
    void *contesto;
} CanaleRete;

/* Canale sul socket *s (CanaleWin.cpp o CanalePosix.cpp); *s deve vivere quanto il canale.
 * Gli errori di sistema vanno nel log con il nome della chiamata. */
void CanaleSuSocket(CanaleRete *canale, SocketRete *s);
/* Identificativo del processo corrente (GetCurrentProcessId, getpid). */
uint32_t IdentificativoProcesso(void);

/* ---- Cifratura (Cifratura.cpp) ---- */

/* Cifra o decifra in posto: i due versi sono la stessa operazione. */
void CifraDecifra(FlussoChiave *flusso, uint8_t *dati, int lung);
/* Chiude il messaggio: base avanza del passo (13 + chiave[0] con segno), posizione = base. */
void ChiudiMessaggio(FlussoChiave *flusso);
/* Passo del flusso, da -115 a 140. */
int PassoFlusso(const FlussoChiave *flusso);

/* ---- Scambio chiavi (ScambioChiavi.cpp) ---- */

/* Lato servizio: 101 flussi pronti, 102 chiusura o errore, 108 frase in chiaro ricevuta. */
int scambioChiavi(SocketRete s, StatoCifratura *stato);
int scambioChiaviCanale(CanaleRete *canale, StatoCifratura *stato);
/* Lato client. inChiaro = 1: invia la frase e rende 108; altrimenti invia 1024 byte di
 * materiale proprio, riceve i 1024 del servizio e rende 101. 102 se la rete cade. */
int scambioChiaviCliente(SocketRete s, StatoCifratura *stato, int inChiaro);
/* Come sopra con il materiale dato (DIM_CHIAVE byte; ignorato se inChiaro). */
int scambioChiaviClienteCanale(CanaleRete *canale, StatoCifratura *stato, int inChiaro,
                               const uint8_t *materiale);

/* ---- Trame (Trama.cpp) ----
 * Le ricezioni scrivono al massimo capacita byte in dest. Una trama che annuncia piu' di
 * capacita byte, o una busta PANIC con N oltre lo spazio rimasto, rende 102 con una riga di log.
 * *lungRicevuta riceve i byte di payload arrivati (anche oltre L, mai oltre capacita). */
int ricezioneBuffer(SocketRete s, StatoCifratura *stato, uint8_t *dest, int capacita,
                    int *lungRicevuta);
int ricezioneBufferCanale(CanaleRete *canale, StatoCifratura *stato, uint8_t *dest, int capacita,
                          int *lungRicevuta);
/* Il payload e' consumato: dopo la chiamata il contenuto e' cifrato. */
int invioBuffer(SocketRete s, StatoCifratura *stato, uint8_t *payload, int lung);
int invioBufferCanale(CanaleRete *canale, StatoCifratura *stato, uint8_t *payload, int lung);
int ricezioneBufferInChiaro(SocketRete s, uint8_t *dest, int capacita, int *lungRicevuta);
int ricezioneBufferInChiaroCanale(CanaleRete *canale, uint8_t *dest, int capacita,
                                  int *lungRicevuta);
int invioBufferInChiaro(SocketRete s, const uint8_t *payload, int lung);
int invioBufferInChiaroCanale(CanaleRete *canale, const uint8_t *payload, int lung);
/* Invia tutti i byte, riprendendo gli invii parziali. 1 se usciti tutti, 0 su errore. */
int InviaTutto(CanaleRete *canale, const uint8_t *dati, int lung);
/* checksum[k] = XOR dei byte di posizione i con i mod 5 = k. */
void calcolaChecksum(uint8_t checksum[LUNG_CHECKSUM], const uint8_t *dati, int lung);

/* ---- Liste di campi (ListaCampi.cpp) ---- */

/* Scrive "%05d" e il contenuto in dest, che ha spazio byte. Rende n + 5; 0 senza scrivere nulla
 * se n non e' tra 1 e 99999 o se il campo non entra (riga di log). */
int aggiungiCampo(uint8_t *dest, int spazio, const uint8_t *contenuto, int n);
/* Scrive la fine lista "00000". Rende 5; 0 se non entra. */
int ChiudiListaCampi(uint8_t *dest, int spazio);

typedef struct CampoLista {
    int inizio; /* posizione del contenuto nel corpo */
    int lung;
} CampoLista;

#define LISTA_CIFRE_NON_VALIDE (-1) /* lunghezza non di cinque cifre decimali */
#define LISTA_CAMPO_OLTRE_FINE (-2) /* il contenuto va oltre i byte ricevuti */
#define LISTA_SENZA_FINE (-3)       /* manca "00000" entro i byte ricevuti */
#define LISTA_TROPPI_CAMPI (-4)     /* piu' campi di maxCampi */

/* Percorre la lista in corpo[0..lung). Rende il numero di campi (>= 0, posizioni in campi) o un
 * codice LISTA_ negativo. I byte dietro "00000" non contano. */
int LeggiListaCampi(const uint8_t *corpo, int lung, CampoLista *campi, int maxCampi);

/* ---- Compressione LZW (Lzw.cpp) ---- */

#define CODICE_FINE_LZW 511
#define PRIMO_CODICE_LZW 257
#define BIT_CODICE_LZW 9
/* Oltre questi byte interi il compressore segnala l'errore fatale 103. */
#define LIMITE_COMPRESSI 2048
#define ERRORE_COMPRESSIONE 103
/* Spazio che basta sempre ai dati compressi di lung byte (ogni byte un codice, piu' la fine). */
#define DIM_USCITA_LZW(lung) ((((lung) + 1) * BIT_CODICE_LZW) / 8 + 1)

/* Scrittura a bit di una compressione: la posizione vive quanto la compressione. */
typedef struct ScritturaBit {
    uint8_t *uscita;
    int capacita;  /* byte di uscita; i bit oltre non sono scritti ma contati */
    int posizione; /* bit scritti finora */
} ScritturaBit;

/* Scrive i numBit bassi di codice dal piu' significativo. Rende i bit scritti finora. */
int scriviBit(ScritturaBit *scrittura, int codice, int numBit);
/* Comprime lung byte in uscita (capacita byte). Rende la lunghezza compressa, bit/8 + 1;
 * 0 con una riga di log se non entra in capacita (nulla e' scritto oltre). Un ingresso vuoto da'
 * il solo codice di fine. Oltre 2048 byte interi l'errore fatale va nel log e si prosegue. */
int compressioneDati(const uint8_t *ingresso, int lung, uint8_t *uscita, int capacita);

#define LZW_CODICE_NON_VALIDO (-1) /* codice 256, oltre il prossimo libero, o primo codice */
#define LZW_SENZA_FINE (-2)        /* i dati finiscono prima del codice 511 */
#define LZW_USCITA_PIENA (-3)      /* l'uscita non basta */

/* Decomprime fino al codice di fine. Rende i byte scritti in uscita o un codice LZW_ negativo;
 * mai oltre capacita. */
int DecomprimiLzw(const uint8_t *ingresso, int lung, uint8_t *uscita, int capacita);

#endif
