#!/usr/bin/env bash
# Fuzzes the board reader, the session-script reader and the game server's messages with
# libFuzzer for a bounded time, starting from the checked-in seed corpus. Any crash or sanitizer
# report fails the run. Each fuzzer is a case; the counts go to $MELVARON_TEST_REPORT when
# ./test asks for them.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SECONDS_EACH="${MELVARON_FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -DMELVARON_FUZZ=ON \
    -DBUILD_TESTING=OFF -DMELVARON_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build-fuzz" -j "$(nproc)" --target fuzz_board_text fuzz_replay_script \
    fuzz_server_messages

passed=0 failed=0
for name in board_text replay_script server_messages; do
    work="$(mktemp -d)"
    echo "fuzzing $name for ${SECONDS_EACH}s"
    if ! "$ROOT/build-fuzz/tests/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$ROOT/build-fuzz/crash-$name-" \
        "$work" "$ROOT/tests/fuzz/corpus/$name" >"$ROOT/build-fuzz/fuzz-$name.log" 2>&1; then
        echo "fuzz_$name FAILED; see build-fuzz/fuzz-$name.log"
        tail -n 30 "$ROOT/build-fuzz/fuzz-$name.log"
        failed=$((failed + 1))
    else
        grep -E '^stat::number_of_executed_units' "$ROOT/build-fuzz/fuzz-$name.log" || true
        passed=$((passed + 1))
    fi
    rm -rf "$work"
done
echo "fuzz: $passed passed, $failed failed"
[ -z "${MELVARON_TEST_REPORT:-}" ] || echo "$passed $failed" >"$MELVARON_TEST_REPORT"
[ "$failed" -eq 0 ]
