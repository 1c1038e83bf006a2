/* service/service.h - host del servizio: log diagnostico, porta e listener.
 * Intestazione portabile: la includono anche il nucleo e la build nativa. */
#ifndef SERVICE_SERVICE_H
#define SERVICE_SERVICE_H

#include <stddef.h>

#include "protocol/protocol.h"

/* Log diagnostico, file tarnel.log. Ogni chiamata scrive un record intero con data e ora;
 * la prima chiamata del processo apre il file (una sola volta per processo). */
void ScriviLog(const char *formato, ...) __attribute__((format(gnu_printf, 1, 2)));
/* Come ScriviLog, con in coda il codice dell'ultimo errore del thread e il suo testo di sistema. */
void ScriviLogErrore(const char *formato, ...) __attribute__((format(gnu_printf, 1, 2)));
/* Percorso del file di log; vuoto finche' il log non e' stato aperto. */
const char *pathFileLog(void);

/* Testi a dimensione fissa: copiano e formattano sempre entro dim byte, terminatore compreso.
 * Ritornano 1 se il testo e' entrato intero, 0 se e' stato troncato. */
int CopiaTesto(char *dest, size_t dim, const char *sorgente);
int FormattaTesto(char *dest, size_t dim, const char *formato, ...) __attribute__((format(gnu_printf, 3, 4)));

/* Drive e cartella correnti del processo, esistenza di file e cartelle (CartellaWin.cpp; nella
 * build nativa CartellaPosix.cpp, con una sola radice). */
/* Rende corrente il drive della lettera (A-Z, A e' 1). 1 se riuscito. */
int CambiaDriveCorrente(char lettera);
/* Rende corrente la cartella. 1 se riuscito. */
int CambiaDirectoryCorrente(const char *cartella);
/* 1 se il percorso e' un file. */
int EsisteFile(const char *path);
/* 1 se il percorso e' una cartella. */
int EsisteCartella(const char *path);

#define PORTA_DEFAULT 2000
#define NOME_FILE_CONF "tarnel.cfg"

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
