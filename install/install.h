/* install/install.h - dove sono installati gli ambienti: informazioni d'installazione, tabella
 * degli ambienti installati, collegamento del drive dell'ambiente in linea. */
#ifndef INSTALL_INSTALL_H
#define INSTALL_INSTALL_H

#include <stddef.h>

#include "base/base.h"

/* Record della tabella degli ambienti installati. */
#define MAX_AMBIENTI 20

typedef struct InfoAmbiente {
    /* Il primo carattere e' la lettera del drive: per l'ambiente in linea la sola lettera maiuscola,
     * per un duplicato l'intero campo di duplica.cfg (per esempio Z:\GEST2). */
    char drive[DIM_PATH];
    char sistInfo[DIM_PATH];
    /* Cartella locale dello share che contiene la cartella sistInfo; vuota se stand alone. */
    char strPathShare[DIM_PATH];
} InfoAmbiente;

typedef struct TabellaAmbienti {
    int numAmbienti;
    InfoAmbiente ambienti[MAX_AMBIENTI];
} TabellaAmbienti;

/* La tabella del processo: il record 0 e' l'ambiente in linea, gli altri i suoi duplicati.
 * Scritta una volta all'avvio del servizio, prima del listener; poi solo letta. */
extern TabellaAmbienti TabellaInfoInstallazione;

/* Radice dell'ambiente come la vedono gli utenti: "%c:\%s" con la prima lettera di drive e sistInfo.
 * 1 se il testo e' entrato intero. */
int RadiceAmbiente(const InfoAmbiente *ambiente, char *dest, size_t dim);
/* Radice locale: strPathShare, una barra e sistInfo; uno strPathShare radice di un drive (C:\) perde
 * la barra finale, uno vuoto (stand alone) da' la radice dell'ambiente con la sua lettera.
 * 1 se il testo e' entrato intero. */
int RadiceLocaleAmbiente(const InfoAmbiente *ambiente, char *dest, size_t dim);

/* ---- Disposizione di un ambiente (PercorsiAmbiente.cpp) ----
 * I nomi dei file e delle cartelle dentro un ambiente sono scritti solo la': chi compone un
 * percorso dell'ambiente usa queste voci e le routine qui sotto. */

/* Da quale radice pende un nome. */
typedef enum RadiceNome {
    RADICE_AMBIENTE, /* la radice vista dagli utenti (RadiceAmbiente, o quella di un duplicato) */
    RADICE_LOCALE    /* la radice locale dell'ambiente in linea (RadiceLocaleAmbiente) */
} RadiceNome;

/* Un file dell'ambiente: la cartella relativa alla radice, senza barre ai lati, e il nome. */
typedef struct NomeAmbiente {
    const char *cartella;
    const char *file;
    RadiceNome radice;
} NomeAmbiente;

/* Il testo della cartella dei programmi cercato nel percorso del servizio. */
extern const char CARTELLA_DRUMAL[];
/* La cartella degli eseguibili: il servizio, i runtime, l'aggiornatore, lo strumento dei formati. */
extern const char CARTELLA_BIN_SERVIZIO[];
/* La cartella dei file di configurazione. */
extern const char CARTELLA_ETC[];

/* Dell'installazione, sotto la radice dal percorso del programma: drive, unita' e duplicati. */
extern const NomeAmbiente FILE_CONFIGUR, FILE_PATHCONF, FILE_DUPLICA;
/* tarnel.cfg: sotto la radice locale; stand alone, LeggiConfigServizio lo cerca senza drive. */
extern const NomeAmbiente FILE_CONF_SERVIZIO;
/* Marcatori: Visual COBOL, aggiornamento dei formati, dell'applicativo, del servizio. */
extern const NomeAmbiente FILE_COBOL_VISUAL, FILE_AGGIORNAMENTO_FORMATI, FILE_AGGIORNAMENTO_IN_CORSO,
    FILE_SERVIZIO_NUOVO;
