/* tools/carico/Carico.cpp - carico: misura il servizio e il servizio di riferimento sotto gli stessi
 * carichi, nello stesso giro. Versioni e avvii a ciclo chiuso con 1, 8 e 32 client insieme per
 * --secondi ciascuno, e una raffica di --raffica avvii partiti insieme; ogni prova --ripetizioni
 * volte (5), alternando chi va per primo. Stampa ritmo, p50, p99 e processore per conversazione
 * (mediane delle ripetizioni) dei due, e minimo, mediana e massimo dei rapporti servizio/riferimento
 * di ogni ripetizione; esce con 1 se un rapporto manca i limiti, 2 per un errore.
 *
 * Uso: carico [--host H] [--secondi S] [--ripetizioni N] [--raffica N] [--limite S]
 *             [--solo versione|avvio|raffica] [--pulisci CARTELLA]... [--pid-servizio P]
 *             [--pid-riferimento P] PORTA_SERVIZIO PORTA_RIFERIMENTO
 * --solo: misura solo i carichi con quel nome (per rifare in fretta una misura dopo una modifica).
 * --limite: secondi di attesa massima della connessione e di ogni ricezione (30); una conversazione
 * che li supera conta come non finita.
 * --pulisci: cartella dove gli avvii lasciano file (rapporti trimox*.txt del runtime di prova, file
 * dei parametri kl*.cfg), svuotata di quelli prima di ogni prova.
 * --pid-servizio, --pid-riferimento: il processo Linux che ospita ciascuno dei due (sotto Wine, il
 * processo dell'eseguibile): il processore che spende in una prova, da /proc/<pid>/stat, diviso per
 * le conversazioni finite. Senza, il processore non si misura. */
#include "tools/carico/carico.h"

#include "tools/client/cliente.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_CLIENT 256
#define MAX_CAMPIONI (1 << 20)
#define MAX_PULIZIE 4

typedef struct OpzioniCarico {
    const char *host;
    const char *porte[2]; /* servizio, riferimento */
    double secondi;
    int ripetizioni;
    int raffica;
    int limiteMs; /* attesa massima di connessione e di ogni ricezione */
    const char *solo; /* NULL: ogni carico */
    const char *pulisci[MAX_PULIZIE];
    int numPulisci;
    int pid[2]; /* servizio, riferimento; 0: processore non misurato */
} OpzioniCarico;

/* Una prova in corso: i client la condividono, ognuno scrive solo la propria fine. */
typedef struct ProvaCarico {
    const char *host;
    const char *porta;
    TipoCarico tipo;
    const uint8_t *richiesta;
    int lungRichiesta;
    int raffica; /* una conversazione per client, invece del ciclo fino alla scadenza */
    int limiteMs;
    double scadenza;
    int numCampioni;
    int incompiute;
    double fine[MAX_CLIENT];
} ProvaCarico;

static float campioni[MAX_CAMPIONI];
static uint8_t materiali[MAX_CLIENT][DIM_CHIAVE];

/* Il log del protocollo non serve: un errore si vede come conversazione non finita. */
void ConsegnaRecordLog(const char *record)
{
    (void)record;
}

static void ClienteCarico(int indice, void *contesto)
{
    ProvaCarico *p = (ProvaCarico *)contesto;
    double ora = 0;
    do {
        double inizio = OraSecondi();
        int finita = ConversazioneCarico(p->host, p->porta, p->tipo, p->richiesta, p->lungRichiesta,
                                         materiali[indice], p->limiteMs);
        ora = OraSecondi();
        if (finita) {
            int i = __atomic_fetch_add(&p->numCampioni, 1, __ATOMIC_SEQ_CST);
            if (i < MAX_CAMPIONI)
                campioni[i] = (float)((ora - inizio) * 1000);
        } else {
            __atomic_fetch_add(&p->incompiute, 1, __ATOMIC_SEQ_CST);
        }
    } while (!p->raffica && ora < p->scadenza);
    p->fine[indice] = ora;
}

