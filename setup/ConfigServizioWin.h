/* setup/ConfigServizioWin.h - la configurazione del servizio appena creato: descrizione, avvio
 * ritardato, azioni di ripristino; la chiamata di sistema come passo sostituibile dalle prove. */
#ifndef SETUP_CONFIGSERVIZIOWIN_H
#define SETUP_CONFIGSERVIZIOWIN_H

#include <windows.h>

/* Valori di winsvc.h per i sistemi di versione 6, che le intestazioni per la versione 5 non danno. */
#define CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH 4 /* SERVICE_CONFIG_FAILURE_ACTIONS_FLAG */
/* SERVICE_FAILURE_ACTIONS_FLAG */
typedef struct RipristinoAncheSenzaCrash {
    BOOL fFailureActionsOnNonCrashFailures;
} RipristinoAncheSenzaCrash;

/* Il ripristino: il conto dei fallimenti riparte dopo un giorno; due riavvii a 60 s, poi nulla
 * (l'ultima azione si ripete: una configurazione guasta non riavvia senza fine). */
#define AZZERA_FALLIMENTI_S 86400
#define ATTESA_RIAVVIO_MS 60000

typedef BOOL(WINAPI *ProceduraConfig2)(SC_HANDLE servizio, DWORD livello, LPVOID record);
typedef struct PassiConfigServizio {
    ProceduraConfig2 cambiaConfig2;    /* ChangeServiceConfig2A */
    DWORD (*versioneMaggiore)(void); /* VersioneMaggioreSistema */
} PassiConfigServizio;
extern PassiConfigServizio passiConfigServizio;

/* Descrizione con la radice dell'ambiente, avvio automatico ritardato, azioni di ripristino (e dai
 * sistemi di versione 6 il ripristino anche per un avvio rifiutato con un codice d'uscita).
 * 1 se la descrizione e' scritta; un rifiuto degli altri passi ha la sua riga e non conta. */
int ConfiguraServizio(SC_HANDLE servizio, const char *radiceAmbiente);

#endif
