/* service/MainWin.cpp - ingresso del processo: senza argomenti consegna il processo al dispatcher
 * dei servizi, che esegue ServiceMain; con un argomento mostra le opzioni. */
#include "service/service.h"

#include "service/ServiceWin.h"

#include <stdio.h>

static void StampaUso(const char *programma)
{
    printf("Opzioni:\n\t%s [-s] -i\tInstallazione servizio\n", programma);
    printf("\t%s [-s] -r\tRimozione servizio\n", programma);
    printf("\t%s [-s] -start\tAttivazione servizio\n", programma);
    printf("\t%s [-s] -stop\tDisattivazione servizio\n", programma);
    printf("\n\t-s: abilita la modalita' silente (no message box)\n");
}

int main(int argc, char **argv)
{
    static char nomeServizio[] = NOME_SERVIZIO;
    SERVICE_TABLE_ENTRYA tabella[] = {{nomeServizio, ServiceMain}, {NULL, NULL}};

    if (argc < 2) {
        if (!StartServiceCtrlDispatcherA(tabella)) {
            ScriviLogErrore("StartServiceCtrlDispatcher");
            return 1;
        }
        return 0;
    }
    StampaUso(argv[0]);
    return 1;
}
