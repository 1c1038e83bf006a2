/* install/Tabella.cpp - la tabella degli ambienti installati e le radici che se ne ricavano. */
#include "install/install.h"

#include "base/base.h"

#include <string.h>

TabellaAmbienti TabellaInfoInstallazione;

int RadiceAmbiente(const InfoAmbiente *ambiente, char *dest, size_t dim)
{
    return FormattaTesto(dest, dim, "%c:\\%s", ambiente->drive[0], ambiente->sistInfo);
}

int RadiceLocaleAmbiente(const InfoAmbiente *ambiente, char *dest, size_t dim)
{
    const char *share = ambiente->strPathShare;

    /* Stand alone: la radice locale e' sul drive dell'ambiente, non su quello corrente. */
    if (share[0] == '\0')
        return RadiceAmbiente(ambiente, dest, dim);
    return FormattaTesto(dest, dim, "%.*s\\%s", LungCartellaSenzaBarraRadice(share), share, ambiente->sistInfo);
}

void ScriviElencoAmbienti(void)
{
    int i = 0;

    for (i = 0; i < TabellaInfoInstallazione.numAmbienti && i < MAX_AMBIENTI; i++) {
        const InfoAmbiente *ambiente = &TabellaInfoInstallazione.ambienti[i];
        if (i == 0)
            ScriviLog("Ambiente in linea: \"%c:\\%s\" ---> \"%s\"\n", ambiente->drive[0], ambiente->sistInfo,
                      ambiente->strPathShare);
        else
            ScriviLog("Ambiente duplicato: \"%c:\\%s\" ---> \"%s\"\n", ambiente->drive[0], ambiente->sistInfo,
                      ambiente->strPathShare);
    }
}
