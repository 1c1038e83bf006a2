/* fuzz/FuzzRichiesta.cpp - bersaglio libFuzzer del percorso intero di una connessione: scambio
 * chiavi, trama, lettura dei campi, smistamento di ogni tipo, righe del file dei parametri, blocco
 * d'ambiente del runtime. I passi di sistema sono finti e in memoria.
 * Ingresso: byte 0 modo (bit 0 cifrata, 1 aincorso.tst, 2 tarnel.new, 3 updatefo.cfg, 4 avvio
 * fallito, 5 scrittura fallita, 6 flusso grezzo dal byte 2, 7 Visual COBOL), byte 1 zeri dietro la
 * frase o pezzo massimo di ricezione, poi il corpo della richiesta, che qui si mette in trama. */
#include "install/install.h"
#include "launch/launch.h"
#include "protocol/protocol.h"

#include <stdlib.h>
#include <string.h>

typedef struct CanaleFuzz {
    uint8_t ingresso[2 * DIM_CHIAVE + 4 * DIM_AREA_MESSAGGIO];
    int lung;
    int letti;
    int pezzo; /* massimo per ricezione, 0 = nessuno */
} CanaleFuzz;

static int Ricevi(void *contesto, uint8_t *dove, int quanti)
{
    CanaleFuzz *c = (CanaleFuzz *)contesto;
    if (quanti <= 0 || quanti > DIM_CHIAVE + DIM_AREA_MESSAGGIO)
        abort();
    int n = c->lung - c->letti;
    if (c->pezzo > 0 && n > c->pezzo)
        n = c->pezzo;
    if (n > quanti)
        n = quanti;
    memcpy(dove, c->ingresso + c->letti, (size_t)n);
    c->letti += n;
    return n;
}

static int Sbircia(void *contesto, uint8_t *dove, int quanti)
{
    CanaleFuzz *c = (CanaleFuzz *)contesto;
    int letti = c->letti;
    int n = Ricevi(contesto, dove, quanti);
    c->letti = letti;
    return n;
}

static int Invia(void *, const uint8_t *cosa, int quanti)
{
    if (quanti < 0 || (quanti > 0 && cosa == NULL))
        abort();
    volatile uint8_t tocca = quanti > 0 ? cosa[quanti - 1] : 0;
    (void)tocca;
    return quanti;
}

static int Attendi(void *contesto, int)
{
    CanaleFuzz *c = (CanaleFuzz *)contesto;
    return c->letti < c->lung;
}

/* Chi scrive il canale: i byte vanno in coda all'ingresso. */
static int Accoda(void *contesto, const uint8_t *cosa, int quanti)
{
    CanaleFuzz *c = (CanaleFuzz *)contesto;
    if (c->lung + quanti > (int)sizeof c->ingresso)
        return -1;
    memcpy(c->ingresso + c->lung, cosa, (size_t)quanti);
    c->lung += quanti;
    return quanti;
}

static uint8_t modo;
static char fileParametri[DIM_FILE_PARAMETRI];

static int FileFinto(const char *path)
{
    const char *fine = strrchr(path, '\\');
    fine = fine != NULL ? fine + 1 : path;
    return (strcmp(fine, "aincorso.tst") == 0 && (modo & 2)) || (strcmp(fine, "tarnel.new") == 0 && (modo & 4)) ||
           (strcmp(fine, "updatefo.cfg") == 0 && (modo & 8)) || (strcmp(fine, "cobol_vc.cfg") == 0 && (modo & 128));
}

static int CartellaFinta(const char *path)
{
    return path[0] != '\0';
}

static int ScriviFile(const char *, const char *dati, int lung)
{
    if (modo & 32)
        return 0;
    if (lung < 0 || lung >= (int)sizeof fileParametri)
        abort();
    memcpy(fileParametri, dati, (size_t)lung);
    return 1;
}

static void Nulla(const char *)
{
}

static int Avvia(const char *programma, const char *comando, const char *cartella, int)
{
    if (strlen(programma) >= DIM_PATH || strlen(comando) >= DIM_RIGA_COMANDO || strlen(cartella) >= DIM_PATH)
        abort();
    return (modo & 16) == 0;
}

