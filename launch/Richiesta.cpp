/* launch/Richiesta.cpp - il record della richiesta, il controllo dei campi ricevuti, lo smistamento
 * del programma richiesto e il file dei parametri kl<N>.cfg. Gira sul thread della connessione;
 * condiviso tra le connessioni solo contatoreFileParametri. */
#include "launch/launch.h"

#include "base/base.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int32_t contatoreFileParametri = 0;

/* Campi sempre letti: 0, 3 e 4. */
#define CAMPI_MINIMI 5

void InizializzaRichiesta(RichiestaClient *richiesta)
{
    memset(richiesta, 0, sizeof *richiesta);
    richiesta->carAnnoFisc = '*';
}

/* Come un campo testo va controllato: la dimensione del suo posto (0 = nessun limite) e se finisce
 * nel file dei parametri, dove un a capo aggiungerebbe righe. */
typedef struct RegolaTesto {
    int indice;
    int posto;
    int nelFile;
} RegolaTesto;

/* Da dove viene il carattere dell'anno fiscale: da nessun campo, dal primo carattere del campo (se
 * la richiesta arriva fino a lui), dal testo dell'anno di kelvatlog3. */
typedef enum ModoAnno { ANNO_NESSUNO, ANNO_PRIMO_CARATTERE, ANNO_KELVATLOG3 } ModoAnno;
/* Dove vanno i valori dei parametri: da nessuna parte, nel file kl<N>.cfg, nel record (e di li'
 * nel blocco d'ambiente del runtime). */
typedef enum DoveParametri { PARAMETRI_NESSUNO, PARAMETRI_NEL_FILE, PARAMETRI_NEL_RECORD } DoveParametri;

/* Tutto cio' che un tipo di richiesta legge, controlla e scrive. Un campo -1 non c'e'. */
struct DescrittoreRichiesta {
    TipoRichiesta tipo;
    const char *prefisso; /* inizio del campo 4; NULL: ogni altro programma */
    int campiMinimi;      /* i campi che il tipo legge sempre */
    const RegolaTesto *testi;
    int numTesti;
    /* INFOSTART: letto, e controllato, solo quando e' l'ultimo campo della richiesta. */
    const RegolaTesto *infoStart;
    ModoAnno modoAnno;
    int campoAnno;
    int campoProdotto;
    int campoAmbienteDuplicato; /* vuoto: l'ambiente in linea */
    DoveParametri doveParametri;
    /* I campi delle righe PROGRA, CONFIG, STUDIO, OPERAT, APPLIC, PARPAS e DESCPR, quante ne ha. */
    const int *campiParametri;
    int numParametri;
    int avvioSP;
    int richiestaVersione;
};

/* Le righe dei parametri nell'ordine delle liste dei campi: il nome nel file e il posto nel record. */
static const struct {
    const char *nome;
    size_t posto;
} PARAMETRI[] = {
    {"PROGRA", offsetof(RichiestaClient, progra)}, {"CONFIG", offsetof(RichiestaClient, config)},
    {"STUDIO", offsetof(RichiestaClient, studio)}, {"OPERAT", offsetof(RichiestaClient, operat)},
    {"APPLIC", offsetof(RichiestaClient, applic)}, {"PARPAS", offsetof(RichiestaClient, parpas)},
    {"DESCPR", offsetof(RichiestaClient, descpr)},
};
#define NUM_PARAMETRI (int)(sizeof PARAMETRI / sizeof PARAMETRI[0])

