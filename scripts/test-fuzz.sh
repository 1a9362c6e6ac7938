#!/usr/bin/env bash
# Fuzzes the board reader and the session-script reader with libFuzzer for a bounded time,
# starting from the checked-in seed corpus. Any crash or sanitizer report fails the run.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SECONDS_EACH="${MELVARON_FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -DMELVARON_FUZZ=ON \
    -DBUILD_TESTING=OFF -DMELVARON_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build-fuzz" -j "$(nproc)" --target fuzz_board_text fuzz_replay_script

status=0
for name in board_text replay_script; do
    work="$(mktemp -d)"
    echo "fuzzing $name for ${SECONDS_EACH}s"
    if ! "$ROOT/build-fuzz/tests/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$ROOT/build-fuzz/crash-$name-" \
        "$work" "$ROOT/tests/fuzz/corpus/$name" >"$ROOT/build-fuzz/fuzz-$name.log" 2>&1; then
        echo "fuzz_$name FAILED; see build-fuzz/fuzz-$name.log"
        tail -n 30 "$ROOT/build-fuzz/fuzz-$name.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$ROOT/build-fuzz/fuzz-$name.log" || true
    fi
    rm -rf "$work"
done
if [ "$status" -eq 0 ]; then echo "fuzz: 2 passed, 0 failed"; else echo "fuzz: FAILED"; fi
exit "$status"
