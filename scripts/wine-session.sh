# Sourced by scripts/test and scripts/demo: a Wine prefix of our own and a
# persistent wine server for it, so each Windows program starts in a fraction
# of a second. wine_session_start PREFIX; ...; wine_session_stop.

WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver64
[ -x "$WINE_LOADER" ] || WINE_LOADER=$(command -v wine64 || command -v wine)
[ -x "$WINE_SERVER" ] || WINE_SERVER=$(command -v wineserver64 || command -v wineserver)

# The environment of every Wine program here, and its prefix made.
wine_prefix_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
}

wine_session_start() {
  wine_prefix_env "$1" || return 1
  export WINEDEBUG=-all
  "$WINE_SERVER" -p
  # The first program of a server's life starts Wine's background processes,
  # which inherit its handles: give them nothing a test reads from.
  "$WINE_LOADER" wineboot -i </dev/null >/dev/null 2>&1 || true
}

wine_session_stop() {
  [ -n "${WINEPREFIX:-}" ] && "$WINE_SERVER" -k 2>/dev/null || true
}