static const RegolaTesto TESTI_KELVATLOG3[] = {
    {5, DIM_PRODOTTO, 0}, {6, 0, 1}, {7, 0, 1}, {8, 0, 1}, {9, 0, 1}, {10, 0, 1},
    {11, 0, 0}, {12, DIM_TESTO_RICHIESTA, 0}, {13, 0, 1},
};
static const RegolaTesto TESTI_KELVATLOG5[] = {
    {5, 0, 1}, {6, 0, 1}, {7, 0, 1}, {8, 0, 1}, {9, 0, 1}, {10, 0, 1}, {11, 0, 1},
};
static const RegolaTesto TESTI_KELVATLOG6[] = {
    {5, DIM_TESTO_RICHIESTA, 0}, {6, DIM_TESTO_RICHIESTA, 0}, {7, DIM_TESTO_RICHIESTA, 0},
    {8, DIM_TESTO_RICHIESTA, 0}, {9, DIM_TESTO_RICHIESTA, 0}, {10, DIM_TESTO_RICHIESTA, 0},
    {11, DIM_TESTO_RICHIESTA, 0},
};
static const RegolaTesto TESTO_INFOSTART = {14, DIM_TESTO_RICHIESTA, 0};
static const int CAMPI_PARAMETRI_KELVATLOG3[] = {9, 13, 6, 7, 8, 10};
/* kelvatlog5 li scrive nel file, kelvatlog6 nel record: gli stessi campi. */
static const int CAMPI_PARAMETRI_KELVATLOG56[] = {8, 11, 5, 6, 7, 9, 10};

/* Una lista di una riga del tipo: il suo inizio e quanti elementi ha. */
#define LISTA(lista) lista, (int)(sizeof lista / sizeof lista[0])

/* Un tipo per riga, i prefissi nell'ordine in cui si cercano; l'ultima riga vale per ogni altro
 * programma. Per riga: tipo, prefisso, campi letti; testi controllati, INFOSTART; anno (modo e
 * campo), prodotto, ambiente duplicato; parametri (dove e campi); avvioSP, richiesta di versione. */
static const DescrittoreRichiesta DESCRITTORI[] = {
    {RICHIESTA_KELVATLOG3, "cmd/unix/kelvatlog3", 14,
     LISTA(TESTI_KELVATLOG3), NULL,
     ANNO_KELVATLOG3, 11, 5, 12,
     PARAMETRI_NEL_FILE, LISTA(CAMPI_PARAMETRI_KELVATLOG3), 0, 0},
    {RICHIESTA_KELVATLOG5, "cmd/unix/kelvatlog5", 12,
     LISTA(TESTI_KELVATLOG5), &TESTO_INFOSTART,
     ANNO_PRIMO_CARATTERE, 13, -1, -1,
     PARAMETRI_NEL_FILE, LISTA(CAMPI_PARAMETRI_KELVATLOG56), 1, 0},
    {RICHIESTA_KELVATLOG6, "cmd/unix/kelvatlog6", 12,
     LISTA(TESTI_KELVATLOG6), NULL,
     ANNO_PRIMO_CARATTERE, 13, -1, -1,
     PARAMETRI_NEL_RECORD, LISTA(CAMPI_PARAMETRI_KELVATLOG56), 1, 0},
    {RICHIESTA_KELVATLOG2, "cmd/unix/kelvatlog2", CAMPI_MINIMI,
     NULL, 0, NULL,
     ANNO_PRIMO_CARATTERE, 6, -1, -1,
     PARAMETRI_NESSUNO, NULL, 0, 0, 0},
    {RICHIESTA_VERSIONE, "sysadmin", CAMPI_MINIMI,
     NULL, 0, NULL,
     ANNO_NESSUNO, -1, -1, -1,
     PARAMETRI_NESSUNO, NULL, 0, 0, 1},
    {RICHIESTA_ORDINARIA, NULL, CAMPI_MINIMI,
     NULL, 0, NULL,
     ANNO_NESSUNO, -1, -1, -1,
     PARAMETRI_NESSUNO, NULL, 0, 0, 0},
};
static_assert((int)(sizeof CAMPI_PARAMETRI_KELVATLOG56 / sizeof(int)) == NUM_PARAMETRI, "ogni riga dei parametri");
static_assert((int)(sizeof CAMPI_PARAMETRI_KELVATLOG3 / sizeof(int)) <= NUM_PARAMETRI, "righe dei parametri");

