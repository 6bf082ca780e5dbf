#!/usr/bin/env bash
# Runs each fuzz harness for longer than CI does, by hand:
#   scripts/fuzz.sh [SECONDS_PER_HARNESS] [SCRATCH_DIR]
# (defaults: 600 s, build/fuzz-scratch). The seed corpus in fuzz/corpus/ is
# only read; new corpus entries and crash reproducers go to the scratch
# directory, so a later run continues from what this one found.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
scratch=${2:-build/fuzz-scratch}

cmake --preset fuzz > /dev/null
cmake --build --preset fuzz

status=0
for harness in numeric scenario; do
    executable=build/fuzz/fuzz/kex_fuzz_$harness
    if [ ! -x "$executable" ]; then
        continue
    fi
    mkdir -p "$scratch/corpus/$harness" "$scratch/artifacts/$harness"
    echo "== $harness: $seconds s =="
    log="$scratch/$harness.log"
    options=()
    if [ -f "fuzz/$harness.dict" ]; then
        options+=("-dict=fuzz/$harness.dict")
    fi
    if ! "$executable" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$scratch/artifacts/$harness/" "${options[@]}" \
        "$scratch/corpus/$harness" "fuzz/corpus/$harness" > "$log" 2>&1; then
        status=1
        echo "FAILED: see $log and $scratch/artifacts/$harness/"
        grep -E -A40 "property violated|ERROR: |runtime error" "$log" | head -60 || true
    fi
    grep -E "^stat::(number_of_executed_units|new_units_added)" "$log" || true
done
exit $status
