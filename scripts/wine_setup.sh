#!/usr/bin/env bash
# Wine for the Windows test programs, installed when missing: wine64 always;
# wine32 (the i386 packages, for the 32-bit DLL's smoke run) when it can be
# had: an i386 package index that lags behind makes that install fail, and
# the 32-bit run is then skipped, never failed. The Wine prefix is made after
# wine32, so that it runs 32-bit programs too; a persistent wineserver keeps
# each test program's start short.
#   source scripts/wine_setup.sh PREFIX_DIR
# Exports WINEPREFIX, WINEDEBUG and KORVANE_WINE32 (1 or 0); on no wine32,
# KORVANE_WINE32_REASON says why.
korvane_wine_setup() {
  local prefix=$1 sudo="" log
  if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
  log=$(mktemp /tmp/korvane-wine.XXXXXX.log)
  export DEBIAN_FRONTEND=noninteractive
  if ! command -v wine >/dev/null || [ ! -x /usr/lib/wine/wine64 ]; then
    echo "wine: installing wine64"
    if ! $sudo apt-get install -y --no-install-recommends wine wine64 </dev/null >>"$log" 2>&1; then
      $sudo apt-get update </dev/null >>"$log" 2>&1 || true
      $sudo apt-get install -y --no-install-recommends wine wine64 </dev/null >>"$log" 2>&1 ||
        { echo "wine: installing wine64 failed; the log is $log" >&2; return 1; }
    fi
  fi
  export KORVANE_WINE32=0 KORVANE_WINE32_REASON=""
  if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    KORVANE_WINE32=1
  else
    echo "wine: installing wine32 (i386)"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
    if $sudo apt-get update </dev/null >>"$log" 2>&1 &&
        $sudo apt-get install -y --no-install-recommends wine32:i386 </dev/null >>"$log" 2>&1; then
      KORVANE_WINE32=1
    else
      KORVANE_WINE32_REASON="wine32 (i386) could not be installed (the i386 package index may lag); log: $log"
      echo "wine: $KORVANE_WINE32_REASON"
    fi
  fi
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # A prefix made before wine32 was there runs no 32-bit program: made again.
  if [ -d "$WINEPREFIX" ] && [ "$(cat "$WINEPREFIX/.korvane-wine32" 2>/dev/null)" != "$KORVANE_WINE32" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: making the prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >>"$log" 2>&1 || { echo "wine: making the prefix failed; the log is $log" >&2; return 1; }
    wineserver -w
    echo "$KORVANE_WINE32" >"$WINEPREFIX/.korvane-wine32"
  fi
  # The persistent server: started once, ended by korvane_wine_stop.
  # (its output closed, so that it holds no pipe of the caller open)
  # (exit status 2: a server already runs for this prefix, which will do)
  local status=0
  wineserver -p </dev/null >/dev/null 2>&1 || status=$?
  if ((status != 0 && status != 2)); then
    echo "wine: starting the wineserver failed (exit $status)" >&2
    return 1
  fi
  rm -f "$log"
}

korvane_wine_stop() { wineserver -k 2>/dev/null || true; }
