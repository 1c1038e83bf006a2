/* tools/carico/Misure.cpp - percentili delle latenze, mediana delle ripetizioni e confronto del
 * servizio con il riferimento secondo i limiti di ogni prova. */
#include "tools/carico/carico.h"

#include "base/base.h"

#include <stdlib.h>
#include <string.h>

static int ConfrontaFloat(const void *a, const void *b)
{
    float x = *(const float *)a;
    float y = *(const float *)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

static int ConfrontaDouble(const void *a, const void *b)
{
    double x = *(const double *)a;
    double y = *(const double *)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

double PercentileCampioni(float *campioni, int n, int p)
{
    if (n <= 0)
        return 0;
    qsort(campioni, (size_t)n, sizeof campioni[0], ConfrontaFloat);
    int rango = (int)(((long long)n * p + 99) / 100); /* in alto: p% dei campioni fino al rango */
    if (rango < 1)
        rango = 1;
    return campioni[rango - 1];
}

#define MAX_RIPETIZIONI 16

/* La mediana di un campo delle ripetizioni (con un numero pari, la media dei due centrali). */
static double MedianaCampo(const MisuraCarico *ripetizioni, int n, size_t scostamento)
{
    double valori[MAX_RIPETIZIONI];
    for (int i = 0; i < n; i++)
        memcpy(&valori[i], (const char *)&ripetizioni[i] + scostamento, sizeof valori[i]);
    qsort(valori, (size_t)n, sizeof valori[0], ConfrontaDouble);
    return n % 2 == 1 ? valori[n / 2] : (valori[n / 2 - 1] + valori[n / 2]) / 2;
}

MisuraCarico MedianaRipetizioni(const MisuraCarico *ripetizioni, int n)
{
    MisuraCarico mediana;
    memset(&mediana, 0, sizeof mediana);
    if (n <= 0)
        return mediana;
    if (n > MAX_RIPETIZIONI)
        n = MAX_RIPETIZIONI;
    mediana.ritmo = MedianaCampo(ripetizioni, n, offsetof(MisuraCarico, ritmo));
    mediana.p50 = MedianaCampo(ripetizioni, n, offsetof(MisuraCarico, p50));
    mediana.p99 = MedianaCampo(ripetizioni, n, offsetof(MisuraCarico, p99));
    for (int i = 0; i < n; i++) {
        mediana.finite += ripetizioni[i].finite;
        mediana.incompiute += ripetizioni[i].incompiute;
    }
    return mediana;
}

/* I limiti di una prova; 0 dove la prova non ne ha. */
typedef struct LimitiProva {
    double ritmoMinimo; /* ritmo del servizio / ritmo del riferimento */
    double p50Massimo;  /* p50 del servizio / p50 del riferimento */
    double p99Massimo;
    int tutteFinite;
} LimitiProva;

/* Nell'ordine di ProvaConfronto. */
static const LimitiProva LIMITI_PROVA[] = {
    {0.8, 0, 1.25, 0},
    {0.9, 0, 0, 1},
    {0, 1.2, 0, 1},
};

/* Accoda a motivo una mancanza, separata da "; ". */
static void Manca(char *motivo, size_t dim, const char *testo, double valore, double limite)
{
    size_t lung = strlen(motivo);
    FormattaTesto(motivo + lung, dim - lung, "%s%s %.2f (limite %.2f)", lung > 0 ? "; " : "", testo, valore,
                  limite);
}

int ConfrontaMisure(ProvaConfronto prova, const MisuraCarico *servizio, const MisuraCarico *riferimento,
                    char *motivo, size_t dimMotivo)
{
    const LimitiProva *limiti = &LIMITI_PROVA[prova];
    motivo[0] = '\0';
    if (riferimento->finite == 0 || riferimento->ritmo <= 0 || riferimento->p50 <= 0 || riferimento->p99 <= 0 ||
        riferimento->incompiute > 0) {
        FormattaTesto(motivo, dimMotivo, "riferimento senza misure valide (%d non finite)", riferimento->incompiute);
        return 0;
    }
    double ritmo = servizio->ritmo / riferimento->ritmo;
    double p50 = servizio->p50 / riferimento->p50;
    double p99 = servizio->p99 / riferimento->p99;
    if (limiti->ritmoMinimo > 0 && ritmo < limiti->ritmoMinimo)
        Manca(motivo, dimMotivo, "ritmo", ritmo, limiti->ritmoMinimo);
    if (limiti->p50Massimo > 0 && p50 > limiti->p50Massimo)
        Manca(motivo, dimMotivo, "p50", p50, limiti->p50Massimo);
    if (limiti->p99Massimo > 0 && p99 > limiti->p99Massimo)
        Manca(motivo, dimMotivo, "p99", p99, limiti->p99Massimo);
    if (limiti->tutteFinite && servizio->incompiute > 0) {
        size_t lung = strlen(motivo);
        FormattaTesto(motivo + lung, dimMotivo - lung, "%s%d conversazioni non finite", lung > 0 ? "; " : "",
                      servizio->incompiute);
    }
    return motivo[0] == '\0';
}
