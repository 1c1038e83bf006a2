/* base/CartellaWin.cpp - drive e cartella correnti del processo, esistenza di file e cartelle. */
#include "base/base.h"

#include <direct.h>

#include <windows.h>

int CambiaDriveCorrente(char lettera)
{
    if (lettera < 'A' || lettera > 'Z')
        return 0;
    return _chdrive(lettera - '@') == 0;
}

int CambiaDirectoryCorrente(const char *cartella)
{
    return SetCurrentDirectoryA(cartella) != 0;
}

int EsisteFile(const char *path)
{
    DWORD attributi = GetFileAttributesA(path);
    return attributi != INVALID_FILE_ATTRIBUTES && (attributi & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int EsisteCartella(const char *path)
{
    DWORD attributi = GetFileAttributesA(path);
    return attributi != INVALID_FILE_ATTRIBUTES && (attributi & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int UltimoErroreSistema(void)
{
    return (int)GetLastError();
}
