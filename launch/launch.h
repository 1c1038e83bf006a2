/* launch/launch.h - richieste dei client: il thread di ogni connessione accettata. */
#ifndef LAUNCH_LAUNCH_H
#define LAUNCH_LAUNCH_H

#ifdef _WIN32
/* Procedura del thread di una connessione: il parametro e' il socket accettato, di cui diventa
 * proprietaria. Chiude il socket prima di finire. */
unsigned long __stdcall AttivazioneClient(void *socketAccettato);
#endif

#endif
