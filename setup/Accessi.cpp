/* setup/Accessi.cpp - decisione sugli accessi di LocalSystem dal testo SDDL della DACL. */
#include "setup/Accessi.h"

#include "setup/setup.h"

#include <stdlib.h>
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
    /* Il fiduciario e' l'ultimo campo di una voce: ";SY)" e' una voce che nomina LocalSystem. La
     * conversione lo scrive sempre SY; per esteso lo si riconosce lo stesso. */
    if (strstr(testoSddl, ";SY)") != NULL || strstr(testoSddl, ";S-1-5-18)") != NULL)
        return 1;
    /* Una DACL nulla lascia entrare chiunque: aggiungervi una voce la renderebbe una lista con la
     * sola LocalSystem e chiuderebbe fuori tutti gli altri. */
    return DaclNulla(testoSddl);
}

/* Bit di scrittura su una cartella: FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY, WRITE_DAC, WRITE_OWNER,
 * GENERIC_ALL, GENERIC_WRITE. */
#define BIT_SCRITTURA 0x500C0006UL

/* La maschera dei diritti di una voce SDDL: numerica ("0x1301bf") o una fila di sigle di due lettere. */
static unsigned long MascheraDiritti(const char *diritti, size_t lung)
{
    static const struct {
        char sigla[3];
        unsigned long bit;
    } sigle[] = {{"GA", 0x10000000UL}, {"GW", 0x40000000UL}, {"FA", 0x1F01FFUL}, {"FW", 0x120116UL},
                 {"WD", 0x40000UL},    {"WO", 0x80000UL},    {"DC", 0x2UL},      {"LC", 0x4UL}};
    unsigned long maschera = 0;

    if (lung > 2 && diritti[0] == '0' && (diritti[1] == 'x' || diritti[1] == 'X'))
        return strtoul(diritti, NULL, 16);
    for (size_t i = 0; i + 1 < lung; i += 2)
        for (size_t j = 0; j < sizeof sigle / sizeof sigle[0]; j++)
            if (diritti[i] == sigle[j].sigla[0] && diritti[i + 1] == sigle[j].sigla[1])
                maschera |= sigle[j].bit;
    return maschera;
}

static FiduciarioAmpio FiduciarioDaTesto(const char *testo, size_t lung)
{
    static const struct {
        const char *testo;
        FiduciarioAmpio fiduciario;
    } noti[] = {{"WD", FIDUCIARIO_EVERYONE},     {"S-1-1-0", FIDUCIARIO_EVERYONE}, {"BU", FIDUCIARIO_USERS},
                {"S-1-5-32-545", FIDUCIARIO_USERS}, {"AU", FIDUCIARIO_AUTENTICATI}, {"S-1-5-11", FIDUCIARIO_AUTENTICATI}};

    for (size_t i = 0; i < sizeof noti / sizeof noti[0]; i++)
        if (strlen(noti[i].testo) == lung && strncmp(testo, noti[i].testo, lung) == 0)
            return noti[i].fiduciario;
    return NESSUN_FIDUCIARIO;
}

FiduciarioAmpio SddlScrivibileDaTutti(const char *testoSddl)
{
    const char *voce = NULL;

    if (testoSddl == NULL)
        return NESSUN_FIDUCIARIO;
    if (DaclNulla(testoSddl))
        return FIDUCIARIO_EVERYONE;
    /* Ogni voce: (tipo;flag;diritti;oggetto;oggetto ereditato;fiduciario) */
    for (voce = strchr(testoSddl, '('); voce != NULL; voce = strchr(voce + 1, '(')) {
        const char *campi[6];
        const char *fine = strchr(voce, ')');
        const char *p = voce + 1;
        int n = 0;
        if (fine == NULL)
            break;
        campi[n++] = p;
        while (n < 6 && (p = (const char *)memchr(p, ';', (size_t)(fine - p))) != NULL)
            campi[n++] = ++p;
        if (n < 6 || strncmp(campi[0], "A;", 2) != 0)
            continue;
        if (MascheraDiritti(campi[2], (size_t)(campi[3] - 1 - campi[2])) & BIT_SCRITTURA) {
            FiduciarioAmpio fiduciario = FiduciarioDaTesto(campi[5], (size_t)(fine - campi[5]));
            if (fiduciario != NESSUN_FIDUCIARIO)
                return fiduciario;
        }
    }
    return NESSUN_FIDUCIARIO;
}

const char *NomeFiduciarioAmpio(FiduciarioAmpio fiduciario)
{
    switch (fiduciario) {
    case FIDUCIARIO_EVERYONE:
        return "Everyone";
    case FIDUCIARIO_USERS:
        return "Users";
    case FIDUCIARIO_AUTENTICATI:
        return "Authenticated Users";
    default:
        return "";
    }
}
