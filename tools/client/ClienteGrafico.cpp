/* tools/client/ClienteGrafico.cpp - client da riga di comando per provare il servizio: scambio
 * chiavi (o frase in chiaro), una richiesta fatta dei testi dati, la risposta campo per campo e
 * quanto arriva dopo. Solo build nativa.
 *   clientegrafico [--host 127.0.0.1] [--porta N] [--in-chiaro] [--attesa SECONDI] campo0 ...
 * Ogni testo diventa un campo chiuso da uno zero contato nella lunghezza. Uscita 0 se la
 * risposta e' arrivata, 1 altrimenti. */
#include "protocol/protocol.h"

#include "service/service.h"

#include <netdb.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

/* Attesa massima di ogni ricezione, in secondi. */
#define LIMITE_RICEZIONE_S 30

#define MAX_CAMPI_RISPOSTA 64
#define DIM_DOPO 65536

typedef struct OpzioniCliente {
    const char *host;
    const char *porta;
    int inChiaro;
    int attesaMs;
    int primoCampo; /* indice in argv del primo testo */
} OpzioniCliente;

static void Uso(void)
{
    fprintf(stderr, "uso: clientegrafico [--host 127.0.0.1] [--porta N] [--in-chiaro] "
                    "[--attesa SECONDI] campo0 campo1 ...\n");
}

#define TESTO(x) #x
#define TESTO_NUMERO(x) TESTO(x)

/* 1 se le opzioni sono valide. */
static int LeggiOpzioni(int argc, char **argv, OpzioniCliente *opzioni)
{
    opzioni->host = "127.0.0.1";
    opzioni->porta = TESTO_NUMERO(PORTA_DEFAULT);
    opzioni->inChiaro = 0;
    opzioni->attesaMs = 2000;
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
        if (strcmp(argv[i], "--") == 0) {
            i++;
            break;
        }
        if (strcmp(argv[i], "--in-chiaro") == 0) {
            opzioni->inChiaro = 1;
            continue;
        }
        if (i + 1 >= argc)
            return 0;
        if (strcmp(argv[i], "--host") == 0) {
            opzioni->host = argv[++i];
        } else if (strcmp(argv[i], "--porta") == 0) {
            opzioni->porta = argv[++i];
        } else if (strcmp(argv[i], "--attesa") == 0) {
            char *fine = NULL;
            double secondi = strtod(argv[++i], &fine);
            if (fine == argv[i] || *fine != '\0' || secondi < 0 || secondi > 3600)
                return 0;
            opzioni->attesaMs = (int)(secondi * 1000);
        } else {
            return 0;
        }
    }
    opzioni->primoCampo = i;
    return 1;
}

static SocketRete Connetti(const char *host, const char *porta)
{
    struct addrinfo richiesta;
    struct addrinfo *risultati = NULL;
    SocketRete s = SOCKET_NON_VALIDO;
    memset(&richiesta, 0, sizeof richiesta);
    richiesta.ai_family = AF_UNSPEC;
    richiesta.ai_socktype = SOCK_STREAM;
    int esito = getaddrinfo(host, porta, &richiesta, &risultati);
    if (esito != 0) {
        fprintf(stderr, "clientegrafico - indirizzo %s:%s non valido: %s\n", host, porta,
                gai_strerror(esito));
        return SOCKET_NON_VALIDO;
    }
    for (struct addrinfo *r = risultati; r != NULL && s == SOCKET_NON_VALIDO; r = r->ai_next) {
        s = socket(r->ai_family, r->ai_socktype, r->ai_protocol);
        if (s != SOCKET_NON_VALIDO && connect(s, r->ai_addr, r->ai_addrlen) != 0) {
            close(s);
            s = SOCKET_NON_VALIDO;
        }
    }
    freeaddrinfo(risultati);
    if (s == SOCKET_NON_VALIDO) {
        fprintf(stderr, "clientegrafico - impossibile connettersi a %s:%s\n", host, porta);
        return s;
    }
    /* Un servizio che tace non trattiene il client per sempre: ogni ricezione attende al piu' cosi'. */
    struct timeval limite = {LIMITE_RICEZIONE_S, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limite, sizeof limite);
    return s;
}

/* Stampa i byte: stampabili cosi' come sono, la barra rovescia raddoppiata, gli altri \xNN. */
static void StampaTesto(const uint8_t *dati, int lung)
{
    for (int i = 0; i < lung; i++) {
        if (dati[i] == '\\')
            fputs("\\\\", stdout);
        else if (dati[i] >= 0x20 && dati[i] < 0x7F)
            putchar(dati[i]);
        else
            printf("\\x%02X", dati[i]);
    }
}

/* Campi della risposta uno per riga, senza lo zero che chiude il testo; i byte dietro la lista
 * (arrivati insieme alla risposta) vanno in dopo. Rende la fine della lista o -1. */
