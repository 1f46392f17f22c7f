#!/usr/bin/env bash
# Everything the Windows build needs that is not in the repository: the
# mingw-w64 cross compilers (Debian packages, installed when missing) and the
# sources of the third-party libraries the Windows DLL and its tests compile,
# taken from Debian's source packages through a private sources list under
# DEPS_DIR. The system's own package sources are left as they are.
#   scripts/windows_deps.sh [DEPS_DIR]      (default: build-win/deps)
# Leaves in DEPS_DIR:
#   src/pugixml-*/          pugixml's source package (compiled by the build)
#   src/cpp-httplib-*/      cpp-httplib's source package (httplib.h, for tests)
#   include/asio.hpp, asio/ Asio's headers, and nothing else of /usr/include
#   include/httplib.h       cpp-httplib's header
# GoogleTest is compiled from /usr/src/googletest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh

DEPS_DIR=$(mkdir -p "${1:-build-win/deps}" && cd "${1:-build-win/deps}" && pwd)

korvane_install windows-deps g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix dpkg-dev libasio-dev googletest nlohmann-json3-dev

# ---- the private sources list: the system's sources, as deb-src ------------
APT_DIR=$DEPS_DIR/apt
mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
: > "$APT_DIR/sources.list"
if [ -f /etc/apt/sources.list ]; then
  sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >> "$APT_DIR/sources.list"
fi
rm -f "$APT_DIR/sources.list.d/"*.sources
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  sed 's/^Types:.*/Types: deb-src/' "$f" > "$APT_DIR/sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >> "$APT_DIR/sources.list"
done
APT=(apt-get -o "Dir::Etc::SourceList=$APT_DIR/sources.list" -o "Dir::Etc::SourceParts=$APT_DIR/sources.list.d"
     -o "Dir::State::Lists=$APT_DIR/lists" -o "Dir::Cache=$APT_DIR/cache"
     -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")

mkdir -p "$DEPS_DIR/src" "$DEPS_DIR/include"
fetch_source() {  # package, directory glob
  local package=$1
  if compgen -G "$DEPS_DIR/src/$package-*/" >/dev/null; then return; fi
  if [ ! -f "$APT_DIR/updated" ]; then
    echo "windows-deps: reading the source package lists"
    korvane_sudo "${APT[@]}" update </dev/null 2>&1 | korvane_progress "windows-deps: apt-get update" quiet
    touch "$APT_DIR/updated"
  fi
  echo "windows-deps: fetching the source package $package"
  (cd "$DEPS_DIR/src" && "${APT[@]}" source -q "$package" </dev/null 2>&1 |
     korvane_progress "windows-deps: apt-get source $package" quiet)
  compgen -G "$DEPS_DIR/src/$package-*/" >/dev/null || {
    echo "windows-deps: the source package $package could not be fetched" >&2
    exit 1
  }
}
fetch_source pugixml
fetch_source cpp-httplib

# ---- headers: a folder of their own, never the system's /usr/include --------
ln -sfn /usr/include/asio.hpp "$DEPS_DIR/include/asio.hpp"
ln -sfn /usr/include/asio "$DEPS_DIR/include/asio"
httplib=$(compgen -G "$DEPS_DIR/src/cpp-httplib-*/httplib.h" | head -n1)
ln -sfn "$httplib" "$DEPS_DIR/include/httplib.h"
[ -d /usr/src/googletest ] || { echo "windows-deps: /usr/src/googletest is missing" >&2; exit 1; }
echo "windows-deps: ready in $DEPS_DIR"
