/* launch/launch.h - richieste dei client e attivazione degli applicativi: il record della richiesta,
 * la negoziazione, i programmi richiesti e il file dei parametri, la cartella di lavoro,
 * l'aggiornamento dei formati e del servizio, il blocco d'ambiente del runtime. */
#ifndef LAUNCH_LAUNCH_H
#define LAUNCH_LAUNCH_H

#include <stddef.h>
#include <stdint.h>

#include "protocol/protocol.h"

/* Campi di una richiesta di cui si tiene la posizione. */
#define MAX_CAMPI_RICHIESTA 20
/* Testi del record: 255 caratteri, prodotto 79, e lo zero finale. */
#define DIM_TESTO_RICHIESTA 256
#define DIM_PRODOTTO 80
/* Blocco d'ambiente del runtime, riga di comando, testi di lavoro di PATH e DEBPRO. */
#define DIM_BLOCCO_ENVIRONMENT 32768
#define DIM_RIGA_COMANDO 5000
#define DIM_TESTO_ENVIRONMENT 5000
/* Testo della versione: al piu' 79 caratteri. */
#define DIM_VERSIONE 80
/* Attesa massima di ogni ricezione dal client prima che il runtime abbia il socket. */
#define ATTESA_RICEZIONE_CLIENT_MS 60000
/* Tempo massimo di tutta la negoziazione, dall'inizio alla risposta alla richiesta. */
#define LIMITE_NEGOZIAZIONE_MS 60000u
/* Contenuto di un file dei parametri: le righe fisse e i valori presi dal messaggio. */
#define DIM_FILE_PARAMETRI (DIM_AREA_MESSAGGIO + 128)

/* Come avviaProgramma avvia: senza attendere, attendendo la fine del processo, o senza attendere ma
 * al piu' un processo alla volta fra quelli avviati cosi' da questo servizio. */
#define AVVIO_SENZA_ATTESA 0
#define AVVIO_ATTESA_FINE 1
#define AVVIO_UNICO 2
#define AVVIO_GIA_IN_CORSO 2

/* I passi di sistema di una richiesta: esistenza di file e cartelle, scrittura di un file, avvio di
 * un programma, il blocco dell'aggiornamento dei formati. PassiLancioWin.cpp mette quelli veri
 * (PassiLancioPosix.cpp nella build nativa); le prove e il fuzzing li sostituiscono. Nessun passo
 * dipende dal drive o dalla cartella correnti del processo: i percorsi sono sempre completi. */
typedef struct PassiLancio {
    int (*esisteFile)(const char *path);
    int (*esisteCartella)(const char *path);
    /* Crea (o svuota) il file e vi scrive lung byte. 1 se il file e' stato creato. */
    int (*scriviFile)(const char *path, const char *dati, int lung);
    void (*rimuoviFile)(const char *path);
    /* Avvia il programma (percorso completo: il sistema non lo cerca altrove) con la riga di comando
     * data, senza handle ereditati, con l'ambiente del servizio e cartella come cartella corrente;
     * modo e' uno degli AVVIO_*. 1 se avviato; AVVIO_GIA_IN_CORSO (solo con AVVIO_UNICO) se il
     * programma avviato prima in quel modo gira ancora; 0 se fallito, e l'errore di sistema resta
     * l'ultimo del thread. */
    int (*avviaProgramma)(const char *programma, const char *comando, const char *cartella, int modo);
    /* Il solo blocco di tutto il processo: controllo del marcatore, strumento, rimozione. */
    void (*bloccaFormati)(void);
    void (*sbloccaFormati)(void);
    /* Millisecondi di un orologio che gira sempre in avanti (fa il giro dopo 49 giorni). */
    uint32_t (*adessoMs)(void);
} PassiLancio;
extern PassiLancio passiLancio;

/* Il record della richiesta di una connessione: lo crea il thread della connessione, lo riempie la
 * negoziazione, lo leggono l'avvio del runtime e il blocco d'ambiente. */
typedef struct RichiestaClient {
    char dirAmbiente[DIM_TESTO_RICHIESTA];
    int compressione;
    int inChiaro;
    int avvioSP;
    char prodotto[DIM_PRODOTTO];
    char fileParametri[DIM_TESTO_RICHIESTA];
    char carAnnoFisc;
    int richiestaVersione;
    int parametriInEnvironment;
    char utente[DIM_TESTO_RICHIESTA];
    char progra[DIM_TESTO_RICHIESTA];
    char config[DIM_TESTO_RICHIESTA];
    char studio[DIM_TESTO_RICHIESTA];
    char operat[DIM_TESTO_RICHIESTA];
    char applic[DIM_TESTO_RICHIESTA];
    char parpas[DIM_TESTO_RICHIESTA];
    char descpr[DIM_TESTO_RICHIESTA];
    char infoStart[DIM_TESTO_RICHIESTA];
} RichiestaClient;

