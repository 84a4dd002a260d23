#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: once in a normal build, then
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz
# target for ${TESSEL_FUZZ_SECONDS:-60} seconds (scripts/fuzz.sh).
# TESSEL_SKIP_SANITIZE=1 skips the sanitizer build, TESSEL_SKIP_FUZZ=1 the fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${TESSEL_SKIP_SANITIZE:-0}" != 1 ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=ON -DTESSEL_BENCHMARKS=OFF
fi
if [ "${TESSEL_SKIP_FUZZ:-0}" != 1 ]; then
  ./scripts/fuzz.sh
fi
