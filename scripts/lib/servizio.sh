# scripts/lib/servizio.sh - ambiente di prova C:\GEST1 nel prefisso Wine e servizio tarnel registrato
# nel gestore dei servizi di Wine. Da includere dopo scripts/lib/wine.sh, con il server avviato.
: "${WINEPREFIX:?}" "${WINE:?}" "${BUILD_WINE:?}"
AMBIENTE_LINUX="$WINEPREFIX/drive_c/GEST1"
BIN_AMBIENTE='C:\GEST1\prg\com\drumal\bin'
LOG_SERVIZIO="$AMBIENTE_LINUX/prg/com/drumal/bin/tarnel.log"

# ambiente_installa PORTA: l'eseguibile in prg\com\drumal\bin, configur con il drive, tarnel.cfg con la porta.
ambiente_installa() {
  rm -rf "$AMBIENTE_LINUX"
  mkdir -p "$AMBIENTE_LINUX/prg/com/drumal/bin" "$AMBIENTE_LINUX/prg/etc"
  cp "$BUILD_WINE/tarnel.exe" "$AMBIENTE_LINUX/prg/com/drumal/bin/tarnel.exe"
  printf 'C:\r\n' >"$AMBIENTE_LINUX/prg/etc/configur"
  printf '# porta del servizio\r\nSOCKET=%s\r\n' "$1" >"$AMBIENTE_LINUX/prg/etc/tarnel.cfg"
}

# stato_servizio: lo stato riportato da sc query (RUNNING, STOPPED, ...), vuoto se il servizio non c'e'.
stato_servizio() {
  "$WINE" sc query tarnel </dev/null 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $4}'
}

# attendi_stato STATO [decimi]: attende lo stato per al piu' i decimi di secondo dati (default 100).
attendi_stato() {
  local i
  for ((i = 0; i < ${2:-100}; i++)); do
    [ "$(stato_servizio)" = "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

servizio_registra() {
  "$WINE" sc delete tarnel </dev/null >/dev/null 2>&1 || true
  "$WINE" sc create tarnel binpath= "$BIN_AMBIENTE\\tarnel.exe" start= demand \
    displayname= "Servizio di attivazione applicativi QOR" </dev/null >/dev/null
}

servizio_avvia() {
  "$WINE" sc start tarnel </dev/null >/dev/null && attendi_stato RUNNING
}

servizio_ferma_ed_elimina() {
  "$WINE" sc stop tarnel </dev/null >/dev/null 2>&1 || true
  attendi_stato STOPPED 50 || true
  "$WINE" sc delete tarnel </dev/null >/dev/null 2>&1 || true
}

# attendi_porta PORTA: attende che qualcuno ascolti sulla porta (al piu' 10 s), senza connettersi.
attendi_porta() {
  local i
  for ((i = 0; i < 100; i++)); do
    ss -Hltn "sport = :$1" 2>/dev/null | grep -q LISTEN && return 0
    sleep 0.1
  done
  return 1
}

# Wine non ha LanmanWorkstation e il suo LanmanServer non parte: per -i si registrano al loro posto
# due copie del servizio minimo delle prove (servizio_finto.exe), che partono e restano in esecuzione.
SERVIZIO_FINTO="$BUILD_WINE/tests/test_piattaforma/servizio_finto.exe"
dipendenze_finte_registra() {
  local finto nome
  finto="Z:$(echo "$SERVIZIO_FINTO" | tr / '\\')"
  for nome in LanmanWorkstation LanmanServer; do
    "$WINE" sc stop "$nome" </dev/null >/dev/null 2>&1 || true
    "$WINE" sc delete "$nome" </dev/null >/dev/null 2>&1 || true
    "$WINE" sc create "$nome" binpath= "$finto" start= demand </dev/null >/dev/null
  done
}
dipendenze_finte_togli() {
  local nome
  for nome in LanmanWorkstation LanmanServer; do
    "$WINE" sc stop "$nome" </dev/null >/dev/null 2>&1 || true
    "$WINE" sc delete "$nome" </dev/null >/dev/null 2>&1 || true
  done
}
