/* tests/finti/ClienteWin.h - il client Windows clientegrafico.exe avviato come processo dalle prove,
 * con stdout e stderr raccolti in due file. */
#ifndef FINTI_CLIENTEWIN_H
#define FINTI_CLIENTEWIN_H

#include <string>

#include <winsock2.h>
#include <windows.h>

/* Un client avviato: processo e file delle sue uscite. */
struct Cliente {
    PROCESS_INFORMATION processo = {};
    std::string pathUscita, pathErrore;
    bool avviato = false;
};

struct EsitoCliente {
    int codice = -1;
    std::string uscita;
    std::string errore;
};

/* Avvia il client (percorso Linux dell'eseguibile) verso 127.0.0.1:porta con gli argomenti; le sue
 * uscite vanno in file numerati nella cartella data, che e' anche la sua cartella corrente. Eredita
 * solo quei due handle: un duplicato di socket del servizio che esistesse in quel momento non gli
 * arriva. */
Cliente AvviaClienteGrafico(const std::string &pathLinuxClient, int porta, const std::string &cartellaUscite,
                            const std::string &argomenti);
/* Attende la fine del client (al piu' attesaMs, poi lo termina): codice d'uscita (-1 se non finito)
 * e le sue uscite. */
EsitoCliente AttendiCliente(Cliente &cliente, DWORD attesaMs = 90000);

#endif
