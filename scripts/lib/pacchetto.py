#!/usr/bin/env python3
"""scripts/lib/pacchetto.py - lo zip del pacchetto per l'amministratore: lo crea e lo controlla.

Uso: pacchetto.py crea LAVORO NOME DATA ZIP
       lo zip della cartella LAVORO/NOME, con i file in ORDINE, tutti con la data DATA (secondi
       dal 1970, la data del commit) e gli stessi attributi: gli stessi byte a ogni build
     pacchetto.py controlla ZIP [RADICE]
       il contenuto: la cartella e i quattro file in ordine, SHA256SUMS valido (anche per
       `sha256sum -c` nella cartella estratta), tarnel.exe senza sezioni di debug e legato da un
       debug link al file .debug accanto allo zip, le sue importazioni ancora valide per i
       sistemi di versione 5, i testi in ASCII con fine riga CR LF, la guida di 150-300 righe.
Chiude con "controllo pacchetto: ok" (uscita 0) o "... FALLITO" (1).
"""
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

ORDINE = ("tarnel.exe", "LEGGIMI.txt", "tarnel.cfg.esempio", "SHA256SUMS")
TESTI = ("LEGGIMI.txt", "tarnel.cfg.esempio")
RIGHE_GUIDA = (150, 300)
OBJDUMP = "i686-w64-mingw32-objdump"


def voce(nome, data, modo):
    """Una voce dello zip con data e attributi fissi (nulla della macchina o dell'ora)."""
    info = zipfile.ZipInfo(nome, date_time=data)
    info.create_system = 3
    info.external_attr = modo << 16
    info.compress_type = zipfile.ZIP_STORED if nome.endswith("/") else zipfile.ZIP_DEFLATED
    return info


def crea(lavoro, nome, secondi, destinazione):
    data = time.gmtime(max(int(secondi), 315532800))[:6]  # lo zip non ha date prima del 1980
    provvisorio = destinazione + ".tmp"
    with zipfile.ZipFile(provvisorio, "w") as zf:
        zf.writestr(voce(nome + "/", data, 0o40755), b"")
        for file in ORDINE:
            with open(os.path.join(lavoro, nome, file), "rb") as f:
                contenuto = f.read()
            zf.writestr(voce(nome + "/" + file, data, 0o755 if file.endswith(".exe") else 0o644), contenuto,
                        compresslevel=9)
    os.replace(provvisorio, destinazione)
    return 0


def controlla_testo(nome, contenuto, problemi):
    """ASCII (si apre uguale in ogni code page), ogni riga chiusa da CR LF; restituisce le righe."""
    if any(b > 0x7E or (b < 0x20 and b not in (0x0D, 0x0A, 0x09)) for b in contenuto):
        problemi.append("%s contiene byte fuori dall'ASCII stampabile" % nome)
    if not contenuto.endswith(b"\r\n") or contenuto.count(b"\n") != contenuto.count(b"\r\n") or \
            contenuto.count(b"\r") != contenuto.count(b"\r\n"):
        problemi.append("%s non ha solo fine riga CR LF" % nome)
    return contenuto.count(b"\n")


def controlla_eseguibile(exe, debug, radice, problemi):
    sezioni = subprocess.run([OBJDUMP, "-h", exe], capture_output=True, text=True, check=True).stdout
    trovate = re.findall(r"^\s*\d+\s+(\.\S+)", sezioni, re.M)
    if not trovate:
        problemi.append("nessuna sezione letta da tarnel.exe")
    di_debug = [s for s in trovate if s.startswith((".debug", ".zdebug"))]
    if di_debug:
        problemi.append("tarnel.exe ha sezioni di debug: %s" % " ".join(di_debug))
    if ".gnu_debuglink" not in trovate:
        problemi.append("tarnel.exe non ha il debug link")
    elif not os.path.exists(debug):
        problemi.append("%s manca accanto allo zip" % os.path.basename(debug))
    else:
        contenuto = subprocess.run([OBJDUMP, "-s", "-j", ".gnu_debuglink", exe], capture_output=True, text=True,
                                   check=True).stdout
        # Righe " INDIRIZZO" e 35 colonne di esadecimale (quattro gruppi di 4 byte), poi il testo.
        dati = bytes.fromhex("".join(colonne.replace(" ", "") for colonne in
                                     re.findall(r"^ [0-9a-f]+ (.{35})", contenuto, re.M)))
        nome = dati.split(b"\0", 1)[0].decode("ascii", "replace")
        with open(debug, "rb") as f:
            crc = zlib.crc32(f.read())
        if nome != os.path.basename(debug) or int.from_bytes(dati[-4:], "little") != crc:
            problemi.append("il debug link (%s) non e' quello di %s" % (nome, os.path.basename(debug)))
    comando = [sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "controlla_importazioni.py"), exe]
    importazioni = subprocess.run(comando + ([radice] if radice else []), capture_output=True, text=True)
    if importazioni.returncode != 0:
        problemi.append("controllo importazioni di tarnel.exe fallito:\n" + importazioni.stdout)


def controlla(percorso, radice):
    problemi = []
    nome = os.path.basename(percorso)[:-len(".zip")]
    with zipfile.ZipFile(percorso) as zf:
        voci = zf.infolist()
        attese = [nome + "/"] + [nome + "/" + f for f in ORDINE]
        if [v.filename for v in voci] != attese:
            problemi.append("voci dello zip %s invece di %s" % ([v.filename for v in voci], attese))
            return problemi
        if len({v.date_time for v in voci}) != 1:
            problemi.append("voci dello zip con date diverse")
        with tempfile.TemporaryDirectory() as cartella:
            zf.extractall(cartella)
            interna = os.path.join(cartella, nome)
            contenuti = {f: open(os.path.join(interna, f), "rb").read() for f in ORDINE}
            attesi = "".join("%s  %s\n" % (hashlib.sha256(contenuti[f]).hexdigest(), f) for f in ORDINE[:3])
            if contenuti["SHA256SUMS"].decode("ascii", "replace") != attesi:
                problemi.append("SHA256SUMS non elenca le somme dei tre file:\n" + contenuti["SHA256SUMS"].decode())
            somme = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=interna, capture_output=True, text=True)
            if somme.returncode != 0:
                problemi.append("sha256sum -c fallito:\n" + somme.stdout + somme.stderr)
            for testo in TESTI:
                righe = controlla_testo(testo, contenuti[testo], problemi)
                if testo == "LEGGIMI.txt" and not RIGHE_GUIDA[0] <= righe <= RIGHE_GUIDA[1]:
                    problemi.append("LEGGIMI.txt ha %d righe, non %d-%d" % ((righe,) + RIGHE_GUIDA))
            controlla_eseguibile(os.path.join(interna, "tarnel.exe"), percorso[:-len(".zip")] + ".debug", radice,
                                 problemi)
    return problemi


def main():
    if len(sys.argv) == 6 and sys.argv[1] == "crea":
        return crea(*sys.argv[2:])
    if len(sys.argv) in (3, 4) and sys.argv[1] == "controlla":
        problemi = controlla(sys.argv[2], sys.argv[3] if len(sys.argv) == 4 else None)
        for problema in problemi:
            print("FALLITO: " + problema)
        print("controllo pacchetto: " + ("ok" if not problemi else "FALLITO"))
        return 0 if not problemi else 1
    print(__doc__.split("\n\n")[1])
    return 2


if __name__ == "__main__":
    sys.exit(main())
