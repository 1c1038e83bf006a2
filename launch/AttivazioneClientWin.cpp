/* launch/AttivazioneClientWin.cpp - il thread di una connessione accettata. */
#include "launch/launch.h"

#include "service/service.h"

#include <winsock2.h>
#include <windows.h>

unsigned long __stdcall AttivazioneClient(void *socketAccettato)
{
    closesocket((SOCKET)socketAccettato);
    return 0;
}
