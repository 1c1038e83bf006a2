#!/usr/bin/env bash
# tests/sistema/servizio.sh - il servizio vero sotto Wine, registrato nel gestore dei servizi,
# davanti al client nativo: conversazione cifrata e in chiaro, una raffica di client insieme,
# porta rifiutata, arresto; poi, con Wine che riporta Windows XP a tarnel.exe, installazione con
# -s -i, versione e avvio del runtime. Presuppone le build fatte (scripts/test); avvia il server
# Wine se serve.
set -uo pipefail
RADICE=$(cd "$(dirname "$0")/../.." && pwd)
. "$RADICE/scripts/lib/wine.sh"
. "$RADICE/scripts/lib/servizio.sh"
# Il client nativo, con un limite: un servizio muto non blocca la prova.
cliente() { timeout 60 "$RADICE/build/host/tools/client/clientegrafico" "$@"; }
tarnel() { "$WINE" "$BIN_AMBIENTE\\tarnel.exe" "$@" </dev/null >/dev/null 2>&1; }
PORTA=21500
PORTA_XP=21510
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
# Il log con la generazione precedente, se la rotazione l'ha fatta.
# Senza -q: grep che esce prima della fine romperebbe la pipe, e pipefail lo darebbe per fallito.
log_intero() { { cat "$LOG_SERVIZIO.1" 2>/dev/null; cat "$LOG_SERVIZIO"; } | tr -d '\r'; }
nel_log() { log_intero | grep -F -- "$1" >/dev/null; }
nel_log_re() { log_intero | grep -E -- "$1" >/dev/null; }
non_nel_log() { ! nel_log "$1"; }

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
durata=$(awk -v a="$inizio" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
serviti=$(grep -lx 'campo 0: 0109X' "$RADICE"/build/raffica.* | wc -l)
rm -f "$RADICE"/build/raffica.*
echo "     raffica: $serviti di $RAFFICA client serviti in ${durata} s"
verifica "raffica di $RAFFICA client tutti serviti" [ "$serviti" -eq "$RAFFICA" ]

# Client ostili dal lato Linux: il servizio li regge e intanto serve gli altri.
ostili() { python3 "$RADICE/tests/sistema/clienti_ostili.py" "$@"; }
conta_nel_log() { tr -d '\r' <"$LOG_SERVIZIO" | grep -cF -- "$1"; }
ostili reset "$PORTA" 600
uscita=$(cliente --porta "$PORTA" versione 2>&1)
verifica "600 connessioni chiuse con un reset prima dell'accept, poi la versione" grep -qx "versione: $versione" <<<"$uscita"
verifica "600 reset: nessuna fine del listener" non_nel_log "il listener non accetta piu' connessioni"
verifica "600 reset: lo stesso processo (un solo avvio nel log)" [ "$(conta_nel_log ': ServiceMain - versione ')" -eq 1 ]
echo "     reset: $(conta_nel_log 'CicloAccept - accept') righe di accept fallito"

# Una richiesta un byte ogni 4 s: chiusa a 60 s dalla connessione, e intanto gli altri sono serviti.
ostili goccia "$PORTA" 4 >"$RADICE/build/goccia.txt" &
goccia=$!
sleep 8
uscita=$(cliente --porta "$PORTA" versione 2>&1)
verifica "durante la goccia un altro client e' servito" grep -qx "versione: $versione" <<<"$uscita"
wait "$goccia"
secondi=$(cat "$RADICE/build/goccia.txt"); rm -f "$RADICE/build/goccia.txt"
echo "     goccia: chiusa dopo $secondi s"
verifica "goccia: chiusa tra 59 e 66 s" awk -v s="$secondi" 'BEGIN { exit !(s >= 59 && s <= 66) }'
verifica "goccia: la riga della scadenza" nel_log ": AttivazioneClient - richiesta non completata in 60 s: connessione chiusa"

# -reload: le regole nuove valgono nello stesso processo; un tarnel.cfg non valido non arriva al servizio.
printf 'SOCKET=%s\r\nCLIENT=127.0.0.2\r\n' "$PORTA" >"$AMBIENTE_LINUX/prg/etc/tarnel.cfg"
verifica "-reload con CLIENT=127.0.0.2: esce con 0" tarnel -s -reload
uscita=$(cliente --porta "$PORTA" versione 2>&1)
verifica "-reload: 127.0.0.1 ora e' rifiutato" [ -z "$(grep -x "versione: $versione" <<<"$uscita")" ]
printf 'SOCKET=%s\r\nCLIENT=127.0.0.1\r\n' "$PORTA" >"$AMBIENTE_LINUX/prg/etc/tarnel.cfg"
verifica "-reload con CLIENT=127.0.0.1: esce con 0" tarnel -s -reload
verifica "log: tarnel.cfg riletto" nel_log ": ServerCtrlHandlerEx - tarnel.cfg riletto: 1 reti ammesse, MAXCLIENT 128, MAXCONN 1024"
printf 'SOCKET=%s\r\nMAXCONN=abc\r\n' "$PORTA" >"$AMBIENTE_LINUX/prg/etc/tarnel.cfg"
tarnel -s -reload; esito=$?
verifica "-reload con MAXCONN=abc: esce con 1" [ "$esito" -eq 1 ]
verifica "log: il -reload rifiutato non manda nulla al servizio" [ "$(log_intero | grep -c 'ricevuto comando dwControl -> 6 ')" -eq 2 ]
uscita=$(cliente --porta "$PORTA" versione 2>&1)
verifica "-reload: 127.0.0.1 di nuovo servito" grep -qx "versione: $versione" <<<"$uscita"
verifica "-reload: sempre lo stesso processo (una sola riga d'avvio)" [ "$(log_intero | grep -c ': ServiceMain - versione ')" -eq 1 ]

# Il log oltre il limite mentre il servizio gira (nessun altro processo lo apre piu'): il servizio lo
# ruota entro un minuto dal suo ultimo controllo. Lo si interroga finche' tarnel.log.1 compare.
head -c 1100000 /dev/zero | tr '\0' 'x' >>"$LOG_SERVIZIO"
printf '\r\nriga di un altro processo\r\n' >>"$LOG_SERVIZIO"
inizio=$(date +%s)
interrogazioni=0
for ((i = 0; i < 70; i++)); do
  [ -f "$LOG_SERVIZIO.1" ] && break
  cliente --porta "$PORTA" versione >/dev/null 2>&1; interrogazioni=$((interrogazioni + 1))
  sleep 1
done
echo "     rotazione dopo $(($(date +%s) - inizio)) s e $interrogazioni interrogazioni"
verifica "log ruotato in tarnel.log.1 mentre il servizio gira" [ -f "$LOG_SERVIZIO.1" ]
verifica "rotazione: il file vivo e' ricominciato" [ "$(stat -c %s "$LOG_SERVIZIO")" -lt 100000 ]
verifica "rotazione: la riga dell'altro processo e' in tarnel.log.1" grep -qF "riga di un altro processo" "$LOG_SERVIZIO.1"
fini=$(log_intero | grep -c ': AttivazioneClient - fine conversazione da 127.0.0.1:[0-9]*: versione inviata in [0-9]* ms$')
# Tutte le versioni chieste: le due iniziali, quelle dopo i reset e durante la goccia, quella dopo il
# -reload e le interrogazioni.
verifica "rotazione: nessuna riga di fine conversazione persa ($fini)" [ "$fini" -eq $((interrogazioni + 5)) ]

# L'arresto dalla riga di comando: il suo processo accoda al log che il servizio ha creato.
"$WINE" "$BIN_AMBIENTE\\tarnel.exe" -s -stop </dev/null >/dev/null 2>&1
verifica "STOP porta il servizio a STOPPED" attendi_stato STOPPED 50
verifica "log: la riga del comando resta accanto a quelle del servizio" nel_log ": main - Eseguo arresto del servizio"
verifica "log: chi si e' connesso" nel_log ": AttivazioneClient - connessione da 127.0.0.1:"
verifica "log: servizio in esecuzione" nel_log ": Servizio di attivazione applicativi QOR in esecuzione"
verifica "log: riga d'avvio con versione, processo e porta" \
  nel_log_re ": ServiceMain - versione $versione, processo [0-9]+, porta $PORTA\$"
verifica "log: comando di STOP" nel_log ": ServerCtrlHandlerEx - ricevuto comando di STOP"

# Porta 0: il servizio non parte e lo dice nel log.
ambiente_installa 0
"$WINE" sc start tarnel </dev/null >/dev/null 2>&1
verifica "porta 0: il servizio si ferma da se'" attendi_stato STOPPED 50
verifica "porta 0: riga della porta non valida" nel_log "La porta socket \"0\" specificata nel file di configurazione"
verifica "porta 0: codice d'uscita 1610 per il gestore dei servizi" \
  grep -q 'WIN32_EXIT_CODE *: *1610' <<<"$("$WINE" sc query tarnel </dev/null 2>/dev/null | tr -d '\r')"
# -start attende l'esito: un avvio rifiutato e' un fallimento.
printf 'client=10.0.0.0/8\r\n' >"$AMBIENTE_LINUX/prg/etc/tarnel.cfg"
"$WINE" "$BIN_AMBIENTE\\tarnel.exe" -s -start </dev/null >/dev/null 2>&1
verifica "riga CLIENT scritta male: tarnel -s -start esce con 1" [ $? -eq 1 ]
verifica "riga CLIENT scritta male: la riga nel log" nel_log "La riga \"client=10.0.0.0/8\" del file di configurazione"
verifica "riga CLIENT scritta male: -start dice che il servizio si e' fermato" \
  nel_log ": main - Il servizio si e' fermato durante l'avvio (errore 1610): dettagli nel file di log"

# 400 indirizzi rifiutati in meno di un minuto: righe limitate.
ambiente_installa "$PORTA"
printf 'CLIENT=127.0.0.1\r\n' >>"$AMBIENTE_LINUX/prg/etc/tarnel.cfg"
verifica "CLIENT=127.0.0.1: il servizio parte" servizio_avvia
attendi_porta "$PORTA"
ostili indirizzi "$PORTA" 400
righe=$(conta_nel_log "rifiutata: indirizzo non ammesso")
echo "     rifiuti: $righe righe per 400 indirizzi"
verifica "400 indirizzi rifiutati: al piu' 257 righe" [ "$righe" -ge 1 -a "$righe" -le 257 ]
uscita=$(cliente --porta "$PORTA" versione 2>&1)
verifica "dopo i rifiuti 127.0.0.1 e' servito" grep -qx "versione: $versione" <<<"$uscita"
servizio_ferma_ed_elimina

# Sistema di versione 5: Wine riporta Windows XP al solo tarnel.exe.
CHIAVE_VERSIONE='HKCU\Software\Wine\AppDefaults\tarnel.exe'
"$WINE" reg add "$CHIAVE_VERSIONE" /v Version /d winxp /f </dev/null >/dev/null 2>&1
ambiente_installa "$PORTA_XP"
cp "$BUILD_WINE/tools/runtime/runtime_prova.exe" "$AMBIENTE_LINUX/prg/com/drumal/bin/trimox3.exe"
dipendenze_finte_registra
verifica "XP: tarnel -s -i installa il servizio" tarnel -s -i
verifica "XP: ramo delle applicazioni autorizzate" nel_log ": main - VerificaAbilitazioneFirewall "
verifica "XP: regola aggiunta con le applicazioni autorizzate" nel_log ": main - Abilitato Firewall "
verifica "XP: niente ramo INetFwPolicy2" non_nel_log "VerificaAbiFirewallVista"
verifica "XP: tarnel -s -start avvia il servizio" tarnel -s -start
verifica "XP: servizio in esecuzione sulla porta $PORTA_XP" attendi_stato RUNNING
attendi_porta "$PORTA_XP"
uscita=$(cliente --porta "$PORTA_XP" versione 2>&1)
verifica "XP: versione $versione" grep -qx "versione: $versione" <<<"$uscita"
uscita=$(cliente --porta "$PORTA_XP" --attesa 0.5 avvia PROG 2>&1)
verifica "XP: il runtime avviato saluta il client" grep -q "^dopo: RUNTIME trimox3.exe " <<<"$uscita"
pid_runtime=$(sed -n 's/^dopo: RUNTIME trimox3.exe \([0-9]*\).*/\1/p' <<<"$uscita" | head -n 1)
verifica "XP: riga di fine conversazione dell'avvio ($pid_runtime)" \
  nel_log_re ": AttivazioneClient - fine conversazione da 127.0.0.1:[0-9]+: avviato trimox3.exe \(processo $pid_runtime\) in [0-9]+ ms\$"
# Il rapporto del runtime: il solo handle socket ereditato e' il suo, quello di socketComm.
rapporto=$(ls "$AMBIENTE_LINUX"/prg/com/drumal/bin/trimox3.exe.*.txt 2>/dev/null | head -n 1)
ereditati=$(tr '\0' '\n' <"${rapporto:-/dev/null}" | sed -n 's/^ereditati=//p')
socket_comm=$(tr '\0' '\n' <"${rapporto:-/dev/null}" | sed -n 's/^socketComm=//p')
verifica "XP: il runtime eredita solo il suo socket ($ereditati)" [ -n "$ereditati" -a "$ereditati" = "$socket_comm" ]
verifica "XP: tarnel -s -stop ferma il servizio" tarnel -s -stop
verifica "XP: tarnel -s -r lo rimuove" tarnel -s -r
verifica "XP: -r toglie l'applicazione autorizzata o dice che non c'e'" nel_log "RimuoviFirewallXP - "
dipendenze_finte_togli
"$WINE" reg delete "$CHIAVE_VERSIONE" /v Version /f </dev/null >/dev/null 2>&1
servizio_ferma_ed_elimina

echo "sistema: $passati passed, $falliti failed"
[ "$falliti" -eq 0 ]
