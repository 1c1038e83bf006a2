# scripts/lib/wine.sh - prefisso Wine privato di ogni esecuzione (dentro build/), da includere con `.`.
# Il prefisso nuovo (circa 15 s) si crea una volta sola come modello; ogni esecuzione ne lavora una
# copia sua, con il suo wineserver, e la toglie alla fine: test, demo e misure possono girare insieme.
# Chi e' avviato da uno script che ha gia' il suo prefisso (WINE_AVVIATO=1) usa quello, se e' un
# prefisso di un'esecuzione di questo checkout (build/wine-<script>-<pid>) e c'e': allora wine_avvia e
# wine_ferma lo lasciano a chi l'ha avviato. Un WINE_AVVIATO ereditato con un altro prefisso (quello
# dell'utente, o nessuno) non vale: si lavora in un prefisso privato nuovo.
# Il wineserver e i processi di sistema che avvia ereditano i descrittori di chi li avvia: ogni
# avvio qui ha stdin, stdout e stderr rediretti, altrimenti chi legge una pipe (ctest, $(...))
# aspetterebbe la loro fine.
#
# Dove il kernel non esegue programmi Linux a 32 bit (emulazione ia32 disattivata), il caricatore
# a 32 bit di Wine non parte: allora si usa Wine a 64 bit e i test Windows girano sulla build a
# 64 bit dello stesso codice (build/win64); il prodotto resta build/win32/tarnel.exe.
: "${RADICE:?}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; then
  WINE_32BIT=1
  WINE=wine
  BUILD_WINE="$RADICE/build/win32"
  WINE_MODELLO="$RADICE/build/wine-modello-wow64"
else
  WINE_32BIT=0
  WINE=/usr/lib/wine/wine64
  BUILD_WINE="$RADICE/build/win64"
  WINE_MODELLO="$RADICE/build/wine-modello-64"
fi
# prefisso_nostro PATH: 0 se PATH e' un prefisso di un'esecuzione di questo checkout (non un modello):
# solo quelli si tolgono.
prefisso_nostro() {
  local nome=${1#"$RADICE"/build/}
  [ "$nome" != "$1" ] && [[ $nome =~ ^wine-[^/]+-[0-9]+$ ]] && [[ ! $nome =~ ^wine-modello- ]]
}

# Deciso qui, una volta: chi esporta WINE_AVVIATO per i suoi figli dopo wine_avvia resta padrone del
# suo prefisso.
if [ -n "${WINE_AVVIATO:-}" ] && prefisso_nostro "${WINEPREFIX:-}" && [ -f "$WINEPREFIX/system.reg" ]; then
  PREFISSO_EREDITATO=1
  export WINEPREFIX
else
  PREFISSO_EREDITATO=0
  unset WINE_AVVIATO
  export WINEPREFIX="$RADICE/build/wine-$(basename "$0")-$$"
fi

# wine_modello: crea una volta il prefisso modello, sotto un lucchetto (due esecuzioni insieme non lo
# creano due volte).
wine_modello() {
  mkdir -p "$RADICE/build"
  (
    flock 9
    if [ ! -f "$WINE_MODELLO/system.reg" ]; then
      echo "wine: creo il prefisso modello $WINE_MODELLO (circa 15 s)"
      rm -rf "$WINE_MODELLO"
      WINEPREFIX="$WINE_MODELLO" "$WINE" wineboot -i >/dev/null 2>&1 </dev/null
      WINEPREFIX="$WINE_MODELLO" wineserver -w >/dev/null 2>&1 </dev/null
    fi
  ) 9>"$RADICE/build/wine-modello.lock"
}

# senza_descrittori COMANDO...: esegue il comando con i soli descrittori 0, 1 e 2. Il wineserver
# persistente e i processi di sistema vivono oltre chi li avvia: non devono tenere aperti i descrittori
# del chiamante (un lucchetto di flock, una pipe).
senza_descrittori() {
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null
    done
    exec "$@"
  )
}

wine_avvia() {
  [ "$PREFISSO_EREDITATO" = 1 ] && return 0
  if ! prefisso_nostro "$WINEPREFIX"; then
    echo "wine: $WINEPREFIX non e' un prefisso di un'esecuzione di questo checkout: non lo rifaccio" >&2
    return 1
  fi
  wine_modello
  # Un prefisso lasciato da un'esecuzione interrotta con lo stesso numero di processo si rifa'.
  WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 </dev/null || true
  rm -rf "$WINEPREFIX"
  cp -a "$WINE_MODELLO" "$WINEPREFIX"
  # Un secondo drive, S:, su una cartella del prefisso: le prove vi installano un ambiente duplicato.
  mkdir -p "$WINEPREFIX/secondo-drive"
  ln -sfn "$WINEPREFIX/secondo-drive" "$WINEPREFIX/dosdevices/s:"
  # Server persistente: i servizi restano vivi anche quando nessun altro programma gira.
  senza_descrittori wineserver -p >/dev/null 2>&1 </dev/null
  senza_descrittori "$WINE" wineboot >/dev/null 2>&1 </dev/null
}

# wine_ferma: ferma il wineserver di questo prefisso (e i suoi processi) e toglie il prefisso.
wine_ferma() {
  [ "$PREFISSO_EREDITATO" = 1 ] && return 0
  prefisso_nostro "$WINEPREFIX" || return 0
  wineserver -k >/dev/null 2>&1 </dev/null || true
  wineserver -w >/dev/null 2>&1 </dev/null || true
  rm -rf "$WINEPREFIX"
}
