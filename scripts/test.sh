#!/usr/bin/env bash
# Builds and runs every test on a fresh machine (installing what is missing):
#   scripts/test.sh          under ASan+UBSan, under TSan, the Release build, the fuzzers,
#                            then the Windows DLLs under Wine
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/, Debug)
#   scripts/test.sh tsan     ThreadSanitizer         (build-tsan/, Debug, without the
#                            print spool transport, so that such a build is tested too)
#   scripts/test.sh plain    the suite only          (build/, Release)
#   scripts/test.sh fuzz     the libFuzzer targets   (build-fuzz/, clang, ASan+UBSan), each
#                            run for KORVANE_FUZZ_SECONDS (60) from its seed corpus
#   scripts/test.sh windows  both Windows DLLs and their test programs cross-built with
#                            mingw-w64, the DLLs' export tables checked; the x86_64 suite
#                            under wine64 (build-win-x86_64/), and the i686 suite with the
#                            smoke run under wine32 (build-win-i686/) where this machine
#                            runs 32-bit programs (its last line says whether they ran)
#   scripts/test.sh package  the packages made by scripts/package.sh into dist/ (the Windows
#                            ZIP, the .deb, the .tar.gz), checked by scripts/package_test.sh:
#                            their files, the DLLs' exports and version information, the
#                            ZIP's tools under wine64, pkg-config in the unpacked .deb, lintian
# Every build treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/helpers.sh

run_suite() {  # dir, extra cmake args...
  local dir=$1; shift
  echo "=== $dir: configure and build"
  bash scripts/setup.sh "$dir" "$@"
  korvane_build "$dir"
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
  fuzz)
    echo "=== build-fuzz: configure and build"
    bash scripts/setup.sh build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKORVANE_FUZZ=ON \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF -DKORVANE_BUILD_TOOLS=OFF
    korvane_build build-fuzz
    # Each target runs in an empty folder of its own (relative paths in
    # requests name nothing); what it learns stays in build-fuzz/fuzz-corpus,
    # what it finds in build-fuzz/fuzz-artifacts.
    mkdir -p build-fuzz/fuzz-artifacts
    for target in fuzz_requests fuzz_text_parsers fuzz_xml_parse_paths; do
      echo "=== fuzz: $target for ${KORVANE_FUZZ_SECONDS:-60} s"
      mkdir -p "build-fuzz/fuzz-corpus/$target"
      work=$(mktemp -d /tmp/korvane-fuzz.XXXXXX)
      status=0
      (cd "$work" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$OLDPWD/build-fuzz/fuzz/$target" -max_total_time="${KORVANE_FUZZ_SECONDS:-60}" -timeout=10 \
          -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$OLDPWD/build-fuzz/fuzz-artifacts/$target-" \
          "$OLDPWD/build-fuzz/fuzz-corpus/$target" "$OLDPWD/fuzz/corpus/$target" >"$work.log" 2>&1) || status=$?
      grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+[[:space:]]+DONE)" "$work.log" || true
      rm -rf "$work"
      if ((status != 0)); then
        echo "fuzz: $target failed (exit $status); its output:" >&2
        tail -n 60 "$work.log" >&2
        exit "$status"
      fi
      rm -f "$work.log"
    done ;;
  windows)
    bash scripts/build_windows.sh
    # The 32-bit test programs are built on every machine, so that what only
    # the 32-bit compiler sees fails here too; they run where 32-bit programs do.
    for dir in build-win-x86_64 build-win-i686; do
      echo "=== $dir: the test programs"
      korvane_build "$dir"
    done
    source scripts/wine_setup.sh
    korvane_wine_setup "$PWD/build-win/wine-prefix"
    trap korvane_wine_stop EXIT
    # A test that fails is run once more: Wine itself now and then aborts a
    # program at its very end with an assertion of its own (server_get_unix_fd)
    # after every test in it has passed. A second failure fails the run.
    dir=build-win-x86_64
    echo "=== $dir: tests under Wine ($KORVANE_WINE)"
    ctest --test-dir "$dir" --output-on-failure -j"$JOBS" --timeout 300 --repeat until-pass:2
    if [ "$KORVANE_WINE32" = 1 ]; then
      dir=build-win-i686
      # The prefix's services start with the first 32-bit program and stay
      # with the server: started here with no output, so that none of them
      # holds CTest's output pipe open after a test ended.
      timeout 120 "$KORVANE_WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
      echo "=== $dir: tests under Wine ($KORVANE_WINE), the smoke run among them"
      ctest --test-dir "$dir" --output-on-failure -j"$JOBS" --timeout 300 --repeat until-pass:2
      echo "=== windows: 32-bit: the DLL and its test programs built, its exports checked; the whole suite and the smoke run under wine32 ran and passed"
    else
      echo "=== windows: 32-bit: the DLL and its test programs built, its exports checked; the suite and the smoke run under wine32 skipped: $KORVANE_WINE32_REASON"
    fi ;;
  package)
    bash scripts/package.sh
    echo "=== package: the packages in dist/ as an integrator meets them"
    bash scripts/package_test.sh dist ;;
  all)
    "$0" asan
    "$0" tsan
    "$0" plain
    "$0" fuzz
    "$0" windows
    "$0" package ;;
  *) echo "usage: $0 [all|plain|asan|tsan|fuzz|windows|package]" >&2; exit 2 ;;
esac
echo "=== $mode: done in $((SECONDS / 60)) min $((SECONDS % 60)) s"
