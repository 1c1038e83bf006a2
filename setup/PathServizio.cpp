/* setup/PathServizio.cpp - scelta del percorso dell'eseguibile registrato come servizio e della
 * cartella da aprire a LocalSystem. Le chiamate di sistema arrivano come passi (InstallazioneServizioWin.cpp). */
#include "setup/PathServizio.h"

#include "install/install.h"
#include "base/base.h"

#include <string.h>

/* Il percorso dell'eseguibile sotto una cartella: cartella, barra (se non c'e' gia'), sistInfo e bin. */
static int ComponiPathServizio(const char *cartella, const char *sistInfo, char *pathServizio, size_t dim)
{
    char radice[DIM_PATH];
    size_t lung = strlen(cartella);
    const char *barra = (lung > 0 && cartella[lung - 1] == '\\') ? "" : "\\";

    if (FormattaTesto(radice, sizeof radice, "%s%s%s", cartella, barra, sistInfo) &&
        PathSottoRadice(radice, &FILE_ESEGUIBILE_SERVIZIO, pathServizio, dim))
        return 1;
    ScriviLog("InstallazioneServizio - percorso del servizio troppo lungo sotto %s \n", cartella);
    pathServizio[0] = '\0';
    return 0;
}

/* Chiede il dispositivo del drive e lo registra nel log; se e' una sostituzione ("\??\cartella")
 * compone il percorso sotto la cartella. 1 sostituzione, 0 no, -1 percorso troppo lungo. */
static int PathDaSostituzione(const PassiPathServizio *passi, const char *nomeDrive, const char *sistInfo,
                              char *pathServizio, size_t dim)
{
    char dispositivo[DIM_PATH] = "";
    const char *prefisso = NULL;

    if (!passi->dispositivoDrive(passi->contesto, nomeDrive, dispositivo, sizeof dispositivo))
        dispositivo[0] = '\0';
    ScriviLog("InstallazioneServizio - drive = %s strPathShare = %s \n", nomeDrive, dispositivo);
    prefisso = strstr(dispositivo, "\\??\\");
    if (prefisso == NULL)
        return 0;
    if (!ComponiPathServizio(dispositivo + 4, sistInfo, pathServizio, dim))
        return -1;
    ScriviLog("InstallazioneServizio - drive SUBST pathServizio = %s \n", pathServizio);
    return 1;
}

int ScegliPathServizio(const PassiPathServizio *passi, const char *pathMeStesso, char lettera, int driveFisso,
                       const char *sistInfo, char *pathServizio, size_t dim)
{
    char nomeDrive[3] = {lettera, ':', '\0'};
    char pathShare[DIM_PATH] = "";
    int sostituzione = 0;

    pathServizio[0] = '\0';
    if (driveFisso) {
        ScriviLog("InstallazioneServizio - drive FISSO.\n");
        sostituzione = PathDaSostituzione(passi, nomeDrive, sistInfo, pathServizio, dim);
        if (sostituzione != 0)
            return sostituzione > 0;
        if (CopiaTesto(pathServizio, dim, pathMeStesso))
            return 1;
        ScriviLog("InstallazioneServizio - percorso del servizio troppo lungo: %s \n", pathMeStesso);
        pathServizio[0] = '\0';
        return 0;
    }

    ScriviLog("InstallazioneServizio - drive REMOTO.\n");
    if (passi->ricercaShare(passi->contesto, sistInfo, pathShare)) {
        ScriviLog("InstallazioneServizio - RicercaNetShare TrovataShare = %s \n", pathShare);
        if (!ComponiPathServizio(pathShare, sistInfo, pathServizio, dim))
            return 0;
        ScriviLog("InstallazioneServizio - pathServizio = %s \n", pathServizio);
        passi->rimappaDrive(passi->contesto, lettera, pathShare);
        return 1;
    }
    ScriviLog("InstallazioneServizio - RicercaNetShare Fallita.\n");
    sostituzione = PathDaSostituzione(passi, nomeDrive, sistInfo, pathServizio, dim);
    if (sostituzione != 0)
        return sostituzione > 0;
    /* Un drive di rete verso un'altra macchina: LocalSystem non vi arriverebbe. */
    ScriviLog("InstallazioneServizio - Il drive %s non e' un disco locale ne' una sostituzione e nessuno share "
              "di questa macchina contiene l'ambiente %s: il servizio non potrebbe raggiungere il programma. "
              "Installazione rifiutata.\n",
              nomeDrive, sistInfo);
    return 0;
}

int CartellaContenitore(const char *rootSistInfo, char *cartella, size_t dim)
{
    const char *ultimaBarra = strrchr(rootSistInfo, '\\');
    size_t lung = 0;

    if (ultimaBarra == NULL)
        return CopiaTesto(cartella, dim, rootSistInfo);
    lung = (size_t)(ultimaBarra - rootSistInfo);
    /* "C:\GEST1": la cartella che lo contiene e' la radice "C:\", non la cartella corrente di C:. */
    if (lung == 2 && rootSistInfo[1] == ':')
        lung = 3;
    return FormattaTesto(cartella, dim, "%.*s", (int)lung, rootSistInfo);
}
