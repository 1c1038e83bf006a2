/* setup/setup.h - installazione del servizio e controllo dei servizi da cui dipende, accessi di
 * LocalSystem alla cartella dell'ambiente, regola del firewall. Le routine sono tutte del lato Win32;
 * l'intestazione resta portabile (i pezzi con tipi COM sono in FirewallWin.h). */
#ifndef SETUP_SETUP_H
#define SETUP_SETUP_H

#include <stddef.h>

/* --- Installazione del servizio e servizi dipendenti. Tutte 1 = si'/riuscito, 0 = no/fallito. --- */
int InstallazioneServizio(void);
int TestDipendenze(void);
int VerificaServizioDipendente(const char *nomeServizio);
int IsServizioPresente(const char *nomeServizio);
int IsServizioAttivo(const char *nomeServizio);
int AvviaServizio(const char *nomeServizio);
/* La versione maggiore del sistema (5 per XP, 6 da Vista); 0 se non si sa. */
unsigned long VersioneMaggioreSistema(void);

/* --- Accessi di LocalSystem a una cartella (solo la DACL). --- */
int VerificaAccessiLocalSystem(const char *pathRoot);
/* La cartella che contiene l'ambiente: quella a cui l'installazione da' l'accesso di LocalSystem. */
int CartellaContenitore(const char *rootSistInfo, char *cartella, size_t dim);
int ImpostaAccessiLocalSystem(const char *pathRoot);

/* --- Chi altro puo' scrivere in una cartella. --- */
/* Fiduciari che chiunque nella macchina o nel dominio impersona: Everyone, Users, Authenticated Users. */
typedef enum FiduciarioAmpio { NESSUN_FIDUCIARIO, FIDUCIARIO_EVERYONE, FIDUCIARIO_USERS, FIDUCIARIO_AUTENTICATI } FiduciarioAmpio;
/* Il primo fiduciario ampio a cui una voce di consenso (A) della DACL scritta in SDDL da' un diritto
 * di scrittura (GA, GW, FA, FW, WD, WO, DC, LC, o una maschera numerica con quei bit); le voci di
 * negazione e gli altri fiduciari non contano. Una DACL nulla vale come scrivibile da Everyone. */
FiduciarioAmpio SddlScrivibileDaTutti(const char *testoSddl);
/* "Everyone", "Users", "Authenticated Users"; "" per nessuno. */
const char *NomeFiduciarioAmpio(FiduciarioAmpio fiduciario);

/* La DACL della cartella letta dal sistema; NESSUN_FIDUCIARIO anche se non si legge (riga nel log). */
FiduciarioAmpio CartellaScrivibileDaTutti(const char *cartella);

/* --- Firewall. --- */
/* Sistemi di versione 6 e successive: la regola del servizio. */
int VerificaAbiFirewallVista(void);
int AbiFirewallVista(void);
/* Sistemi precedenti: le applicazioni autorizzate del profilo corrente. */
int VerificaAbilitazioneFirewall(void);
int AbiFirewallXP(void);
/* Alla rimozione del servizio: tolgono quello che l'installazione ha aggiunto, con una riga nel log;
 * quello che non c'e' piu' non e' un errore. Sempre 1. */
int RimuoviFirewallVista(void);
int RimuoviFirewallXP(void);

#endif
