/* setup/Servizi.h - la regola d'attesa dell'avvio di un servizio da cui tarnel dipende.
 * Intestazione portabile: la usano ServiziWin.cpp e le prove. */
#ifndef SETUP_SERVIZI_H
#define SETUP_SERVIZI_H

#include <stdint.h>

#define ATTESA_AVVIO_MINIMA_MS 1000u
#define ATTESA_AVVIO_MASSIMA_MS 10000u

/* Il check point visto crescere per ultimo e il tick di quel momento. */
typedef struct AttesaAvvio {
    uint32_t checkPoint;
    uint32_t tickRicordato;
} AttesaAvvio;

/* Pausa tra due interrogazioni: un decimo del wait hint, tra 1000 e 10000 ms. */
uint32_t IntervalloAttesaAvvio(uint32_t waitHint);
/* Prima interrogazione dopo l'avvio: ricorda check point e tick. */
void IniziaAttesaAvvio(AttesaAvvio *attesa, uint32_t checkPoint, uint32_t tickOra);
/* Dopo un'interrogazione ancora in avvio: 1 se si continua ad attendere, 0 se il check point e' fermo
 * da piu' millisecondi del wait hint. Il tick e' aritmetica senza segno: il giro del contatore non conta. */
int ProseguiAttesaAvvio(AttesaAvvio *attesa, uint32_t checkPoint, uint32_t waitHint, uint32_t tickOra);

#endif