/* Record nuovo: flag a 0, testi vuoti, carAnnoFisc l'asterisco. */
void InizializzaRichiesta(RichiestaClient *richiesta);

/* ---- Programmi richiesti e file dei parametri (Richiesta.cpp) ---- */

typedef enum TipoRichiesta {
    RICHIESTA_KELVATLOG3,
    RICHIESTA_KELVATLOG5,
    RICHIESTA_KELVATLOG6,
    RICHIESTA_KELVATLOG2,
    RICHIESTA_VERSIONE,
    RICHIESTA_ORDINARIA
} TipoRichiesta;

/* Numero del prossimo file dei parametri kl<N>.cfg, condiviso da tutte le connessioni: ServiceMain
 * lo porta a 0 all'avvio; poi cresce di uno per file, con un passo atomico. */
extern int32_t contatoreFileParametri;

/* Il codice di accettazione che la risposta scrive sui primi caratteri del campo 0. */
#define LUNG_CODICE_ACCETTAZIONE 4

/* I fatti di un tipo di richiesta (Richiesta.cpp, una riga per tipo): il prefisso del programma, i
 * campi che legge, i controlli dei testi, dove vanno i parametri. */
typedef struct DescrittoreRichiesta DescrittoreRichiesta;

/* Il tipo di richiesta dal contenuto del campo 4 (confronto del solo prefisso). */
TipoRichiesta TipoDaProgramma(const uint8_t *programma, int lung);
/* Controlla una richiesta ricevuta (corpo di lung byte) prima della risposta: lista dei campi chiusa
 * da "00000", non piu' di 20 campi, campo 0 di almeno 4 byte, i campi che il tipo legge, i testi
 * copiati terminati da zero entro il campo e non piu' lunghi del loro posto, nessun a capo nei
 * valori del file dei parametri. Rende il numero dei campi (posizioni in campi, almeno
 * MAX_CAMPI_RICHIESTA posti) e in *descrittore il tipo, o 0 (e NULL) con una riga di log che dice
 * il motivo. */
int ControllaRichiesta(const uint8_t *corpo, int lung, CampoLista *campi, const DescrittoreRichiesta **descrittore);
/* Carattere dell'anno fiscale di una richiesta kelvatlog3 dal testo dell'anno; l'asterisco se non
 * c'e' anno (anche quando il carattere verrebbe lo zero). */
char CarattereAnnoKelvatlog3(const char *anno);
/* Smistamento secondo il tipo che ControllaRichiesta ha trovato, sui campi che ha controllato:
 * riempie il record, scrive il file dei parametri kl<N>.cfg nella cartella etc della cartella prg
 * di dirAmbiente (kelvatlog3 e kelvatlog5; il nome relativo ".\etc\kl<N>.cfg" va in
 * fileParametri), passa all'ambiente duplicato. 1 se riuscito. */
int SmistamentoProgramma(const DescrittoreRichiesta *descrittore, const uint8_t *corpo, const CampoLista *campi,
                         int numCampi, RichiestaClient *richiesta);

/* ---- Cartella di lavoro (CartellaLavoro.cpp) ---- */

/* La cartella di lavoro del runtime e' la cartella prg di dirAmbiente: si controlla che drive e
 * cartella ci siano, senza toccare quelli correnti del processo. */

/* Scrive in dirAmbiente la radice dell'ambiente in linea, se il suo drive e la sua cartella prg
 * esistono. 1 se riuscito. Il nome e' quello di sempre: non cambia nessuna cartella. */
int CambiaWorkingDirectory(RichiestaClient *richiesta);
/* Scrive in dirAmbiente la radice dell'ambiente duplicato data (una radice di un ambiente di
 * TabellaInfoInstallazione, maiuscole e minuscole indifferenti), se drive e cartella prg esistono. */
int CambiaAmbienteDuplicato(const char *radice, RichiestaClient *richiesta);
/* Il marcatore dell'aggiornamento dei formati (updatefo.cfg) dell'ambiente in linea in path
 * (DIM_PATH byte). 1 se c'e'. */
