/* setup/setup.h - installazione del servizio e controllo dei servizi da cui dipende, accessi di
 * LocalSystem alla cartella dell'ambiente, regola del firewall. Le routine sono tutte del lato Win32;
 * l'intestazione resta portabile (i pezzi con tipi COM sono in FirewallWin.h). */
#ifndef SETUP_SETUP_H
#define SETUP_SETUP_H

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
int ImpostaAccessiLocalSystem(const char *pathRoot);

/* --- Firewall. --- */
/* Sistemi di versione 6 e successive: la regola del servizio. */
int VerificaAbiFirewallVista(void);
int AbiFirewallVista(void);
/* Sistemi precedenti: le applicazioni autorizzate del profilo corrente. */
int VerificaAbilitazioneFirewall(void);
int AbiFirewallXP(void);

#endif
