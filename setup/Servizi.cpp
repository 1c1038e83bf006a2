/* setup/Servizi.cpp - la regola d'attesa dell'avvio di un servizio dipendente: nessun limite fisso,
 * l'attesa finisce quando il servizio smette di far avanzare il suo check point. */
#include "setup/Servizi.h"

uint32_t IntervalloAttesaAvvio(uint32_t waitHint)
{
    uint32_t intervallo = waitHint / 10;

    if (intervallo < ATTESA_AVVIO_MINIMA_MS)
        return ATTESA_AVVIO_MINIMA_MS;
    if (intervallo > ATTESA_AVVIO_MASSIMA_MS)
        return ATTESA_AVVIO_MASSIMA_MS;
    return intervallo;
}

void IniziaAttesaAvvio(AttesaAvvio *attesa, uint32_t checkPoint, uint32_t tickOra)
{
    attesa->checkPoint = checkPoint;
    attesa->tickRicordato = tickOra;
}

int ProseguiAttesaAvvio(AttesaAvvio *attesa, uint32_t checkPoint, uint32_t waitHint, uint32_t tickOra)
{
    if (checkPoint > attesa->checkPoint) {
        attesa->checkPoint = checkPoint;
        attesa->tickRicordato = tickOra;
        return 1;
    }
    return (uint32_t)(tickOra - attesa->tickRicordato) <= waitHint;
}
