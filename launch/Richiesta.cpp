/* launch/Richiesta.cpp - il record della richiesta, il controllo dei campi ricevuti, lo smistamento
 * del programma richiesto e il file dei parametri kl<N>.cfg. Gira sul thread della connessione;
 * condiviso tra le connessioni solo contatoreFileParametri. */
#include "launch/launch.h"

#include "base/base.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int32_t contatoreFileParametri = 0;

/* Il codice di accettazione si scrive sui primi 4 caratteri del campo 0. */
#define LUNG_CODICE_ACCETTAZIONE 4
/* Campi sempre letti: 0, 3 e 4. */
#define CAMPI_MINIMI 5

void InizializzaRichiesta(RichiestaClient *richiesta)
{
    memset(richiesta, 0, sizeof *richiesta);
    richiesta->carAnnoFisc = '*';
}

static int InizioCon(const uint8_t *contenuto, int lung, const char *prefisso)
{
    size_t n = strlen(prefisso);
    return lung >= (int)n && memcmp(contenuto, prefisso, n) == 0;
}

TipoRichiesta TipoDaProgramma(const uint8_t *programma, int lung)
{
    if (InizioCon(programma, lung, "cmd/unix/kelvatlog3"))
        return RICHIESTA_KELVATLOG3;
    if (InizioCon(programma, lung, "cmd/unix/kelvatlog5"))
        return RICHIESTA_KELVATLOG5;
    if (InizioCon(programma, lung, "cmd/unix/kelvatlog6"))
        return RICHIESTA_KELVATLOG6;
    if (InizioCon(programma, lung, "cmd/unix/kelvatlog2"))
        return RICHIESTA_KELVATLOG2;
    if (InizioCon(programma, lung, "sysadmin"))
        return RICHIESTA_VERSIONE;
    return RICHIESTA_ORDINARIA;
}

/* Come un campo testo va controllato: la dimensione del suo posto (0 = nessun limite) e se finisce
 * nel file dei parametri, dove un a capo aggiungerebbe righe. */
typedef struct RegolaTesto {
    int indice;
    int posto;
    int nelFile;
} RegolaTesto;

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

static int ControllaTesti(const uint8_t *corpo, const CampoLista *campi, const RegolaTesto *regole, int numRegole)
{
    for (int i = 0; i < numRegole; i++)
        if (!ControllaTesto(corpo, campi, regole[i]))
            return 0;
    return 1;
}

/* I campi che il tipo legge: quanti ne servono e i testi che copia. */
static int ControllaTipo(const uint8_t *corpo, const CampoLista *campi, int numCampi)
{
    TipoRichiesta tipo = TipoDaProgramma(corpo + campi[4].inizio, campi[4].lung);
    int minimo = CAMPI_MINIMI;

    if (tipo == RICHIESTA_KELVATLOG3)
        minimo = 14;
    else if (tipo == RICHIESTA_KELVATLOG5 || tipo == RICHIESTA_KELVATLOG6)
        minimo = 12;
    if (numCampi < minimo) {
        ScriviLog("NegoziazioneRichiesta - richiesta rifiutata: %d campi, il programma ne legge %d\n", numCampi,
                  minimo);
        return 0;
    }
    switch (tipo) {
    case RICHIESTA_KELVATLOG3:
        return ControllaTesti(corpo, campi, TESTI_KELVATLOG3, sizeof TESTI_KELVATLOG3 / sizeof TESTI_KELVATLOG3[0]);
    case RICHIESTA_KELVATLOG5:
        if (numCampi == 15 && !ControllaTesto(corpo, campi, TESTO_INFOSTART))
            return 0;
        return ControllaTesti(corpo, campi, TESTI_KELVATLOG5, sizeof TESTI_KELVATLOG5 / sizeof TESTI_KELVATLOG5[0]);
    case RICHIESTA_KELVATLOG6:
        return ControllaTesti(corpo, campi, TESTI_KELVATLOG6, sizeof TESTI_KELVATLOG6 / sizeof TESTI_KELVATLOG6[0]);
    default:
        return 1;
    }
}