static void NessunBlocco(void)
{
}

static uint32_t OrologioFermo(void)
{
    return 0;
}

static void Prepara(void)
{
    static int fatto = 0;
    if (fatto)
        return;
    fatto = 1;
    passiLancio = {FileFinto, CartellaFinta, ScriviFile, Nulla, Avvia, NessunBlocco, NessunBlocco, OrologioFermo};
    TabellaInfoInstallazione.numAmbienti = 2;
    strcpy(TabellaInfoInstallazione.ambienti[0].drive, "C");
    strcpy(TabellaInfoInstallazione.ambienti[0].sistInfo, "GEST1");
    strcpy(TabellaInfoInstallazione.ambienti[1].drive, "D:\\GEST2");
    strcpy(TabellaInfoInstallazione.ambienti[1].sistInfo, "GEST2");
}

/* Il flusso del client: frase (con gli zeri) o materiale, poi la trama del corpo; cifrata, un
 * secondo materiale e una trama vuota per l'avviso di aggiornamento. */
static void ComponiFlusso(CanaleFuzz *c, const uint8_t *corpo, int lung, int zeri)
{
    CanaleRete scrittura = {NULL, Accoda, NULL, NULL, c};
    uint8_t area[DIM_AREA_MESSAGGIO];
    if (lung > DIM_AREA_MESSAGGIO)
        lung = DIM_AREA_MESSAGGIO;
    memcpy(area, corpo, (size_t)lung);
    if (modo & 1) {
        StatoCifratura cliente;
        uint8_t materiale[DIM_CHIAVE];
        uint8_t fine[] = "00000";
        /* Il materiale del client e la sua chiave d'invio; la risposta del servizio non si legge. */
        memset(&cliente, 0, sizeof cliente);
        for (int i = 0; i < DIM_CHIAVE; i++) {
            materiale[i] = (uint8_t)(i * 13 + 7);
            cliente.invio.chiave[i] = materiale[i] ^ TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
        }
        Accoda(c, materiale, DIM_CHIAVE);
        invioBufferCanale(&scrittura, &cliente, area, lung);
        cliente.invio.posizione = cliente.invio.base = 0;
        Accoda(c, materiale, DIM_CHIAVE);
        invioBufferCanale(&scrittura, &cliente, fine, 5);
    } else {
        uint8_t zero[256] = {0};
        Accoda(c, (const uint8_t *)FRASE_IN_CHIARO, LUNG_FRASE_IN_CHIARO);
        Accoda(c, zero, zeri);
        invioBufferInChiaroCanale(&scrittura, area, lung);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dati, size_t lung)
{
    static CanaleFuzz c;
    RichiestaClient richiesta;
    if (lung < 2)
        return 0;
    Prepara();
    modo = dati[0];
    c.lung = c.letti = 0;
    c.pezzo = 0;
    if (modo & 64) {
        c.pezzo = dati[1];
        Accoda(&c, dati + 2, (int)lung - 2 < (int)sizeof c.ingresso ? (int)lung - 2 : (int)sizeof c.ingresso);
    } else {
        ComponiFlusso(&c, dati + 2, (int)lung - 2, dati[1]);
    }
    CanaleRete canale = {Ricevi, Invia, Attendi, Sbircia, &c};
    InizializzaRichiesta(&richiesta);
    if (NegoziazioneRichiestaCanale(&canale, &richiesta) == NEGOZIAZIONE_RIUSCITA && !richiesta.richiestaVersione) {
        static char blocco[DIM_BLOCCO_ENVIRONMENT];
        static const char ambiente[] = "PATH=C:\\x\0DEBPRO=1\0Altro=2\0";
        int usati = ComponiEnvironment(blocco, sizeof blocco, ambiente, "C:\\x", "1", &richiesta, 1234,
                                       (modo & 128) != 0);
        if (usati < 2 || usati > (int)sizeof blocco || blocco[usati - 1] != 0 || blocco[usati - 2] != 0)
            abort();
    }
    return 0;
}
