#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds, and runs
# the demo sale against the embedded display simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh
bash scripts/setup.sh build
korvane_build build
exec build/tools/korvane-host demo --pace 500 "$@"
