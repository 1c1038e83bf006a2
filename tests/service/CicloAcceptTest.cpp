/* tests/service/CicloAcceptTest.cpp - il ciclo di accept su passi scritti dalla prova: errori che
 * lo lasciano proseguire, attese, righe al piu' una al minuto, fine del listener. */
#include "service/service.h"

#include "tests/finti/LogMemoria.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

/* Il copione: il codice di ogni accept (0 riuscito) e quanti millisecondi passano con ciascuno. */
struct Copione {
    std::vector<int> esiti;
    uint32_t passoMs;
    size_t prossimo;
    int servite;
    std::vector<int> attese;
};

Copione *copione = nullptr;
uint32_t orologioMs = 0;

int AccettaCopione(void *contesto)
{
    Copione *c = (Copione *)contesto;
    orologioMs += c->passoMs;
    int esito = c->prossimo < c->esiti.size() ? c->esiti[c->prossimo++] : 10038;  // WSAENOTSOCK
    if (esito == 0)
        c->servite++;
    // L'ultimo errore del thread, come lo lascia accept.
#ifdef _WIN32
    SetLastError((DWORD)esito);
#else
    errno = esito;
#endif
    return esito;
}

void AttendiCopione(int millisecondi)
{
    copione->attese.push_back(millisecondi);
}

uint32_t AdessoCopione(void)
{
    return orologioMs;
}

}  // namespace

TEST(CicloAccept, ConnessioniCaduteERisorseNonFermanoIlListener)
{
    // 10054 cinque volte, 10055 una, poi tre connessioni; 20 s per passo: le sei righe possibili
    // cadono in due minuti diversi. Un errore fatale chiude il ciclo.
    Copione c = {{10054, 10054, 10054, 10054, 10054, 10055, 0, 0, 0, 10022}, 20000, 0, 0, {}};
    copione = &c;
    orologioMs = 0xFFFF0000u;  // il giro dell'orologio dei millisecondi non conta
    PassiAccept passi = {AccettaCopione, AttendiCopione, AdessoCopione, &c};
    SvuotaLogMemoria();
    CicloAcceptPassi(&passi);
    std::string log = TestoLogMemoria();
    EXPECT_EQ(3, c.servite);
    EXPECT_EQ(c.esiti.size(), c.prossimo);
    EXPECT_EQ(std::vector<int>{ATTESA_RISORSE_ACCEPT_MS}, c.attese);
    EXPECT_EQ("CicloAccept - accept: errore 10054: \nCicloAccept - accept: errore 10054: \n"
              "CicloAccept - accept: errore 10022: \nCicloAccept - il listener non accetta piu' connessioni: il servizio termina per essere riavviato\n",
              log);
    copione = nullptr;
}

TEST(CicloAccept, ErroriDiAccept)
{
    struct {
        int errore;
        TipoErroreAccept tipo;
    } casi[] = {{10054, ERRORE_ACCEPT_PROSEGUI}, {10053, ERRORE_ACCEPT_PROSEGUI}, {10004, ERRORE_ACCEPT_PROSEGUI},
                {10035, ERRORE_ACCEPT_PROSEGUI}, {10024, ERRORE_ACCEPT_ATTENDI},  {10055, ERRORE_ACCEPT_ATTENDI},
                {8, ERRORE_ACCEPT_ATTENDI},      {10022, ERRORE_ACCEPT_FATALE},   {10038, ERRORE_ACCEPT_FATALE},
                {10093, ERRORE_ACCEPT_FATALE},   {10050, ERRORE_ACCEPT_FATALE},   {10057, ERRORE_ACCEPT_PROSEGUI}};
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.errore);
        EXPECT_EQ(caso.tipo, ClassificaErroreAccept(caso.errore));
    }
}
