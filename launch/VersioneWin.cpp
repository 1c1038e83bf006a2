/* launch/VersioneWin.cpp - la versione del file di un eseguibile, dalla sua risorsa VERSIONINFO. */
#include "launch/launch.h"

#include <stdlib.h>

#include <windows.h>

void LeggiVersioneEseguibile(const char *path, char *testo, size_t dim)
{
    char pathProprio[DIM_PATH] = "";
    DWORD zero = 0;
    DWORD dimInfo = 0;
    void *info = NULL;
    VS_FIXEDFILEINFO *fisse = NULL;
    UINT lungFisse = 0;

    testo[0] = '\0';
    if (path == NULL) {
        DWORD n = GetModuleFileNameA(NULL, pathProprio, sizeof pathProprio);
        if (n == 0 || n >= sizeof pathProprio)
            return;
        path = pathProprio;
    }
    dimInfo = GetFileVersionInfoSizeA(path, &zero);
    if (dimInfo == 0)
        return;
    info = malloc(dimInfo);
    if (info == NULL)
        return;
    if (GetFileVersionInfoA(path, 0, dimInfo, info) && VerQueryValueA(info, "\\", (void **)&fisse, &lungFisse) &&
        lungFisse != 0)
        FormattaVersione(fisse->dwFileVersionMS, fisse->dwFileVersionLS, testo, dim);
    free(info);
}

void LeggiVersioneServizio(void)
{
    LeggiVersioneEseguibile(NULL, versioneServizio, sizeof versioneServizio);
}
