#!/usr/bin/env bash
# The smoke run of the 32-bit Windows DLL: builds the DLL and the smoke host
# (tests/e2e/smoke_host.cpp) in build-win-i686/ and runs the host under Wine
# through CTest. Where this machine runs no 32-bit programs it prints
# "windows-smoke: skipped: <reason>" and succeeds; where it runs them, a
# set-up that cannot run them fails.
#   scripts/windows_smoke.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh
source scripts/wine_setup.sh
dir=build-win-i686

# A caller that set Wine up itself (WINEPREFIX exported) keeps its server and
# display; else they are this script's and end with it.
if [ -z "${WINEPREFIX:-}" ]; then trap korvane_wine_stop EXIT; fi
korvane_wine_setup "$PWD/build-win/wine-prefix" || { echo "windows-smoke: setting up Wine failed" >&2; exit 1; }
if [ "$KORVANE_WINE32" != 1 ]; then
  echo "windows-smoke: skipped: $KORVANE_WINE32_REASON"
  exit 0
fi

echo "=== $dir: the DLL and the smoke host"
korvane_configure_windows i686
korvane_build "$dir" korvane korvane_smoke_host
echo "=== $dir: the smoke run under wine32"
# The prefix's services (services.exe, winedevice.exe ...) start with the
# first program and stay with the server: started here with no output, so
# that none of them holds CTest's output pipe open after the test ended.
timeout 120 "$KORVANE_WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
ctest --test-dir "$dir" -L smoke --no-tests=error --output-on-failure --timeout 120
echo "windows-smoke: passed"
