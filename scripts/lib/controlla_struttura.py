#!/usr/bin/env python3
"""scripts/lib/controlla_struttura.py - le regole della struttura del codice, controllate sul sorgente.

  - le cartelle si includono solo verso il basso, nell'ordine di ORDINE, e solo attraverso
    l'intestazione della cartella (base/base.h, protocol/protocol.h, ...);
  - le intestazioni di piattaforma (Windows, Winsock, COM, rete) solo nei file *Win.cpp / *Win.h,
    quelle dei socket POSIX solo nei file *Posix.cpp;
  - nessuna routine del prodotto oltre MAX_RIGHE righe;
  - la prima riga di ogni file C/C++ (prodotto, prove, strumenti, fuzz, misure) nomina il file
    stesso: "/* cartella/File.cpp - scopo";
  - con --nativa COMPILE_COMMANDS: ogni file non Win del prodotto e' compilato dalla build nativa.

Uso: controlla_struttura.py RADICE [--nativa build/host/compile_commands.json]
Stampa una riga "file:riga: motivo" per ogni violazione ed esce con 1 se ce n'e' almeno una.
"""
import json
import os
import re
import sys

# Dal fondo in su: ogni cartella include solo quelle prima di lei.
ORDINE = ["base", "protocol", "install", "launch", "setup", "service"]
# Programmi nostri che non sono il servizio: usano il fondo e il protocollo.
STRUMENTI = {
    "tools/client": ["base", "protocol"],
    "tools/carico": ["base", "protocol", "tools/client"],
    "tools/riferimento": ["base", "protocol"],
}
# L'intestazione di una cartella che non porta il nome della cartella.
INTESTAZIONI = {"tools/client": "cliente.h"}
MAX_RIGHE = 100
# Le cartelle i cui file C/C++ aprono con il proprio percorso.
CARTELLE_SORGENTI = ORDINE + ["tests", "tools", "fuzz", "bench"]

