/* service/MainWin.cpp - ingresso del processo: senza argomenti il dispatcher dei servizi, che esegue
 * ServiceMain; con un'opzione un comando di amministrazione (ComandiWin.cpp). */
#include "service/ComandiWin.h"

int main(int argc, char **argv)
{
    return EseguiComando(argc, argv);
}