static int InizioCon(const uint8_t *contenuto, int lung, const char *prefisso)
{
    size_t n = strlen(prefisso);
    return lung >= (int)n && memcmp(contenuto, prefisso, n) == 0;
}

/* La riga del tipo dal contenuto del campo 4 (confronto del solo prefisso). */
static const DescrittoreRichiesta *DescrittoreDaProgramma(const uint8_t *programma, int lung)
{
    const DescrittoreRichiesta *d = DESCRITTORI;

    while (d->prefisso != NULL && !InizioCon(programma, lung, d->prefisso))
        d++;
    return d;
}

TipoRichiesta TipoDaProgramma(const uint8_t *programma, int lung)
{
    return DescrittoreDaProgramma(programma, lung)->tipo;
}

/* Controlla un campo testo secondo la regola; 0 con la riga di log se non va. */
static int ControllaTesto(const uint8_t *corpo, const CampoLista *campi, RegolaTesto regola)
{
    const CampoLista *campo = &campi[regola.indice];
    const uint8_t *contenuto = corpo + campo->inizio;
    const uint8_t *zero = (const uint8_t *)memchr(contenuto, 0, (size_t)campo->lung);

    if (zero == NULL) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: il campo %d non ha lo zero finale\n", regola.indice);
        return 0;
    }
    int lungTesto = (int)(zero - contenuto);
    if (regola.posto > 0 && lungTesto >= regola.posto) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: il campo %d ha %d caratteri, piu' dei %d del suo posto\n",
                  regola.indice, lungTesto, regola.posto - 1);
        return 0;
    }
    if (regola.nelFile && (memchr(contenuto, '\r', (size_t)lungTesto) != NULL ||
                           memchr(contenuto, '\n', (size_t)lungTesto) != NULL)) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: il campo %d contiene un a capo\n", regola.indice);
        return 0;
    }
    return 1;
}

/* 1 se la richiesta ha il campo INFOSTART del tipo. */
static int ConInfoStart(const DescrittoreRichiesta *d, int numCampi)
{
    return d->infoStart != NULL && numCampi == d->infoStart->indice + 1;
}

/* I campi che il tipo legge: quanti ne servono e i testi che copia. */
static int ControllaTipo(const DescrittoreRichiesta *d, const uint8_t *corpo, const CampoLista *campi, int numCampi)
{
    if (numCampi < d->campiMinimi) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: %d campi, il programma ne legge %d\n", numCampi,
                  d->campiMinimi);
        return 0;
    }
    if (ConInfoStart(d, numCampi) && !ControllaTesto(corpo, campi, *d->infoStart))
        return 0;
    for (int i = 0; i < d->numTesti; i++)
        if (!ControllaTesto(corpo, campi, d->testi[i]))
            return 0;
    return 1;
}

int ControllaRichiesta(const uint8_t *corpo, int lung, CampoLista *campi, const DescrittoreRichiesta **descrittore)
{
    int numCampi = LeggiListaCampi(corpo, lung, campi, MAX_CAMPI_RICHIESTA);

    *descrittore = NULL;
    if (numCampi == LISTA_TROPPI_CAMPI) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: piu' di %d campi\n", MAX_CAMPI_RICHIESTA);
        return 0;
    }
    if (numCampi < 0) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: la lista dei campi non arriva a \"00000\" entro i %d "
                  "byte ricevuti\n",
                  lung);
        return 0;
    }
    if (numCampi < 1 || campi[0].lung < LUNG_CODICE_ACCETTAZIONE) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: campo 0 di %d byte, meno di %d\n",
                  numCampi < 1 ? 0 : campi[0].lung, LUNG_CODICE_ACCETTAZIONE);
        return 0;
    }
    if (numCampi < CAMPI_MINIMI) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: %d campi, ne servono almeno %d\n", numCampi,
                  CAMPI_MINIMI);
        return 0;
    }
    const DescrittoreRichiesta *d = DescrittoreDaProgramma(corpo + campi[4].inizio, campi[4].lung);
    if (!ControllaTipo(d, corpo, campi, numCampi))
        return 0;
    *descrittore = d;
    return numCampi;
}

