#!/usr/bin/env bash
# Checks the packages in DIST (default dist/, made by scripts/package.sh) as an
# integrator meets them:
#   the ZIP    holds exactly the files it should, each with its SHA-256; both
#              DLLs export exactly the eight calls; their version information
#              reads back through GetFileVersionInfoW (a Windows test program
#              under wine64) and equals the VERSION call's; from the unpacked
#              ZIP under wine64 the host tool's demo passes, with and without
#              the frozen display, the simulator answers /faults and /state,
#              and the host tool's demo and shell work on it
#   the .deb   names its dependencies, unpacks the right files, and
#              pkg-config finds the library in the unpacked root, where the
#              host tool runs the demo with it; lintian finds no error
#   the .tar.gz holds the same files
#   scripts/package_test.sh [DIST]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh
dist=$(cd "${1:-dist}" && pwd)
korvane_install package-test unzip curl pkg-config dpkg-dev lintian
work=$(mktemp -d /tmp/korvane-package-test.XXXXXX)
sim_pid=""
wine_started=0
finish() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if ((wine_started)); then korvane_wine_stop; fi
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "package-test: $*" >&2
  exit 1
}
# expect_same WHAT EXPECTED ACTUAL: two sorted lists of files, equal
expect_same() {
  if [ "$2" != "$3" ]; then
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") >&2 || true
    fail "$1 does not hold exactly the files it should (< expected, > found)"
  fi
  echo "package-test: $1: exactly the $(printf '%s\n' "$3" | wc -l) files it should"
}
one() {  # the one file of DIST matching a pattern
  local found=("$dist"/$1)
  ((${#found[@]} == 1)) && [ -e "${found[0]}" ] || fail "no single $1 in $dist"
  echo "${found[0]}"
}
zip=$(one "korvane-display-*-windows.zip")
deb=$(one "korvane-display_*.deb")
tgz=$(one "korvane-display-*-Linux.tar.gz")

# ---- the ZIP -------------------------------------------------------------
examples=$(cd examples && ls *.xml | sed 's|^|examples/|')
expected=$(sort <<EOF2
bin/x86/QORD_KORVANE_10.dll
bin/x64/QORD_KORVANE_10.dll
bin/x64/korvane-simulator.exe
bin/x64/korvane-host.exe
include/korvane_display.h
README.txt
SHA256SUMS
licenses/pugixml.txt
licenses/cpp-httplib.txt
licenses/asio.txt
licenses/nlohmann-json.txt
licenses/mingw-w64-runtime.txt
licenses/gcc-runtime-libraries.txt
$examples
EOF2
)
top=$(basename "$zip" .zip)
actual=$(unzip -Z1 "$zip" | grep -v '/$' | sed "s|^$top/||" | sort)
expect_same "$(basename "$zip")" "$expected" "$actual"
unzip -q "$zip" -d "$work/zip"
root=$work/zip/$top
(cd "$root" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
bash scripts/check_dll_exports.sh "$root/bin/x86/QORD_KORVANE_10.dll" i686
bash scripts/check_dll_exports.sh "$root/bin/x64/QORD_KORVANE_10.dll" x86_64

source scripts/wine_setup.sh
korvane_wine_setup "$KORVANE_ROOT/build-win/wine-prefix"
wine_started=1
# The version information: the Windows test program reads it from both DLLs
# (the 32-bit one as a file) and compares it with what VERSION answers.
korvane_build build-win-x86_64 tests_e2e
KORVANE_VERSION_RESOURCE_DLLS="Z:$root/bin/x86/QORD_KORVANE_10.dll;Z:$root/bin/x64/QORD_KORVANE_10.dll" \
  timeout 120 scripts/wine_run.sh build-win-x86_64/tests/tests_e2e.exe --gtest_filter='VersionResource.*' \
  >"$work/version.log" 2>&1 || { cat "$work/version.log" >&2; fail "the DLLs' version information"; }
echo "package-test: version information of both DLLs read back under Wine and equal to VERSION's"

# From the unpacked ZIP, as an integrator would try it (bin/x64: the DLL
# beside the tools).
cd "$root/bin/x64"
timeout 120 "$KORVANE_WINE" korvane-host.exe demo </dev/null >"$work/demo.log" 2>&1 ||
  { cat "$work/demo.log" >&2; fail "korvane-host.exe demo failed"; }
grep -q "^Library: .*bin\\\\x64\\\\QORD_KORVANE_10.dll" "$work/demo.log" &&
  grep -q "^Summary: 15 calls, 15 ok, 0 failed" "$work/demo.log" ||
  { cat "$work/demo.log" >&2; fail "korvane-host.exe demo: not every call ok with the DLL beside it"; }
echo "package-test: korvane-host.exe demo: $(grep '^Summary' "$work/demo.log")"
timeout 120 "$KORVANE_WINE" korvane-host.exe demo --faults </dev/null >"$work/faults.log" 2>&1 ||
  { cat "$work/faults.log" >&2; fail "korvane-host.exe demo --faults failed"; }
grep -q "^Summary: 15 calls, 12 ok, 3 failed" "$work/faults.log" &&
  grep -q "^While the display was frozen: 3 of 3 calls failed, 3 of them within" "$work/faults.log" ||
  { cat "$work/faults.log" >&2; fail "korvane-host.exe demo --faults: not only the frozen steps failed in bound"; }
echo "package-test: korvane-host.exe demo --faults: $(grep '^While' "$work/faults.log")"
if timeout 60 "$KORVANE_WINE" korvane-host.exe demo --screenshots shots </dev/null >"$work/shots.log" 2>&1 ||
   ! grep -q "not available on Windows" "$work/shots.log"; then
  cat "$work/shots.log" >&2
  fail "korvane-host.exe demo --screenshots does not say it is not available on Windows"
fi

# The simulator on its own: its page's port answers /faults and /state and
# switches a fault.
timeout 120 "$KORVANE_WINE" korvane-simulator.exe --port 0 --web-port 0 </dev/null >"$work/sim.log" 2>&1 &
sim_pid=$!
url=""
for _ in $(seq 300); do
  url=$(sed -n 's/^korvane-simulator: customer screen on \(http[^ ]*\)$/\1/p' "$work/sim.log" | tr -d '\r')
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { cat "$work/sim.log" >&2; fail "korvane-simulator.exe printed no page address within 30 s"; }
get() {  # the page's answer to "$@", tried for at most 10 s while the server starts
  local answer
  for _ in $(seq 20); do
    answer=$(curl -s -m 5 "$@") && [ -n "$answer" ] && { echo "$answer"; return 0; }
    sleep 0.5
  done
  return 1
}
faults=$(get "${url}faults") || fail "korvane-simulator.exe: no answer to GET /faults"
grep -q '"stopReading":false' <<<"$faults" || fail "GET /faults answered $faults"
state=$(get "${url}state") || fail "korvane-simulator.exe: no answer to GET /state"
grep -q '"screen":"waiting"' <<<"$state" || fail "GET /state answered ${state:0:300}"
# The host tool against it: the demo on that display, and the shell reading
# its commands from a pipe.
display=$(sed -n 's/^korvane-simulator: display protocol on \([0-9.:]*\).*$/\1/p' "$work/sim.log" | tr -d '\r')
timeout 120 "$KORVANE_WINE" korvane-host.exe demo --display "$display" </dev/null >"$work/display.log" 2>&1 &&
  grep -q "^Summary: 15 calls, 15 ok, 0 failed" "$work/display.log" ||
  { cat "$work/display.log" >&2; fail "korvane-host.exe demo --display $display failed"; }
printf 'message "Hello" "from the shell"\nquit\n' |
  timeout 120 "$KORVANE_WINE" korvane-host.exe shell --display "$display" >"$work/shell.log" 2>&1 ||
  { cat "$work/shell.log" >&2; fail "korvane-host.exe shell failed"; }
[ "$(grep -c "^Result: 0" "$work/shell.log")" = 2 ] ||
  { cat "$work/shell.log" >&2; fail "korvane-host.exe shell: OPEN and MESSAGE did not both answer 0"; }
grep -q '"text2":"from the shell"' <<<"$(get "${url}state")" || fail "the shell's MESSAGE is not on the display"
switched=$(get -X POST -d '{"stopReading":true}' "${url}faults") || fail "no answer to POST /faults"
grep -q '"stopReading":true' <<<"$switched" || fail "POST /faults answered $switched"
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=""
echo "package-test: korvane-simulator.exe answered GET /faults, GET /state and POST /faults at $url;" \
  "korvane-host.exe ran the demo on it and its shell showed a message there"
cd "$KORVANE_ROOT"

# ---- the .deb and the .tar.gz ---------------------------------------------
info=$(dpkg-deb --info "$deb")
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for needed in libc6 libstdc++6 libcurl4 libpugixml1v5 libedit2 libcpp-httplib; do
  grep -q "$needed" <<<"$depends" || fail "$(basename "$deb") does not depend on $needed: Depends: $depends"
done
echo "package-test: $(basename "$deb"): Depends: $depends"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
expected=$(sort <<EOF2
usr/bin/korvane-host
usr/bin/korvane-simulator
usr/include/korvane_display.h
usr/lib/$multiarch/QORD_KORVANE_10.so
usr/lib/$multiarch/pkgconfig/korvane_display.pc
usr/share/doc/korvane-display/changelog.gz
usr/share/doc/korvane-display/copyright
EOF2
)
dpkg -x "$deb" "$work/deb"
expect_same "$(basename "$deb")" "$expected" "$(cd "$work/deb" && find . -type f | sed 's|^\./||' | sort)"
mkdir "$work/tgz"
tar -xzf "$tgz" -C "$work/tgz"
expect_same "$(basename "$tgz")" "$(sed 's|^usr/||' <<<"$expected")" \
  "$(cd "$work/tgz"/*/ && find . -type f | sed 's|^\./||' | sort)"
# pkg-config in the unpacked root, as a host's build asks it.
pc_library=$(PKG_CONFIG_PATH="$work/deb/usr/lib/$multiarch/pkgconfig" pkg-config --variable=library korvane_display)
pc_cflags=$(PKG_CONFIG_PATH="$work/deb/usr/lib/$multiarch/pkgconfig" pkg-config --cflags korvane_display)
[ "$(realpath "$pc_library")" = "$work/deb/usr/lib/$multiarch/QORD_KORVANE_10.so" ] ||
  fail "pkg-config --variable=library gives $pc_library"
pc_include=$(sed 's/^-I//; s/[[:space:]]*$//' <<<"$pc_cflags")
[ "$(realpath "$pc_include")" = "$work/deb/usr/include" ] || fail "pkg-config --cflags gives $pc_cflags"
echo "package-test: pkg-config finds the library and the header in the unpacked root"
# The unpacked tool finds the library of its package.
timeout 60 "$work/deb/usr/bin/korvane-host" demo </dev/null >"$work/deb-demo.log" 2>&1 ||
  { cat "$work/deb-demo.log" >&2; fail "the .deb's korvane-host demo failed"; }
grep -q "^Library: $work/deb/usr/lib/$multiarch/QORD_KORVANE_10.so" "$work/deb-demo.log" ||
  { cat "$work/deb-demo.log" >&2; fail "the .deb's korvane-host did not load the library of its package"; }
echo "package-test: the .deb's korvane-host demo: $(grep '^Summary' "$work/deb-demo.log")"

lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
grep -v "running with root privileges" "$work/lintian.log" | sed 's/^/package-test: lintian: /' || true
if grep -q "^E: " "$work/lintian.log"; then fail "lintian reports errors on $(basename "$deb")"; fi
echo "package-test: lintian: no errors ($(grep -c '^W: ' "$work/lintian.log" || true) warnings)"
