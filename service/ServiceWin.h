/* service/ServiceWin.h - il lato Win32 del host: nome del servizio, ServiceMain, gestore dei comandi. */
#ifndef SERVICE_SERVICEWIN_H
#define SERVICE_SERVICEWIN_H

#include <stddef.h>

#include "service/service.h"

#include <windows.h>

void WINAPI ServiceMain(DWORD numArgomenti, LPSTR *argomenti);
DWORD WINAPI ServerCtrlHandlerEx(DWORD controllo, DWORD tipoEvento, LPVOID datiEvento, LPVOID contesto);

/* Termina ogni processo della macchina il cui eseguibile ha quel nome (maiuscole e minuscole non
 * contano); non attende la loro fine. */
void TerminaProcesso(const char *nomeEseguibile);
/* Quanti processi della macchina hanno quel nome d'eseguibile, contati come TerminaProcesso li trova. */
int ContaProcessi(const char *nomeEseguibile);

#endif
