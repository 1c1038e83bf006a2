#!/usr/bin/env python3
"""scripts/lib/controlla_importazioni.py - tarnel.exe si carica sui sistemi di versione 5.1?

Uso: controlla_importazioni.py TARNEL_EXE [RADICE]

Controlli statici sull'eseguibile a 32 bit:
  - nessuna funzione importata e' tra quelle che le intestazioni MinGW dichiarano solo da
    _WIN32_WINNT 0x0600 in su. L'elenco si ricava dalle intestazioni stesse: quelle che i sorgenti
    Win32 del servizio includono, preprocessate a 0x0501 e a 0x0600; sono dichiarate solo a 0x0600
    le funzioni che compaiono nella seconda e non nella prima;
  - le versioni del sistema operativo e del sottosistema nell'intestazione PE non superano 5.1;
  - elenca le funzioni prese da msvcrt.dll e rifiuta quelle che il msvcrt.dll dei sistemi di
    versione 5 non esporta (vedi MSVCRT_ASSENTI);
  - DEP e ASLR restano accesi: DYNAMIC_BASE e NX_COMPAT tra le DllCharacteristics, e le
    rilocazioni conservate (senza, il caricatore non puo' spostare l'immagine).
Stampa ogni problema e chiude con "controllo importazioni: ok" (uscita 0) o "... FALLITO" (1).
"""
import os
import re
import subprocess
import sys

COMPILATORE = "i686-w64-mingw32-g++-win32"
OBJDUMP = "i686-w64-mingw32-objdump"
# Le cartelle del servizio: i loro sorgenti Win32 dicono quali intestazioni di sistema servono.
CARTELLE = ("base", "protocol", "install", "launch", "setup", "service")
# Funzioni che le intestazioni dichiarano di sicuro solo da 0x0600: se l'elenco ricavato non le
# contiene, il ricavo non funziona e il controllo non puo' dire nulla.
SENTINELLE = ("InitializeProcThreadAttributeList", "AcquireSRWLockExclusive", "GetTickCount64")
VERSIONE_MASSIMA = (5, 1)
# Il msvcrt.dll dei sistemi di versione 5 e' quello della libreria C di Visual C++ 7.0. Non ha cio'
# che arrivo' con Visual C++ 8.0 e che i sistemi di versione 6 aggiunsero al loro msvcrt.dll:
#  - le funzioni "sicure" con suffisso _s (strcpy_s, sprintf_s, fopen_s, _wfopen_s, ...);
#  - le varianti con la localizzazione esplicita, suffisso _l, e la loro gestione;
#  - gli accessi a errno e il gestore dei parametri non validi;
#  - lo spostamento a 64 bit nei flussi (la libreria MinGW a 32 bit ne ha una sua versione).
MSVCRT_SUFFISSI_ASSENTI = ("_s", "_l")
MSVCRT_ASSENTI = {
    "_create_locale", "_free_locale", "_get_current_locale",
    "_get_errno", "_set_errno", "_get_doserrno", "_set_doserrno",
    "_set_invalid_parameter_handler", "_get_invalid_parameter_handler",
    "_fseeki64", "_ftelli64",
}


def intestazioni(radice):
    """Le intestazioni <...> incluse dai sorgenti Win32 del servizio, winsock2.h prima di windows.h."""
    trovate = {"winsock2.h", "windows.h"}
    for cartella in CARTELLE:
        percorso = os.path.join(radice, cartella)
        for nome in sorted(os.listdir(percorso)):
            if re.search(r"Win\.(cpp|h)$", nome):
                with open(os.path.join(percorso, nome), encoding="utf-8", errors="replace") as f:
                    trovate.update(re.findall(r"^\s*#\s*include\s*<([^>]+)>", f.read(), re.M))
    primi = ["winsock2.h", "windows.h"]
    return primi + sorted(trovate - set(primi))


def nomi_dichiarati(elenco, versione):
    """Gli identificatori seguiti da '(' nelle intestazioni preprocessate alla versione data."""
    sorgente = "".join("#include <%s>\n" % nome for nome in elenco)
    definizioni = ["-D_WIN32_WINNT=%s" % versione, "-DWINVER=%s" % versione]
    uscita = subprocess.run([COMPILATORE, "-E", "-P", "-x", "c++", "-std=c++17"] + definizioni + ["-"],
                            input=sorgente, capture_output=True, text=True, check=True).stdout
    return set(re.findall(r"\b([A-Za-z_]\w*)\s*\(", uscita))


