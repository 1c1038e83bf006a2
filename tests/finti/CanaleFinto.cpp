/* tests/finti/CanaleFinto.cpp - il canale a copione e i piccoli aiuti dei test del protocollo. */
#include "tests/finti/CanaleFinto.h"

#include <gtest/gtest.h>

#include <string.h>

static int Disponibili(CanaleFinto *finto)
{
    size_t restanti = finto->ingresso.size() - finto->letti;
    if (finto->restoPezzo <= 0)
        finto->restoPezzo = finto->indicePezzo < finto->pezzi.size() ? finto->pezzi[finto->indicePezzo++]
                                                                     : (int)restanti;
    return (size_t)finto->restoPezzo < restanti ? finto->restoPezzo : (int)restanti;
}

static int Consegna(CanaleFinto *finto, uint8_t *dove, int quanti, bool consuma)
{
    int n = Disponibili(finto);
    if (n == 0)
        return finto->erroreAllaFine ? -1 : 0;
    n = quanti < n ? quanti : n;
    memcpy(dove, finto->ingresso.data() + finto->letti, (size_t)n);
    if (consuma) {
        finto->letti += (size_t)n;
        finto->restoPezzo -= n;
    }
    return n;
}

static int RiceviFinto(void *contesto, uint8_t *dove, int quanti)
{
    CanaleFinto *finto = (CanaleFinto *)contesto;
    EXPECT_GT(quanti, 0);
    finto->richieste.push_back(quanti);
    return Consegna(finto, dove, quanti, true);
}

static int SbirciaFinto(void *contesto, uint8_t *dove, int quanti)
{
    return Consegna((CanaleFinto *)contesto, dove, quanti, false);
}

static int InviaFinto(void *contesto, const uint8_t *cosa, int quanti)
{
    CanaleFinto *finto = (CanaleFinto *)contesto;
    bool errore = (int)finto->chiamateInvio.size() == finto->invioInErrore;
    finto->chiamateInvio.push_back(quanti);
    if (errore)
        return -1;
    int n = finto->massimoPerInvio > 0 && quanti > finto->massimoPerInvio ? finto->massimoPerInvio : quanti;
    finto->inviati.insert(finto->inviati.end(), cosa, cosa + n);
    return n;
}

static int AttendiFinto(void *contesto, int)
{
    CanaleFinto *finto = (CanaleFinto *)contesto;
    return RestantiCanale(finto) > 0 || finto->chiusoAllaFine || finto->erroreAllaFine;
}

void PreparaCanale(CanaleRete *canale, CanaleFinto *finto)
{
    *canale = {RiceviFinto, InviaFinto, AttendiFinto, SbirciaFinto, finto};
}

size_t RestantiCanale(const CanaleFinto *finto)
{
    return finto->ingresso.size() - finto->letti;
}

std::vector<uint8_t> Byte(const std::string &testo)
{
    return std::vector<uint8_t>(testo.begin(), testo.end());
}

std::vector<uint8_t> Unisci(std::initializer_list<std::vector<uint8_t>> parti)
{
    std::vector<uint8_t> tutto;
    for (const std::vector<uint8_t> &parte : parti)
        tutto.insert(tutto.end(), parte.begin(), parte.end());
    return tutto;
}

std::vector<uint8_t> Parte(const std::vector<uint8_t> &dati, size_t da, size_t a)
{
    return std::vector<uint8_t>(dati.begin() + (long)da, dati.begin() + (long)a);
}

std::vector<uint8_t> Sequenza(size_t lung, unsigned seme)
{
    std::vector<uint8_t> dati(lung);
    for (uint8_t &byte : dati) {
        seme = seme * 1103515245u + 12345u;
        byte = (uint8_t)(seme >> 16);
    }
    return dati;
}

StatoCifratura StatoProva(uint8_t primo)
{
    StatoCifratura stato;
    memset(&stato, 0, sizeof stato);
    for (int i = 0; i < DIM_CHIAVE; i++)
        stato.invio.chiave[i] = (uint8_t)(i * 7 + 3);
    stato.invio.chiave[0] = primo;
    stato.ricezione = stato.invio;
    return stato;
}
