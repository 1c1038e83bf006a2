/* launch/Aggiornamenti.cpp - gli avvisi di aggiornamento per il client, il controllo
 * dell'aggiornamento dell'applicativo in corso (marcatore aincorso.tst) e l'aggiornamento del
 * servizio (tarnel.new, updqorservice.exe). */
#include "launch/launch.h"

#include "install/install.h"
#include "base/base.h"

#include <string.h>

static const char TESTO_AGGIORNAMENTO_SERVIZIO[] =
    "E' in corso l'aggiornamento del servizio di attivazione applicativi QOR:\n"
    "attendere alcuni istanti e ritentare la connessione";
static const char TESTO_AGGIORNAMENTO_APPLICATIVO[] =
    "La procedura di aggiornamento e' in corso oppure l'ultimo aggiornamento eseguito "
    "ha generato errori. Attendere alcuni istanti e ritentare la connessione.";
/* Le lunghezze degli avvisi sono quelle del protocollo: i testi non possono cambiarle. */
static_assert(sizeof TESTO_AGGIORNAMENTO_SERVIZIO - 1 + 20 == LUNG_AVVISO_SERVIZIO, "avviso del servizio");
static_assert(sizeof TESTO_AGGIORNAMENTO_APPLICATIVO - 1 + 21 == LUNG_AVVISO_IN_CHIARO, "avviso in chiaro");
static_assert(sizeof TESTO_AGGIORNAMENTO_APPLICATIVO - 1 + 20 == LUNG_CORPO_AVVISO_CIFRATO, "avviso cifrato");

/* Area in cui il client manda la sua trama dopo l'avviso cifrato, che non si interpreta. */
#define DIM_RISPOSTA_AVVISO 260

/* Scrive in dest testa, la lunghezza del campo in cinque cifre, inizio e testo del campo e la fine
 * lista; rende lung, o 0 senza scrivere se l'avviso non sarebbe lungo esattamente lung byte. */
static int ComponiAvviso(uint8_t *dest, int lung, const char *testa, int lungCampo, const char *inizio,
                         const char *testo)
{
    char avviso[LUNG_AVVISO_IN_CHIARO + 1];

    if (!FormattaTesto(avviso, sizeof avviso, "%s%05d%s%s00000", testa, lungCampo, inizio, testo) ||
        (int)strlen(avviso) != lung)
        return 0;
    memcpy(dest, avviso, (size_t)lung);
    return lung;
}

int AvvisoAggiornamentoServizio(uint8_t *dest)
{
    return ComponiAvviso(dest, LUNG_AVVISO_SERVIZIO, "00005PANIC", (int)strlen(TESTO_AGGIORNAMENTO_SERVIZIO), "",
                         TESTO_AGGIORNAMENTO_SERVIZIO);
}

int AvvisoAggiornamentoInChiaro(uint8_t *dest)
{
    int n = LUNG_AVVISO_IN_CHIARO - 4;

    if (!ComponiAvviso(dest + 4, n, "00001E", (int)strlen(TESTO_AGGIORNAMENTO_APPLICATIVO) + 1, "S",
                       TESTO_AGGIORNAMENTO_APPLICATIVO))
        return 0;
    /* La lunghezza in testa: 4 byte, il piu' significativo per primo. */
    dest[0] = (uint8_t)((uint32_t)n >> 24);
    dest[1] = (uint8_t)((uint32_t)n >> 16);
    dest[2] = (uint8_t)((uint32_t)n >> 8);
    dest[3] = (uint8_t)n;
    return n + 4;
}

int CorpoAvvisoAggiornamentoCifrato(uint8_t *dest)
{
    return ComponiAvviso(dest, LUNG_CORPO_AVVISO_CIFRATO, "9999900201", (int)strlen(TESTO_AGGIORNAMENTO_APPLICATIVO),
                         "", TESTO_AGGIORNAMENTO_APPLICATIVO);
}

/* Avviso cifrato: un nuovo scambio chiavi, la trama (compressa se richiesto), e la trama del client
 * letta e scartata. I risultati non contano: il client se ne va comunque. */
