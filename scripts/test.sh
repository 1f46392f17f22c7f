#!/usr/bin/env bash
# Builds and runs every test on a fresh machine (installing what is missing):
#   scripts/test.sh          under ASan+UBSan, under TSan, then the Release build
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/, Debug)
#   scripts/test.sh tsan     ThreadSanitizer         (build-tsan/, Debug, without the
#                            print spool transport, so that such a build is tested too)
#   scripts/test.sh plain    the suite only          (build/, Release)
# Every build treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
JOBS=$(nproc)

run_suite() {  # dir, extra cmake args...
  local dir=$1; shift
  echo "=== $dir: configure and build"
  bash scripts/setup.sh "$dir" "$@"
  korvane_build "$dir" "$JOBS"
  echo "=== $dir: tests"
  ctest --test-dir "$dir" --output-on-failure -j"$JOBS" --timeout 300
}

mode=${1:-all}
case "$mode" in
  plain) run_suite build ;;
  asan)
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_suite build-asan -DKORVANE_SANITIZE=address -DKORVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug ;;
  tsan)
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      run_suite build-tsan -DKORVANE_SANITIZE=thread -DKORVANE_BUILD_BENCH=OFF -DKORVANE_BUILD_TOOLS=OFF \
        -DKORVANE_WITH_SPOOL=OFF -DCMAKE_BUILD_TYPE=Debug ;;
  all)
    "$0" asan
    "$0" tsan
    "$0" plain ;;
  *) echo "usage: $0 [all|plain|asan|tsan]" >&2; exit 2 ;;
esac