/* Il testo di un campo controllato: il contenuto stesso, terminato da zero entro il campo. */
static const char *Testo(const uint8_t *corpo, const CampoLista *campi, int indice)
{
    return (const char *)corpo + campi[indice].inizio;
}

/* Il primo carattere di un campo come carattere dell'anno fiscale: uno zero (campo vuoto) e'
 * l'asterisco, che vuol dire nessun anno. */
static char PrimoCarattere(const uint8_t *corpo, const CampoLista *campo)
{
    char c = campo->lung > 0 ? (char)corpo[campo->inizio] : '\0';
    return c != '\0' ? c : '*';
}

char CarattereAnnoKelvatlog3(const char *anno)
{
    long long y = strtoll(anno, NULL, 10);
    char c = '\0';

    if (y == 0)
        return '*';
    if (y < 2020)
        c = strlen(anno) >= 4 ? anno[3] : '\0';
    else
        c = (char)(uint8_t)('a' + (y - 2020));
    return c != '\0' ? c : '*';
}

/* Il file dei parametri nella cartella etc della cartella prg di dirAmbiente, con il nome relativo
 * ".\etc\kl<N>.cfg" in fileParametri (il runtime lo legge dalla sua cartella corrente): la riga
 * UTENTE vuota e una riga per ogni campo della lista. 1 se il file e' stato creato. */
static int CreaFileParametri(const DescrittoreRichiesta *d, const uint8_t *corpo, const CampoLista *campi,
                             RichiestaClient *richiesta)
{
    int32_t numero = __atomic_fetch_add(&contatoreFileParametri, 1, __ATOMIC_SEQ_CST);
    char path[DIM_PATH];
    char contenuto[DIM_FILE_PARAMETRI];
    int lung = 0;

    FormattaTesto(richiesta->fileParametri, sizeof richiesta->fileParametri, ".\\etc\\kl%d.cfg", (int)numero);
    /* Il nome relativo vale nella cartella prg dell'ambiente: qui lo si scrive con il percorso completo. */
    int intero = FormattaTesto(path, sizeof path, "%s\\prg%s", richiesta->dirAmbiente, richiesta->fileParametri + 1);
    /* Righe con CR LF scritti qui: le stesse su ogni piattaforma. I valori stanno nel messaggio, che
     * con le righe fisse entra sempre nel contenuto. */
    lung = snprintf(contenuto, sizeof contenuto, "UTENTE=\r\n");
    for (int i = 0; i < d->numParametri && lung < (int)sizeof contenuto; i++)
        lung += snprintf(contenuto + lung, sizeof contenuto - (size_t)lung, "%s=%s\r\n", PARAMETRI[i].nome,
                         Testo(corpo, campi, d->campiParametri[i]));
    if (lung >= (int)sizeof contenuto)
        lung = (int)sizeof contenuto - 1;
    if (!intero || !passiLancio.scriviFile(path, contenuto, lung)) {
        ScriviLog("Impossibile creare il file \"%s\" necessario ad attivare Quadrivel \n", richiesta->fileParametri);
        return 0;
    }
    return 1;
}

/* I parametri nel record: UTENTE e' un blank, gli altri i campi della lista. */
static void ParametriNelRecord(const DescrittoreRichiesta *d, const uint8_t *corpo, const CampoLista *campi,
                               RichiestaClient *richiesta)
{
    CopiaTesto(richiesta->utente, sizeof richiesta->utente, " ");
    for (int i = 0; i < d->numParametri; i++)
        CopiaTesto((char *)richiesta + PARAMETRI[i].posto, DIM_TESTO_RICHIESTA,
                   Testo(corpo, campi, d->campiParametri[i]));
}

