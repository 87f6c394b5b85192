#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz) and runs each for the given
# number of seconds (default 30), starting from its seed corpus in
# fuzz/corpus/<target>/. Fails on any finding: a crash, a sanitizer report,
# a leak, a failed check, a timeout or running out of memory. Findings and
# logs stay in build-fuzz/fuzz-run/<target>/.
#
#   scripts/run_fuzzers.sh [SECONDS [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(job hex_command image_ops encoders escpos text_utils preview preview_stream engine)

bash scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_SANITIZE=ON -DQUORVANE_BUILD_FUZZERS=ON -DQUORVANE_BUILD_TESTS=OFF \
  -DQUORVANE_BUILD_BENCHMARKS=OFF -DQUORVANE_WERROR=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

failed=0
passed=0
bad=0
for t in "${targets[@]}"; do
  run=build-fuzz/fuzz-run/$t
  rm -rf "$run"
  mkdir -p "$run/corpus" "$run/findings"
  # libcups itself allocates a line buffer of whatever bytes per line a
  # compressed stream's header claims (up to 4 GiB) before it checks the
  # header; it never touches most of it. So single allocations may reach
  # 4 GiB, while the memory actually used stays under 2 GiB.
  flags=(-max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=4200 -timeout=30
         -print_final_stats=1 -artifact_prefix="$run/findings/")
  # The job target's header dumps would flood the log: its standard error
  # is closed (libFuzzer and the sanitizers keep their own copy of it).
  [ "$t" = job ] && flags+=(-close_fd_mask=2 -max_len=16384)
  status=0
  ASAN_OPTIONS=detect_leaks=1 "build-fuzz/fuzz/fuzz_$t" "${flags[@]}" "$run/corpus" "fuzz/corpus/$t" \
    >"$run/log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log" | tail -1)
  corpus=$(find "$run/corpus" -type f | wc -l)
  findings=$(find "$run/findings" -type f | wc -l)
  echo "fuzz_$t: ${runs:-?} executions in ${seconds}s, corpus $corpus new + $(find "fuzz/corpus/$t" -type f | wc -l) seeds, $findings findings, exit $status"
  if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
    failed=1
    grep -m1 -B2 -A30 -E "ERROR|runtime error|fuzz check failed|hex_command:" "$run/log" || tail -40 "$run/log"
    ls "$run/findings"
    bad=$((bad + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "fuzz: $passed passed, $bad failed"
exit "$failed"