static int StampaRisposta(const uint8_t *risposta, int lung)
{
    CampoLista campi[MAX_CAMPI_RISPOSTA];
    int numCampi = LeggiListaCampi(risposta, lung, campi, MAX_CAMPI_RISPOSTA);
    if (numCampi < 0) {
        fprintf(stderr, "clientegrafico - risposta non in forma di lista di campi (%d)\n", numCampi);
        fputs("risposta: ", stdout);
        StampaTesto(risposta, lung);
        putchar('\n');
        return -1;
    }
    int fine = LUNG_CIFRE_CAMPO;
    for (int i = 0; i < numCampi; i++) {
        int n = campi[i].lung;
        if (risposta[campi[i].inizio + n - 1] == 0)
            n--;
        printf("campo %d: ", i);
        StampaTesto(risposta + campi[i].inizio, n);
        putchar('\n');
        fine = campi[i].inizio + campi[i].lung + LUNG_CIFRE_CAMPO;
    }
    return fine;
}

static int64_t OraMs(void)
{
    struct timespec ora;
    clock_gettime(CLOCK_MONOTONIC, &ora);
    return (int64_t)ora.tv_sec * 1000 + ora.tv_nsec / 1000000;
}

/* Raccoglie in dopo quanto arriva fino alla chiusura del peer o alla scadenza dell'attesa. */
static int RaccogliDopo(SocketRete s, int attesaMs, uint8_t *dopo, int lungDopo, int capacita)
{
    int64_t scadenza = OraMs() + attesaMs;
    while (lungDopo < capacita) {
        int64_t resto = scadenza - OraMs();
        struct pollfd attesa = {s, POLLIN, 0};
        if (resto <= 0 || poll(&attesa, 1, (int)resto) <= 0)
            break;
        ssize_t n = recv(s, dopo + lungDopo, (size_t)(capacita - lungDopo), 0);
        if (n <= 0)
            break;
        lungDopo += (int)n;
    }
    return lungDopo;
}

/* Corpo della richiesta; 0 se non entra nell'area dei messaggi. */
static int ComponiRichiesta(int numTesti, char **testi, uint8_t *corpo, int capacita)
{
    int pos = 0;
    for (int i = 0; i < numTesti; i++) {
        int n = aggiungiCampo(corpo + pos, capacita - pos, (const uint8_t *)testi[i],
                              (int)strnlen(testi[i], MAX_LUNG_CAMPO) + 1);
        if (n == 0)
            return 0;
        pos += n;
    }
    int n = ChiudiListaCampi(corpo + pos, capacita - pos);
    return n == 0 ? 0 : pos + n;
}

static int Conversa(SocketRete s, const OpzioniCliente *opzioni, uint8_t *richiesta, int lungRichiesta)
{
    uint8_t risposta[DIM_AREA_MESSAGGIO];
    uint8_t dopo[DIM_DOPO];
    StatoCifratura stato;
    int lungRisposta = 0;
    int esito;

    memset(&stato, 0, sizeof stato);
    esito = scambioChiaviCliente(s, &stato, opzioni->inChiaro);
    if (esito != (opzioni->inChiaro ? ESITO_IN_CHIARO : ESITO_FATTO)) {
        fprintf(stderr, "clientegrafico - scambio chiavi non riuscito (%d)\n", esito);
        return 1;
    }
    esito = opzioni->inChiaro ? invioBufferInChiaro(s, richiesta, lungRichiesta)
                              : invioBuffer(s, &stato, richiesta, lungRichiesta);
    if (esito != ESITO_FATTO) {
        fprintf(stderr, "clientegrafico - invio della richiesta non riuscito (%d)\n", esito);
        return 1;
    }
    esito = opzioni->inChiaro
                ? ricezioneBufferInChiaro(s, risposta, sizeof risposta, &lungRisposta)
                : ricezioneBuffer(s, &stato, risposta, sizeof risposta, &lungRisposta);
    if (esito != ESITO_FATTO) {
        fprintf(stderr, "clientegrafico - nessuna risposta dal servizio (%d)\n", esito);
        return 1;
    }
    int fineLista = StampaRisposta(risposta, lungRisposta);
    int lungDopo = 0;
    if (fineLista >= 0 && fineLista < lungRisposta) {
        lungDopo = lungRisposta - fineLista;
        memcpy(dopo, risposta + fineLista, (size_t)lungDopo);
    }
    lungDopo = RaccogliDopo(s, opzioni->attesaMs, dopo, lungDopo, DIM_DOPO);
    if (lungDopo > 0) {
        fputs("dopo: ", stdout);
        StampaTesto(dopo, lungDopo);
        putchar('\n');
    }
    return 0;
}

int main(int argc, char **argv)
{
    OpzioniCliente opzioni;
    uint8_t richiesta[DIM_AREA_MESSAGGIO];

    if (!LeggiOpzioni(argc, argv, &opzioni)) {
        Uso();
        return 1;
    }
    int lungRichiesta = ComponiRichiesta(argc - opzioni.primoCampo, argv + opzioni.primoCampo,
                                         richiesta, sizeof richiesta);
    if (lungRichiesta == 0) {
        fprintf(stderr, "clientegrafico - la richiesta non entra in %d byte\n", DIM_AREA_MESSAGGIO);
        return 1;
    }
    SocketRete s = Connetti(opzioni.host, opzioni.porta);
    if (s == SOCKET_NON_VALIDO)
        return 1;
    int uscita = Conversa(s, &opzioni, richiesta, lungRichiesta);
    fflush(stdout);
    close(s);
    return uscita;
}
