/* fuzz/EseguiCasi.cpp - il posto di libFuzzer nella build nativa con g++: passa a
 * LLVMFuzzerTestOneInput il contenuto di ogni file dato, una volta, cosi' un caso trovato da
 * scripts/fuzz si ripete sotto i sanitizer di build/host. Senza file, un ingresso vuoto. */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dati, size_t lung);

/* Il contenuto del file in memoria allocata, da liberare; NULL (con la riga) se non si legge. */
static uint8_t *LeggiCaso(const char *path, size_t *lung)
{
    FILE *file = fopen(path, "rb");
    uint8_t *dati = NULL;
    long dimensione = 0;

    if (file == NULL || fseek(file, 0, SEEK_END) != 0 || (dimensione = ftell(file)) < 0 ||
        fseek(file, 0, SEEK_SET) != 0)
        goto fine;
    dati = (uint8_t *)malloc(dimensione > 0 ? (size_t)dimensione : 1);
    *lung = (size_t)dimensione;
    if (dati != NULL && fread(dati, 1, *lung, file) != *lung) {
        free(dati);
        dati = NULL;
    }
fine:
    if (dati == NULL)
        fprintf(stderr, "%s: caso non leggibile\n", path);
    if (file != NULL)
        fclose(file);
    return dati;
}

int main(int argc, char **argv)
{
    static const uint8_t vuoto[1] = {0};

    if (argc < 2)
        return LLVMFuzzerTestOneInput(vuoto, 0);
    for (int i = 1; i < argc; i++) {
        size_t lung = 0;
        uint8_t *dati = LeggiCaso(argv[i], &lung);
        if (dati == NULL)
            return 2;
        LLVMFuzzerTestOneInput(dati, lung);
        free(dati);
        printf("%s: %zu byte eseguiti\n", argv[i], lung);
    }
    return 0;
}
