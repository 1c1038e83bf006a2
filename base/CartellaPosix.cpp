/* base/CartellaPosix.cpp - drive e cartella correnti nella build nativa: una sola radice, quindi
 * ogni lettera da A a Z va bene e la cartella e' quella data. */
#include "base/base.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

int CambiaDriveCorrente(char lettera)
{
    return lettera >= 'A' && lettera <= 'Z';
}

int CambiaDirectoryCorrente(const char *cartella)
{
    return chdir(cartella) == 0;
}

int EsisteFile(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

int EsisteCartella(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

int UltimoErroreSistema(void)
{
    return errno;
}
