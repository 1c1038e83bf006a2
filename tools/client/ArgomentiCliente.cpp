/* tools/client/ArgomentiCliente.cpp - la riga di comando del client: comando, testi dei campi,
 * opzioni di rete e di attesa. Le opzioni possono stare prima o dopo il comando; "--" chiude le
 * opzioni (per campi grezzi che cominciano con due trattini). */
#include "tools/client/cliente.h"

#include "base/base.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#define TESTO(x) #x
#define TESTO_NUMERO(x) TESTO(x)

const char TESTO_USO[] =
    "uso: clientegrafico [opzioni] COMANDO [argomenti]\n"
    "comandi:\n"
    "  versione (o version)           versione del servizio (richiesta sysadmin)\n"
    "  avvia PROGRAMMA [CAMPO5 ...]   avvio ordinario (o launch)\n"
    "  kelvatlog2 [--anno-fisc C]\n"
    "  kelvatlog3 [--prodotto T] [--studio T] [--operat T] [--applic T] [--progra T] [--parpas T]\n"
    "             [--anno AAAA] [--ambiente RADICE] [--config T]\n"
    "  kelvatlog5 [--studio T] [--operat T] [--applic T] [--progra T] [--parpas T] [--descpr T]\n"
    "             [--config T] [--anno-fisc C] [--infostart T] [--campi N]\n"
    "  kelvatlog6 come kelvatlog5, senza --infostart\n"
    "  grezza [--senza-zero] [--corpo CORPO] CAMPO0 CAMPO1 ...   i campi come dati\n"
    "opzioni:\n"
    "  --host H            indirizzo del servizio (127.0.0.1)\n"
    "  --porta N           porta del servizio (" TESTO_NUMERO(PORTA_DEFAULT) ")\n"
    "  --in-chiaro         conversazione in chiaro (frase di accesso) invece che cifrata\n"
    "  --compressione      campo 3 \"S\": l'applicativo comprime i suoi messaggi\n"
    "  --codice T          campo 0 (\"0000\"); --campo1 T, --campo2 T i campi 1 e 2\n"
    "  --programma T       campo 4 al posto di quello del comando\n"
    "  --escape            i testi hanno le sequenze \\\\ \\xNN \\n \\r \\t \\0\n"
    "  --limite S          attesa massima di ogni ricezione, in secondi (30)\n"
    "  --attesa S          attesa di altri dati dopo l'ultimo arrivato, in secondi (2)\n"
    "  --scambio           in una conversazione cifrata, dopo la risposta apre la conversazione\n"
    "                      cifrata dell'applicativo (nuovo scambio chiavi, trame): cosi' arriva\n"
    "                      l'avviso d'aggiornamento cifrato; senza, si raccolgono i byte che arrivano\n"
    "  --invia T           byte mandati all'applicativo dopo i suoi primi dati (con --scambio,\n"
    "                      una trama dopo il suo primo messaggio)\n"
    "  --verboso           righe diagnostiche del protocollo su stderr\n"
    "ogni testo diventa un campo chiuso da uno zero contato nella lunghezza.\n"
    "uscita: sullo stdout i campi della risposta (\"campo N: ...\"), la versione (\"versione: ...\"),\n"
    "gli avvisi (\"avviso servizio: ...\", \"avviso applicativo: ...\"), i messaggi dell'applicativo\n"
    "(\"applicativo N: ...\") o i byte grezzi arrivati dopo (\"dopo: ...\").\n"
    "codici d'uscita: 0 fatto, 1 uso errato, 2 connessione non riuscita, 3 scambio chiavi non\n"
    "riuscito, 4 invio all'applicativo non riuscito, 5 richiesta rifiutata (chiusa senza risposta,\n"
    "anche durante l'invio), 6 tempo scaduto, 7 risposta non valida, 8 aggiornamento dell'applicativo\n"
    "in corso, 9 aggiornamento del servizio in corso, 10 applicativo non avviato (chiusa dopo la\n"
    "risposta).\n";

/* Secondi in millisecondi, da 0 a un'ora. -1 se non validi. */
static int LeggiSecondi(const char *testo)
{
    char *fine = NULL;
    double secondi = strtod(testo, &fine);
    if (fine == testo || *fine != '\0' || !(secondi >= 0 && secondi <= 3600))
        return -1;
    return (int)(secondi * 1000);
}

typedef struct OpzioneTesto {
    const char *nome;
    size_t scostamento; /* del campo const char * in ParametriRichiesta */
} OpzioneTesto;

#define CAMPO_TESTO(nome, campo) {nome, offsetof(ParametriRichiesta, campo)}

