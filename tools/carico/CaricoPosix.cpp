/* tools/carico/CaricoPosix.cpp - orologio, thread, limite di ricezione, pulizia dei file lasciati
 * dagli avvii e processore di un processo, per il generatore di carico, con le primitive POSIX. */
#include "tools/carico/carico.h"

#include "base/base.h"

#include <dirent.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

double OraSecondi(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

void LimiteRicezione(SocketRete s, int millisecondi)
{
    struct timeval limite = {millisecondi / 1000, (millisecondi % 1000) * 1000};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limite, sizeof limite);
}

void Dormi(int millisecondi)
{
    struct timespec t = {millisecondi / 1000, (long)(millisecondi % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0) {
    }
}

#define MAX_THREAD_INSIEME 256

typedef struct Partenza {
    pthread_mutex_t mutex;
    pthread_cond_t via;
    int partiti;  /* 1 quando tutti i thread esistono */
    int annullato; /* un thread non e' partito: nessuno lavora */
    void (*procedura)(int indice, void *contesto);
    void *contesto;
} Partenza;

typedef struct Corridore {
    Partenza *partenza;
    int indice;
} Corridore;

static void *Corri(void *parametro)
{
    Corridore *corridore = (Corridore *)parametro;
    Partenza *p = corridore->partenza;
    pthread_mutex_lock(&p->mutex);
    while (!p->partiti)
        pthread_cond_wait(&p->via, &p->mutex);
    int annullato = p->annullato;
    pthread_mutex_unlock(&p->mutex);
    if (!annullato)
        p->procedura(corridore->indice, p->contesto);
    return NULL;
}

int LanciaInsieme(int quanti, void (*procedura)(int indice, void *contesto), void *contesto)
{
    static Corridore corridori[MAX_THREAD_INSIEME];
    static pthread_t thread[MAX_THREAD_INSIEME];
    Partenza p;
    int creati = 0;

    if (quanti <= 0 || quanti > MAX_THREAD_INSIEME)
        return 0;
    pthread_mutex_init(&p.mutex, NULL);
    pthread_cond_init(&p.via, NULL);
    p.partiti = 0;
    p.annullato = 0;
    p.procedura = procedura;
    p.contesto = contesto;
    for (creati = 0; creati < quanti; creati++) {
        corridori[creati].partenza = &p;
        corridori[creati].indice = creati;
        if (pthread_create(&thread[creati], NULL, Corri, &corridori[creati]) != 0)
            break;
    }
    pthread_mutex_lock(&p.mutex);
    p.partiti = 1;
    p.annullato = creati < quanti;
    pthread_cond_broadcast(&p.via);
    pthread_mutex_unlock(&p.mutex);
    for (int i = 0; i < creati; i++)
        pthread_join(thread[i], NULL);
    pthread_cond_destroy(&p.via);
    pthread_mutex_destroy(&p.mutex);
    return creati == quanti;
}

void TogliFile(const char *cartella, const char *prefisso, const char *suffisso)
{
    char path[DIM_PATH * 2];
    size_t lungPrefisso = strlen(prefisso);
    size_t lungSuffisso = strlen(suffisso);
    DIR *d = opendir(cartella);
    if (d == NULL)
        return;
    for (struct dirent *voce = readdir(d); voce != NULL; voce = readdir(d)) {
        size_t lung = strlen(voce->d_name);
        if (lung >= lungPrefisso + lungSuffisso && strncmp(voce->d_name, prefisso, lungPrefisso) == 0 &&
            strcmp(voce->d_name + lung - lungSuffisso, suffisso) == 0 &&
            FormattaTesto(path, sizeof path, "%s/%s", cartella, voce->d_name))
            unlink(path);
    }
    closedir(d);
}

double ProcessoreProcesso(int pid)
{
    char path[64];
    char testo[1024];
    unsigned long long tick = 0;
    long tickAlSecondo = sysconf(_SC_CLK_TCK);

    if (pid <= 0 || tickAlSecondo <= 0 || !FormattaTesto(path, sizeof path, "/proc/%d/stat", pid))
        return -1;
    FILE *f = fopen(path, "r");
    if (f == NULL)
        return -1;
    size_t n = fread(testo, 1, sizeof testo - 1, f);
    fclose(f);
    testo[n] = '\0';
    return TickDaStat(testo, &tick) ? (double)tick / (double)tickAlSecondo : -1;
}
