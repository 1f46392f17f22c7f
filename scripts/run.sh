#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds, and runs
# the demo sale against the embedded display simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
cmake --build build -j"$(nproc)" >/dev/null
exec build/tools/korvane-host demo --pace 500 "$@"
