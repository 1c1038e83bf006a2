/* tests/service/Dormiente.cpp - un processo che dorme per i secondi dati (30 se non detto) ed esce
 * con 0: copiato con il nome di un eseguibile del runtime, e' il bersaglio delle terminazioni. */
#include <stdlib.h>

#include <windows.h>

int main(int argc, char **argv)
{
    int secondi = argc > 1 ? atoi(argv[1]) : 30;
    Sleep((DWORD)secondi * 1000);
    return 0;
}
