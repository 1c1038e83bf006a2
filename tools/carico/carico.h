/* tools/carico/carico.h - il generatore di carico: conversazioni cifrate a ciclo chiuso (ogni client
 * apre la prossima appena finita la precedente) o a raffica, contro il servizio e contro il servizio
 * di riferimento (tools/riferimento) nello stesso giro; ritmo, p50 e p99 dei due, i rapporti e il
 * confronto con i limiti. Nativo: ConversazioneCarico.cpp e Misure.cpp sono portabili, solo
 * CaricoPosix.cpp conosce thread, orologio e socket della piattaforma. */
#ifndef TOOLS_CARICO_CARICO_H
#define TOOLS_CARICO_CARICO_H

#include "protocol/protocol.h"

#include <stddef.h>

typedef enum TipoCarico {
    CARICO_VERSIONE, /* richiesta sysadmin: finita alla chiusura dopo il testo della versione */
    CARICO_AVVIO     /* richiesta kelvatlog3: finita alla riga "RUNTIME ..." del runtime avviato */
} TipoCarico;

/* ---- Una conversazione (ConversazioneCarico.cpp) ---- */

/* Sul canale: scambio chiavi con il materiale dato, richiesta, risposta con "0109" nel campo 0 e
 * poi quanto il tipo aspetta (versione: dati e chiusura; avvio: la riga "RUNTIME ..." intera).
 * 1 se finita come deve. */
int ConversaCarico(CanaleRete *canale, TipoCarico tipo, const uint8_t *richiesta, int lungRichiesta,
                   const uint8_t *materiale);
/* Connessione a host:porta e la conversazione sopra; ogni attesa al piu' limiteMs. */
int ConversazioneCarico(const char *host, const char *porta, TipoCarico tipo, const uint8_t *richiesta,
                        int lungRichiesta, const uint8_t *materiale, int limiteMs);

/* ---- Misure e confronto (Misure.cpp) ---- */

#define MAX_RIPETIZIONI 16

/* Una prova: conversazioni finite al secondo, latenze in millisecondi, conversazioni non finite, e
 * il processore che il processo del servizio ha speso per conversazione finita, in millisecondi
 * (negativo se non misurato). */
typedef struct MisuraCarico {
    double ritmo;
    double p50;
    double p99;
    int finite;
    int incompiute;
    double processoreMs;
} MisuraCarico;

/* Il percentile p (1..100) di n latenze, per rango (il valore che ha p% dei campioni sotto o
 * uguali). Ordina i campioni. 0 se n e' 0. */
double PercentileCampioni(float *campioni, int n, int p);
/* Le ripetizioni di una prova in una: mediana di ritmo, p50, p99 e processore (negativo se una
 * ripetizione non l'ha misurato); finite e incompiute sommate. */
MisuraCarico MedianaRipetizioni(const MisuraCarico *ripetizioni, int n);

/* Minimo, mediana e massimo di una serie di valori. */
typedef struct Intervallo {
    double minimo;
    double mediana;
    double massimo;
} Intervallo;

/* Cosa si confronta: carichi a ciclo chiuso dei due tipi o la raffica di avvii. */
typedef enum ProvaConfronto { PROVA_VERSIONE, PROVA_AVVIO, PROVA_RAFFICA } ProvaConfronto;

/* I rapporti servizio/riferimento di ogni ripetizione (la ripetizione r del servizio con la r del
 * riferimento, misurate una dopo l'altra) riassunti in minimo, mediana e massimo. processore vale
 * solo con processoreMisurato. */
typedef struct ConfrontoCarico {
    Intervallo ritmo;
    Intervallo p50;
    Intervallo p99;
    Intervallo processore;
    int processoreMisurato;
} ConfrontoCarico;

/* Servizio contro riferimento su n ripetizioni, con i limiti della prova sulle mediane dei
 * rapporti: versioni ritmo almeno 1,0 e p99 al piu' 1,25; avvii ritmo almeno 0,95, nessuna
 * ripetizione sotto 0,8, nessuna conversazione non finita e processore per conversazione al piu'
 * 1,2; raffica tutta servita, p50 al piu' 1,1 e processore al piu' 1,2. 1 se li rispetta;
 * altrimenti 0 e in motivo quello che manca (anche un riferimento senza misure valide o un
 * processore non misurato dove c'e' un limite). */
int ConfrontaRipetizioni(ProvaConfronto prova, const MisuraCarico *servizio, const MisuraCarico *riferimento,
                         int n, ConfrontoCarico *confronto, char *motivo, size_t dimMotivo);

/* Dal testo di /proc/<pid>/stat i tick di processore del processo, utente piu' sistema (campi 14
 * e 15, contati dopo la parentesi che chiude il nome). 1 se letti. */
int TickDaStat(const char *testo, unsigned long long *tick);

/* ---- Piattaforma (CaricoPosix.cpp) ---- */

/* Secondi di un orologio monotono. */
double OraSecondi(void);
/* Limite di ogni ricezione sul socket. */
void LimiteRicezione(SocketRete s, int millisecondi);
/* Avvia quanti thread, li lascia partire tutti insieme su procedura(indice, contesto) e li attende.
 * 0 se un thread non parte (nessuno allora parte). */
int LanciaInsieme(int quanti, void (*procedura)(int indice, void *contesto), void *contesto);
/* Toglie dalla cartella i file il cui nome comincia con prefisso e finisce con suffisso. */
void TogliFile(const char *cartella, const char *prefisso, const char *suffisso);
void Dormi(int millisecondi);
/* Secondi di processore spesi finora dal processo pid (tutti i suoi thread); negativo se non si
 * legge. */
double ProcessoreProcesso(int pid);

#endif
