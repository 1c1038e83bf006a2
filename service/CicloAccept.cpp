/* service/CicloAccept.cpp - il ciclo di accept sui suoi passi: quali errori di accept lo lasciano
 * proseguire, quando attende, quante righe scrive. I passi veri sono in ListenerWin.cpp. */
#include "service/service.h"

/* Codici di Winsock che il ciclo distingue (winsock2.h non entra nei file portabili). */
#define ERRORE_INTR 10004
#define ERRORE_MFILE 10024
#define ERRORE_WOULDBLOCK 10035
#define ERRORE_CONNABORTED 10053
#define ERRORE_CONNRESET 10054
#define ERRORE_NOBUFS 10055
#define ERRORE_NOTCONN 10057
#define ERRORE_PROCLIM 10067
#define ERRORE_MEMORIA 8         /* WSA_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY */
#define ERRORE_RISORSE 1450      /* ERROR_NO_SYSTEM_RESOURCES */
#define ERRORE_QUOTA 1453        /* ERROR_WORKING_SET_QUOTA */

TipoErroreAccept ClassificaErroreAccept(int errore)
{
    switch (errore) {
    case ERRORE_CONNRESET:
    case ERRORE_CONNABORTED:
    case ERRORE_INTR:
    case ERRORE_WOULDBLOCK:
    /* Sotto Wine una connessione chiusa con un reset prima dell'accept da' questo. */
    case ERRORE_NOTCONN:
        return ERRORE_ACCEPT_PROSEGUI;
    case ERRORE_MFILE:
    case ERRORE_NOBUFS:
    case ERRORE_PROCLIM:
    case ERRORE_MEMORIA:
    case ERRORE_RISORSE:
    case ERRORE_QUOTA:
        return ERRORE_ACCEPT_ATTENDI;
    default:
        return ERRORE_ACCEPT_FATALE;
    }
}

void CicloAcceptPassi(const PassiAccept *passi)
{
    uint32_t ultimaRigaMs = 0;
    int rigaScritta = 0;

    for (;;) {
        int errore = passi->accettaEAvvia(passi->contesto);
        if (errore == 0)
            continue;
        TipoErroreAccept tipo = ClassificaErroreAccept(errore);
        if (tipo == ERRORE_ACCEPT_FATALE) {
            ScriviLogErrore("CicloAccept - accept");
            break;
        }
        /* Un client che chiude prima dell'accept non deve riempire il log: una riga al minuto. */
        uint32_t adessoMs = passi->adessoMs();
        if (!rigaScritta || (uint32_t)(adessoMs - ultimaRigaMs) >= INTERVALLO_RIGHE_ACCEPT_MS) {
            ScriviLogErrore("CicloAccept - accept");
            ultimaRigaMs = adessoMs;
            rigaScritta = 1;
        }
        if (tipo == ERRORE_ACCEPT_ATTENDI)
            passi->attendi(ATTESA_RISORSE_ACCEPT_MS);
    }
    ScriviLog("CicloAccept - il listener non accetta piu' connessioni: il servizio termina per essere "
              "riavviato\n");
}
