#!/bin/sh
# Runs the fuzz targets of a fuzz build, each for a set time, as many at
# once as there are processors, and prints one line per target: the
# executions done and the crashes found. Each target starts from its seed
# corpus in fuzz/corpus/ and from what earlier runs in this build found;
# new inputs and crash reproducers stay in the build directory.
# Usage: fuzz-run.sh BUILD_DIR SECONDS [TARGET...]
# Exits non-zero when any target crashed; its report is printed.
set -u

build=$(cd "$1" && pwd)
seconds=$2
shift 2
src=$(cd "$(dirname "$0")/.." && pwd)
targets=${*:-$(cat "$build/fuzz-targets.txt")}
jobs=${FUZZ_JOBS:-$(nproc)}
work=$build/fuzz-work

rm -rf "$work/tmp"
mkdir -p "$work/tmp"

run_one() {
    t=$1
    mkdir -p "$work/$t/corpus"
    rm -rf "$work/$t/artifacts"
    mkdir -p "$work/$t/artifacts"
    dict=""
    [ -f "$src/fuzz/dict/$t.dict" ] && dict="-dict=$src/fuzz/dict/$t.dict"
    # shellcheck disable=SC2086
    TMPDIR="$work/tmp" "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
        -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$work/$t/artifacts/" $dict \
        "$work/$t/corpus" "$src/fuzz/corpus/$t" >"$work/$t.log" 2>&1
    echo $? >"$work/$t.status"
}

running=0
for t in $targets; do
    run_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait
        running=0
    fi
done
wait

failed=0
total=0
echo "== fuzzing, $seconds s per target"
for t in $targets; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log" | tail -n 1)
    [ -n "$runs" ] || runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$work/$t.log" | tail -n 1)
    [ -n "$runs" ] || runs=0
    crashes=$(find "$work/$t/artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' \
        -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    status=$(cat "$work/$t.status")
    [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ] && crashes=1
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$t.log" | tail -n 1)
    printf '%-14s %10s executions %6s/s %3s crashes\n' "$t" "$runs" "${rate:-?}" "$crashes"
    total=$((total + runs))
    if [ "$crashes" -ne 0 ]; then
        failed=1
        echo "--- $t: report (full log $work/$t.log, reproducers in $work/$t/artifacts/)"
        grep -v -e '^#[0-9]' -e '^INFO:' "$work/$t.log" | tail -n 60
    fi
done
echo "== $total executions in all"
exit "$failed"