int MarcatoreAggiornamentoFormati(char *path, size_t dim);
/* Lo strumento dei formati (kvix32a.exe) che l'aggiornamento avvia, sotto la radice dell'ambiente
 * in linea. 1 se il percorso e' entrato intero. */
int PathStrumentoFormati(char *path, size_t dim);
/* Il marcatore del Visual COBOL (cobol_vc.cfg) dell'ambiente dirAmbiente: 1 se c'e', e allora il
 * runtime e' quello del Visual COBOL. */
int CobolVisual(const char *dirAmbiente, char *path, size_t dim);
/* Esegue lo strumento di aggiornamento formati quando c'e' il file updatefo.cfg, sotto il blocco
 * dei formati: una richiesta che arriva intanto aspetta e poi non trova il marcatore. Non fallisce. */
void AggiornamentoFormati(void);

/* ---- Blocco d'ambiente del runtime (PreparaEnvironment.cpp) ---- */

/* Compone il blocco in blocco (dim byte) dall'ambiente del servizio (blocco di testi terminati da
 * zero, chiuso da uno zero in piu'; NULL se illeggibile), dai valori di PATH e DEBPRO del servizio
 * (NULL se mancano) e dalla richiesta. Le variabili aggiunte entrano sempre; le copiate che non
 * entrano restano fuori, con una riga di log. Rende i byte usati, i due zeri finali compresi. */
int ComponiEnvironment(char *blocco, int dim, const char *ambienteServizio, const char *pathServizio,
                       const char *debproServizio, const RichiestaClient *richiesta, uint32_t socket,
                       int cobolVisual);

/* ---- Avvisi di aggiornamento (Aggiornamenti.cpp) ---- */

#define LUNG_AVVISO_SERVIZIO 144
#define LUNG_AVVISO_IN_CHIARO 174
#define LUNG_CORPO_AVVISO_CIFRATO 173
/* Scrivono l'avviso in dest, che ha almeno la lunghezza data; rendono i byte scritti. */
int AvvisoAggiornamentoServizio(uint8_t *dest);
int AvvisoAggiornamentoInChiaro(uint8_t *dest);
int CorpoAvvisoAggiornamentoCifrato(uint8_t *dest);
/* I marcatori che una richiesta guarda nell'ambiente in linea, e tarnel -check con lei: il percorso
 * in path (DIM_PATH byte); 1 se il file c'e'. aincorso.tst sotto la radice vista dagli utenti,
 * tarnel.new sotto la radice locale. */
int MarcatoreAggiornamentoInCorso(char *path, size_t dim);
int MarcatoreServizioNuovo(char *path, size_t dim);
/* L'aggiornatore del servizio (updqorservice.exe) che la richiesta avvia, sotto la radice locale.
 * 1 se il percorso e' entrato intero. */
int PathAggiornatore(char *path, size_t dim);
/* Se e' in corso l'aggiornamento dell'applicativo (aincorso.tst nella cartella prg dell'ambiente in
 * linea) manda l'avviso nel modo della conversazione e rende 1; altrimenti 0. */
int AggiornamentoInCorso(CanaleRete *canale, int inChiaro, int compressione);
/* Se c'e' tarnel.new nell'ambiente in linea (e non e' in corso un aggiornamento dell'applicativo),
 * avvisa il client e avvia updqorservice.exe: rende 1, il thread deve finire senza chiudere la
 * connessione. Se l'aggiornatore avviato prima gira ancora, solo l'avviso: rende 2, il chiamante
 * chiude. Altrimenti 0. */
int AggiornamentoServizio(CanaleRete *canale);

/* ---- Negoziazione della richiesta (NegoziazioneRichiesta.cpp) ---- */

/* Conversazione interrotta: chiusa dal client o fallita sulla rete. */
#define NEGOZIAZIONE_FALLITA 0
#define NEGOZIAZIONE_RIUSCITA 1
/* Aggiornamento del servizio avviato: il thread finisce e la connessione resta com'e'. */
#define NEGOZIAZIONE_FINE_THREAD 2
/* Aggiornamento dell'applicativo in corso: il client ha avuto l'avviso. */
#define NEGOZIAZIONE_AVVISO_INVIATO 3
/* Richiesta malformata, o cartella di lavoro o programma che non si possono preparare. */
#define NEGOZIAZIONE_RIFIUTATA 4
/* Aggiornamento del servizio gia' avviato e in corso: il client ha avuto l'avviso. */
#define NEGOZIAZIONE_AGGIORNATORE_IN_CORSO 5

