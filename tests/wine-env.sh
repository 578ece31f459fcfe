# Sourced: the environment every Wine run of the tests and the bench shares.
# Argument: the run folder (ZUR_WINE_RUN); the prefix is its "prefix"
# subfolder.
[ -n "${1:-}" ] || { echo "wine-env.sh: no run folder given" >&2; exit 2; }
export ZUR_WINE_RUN="$1"
export WINEPREFIX="$ZUR_WINE_RUN/prefix"
export WINEDEBUG=-all
# No Mono or Gecko: the prefix is for console programs only.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
