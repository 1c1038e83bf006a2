# scripts/lib/wine.sh - prefisso Wine privato del progetto (dentro build/), da includere con `.`.
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
  export WINEPREFIX="$RADICE/build/wine-wow64"
else
  WINE_32BIT=0
  WINE=/usr/lib/wine/wine64
  BUILD_WINE="$RADICE/build/win64"
  export WINEPREFIX="$RADICE/build/wine64"
fi

wine_avvia() {
  mkdir -p "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 </dev/null || true
  wineserver -w >/dev/null 2>&1 </dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creo il prefisso $WINEPREFIX (circa 15 s)"
    "$WINE" wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w >/dev/null 2>&1 </dev/null
  fi
  # Un secondo drive, S:, su una cartella del prefisso: le prove vi installano un ambiente duplicato.
  mkdir -p "$WINEPREFIX/secondo-drive"
  ln -sfn "$WINEPREFIX/secondo-drive" "$WINEPREFIX/dosdevices/s:"
  # Server persistente: i servizi restano vivi anche quando nessun altro programma gira.
  wineserver -p >/dev/null 2>&1 </dev/null
  "$WINE" wineboot >/dev/null 2>&1 </dev/null
}

wine_ferma() {
  wineserver -k >/dev/null 2>&1 </dev/null || true
}
