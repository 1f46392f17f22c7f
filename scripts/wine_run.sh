#!/usr/bin/env bash
# Runs one Windows program under Wine: the emulator through which CTest runs
# the Windows test programs (cmake/mingw-common.cmake).
#   scripts/wine_run.sh PROGRAM.exe [ARGS...]
# The first Windows program of a Wine session starts Wine's own services
# (services.exe, rpcss, winedevice ...), and they inherit its standard output
# and error. They outlive the program, so a caller that reads the program's
# output until it ends (CTest does) would wait for them. The program's
# output goes to files instead and is passed on once the program has ended;
# its exit status is the script's.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/korvane-wine-run.XXXXXX") || exit 125
trap 'rm -rf "$dir"' EXIT
trap 'kill -TERM "$child" 2>/dev/null; exit 143' TERM INT
wine "$@" </dev/null >"$dir/out" 2>"$dir/err" &
child=$!
wait "$child"
status=$?
cat "$dir/out"
cat "$dir/err" >&2
exit "$status"
