# The shell helpers of the project's scripts, sourced by each of them (and
# sourcing nothing else). Every script then reads as its steps.
#   korvane_sudo CMD...            CMD as root: itself when we are root, else through sudo
#   korvane_install LABEL PKG...   installs the Debian packages of PKG... that are missing
#   korvane_progress LABEL [quiet] one status line for a tool's progress output
#   korvane_configure DIR ARGS...  configures the build folder DIR with CMake
#   korvane_build DIR [TARGET...]  builds DIR (or those targets of it)
#   korvane_configure_windows ARCH the one configuration of build-win-ARCH
#   korvane_runs_32bit             whether this machine runs 32-bit x86 programs
# JOBS (default: the number of cores) is the builds' parallelism.
KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

korvane_sudo() {
  if [ "$(id -u)" = 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

# korvane_install LABEL PKG...: installs those of the packages (NAME or
# NAME:ARCH) that are not installed yet, with a one-line progress count. A
# fresh machine may have no package lists yet, or old ones: when the install
# fails, the lists are refreshed once and the install tried again. Fails with
# the end of apt's log (and where the whole log is) when that fails too.
korvane_install() {
  local label=$1 p log
  shift
  local missing=()
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null; then
      missing+=("$p")
    fi
  done
  ((${#missing[@]})) || return 0
  echo "$label: installing ${#missing[@]} package(s): ${missing[*]}"
  log=$(mktemp /tmp/korvane-apt.XXXXXX.log)
  if ! _korvane_apt "$label" "$log" install -y --no-install-recommends "${missing[@]}"; then
    echo "$label: refreshing the package lists"
    _korvane_apt "$label" "$log" update || true
    if ! _korvane_apt "$label" "$log" install -y --no-install-recommends "${missing[@]}"; then
      echo "$label: installing ${missing[*]} failed; the end of the log ($log):" >&2
      tail -n 40 "$log" >&2
      return 1
    fi
  fi
  echo "$label: installed (log: $log)"
}

# _korvane_apt LABEL LOG ARGS...: apt-get ARGS as root, without questions,
# its output appended to LOG and shown as progress.
_korvane_apt() {
  local label=$1 log=$2
  shift 2
  korvane_sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@" </dev/null 2>&1 | tee -a "$log" |
    korvane_progress "$label: apt-get $1" quiet
  return "${PIPESTATUS[0]}"
}

# Progress: reads a tool's output on standard input: lines that only show
# progress (CMake's "[ 42%] Building ...", apt's "Get:", "Unpacking",
# "Setting up") become one status line, rewritten in place on a terminal and
# printed at every tenth of the way otherwise; every other line (warnings,
# errors) is printed in full, unless a second argument "quiet" says that the
# caller shows them itself.
korvane_progress() {
  local label=$1 quiet=${2:-} line percent last_shown=-10 count=0 tty=0 cols=100
  if [ -t 1 ]; then
    tty=1
    cols=$(tput cols 2>/dev/null || echo 100)
  fi
  while IFS= read -r line; do
    percent=""
    if [[ $line =~ ^\[\ *([0-9]+)%\] ]]; then
      percent=${BASH_REMATCH[1]}
    elif [[ $line =~ ^(Get:|Unpacking|Setting\ up|Selecting|Preparing) ]]; then
      count=$((count + 1))
    else
      if [ "$quiet" != quiet ]; then
        ((tty)) && printf '\r\033[K'
        printf '%s\n' "$line"
      fi
      continue
    fi
    local status
    if [ -n "$percent" ]; then
      status="$label: [${percent}%] ${line#*] }"
    else
      status="$label: step $count: $line"
    fi
    if ((tty)); then
      printf '\r\033[K%s' "${status:0:$((cols - 1))}"
    elif [ -n "$percent" ] && ((percent >= last_shown + 10)); then
      printf '%s\n' "$label: [${percent}%]"
      last_shown=$percent
    elif [ -z "$percent" ] && ((count % 25 == 1)); then
      printf '%s\n' "$status"
    fi
  done
  ((tty)) && printf '\r\033[K'
  return 0
}

# korvane_configure DIR ARGS...: configures the build folder DIR of the
# project with CMake and ARGS; CMake's output is shown only when it fails.
korvane_configure() {
  local dir=$1 out
  shift
  echo "configure $dir"
  if ! out=$(cmake -S "$KORVANE_ROOT" -B "$dir" "$@" 2>&1); then
    printf '%s\n' "$out" >&2
    echo "configure $dir: failed" >&2
    return 1
  fi
}

# korvane_build DIR [TARGET...]: builds DIR (all of it, or the targets named)
# with CMake's progress on one line and every warning and error in full;
# fails when the build fails.
korvane_build() {
  local dir=$1 targets=()
  shift
  (($#)) && targets=(--target "$@")
  cmake --build "$dir" -j"$JOBS" "${targets[@]}" 2>&1 | korvane_progress "build $dir"
  local status=${PIPESTATUS[0]}
  if ((status != 0)); then
    echo "build $dir: failed (exit $status)" >&2
    return "$status"
  fi
  echo "build $dir: done"
}

# korvane_configure_windows ARCH: the cross-compiled build folder
# build-win-ARCH (i686 or x86_64), configured the one way it is ever
# configured, after the Windows build's dependencies are in place
# (scripts/windows_deps.sh). Each holds its DLL and the test programs;
# build-win-i686, the 32-bit DLL real tills load, the smoke host too;
# build-win-x86_64 the tools as Windows programs (the Windows package's).
korvane_configure_windows() {
  local arch=$1 deps=$KORVANE_ROOT/build-win/deps
  bash "$KORVANE_ROOT/scripts/windows_deps.sh" "$deps" || return 1
  local args=(-DCMAKE_TOOLCHAIN_FILE="$KORVANE_ROOT/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release
              -DKORVANE_WERROR=ON -DKORVANE_WINDOWS_DEPS_DIR="$deps" -DKORVANE_BUILD_BENCH=OFF)
  case "$arch" in
    i686) args+=(-DKORVANE_BUILD_TESTS=ON -DKORVANE_BUILD_SMOKE=ON -DKORVANE_BUILD_TOOLS=OFF) ;;
    x86_64) args+=(-DKORVANE_BUILD_TESTS=ON -DKORVANE_BUILD_TOOLS=ON) ;;
    *) echo "korvane_configure_windows: no such architecture: $arch" >&2; return 2 ;;
  esac
  korvane_configure "$KORVANE_ROOT/build-win-$arch" "${args[@]}"
}

# korvane_runs_32bit: whether the kernel runs 32-bit x86 programs. Some
# 64-bit kernels refuse them ("Exec format error") although the i386 packages
# install. Asked of a program of 93 bytes written here, which only ends
# (_exit(0) through int 0x80), so that the answer needs no 32-bit package.
korvane_runs_32bit() {
  local probe status=0
  probe=$(mktemp /tmp/korvane-elf32.XXXXXX) || return 1
  # ELF header (52 bytes), one loadable segment at 0x08048000 (32 bytes), then
  # the code: xor ebx,ebx; mov eax,1; int 0x80.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return "$status"
}
