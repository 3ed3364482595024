#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#  - all tests in the AddressSanitizer + UndefinedBehaviorSanitizer build,
#  - the threaded tests in the ThreadSanitizer build,
#  - all tests in the default (release) build, benchmarks built too, as the
#    README's "Building by hand" does it,
#  - the Debian package built, checked, installed, run and removed,
#  - the core and zorvat-cli cross-compiled for Windows (mingw-w64), and the
#    command-line session run with zorvat-cli.exe under Wine,
#  - the fuzzers built with clang and run briefly over their corpora,
#  - clang-format over the sources.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh all

passed=0
failed=0
run_ctest() {  # preset, extra ctest arguments...
  local preset=$1; shift
  local log
  log=$(mktemp)
  set +e
  ctest --preset "$preset" -j"$jobs" "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  set -e
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
  elif [ "$status" -ne 0 ]; then
    failed=$((failed + 1))
  fi
  rm -f "$log"
  return 0
}

echo "== ASan + UBSan build: all tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest asan

echo "== ThreadSanitizer build: threaded tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp run_ctest tsan

echo "== Default build (release with debug info): all tests, benchmarks built"
cmake --preset default >/dev/null
if cmake --build --preset default -j"$jobs"; then
  run_ctest default
else
  failed=$((failed + 1))
fi

echo "== Debian package: lintian, desktop entry, metadata, installed and run"
if bash scripts/package-test.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== Windows cross build of the core and zorvat-cli, its session under Wine"
cmake --preset mingw >/dev/null
if cmake --build --preset mingw -j"$jobs"; then
  passed=$((passed + 1))
  # The Win32 serial backend against the simulator's pseudo-terminal. Wine
  # does not enforce exclusive opening, and no check here needs it.
  wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
  if ZORVAT_CLI_WINE=$wine bash tests/cli/cli_session_test.sh build/mingw/src/app/zorvat-cli.exe \
      build/asan/src/sim/zorvat-sim; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
else
  failed=$((failed + 1))
fi

echo "== Fuzzers (clang, libFuzzer), 10 s each over their corpora"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"
for name in reply ini project settings status sim_options jpeg; do
  corpus=$(mktemp -d)
  cp tests/fuzz/corpus/"$name"/* "$corpus"/
  if build/fuzz/tests/fuzz/"$name"_fuzzer "$corpus" -max_total_time=10 -max_len=4096 \
      -print_final_stats=0 -artifact_prefix="$corpus/" >"$corpus.log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); echo "fuzzer $name found something:"; tail -40 "$corpus.log"
  fi
  rm -rf "$corpus" "$corpus.log"
done

echo "== clang-format"
if git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

echo
echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
