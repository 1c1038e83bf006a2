/* setup/Accessi.cpp - decisione sugli accessi di LocalSystem dal testo SDDL della DACL. */
#include "setup/Accessi.h"

#include <string.h>

/* 1 se la parte D: del testo e' una DACL nulla ("D:NO_ACCESS_CONTROL", anche dopo i flag P, AI, AR). */
static int DaclNulla(const char *testoSddl)
{
    const char *p = strstr(testoSddl, "D:");

    if (p == NULL)
        return 0;
    p += 2;
    while (*p == 'P' || *p == 'A' || *p == 'I' || *p == 'R')
        p++;
    return strncmp(p, "NO_ACCESS_CONTROL", strlen("NO_ACCESS_CONTROL")) == 0;
}

int SddlNominaLocalSystem(const char *testoSddl)
{
    if (testoSddl == NULL)
        return 0;
    /* Il fiduciario e' l'ultimo campo di una voce: ";SY)" e' una voce che nomina LocalSystem. */
    if (strstr(testoSddl, ";SY)") != NULL)
        return 1;
    /* Una DACL nulla lascia entrare chiunque: aggiungervi una voce la renderebbe una lista con la
     * sola LocalSystem e chiuderebbe fuori tutti gli altri. */
    return DaclNulla(testoSddl);
}
