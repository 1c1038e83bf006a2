/* setup/ConfigServizioWin.cpp - descrizione, avvio ritardato e ripristino del servizio registrato. */
#include "setup/ConfigServizioWin.h"

#include "base/base.h"
#include "setup/setup.h"

#define DIM_DESCRIZIONE (DIM_PATH + 128)

unsigned long VersioneMaggioreSistema(void)
{
    OSVERSIONINFOA versione;

    ZeroMemory(&versione, sizeof versione);
    versione.dwOSVersionInfoSize = sizeof versione;
    if (!GetVersionExA(&versione)) {
        ScriviLogErrore("main - GetVersionEx");
        return 0;
    }
    return versione.dwMajorVersion;
}

static DWORD VersioneMaggiore(void)
{
    return VersioneMaggioreSistema();
}

PassiConfigServizio passiConfigServizio = {ChangeServiceConfig2A, VersioneMaggiore};

/* Due riavvii, poi nessuna azione. Un rifiuto ha la sua riga e non cambia l'esito. */
static void ImpostaRipristino(SC_HANDLE servizio)
{
    SC_ACTION azioni[3] = {{SC_ACTION_RESTART, ATTESA_RIAVVIO_MS},
                           {SC_ACTION_RESTART, ATTESA_RIAVVIO_MS},
                           {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSA ripristino;
    RipristinoAncheSenzaCrash ancheSenzaCrash = {TRUE};

    ZeroMemory(&ripristino, sizeof ripristino);
    ripristino.dwResetPeriod = AZZERA_FALLIMENTI_S;
    ripristino.cActions = 3;
    ripristino.lpsaActions = azioni;
    if (!passiConfigServizio.cambiaConfig2(servizio, SERVICE_CONFIG_FAILURE_ACTIONS, &ripristino))
        ScriviLogErrore("ChangeServiceConfig2 SERVICE_CONFIG_FAILURE_ACTIONS");
    /* Senza questo, un avvio rifiutato con un codice d'uscita (un drive non pronto al boot) non
     * sarebbe ritentato: solo la fine inattesa del processo lo sarebbe. */
    if (passiConfigServizio.versioneMaggiore() >= 6 &&
        !passiConfigServizio.cambiaConfig2(servizio, CONFIG_RIPRISTINO_ANCHE_SENZA_CRASH, &ancheSenzaCrash))
        ScriviLogErrore("ChangeServiceConfig2 SERVICE_CONFIG_FAILURE_ACTIONS_FLAG");
}

int ConfiguraServizio(SC_HANDLE servizio, const char *radiceAmbiente)
{
    char testoDescrizione[DIM_DESCRIZIONE];
    SERVICE_DESCRIPTIONA descrizione;
    BOOL ritardato = TRUE; /* SERVICE_DELAYED_AUTO_START_INFO: il solo fDelayedAutostart */

    FormattaTesto(testoDescrizione, sizeof testoDescrizione,
                  "Avvia per i Client Grafici i programmi dell'ambiente %s. Verifica: tarnel -check", radiceAmbiente);
    descrizione.lpDescription = testoDescrizione;
    if (!passiConfigServizio.cambiaConfig2(servizio, SERVICE_CONFIG_DESCRIPTION, &descrizione)) {
        ScriviLogErrore("ChangeServiceConfig2 SERVICE_CONFIG_DESCRIPTION");
        return 0;
    }
    /* I sistemi senza avvio automatico ritardato lo rifiutano: il servizio si avvia lo stesso,
     * solo senza ritardo, quindi l'installazione e' riuscita. */
    if (!passiConfigServizio.cambiaConfig2(servizio, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &ritardato))
        ScriviLogErrore("ChangeServiceConfig2 SERVICE_CONFIG_DELAYED_AUTO_START_INFO");
    ImpostaRipristino(servizio);
    return 1;
}