/* Una prova contro una porta: client insieme fino alla scadenza (o una conversazione ciascuno). */
static int MisuraProva(const OpzioniCarico *opzioni, int lato, TipoCarico tipo, int client, int raffica,
                       const uint8_t *richiesta, int lungRichiesta, MisuraCarico *misura)
{
    static ProvaCarico p;
    for (int i = 0; i < opzioni->numPulisci; i++) {
        TogliFile(opzioni->pulisci[i], "trimox", ".txt");
        TogliFile(opzioni->pulisci[i], "kl", ".cfg");
    }
    memset(&p, 0, sizeof p);
    p.host = opzioni->host;
    p.porta = opzioni->porte[lato];
    p.tipo = tipo;
    p.richiesta = richiesta;
    p.lungRichiesta = lungRichiesta;
    p.raffica = raffica;
    p.limiteMs = opzioni->limiteMs;
    double processore = ProcessoreProcesso(opzioni->pid[lato]);
    double inizio = OraSecondi();
    p.scadenza = inizio + opzioni->secondi;
    if (!LanciaInsieme(client, ClienteCarico, &p))
        return 0;
    double fine = inizio;
    for (int i = 0; i < client; i++)
        fine = p.fine[i] > fine ? p.fine[i] : fine;
    int n = p.numCampioni < MAX_CAMPIONI ? p.numCampioni : MAX_CAMPIONI;
    misura->finite = p.numCampioni;
    misura->incompiute = p.incompiute;
    misura->ritmo = fine > inizio ? p.numCampioni / (fine - inizio) : 0;
    misura->p99 = PercentileCampioni(campioni, n, 99);
    misura->p50 = PercentileCampioni(campioni, n, 50);
    /* I runtime avviati escono quando il client chiude: si lascia loro il tempo prima della prossima. */
    if (tipo == CARICO_AVVIO)
        Dormi(300);
    double processoreDopo = ProcessoreProcesso(opzioni->pid[lato]);
    misura->processoreMs = processore >= 0 && processoreDopo >= processore && p.numCampioni > 0
                               ? (processoreDopo - processore) * 1000 / p.numCampioni
                               : -1;
    return 1;
}

static const char *const NOMI_LATO[2] = {"servizio", "riferimento"};

/* Le prove di un carico: ripetizioni alternate dei due lati. 0 per un errore. */
static int MisuraCaricoIntero(const OpzioniCarico *opzioni, const char *nome, TipoCarico tipo, int client,
                              int raffica, const uint8_t *richiesta, int lung,
                              MisuraCarico ripetizioni[2][MAX_RIPETIZIONI])
{
    for (int r = 0; r < opzioni->ripetizioni; r++) {
        for (int k = 0; k < 2; k++) {
            int lato = (r + k) % 2;
            MisuraCarico *m = &ripetizioni[lato][r];
            if (!MisuraProva(opzioni, lato, tipo, client, raffica, richiesta, lung, m)) {
                fprintf(stderr, "carico: impossibile avviare %d thread\n", client);
                return 0;
            }
            printf("  %-9s %3d client  ripetizione %d  %-11s %8.1f/s  p50 %8.1f ms  p99 %8.1f ms  %d non finite  "
                   "processore %.2f ms\n",
                   nome, client, r + 1, NOMI_LATO[lato], m->ritmo, m->p50, m->p99, m->incompiute, m->processoreMs);
            fflush(stdout);
        }
    }
    return 1;
}

/* Una riga della tabella delle mediane: ritmo, p50, p99, non finite e processore dei due lati. */
static void RigaMediane(const char *nome, int client, const MisuraCarico ripetizioni[2][MAX_RIPETIZIONI], int n)
{
    printf("%-9s %3d |", nome, client);
    for (int lato = 0; lato < 2; lato++) {
        MisuraCarico m = MedianaRipetizioni(ripetizioni[lato], n);
        printf(" %8.1f %8.1f %8.1f %5d %7.2f |", m.ritmo, m.p50, m.p99, m.incompiute, m.processoreMs);
    }
    printf("\n");
}

/* Una riga della tabella dei rapporti, minimo/mediana/massimo di ogni ripetizione; 1 se il servizio
 * rispetta i limiti. */
static int RigaRapporti(const char *nome, int client, ProvaConfronto prova,
                        const MisuraCarico ripetizioni[2][MAX_RIPETIZIONI], int n)
{
    char motivo[256];
    ConfrontoCarico c;
    int rispetta = ConfrontaRipetizioni(prova, ripetizioni[0], ripetizioni[1], n, &c, motivo, sizeof motivo);
    const Intervallo *colonne[4] = {&c.ritmo, &c.p50, &c.p99, &c.processore};
    printf("%-9s %3d |", nome, client);
    for (int i = 0; i < 4; i++) {
        if (i == 3 && !c.processoreMisurato)
            printf(" %16s |", "-");
        else
            printf(" %4.2f %5.2f %5.2f |", colonne[i]->minimo, colonne[i]->mediana, colonne[i]->massimo);
    }
    printf(" %s%s\n", rispetta ? "ok" : "MANCA: ", motivo);
    return rispetta;
}

