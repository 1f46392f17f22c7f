#!/usr/bin/env bash
# Builds both Windows DLLs with one command, cross-compiled with mingw-w64:
#   scripts/build_windows.sh            -> build-win-i686/lib/QORD_KORVANE_10.dll (32-bit)
#                                          build-win-x86_64/lib/QORD_KORVANE_10.dll (64-bit)
# and checks their export tables (the eight calls, nothing else; undecorated
# on 32-bit). Installs the cross compilers and fetches the third-party sources
# first (scripts/windows_deps.sh), under build-win/deps.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
JOBS=${JOBS:-$(nproc)}
DEPS_DIR=$PWD/build-win/deps

bash scripts/windows_deps.sh "$DEPS_DIR"

for arch in i686 x86_64; do
  dir=build-win-$arch
  echo "=== $dir: configure and build"
  # The test programs, benchmarks and tools are off in a new build folder; a
  # folder that has them on (scripts/test.sh windows) keeps them.
  first=()
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    first=(-DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF -DKORVANE_BUILD_TOOLS=OFF)
  fi
  if ! out=$(cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake -DCMAKE_BUILD_TYPE=Release \
      -DKORVANE_WERROR=ON "${first[@]}" -DKORVANE_WINDOWS_DEPS_DIR="$DEPS_DIR" "$@" 2>&1); then
    printf '%s\n' "$out" >&2
    echo "build-windows: configuring $dir failed" >&2
    exit 1
  fi
  cmake --build "$dir" --target korvane -j"$JOBS" 2>&1 | korvane_progress "build $dir"
  ((PIPESTATUS[0] == 0)) || { echo "build-windows: building $dir failed" >&2; exit 1; }
  bash scripts/check_dll_exports.sh "$dir/lib/QORD_KORVANE_10.dll" $arch
done
