/* base/Percorsi.cpp - regole comuni dei percorsi. */
#include "base/base.h"

#include <string.h>

int LungCartellaSenzaBarraRadice(const char *cartella)
{
    int lung = (int)strlen(cartella);

    if (lung == 3 && cartella[1] == ':')
        return 2;
    return lung;
}
