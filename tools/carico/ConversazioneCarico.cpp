/* tools/carico/ConversazioneCarico.cpp - una conversazione cifrata del generatore di carico, sulla
 * meta' client di protocol/ e sulla rete del client da riga di comando. */
#include "tools/carico/carico.h"

#include "tools/client/cliente.h"

#include <string.h>

/* Dopo la versione: byte fino alla chiusura. 1 se e' arrivato qualcosa e poi la chiusura. */
static int VersioneFinoAllaChiusura(CanaleRete *canale)
{
    uint8_t area[256];
    int totale = 0;
    for (;;) {
        int n = canale->ricevi(canale->contesto, area, sizeof area);
        if (n == 0)
            return totale > 0;
        if (n < 0)
            return 0;
        totale += n;
    }
}

/* Dopo la risposta a un avvio: la riga di saluto del runtime. 1 quando arriva intera. */
static int SalutoRuntime(CanaleRete *canale)
{
    char riga[256];
    int lung = 0;
    while (lung < (int)sizeof riga - 1) {
        int n = canale->ricevi(canale->contesto, (uint8_t *)riga + lung, (int)sizeof riga - 1 - lung);
        if (n <= 0)
            return 0;
        lung += n;
        riga[lung] = '\0';
        if (strchr(riga, '\n') != NULL)
            return strncmp(riga, "RUNTIME ", 8) == 0;
    }
    return 0;
}

int ConversaCarico(CanaleRete *canale, TipoCarico tipo, const uint8_t *richiesta, int lungRichiesta,
                   const uint8_t *materiale)
{
    uint8_t area[DIM_AREA_MESSAGGIO];
    StatoCifratura stato;
    int lung = 0;

    if (lungRichiesta <= 0 || lungRichiesta > (int)sizeof area)
        return 0;
    memset(&stato, 0, sizeof stato);
    memcpy(area, richiesta, (size_t)lungRichiesta); /* l'invio cifra l'area */
    if (scambioChiaviClienteCanale(canale, &stato, 0, materiale) != ESITO_FATTO ||
        invioBufferCanale(canale, &stato, area, lungRichiesta) != ESITO_FATTO ||
        ricezioneBufferCanale(canale, &stato, area, sizeof area, &lung) != ESITO_FATTO ||
        lung < LUNG_CIFRE_CAMPO + 4 || memcmp(area + LUNG_CIFRE_CAMPO, "0109", 4) != 0)
        return 0;
    return tipo == CARICO_VERSIONE ? VersioneFinoAllaChiusura(canale) : SalutoRuntime(canale);
}

int ConversazioneCarico(const char *host, const char *porta, TipoCarico tipo, const uint8_t *richiesta,
                        int lungRichiesta, const uint8_t *materiale, int limiteMs)
{
    char errore[160];
    CanaleRete canale;

    SocketRete s = ConnettiCliente(host, porta, limiteMs, errore, sizeof errore);
    if (s == SOCKET_NON_VALIDO)
        return 0;
    LimiteRicezione(s, limiteMs);
    CanaleSuSocket(&canale, &s);
    int finita = ConversaCarico(&canale, tipo, richiesta, lungRichiesta, materiale);
    ChiudiCliente(s);
    return finita;
}
