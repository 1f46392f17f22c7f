# Wine for the Windows programs of the tests, sourced after scripts/helpers.sh:
#   korvane_wine_setup PREFIX_DIR   installs what is missing, makes the prefix,
#                                   starts a persistent wineserver (and an X
#                                   display when there is none)
#   korvane_wine_loader             prints the loader that runs our programs
#   korvane_wine_stop               ends the server and the display again
# korvane_wine_setup exports WINEPREFIX, WINEDEBUG, KORVANE_WINE (the loader,
# for every Windows program) and KORVANE_WINE32: 1 where 32-bit programs run
# under Wine, else 0 with KORVANE_WINE32_REASON saying why.
#
# wine64 is always installed. wine32 (the i386 packages) is installed only
# where the kernel runs 32-bit programs: some 64-bit kernels refuse them
# ("Exec format error") although wine32 installs, and Debian's `wine` then
# picks the 32-bit loader for every program, 64-bit ones included. There every
# program, the prefix's own included, goes through the 64-bit loader, and the
# 32-bit runs are skipped. Where the kernel runs them, wine32 must install
# and run, or the set-up fails: a skip there would hide the 32-bit DLL.

# The loader for every program: Debian's `wine` (32-bit and 64-bit programs)
# where 32-bit programs run, else the 64-bit loader itself.
korvane_wine_loader() {
  if korvane_runs_32bit && [ -x /usr/lib/wine/wine ]; then
    echo wine
  else
    echo /usr/lib/wine/wine64
  fi
}

korvane_wine_setup() {
  local prefix=$1
  # (libcups2: Wine's spooler lists the CUPS queues through it; cups: the
  # private scheduler of the spool tests)
  korvane_install wine wine wine64 libcups2 cups || return 1
  export KORVANE_WINE32=0 KORVANE_WINE32_REASON=""
  if korvane_runs_32bit; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then korvane_sudo dpkg --add-architecture i386; fi
    korvane_install wine wine32:i386 || { echo "wine: this machine runs 32-bit programs, but wine32 would not install" >&2; return 1; }
    if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "wine: this machine runs 32-bit programs, but Wine's 32-bit loader does not start:" >&2
      /usr/lib/wine/wine --version >&2 || true
      return 1
    fi
    KORVANE_WINE32=1
    export KORVANE_WINE=wine
    unset WINELOADER
  else
    KORVANE_WINE32_REASON="this machine runs no 32-bit programs"
    echo "wine: $KORVANE_WINE32_REASON: every Windows program runs through the 64-bit loader"
    # (the programs Wine starts itself too, which go through WINELOADER)
    export KORVANE_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  fi
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  korvane_wine_display || return 1
  # A prefix made with other 32-bit support than now is made again.
  if [ -d "$WINEPREFIX" ] && [ "$(cat "$WINEPREFIX/.korvane-wine32" 2>/dev/null)" != "$KORVANE_WINE32" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: making the prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    local log
    log=$(mktemp /tmp/korvane-wine.XXXXXX.log)
    # (bounded: a prefix is made in seconds; a hung wineboot would hang the run)
    if ! timeout 300 "$KORVANE_WINE" wineboot.exe -i </dev/null >"$log" 2>&1; then
      echo "wine: making the prefix failed; the log is $log:" >&2
      tail -n 20 "$log" >&2
      return 1
    fi
    timeout 120 wineserver -w || true
    rm -f "$log"
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
}

# The X display Wine's windows go to: the caller's, else a private Xvfb
# server kept for the prefix (its process id in $WINEPREFIX.xvfb), started
# once and ended by korvane_wine_stop.
korvane_wine_display() {
  local pidfile=$WINEPREFIX.xvfb number=""
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  if [ -f "$pidfile" ] && kill -0 "$(sed -n 1p "$pidfile")" 2>/dev/null; then
    export DISPLAY=:$(sed -n 2p "$pidfile")
    return 0
  fi
  korvane_install wine xvfb || return 1
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
