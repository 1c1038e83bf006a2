/* tools/client/RichiestaCliente.cpp - composizione del corpo di una richiesta: i campi di ogni
 * tipo nell'ordine che il servizio legge, ogni testo chiuso dal suo zero (contato nella lunghezza). */
#include "tools/client/cliente.h"

#include "base/base.h"

#include <stdio.h>
#include <string.h>

static int ValoreEsadecimale(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int DecodificaEscape(const char *testo, uint8_t *dest, int capacita)
{
    int n = 0;
    for (const char *p = testo; *p != '\0'; p++) {
        int byte = (unsigned char)*p;
        if (*p == '\\') {
            p++;
            switch (*p) {
            case '\\': byte = '\\'; break;
            case 'n': byte = '\n'; break;
            case 'r': byte = '\r'; break;
            case 't': byte = '\t'; break;
            case '0': byte = 0; break;
            case 'x': {
                int alto = p[1] != '\0' ? ValoreEsadecimale(p[1]) : -1;
                int basso = alto >= 0 && p[2] != '\0' ? ValoreEsadecimale(p[2]) : -1;
                if (basso < 0)
                    return -1;
                byte = alto * 16 + basso;
                p += 2;
                break;
            }
            default:
                return -1; /* anche una barra finale da sola */
            }
        }
        if (n >= capacita)
            return -1;
        dest[n++] = (uint8_t)byte;
    }
    return n;
}

/* Composizione in corso: il corpo cresce campo per campo. */
typedef struct Composizione {
    const ParametriRichiesta *parametri;
    uint8_t *corpo;
    int capacita;
    int lung;
    int numCampi;
    char *errore;
    size_t dimErrore;
} Composizione;

/* Un campo di testo: i byte del testo (decodificati se richiesto) e lo zero finale. */
static int CampoTesto(Composizione *c, const char *testo, int conZero)
{
    uint8_t contenuto[DIM_CORPO_CLIENTE + 1];
    int n;
    if (testo == NULL)
        testo = "";
    if (c->parametri->escape) {
        n = DecodificaEscape(testo, contenuto, DIM_CORPO_CLIENTE);
        if (n < 0) {
            FormattaTesto(c->errore, c->dimErrore, "campo %d: sequenza di escape non valida o testo troppo lungo",
                          c->numCampi);
            return 0;
        }
    } else {
        n = (int)strnlen(testo, DIM_CORPO_CLIENTE + 1);
        if (n > DIM_CORPO_CLIENTE) {
            FormattaTesto(c->errore, c->dimErrore, "campo %d: testo oltre %d byte", c->numCampi,
                          DIM_CORPO_CLIENTE);
            return 0;
        }
        memcpy(contenuto, testo, (size_t)n);
    }
    if (conZero)
        contenuto[n++] = 0;
    if (n == 0) {
        FormattaTesto(c->errore, c->dimErrore,
                      "campo %d: un campo vuoto non si puo' scrivere (la sua lunghezza chiuderebbe la lista)",
                      c->numCampi);
        return 0;
    }
    if (c->numCampi >= MAX_CAMPI_CLIENTE) {
        FormattaTesto(c->errore, c->dimErrore, "piu' di %d campi", MAX_CAMPI_CLIENTE);
        return 0;
    }
    int scritti = aggiungiCampo(c->corpo + c->lung, c->capacita - c->lung, contenuto, n);
    if (scritti == 0) {
        FormattaTesto(c->errore, c->dimErrore, "la richiesta non entra in %d byte", c->capacita);
        return 0;
    }
    c->lung += scritti;
    c->numCampi++;
    return 1;
}

static const char *ProgrammaDelTipo(TipoRichiestaCliente tipo)
{
    switch (tipo) {
    case CHIEDI_VERSIONE: return "sysadmin";
    case CHIEDI_KELVATLOG2: return "cmd/unix/kelvatlog2";
    case CHIEDI_KELVATLOG3: return "cmd/unix/kelvatlog3";
    case CHIEDI_KELVATLOG5: return "cmd/unix/kelvatlog5";
    case CHIEDI_KELVATLOG6: return "cmd/unix/kelvatlog6";
    default: return "";
    }
}

/* Campi dal 5 in poi secondo il tipo. */
static int CampiDelTipo(Composizione *c)
{
    const ParametriRichiesta *p = c->parametri;
    int ok = 1;
    switch (p->tipo) {
    case CHIEDI_KELVATLOG3: {
        const char *campi[] = {p->prodotto, p->studio, p->operat, p->applic, p->progra,
                               p->parpas,   p->anno,   p->ambiente, p->config};
        for (size_t i = 0; ok && i < sizeof campi / sizeof campi[0]; i++)
            ok = CampoTesto(c, campi[i], 1);
        break;
    }
    case CHIEDI_KELVATLOG5:
    case CHIEDI_KELVATLOG6: {
        /* 5..11 parametri, 12 non letto, 13 carattere dell'anno fiscale, 14 INFOSTART, 15 di scorta. */
        const char *campi[] = {p->studio, p->operat, p->applic, p->progra, p->parpas, p->descpr,
                               p->config, "",        p->annoFisc, p->infoStart, ""};
        int numCampi = p->numCampi;
        if (numCampi == 0)
            numCampi = p->infoStart != NULL ? 15 : p->annoFisc != NULL ? 14 : 13;
        if (numCampi < 5 || numCampi > 16) {
            FormattaTesto(c->errore, c->dimErrore, "numero di campi %d fuori da 5..16", numCampi);
            return 0;
        }
        for (int i = 5; ok && i < numCampi; i++)
            ok = CampoTesto(c, campi[i - 5], 1);
        break;
    }
    case CHIEDI_KELVATLOG2:
        if (p->annoFisc != NULL)
            ok = CampoTesto(c, "", 1) && CampoTesto(c, p->annoFisc, 1);
        break;
    case CHIEDI_ORDINARIA:
        for (int i = 0; ok && i < p->numAltri; i++)
            ok = CampoTesto(c, p->altri[i], 1);
        break;
    default:
        break;
    }
    return ok;
}

int ComponiRichiesta(const ParametriRichiesta *parametri, uint8_t *corpo, int capacita, char *errore,
                     size_t dimErrore)
{
    Composizione c = {parametri, corpo, capacita, 0, 0, errore, dimErrore};
    int ok = 1;
    if (errore != NULL && dimErrore > 0)
        errore[0] = '\0';

    if (parametri->tipo == CHIEDI_GREZZA) {
        if (parametri->corpo != NULL) {
            /* Il corpo com'e': nessuna lista composta, nessuna fine aggiunta. */
            int n;
            if (parametri->escape) {
                n = DecodificaEscape(parametri->corpo, corpo, capacita);
            } else {
                n = (int)strnlen(parametri->corpo, (size_t)capacita + 1);
                if (n <= capacita)
                    memcpy(corpo, parametri->corpo, (size_t)n);
                else
                    n = -1;
            }
            if (n < 0) {
                FormattaTesto(errore, dimErrore, "corpo non valido o oltre %d byte", capacita);
                return 0;
            }
            if (n == 0) {
                FormattaTesto(errore, dimErrore, "corpo vuoto");
                return 0;
            }
            return n;
        }
        for (int i = 0; ok && i < parametri->numAltri; i++)
            ok = CampoTesto(&c, parametri->altri[i], !parametri->senzaZero);
    } else {
        const char *programma = parametri->programma != NULL && parametri->programma[0] != '\0'
                                    ? parametri->programma
                                    : ProgrammaDelTipo(parametri->tipo);
        if (parametri->tipo == CHIEDI_ORDINARIA && programma[0] == '\0') {
            FormattaTesto(errore, dimErrore, "manca il programma da avviare");
            return 0;
        }
        ok = CampoTesto(&c, parametri->codice != NULL && parametri->codice[0] != '\0' ? parametri->codice : "0000",
                        1) &&
             CampoTesto(&c, parametri->campo1, 1) && CampoTesto(&c, parametri->campo2, 1) &&
             CampoTesto(&c, parametri->compressione ? "S" : "N", 1) && CampoTesto(&c, programma, 1) &&
             CampiDelTipo(&c);
    }
    if (!ok)
        return 0;
    int n = ChiudiListaCampi(corpo + c.lung, capacita - c.lung);
    if (n == 0) {
        FormattaTesto(errore, dimErrore, "la richiesta non entra in %d byte", capacita);
        return 0;
    }
    return c.lung + n;
}