/* Programmi: il servizio stesso, l'aggiornatore del servizio, lo strumento dei formati. */
extern const NomeAmbiente FILE_ESEGUIBILE_SERVIZIO, FILE_AGGIORNATORE, FILE_STRUMENTO_FORMATI;
/* Gli eseguibili del runtime, nella cartella degli eseguibili dell'ambiente della richiesta:
 * [1 in chiaro, 0 cifrato][1 Visual COBOL, 0 no]. Lo STOP li termina tutti, nell'ordine della tabella. */
extern const char *const ESEGUIBILI_RUNTIME[2][2];
#define NUM_ESEGUIBILI_RUNTIME 4

/* radice, una barra, relativo. 1 se il testo e' entrato intero. */
int UnisciPercorso(const char *radice, const char *relativo, char *dest, size_t dim);
/* Il percorso del nome sotto una radice data. 1 se entrato intero. */
int PathSottoRadice(const char *radice, const NomeAmbiente *nome, char *dest, size_t dim);
/* Il percorso del nome sotto la sua radice dell'ambiente dato. 1 se entrato intero. */
int PathNellAmbiente(const InfoAmbiente *ambiente, const NomeAmbiente *nome, char *dest, size_t dim);
/* Il nome dell'eseguibile del runtime, senza cartella. */
const char *NomeRuntime(int inChiaro, int cobolVisual);
/* Il runtime sotto la radice dell'ambiente della richiesta. 1 se entrato intero. */
int PathRuntime(const char *radice, int inChiaro, int cobolVisual, char *dest, size_t dim);

/* Dal percorso completo del programma: lettera del drive d'installazione, nome dell'ambiente e sua
 * radice. I tre testi d'uscita hanno DIM_PATH byte. 1 se riuscito. */
int InfoInstallazione(const char *path, char *drive, char *sistInfo, char *rootSistInfo);
/* La lettera del drive dal file INI del prodotto la cui cartella compare nel percorso. */
int RicercaDriveIni(const char *path, char *drive);

/* Lo share di questa macchina la cui cartella contiene la cartella dirRootAppli: la cartella dello
 * share in strPathShare (DIM_PATH byte). 1 se trovato. */
int RicercaNetShare(const char *dirRootAppli, char *strPathShare);
/* Costruisce TabellaInfoInstallazione. 1 se riuscito. */
int AnalisiAmbientiInstallati(void);
/* Come AnalisiAmbientiInstallati, con il percorso completo del programma dato da chi chiama. */
int AnalisiAmbientiDaPercorso(const char *pathProgramma);
/* Scrive nel log una riga per ogni record della tabella: l'ambiente in linea, poi i duplicati. */
void ScriviElencoAmbienti(void);

/* Enumerazione degli share di questa macchina. La visita riceve la cartella locale di uno share
 * (testo ANSI non vuoto) e ritorna diverso da 0 per fermare l'enumerazione. */
typedef int (*VisitaShare)(void *contesto, const char *cartellaShare);
/* Chiama visita per ogni share, nell'ordine dell'enumerazione. 1 se l'enumerazione e' arrivata alla
 * fine o e' stata fermata dalla visita, 0 se e' fallita. */
typedef int (*EnumerazioneShare)(VisitaShare visita, void *contesto);
/* I passi di sistema dell'installazione (vedi base.h): l'enumerazione usata da RicercaNetShare,
 * ElencaShareDiSistema salvo che una prova la sostituisca. */
typedef struct PassiInstallazione {
    EnumerazioneShare elencaShare;
} PassiInstallazione;
extern PassiInstallazione passiInstallazione;
/* L'enumerazione del sistema (NetShareEnum al livello 502). */
int ElencaShareDiSistema(VisitaShare visita, void *contesto);

/* Rende raggiungibile al servizio il drive dell'ambiente in linea (record 0). 1 se utilizzabile. */
int ConnessioneNetworkDrive(void);
/* Durante l'installazione: toglie la connessione di rete del drive e la sostituisce con una
 * sostituzione (subst) della cartella locale dello share. */
void RimappaDriveRemoto(char lettera, const char *strPathShare);
/* Il nome remoto (UNC) di un drive "%c:"; uncName ha DIM_PATH byte. 1 se noto. */
int FromRemoteDriveToUNC(const char *nomeDrive, char *uncName);

#endif
