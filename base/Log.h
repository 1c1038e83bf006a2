/* base/Log.h - parti pure del log diagnostico: testi del record, scelta del modo di apertura.
 * Le usa base/LogWin.cpp; i test le provano anche nella build nativa. */
#ifndef BASE_LOG_H
#define BASE_LOG_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#define NOME_FILE_LOG "tarnel.log"
#define CARTELLA_LOG_PREFERITA "C:\\RAVKTEMP\\log"
/* Oltre questa dimensione il file passa a tarnel.log.1 e ricomincia; esattamente questa, no. */
#define DIMENSIONE_MASSIMA_LOG 1024000
/* La dimensione si guarda all'apertura e poi al piu' una volta ogni tanto. */
#define INTERVALLO_CONTROLLO_LOG_MS 60000
/* Generazioni vecchie tenute: tarnel.log.1 (la piu' recente) ... tarnel.log.9. */
#define GENERAZIONI_LOG 9
#define BANNER_LOG "\n\n_______ Inizio log ___________________________________________________\n\n"
#define DIM_TESTO_ERRORE 512
/* Area di un record composto sullo stack; un record piu' lungo si compone in memoria allocata. */
#define DIM_RECORD_LOG 1024

/* "gg/mm/aaaa hh:mm:ss" dai campi dell'ora locale (mese 1-12). */
void FormattaTimestamp(char *area, size_t dim, int giorno, int mese, int anno, int ora, int minuto, int secondo);

/* 1 se il file va ruotato: la sua dimensione supera il limite (esattamente il limite, no). */
int LogDaRuotare(uint64_t dimensione, uint64_t limite);
/* 1 se e' ora di guardare la dimensione: mai guardata, o passati almeno intervalloMs dall'ultima
 * volta (orologio in millisecondi che gira a 2^32). */
int ControlloLogDovuto(int giaControllato, uint32_t ultimoMs, uint32_t adessoMs, uint32_t intervalloMs);
/* Il nome della generazione n del log: pathLog, un punto e n. 0 se non entra (dest vuoto). */
int PathGenerazioneLog(char *dest, size_t dim, const char *pathLog, int generazione);

/* Percorso del log accanto all'eseguibile: la cartella di pathEseguibile (fino all'ultima barra
 * rovescia compresa) piu' tarnel.log. 0 se il percorso non ha barre o il risultato non entra. */
int PathLogAccantoEseguibile(char *dest, size_t dim, const char *pathEseguibile);

/* L'impronta (FNV-1a a 32 bit) del percorso del log con le lettere ASCII in maiuscolo: lo stesso
 * file scritto con maiuscole diverse ha la stessa impronta. Da' il nome alla pagina condivisa dei
 * processi che scrivono quel log. */
uint32_t ImprontaPathLog(const char *pathLog);

/* Byte che il testo occupa nel file: ogni LF diventa CR LF, come nel modo testo. */
size_t DimensioneConCrLf(const char *testo, size_t lung);
/* Copia il testo in uscita (almeno DimensioneConCrLf byte) con ogni LF scritto come CR LF. */
void AggiungiCrLf(char *uscita, const char *testo, size_t lung);

/* Il record d'errore, lo stesso per LogWin.cpp e LogSemplice.cpp: il testo del chiamante da formato
 * (al piu' DIM_TESTO_ERRORE byte), ": errore ", il codice, ": " e il testo di sistema (NULL: un a
 * capo). Lo scrive con ScriviLog. */
void ScriviRecordErrore(int codice, const char *testoSistema, const char *formato, va_list argomenti)
    __attribute__((format(gnu_printf, 3, 0)));

/* Solo per le prove (LogWin.cpp): il limite e l'intervallo del controllo al posto di quelli veri. */
void RegolaRotazioneLog(uint64_t limite, uint32_t intervalloMs);

#endif
