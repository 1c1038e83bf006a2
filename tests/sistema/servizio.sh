#!/usr/bin/env bash
# tests/sistema/servizio.sh - il servizio vero sotto Wine, registrato nel gestore dei servizi,
# davanti al client nativo: conversazione cifrata e in chiaro, una raffica di client insieme,
# porta rifiutata, arresto. Presuppone le build fatte (scripts/test); avvia il server Wine se serve.
set -uo pipefail
RADICE=$(cd "$(dirname "$0")/../.." && pwd)
. "$RADICE/scripts/lib/wine.sh"
. "$RADICE/scripts/lib/servizio.sh"
# Il client nativo, con un limite: un servizio muto non blocca la prova.
cliente() { timeout 60 "$RADICE/build/host/tools/client/clientegrafico" "$@"; }
PORTA=21500
RAFFICA=50

passati=0
falliti=0
verifica() { # verifica DESCRIZIONE COMANDO...
  local descrizione=$1; shift
  if "$@"; then
    echo "ok   - $descrizione"; passati=$((passati + 1))
  else
    echo "FAIL - $descrizione"; falliti=$((falliti + 1))
  fi
}
nel_log() { tr -d '\r' <"$LOG_SERVIZIO" | grep -qF -- "$1"; }

if [ -z "${WINE_AVVIATO:-}" ]; then wine_avvia; trap wine_ferma EXIT; fi

ambiente_installa "$PORTA"
servizio_registra
verifica "il servizio parte e ascolta sulla porta di tarnel.cfg" servizio_avvia
verifica "porta $PORTA in ascolto" attendi_porta "$PORTA"

uscita=$(cliente --porta "$PORTA" grezza 0000X uno due N PROGRAMMA 2>&1)
verifica "conversazione cifrata: il campo 0 torna con 0109" grep -qx 'campo 0: 0109X' <<<"$uscita"
verifica "conversazione cifrata: i campi 1 e 2 tornano uguali" grep -qx 'campo 2: due' <<<"$uscita"
uscita=$(cliente --in-chiaro --porta "$PORTA" grezza 0000X uno due S PROGRAMMA 2>&1)
verifica "conversazione in chiaro: il campo 0 torna con 0101" grep -qx 'campo 0: 0101X' <<<"$uscita"

# La versione del file di tarnel.exe, quella del progetto, a due cifre per parte.
versione=$(sed -nE 's/^project\(tarnel VERSION ([0-9.]+).*/\1/p' "$RADICE/CMakeLists.txt" | tr '.' ' ')
versione=$(printf '%02d.%02d.%02d.%02d' $versione)
for modo in cifrata in-chiaro; do
  opzione=(); [ "$modo" = in-chiaro ] && opzione=(--in-chiaro)
  uscita=$(cliente "${opzione[@]}" --porta "$PORTA" versione 2>&1)
  verifica "versione, conversazione $modo: $versione" grep -qx "versione: $versione" <<<"$uscita"
done

# Raffica: tutti i client partono insieme; ognuno deve avere la risposta.
inizio=$(date +%s.%N)
for ((i = 0; i < RAFFICA; i++)); do
  cliente --porta "$PORTA" --attesa 1 grezza 0000X "client $i" due N PROGRAMMA >"$RADICE/build/raffica.$i" 2>&1 &
done
wait
durata=$(echo "$(date +%s.%N) - $inizio" | bc)
serviti=$(grep -lx 'campo 0: 0109X' "$RADICE"/build/raffica.* | wc -l)
rm -f "$RADICE"/build/raffica.*
echo "     raffica: $serviti di $RAFFICA client serviti in ${durata} s"
verifica "raffica di $RAFFICA client tutti serviti" [ "$serviti" -eq "$RAFFICA" ]

# L'arresto dalla riga di comando: il suo processo accoda al log che il servizio ha creato.
"$WINE" "$BIN_AMBIENTE\\tarnel.exe" -s -stop </dev/null >/dev/null 2>&1
verifica "STOP porta il servizio a STOPPED" attendi_stato STOPPED 50
verifica "log: la riga del comando resta accanto a quelle del servizio" nel_log ": main - Eseguo arresto del servizio"
verifica "log: chi si e' connesso" nel_log ": AttivazioneClient - connessione da 127.0.0.1:"
verifica "log: servizio in esecuzione" nel_log ": Servizio di attivazione applicativi QOR in esecuzione"
verifica "log: comando di STOP" nel_log ": ServerCtrlHandlerEx - ricevuto comando di STOP"

# Porta 0: il servizio non parte e lo dice nel log.
ambiente_installa 0
"$WINE" sc start tarnel </dev/null >/dev/null 2>&1
verifica "porta 0: il servizio si ferma da se'" attendi_stato STOPPED 50
verifica "porta 0: riga della porta non valida" nel_log "La porta socket \"0\" specificata nel file di configurazione"
servizio_ferma_ed_elimina

echo "sistema: $passati passed, $falliti failed"
[ "$falliti" -eq 0 ]