/* Il carattere dell'anno fiscale, se il tipo lo legge e la richiesta ne ha il campo. */
static void AnnoFiscale(const DescrittoreRichiesta *d, const uint8_t *corpo, const CampoLista *campi, int numCampi,
                        RichiestaClient *richiesta)
{
    if (d->modoAnno == ANNO_KELVATLOG3)
        richiesta->carAnnoFisc = CarattereAnnoKelvatlog3(Testo(corpo, campi, d->campoAnno));
    else if (d->modoAnno == ANNO_PRIMO_CARATTERE && numCampi > d->campoAnno)
        richiesta->carAnnoFisc = PrimoCarattere(corpo, &campi[d->campoAnno]);
}

int SmistamentoProgramma(const DescrittoreRichiesta *d, const uint8_t *corpo, const CampoLista *campi, int numCampi,
                         RichiestaClient *richiesta)
{
    const char *duplicato = NULL;

    richiesta->avvioSP = d->avvioSP;
    richiesta->parametriInEnvironment = d->doveParametri == PARAMETRI_NEL_RECORD;
    richiesta->richiestaVersione = d->richiestaVersione;
    if (d->campoProdotto >= 0)
        CopiaTesto(richiesta->prodotto, sizeof richiesta->prodotto, Testo(corpo, campi, d->campoProdotto));
    AnnoFiscale(d, corpo, campi, numCampi, richiesta);
    if (ConInfoStart(d, numCampi))
        CopiaTesto(richiesta->infoStart, sizeof richiesta->infoStart, Testo(corpo, campi, d->infoStart->indice));
    if (d->doveParametri == PARAMETRI_NEL_RECORD)
        ParametriNelRecord(d, corpo, campi, richiesta);
    else if (d->doveParametri == PARAMETRI_NEL_FILE && !CreaFileParametri(d, corpo, campi, richiesta))
        return 0;
    if (d->campoAmbienteDuplicato >= 0)
        duplicato = Testo(corpo, campi, d->campoAmbienteDuplicato);
    if (duplicato != NULL && duplicato[0] != '\0')
        return CambiaAmbienteDuplicato(duplicato, richiesta);
    return 1;
}

TipoEsitoConversazione EsitoDaNegoziazione(int negoziazione)
{
    switch (negoziazione) {
    case NEGOZIAZIONE_FINE_THREAD:
    case NEGOZIAZIONE_AGGIORNATORE_IN_CORSO:
        return CONVERSAZIONE_AGGIORNAMENTO_SERVIZIO;
    case NEGOZIAZIONE_AVVISO_INVIATO:
        return CONVERSAZIONE_AVVISO_IN_CORSO;
    case NEGOZIAZIONE_RIFIUTATA:
        return CONVERSAZIONE_RIFIUTATA;
    default:
        return CONVERSAZIONE_INTERROTTA;
    }
}

void TestoEsitoConversazione(char *testo, size_t dim, const EsitoConversazione *esito)
{
    switch (esito->tipo) {
    case CONVERSAZIONE_VERSIONE_INVIATA:
        CopiaTesto(testo, dim, "versione inviata");
        break;
    case CONVERSAZIONE_RUNTIME_AVVIATO:
        FormattaTesto(testo, dim, "avviato %s (processo %lu)", esito->eseguibile, (unsigned long)esito->processo);
        break;
    case CONVERSAZIONE_AVVISO_IN_CORSO:
        CopiaTesto(testo, dim, "avviso di aggiornamento in corso inviato");
        break;
    case CONVERSAZIONE_AGGIORNAMENTO_SERVIZIO:
        CopiaTesto(testo, dim, "passata all'aggiornamento del servizio");
        break;
    case CONVERSAZIONE_RIFIUTATA:
        CopiaTesto(testo, dim, "richiesta rifiutata");
        break;
    default:
        CopiaTesto(testo, dim, "interrotta");
        break;
    }
}
