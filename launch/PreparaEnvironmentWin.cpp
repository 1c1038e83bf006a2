/* launch/PreparaEnvironmentWin.cpp - il blocco d'ambiente del runtime dall'ambiente vero del servizio. */
#include "launch/launch.h"

#include <windows.h>

void PreparaEnvironment(char *blocco, int dim, const RichiestaClient *richiesta, uint32_t socket, int cobolVisual)
{
    char pathServizio[DIM_TESTO_ENVIRONMENT];
    char debproServizio[DIM_TESTO_ENVIRONMENT];
    DWORD lungPath = GetEnvironmentVariableA("PATH", pathServizio, sizeof pathServizio);
    DWORD lungDebpro = GetEnvironmentVariableA("DEBPRO", debproServizio, sizeof debproServizio);
    char *ambiente = GetEnvironmentStringsA();

    /* Un valore che non entra nel suo testo resta fuori intero, mai a meta'. */
    if (lungPath >= sizeof pathServizio) {
        ScriviLog("PreparaEnvironment - PATH del servizio di %lu caratteri lasciato fuori\n", (unsigned long)lungPath);
        lungPath = 0;
    }
    if (lungDebpro >= sizeof debproServizio) {
        ScriviLog("PreparaEnvironment - DEBPRO del servizio di %lu caratteri lasciato fuori\n",
                  (unsigned long)lungDebpro);
        lungDebpro = 0;
    }
    ComponiEnvironment(blocco, dim, ambiente, lungPath > 0 ? pathServizio : NULL,
                       lungDebpro > 0 ? debproServizio : NULL, richiesta, socket, cobolVisual);
    if (ambiente != NULL)
        FreeEnvironmentStringsA(ambiente);
}