def leggi_pe(exe):
    """Importazioni {dll minuscola: [funzioni]} e campi di versione dell'intestazione PE."""
    uscita = subprocess.run([OBJDUMP, "-p", exe], capture_output=True, text=True, check=True).stdout
    importazioni = {}
    dll = None
    for riga in uscita.splitlines():
        trovata = re.match(r"\s*DLL Name:\s*(\S+)", riga)
        if trovata:
            dll = trovata.group(1).lower()
            importazioni.setdefault(dll, [])
            continue
        funzione = re.match(r"\s+[0-9a-fA-F]+\s+[0-9]+\s+([A-Za-z_]\w*)\s*$", riga)
        if dll is not None and funzione:
            importazioni[dll].append(funzione.group(1))
        elif dll is not None and not riga.strip():
            dll = None
    campi = dict(re.findall(r"^(M(?:aj|in)or(?:OSystem|Subsystem)Version)\s+(\d+)", uscita, re.M))
    caratteristiche = re.search(r"^DllCharacteristics\s+[0-9a-fA-F]+\n((?:\t\t+\S+\n)*)", uscita, re.M)
    campi["DllCharacteristics"] = caratteristiche.group(1).split() if caratteristiche else []
    campi["rilocazioni tolte"] = bool(re.search(r"^\trelocations stripped$", uscita, re.M))
    rilocazioni = re.search(r"^Entry 5 [0-9a-fA-F]+ ([0-9a-fA-F]+) Base Relocation Directory", uscita, re.M)
    campi["rilocazioni"] = int(rilocazioni.group(1), 16) if rilocazioni else 0
    return importazioni, campi


def main():
    if len(sys.argv) < 2:
        print("uso: controlla_importazioni.py TARNEL_EXE [RADICE]")
        return 2
    exe = sys.argv[1]
    radice = sys.argv[2] if len(sys.argv) > 2 else os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))))
    problemi = []

    elenco = intestazioni(radice)
    solo_vista = nomi_dichiarati(elenco, "0x0600") - nomi_dichiarati(elenco, "0x0501")
    print("intestazioni: %s" % " ".join(elenco))
    print("funzioni dichiarate solo da 0x0600: %d" % len(solo_vista))
    for sentinella in SENTINELLE:
        if sentinella not in solo_vista:
            problemi.append("%s non risulta dichiarata solo da 0x0600: elenco non ricavato" % sentinella)

    try:
        importazioni, campi = leggi_pe(exe)
    except (OSError, subprocess.CalledProcessError) as errore:
        print("FALLITO: %s non si legge come eseguibile a 32 bit: %s" % (exe, errore))
        print("controllo importazioni: FALLITO")
        return 1
    totale = sum(len(funzioni) for funzioni in importazioni.values())
    print("importazioni: %d funzioni da %d DLL" % (totale, len(importazioni)))
    if totale == 0:
        problemi.append("nessuna importazione letta da %s" % exe)
    for dll in sorted(importazioni):
        for funzione in importazioni[dll]:
            if funzione in solo_vista:
                problemi.append("%s importa %s da %s, che i sistemi di versione 5 non hanno" %
                                (os.path.basename(exe), funzione, dll))

    for tipo, nome in (("OSystem", "sistema operativo"), ("Subsystem", "sottosistema")):
        maggiore, minore = campi.get("Major%sVersion" % tipo), campi.get("Minor%sVersion" % tipo)
        if maggiore is None or minore is None:
            problemi.append("versione del %s non letta" % nome)
        elif (int(maggiore), int(minore)) > VERSIONE_MASSIMA:
            problemi.append("versione del %s %s.%s oltre 5.1" % (nome, maggiore, minore))
        else:
            print("versione del %s: %s.%s" % (nome, maggiore, minore))

    for bandiera in ("DYNAMIC_BASE", "NX_COMPAT"):
        if bandiera not in campi["DllCharacteristics"]:
            problemi.append("%s manca tra le DllCharacteristics" % bandiera)
    if campi["rilocazioni tolte"] or campi["rilocazioni"] == 0:
        problemi.append("rilocazioni tolte: l'immagine non si sposta, ASLR non vale")
    else:
        print("DYNAMIC_BASE, NX_COMPAT, rilocazioni: %d byte" % campi["rilocazioni"])

    crt = sorted(importazioni.get("msvcrt.dll", []))
    print("msvcrt.dll (%d): %s" % (len(crt), " ".join(crt)))
    for funzione in crt:
        if funzione in MSVCRT_ASSENTI or funzione.endswith(MSVCRT_SUFFISSI_ASSENTI):
            problemi.append("importa %s da msvcrt.dll, che il msvcrt.dll dei sistemi di versione 5 non ha" %
                            funzione)

    for problema in problemi:
        print("FALLITO: " + problema)
    print("controllo importazioni: " + ("ok" if not problemi else "FALLITO"))
    return 0 if not problemi else 1


if __name__ == "__main__":
    sys.exit(main())
