#!/usr/bin/env bash
# Builds the fuzzers and runs each for a bounded time: fuzz/run_fuzzers.sh [SECONDS, default 60].
# The seeds in fuzz/corpus/ are only read; new inputs, and any input that finds a fault, go to
# build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in report doted; do
  scratch=build/fuzz/corpus/$target
  log=build/fuzz/fuzz_$target.log
  mkdir -p "$scratch"
  if ! "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build/fuzz/ "$scratch" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz_$target found a fault; its input is in build/fuzz/"
    exit 1
  fi
  grep -E '^(Done|stat::average_exec_per_sec)' "$log"
done
