/* base/base.h - lo strato di fondo che ogni cartella usa: log diagnostico, testi a dimensione fissa,
 * cartelle e drive, il tipo del socket, le dimensioni e i nomi comuni. Non include nulla del progetto.
 * Portabile: le primitive di sistema sono in CartellaWin.cpp e LogWin.cpp (CartellaPosix.cpp nella
 * build nativa; il log delle prove e' tests/finti/LogMemoria.cpp). */
#ifndef BASE_BASE_H
#define BASE_BASE_H

#include <stddef.h>
#include <stdint.h>

/* ---- Log diagnostico, file tarnel.log (LogWin.cpp) ----
 * Ogni chiamata scrive un record intero con data e ora; la prima chiamata del processo apre il file. */
void ScriviLog(const char *formato, ...) __attribute__((format(gnu_printf, 1, 2)));
/* Come ScriviLog, con in coda il codice dell'ultimo errore del thread e il suo testo di sistema. */
void ScriviLogErrore(const char *formato, ...) __attribute__((format(gnu_printf, 1, 2)));
/* Percorso del file di log; vuoto finche' il log non e' stato aperto. */
const char *pathFileLog(void);
/* Dove vanno i record da qui in poi: il file (come all'inizio); il file e, senza data e ora, anche
 * standard output; solo standard output, senza aprire, creare o ruotare il file. Per i comandi. */
typedef enum DestinazioneLog { LOG_SU_FILE, LOG_SU_FILE_E_USCITA, LOG_SOLO_SU_USCITA } DestinazioneLog;
void ScegliDestinazioneLog(DestinazioneLog destinazione);
/* I programmi che non scrivono tarnel.log (prove, fuzz, misure, client) linkano LogSemplice.cpp, che
 * compone ogni record (senza data e ora; quello d'errore "testo: errore N: " senza testo di sistema)
 * e lo consegna a ConsegnaRecordLog, definita da ciascuno a modo suo. Chiamata anche da piu' thread. */
void ConsegnaRecordLog(const char *record);

/* ---- Librerie di sistema caricate quando servono (LibrerieWin.cpp, solo Windows) ----
 * Quelle che usano soltanto l'installazione e l'amministrazione (condivisioni, drive di rete,
 * firewall) non restano mappate nel processo del servizio: ogni avvio di un runtime copia lo
 * spazio del processo che lo avvia. Sempre dalla cartella di sistema, mai dalla cartella corrente o
 * dal PATH. La libreria resa e' un HMODULE, da chiudere con FreeLibrary. */
/* Una funzione trovata, da convertire al suo tipo. */
typedef void (*FunzioneDiLibreria)(void);
/* La libreria di sistema nome (per esempio "iphlpapi.dll"); NULL se non si carica. Non scrive nel log. */
void *LibreriaDiSistema(const char *nome);
/* La libreria nome con le sue n funzioni nomi[], i cui indirizzi vanno in funzioni[]; NULL, con una
 * riga nel log, se la libreria non si carica o una funzione manca. */
void *CaricaFunzioni(const char *nome, const char *const *nomi, FunzioneDiLibreria *funzioni, int n);

/* ---- Testi a dimensione fissa (Testo.cpp) ----
 * Copiano e formattano sempre entro dim byte, terminatore compreso.
 * Ritornano 1 se il testo e' entrato intero, 0 se e' stato troncato. */
int CopiaTesto(char *dest, size_t dim, const char *sorgente);
int FormattaTesto(char *dest, size_t dim, const char *formato, ...) __attribute__((format(gnu_printf, 3, 4)));

/* ---- Percorsi ---- */

/* Ogni percorso del programma: il percorso piu' lungo di Windows (259 caratteri) e lo zero finale. */
#define DIM_PATH 260

/* Lunghezza di una cartella da usare davanti a una barra rovescia e un nome: una radice di drive di
 * tre caratteri con i due punti per secondo (C:\) perde il terzo, cosi' la barra non si raddoppia. */
int LungCartellaSenzaBarraRadice(const char *cartella);

/* ---- Drive, cartella corrente, file (CartellaWin.cpp; CartellaPosix.cpp con una sola radice) ---- */

/* Rende corrente il drive della lettera (A-Z, A e' 1). 1 se riuscito. */
int CambiaDriveCorrente(char lettera);
/* Rende corrente la cartella. 1 se riuscito. */
int CambiaDirectoryCorrente(const char *cartella);
/* 1 se il percorso e' un file. */
int EsisteFile(const char *path);
/* 1 se il percorso e' una cartella. */
int EsisteCartella(const char *path);
/* Il codice dell'ultimo errore di sistema del thread (GetLastError, errno). */
int UltimoErroreSistema(void);

/* ---- Il socket di una connessione: SOCKET di Winsock, descrittore su Linux ---- */
#ifdef _WIN32
typedef uintptr_t SocketRete;
#define SOCKET_NON_VALIDO ((SocketRete)~(uintptr_t)0)
#else
typedef int SocketRete;
#define SOCKET_NON_VALIDO (-1)
#endif

/* ---- Passi di sistema sostituibili ----
 * Le prove e il fuzzing sostituiscono cio' che tocca il sistema con un record di puntatori a
 * procedura, Passi<Nome>, dichiarato nell'header della cartella, in una di due forme. Di solito
 * un'istanza globale passi<Nome> inizializzata con le procedure vere nel file *Win.cpp (o
 * *Posix.cpp): le prove ne copiano il record all'inizio e lo rimettono alla fine. Per una routine
 * portabile chiamata da un solo adattatore Win, il record con il suo contesto e' un parametro:
 * l'adattatore passa le procedure vere, le prove le loro (PassiAccept, PassiPathServizio). */

/* ---- Nomi comuni ---- */

#define NOME_SERVIZIO "tarnel"
#define NOME_VISUALIZZATO "Servizio di attivazione applicativi QOR"
#define PORTA_DEFAULT 2000

#endif
