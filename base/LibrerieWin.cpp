/* base/LibrerieWin.cpp - librerie di sistema caricate quando servono. */
#include "base/base.h"

#include <windows.h>

void *LibreriaDiSistema(const char *nome)
{
    char path[MAX_PATH];
    UINT lung = GetSystemDirectoryA(path, sizeof path);

    if (lung == 0 || lung >= sizeof path || !FormattaTesto(path + lung, sizeof path - lung, "\\%s", nome))
        return NULL;
    return LoadLibraryA(path);
}

void *CaricaFunzioni(const char *nome, const char *const *nomi, FunzioneDiLibreria *funzioni, int n)
{
    HMODULE libreria = (HMODULE)LibreriaDiSistema(nome);

    if (libreria == NULL) {
        ScriviLogErrore("Libreria di sistema %s non caricata", nome);
        return NULL;
    }
    for (int i = 0; i < n; i++) {
        funzioni[i] = (FunzioneDiLibreria)(void *)GetProcAddress(libreria, nomi[i]);
        if (funzioni[i] == NULL) {
            ScriviLogErrore("Libreria di sistema %s: funzione %s non trovata", nome, nomi[i]);
            FreeLibrary(libreria);
            return NULL;
        }
    }
    return libreria;
}
