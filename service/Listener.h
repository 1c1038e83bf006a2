/* service/Listener.h - costanti del listener che anche i test usano. */
#ifndef SERVICE_LISTENER_H
#define SERVICE_LISTENER_H

/* Stack riservato a ogni thread di connessione. Un processo a 32 bit con gli stack da 2 MiB di
 * default esaurisce lo spazio di indirizzi dopo circa 940 connessioni ferme; con questa riserva
 * ne regge migliaia. Deve restare almeno il doppio del bisogno misurato del percorso piu' profondo. */
#define DIM_STACK_CONNESSIONE (256 * 1024)

#endif
