/* tests/launch/AmbienteProvaWin.h - un ambiente installato di prova nel prefisso Wine:
 * C:\<nome>\GEST1\prg con etc, frm e com\drumal\bin, dove il programma di prova fa da runtime
 * (trimox*), da strumento dei formati (kvix32a) e da aggiornatore (updqorservice). Il record 0 della
 * tabella ha drive C, sistInfo "<nome>\GEST1" e strPathShare "C:\", cosi' radice e radice locale
 * coincidono. Il programma di prova scrive <exe>.<pid>.txt accanto a se'. */
#ifndef PROVE_LAUNCH_AMBIENTEPROVAWIN_H
#define PROVE_LAUNCH_AMBIENTEPROVAWIN_H

#include "install/install.h"
#include "launch/launch.h"
#include "base/base.h"
#include "tests/finti/ProvaWin.h"
#include "tests/launch/RichiestaProva.h"

#include <string.h>

#include <string>
#include <vector>

#include <winsock2.h>
#include <windows.h>

static const char *const PROGRAMMI_PROVA[] = {"trimox3.exe", "trimox3_vc.exe", "trimox4.exe", "trimox4_vc.exe",
                                             "kvix32a.exe", "updqorservice.exe"};

struct AmbienteProva {
    std::string radice; /* C:\<nome>\GEST1 */
    std::string prg, etc, bin;

    /* Crea l'ambiente e lo mette come record 0 (e, se dato, un duplicato come record 1). */
    void Crea(const std::string &nome, const std::string &duplicato = "")
    {
        RimuoviAlbero("C:\\" + nome);
        radice = "C:\\" + nome + "\\GEST1";
        prg = radice + "\\prg";
        etc = prg + "\\etc";
        bin = prg + "\\com\\drumal\\bin";
        CreaCartelle(etc);
        CreaCartelle(prg + "\\frm");
        CreaCartelle(bin);
        std::string runtime = PathDaLinux(PATH_RUNTIME_PROVA);
        for (const char *programma : PROGRAMMI_PROVA)
            CopyFileA(runtime.c_str(), (bin + "\\" + programma).c_str(), FALSE);
        memset(&TabellaInfoInstallazione, 0, sizeof TabellaInfoInstallazione);
        TabellaInfoInstallazione.numAmbienti = 1;
        CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].drive, "C");
        CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].sistInfo, nome + "\\GEST1");
        CopiaTestoProva(TabellaInfoInstallazione.ambienti[0].strPathShare, "C:\\");
        if (!duplicato.empty()) {
            CreaCartelle("C:\\" + nome + "\\" + duplicato + "\\prg");
            TabellaInfoInstallazione.numAmbienti = 2;
            CopiaTestoProva(TabellaInfoInstallazione.ambienti[1].drive, "C:\\" + nome + "\\" + duplicato);
            CopiaTestoProva(TabellaInfoInstallazione.ambienti[1].sistInfo, nome + "\\" + duplicato);
        }
    }
};

/* I rapporti del programma di prova di nome dato (per esempio "kvix32a.exe") nella cartella. */
inline std::vector<std::string> Rapporti(const std::string &cartella, const std::string &programma)
{
    std::vector<std::string> rapporti;
    WIN32_FIND_DATAA dati;
    HANDLE ricerca = FindFirstFileA((cartella + "\\" + programma + ".*.txt").c_str(), &dati);
    if (ricerca == INVALID_HANDLE_VALUE)
        return rapporti;
    do
        rapporti.push_back(LeggiFile(cartella + "\\" + dati.cFileName));
    while (FindNextFileA(ricerca, &dati));
    FindClose(ricerca);
    return rapporti;
}

/* Una riga "chiave=valore" del rapporto. */
inline std::string RigaRapporto(const std::string &rapporto, const std::string &chiave)
{
    size_t inizio = rapporto.find(chiave + "=");
    if (inizio == std::string::npos)
        return "<manca " + chiave + ">";
    inizio += chiave.size() + 1;
    return rapporto.substr(inizio, rapporto.find('\n', inizio) - inizio);
}

/* Le variabili del blocco d'ambiente registrato nel rapporto, nell'ordine. */
inline std::vector<std::string> AmbienteRapporto(const std::string &rapporto)
{
    std::vector<std::string> variabili;
    size_t i = rapporto.find("ambiente=\n");
    if (i == std::string::npos)
        return variabili;
    for (i += 10; i < rapporto.size() && rapporto[i] != '\0'; i = rapporto.find('\0', i) + 1)
        variabili.push_back(rapporto.substr(i, rapporto.find('\0', i) - i));
    return variabili;
}

/* Il log del processo dal byte inizio in poi, con le righe finite da "\n" come nel codice. */
inline std::string LogDa(size_t inizio)
{
    std::string log = LeggiFile(pathFileLog());
    std::string righe;
    for (size_t i = inizio; i < log.size(); i++)
        if (!(log[i] == '\r' && i + 1 < log.size() && log[i + 1] == '\n'))
            righe += log[i];
    return righe;
}

inline size_t FineLog()
{
    ScriviLog("--- prova ---\n");
    return LeggiFile(pathFileLog()).size();
}

/* Riceve fino a fine connessione o fino all'attesa; *chiusa dice se e' arrivata la fine. */
inline std::string RiceviTutto(SOCKET s, DWORD attesaMs, bool *chiusa = nullptr)
{
    std::string ricevuto;
    DWORD limite = GetTickCount() + attesaMs;
    if (chiusa != nullptr)
        *chiusa = false;
    for (;;) {
        DWORD ora = GetTickCount();
        if ((LONG)(limite - ora) <= 0)
            break;
        fd_set pronti;
        FD_ZERO(&pronti);
        FD_SET(s, &pronti);
        timeval attesa = {(long)((limite - ora) / 1000), (long)((limite - ora) % 1000) * 1000};
        if (select(0, &pronti, NULL, NULL, &attesa) <= 0)
            break;
        char area[4096];
        int n = recv(s, area, sizeof area, 0);
        if (n <= 0) {
            if (chiusa != nullptr)
                *chiusa = true;
            break;
        }
        ricevuto.append(area, (size_t)n);
    }
    return ricevuto;
}

/* Riceve fino a una riga intera (o all'attesa). */
inline std::string RiceviRiga(SOCKET s, DWORD attesaMs)
{
    std::string riga;
    DWORD limite = GetTickCount() + attesaMs;
    while (riga.find('\n') == std::string::npos && (LONG)(limite - GetTickCount()) > 0) {
        fd_set pronti;
        FD_ZERO(&pronti);
        FD_SET(s, &pronti);
        timeval attesa = {0, 100000};
        if (select(0, &pronti, NULL, NULL, &attesa) <= 0)
            continue;
        char c;
        if (recv(s, &c, 1, 0) != 1)
            break;
        riga += c;
    }
    return riga;
}

#endif
