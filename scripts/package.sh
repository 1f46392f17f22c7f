#!/usr/bin/env bash
# Makes what an integrator downloads, into dist/:
#   korvane-display-VERSION-windows.zip  both DLLs (bin/x86, bin/x64), the tools as
#                                         Windows programs (bin/x64), the header,
#                                         the examples, README.txt, the licences,
#                                         SHA256SUMS
#   korvane-display_VERSION_amd64.deb    the library, header, pkg-config file and
#                                         the two tools, for Debian
#   korvane-display-VERSION-Linux.tar.gz the same files
# It builds what they need first: the Linux library and tools in
# build-package/ (Release, installed under /usr), the DLLs in build-win-i686/
# and build-win-x86_64/ with the x86_64 tools; then CPack packs each
# (`cmake --build DIR --target package`, see cmake/Packaging.cmake).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh

# (dpkg-shlibdeps, from dpkg-dev, finds the .deb's dependencies)
korvane_install package dpkg-dev file

echo "=== build-package: the library and the tools for the Linux packages"
bash scripts/setup.sh build-package -DCMAKE_INSTALL_PREFIX=/usr -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF
korvane_build build-package korvane korvane-simulator korvane-host

for arch in i686 x86_64; do
  echo "=== build-win-$arch: the DLL"
  korvane_configure_windows "$arch"
  korvane_build "build-win-$arch" korvane
  bash scripts/check_dll_exports.sh "build-win-$arch/lib/QORD_KORVANE_10.dll" "$arch"
done
echo "=== build-win-x86_64: the tools"
korvane_build build-win-x86_64 korvane-simulator korvane-host

mkdir -p dist
for dir in build-package build-win-x86_64; do
  echo "=== $dir: packing"
  rm -rf "$dir/packages"
  log=$(mktemp /tmp/korvane-cpack.XXXXXX.log)
  if ! cmake --build "$dir" --target package >"$log" 2>&1; then
    echo "package: packing $dir failed; the end of its log ($log):" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
  rm -f "$log"
  for file in "$dir"/packages/*.zip "$dir"/packages/*.deb "$dir"/packages/*.tar.gz; do
    [ -e "$file" ] || continue
    cp "$file" dist/
    echo "package: dist/$(basename "$file")"
  done
done
echo "=== package: done in $((SECONDS / 60)) min $((SECONDS % 60)) s"
