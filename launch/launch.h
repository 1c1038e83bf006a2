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
/* Percorsi costruiti dalla cartella di lavoro e dagli aggiornamenti. */
/* Blocco d'ambiente del runtime, riga di comando, testi di lavoro di PATH e DEBPRO. */
#define DIM_BLOCCO_ENVIRONMENT 32768
#define DIM_RIGA_COMANDO 5000
#define DIM_TESTO_ENVIRONMENT 5000
/* Testo della versione: al piu' 79 caratteri. */
#define DIM_VERSIONE 80
/* Attesa massima di ogni ricezione dal client prima che il runtime abbia il socket. */
#define ATTESA_RICEZIONE_CLIENT_MS 60000

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

/* Il tipo di richiesta dal contenuto del campo 4 (confronto del solo prefisso). */
TipoRichiesta TipoDaProgramma(const uint8_t *programma, int lung);
/* Controlla una richiesta ricevuta (corpo di lung byte) prima della risposta: lista dei campi chiusa
 * da "00000", non piu' di 20 campi, campo 0 di almeno 4 byte, i campi che il tipo legge, i testi
 * copiati terminati da zero entro il campo e non piu' lunghi del loro posto, nessun a capo nei
 * valori del file dei parametri. Rende il numero dei campi (posizioni in campi, almeno
 * MAX_CAMPI_RICHIESTA posti), o 0 con una riga di log che dice il motivo. */
int ControllaRichiesta(const uint8_t *corpo, int lung, CampoLista *campi);
/* Carattere dell'anno fiscale di una richiesta kelvatlog3 dal testo dell'anno; l'asterisco se non
 * c'e' anno (anche quando il carattere verrebbe lo zero). */
char CarattereAnnoKelvatlog3(const char *anno);
/* Smistamento del programma del campo 4: riempie il record secondo il tipo, scrive il file dei
 * parametri, passa all'ambiente duplicato. 1 se riuscito. I campi sono gia' controllati da
 * ControllaRichiesta. */
int SmistamentoProgramma(const uint8_t *corpo, const CampoLista *campi, int numCampi, RichiestaClient *richiesta);
/* Scrive ".\etc\kl<N>.cfg" (relativo alla cartella corrente) per una richiesta kelvatlog3 o
 * kelvatlog5 e ne mette il nome in fileParametri. 1 se il file e' stato creato. */
int CreaFileParametri(TipoRichiesta tipo, const uint8_t *corpo, const CampoLista *campi, RichiestaClient *richiesta);

/* ---- Cartella di lavoro (CartellaLavoro.cpp) ---- */

/* Rende corrente la cartella prg dell'ambiente in linea e ne scrive la radice in dirAmbiente. */
int CambiaWorkingDirectory(RichiestaClient *richiesta);
/* Passa alla cartella prg dell'ambiente duplicato di radice data (una radice di un ambiente di
 * TabellaInfoInstallazione, maiuscole e minuscole indifferenti) e la scrive in dirAmbiente. */
int CambiaAmbienteDuplicato(const char *radice, RichiestaClient *richiesta);

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
/* Se e' in corso l'aggiornamento dell'applicativo (aincorso.tst nella cartella prg dell'ambiente in
 * linea) manda l'avviso nel modo della conversazione e rende 1; altrimenti 0. */
int AggiornamentoInCorso(SocketRete s, int inChiaro, int compressione);

/* ---- Versione (Versione.cpp) ---- */

/* "%02d.%02d.%02d.%02d" dalle due parole della versione del file. 1 se entrato intero. */
int FormattaVersione(uint32_t versioneAlta, uint32_t versioneBassa, char *testo, size_t dim);

#ifdef _WIN32
/* ---- Lato Win32 ---- */

/* Esegue lo strumento di aggiornamento formati quando c'e' il file updatefo.cfg. Non fallisce. */
void AggiornamentoFormati(void);
/* Se c'e' tarnel.new nell'ambiente in linea (e non e' in corso un aggiornamento dell'applicativo),
 * avvisa il client, avvia updqorservice.exe e finisce il thread chiamante. Altrimenti ritorna. */
void AggiornamentoServizio(SocketRete s);
/* Il blocco d'ambiente dall'ambiente vero del servizio (GetEnvironmentStringsA, PATH, DEBPRO). */
void PreparaEnvironment(char *blocco, int dim, const RichiestaClient *richiesta, uint32_t socket, int cobolVisual);
/* La versione del file dell'eseguibile path (NULL: quello del processo); testo vuoto se manca. */
void LeggiVersioneEseguibile(const char *path, char *testo, size_t dim);

/* Il blocco di tutto il processo sulla cartella corrente: tenuto da AggiornamentoFormati fino
 * all'avvio del runtime o all'invio della versione, cosi' le richieste non si mescolano. */
void BloccaCartellaLavoro(void);
void SbloccaCartellaLavoro(void);

/* Negoziazione della richiesta: scambio chiavi, richiesta, risposta, controlli di aggiornamento,
 * cartella di lavoro e programma. 1 se riuscita: il record e' completo e il chiamante tiene il
 * blocco della cartella di lavoro (lo rilascia dopo l'avvio o la versione). 0 se fallita: il
 * blocco e' gia' rilasciato. Non chiude mai il socket. */
int NegoziazioneRichiesta(SocketRete s, RichiestaClient *richiesta);

/* Variabile d'ambiente del servizio, solo per le prove: "1" fa avviare i runtime come sui sistemi
 * senza la lista esplicita degli handle ereditati, anche dove la lista c'e'. Sta nell'ambiente del
 * processo del servizio, che nessun client raggiunge. */
#define VARIABILE_SENZA_LISTA_HANDLE "TARNEL_PROVA_SENZA_LISTA_HANDLE"
/* Sceglie come i runtime ereditano il socket: la lista esplicita degli handle se il sistema la ha
 * e la variabile qui sopra non dice altro; altrimenti il duplicato ereditabile solo sotto un blocco
 * dell'avvio (gli altri socket del servizio sono non ereditabili dalla nascita). ServiceMain la
 * chiama una volta prima del listener; senza chiamata vale la lista, se c'e'. */
void ScegliEreditarietaRuntime(void);

/* Procedura del thread di una connessione: il parametro e' il socket accettato, di cui diventa
 * proprietaria. Chiude il socket prima di finire. */
unsigned long __stdcall AttivazioneClient(void *socketAccettato);
#endif

#endif
