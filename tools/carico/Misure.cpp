/* tools/carico/Misure.cpp - percentili delle latenze, mediana delle ripetizioni, confronto del
 * servizio con il riferimento ripetizione per ripetizione secondo i limiti di ogni prova, e il
 * processore di un processo dal suo /proc/<pid>/stat. */
#include "tools/carico/carico.h"

#include "base/base.h"

#include <stdio.h>
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

/* Ordina i valori e ne rende la mediana (con un numero pari, la media dei due centrali). */
static double Mediana(double *valori, int n)
{
    qsort(valori, (size_t)n, sizeof valori[0], ConfrontaDouble);
    return n % 2 == 1 ? valori[n / 2] : (valori[n / 2 - 1] + valori[n / 2]) / 2;
}

/* La mediana di un campo delle ripetizioni. */
static double MedianaCampo(const MisuraCarico *ripetizioni, int n, size_t scostamento)
{
    double valori[MAX_RIPETIZIONI];
    for (int i = 0; i < n; i++)
        memcpy(&valori[i], (const char *)&ripetizioni[i] + scostamento, sizeof valori[i]);
    return Mediana(valori, n);
}

MisuraCarico MedianaRipetizioni(const MisuraCarico *ripetizioni, int n)
{
    MisuraCarico mediana;
    int processoreMisurato = 1;
    memset(&mediana, 0, sizeof mediana);
    mediana.processoreMs = -1;
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
        processoreMisurato = processoreMisurato && ripetizioni[i].processoreMs >= 0;
    }
    if (processoreMisurato)
        mediana.processoreMs = MedianaCampo(ripetizioni, n, offsetof(MisuraCarico, processoreMs));
    return mediana;
}

/* Minimo, mediana e massimo dei rapporti servizio/riferimento di un campo, ripetizione per
 * ripetizione; i riferimenti sono gia' controllati (positivi). */
static Intervallo IntervalloRapporti(const MisuraCarico *servizio, const MisuraCarico *riferimento, int n,
                                     size_t scostamento)
{
    double rapporti[MAX_RIPETIZIONI];
    Intervallo intervallo;
    for (int i = 0; i < n; i++) {
        double s = 0, r = 0;
        memcpy(&s, (const char *)&servizio[i] + scostamento, sizeof s);
        memcpy(&r, (const char *)&riferimento[i] + scostamento, sizeof r);
        rapporti[i] = s / r;
    }
    intervallo.mediana = Mediana(rapporti, n);
    intervallo.minimo = rapporti[0];
    intervallo.massimo = rapporti[n - 1];
    return intervallo;
}

/* I limiti di una prova, sulle mediane dei rapporti; 0 dove la prova non ne ha. */
typedef struct LimitiProva {
    double ritmoMinimo;           /* ritmo del servizio / ritmo del riferimento */
    double ritmoMinimoRipetizione; /* lo stesso rapporto in ogni ripetizione */
    double p50Massimo;            /* p50 del servizio / p50 del riferimento */
    double p99Massimo;
    double processoreMassimo;     /* processore per conversazione, servizio / riferimento */
    int tutteFinite;
} LimitiProva;

/* Nell'ordine di ProvaConfronto. */
static const LimitiProva LIMITI_PROVA[] = {
    {1.0, 0, 0, 1.25, 0, 0},
    {0.95, 0.8, 0, 0, 1.2, 1},
    {0, 0, 1.1, 0, 1.2, 1},
};

/* Accoda a motivo un testo, separato da "; ". */
static void Accoda(char *motivo, size_t dim, const char *testo)
{
    size_t lung = strlen(motivo);
    FormattaTesto(motivo + lung, dim - lung, "%s%s", lung > 0 ? "; " : "", testo);
}

/* Accoda a motivo una mancanza se il valore sta dalla parte sbagliata del limite (0: nessun limite). */
static void ControllaLimite(char *motivo, size_t dim, const char *nome, double valore, double limite, int minimo)
{
    char testo[96];
    if (limite <= 0 || (minimo ? valore >= limite : valore <= limite))
        return;
    FormattaTesto(testo, sizeof testo, "%s %.2f (limite %.2f)", nome, valore, limite);
    Accoda(motivo, dim, testo);
}

