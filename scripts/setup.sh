#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and
# configures the build folder. Safe to run again.
#   scripts/setup.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake pkg-config
  libpugixml-dev libasio-dev libcurl4-openssl-dev libssl-dev
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libpng-dev libcups2-dev cups cups-bsd
  chromium
  iproute2 openssl
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  # A fresh machine has no package lists yet; refresh them when an install fails.
  if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/tmp/korvane-apt.log 2>&1; then
    $SUDO apt-get update -q >>/tmp/korvane-apt.log 2>&1
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >>/tmp/korvane-apt.log 2>&1 \
      || { tail -30 /tmp/korvane-apt.log; exit 1; }
  fi
fi

BUILD_DIR="${1:-build}"
shift || true
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
echo "setup: configured $BUILD_DIR"