static int LeggiOpzioni(int argc, char **argv, OpzioniCarico *o)
{
    int porte = 0;
    memset(o, 0, sizeof *o);
    o->host = "127.0.0.1";
    o->secondi = 3;
    o->ripetizioni = 5;
    o->raffica = 100;
    o->limiteMs = 30000;
    for (int i = 1; i < argc; i++) {
        const char *valore = i + 1 < argc ? argv[i + 1] : NULL;
        if (strcmp(argv[i], "--host") == 0 && valore != NULL)
            o->host = argv[++i];
        else if (strcmp(argv[i], "--secondi") == 0 && valore != NULL)
            o->secondi = atof(argv[++i]);
        else if (strcmp(argv[i], "--ripetizioni") == 0 && valore != NULL)
            o->ripetizioni = atoi(argv[++i]);
        else if (strcmp(argv[i], "--raffica") == 0 && valore != NULL)
            o->raffica = atoi(argv[++i]);
        else if (strcmp(argv[i], "--limite") == 0 && valore != NULL)
            o->limiteMs = atoi(argv[++i]) * 1000;
        else if (strcmp(argv[i], "--solo") == 0 && valore != NULL)
            o->solo = argv[++i];
        else if (strcmp(argv[i], "--pulisci") == 0 && valore != NULL && o->numPulisci < MAX_PULIZIE)
            o->pulisci[o->numPulisci++] = argv[++i];
        else if (strcmp(argv[i], "--pid-servizio") == 0 && valore != NULL)
            o->pid[0] = atoi(argv[++i]);
        else if (strcmp(argv[i], "--pid-riferimento") == 0 && valore != NULL)
            o->pid[1] = atoi(argv[++i]);
        else if (argv[i][0] != '-' && porte < 2)
            o->porte[porte++] = argv[i];
        else
            return 0;
    }
    if (o->solo != NULL && strcmp(o->solo, "versione") != 0 && strcmp(o->solo, "avvio") != 0 &&
        strcmp(o->solo, "raffica") != 0)
        return 0;
    return porte == 2 && o->secondi > 0 && o->ripetizioni >= 1 && o->ripetizioni <= MAX_RIPETIZIONI &&
           o->raffica >= 1 && o->raffica <= MAX_CLIENT && o->limiteMs > 0 && o->pid[0] >= 0 && o->pid[1] >= 0;
}

/* Le due richieste: versione (sysadmin) e avvio (kelvatlog3 dell'ambiente in linea). */
static int ComponiRichieste(uint8_t *versione, int *lungVersione, uint8_t *avvio, int *lungAvvio, int capacita)
{
    char errore[256];
    ParametriRichiesta p;
    memset(&p, 0, sizeof p);
    p.tipo = CHIEDI_VERSIONE;
    *lungVersione = ComponiRichiesta(&p, versione, capacita, errore, sizeof errore);
    p.tipo = CHIEDI_KELVATLOG3;
    p.prodotto = "QOR";
    p.studio = "STUDIO1";
    p.operat = "MARIO";
    p.applic = "CONTAB";
    p.progra = "PRIMANOTA";
    p.parpas = "X1";
    p.anno = "2024";
    p.config = "STD";
    *lungAvvio = ComponiRichiesta(&p, avvio, capacita, errore, sizeof errore);
    return *lungVersione > 0 && *lungAvvio > 0;
}

typedef struct CaricoTabella {
    const char *nome;
    ProvaConfronto prova;
    TipoCarico tipo;
    int client; /* 0: la raffica */
} CaricoTabella;

static const CaricoTabella CARICHI[] = {
    {"versione", PROVA_VERSIONE, CARICO_VERSIONE, 1}, {"versione", PROVA_VERSIONE, CARICO_VERSIONE, 8},
    {"versione", PROVA_VERSIONE, CARICO_VERSIONE, 32}, {"avvio", PROVA_AVVIO, CARICO_AVVIO, 1},
    {"avvio", PROVA_AVVIO, CARICO_AVVIO, 8},          {"avvio", PROVA_AVVIO, CARICO_AVVIO, 32},
    {"raffica", PROVA_RAFFICA, CARICO_AVVIO, 0},
};
#define NUM_CARICHI ((int)(sizeof CARICHI / sizeof CARICHI[0]))

