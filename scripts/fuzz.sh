#!/usr/bin/env bash
# Builds every libFuzzer target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, and runs each for
# ${TESSEL_FUZZ_SECONDS:-60} seconds on a copy of its committed seeds (what a
# run adds to its corpus stays in build-fuzz). Fails on any crash, leak,
# time-out, out-of-memory or sanitizer report; the inputs that caused them are
# kept in build-fuzz/fuzz-runs/<target>/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${TESSEL_FUZZ_SECONDS:-60}
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_FUZZ=ON \
  -DTESSEL_BENCHMARKS=OFF "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" "${launcher[@]}" >/dev/null
mapfile -t targets < <(cut -f1 build-fuzz/fuzzers.txt)
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
while IFS=$'\t' read -r name seeds options; do
  work=build-fuzz/fuzz-runs/$name
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp -R "$seeds/." "$work/corpus/"
  read -r -a extra <<<"$options"
  echo "fuzz: $name for ${seconds} s on $(find "$seeds" -type f | wc -l) seeds"
  rc=0
  "build-fuzz/bin/$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    -entropic_scale_per_exec_time=1 -artifact_prefix="$work/findings/" "${extra[@]}" "$work/corpus" \
    >"$work/log" 2>&1 || rc=$?
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$work/log" |
    sed "s/^/  /" || true
  if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$work/findings")" ]; then
    echo "fuzz: $name FAILED (exit $rc); its log is $work/log, the inputs are in $work/findings/"
    grep -E 'ERROR|SUMMARY|runtime error' "$work/log" | head -5 || true
    failed+=("$name")
  fi
done <build-fuzz/fuzzers.txt

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets ran ${seconds} s each without a finding"
