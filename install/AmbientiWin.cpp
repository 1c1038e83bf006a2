/* install/AmbientiWin.cpp - la tabella degli ambienti installati: l'ambiente in linea, i duplicati
 * di duplica.cfg e gli share di questa macchina che li contengono. Scritta all'avvio del servizio,
 * sul thread di ServiceMain, prima che esista il socket di ascolto. */
#include "install/install.h"

#include "install/TestiInstallazione.h"
#include "base/base.h"

#include <stdio.h>
#include <string.h>

#include <windows.h>

#include <lm.h>

PassiInstallazione passiInstallazione = {ElencaShareDiSistema};

typedef NET_API_STATUS(NET_API_FUNCTION *FunzioneNetShareEnum)(LMSTR, DWORD, LPBYTE *, DWORD, LPDWORD, LPDWORD,
                                                               LPDWORD);
typedef NET_API_STATUS(NET_API_FUNCTION *FunzioneNetApiBufferFree)(LPVOID);

/* netapi32 serve solo qui, all'avvio e nell'installazione: caricata per la sola enumerazione. */
int ElencaShareDiSistema(VisitaShare visita, void *contesto)
{
    static const char *const nomi[] = {"NetShareEnum", "NetApiBufferFree"};
    FunzioneDiLibreria funzioni[2];
    HMODULE netapi = (HMODULE)CaricaFunzioni("netapi32.dll", nomi, funzioni, 2);
    FunzioneNetShareEnum enumera = NULL;
    FunzioneNetApiBufferFree libera = NULL;
    LPBYTE buffer = NULL;
    DWORD letti = 0, totali = 0, ripresa = 0, i = 0;
    NET_API_STATUS stato = NERR_Success;
    char cartella[DIM_PATH];
    int fermata = 0;

    if (netapi == NULL)
        return 0;
    enumera = (FunzioneNetShareEnum)funzioni[0];
    libera = (FunzioneNetApiBufferFree)funzioni[1];
    do {
        letti = 0;
        stato = enumera(NULL, 502, &buffer, MAX_PREFERRED_LENGTH, &letti, &totali, &ripresa);
        if (stato == NERR_Success || stato == ERROR_MORE_DATA) {
            const SHARE_INFO_502 *share = (const SHARE_INFO_502 *)buffer;
            for (i = 0; i < letti && !fermata; i++) {
                if (share[i].shi502_path == NULL ||
                    WideCharToMultiByte(CP_ACP, 0, share[i].shi502_path, -1, cartella, sizeof cartella, NULL, NULL) == 0 ||
                    cartella[0] == '\0')
                    continue;
                fermata = visita(contesto, cartella);
            }
        }
        if (buffer != NULL) {
            libera(buffer);
            buffer = NULL;
        }
    } while (stato == ERROR_MORE_DATA && !fermata);
    FreeLibrary(netapi);
    if (!fermata && stato != NERR_Success) {
        SetLastError(stato);
        ScriviLogErrore("RicercaNetShare - NetShareEnum");
        return 0;
    }
    return 1;
}

/* Ricerca in corso: il nome cercato e, quando trovata, la cartella dello share. */
typedef struct RicercaShare {
    const char *dirRootAppli;
    char *strPathShare;
    int trovata;
} RicercaShare;

static int VisitaCandidato(void *contesto, const char *cartellaShare)
{
    RicercaShare *ricerca = (RicercaShare *)contesto;
    char candidato[DIM_PATH * 2];

    /* Un candidato troncato potrebbe nominare un'altra cartella: si salta. */
    if (!CandidatoShare(cartellaShare, ricerca->dirRootAppli, candidato, sizeof candidato))
        return 0;
    if (!EsisteCartella(candidato))
        return 0;
    if (!CopiaTesto(ricerca->strPathShare, DIM_PATH, cartellaShare))
        return 0;
    ricerca->trovata = 1;
    return 1;
}

int RicercaNetShare(const char *dirRootAppli, char *strPathShare)
{
    RicercaShare ricerca = {dirRootAppli, strPathShare, 0};

    /* Un'enumerazione fallita vale come share non trovato. */
    passiInstallazione.elencaShare(VisitaCandidato, &ricerca);
    if (ricerca.trovata) {
        ScriviLog("RicercaNetShare TROVATA dirRootAppli = %s \t strPathShare = %s \n", dirRootAppli, strPathShare);
        return 1;
    }
    ScriviLog("RicercaNetShare NON HO TROVATO SHARE con %s \n", dirRootAppli);
    return 0;
}

