/* launch/PreparaEnvironment.cpp - il blocco d'ambiente del runtime: le variabili del servizio, meno
 * quelle che il blocco imposta di nuovo, e poi le variabili dell'applicativo. Puro: l'ambiente del
 * servizio arriva dal chiamante (PreparaEnvironment nel lato Win32). */
#include "launch/launch.h"

#include "base/base.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

/* Scrittura in coda al blocco; con blocco NULL conta soltanto i byte. */
typedef struct ScritturaBlocco {
    char *blocco;
    int dim;
    int posizione;
} ScritturaBlocco;

static void __attribute__((format(gnu_printf, 2, 3))) Accoda(ScritturaBlocco *scrittura, const char *formato, ...)
{
    va_list argomenti;
    int n = 0;
    char *dove = scrittura->blocco != NULL ? scrittura->blocco + scrittura->posizione : NULL;
    size_t spazio = scrittura->blocco != NULL ? (size_t)(scrittura->dim - scrittura->posizione) : 0;

    va_start(argomenti, formato);
    n = vsnprintf(dove, spazio, formato, argomenti);
    va_end(argomenti);
    if (n >= 0)
        scrittura->posizione += n + 1;
}

/* Variabili del servizio che il blocco non copia: solo questi nomi esatti, in qualunque maiuscola. */
static const char *const PREFISSI_TOLTI[] = {"path=",   "bcompr=",    "car_anno_fisc=", "cobpath=",   "cobsw=",
                                             "cobdir=", "tarvoplus=", "lnk=",           "socketcomm="};

static int VariabileTolta(const char *variabile)
{
    for (size_t p = 0; p < sizeof PREFISSI_TOLTI / sizeof PREFISSI_TOLTI[0]; p++) {
        const char *prefisso = PREFISSI_TOLTI[p];
        size_t i = 0;
        while (prefisso[i] != '\0') {
            char c = variabile[i];
            if (c >= 'A' && c <= 'Z')
                c = (char)(c - 'A' + 'a');
            if (c != prefisso[i])
                break;
            i++;
        }
        if (prefisso[i] == '\0')
            return 1;
    }
    return 0;
}

/* VELMAR_START e PRODOTTO_VELMAR, o una delle due forme di VELMARSP_START, o niente. */
static void AccodaAvvio(ScritturaBlocco *scrittura, const RichiestaClient *richiesta)
{
    if (richiesta->fileParametri[0] == '\0' && !richiesta->parametriInEnvironment)
        return;
    if (!richiesta->avvioSP) {
        Accoda(scrittura, "VELMAR_START=%s", richiesta->fileParametri);
        Accoda(scrittura, "PRODOTTO_VELMAR=%s", richiesta->prodotto);
    } else if (richiesta->parametriInEnvironment) {
        Accoda(scrittura, "VELMARSP_START=VELMARSP_START");
    } else {
        Accoda(scrittura, "VELMARSP_START=%s", richiesta->fileParametri);
    }
}

static void AccodaCobpath(ScritturaBlocco *scrittura, char anno, const char *dirCobol)
{
    char cartelleAnno[80];

    if (anno == '*')
        CopiaTesto(cartelleAnno, sizeof cartelleAnno, "e\\1;e\\3;e\\4;e\\5;e\\6;e\\7;e\\r;e\\q;");
    else
        FormattaTesto(cartelleAnno, sizeof cartelleAnno, "e\\1\\%c;e\\3\\%c;e\\4\\%c;e\\5\\%c;e\\6\\%c;e\\7\\%c;e\\r\\%c;e\\q\\%c;",
                      anno, anno, anno, anno, anno, anno, anno, anno);
    Accoda(scrittura,
           "COBPATH=e\\b;e\\t;e\\c;%s"
           "e\\u;e\\8;e\\m;e\\a;e\\e;e\\f;e\\s;e\\i;e\\p;e\\n;e\\g;e\\y;e\\w;e\\v;e\\x;com\\bin;com\\drumal\\bin;%s;"
           "com\\bin\\cpy\\system;e\\win32;"
           "e\\d;e\\h;e\\j;e\\k;e\\l;e\\o;e\\z;e\\0;e\\2;e\\9;",
           cartelleAnno, dirCobol);
}