/* Le due tabelle finali; il numero di righe che rispettano i limiti. */
static int Tabelle(const OpzioniCarico *opzioni, MisuraCarico ripetizioni[][2][MAX_RIPETIZIONI])
{
    int n = opzioni->ripetizioni;
    int rispettati = 0;
    printf("\nmediane di %d ripetizioni (%.1f s a ciclo chiuso; raffica di %d avvii); ritmo al secondo, "
           "latenze in ms, nf = non finite in tutto, cpu = ms di processore del processo per conversazione\n",
           n, opzioni->secondi, opzioni->raffica);
    printf("%-13s |%-41s |%-41s |\n", "", " servizio", " riferimento");
    printf("%-13s |%9s%9s%9s%6s%8s |%9s%9s%9s%6s%8s |\n", "carico client", "ritmo/s", "p50 ms", "p99 ms", "nf",
           "cpu", "ritmo/s", "p50 ms", "p99 ms", "nf", "cpu");
    for (int c = 0; c < NUM_CARICHI; c++)
        if (opzioni->solo == NULL || strcmp(opzioni->solo, CARICHI[c].nome) == 0)
            RigaMediane(CARICHI[c].nome, CARICHI[c].client > 0 ? CARICHI[c].client : opzioni->raffica,
                        ripetizioni[c], n);
    printf("\nservizio/riferimento per ripetizione: minimo, mediana, massimo\n");
    printf("%-13s | %-16s | %-16s | %-16s | %-16s |\n", "carico client", "ritmo", "p50", "p99", "processore");
    for (int c = 0; c < NUM_CARICHI; c++)
        if (opzioni->solo == NULL || strcmp(opzioni->solo, CARICHI[c].nome) == 0)
            rispettati += RigaRapporti(CARICHI[c].nome, CARICHI[c].client > 0 ? CARICHI[c].client : opzioni->raffica,
                                       CARICHI[c].prova, ripetizioni[c], n);
    return rispettati;
}

int main(int argc, char **argv)
{
    static OpzioniCarico opzioni;
    static MisuraCarico ripetizioni[NUM_CARICHI][2][MAX_RIPETIZIONI];
    uint8_t versione[DIM_AREA_MESSAGGIO], avvio[DIM_AREA_MESSAGGIO];
    int lungVersione = 0, lungAvvio = 0;

    if (!LeggiOpzioni(argc, argv, &opzioni)) {
        fprintf(stderr, "uso: carico [--host H] [--secondi S] [--ripetizioni 1..%d] [--raffica 1..%d] "
                        "[--limite S] [--solo versione|avvio|raffica] [--pulisci CARTELLA]... [--pid-servizio P] "
                        "[--pid-riferimento P] PORTA_SERVIZIO PORTA_RIFERIMENTO\n",
                MAX_RIPETIZIONI, MAX_CLIENT);
        return 2;
    }
    if (!ComponiRichieste(versione, &lungVersione, avvio, &lungAvvio, sizeof versione) || !AvviaReteCliente())
        return 2;
    for (int i = 0; i < MAX_CLIENT; i++)
        GeneraMaterialeCliente(materiali[i]);
    int misurati = 0;
    for (int c = 0; c < NUM_CARICHI; c++) {
        const CaricoTabella *t = &CARICHI[c];
        if (opzioni.solo != NULL && strcmp(opzioni.solo, t->nome) != 0)
            continue;
        misurati++;
        int client = t->client > 0 ? t->client : opzioni.raffica;
        if (!MisuraCaricoIntero(&opzioni, t->nome, t->tipo, client, t->client == 0,
                                t->tipo == CARICO_VERSIONE ? versione : avvio,
                                t->tipo == CARICO_VERSIONE ? lungVersione : lungAvvio, ripetizioni[c]))
            return 2;
    }
    int rispettati = Tabelle(&opzioni, ripetizioni);
    printf("limiti rispettati: %d di %d\n", rispettati, misurati);
    return rispettati == misurati ? 0 : 1;
}