static const OpzioneTesto OPZIONI_TESTO[] = {
    CAMPO_TESTO("--codice", codice),     CAMPO_TESTO("--campo1", campo1),     CAMPO_TESTO("--campo2", campo2),
    CAMPO_TESTO("--programma", programma), CAMPO_TESTO("--prodotto", prodotto), CAMPO_TESTO("--studio", studio),
    CAMPO_TESTO("--operat", operat),     CAMPO_TESTO("--applic", applic),     CAMPO_TESTO("--progra", progra),
    CAMPO_TESTO("--parpas", parpas),     CAMPO_TESTO("--descpr", descpr),     CAMPO_TESTO("--config", config),
    CAMPO_TESTO("--anno", anno),         CAMPO_TESTO("--ambiente", ambiente), CAMPO_TESTO("--anno-fisc", annoFisc),
    CAMPO_TESTO("--infostart", infoStart), CAMPO_TESTO("--corpo", corpo),
};

typedef struct NomeComando {
    const char *nome;
    TipoRichiestaCliente tipo;
} NomeComando;

static const NomeComando COMANDI[] = {
    {"versione", CHIEDI_VERSIONE},     {"version", CHIEDI_VERSIONE},     {"avvia", CHIEDI_ORDINARIA},
    {"launch", CHIEDI_ORDINARIA},      {"kelvatlog2", CHIEDI_KELVATLOG2}, {"kelvatlog3", CHIEDI_KELVATLOG3},
    {"kelvatlog5", CHIEDI_KELVATLOG5}, {"kelvatlog6", CHIEDI_KELVATLOG6}, {"grezza", CHIEDI_GREZZA},
};

/* Un'opzione con il suo valore; 1 riconosciuta, 0 sconosciuta, -1 valore non valido. */
static int LeggiOpzione(ArgomentiCliente *a, const char *nome, const char *valore, int *usaValore, char *errore,
                        size_t dimErrore)
{
    *usaValore = 0;
    struct {
        const char *nome;
        int *flag;
        int valore;
    } flag[] = {
        {"--in-chiaro", &a->conversazione.inChiaro, 1},
        {"--compressione", &a->richiesta.compressione, 1},
        {"--escape", &a->richiesta.escape, 1},
        {"--senza-zero", &a->richiesta.senzaZero, 1},
        {"--verboso", &a->verboso, 1},
        {"--scambio", &a->conversazione.scambioApplicativo, 1},
        {"--aiuto", &a->aiuto, 1},
        {"--help", &a->aiuto, 1},
    };
    for (size_t i = 0; i < sizeof flag / sizeof flag[0]; i++) {
        if (strcmp(nome, flag[i].nome) == 0) {
            *flag[i].flag = flag[i].valore;
            return 1;
        }
    }
    static const char *const CON_VALORE[] = {"--host", "--porta", "--limite", "--attesa", "--campi", "--invia"};
    int conValore = 0;
    for (size_t i = 0; i < sizeof OPZIONI_TESTO / sizeof OPZIONI_TESTO[0]; i++)
        conValore |= strcmp(nome, OPZIONI_TESTO[i].nome) == 0;
    for (size_t i = 0; i < sizeof CON_VALORE / sizeof CON_VALORE[0]; i++)
        conValore |= strcmp(nome, CON_VALORE[i]) == 0;
    if (!conValore)
        return 0;
    if (valore == NULL) {
        FormattaTesto(errore, dimErrore, "all'opzione %s manca il valore", nome);
        return -1;
    }
    *usaValore = 1;
    for (size_t i = 0; i < sizeof OPZIONI_TESTO / sizeof OPZIONI_TESTO[0]; i++) {
        if (strcmp(nome, OPZIONI_TESTO[i].nome) == 0) {
            *(const char **)((char *)&a->richiesta + OPZIONI_TESTO[i].scostamento) = valore;
            return 1;
        }
    }
    if (strcmp(nome, "--host") == 0) {
        a->host = valore;
    } else if (strcmp(nome, "--porta") == 0) {
        char *fine = NULL;
        long porta = strtol(valore, &fine, 10);
        if (fine == valore || *fine != '\0' || porta < 1 || porta > 65535) {
            FormattaTesto(errore, dimErrore, "porta \"%s\" non valida", valore);
            return -1;
        }
        a->porta = valore;
    } else if (strcmp(nome, "--limite") == 0 || strcmp(nome, "--attesa") == 0) {
        int ms = LeggiSecondi(valore);
        if (ms < 0) {
            FormattaTesto(errore, dimErrore, "secondi \"%s\" non validi per %s", valore, nome);
            return -1;
        }
        *(strcmp(nome, "--limite") == 0 ? &a->conversazione.limiteMs : &a->conversazione.attesaDopoMs) = ms;
    } else if (strcmp(nome, "--campi") == 0) {
        char *fine = NULL;
        long n = strtol(valore, &fine, 10);
        if (fine == valore || *fine != '\0' || n < 5 || n > 16) {
            FormattaTesto(errore, dimErrore, "numero di campi \"%s\" non valido (5..16)", valore);
            return -1;
        }
        a->richiesta.numCampi = (int)n;
    } else if (strcmp(nome, "--invia") == 0) {
        a->conversazione.invia = (const uint8_t *)valore;
    } else {
        *usaValore = 0;
        return 0;
    }
    return 1;
}