int ControllaRichiesta(const uint8_t *corpo, int lung, CampoLista *campi)
{
    int numCampi = LeggiListaCampi(corpo, lung, campi, MAX_CAMPI_RICHIESTA);

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
    return ControllaTipo(corpo, campi, numCampi) ? numCampi : 0;
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

int CreaFileParametri(TipoRichiesta tipo, const uint8_t *corpo, const CampoLista *campi, RichiestaClient *richiesta)
{
    /* Righe PROGRA, CONFIG, STUDIO, OPERAT, APPLIC, PARPAS e, per kelvatlog5, DESCPR. */
    static const int CAMPI_KELVATLOG3[] = {9, 13, 6, 7, 8, 10};
    static const int CAMPI_KELVATLOG5[] = {8, 11, 5, 6, 7, 9, 10};
    static const char *const NOMI[] = {"PROGRA", "CONFIG", "STUDIO", "OPERAT", "APPLIC", "PARPAS", "DESCPR"};
    const int *indici = tipo == RICHIESTA_KELVATLOG3 ? CAMPI_KELVATLOG3 : CAMPI_KELVATLOG5;
    int numRighe = tipo == RICHIESTA_KELVATLOG3 ? 6 : 7;
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
    for (int i = 0; i < numRighe && lung < (int)sizeof contenuto; i++)
        lung += snprintf(contenuto + lung, sizeof contenuto - (size_t)lung, "%s=%s\r\n", NOMI[i],
                         Testo(corpo, campi, indici[i]));
    if (lung >= (int)sizeof contenuto)
        lung = (int)sizeof contenuto - 1;
    if (!intero || !passiLancio.scriviFile(path, contenuto, lung)) {
        ScriviLog("Impossibile creare il file \"%s\" necessario ad attivare Quadrivel \n", richiesta->fileParametri);
        return 0;
    }
    return 1;
}

static int Kelvatlog3(const uint8_t *corpo, const CampoLista *campi, RichiestaClient *richiesta)
{
    CopiaTesto(richiesta->prodotto, sizeof richiesta->prodotto, Testo(corpo, campi, 5));
    if (!CreaFileParametri(RICHIESTA_KELVATLOG3, corpo, campi, richiesta))
        return 0;
    richiesta->carAnnoFisc = CarattereAnnoKelvatlog3(Testo(corpo, campi, 11));
    if (Testo(corpo, campi, 12)[0] != '\0')
        return CambiaAmbienteDuplicato(Testo(corpo, campi, 12), richiesta);
    return 1;
}

static int Kelvatlog5(const uint8_t *corpo, const CampoLista *campi, int numCampi, RichiestaClient *richiesta)
{
    richiesta->avvioSP = 1;
    if (numCampi >= 14)
        richiesta->carAnnoFisc = PrimoCarattere(corpo, &campi[13]);
    if (numCampi == 15)
        CopiaTesto(richiesta->infoStart, sizeof richiesta->infoStart, Testo(corpo, campi, 14));
    return CreaFileParametri(RICHIESTA_KELVATLOG5, corpo, campi, richiesta);
}

static void Kelvatlog6(const uint8_t *corpo, const CampoLista *campi, int numCampi, RichiestaClient *richiesta)
{
    richiesta->avvioSP = 1;
    richiesta->parametriInEnvironment = 1;
    if (numCampi >= 14)
        richiesta->carAnnoFisc = PrimoCarattere(corpo, &campi[13]);
    CopiaTesto(richiesta->utente, sizeof richiesta->utente, " ");
    CopiaTesto(richiesta->studio, sizeof richiesta->studio, Testo(corpo, campi, 5));
    CopiaTesto(richiesta->operat, sizeof richiesta->operat, Testo(corpo, campi, 6));
    CopiaTesto(richiesta->applic, sizeof richiesta->applic, Testo(corpo, campi, 7));
    CopiaTesto(richiesta->progra, sizeof richiesta->progra, Testo(corpo, campi, 8));
    CopiaTesto(richiesta->parpas, sizeof richiesta->parpas, Testo(corpo, campi, 9));
    CopiaTesto(richiesta->descpr, sizeof richiesta->descpr, Testo(corpo, campi, 10));
    CopiaTesto(richiesta->config, sizeof richiesta->config, Testo(corpo, campi, 11));
}

int SmistamentoProgramma(const uint8_t *corpo, const CampoLista *campi, int numCampi, RichiestaClient *richiesta)
{
    switch (TipoDaProgramma(corpo + campi[4].inizio, campi[4].lung)) {
    case RICHIESTA_KELVATLOG3:
        return Kelvatlog3(corpo, campi, richiesta);
    case RICHIESTA_KELVATLOG5:
        return Kelvatlog5(corpo, campi, numCampi, richiesta);
    case RICHIESTA_KELVATLOG6:
        Kelvatlog6(corpo, campi, numCampi, richiesta);
        return 1;
    case RICHIESTA_KELVATLOG2:
        if (numCampi >= 7)
            richiesta->carAnnoFisc = PrimoCarattere(corpo, &campi[6]);
        return 1;
    case RICHIESTA_VERSIONE:
        richiesta->richiestaVersione = 1;
        return 1;
    default:
        return 1;
    }
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