/* Aggiunge alla tabella i duplicati di duplica.cfg che si trovano in uno share. 0 se la tabella e' piena. */
static int LeggiDuplicati(FILE *file, const char *pathDuplica)
{
    char riga[DIM_RIGA_CONFIGURAZIONE];
    char campo[DIM_PATH];
    char strPathShare[DIM_PATH];

    while (LeggiPezzoRiga(file, riga)) {
        InfoAmbiente *nuovo = &TabellaInfoInstallazione.ambienti[TabellaInfoInstallazione.numAmbienti];
        strPathShare[0] = '\0';
        if (!CampoDuplica(riga, campo, sizeof campo) || !RicercaNetShare(NomeDaCampoDuplica(campo), strPathShare)) {
            ScriviLog("Impossibile determinare il pathname di condivisione (\"Net Share\") dell'ambiente duplicato "
                      "\"%s\" specificato nel file \"%s\"\n",
                      campo, pathDuplica);
            continue;
        }
        CopiaTesto(nuovo->drive, sizeof nuovo->drive, campo);
        CopiaTesto(nuovo->sistInfo, sizeof nuovo->sistInfo, NomeDaCampoDuplica(campo));
        CopiaTesto(nuovo->strPathShare, sizeof nuovo->strPathShare, strPathShare);
        TabellaInfoInstallazione.numAmbienti++;
        if (TabellaInfoInstallazione.numAmbienti >= MAX_AMBIENTI) {
            ScriviLog("Overflow tabella informazioni di installazione");
            return 0;
        }
    }
    return 1;
}

/* Record 0: l'ambiente in linea, in uno share di questa macchina o stand alone su un disco fisso. */
static int AmbienteInLinea(const char *pathProgramma, char *rootSistInfo)
{
    InfoAmbiente *inLinea = &TabellaInfoInstallazione.ambienti[0];
    char radiceDrive[8];

    memset(inLinea, 0, sizeof *inLinea);
    if (!InfoInstallazione(pathProgramma, inLinea->drive, inLinea->sistInfo, rootSistInfo))
        return 0;
    ScriviLog("AnalisiAmbientiInstallati - drive >%s< sistInfo >%s< rootSistInfo >%s< \n", inLinea->drive,
              inLinea->sistInfo, rootSistInfo);
    if (!RicercaNetShare(inLinea->sistInfo, inLinea->strPathShare)) {
        FormattaTesto(radiceDrive, sizeof radiceDrive, "%c:\\", inLinea->drive[0]);
        if (GetDriveTypeA(radiceDrive) != DRIVE_FIXED) {
            ScriviLog("Impossibile determinare il pathname di condivisione (\"Net Share\")\nche implementa il drive: "
                      "\"%c:\"\n",
                      inLinea->drive[0]);
            return 0;
        }
        inLinea->strPathShare[0] = '\0';
        ScriviLog("Il sistema informativo in linea e' installato in modalita' stand alone nell'hard disk locale "
                  "\"%c:\"\n",
                  inLinea->drive[0]);
    }
    TabellaInfoInstallazione.numAmbienti = 1;
    return 1;
}

int AnalisiAmbientiDaPercorso(const char *pathProgramma)
{
    char rootSistInfo[DIM_PATH];
    char pathDuplica[DIM_PATH * 2];
    FILE *file = NULL;
    int esito = 0;

    TabellaInfoInstallazione.numAmbienti = 0;
    ScriviLog("AnalisiAmbientiInstallati - strPathSistInfo %s \n", pathProgramma);
    rootSistInfo[0] = '\0';
    if (!AmbienteInLinea(pathProgramma, rootSistInfo))
        return 0;

    PathSottoRadice(rootSistInfo, &FILE_DUPLICA, pathDuplica, sizeof pathDuplica);
    file = fopen(pathDuplica, "rb");
    if (file == NULL) {
        ScriviLog("L'ambiente in linea non possiede ambienti duplicati\n");
        return 1;
    }
    esito = LeggiDuplicati(file, pathDuplica);
    fclose(file);
    return esito;
}

int AnalisiAmbientiInstallati(void)
{
    char pathProgramma[256];
    DWORD lung = GetModuleFileNameA(NULL, pathProgramma, sizeof pathProgramma);

    if (lung == 0 || lung >= sizeof pathProgramma) {
        ScriviLogErrore("AnalisiAmbientiInstallati - GetModuleFileName");
        TabellaInfoInstallazione.numAmbienti = 0;
        return 0;
    }
    return AnalisiAmbientiDaPercorso(pathProgramma);
}