int LeggiArgomenti(int argc, const char *const *argv, ArgomentiCliente *a, char *errore, size_t dimErrore)
{
    const char *comando = NULL;
    int numAltri = 0;
    int fineOpzioni = 0;

    memset(a, 0, sizeof *a);
    a->host = "127.0.0.1";
    a->porta = TESTO_NUMERO(PORTA_DEFAULT);
    a->conversazione.limiteMs = 30000;
    a->conversazione.attesaDopoMs = 2000;
    if (errore != NULL && dimErrore > 0)
        errore[0] = '\0';

    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (!fineOpzioni && strcmp(arg, "--") == 0) {
            fineOpzioni = 1;
            continue;
        }
        if (!fineOpzioni && strncmp(arg, "--", 2) == 0) {
            int usaValore = 0;
            int esito = LeggiOpzione(a, arg, i + 1 < argc ? argv[i + 1] : NULL, &usaValore, errore, dimErrore);
            if (esito < 0)
                return 0;
            if (esito == 0) {
                FormattaTesto(errore, dimErrore, "opzione sconosciuta %s", arg);
                return 0;
            }
            i += usaValore;
            continue;
        }
        if (comando == NULL) {
            comando = arg;
            continue;
        }
        if (numAltri >= MAX_CAMPI_CLIENTE) {
            FormattaTesto(errore, dimErrore, "piu' di %d campi", MAX_CAMPI_CLIENTE);
            return 0;
        }
        a->altri[numAltri++] = arg;
    }
    if (a->aiuto)
        return 1;
    if (comando == NULL) {
        FormattaTesto(errore, dimErrore, "manca il comando");
        return 0;
    }
    size_t k = 0;
    while (k < sizeof COMANDI / sizeof COMANDI[0] && strcmp(comando, COMANDI[k].nome) != 0)
        k++;
    if (k == sizeof COMANDI / sizeof COMANDI[0]) {
        FormattaTesto(errore, dimErrore, "comando sconosciuto \"%s\"", comando);
        return 0;
    }
    ParametriRichiesta *r = &a->richiesta;
    r->tipo = COMANDI[k].tipo;
    r->altri = a->altri;
    r->numAltri = numAltri;
    if (r->tipo == CHIEDI_ORDINARIA) {
        /* Il primo argomento e' il programma, gli altri i campi dal 5. */
        if (numAltri == 0 && r->programma == NULL) {
            FormattaTesto(errore, dimErrore, "avvia: manca il programma");
            return 0;
        }
        if (r->programma == NULL) {
            r->programma = a->altri[0];
            r->altri = a->altri + 1;
            r->numAltri = numAltri - 1;
        }
    } else if (r->tipo != CHIEDI_GREZZA && numAltri > 0) {
        FormattaTesto(errore, dimErrore, "%s: argomento in piu' \"%s\"", comando, a->altri[0]);
        return 0;
    }
    if (r->tipo == CHIEDI_GREZZA && numAltri == 0 && r->corpo == NULL) {
        FormattaTesto(errore, dimErrore, "grezza: mancano i campi");
        return 0;
    }
    if (r->infoStart != NULL && r->tipo != CHIEDI_KELVATLOG5) {
        FormattaTesto(errore, dimErrore, "--infostart vale solo per kelvatlog5");
        return 0;
    }
    if (r->numCampi != 0 && r->tipo != CHIEDI_KELVATLOG5 && r->tipo != CHIEDI_KELVATLOG6) {
        FormattaTesto(errore, dimErrore, "--campi vale solo per kelvatlog5 e kelvatlog6");
        return 0;
    }

    OpzioniConversazione *c = &a->conversazione;
    c->compressione = r->compressione;
    c->richiestaVersione = r->tipo == CHIEDI_VERSIONE;
    c->avvio = r->tipo != CHIEDI_VERSIONE && r->tipo != CHIEDI_GREZZA;
    if (c->invia != NULL) {
        const char *testo = (const char *)c->invia;
        int n = r->escape ? DecodificaEscape(testo, a->invia, DIM_INVIA)
                          : (int)strnlen(testo, DIM_INVIA + 1);
        if (n < 0 || n > DIM_INVIA) {
            FormattaTesto(errore, dimErrore, "--invia non valido o oltre %d byte", DIM_INVIA);
            return 0;
        }
        if (!r->escape)
            memcpy(a->invia, testo, (size_t)n);
        c->invia = a->invia;
        c->lungInvia = n;
    }
    return 1;
}
