/* base/Percorsi.cpp - regole comuni dei percorsi e i nomi degli eseguibili del runtime. */
#include "base/base.h"

#include <string.h>

const char *const ESEGUIBILI_RUNTIME[2][2] = {{"trimox3.exe", "trimox3_vc.exe"}, {"trimox4.exe", "trimox4_vc.exe"}};

int LungCartellaSenzaBarraRadice(const char *cartella)
{
    int lung = (int)strlen(cartella);

    if (lung == 3 && cartella[1] == ':')
        return 2;
    return lung;
}
