/* base/Log.h - parti pure del log diagnostico: testi del record, scelta del modo di apertura.
 * Le usa service/LogWin.cpp; i test le provano anche nella build nativa. */
#ifndef SERVICE_LOG_H
#define SERVICE_LOG_H

#include <stddef.h>
#include <stdint.h>

#define NOME_FILE_LOG "tarnel.log"
#define CARTELLA_LOG_PREFERITA "C:\\RAVKTEMP\\log"
/* Oltre questa dimensione il file viene ricominciato all'apertura; esattamente questa, no. */
#define DIMENSIONE_MASSIMA_LOG 1024000
#define BANNER_LOG "\n\n_______ Inizio log ___________________________________________________\n\n"
#define DIM_TESTO_ERRORE 512
/* Area di un record composto sullo stack; un record piu' lungo si compone in memoria allocata. */
#define DIM_RECORD_LOG 1024

/* "gg/mm/aaaa hh:mm:ss" dai campi dell'ora locale (mese 1-12). */
void FormattaTimestamp(char *area, size_t dim, int giorno, int mese, int anno, int ora, int minuto, int secondo);

/* Modo di apertura del log: "w" se la dimensione non si conosce o supera il limite, altrimenti "a". */
const char *ModoAperturaLog(int dimensioneNota, uint64_t dimensione);

/* Percorso del log accanto all'eseguibile: la cartella di pathEseguibile (fino all'ultima barra
 * rovescia compresa) piu' tarnel.log. 0 se il percorso non ha barre o il risultato non entra. */
int PathLogAccantoEseguibile(char *dest, size_t dim, const char *pathEseguibile);

/* Byte che il testo occupa nel file: ogni LF diventa CR LF, come nel modo testo. */
size_t DimensioneConCrLf(const char *testo, size_t lung);
/* Copia il testo in uscita (almeno DimensioneConCrLf byte) con ogni LF scritto come CR LF. */
void AggiungiCrLf(char *uscita, const char *testo, size_t lung);

#endif
