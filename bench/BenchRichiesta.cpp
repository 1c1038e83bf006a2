/* bench/BenchRichiesta.cpp - CPU di una conversazione sul percorso portabile: scambio chiavi,
 * trama, campi, smistamento, file dei parametri e blocco d'ambiente, su un canale in memoria e con
 * i passi di sistema finti (nessuna chiamata al sistema). */
#include "install/install.h"
#include "launch/launch.h"
#include "protocol/protocol.h"

#include <benchmark/benchmark.h>

#include <string.h>
#include <string>

struct CanaleMemoria {
    std::string ingresso;
    size_t letti = 0;
};

static int Ricevi(void *contesto, uint8_t *dove, int quanti)
{
    CanaleMemoria *c = (CanaleMemoria *)contesto;
    size_t n = std::min((size_t)quanti, c->ingresso.size() - c->letti);
    memcpy(dove, c->ingresso.data() + c->letti, n);
    c->letti += n;
    return (int)n;
}

static int Sbircia(void *contesto, uint8_t *dove, int quanti)
{
    CanaleMemoria *c = (CanaleMemoria *)contesto;
    size_t n = std::min((size_t)quanti, c->ingresso.size() - c->letti);
    memcpy(dove, c->ingresso.data() + c->letti, n);
    return (int)n;
}

static int Invia(void *, const uint8_t *, int quanti)
{
    return quanti;
}

static int Attendi(void *contesto, int)
{
    CanaleMemoria *c = (CanaleMemoria *)contesto;
    return c->letti < c->ingresso.size();
}

static int Accoda(void *contesto, const uint8_t *cosa, int quanti)
{
    ((CanaleMemoria *)contesto)->ingresso.append((const char *)cosa, (size_t)quanti);
    return quanti;
}

/* Le cartelle ci sono, i marcatori di aggiornamento no. */
static int FileAssente(const char *)
{
    return 0;
}

static int CartellaPresente(const char *)
{
    return 1;
}

static int Scrivi(const char *, const char *, int)
{
    return 1;
}

static void Rimuovi(const char *)
{
}

static int Avvia(const char *, const char *, const char *, int)
{
    return 1;
}

static void Niente(void)
{
}

/* Il limite della negoziazione non scade mai qui. */
static uint32_t OrologioFermo(void)
{
    return 0;
}

static std::string Campo(const std::string &testo)
{
    char cifre[16];
    snprintf(cifre, sizeof cifre, "%05d", (int)testo.size() + 1);
    return cifre + testo + std::string(1, '\0');
}

/* Il flusso di un client cifrato con una richiesta kelvatlog3. */
static std::string FlussoKelvatlog3()
{
    CanaleMemoria c;
    CanaleRete scrittura = {NULL, Accoda, NULL, NULL, &c};
    StatoCifratura cliente;
    uint8_t materiale[DIM_CHIAVE];
    std::string corpo;
    for (const char *testo : {"0000X", "uno", "due", "N", "cmd/unix/kelvatlog3", "PROD", "st", "op", "ap", "pr",
                              "pp", "2024", "", "cf"})
        corpo += Campo(testo);
    corpo += "00000";
    memset(&cliente, 0, sizeof cliente);
    for (int i = 0; i < DIM_CHIAVE; i++) {
        materiale[i] = (uint8_t)(i * 13 + 7);
        cliente.invio.chiave[i] = materiale[i] ^ TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
    }
    Accoda(&c, materiale, DIM_CHIAVE);
    invioBufferCanale(&scrittura, &cliente, (uint8_t *)&corpo[0], (int)corpo.size());
    return c.ingresso;
}

static void ConversazioneKelvatlog3(benchmark::State &stato)
{
    static char blocco[DIM_BLOCCO_ENVIRONMENT];
    std::string ambiente;
    for (int i = 0; i < 40; i++) /* un ambiente di servizio di media grandezza */
        ambiente += "VARIABILE" + std::to_string(i) + "=" + std::string(40, 'v') + std::string(1, '\0');
    passiLancio = {FileAssente, CartellaPresente, Scrivi, Rimuovi, Avvia, Niente, Niente, OrologioFermo};
    TabellaInfoInstallazione.numAmbienti = 1;
    strcpy(TabellaInfoInstallazione.ambienti[0].drive, "C");
    strcpy(TabellaInfoInstallazione.ambienti[0].sistInfo, "GEST1");
    CanaleMemoria c;
    c.ingresso = FlussoKelvatlog3();
    for (auto _ : stato) {
        RichiestaClient richiesta;
        c.letti = 0;
        CanaleRete canale = {Ricevi, Invia, Attendi, Sbircia, &c};
        InizializzaRichiesta(&richiesta);
        if (NegoziazioneRichiestaCanale(&canale, &richiesta) != NEGOZIAZIONE_RIUSCITA) {
            stato.SkipWithError("negoziazione fallita");
            break;
        }
        benchmark::DoNotOptimize(ComponiEnvironment(blocco, sizeof blocco, ambiente.c_str(), "C:\\WINDOWS", NULL,
                                                    &richiesta, 1234, 0));
    }
}
BENCHMARK(ConversazioneKelvatlog3);
