/* service/ServiceWin.h - il lato Win32 del host: nome del servizio, ServiceMain, gestore dei comandi. */
#ifndef SERVICE_SERVICEWIN_H
#define SERVICE_SERVICEWIN_H

#include <stddef.h>

#include <windows.h>

#define NOME_SERVIZIO "tarnel"
#define NOME_VISUALIZZATO "Servizio di attivazione applicativi QOR"

void WINAPI ServiceMain(DWORD numArgomenti, LPSTR *argomenti);
DWORD WINAPI ServerCtrlHandlerEx(DWORD controllo, DWORD tipoEvento, LPVOID datiEvento, LPVOID contesto);

/* Share e sistInfo dell'ambiente in cui l'eseguibile e' installato (...\<sistInfo>\prg\com\drumal\...).
 * 1 se il percorso ha quella forma e i testi entrano. */
int AmbienteDaPercorso(const char *pathEseguibile, char *strPathShare, size_t dimShare, char *sistInfo,
                       size_t dimSist);

#endif
