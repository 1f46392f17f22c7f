#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and
# configures a build folder. Safe to run again.
#   scripts/setup.sh [BUILD_DIR] [extra cmake args...]
# The project's own builds are Release builds with warnings as errors; extra
# arguments come after those and override them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh

PACKAGES=(
  build-essential cmake pkg-config
  libpugixml-dev libasio-dev libcurl4-openssl-dev libssl-dev
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libpng-dev libcups2-dev cups cups-bsd
  libspdlog-dev
  chromium
  iproute2 openssl
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${#missing[@]} package(s): ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  log=$(mktemp /tmp/korvane-apt.XXXXXX.log)
  apt_install() {  # [quiet]
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}" </dev/null 2>&1 | tee -a "$log" |
      korvane_progress "setup: apt-get install" "${1:-}"
    return "${PIPESTATUS[0]}"
  }
  # A fresh machine may have no package lists yet, or old ones: refresh them
  # when an install fails.
  if ! apt_install quiet; then
    echo "setup: refreshing the package lists"
    $SUDO apt-get update 2>&1 </dev/null | tee -a "$log" | korvane_progress "setup: apt-get update" quiet
    if ! apt_install; then
      echo "setup: installing failed; the whole log is $log:" >&2
      cat "$log" >&2
      exit 1
    fi
  fi
  echo "setup: installed (log: $log)"
fi

BUILD_DIR="${1:-build}"
shift || true
echo "setup: configuring $BUILD_DIR"
if ! out=$(cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DKORVANE_WERROR=ON "$@" 2>&1); then
  printf '%s\n' "$out" >&2
  echo "setup: configuring $BUILD_DIR failed" >&2
  exit 1
fi
echo "setup: configured $BUILD_DIR"
