#!/usr/bin/env bash
# Instructions per call, counted by callgrind: the benchmark host
# (message_exchange_bench) calls the export N1 and then N2 times against its
# minimal in-process peer, and the difference of the two totals over
# N2 - N1 is one call's cost, with everything that happens once (loading,
# OPEN, the peer's start, the exit) left out. Every thread counts: the call's,
# the library's log thread and the peer's. The bare client against the same
# peer is counted the same way, and the difference of the two is the
# library's own work per call.
#   bench/callgrind_calls.sh [BUILD_DIR] [REQUEST...]
# REQUEST: message, receipt (ten lines), open; all three by default.
# N1 and N2 come from CALLS_FEW / CALLS_MANY (100 and 400); LIBRARY=PATH
# counts another build of the library (e.g. the one before a change) in the
# same host.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh

BUILD_DIR=${1:-build}
shift || true
REQUESTS=("$@")
((${#REQUESTS[@]})) || REQUESTS=(message receipt open)
FEW=${CALLS_FEW:-100}
MANY=${CALLS_MANY:-400}
((MANY > FEW)) || { echo "CALLS_MANY must exceed CALLS_FEW" >&2; exit 2; }

korvane_install callgrind valgrind
HOST=$BUILD_DIR/bench/message_exchange_bench
[[ -x $HOST ]] || korvane_build "$BUILD_DIR" message_exchange_bench
LIBRARY_ARGS=()
[[ -n ${LIBRARY:-} ]] && LIBRARY_ARGS=(--library "$LIBRARY")

OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT

# total REQUEST SIDE CALLS: the instructions callgrind counts for the whole
# run (every thread).
total() {
  local file=$OUT/$1-$2-$3.out
  # Bounded: a run of a few hundred exchanges takes seconds under callgrind.
  timeout 600 valgrind --tool=callgrind --callgrind-out-file="$file" \
    "$HOST" --request "$1" --only "$2" --rounds 1 --calls "$3" "${LIBRARY_ARGS[@]}" >/dev/null 2>"$OUT/log"
  awk '/^totals:/ { print $2; found = 1 } END { exit !found }' "$file"
}

printf '%-8s %12s %12s %12s   (instructions per call, (%d calls - %d calls) / %d)\n' \
  request export bare library "$MANY" "$FEW" $((MANY - FEW))
for request in "${REQUESTS[@]}"; do
  declare -A per=()
  for side in export bare; do
    few=$(total "$request" "$side" "$FEW")
    many=$(total "$request" "$side" "$MANY")
    per[$side]=$(((many - few) / (MANY - FEW)))
  done
  printf '%-8s %12d %12d %12d\n' "$request" "${per[export]}" "${per[bare]}" $((per[export] - per[bare]))
done
