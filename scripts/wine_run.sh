#!/usr/bin/env bash
# Runs one Windows program under Wine: the emulator through which CTest runs
# the Windows test programs (cmake/mingw-common.cmake).
#   scripts/wine_run.sh PROGRAM.exe [ARGS...]
# The loader is KORVANE_WINE, as scripts/wine_setup.sh chose it (where it is
# not set: the one this machine can run, see korvane_wine_loader).
# The first Windows program of a Wine session starts Wine's own services
# (services.exe, rpcss, winedevice ...), and they inherit its standard output
# and error. They outlive the program, so a caller that reads the program's
# output until it ends (CTest does) would wait for them. The program's
# output goes to files instead and is passed on once the program has ended;
# its exit status is the script's.
set -u
if [ -z "${KORVANE_WINE:-}" ]; then
  source "$(dirname "$0")/helpers.sh"
  source "$(dirname "$0")/wine_setup.sh"
  KORVANE_WINE=$(korvane_wine_loader)
  [ "$KORVANE_WINE" = wine ] || export WINELOADER=$KORVANE_WINE
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/korvane-wine-run.XXXXXX") || exit 125
trap 'rm -rf "$dir"' EXIT
trap 'kill -TERM "$child" 2>/dev/null; exit 143' TERM INT
"$KORVANE_WINE" "$@" </dev/null >"$dir/out" 2>"$dir/err" &
child=$!
wait "$child"
status=$?
cat "$dir/out"
cat "$dir/err" >&2
exit "$status"
