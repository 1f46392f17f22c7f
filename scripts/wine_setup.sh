#!/usr/bin/env bash
# Wine for the Windows test programs, installed when missing: wine64 always;
# wine32 (the i386 packages, for the 32-bit DLL's smoke run) when it can be
# had: an i386 package index that lags behind makes that install fail, and
# the 32-bit run is then skipped, never failed. The Wine prefix is made after
# wine32, so that it runs 32-bit programs too; a persistent wineserver keeps
# each test program's start short.
#   source scripts/wine_setup.sh PREFIX_DIR
# Exports WINEPREFIX, WINEDEBUG and KORVANE_WINE32 (1 or 0); on no wine32,
# KORVANE_WINE32_REASON says why. Without an X display (DISPLAY unset) Wine
# makes no window: a private Xvfb server (installed when missing) stands in,
# and DISPLAY names it.
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
  korvane_wine_display "$log" || return 1
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

# The X display Wine's windows go to: the caller's, else a private Xvfb
# server kept for the prefix (its process id in $WINEPREFIX.xvfb), started
# once and ended by korvane_wine_stop.
korvane_wine_display() {
  local log=$1 sudo="" pidfile=$WINEPREFIX.xvfb number
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
  if [ -f "$pidfile" ] && kill -0 "$(sed -n 1p "$pidfile")" 2>/dev/null; then
    export DISPLAY=:$(sed -n 2p "$pidfile")
    return 0
  fi
  if ! command -v Xvfb >/dev/null; then
    echo "wine: installing xvfb (a display for Wine's windows)"
    if ! $sudo apt-get install -y --no-install-recommends xvfb </dev/null >>"$log" 2>&1; then
      $sudo apt-get update </dev/null >>"$log" 2>&1 || true
      $sudo apt-get install -y --no-install-recommends xvfb </dev/null >>"$log" 2>&1 ||
        { echo "wine: installing xvfb failed; the log is $log" >&2; return 1; }
    fi
  fi
  # Xvfb picks a free display number and writes it once it accepts clients
  # (waited for 10 s at most); its output closed, as the server's.
  local numberfile
  numberfile=$(mktemp /tmp/korvane-xvfb.XXXXXX)
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$numberfile" </dev/null >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    number=$(cat "$numberfile")
    [ -n "$number" ] && break
    sleep 0.1
  done
  rm -f "$numberfile"
  if [ -z "$number" ]; then
    kill "$pid" 2>/dev/null || true
    echo "wine: Xvfb did not start" >&2
    return 1
  fi
  printf '%s\n%s\n' "$pid" "$number" >"$pidfile"
  export DISPLAY=:$number
}

korvane_wine_stop() {
  wineserver -k 2>/dev/null || true
  if [ -f "$WINEPREFIX.xvfb" ]; then
    kill "$(sed -n 1p "$WINEPREFIX.xvfb")" 2>/dev/null || true
    rm -f "$WINEPREFIX.xvfb"
  fi
}
