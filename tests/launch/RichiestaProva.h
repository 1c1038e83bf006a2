/* tests/launch/RichiestaProva.h - corpi di richiesta per le prove: liste di campi e testi con il loro
 * zero finale, come li manda il Client Grafico. */
#ifndef PROVE_LAUNCH_RICHIESTAPROVA_H
#define PROVE_LAUNCH_RICHIESTAPROVA_H

#include "base/base.h"

#include <stdio.h>

#include <initializer_list>
#include <string>
#include <vector>

/* Un testo con il suo zero finale, contato nel campo. */
inline std::string T(const std::string &testo)
{
    return testo + std::string(1, '\0');
}

/* Corpo di richiesta: i campi dati e poi "00000", seguito da coda. */
inline std::string Corpo(const std::vector<std::string> &campi, const std::string &coda = "")
{
    std::string corpo;
    for (const std::string &campo : campi) {
        char cifre[16];
        snprintf(cifre, sizeof cifre, "%05d", (int)campo.size());
        corpo += cifre + campo;
    }
    return corpo + "00000" + coda;
}

/* I cinque campi comuni: codice, due campi del client, compressione, programma. */
inline std::vector<std::string> Testa(const std::string &programma, const std::string &compressione = "N")
{
    return {T("0000X"), T("uno"), T("due"), T(compressione), T(programma)};
}

/* Richiesta kelvatlog3: prodotto, STUDIO, OPERAT, APPLIC, PROGRA, PARPAS, anno, ambiente, CONFIG. */
inline std::vector<std::string> Kelvatlog3(const std::string &anno, const std::string &ambiente = "",
                                           const std::string &programma = "cmd/unix/kelvatlog3")
{
    std::vector<std::string> campi = Testa(programma);
    for (const char *testo : {"PROD", "st", "op", "ap", "pr", "pp"})
        campi.push_back(T(testo));
    campi.push_back(T(anno));
    campi.push_back(T(ambiente));
    campi.push_back(T("cf"));
    return campi;
}

/* Richiesta kelvatlog5 o 6 di numCampi campi: STUDIO..CONFIG, 12 non letto, anno, INFOSTART, altro. */
inline std::vector<std::string> Kelvatlog56(const std::string &programma, int numCampi, const std::string &anno = "b")
{
    std::vector<std::string> campi = Testa(programma);
    for (const char *testo : {"st", "op", "ap", "pr", "pp", "ds", "cf", "x"})
        campi.push_back(T(testo));
    if (numCampi >= 14)
        campi.push_back(T(anno));
    if (numCampi >= 15)
        campi.push_back(T("info"));
    while ((int)campi.size() < numCampi)
        campi.push_back(T("in piu'"));
    campi.resize((size_t)numCampi);
    return campi;
}

/* Copia di prova in un testo a dimensione fissa. */
template <size_t N> inline void CopiaTestoProva(char (&dest)[N], const std::string &testo)
{
    CopiaTesto(dest, N, testo.c_str());
}

#endif
