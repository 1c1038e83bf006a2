/* tools/client/ClienteGrafico.cpp - clientegrafico: il client da riga di comando per provare il
 * servizio, nativo su Linux e su Windows. Legge la riga di comando, compone la richiesta, si
 * connette e conversa; sullo stdout quanto arriva, sullo stderr una riga per un errore. Il codice
 * d'uscita dice l'esito (vedi TESTO_USO). */
#include "tools/client/cliente.h"

#include <stdio.h>


static char testoUscita[1 << 20];

int main(int argc, char **argv)
{
    static ArgomentiCliente argomenti;
    static uint8_t richiesta[DIM_CORPO_CLIENTE];
    uint8_t materiale[DIM_CHIAVE];
    char errore[512];
    TestoUscita uscita = {testoUscita, (int)sizeof testoUscita, 0, 0};

    UscitaBinaria();
    if (!LeggiArgomenti(argc, (const char *const *)argv, &argomenti, errore, sizeof errore)) {
        fprintf(stderr, "clientegrafico: %s\n%s", errore, TESTO_USO);
        return USCITA_USO;
    }
    if (argomenti.aiuto) {
        fputs(TESTO_USO, stdout);
        return USCITA_FATTO;
    }
    AttivaLogConsole(argomenti.verboso);
    int lungRichiesta = ComponiRichiesta(&argomenti.richiesta, richiesta, sizeof richiesta, errore, sizeof errore);
    if (lungRichiesta == 0) {
        fprintf(stderr, "clientegrafico: %s\n", errore);
        return USCITA_USO;
    }
    if (!AvviaReteCliente()) {
        fprintf(stderr, "clientegrafico: impossibile avviare la rete\n");
        return USCITA_CONNESSIONE;
    }
    SocketRete s = ConnettiCliente(argomenti.host, argomenti.porta, argomenti.conversazione.limiteMs, errore,
                                   sizeof errore);
    if (s == SOCKET_NON_VALIDO) {
        fprintf(stderr, "clientegrafico: %s\n", errore);
        return USCITA_CONNESSIONE;
    }
    CanaleRete canale;
    CanaleSuSocket(&canale, &s);
    GeneraMaterialeCliente(materiale);
    argomenti.conversazione.materiale = materiale;
    int esito = ConversaCliente(&canale, &argomenti.conversazione, richiesta, lungRichiesta, &uscita, errore,
                                sizeof errore);
    fwrite(uscita.testo, 1, (size_t)uscita.lung, stdout);
    fflush(stdout);
    ChiudiCliente(s);
    if (uscita.troncato)
        fprintf(stderr, "clientegrafico: uscita troncata a %d byte\n", uscita.lung);
    if (esito != USCITA_FATTO)
        fprintf(stderr, "clientegrafico: %s\n", errore);
    return esito;
}
