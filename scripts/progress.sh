# Progress for the set-up and build steps, sourced by the other scripts.
#   korvane_progress LABEL   reads a tool's output on standard input: lines
#       that only show progress (CMake's "[ 42%] Building ...", apt's "Get:",
#       "Unpacking", "Setting up") become one status line, rewritten in place
#       on a terminal and printed at every tenth of the way otherwise; every
#       other line (warnings, errors) is printed in full, unless a second
#       argument "quiet" says that the caller shows them itself.
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

# korvane_build DIR [JOBS]: builds DIR with CMake's progress on one line and
# every warning and error in full; fails when the build fails.
korvane_build() {
  local dir=$1 jobs=${2:-$(nproc)}
  cmake --build "$dir" -j"$jobs" 2>&1 | korvane_progress "build $dir"
  local status=${PIPESTATUS[0]}
  if ((status != 0)); then
    echo "build $dir: failed (exit $status)" >&2
    return "$status"
  fi
  echo "build $dir: done"
}
