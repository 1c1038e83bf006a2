/* service/ComandiWin.h - la riga di comando di tarnel.exe: servizio senza argomenti, altrimenti uno dei
 * comandi di amministrazione. main la chiama e ne ritorna il codice d'uscita. */
#ifndef SERVICE_COMANDIWIN_H
#define SERVICE_COMANDIWIN_H

#include <windows.h>

/* 0 riuscito, 1 fallito (anche opzione sconosciuta, dopo il testo d'uso su standard output). */
int EseguiComando(int argc, char **argv);

/* tarnel -check: verifica dell'installazione su standard output. 0 se il servizio potrebbe partire
 * e servire, 1 altrimenti. */
int ComandoVerifica(void);

/* 1 se il token del processo ha il gruppo BUILTIN\Administrators abilitato (CheckTokenMembership). */
int IsAmministratore(void);

/* I passi di sistema dei comandi (vedi base.h): la finestra di messaggio e la verifica dei diritti,
 * MessageBoxA e IsAmministratore salvo che una prova li sostituisca. */
typedef int(WINAPI *ProceduraMessaggio)(HWND proprietario, LPCSTR testo, LPCSTR titolo, UINT stile);
typedef struct PassiComandi {
    ProceduraMessaggio mostraMessaggio;
    int (*verificaAmministratore)(void);
} PassiComandi;
extern PassiComandi passiComandi;

#endif
