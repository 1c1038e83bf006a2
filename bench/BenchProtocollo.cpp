/* bench/BenchProtocollo.cpp - misure della cifratura, della compressione e della decodifica LZW,
 * in byte elaborati al secondo. */
#include "protocol/protocol.h"

#include <benchmark/benchmark.h>

#include <string.h>
#include <vector>

static FlussoChiave FlussoDaTabella()
{
    FlussoChiave flusso;
    memset(&flusso, 0, sizeof flusso);
    for (int i = 0; i < DIM_CHIAVE; i++)
        flusso.chiave[i] = TABELLA_CHIAVE[i % DIM_TABELLA_CHIAVE];
    return flusso;
}

/* Corpo simile a un testo: parole ripetute da un piccolo vocabolario. */
static std::vector<uint8_t> CorpoTesto(size_t lung)
{
    static const char *parole[] = {"aggiornamento ", "procedura ", "in corso ", "QOR ",
                                   "ritentare ", "la connessione ", "00005", "attendere "};
    std::vector<uint8_t> corpo;
    unsigned seme = 7;
    while (corpo.size() < lung) {
        seme = seme * 1103515245u + 12345u;
        const char *parola = parole[(seme >> 16) % 8];
        corpo.insert(corpo.end(), parola, parola + strlen(parola));
    }
    corpo.resize(lung);
    return corpo;
}

static std::vector<uint8_t> CorpoCasuale(size_t lung)
{
    std::vector<uint8_t> corpo(lung);
    unsigned seme = 11;
    for (uint8_t &byte : corpo) {
        seme = seme * 1103515245u + 12345u;
        byte = (uint8_t)(seme >> 16);
    }
    return corpo;
}

static void CifraDecifraBench(benchmark::State &stato)
{
    FlussoChiave flusso = FlussoDaTabella();
    std::vector<uint8_t> dati((size_t)stato.range(0), 0x5A);
    for (auto _ : stato) {
        CifraDecifra(&flusso, dati.data(), (int)dati.size());
        benchmark::DoNotOptimize(dati.data());
    }
    stato.SetBytesProcessed((int64_t)stato.iterations() * stato.range(0));
}
BENCHMARK(CifraDecifraBench)->Arg(2048)->Arg(65536);

static void Comprimi(benchmark::State &stato, const std::vector<uint8_t> &corpo)
{
    std::vector<uint8_t> uscita((size_t)DIM_USCITA_LZW((int)corpo.size()));
    for (auto _ : stato) {
        int lung = compressioneDati(corpo.data(), (int)corpo.size(), uscita.data(), (int)uscita.size());
        benchmark::DoNotOptimize(lung);
    }
    stato.SetBytesProcessed((int64_t)stato.iterations() * (int64_t)corpo.size());
}

static void CompressioneAvviso(benchmark::State &stato)
{
    Comprimi(stato, CorpoTesto(173));
}
BENCHMARK(CompressioneAvviso);

static void CompressioneTesto2048(benchmark::State &stato)
{
    Comprimi(stato, CorpoTesto(2048));
}
BENCHMARK(CompressioneTesto2048);

static void CompressioneCasuale1800(benchmark::State &stato)
{
    Comprimi(stato, CorpoCasuale(1800));
}
BENCHMARK(CompressioneCasuale1800);

static void DecodificaTesto2048(benchmark::State &stato)
{
    std::vector<uint8_t> corpo = CorpoTesto(2048);
    std::vector<uint8_t> compressi((size_t)DIM_USCITA_LZW(2048));
    int lung = compressioneDati(corpo.data(), 2048, compressi.data(), (int)compressi.size());
    std::vector<uint8_t> uscita(2048);
    for (auto _ : stato) {
        int n = DecomprimiLzw(compressi.data(), lung, uscita.data(), (int)uscita.size());
        benchmark::DoNotOptimize(n);
    }
    stato.SetBytesProcessed((int64_t)stato.iterations() * 2048);
}
BENCHMARK(DecodificaTesto2048);
