/* launch/AttivazioneClientWin.cpp - il thread di una connessione accettata: negozia la richiesta,
 * poi chiude la propria copia del socket. */
#include "launch/launch.h"

#include "service/service.h"

#include <winsock2.h>
#include <windows.h>

unsigned long __stdcall AttivazioneClient(void *socketAccettato)
{
    SocketRete s = (SocketRete)socketAccettato;
    int inChiaro = 0;
    unsigned long risultato = 0;

    if (NegoziazioneRichiesta(s, &inChiaro))
        risultato = 1;
    else
        ScriviLog("Impossibile abilitare l'esecuzione del Client (comunicazione con il client interrotta)\n");
    closesocket((SOCKET)s);
    return risultato;
}
