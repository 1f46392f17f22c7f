#!/usr/bin/env bash
# The smoke run of the 32-bit Windows DLL: builds the DLL and the smoke host
# (tests/e2e/smoke_host.cpp) in build-win-i686/ and runs the host under Wine
# through CTest. Without wine32 (KORVANE_WINE32=0 from scripts/wine_setup.sh)
# it prints "windows-smoke: skipped: <reason>" and succeeds.
#   scripts/windows_smoke.sh [extra cmake arguments]
# The folder is the one scripts/build_windows.sh builds the DLL in, with the
# same settings: the DLL is built once for both.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
source scripts/wine_setup.sh
JOBS=${JOBS:-$(nproc)}
DEPS_DIR=$PWD/build-win/deps
dir=build-win-i686

# A caller that set Wine up itself (WINEPREFIX exported) keeps its server and
# display; else they are this script's and end with it.
if [ -z "${WINEPREFIX:-}" ]; then trap korvane_wine_stop EXIT; fi
# (called in a condition: its "wineserver -p" fails when a server already runs)
korvane_wine_setup "$PWD/build-win/wine-prefix" || { echo "windows-smoke: setting up Wine failed" >&2; exit 1; }
if [ "$KORVANE_WINE32" != 1 ]; then
  echo "windows-smoke: skipped: ${KORVANE_WINE32_REASON:-no wine32}"
  exit 0
fi

bash scripts/windows_deps.sh "$DEPS_DIR"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "=== $dir: configure and build the DLL and the smoke host"
if ! out=$(cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DKORVANE_WERROR=ON -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF -DKORVANE_BUILD_TOOLS=OFF \
    -DKORVANE_BUILD_SMOKE=ON -DKORVANE_WINDOWS_DEPS_DIR="$DEPS_DIR" "${launcher[@]}" "$@" 2>&1); then
  printf '%s\n' "$out" >&2
  echo "windows-smoke: configuring $dir failed" >&2
  exit 1
fi
cmake --build "$dir" --target korvane korvane_smoke_host -j"$JOBS" 2>&1 | korvane_progress "build $dir"
((PIPESTATUS[0] == 0)) || { echo "windows-smoke: building $dir failed" >&2; exit 1; }
bash scripts/check_dll_exports.sh "$dir/lib/QORD_KORVANE_10.dll" i686
echo "=== $dir: the smoke run under wine32"
# The prefix's services (services.exe, winedevice.exe ...) start with the
# first program and stay with the server: started here with no output, so
# that none of them holds CTest's output pipe open after the test ended.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
ctest --test-dir "$dir" -L smoke --output-on-failure --timeout 120