/* Le variabili aggiunte, nell'ordine del blocco. */
static void AccodaAggiunte(ScritturaBlocco *scrittura, const char *pathServizio, const char *debproServizio,
                           const RichiestaClient *r, uint32_t socket, int cobolVisual)
{
    const char *dirCobol = cobolVisual ? "com\\drumal\\bin\\cobol_vc" : "com\\drumal\\bin\\cobol";

    Accoda(scrittura, "BCOMPR=%d", r->compressione);
    AccodaAvvio(scrittura, r);
    Accoda(scrittura, "CAR_ANNO_FISC=%c", r->carAnnoFisc);
    AccodaCobpath(scrittura, r->carAnnoFisc, dirCobol);
    Accoda(scrittura, "COBSW=-F-N");
    Accoda(scrittura, "COBDIR=%s", dirCobol);
    Accoda(scrittura, "TARVOPLUS=TRUE");
    if (r->infoStart[0] != '\0')
        Accoda(scrittura, "INFOSTART=%s", r->infoStart);
    Accoda(scrittura, "LNK=%s\\prg\\frm", r->dirAmbiente);
    Accoda(scrittura, "PATH=com\\bin;com\\drumal\\bin;%s;com\\bin\\cpy\\system;com\\drumal\\cmd;%s", dirCobol,
           pathServizio != NULL ? pathServizio : "");
    Accoda(scrittura, "socketComm=%u", (unsigned)socket);
    if (r->parametriInEnvironment) {
        Accoda(scrittura, "V_APPLIC=%s", r->applic);
        Accoda(scrittura, "V_CONFIG=%s", r->config);
        Accoda(scrittura, "V_DESCPR=%s", r->descpr);
        Accoda(scrittura, "V_OPERAT=%s", r->operat);
        Accoda(scrittura, "V_PARPAS=%s", r->parpas);
        Accoda(scrittura, "V_PROGRA=%s", r->progra);
        Accoda(scrittura, "V_STUDIO=%s", r->studio);
        Accoda(scrittura, "V_UTENTE=%s", r->utente);
    }
    if (debproServizio != NULL && debproServizio[0] != '\0')
        Accoda(scrittura, "DEBPRO=%s", debproServizio);
    if (r->inChiaro)
        Accoda(scrittura, "QOR_WEB=TEVRA");
}

int ComponiEnvironment(char *blocco, int dim, const char *ambienteServizio, const char *pathServizio,
                       const char *debproServizio, const RichiestaClient *richiesta, uint32_t socket,
                       int cobolVisual)
{
    ScritturaBlocco conta = {NULL, 0, 0};
    ScritturaBlocco scrittura = {blocco, dim, 0};
    int lasciate = 0;

    /* Prima si misurano le aggiunte: entrano sempre, le copiate prendono lo spazio che resta. */
    AccodaAggiunte(&conta, pathServizio, debproServizio, richiesta, socket, cobolVisual);
    if (conta.posizione + 1 > dim) {
        ScriviLog("PreparaEnvironment - le variabili dell'applicativo (%d byte) non entrano nel blocco di %d\n",
                  conta.posizione, dim);
        if (dim >= 2) {
            blocco[0] = '\0';
            blocco[1] = '\0';
        }
        return dim >= 2 ? 2 : 0;
    }
    for (const char *v = ambienteServizio; v != NULL && *v != '\0'; v += strlen(v) + 1) {
        int lung = (int)strlen(v);
        if (lung < 4 || VariabileTolta(v))
            continue;
        if (scrittura.posizione + lung + 1 > dim - conta.posizione - 1) {
            lasciate++;
            continue;
        }
        memcpy(blocco + scrittura.posizione, v, (size_t)lung + 1);
        scrittura.posizione += lung + 1;
    }
    if (lasciate > 0)
        ScriviLog("PreparaEnvironment - %d variabili del servizio lasciate fuori: il blocco d'ambiente e' pieno\n",
                  lasciate);
    AccodaAggiunte(&scrittura, pathServizio, debproServizio, richiesta, socket, cobolVisual);
    blocco[scrittura.posizione++] = '\0';
    return scrittura.posizione;
}
