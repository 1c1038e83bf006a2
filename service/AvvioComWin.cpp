/* service/AvvioComWin.cpp - prima di main il processo entra nell'apartment COM multithread, e ne
 * esce alla fine del processo. Le richieste successive di un apartment a thread singolo (routine del
 * firewall) ricevono RPC_E_CHANGED_MODE, che quelle routine accettano. */
#include <objbase.h>
#include <stdlib.h>

static void EsciDaCom(void)
{
    CoUninitialize();
}

__attribute__((constructor)) static void EntraInCom(void)
{
    if (SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED)))
        atexit(EsciDaCom);
}