/* Scambio chiavi, richiesta, risposta, controlli di aggiornamento, cartella di lavoro e programma,
 * in LIMITE_NEGOZIAZIONE_MS al piu' (orologio di passiLancio). RIUSCITA: il record e' completo.
 * Ogni altro esito salvo FINE_THREAD: il chiamante scrive la sua riga e chiude. Non chiude mai il
 * socket. */
int NegoziazioneRichiestaCanale(CanaleRete *canale, RichiestaClient *richiesta);
int NegoziazioneRichiesta(SocketRete s, RichiestaClient *richiesta);

/* ---- Come e' finita una conversazione (Richiesta.cpp) ---- */

typedef enum TipoEsitoConversazione {
    CONVERSAZIONE_INTERROTTA,
    CONVERSAZIONE_VERSIONE_INVIATA,
    CONVERSAZIONE_RUNTIME_AVVIATO,
    CONVERSAZIONE_AVVISO_IN_CORSO,
    CONVERSAZIONE_AGGIORNAMENTO_SERVIZIO,
    CONVERSAZIONE_RIFIUTATA
} TipoEsitoConversazione;

#define DIM_NOME_RUNTIME 32

/* L'esito che il thread della connessione consegna per la riga di fine conversazione. */
typedef struct EsitoConversazione {
    TipoEsitoConversazione tipo;
    char eseguibile[DIM_NOME_RUNTIME]; /* il runtime avviato, es. trimox3.exe */
    uint32_t processo;                 /* il suo identificativo di processo */
} EsitoConversazione;

/* L'esito di una negoziazione non riuscita (NEGOZIAZIONE_*). */
TipoEsitoConversazione EsitoDaNegoziazione(int negoziazione);
/* Il testo dell'esito nella riga di fine conversazione; mai nulla dei parametri del client. */
void TestoEsitoConversazione(char *testo, size_t dim, const EsitoConversazione *esito);

/* ---- Versione (Versione.cpp) ---- */

/* "%02d.%02d.%02d.%02d" dalle due parole della versione del file. 1 se entrato intero. */
int FormattaVersione(uint32_t versioneAlta, uint32_t versioneBassa, char *testo, size_t dim);
/* La versione che riceve chi la chiede: letta una volta all'avvio del servizio; vuota se manca. */
extern char versioneServizio[DIM_VERSIONE];

#ifdef _WIN32
/* ---- Lato Win32 ---- */

/* Il blocco d'ambiente dall'ambiente vero del servizio (GetEnvironmentStringsA, PATH, DEBPRO). */
void PreparaEnvironment(char *blocco, int dim, const RichiestaClient *richiesta, uint32_t socket, int cobolVisual);
/* La versione del file dell'eseguibile path (NULL: quello del processo); testo vuoto se manca. */
void LeggiVersioneEseguibile(const char *path, char *testo, size_t dim);
/* Legge in versioneServizio la versione del proprio eseguibile: all'avvio del servizio. */
void LeggiVersioneServizio(void);

/* Variabile d'ambiente del servizio, solo per le prove: "1" fa avviare i runtime come sui sistemi
 * senza la lista esplicita degli handle ereditati, anche dove la lista c'e'. Sta nell'ambiente del
 * processo del servizio, che nessun client raggiunge. */
#define VARIABILE_SENZA_LISTA_HANDLE "TARNEL_PROVA_SENZA_LISTA_HANDLE"
/* Sceglie come i runtime ereditano il socket: la lista esplicita degli handle se il sistema la ha
 * e la variabile qui sopra non dice altro; altrimenti il duplicato ereditabile solo sotto un blocco
 * dell'avvio (gli altri socket del servizio sono non ereditabili dalla nascita). ServiceMain la
 * chiama una volta prima del listener; senza chiamata vale la lista, se c'e'. */
void ScegliEreditarietaRuntime(void);
/* 1 se i runtime si avviano senza la lista degli handle. Allora il listener accetta e rende non
 * ereditabile ogni socket sotto il blocco dell'avvio dei runtime (BloccaAvvioRuntime e
 * SbloccaAvvioRuntime): nessun runtime nasce mentre un socket accettato e' ancora ereditabile. */
int AvvioSenzaListaHandle(void);
void BloccaAvvioRuntime(void);
void SbloccaAvvioRuntime(void);

/* La conversazione di una connessione, sul suo thread: diventa proprietaria del socket accettato e
 * lo chiude prima di finire, salvo dopo l'avvio dell'aggiornamento del servizio. In *esito come e'
 * finita. */
void AttivazioneClient(SocketRete socketAccettato, EsitoConversazione *esito);
#endif

#endif
