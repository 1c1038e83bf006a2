#!/usr/bin/env python3
"""tests/sistema/clienti_ostili.py - client che il servizio deve reggere, dal lato Linux.

  reset PORTA N          N connessioni chiuse con SO_LINGER 0 appena aperte (reset prima dell'accept)
  goccia PORTA PASSO     la frase in chiaro un byte ogni PASSO secondi; stampa i secondi fino alla chiusura
  indirizzi PORTA N      una connessione da ognuno di N indirizzi 127.0.x.y (dal 127.0.1.1), chiusa dal servizio
"""
import select
import socket
import struct
import sys
import time

FRASE = b"OrsoBrunoDorme5x8=40TreQuattroCinqueOrsoBrunoZ"


def reset(porta, n):
    for _ in range(n):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        s.connect(("127.0.0.1", porta))
        s.close()


def goccia(porta, passo):
    s = socket.create_connection(("127.0.0.1", porta))
    inizio = time.monotonic()
    dati = FRASE + b"0" * 1000
    chiusa = False
    for i in range(len(dati)):
        try:
            s.send(dati[i:i + 1])
        except OSError:
            break
        # Fino al prossimo byte si legge quello che arriva: la chiusura del servizio e' la fine.
        prossimo = time.monotonic() + passo
        while not chiusa and time.monotonic() < prossimo:
            pronti, _, _ = select.select([s], [], [], max(0.0, prossimo - time.monotonic()))
            if pronti:
                try:
                    chiusa = s.recv(65536) == b""
                except OSError:
                    chiusa = True
        if chiusa:
            break
    print("%.1f" % (time.monotonic() - inizio))


def indirizzi(porta, n):
    aperti = []
    for i in range(n):
        s = socket.socket()
        s.bind(("127.0.%d.%d" % (1 + i // 250, 1 + i % 250), 0))
        s.connect(("127.0.0.1", porta))
        aperti.append(s)
    for s in aperti:
        s.settimeout(10)
        try:
            s.recv(1)
        except OSError:
            pass
        s.close()


if __name__ == "__main__":
    comando, porta, valore = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    {"reset": lambda: reset(porta, int(valore)),
     "goccia": lambda: goccia(porta, float(valore)),
     "indirizzi": lambda: indirizzi(porta, int(valore))}[comando]()
