# scripts/lib/build.sh - le build del progetto, da includere con `.` (RADICE impostata).
: "${RADICE:?}"
JOBS=$(nproc 2>/dev/null || echo 2)

# configura DIR [opzioni cmake...]: configura la prima volta e ogni volta che le opzioni cambiano
# (una cache con altre opzioni, o un'altra toolchain, si butta: nessun valore vecchio resta).
configura() {
  local dir=$1; shift
  local opzioni="$*"
  if [ -f "$dir/build.ninja" ] && [ "$(cat "$dir/.opzioni" 2>/dev/null)" = "$opzioni" ]; then
    return 0
  fi
  rm -f "$dir/CMakeCache.txt" "$dir/.opzioni"
  cmake -S "$RADICE" -B "$dir" -G Ninja "$@" >"$dir.configura.log" 2>&1 || { cat "$dir.configura.log"; return 1; }
  printf '%s' "$opzioni" >"$dir/.opzioni"
}

build_host() {
  mkdir -p "$RADICE/build"
  configura "$RADICE/build/host" -DSANITIZZA=ON && cmake --build "$RADICE/build/host" -j "$JOBS"
}

build_win32() {
  mkdir -p "$RADICE/build"
  configura "$RADICE/build/win32" -DCMAKE_TOOLCHAIN_FILE="$RADICE/cmake/i686-mingw32.cmake" &&
    cmake --build "$RADICE/build/win32" -j "$JOBS"
}

build_win64() {
  mkdir -p "$RADICE/build"
  configura "$RADICE/build/win64" -DCMAKE_TOOLCHAIN_FILE="$RADICE/cmake/x86_64-mingw32.cmake" \
    -DPRODOTTO_WIN32="$RADICE/build/win32/tarnel.exe" && cmake --build "$RADICE/build/win64" -j "$JOBS"
}
