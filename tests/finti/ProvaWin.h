/* tests/finti/ProvaWin.h - aiuti dei test del lato Win32: file, cartelle, processi, socket di prova. */
#ifndef FINTI_PROVAWIN_H
#define FINTI_PROVAWIN_H

#include <string>

#include <winsock2.h>
#include <windows.h>

/* Cartella dell'eseguibile di test, con la barra finale. */
std::string CartellaEseguibile();
/* Crea (vuota) una cartella temporanea propria del test e ne rende il percorso, senza barra finale. */
std::string CartellaNuova(const std::string &nome);
/* Rimuove una cartella con tutto il contenuto. */
void RimuoviAlbero(const std::string &cartella);
/* Crea tutte le cartelle del percorso. */
void CreaCartelle(const std::string &cartella);
std::string LeggiFile(const std::string &path);
bool ScriviFile(const std::string &path, const std::string &contenuto);
/* Avvia una riga di comando senza attenderla: la handle del processo, o NULL se non parte. */
HANDLE AvviaProcesso(const std::string &rigaComando);
/* Copia dormiente.exe (accanto ai test, dorme 60 s) al percorso dato e la avvia: un processo con il
 * nome che si vuole. La handle del processo, o NULL. */
HANDLE AvviaDormiente(const std::string &path);
/* Esegue una riga di comando e ne attende la fine; il codice d'uscita, o -1 se non parte o non finisce. */
int EseguiProcesso(const std::string &rigaComando, DWORD attesaMs);
/* Esegue una riga di comando con standard output ed error in un file (al piu' 30 s); il codice
 * d'uscita (-1 se non parte o non finisce) e l'uscita senza CR. */
int EseguiConUscita(const std::string &riga, std::string *uscita);
/* Percorso Windows dell'eseguibile o della cartella Linux dati (Z:\...). */
std::string PathDaLinux(const std::string &pathLinux);
/* Client TCP su 127.0.0.1:porta; INVALID_SOCKET se non si connette. */
SOCKET ConnettiLoopback(int porta);
/* Un socket in ascolto su tutte le interfacce alla porta, che la tiene occupata; INVALID_SOCKET
 * se la porta non si lega. */
SOCKET OccupaPorta(int porta);
/* Espressioni regolari ECMAScript (quelle di GoogleTest su Windows non hanno classi ne' gruppi):
 * tutto il testo, o una sua parte. */
bool CorrispondeTutto(const std::string &testo, const std::string &espressione);
bool ContieneEspressione(const std::string &testo, const std::string &espressione);
/* Un testo letterale come espressione regolare. */
std::string Letterale(const std::string &testo);
/* Porta di prova: base piu' un numero; le prove usano 21000-21999. */
int PortaProva(int numero);

#endif
