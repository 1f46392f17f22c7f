#!/usr/bin/env bash
# Builds the Windows DLLs with one command, cross-compiled with mingw-w64:
#   scripts/build_windows.sh [ARCH...]   (default: i686 x86_64)
#     i686   -> build-win-i686/lib/QORD_KORVANE_10.dll   (32-bit)
#     x86_64 -> build-win-x86_64/lib/QORD_KORVANE_10.dll (64-bit)
# and checks their export tables (the eight calls, nothing else; undecorated
# and __stdcall on 32-bit). The cross compilers and the third-party sources
# come first (scripts/windows_deps.sh, under build-win/deps).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh

(($#)) || set -- i686 x86_64
for arch in "$@"; do
  dir=build-win-$arch
  echo "=== $dir: the DLL"
  korvane_configure_windows "$arch"
  korvane_build "$dir" korvane
  bash scripts/check_dll_exports.sh "$dir/lib/QORD_KORVANE_10.dll" "$arch"
done