static void AvvisoCifrato(CanaleRete *canale, int compressione)
{
    StatoCifratura stato;
    uint8_t corpo[LUNG_CORPO_AVVISO_CIFRATO];
    uint8_t compresso[DIM_USCITA_LZW(LUNG_CORPO_AVVISO_CIFRATO)];
    uint8_t risposta[DIM_RISPOSTA_AVVISO];
    int lung = CorpoAvvisoAggiornamentoCifrato(corpo);
    uint8_t *payload = corpo;
    int lungRisposta = 0;

    memset(&stato, 0, sizeof stato);
    scambioChiaviCanale(canale, &stato);
    if (compressione) {
        int lungCompressa = compressioneDati(corpo, lung, compresso, sizeof compresso);
        if (lungCompressa > 0) {
            payload = compresso;
            lung = lungCompressa;
        }
    }
    invioBufferCanale(canale, &stato, payload, lung);
    ricezioneBufferCanale(canale, &stato, risposta, sizeof risposta, &lungRisposta);
}

int MarcatoreAggiornamentoInCorso(char *path, size_t dim)
{
    PathNellAmbiente(&TabellaInfoInstallazione.ambienti[0], &FILE_AGGIORNAMENTO_IN_CORSO, path, dim);
    return passiLancio.esisteFile(path);
}

int MarcatoreServizioNuovo(char *path, size_t dim)
{
    PathNellAmbiente(&TabellaInfoInstallazione.ambienti[0], &FILE_SERVIZIO_NUOVO, path, dim);
    return passiLancio.esisteFile(path);
}

int PathAggiornatore(char *path, size_t dim)
{
    return PathNellAmbiente(&TabellaInfoInstallazione.ambienti[0], &FILE_AGGIORNATORE, path, dim);
}

int AggiornamentoInCorso(CanaleRete *canale, int inChiaro, int compressione)
{
    char marcatore[DIM_PATH];

    if (!MarcatoreAggiornamentoInCorso(marcatore, sizeof marcatore)) {
        ScriviLog("AggiornamentoInCorso NON e' presente il file  = %s \n", marcatore);
        return 0;
    }
    if (inChiaro) {
        uint8_t avviso[LUNG_AVVISO_IN_CHIARO];
        InviaTutto(canale, avviso, AvvisoAggiornamentoInChiaro(avviso));
    } else {
        AvvisoCifrato(canale, compressione);
    }
    return 1;
}

int AggiornamentoServizio(CanaleRete *canale)
{
    char marcatore[DIM_PATH];
    char radiceLocale[DIM_PATH];
    char cartella[DIM_PATH];
    char programma[DIM_PATH];
    char comando[DIM_RIGA_COMANDO];
    uint8_t avviso[LUNG_AVVISO_SERVIZIO];
    int lung = 0;
    int avviato = 0;

    /* Prima tarnel.new, che di solito manca: un marcatore che manca costa piu' di uno che c'e'
     * (sotto Wine si scorre la cartella), e aincorso.tst si guarda comunque piu' avanti. */
    if (!MarcatoreServizioNuovo(marcatore, sizeof marcatore) || MarcatoreAggiornamentoInCorso(marcatore, sizeof marcatore))
        return 0;
    RadiceLocaleAmbiente(&TabellaInfoInstallazione.ambienti[0], radiceLocale, sizeof radiceLocale);
    UnisciPercorso(radiceLocale, CARTELLA_BIN_SERVIZIO, cartella, sizeof cartella);
    PathAggiornatore(programma, sizeof programma);
    /* Una sola chiamata d'invio, in chiaro: l'errore del socket va nel log dal canale. */
    lung = AvvisoAggiornamentoServizio(avviso);
    if (canale->invia(canale->contesto, avviso, lung) < 0)
        ScriviLog("Impossibile notificare al Client Grafico la necessita' di aggiornare il servizio di attivazione "
                  "applicativi QOR \n");
    FormattaTesto(comando, sizeof comando, "%s %s %s", programma, FILE_ESEGUIBILE_SERVIZIO.file,
                  FILE_SERVIZIO_NUOVO.file);
    /* I due nomi senza cartella valgono nella cartella dell'aggiornatore, la sua cartella corrente. */
    avviato = passiLancio.avviaProgramma(programma, comando, cartella, AVVIO_UNICO);
    if (avviato == AVVIO_GIA_IN_CORSO) {
        /* Un secondo aggiornatore litigherebbe con il primo sugli stessi file. */
        ScriviLog("Procedura di aggiornamento del %s gia' in corso: nessun altro avvio, connessione chiusa\n", NOME_VISUALIZZATO);
        return 2;
    }
    if (!avviato) {
        ScriviLogErrore("CreateProcess");
        ScriviLog("Impossibile attivare la procedura di aggiornamento del %s: \"%s\"\n", NOME_VISUALIZZATO, comando);
    } else {
        ScriviLog("Attivata la procedura di aggiornamento del %s: \"%s\"\n", NOME_VISUALIZZATO, comando);
    }
    return 1;
}
