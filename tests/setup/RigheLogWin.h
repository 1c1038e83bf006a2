/* tests/setup/RigheLogWin.h - il log vero del processo di test (tarnel.log accanto all'eseguibile),
 * letto da un certo punto in poi come testo senza data e ora e con le righe chiuse da \n. */
#ifndef TESTS_SETUP_RIGHELOGWIN_H
#define TESTS_SETUP_RIGHELOGWIN_H

#include "base/base.h"
#include "tests/finti/ProvaWin.h"

#include <regex>
#include <string>

/* Scrive un record e rende la fine del log: cio' che segue e' della prova. */
inline size_t SegnaLog()
{
    ScriviLog("inizio prova\n");
    return LeggiFile(CartellaEseguibile() + "tarnel.log").size();
}

/* I record scritti da inizio in poi, senza data e ora, con \r\n diventato \n. */
inline std::string RigheLog(size_t inizio)
{
    std::string contenuto = LeggiFile(CartellaEseguibile() + "tarnel.log");
    std::string righe;
    contenuto = inizio < contenuto.size() ? contenuto.substr(inizio) : std::string();
    for (size_t i = 0; i < contenuto.size(); i++)
        if (!(contenuto[i] == '\r' && i + 1 < contenuto.size() && contenuto[i + 1] == '\n'))
            righe += contenuto[i];
    static const std::regex dataOra("(^|\n)[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}: ");
    return std::regex_replace(righe, dataOra, "$1");
}

#endif
