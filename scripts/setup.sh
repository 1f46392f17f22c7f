#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and
# configures a build folder. Safe to run again.
#   scripts/setup.sh [BUILD_DIR] [extra cmake args...]
# The project's own builds are Release builds with warnings as errors; extra
# arguments come after those and override them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh

PACKAGES=(
  build-essential cmake pkg-config
  libpugixml-dev libasio-dev libcurl4-openssl-dev libssl-dev
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libpng-dev libcups2-dev cups cups-bsd
  libspdlog-dev libedit-dev
  chromium
  iproute2 openssl
  clang libclang-rt-14-dev
)
korvane_install setup "${PACKAGES[@]}"

BUILD_DIR="${1:-build}"
shift || true
korvane_configure "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DKORVANE_WERROR=ON "$@"
