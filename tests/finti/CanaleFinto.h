/* tests/finti/CanaleFinto.h - CanaleRete a copione: consegna l'ingresso a pezzi scelti (una
 * ricezione non passa mai il confine di un pezzo), registra le richieste e gli invii. */
#ifndef TESTS_FINTI_CANALEFINTO_H
#define TESTS_FINTI_CANALEFINTO_H

#include "protocol/protocol.h"

#include <string>
#include <vector>

struct CanaleFinto {
    std::vector<uint8_t> ingresso;
    std::vector<int> pezzi;      /* dopo l'ultimo pezzo, il resto in uno solo */
    bool chiusoAllaFine = true;  /* finito l'ingresso: chiusura, o silenzio (attendi rende 0) */
    bool erroreAllaFine = false; /* finito l'ingresso: ricevi rende -1 */
    int massimoPerInvio = 0;     /* invii parziali (0 = tutto) */
    int invioInErrore = -1;      /* indice della chiamata d'invio che rende -1 */

    size_t letti = 0;
    size_t indicePezzo = 0;
    int restoPezzo = 0;
    std::vector<int> richieste;     /* byte chiesti da ogni ricezione */
    std::vector<int> chiamateInvio; /* byte passati a ogni invio */
    std::vector<uint8_t> inviati;
};

void PreparaCanale(CanaleRete *canale, CanaleFinto *finto);
size_t RestantiCanale(const CanaleFinto *finto);
std::vector<uint8_t> Byte(const std::string &testo);
std::vector<uint8_t> Unisci(std::initializer_list<std::vector<uint8_t>> parti);
std::vector<uint8_t> Parte(const std::vector<uint8_t> &dati, size_t da, size_t a);
std::vector<uint8_t> Sequenza(size_t lung, unsigned seme);
/* Chiavi uguali nei due versi: chiave[i] = i * 7 + 3, chiave[0] = primo. */
StatoCifratura StatoProva(uint8_t primo);

#endif
