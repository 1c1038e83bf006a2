/* setup/AccessiWin.h - pezzi degli accessi di LocalSystem che i test usano da soli. */
#ifndef SETUP_ACCESSIWIN_H
#define SETUP_ACCESSIWIN_H

#include <windows.h>

/* Dalla DACL esistente, la nuova lista con la voce di LocalSystem (S-1-5-18, GENERIC_ALL, ereditata
 * da sottocartelle e file, SET_ACCESS) e tutte le altre voci. 1 se riuscito: *nuovaLista va
 * liberata con LocalFree dal chiamante, ed e' NULL se la DACL esistente e' nulla (lascia gia' entrare
 * chiunque: non c'e' niente da scrivere). 0 se fallito, con la riga d'errore nel log. */
int DaclConLocalSystem(PACL daclEsistente, PACL *nuovaLista);

#endif
