/* install/TestiInstallazione.h - parti pure della ricerca dell'installazione: testi di cartella nel
 * percorso, righe di configur, pathconf e duplica.cfg, candidati degli share, tabella dei file INI.
 * Nessun accesso al sistema: le usano i file *Win.cpp della cartella e i test nativi. */
#ifndef INSTALL_TESTIINSTALLAZIONE_H
#define INSTALL_TESTIINSTALLAZIONE_H

#include <stddef.h>
#include <stdio.h>

/* Le righe dei file di configurazione si leggono a pezzi di al piu' 511 caratteri. */
#define DIM_RIGA_CONFIGURAZIONE 512
/* Colonna (da 1) che in pathconf marca con S la riga del drive d'installazione. */
#define COLONNA_MARCA_PATHCONF 77
/* Campo di duplica.cfg: colonne da 6 a 35. */
#define INIZIO_CAMPO_DUPLICA 5
#define LUNG_CAMPO_DUPLICA 30

/* Prima occorrenza da sinistra di cercato in testo, senza distinguere maiuscole e minuscole
 * (solo lettere ASCII). NULL se non c'e'. */
const char *CercaTestoNoCase(const char *testo, const char *cercato);

/* Il percorso del programma fino a "\prg\com\drumal\" escluso. 0 se il percorso e' piu' corto del
 * testo cercato, non lo contiene o la radice non entra in dim byte. */
int RadiceDaPercorso(const char *path, char *rootSistInfo, size_t dim);
/* Il nome dell'ambiente: vuoto se la radice contiene "\kzo" o non ha barre, altrimenti il testo
 * dopo l'ultima barra. 0 solo se non entra in dim byte. */
int SistInfoDaRadice(const char *rootSistInfo, char *sistInfo, size_t dim);

/* 1 se il testo comincia con una lettera ASCII e i due punti; in *lettera la lettera maiuscola. */
int DriveDaTesto(const char *testo, char *lettera);

/* Legge il prossimo pezzo di riga (al piu' 511 caratteri, a capo compreso se ci sta) in riga, che
 * ha DIM_RIGA_CONFIGURAZIONE byte. 0 a fine file. */
int LeggiPezzoRiga(FILE *file, char *riga);

/* Esito della lettura del drive da configur o pathconf. */
enum EsitoDriveFile {
    DRIVE_LETTO = 0,        /* *lettera e' il drive, maiuscolo */
    DRIVE_NESSUNA_RIGA = 1, /* configur: nessuna riga letta; pathconf: nessuna riga marcata */
    DRIVE_NON_VALIDO = 2    /* la riga che doveva darlo non comincia con lettera e due punti */
};
/* Il drive dalla prima riga di configur. */
int DriveDaConfigur(FILE *file, char *lettera);
/* Il drive dalla prima riga di pathconf con S alla colonna 77. */
int DriveDaPathconf(FILE *file, char *lettera);

/* Tabella dei file INI dei prodotti: testo di cartella cercato nel percorso e nome del file INI
 * (vuoto per la riga che non ne ha). */
typedef struct ProdottoIni {
    const char *cartella;
    const char *fileIni;
} ProdottoIni;
/* La prima riga della tabella la cui cartella compare nel percorso; NULL se nessuna. */
const ProdottoIni *ProdottoIniDaPercorso(const char *path);
/* 1 se il valore letto dall'INI (con default "**") da' un drive; in *lettera la lettera maiuscola. */
int DriveDaValoreIni(const char *valore, char *lettera);

/* Il campo di una riga di duplica.cfg (colonne 6-35, fino all'ultimo carattere non blank tra il 2o e
 * il 30o), in campo di dim byte. Ritorna 1 se la riga nomina un ambiente: non piu' corta di 35
 * caratteri (fine riga esclusa) e campo non vuoto. Per una riga corta campo riceve quanto c'e' dalla
 * colonna 6, senza fine riga e blank finali. */
int CampoDuplica(const char *riga, char *campo, size_t dim);
/* Il nome dell'ambiente nel campo: dal 4o carattere (vuoto se il campo e' piu' corto). */
const char *NomeDaCampoDuplica(const char *campo);

/* Candidato di uno share: la cartella, una barra se non finisce gia' con una, e il nome.
 * 0 se non entra in dim byte. */
int CandidatoShare(const char *cartellaShare, const char *dirRootAppli, char *dest, size_t dim);

#endif
