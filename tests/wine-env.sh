# Sourced: the environment every Wine run of the tests shares.
# Argument: the folder that holds the test prefixes.
#
# Each ctest run gets a prefix of its own, named after the ctest process
# (the parent of every test), so that runs side by side never share one.
export ZUR_TEST_WINE_RUN="$1/run-${ZUR_TEST_CTEST_PID:-$PPID}"
export WINEPREFIX="$ZUR_TEST_WINE_RUN/prefix"
export WINEDEBUG=-all
# No Mono or Gecko: the prefix is for console programs only.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
