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

/* Una prova: conversazioni finite al secondo, latenze in millisecondi, conversazioni non finite. */
typedef struct MisuraCarico {
    double ritmo;
    double p50;
    double p99;
    int finite;
    int incompiute;
} MisuraCarico;

/* Il percentile p (1..100) di n latenze, per rango (il valore che ha p% dei campioni sotto o
 * uguali). Ordina i campioni. 0 se n e' 0. */
double PercentileCampioni(float *campioni, int n, int p);
/* Le ripetizioni di una prova in una: mediana di ritmo, p50 e p99; finite e incompiute sommate. */
MisuraCarico MedianaRipetizioni(const MisuraCarico *ripetizioni, int n);

/* Cosa si confronta: carichi a ciclo chiuso dei due tipi o la raffica di avvii. */
typedef enum ProvaConfronto { PROVA_VERSIONE, PROVA_AVVIO, PROVA_RAFFICA } ProvaConfronto;

/* Servizio contro riferimento, con i limiti della prova: versioni ritmo almeno 0,8 volte e p99 al
 * piu' 1,25 volte quelli del riferimento; avvii ritmo almeno 0,9 volte e nessuna conversazione non
 * finita; raffica tutta servita e p50 al piu' 1,2 volte. 1 se li rispetta; altrimenti 0 e in motivo
 * quello che manca (anche un riferimento senza misure valide). */
int ConfrontaMisure(ProvaConfronto prova, const MisuraCarico *servizio, const MisuraCarico *riferimento,
                    char *motivo, size_t dimMotivo);

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

#endif