INTESTAZIONI_WINDOWS = {
    "windows.h", "winsock.h", "winsock2.h", "ws2tcpip.h", "mswsock.h", "winbase.h", "winuser.h",
    "winsvc.h", "winnetwk.h", "lm.h", "lmshare.h", "lmapibuf.h", "lmerr.h", "lmcons.h", "objbase.h",
    "ole2.h", "oleauto.h", "oaidl.h", "unknwn.h", "netfw.h", "sddl.h", "aclapi.h", "accctrl.h",
    "tlhelp32.h", "pbt.h", "direct.h", "share.h", "io.h", "process.h", "iphlpapi.h", "initguid.h",
    "shellapi.h", "psapi.h", "winternl.h",
}
INTESTAZIONI_POSIX = {
    "sys/socket.h", "netinet/in.h", "netinet/tcp.h", "arpa/inet.h", "netdb.h", "poll.h", "unistd.h",
    "sys/stat.h", "sys/types.h", "fcntl.h", "pthread.h", "sys/time.h",
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def file_sorgenti(radice, cartella):
    base = os.path.join(radice, cartella)
    for dentro, _, nomi in os.walk(base):
        for nome in sorted(nomi):
            if nome.endswith((".c", ".cpp", ".h")):
                yield os.path.relpath(os.path.join(dentro, nome), radice).replace(os.sep, "/")


def e_win(path):
    nome = os.path.splitext(os.path.basename(path))[0]
    return nome.endswith("Win")


def e_posix(path):
    nome = os.path.splitext(os.path.basename(path))[0]
    return nome.endswith("Posix")


def intestazione(cartella):
    return f"{cartella}/{INTESTAZIONI.get(cartella, os.path.basename(cartella) + '.h')}"


def controlla_include(path, righe, ammesse, propria):
    errori = []
    for numero, riga in enumerate(righe, 1):
        m = INCLUDE.match(riga)
        if not m:
            continue
        tipo, nome = m.groups()
        if tipo == '"':
            cartella = nome.rsplit("/", 1)[0] if "/" in nome else propria
            if cartella == propria:
                continue
            if cartella not in ammesse:
                errori.append(f"{path}:{numero}: include \"{nome}\": {propria}/ non puo' includere {cartella}/ "
                              f"(ordine: {', '.join(ORDINE)})")
            elif nome != intestazione(cartella):
                errori.append(f"{path}:{numero}: include \"{nome}\": da fuori di {cartella}/ solo "
                              f"{intestazione(cartella)}")
        elif nome.lower() in INTESTAZIONI_WINDOWS and not e_win(path):
            errori.append(f"{path}:{numero}: include <{nome}>: intestazione di Windows fuori da un file *Win")
        elif nome in INTESTAZIONI_POSIX and not e_posix(path) and not e_win(path):
            errori.append(f"{path}:{numero}: include <{nome}>: intestazione POSIX fuori da un file *Posix o *Win")
    return errori


def controlla_prima_riga(path, righe):
    """Un file spostato o copiato che si porta dietro la riga di prima si vede qui."""
    attesa = f"/* {path} - "
    prima = righe[0].rstrip()
    if prima.startswith(attesa) and prima[len(attesa):].strip():
        return []
    return [f"{path}:1: la prima riga non nomina il file: attesa \"{attesa}scopo\", trovata \"{prima[:70]}\""]


def controlla_routine(path, righe):
    """Routine = da una riga che apre con '{' in prima colonna alla '}' in prima colonna che la chiude."""
    errori = []
    inizio = None
    for numero, riga in enumerate(righe, 1):
        if riga.startswith("{"):
            inizio = numero
        elif riga.startswith("}") and inizio is not None:
            lunghezza = numero - inizio - 1
            if lunghezza > MAX_RIGHE and not righe[inizio - 2].rstrip().endswith(("=", "] =")):
                firma = inizio - 1
                errori.append(f"{path}:{firma}: routine di {lunghezza} righe (al piu' {MAX_RIGHE})")
            inizio = None
    return errori


def controlla_nativa(radice, comandi):
    compilati = set()
    with open(comandi, encoding="utf-8") as f:
        for voce in json.load(f):
            compilati.add(os.path.relpath(os.path.join(voce["directory"], voce["file"]), radice))
    errori = []
    for cartella in ORDINE + list(STRUMENTI):
        for path in file_sorgenti(radice, cartella):
            if path.endswith(".cpp") and not e_win(path) and path not in compilati:
                errori.append(f"{path}:1: file portabile che la build nativa non compila")
    return errori


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    radice = os.path.abspath(sys.argv[1])
    errori = []
    for livello, cartella in enumerate(ORDINE):
        for path in file_sorgenti(radice, cartella):
            with open(os.path.join(radice, path), encoding="utf-8", errors="replace") as f:
                righe = f.read().split("\n")
            errori += controlla_include(path, righe, ORDINE[:livello], cartella)
            errori += controlla_routine(path, righe)
    for cartella, ammesse in STRUMENTI.items():
        for path in file_sorgenti(radice, cartella):
            with open(os.path.join(radice, path), encoding="utf-8", errors="replace") as f:
                righe = f.read().split("\n")
            errori += controlla_include(path, righe, ammesse, cartella)
    for cartella in CARTELLE_SORGENTI:
        for path in file_sorgenti(radice, cartella):
            with open(os.path.join(radice, path), encoding="utf-8", errors="replace") as f:
                errori += controlla_prima_riga(path, f.read().split("\n"))
    if len(sys.argv) > 3 and sys.argv[2] == "--nativa":
        errori += controlla_nativa(radice, sys.argv[3])
    for errore in errori:
        print(errore)
    print(f"struttura: {len(errori)} violazioni")
    return 1 if errori else 0


if __name__ == "__main__":
    sys.exit(main())
