/* tools/client/LogConsole.cpp - il log del client: nessun file; i record vanno su stderr solo in modo
 * verboso, perche' i suoi errori sono una riga sola. */
#include "base/base.h"
#include "tools/client/cliente.h"

#include <stdio.h>
#include <string.h>

static int logAttivo = 0;

void AttivaLogConsole(int attivo)
{
    logAttivo = attivo;
}

void ConsegnaRecordLog(const char *record)
{
    size_t lung = strlen(record);

    if (!logAttivo)
        return;
    fputs(record, stderr);
    /* Il record d'errore non ha il testo di sistema, che chiuderebbe la riga. */
    if (lung == 0 || record[lung - 1] != '\n')
        fputc('\n', stderr);
}
