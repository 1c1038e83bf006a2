/* setup/setup.h - installazione del servizio e controllo dei servizi da cui dipende, accessi di
 * LocalSystem alla cartella dell'ambiente, regola del firewall. Solo lato Win32. */
#ifndef SETUP_SETUP_H
#define SETUP_SETUP_H

#include <windows.h>

/* --- Installazione del servizio e servizi dipendenti. Tutte 1 = si'/riuscito, 0 = no/fallito. --- */
int InstallazioneServizio(void);
int TestDipendenze(void);
int VerificaServizioDipendente(const char *nomeServizio);
int IsServizioPresente(const char *nomeServizio);
int IsServizioAttivo(const char *nomeServizio);
int AvviaServizio(const char *nomeServizio);

/* --- Accessi di LocalSystem a una cartella (solo la DACL). --- */
int VerificaAccessiLocalSystem(const char *pathRoot);
int ImpostaAccessiLocalSystem(const char *pathRoot);

/* --- Firewall. --- */
struct INetFwPolicy2;
struct INetFwProfile;
/* Sistemi di versione 6 e successive: la regola del servizio. */
HRESULT WFCOMInitialize(INetFwPolicy2 **policy);
int VerificaAbiFirewallVista(void);
int AbiFirewallVista(void);
/* Sistemi precedenti: le applicazioni autorizzate del profilo corrente. */
HRESULT WindowsFirewallInitialize(INetFwProfile **profilo);
HRESULT IsApplicazioneAbilitata(INetFwProfile *profilo, const wchar_t *pathEseguibile, BOOL *abilitata);
BOOL VerificaAbilitazioneFirewall(void);
int AbiFirewallXP(void);

#endif
