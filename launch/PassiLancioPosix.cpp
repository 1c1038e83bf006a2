/* launch/PassiLancioPosix.cpp - i passi di sistema di una richiesta nella build nativa: file e
 * blocco veri; i programmi del runtime sono di Windows, quindi l'avvio qui fallisce sempre. */
#include "launch/launch.h"

#include "base/base.h"

#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

static pthread_mutex_t bloccoFormati = PTHREAD_MUTEX_INITIALIZER;

static void BloccaFormati(void)
{
    pthread_mutex_lock(&bloccoFormati);
}

static void SbloccaFormati(void)
{
    pthread_mutex_unlock(&bloccoFormati);
}

static int ScriviFile(const char *path, const char *dati, int lung)
{
    FILE *file = fopen(path, "wb");
    int scritti = 0;

    if (file == NULL)
        return 0;
    scritti = (int)fwrite(dati, 1, (size_t)lung, file);
    return fclose(file) == 0 && scritti == lung;
}

static void RimuoviFile(const char *path)
{
    unlink(path);
}

static int AvviaProgramma(const char *, const char *, const char *, int)
{
    errno = ENOEXEC;
    return 0;
}

static uint32_t AdessoMs(void)
{
    struct timespec adesso;
    clock_gettime(CLOCK_MONOTONIC, &adesso);
    return (uint32_t)((uint64_t)adesso.tv_sec * 1000u + (uint64_t)adesso.tv_nsec / 1000000u);
}

PassiLancio passiLancio = {EsisteFile, EsisteCartella, ScriviFile, RimuoviFile, AvviaProgramma, BloccaFormati,
                           SbloccaFormati, AdessoMs};
