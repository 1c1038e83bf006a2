/* launch/Versione.cpp - il testo della versione che un client riceve. */
#include "launch/launch.h"

int FormattaVersione(uint32_t versioneAlta, uint32_t versioneBassa, char *testo, size_t dim)
{
    return FormattaTesto(testo, dim, "%02d.%02d.%02d.%02d", (int)(versioneAlta >> 16), (int)(versioneAlta & 0xFFFF),
                         (int)(versioneBassa >> 16), (int)(versioneBassa & 0xFFFF));
}

char versioneServizio[DIM_VERSIONE];