/* 1 se ogni ripetizione del riferimento ha misure con cui dividere. */
static int RiferimentoValido(const MisuraCarico *riferimento, int n, int *incompiute)
{
    int valido = 1;
    *incompiute = 0;
    for (int i = 0; i < n; i++) {
        const MisuraCarico *r = &riferimento[i];
        *incompiute += r->incompiute;
        valido = valido && r->finite > 0 && r->ritmo > 0 && r->p50 > 0 && r->p99 > 0 && r->incompiute == 0;
    }
    return valido;
}

int ConfrontaRipetizioni(ProvaConfronto prova, const MisuraCarico *servizio, const MisuraCarico *riferimento,
                         int n, ConfrontoCarico *confronto, char *motivo, size_t dimMotivo)
{
    const LimitiProva *limiti = &LIMITI_PROVA[prova];
    int incompiute = 0;
    char testo[96];

    memset(confronto, 0, sizeof *confronto);
    motivo[0] = '\0';
    if (n < 1 || n > MAX_RIPETIZIONI || !RiferimentoValido(riferimento, n, &incompiute)) {
        FormattaTesto(motivo, dimMotivo, "riferimento senza misure valide (%d non finite)", incompiute);
        return 0;
    }
    confronto->ritmo = IntervalloRapporti(servizio, riferimento, n, offsetof(MisuraCarico, ritmo));
    confronto->p50 = IntervalloRapporti(servizio, riferimento, n, offsetof(MisuraCarico, p50));
    confronto->p99 = IntervalloRapporti(servizio, riferimento, n, offsetof(MisuraCarico, p99));
    confronto->processoreMisurato = 1;
    for (int i = 0; i < n; i++)
        confronto->processoreMisurato = confronto->processoreMisurato && servizio[i].processoreMs >= 0 &&
                                        riferimento[i].processoreMs > 0;
    if (confronto->processoreMisurato)
        confronto->processore = IntervalloRapporti(servizio, riferimento, n, offsetof(MisuraCarico, processoreMs));

    ControllaLimite(motivo, dimMotivo, "ritmo", confronto->ritmo.mediana, limiti->ritmoMinimo, 1);
    ControllaLimite(motivo, dimMotivo, "ritmo minimo", confronto->ritmo.minimo, limiti->ritmoMinimoRipetizione, 1);
    ControllaLimite(motivo, dimMotivo, "p50", confronto->p50.mediana, limiti->p50Massimo, 0);
    ControllaLimite(motivo, dimMotivo, "p99", confronto->p99.mediana, limiti->p99Massimo, 0);
    if (limiti->processoreMassimo > 0 && !confronto->processoreMisurato)
        Accoda(motivo, dimMotivo, "processore non misurato");
    else if (confronto->processoreMisurato)
        ControllaLimite(motivo, dimMotivo, "processore", confronto->processore.mediana, limiti->processoreMassimo, 0);
    if (limiti->tutteFinite) {
        int nonFinite = 0;
        for (int i = 0; i < n; i++)
            nonFinite += servizio[i].incompiute;
        if (nonFinite > 0) {
            FormattaTesto(testo, sizeof testo, "%d conversazioni non finite", nonFinite);
            Accoda(motivo, dimMotivo, testo);
        }
    }
    return motivo[0] == '\0';
}

int TickDaStat(const char *testo, unsigned long long *tick)
{
    const char *fine = strrchr(testo, ')');
    unsigned long long utente = 0, sistema = 0;

    if (fine == NULL)
        return 0;
    /* Dopo il nome: stato (campo 3) e altri dieci campi prima di utime e stime. */
    if (sscanf(fine + 1, " %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu %llu", &utente, &sistema) != 2)
        return 0;
    *tick = utente + sistema;
    return 1;
}
