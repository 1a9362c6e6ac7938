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

# fuzz NAME: one fuzzer for its time, its log in build-fuzz/fuzz-NAME.log; its status.
fuzz() {
    local name="$1" work status=0
    work="$(mktemp -d)"
    "$ROOT/build-fuzz/tests/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$ROOT/build-fuzz/crash-$name-" \
        "$work" "$ROOT/tests/fuzz/corpus/$name" >"$ROOT/build-fuzz/fuzz-$name.log" 2>&1 ||
        status=$?
    rm -rf "$work"
    return "$status"
}

# The fuzzers run side by side: each is one thread, and the stage's time is then one fuzzer's.
names=(board_text replay_script server_messages)
pids=()
echo "fuzzing ${names[*]} for ${SECONDS_EACH}s, side by side"
for name in "${names[@]}"; do
    fuzz "$name" &
    pids+=($!)
done
passed=0 failed=0
for i in "${!names[@]}"; do
    name="${names[$i]}"
    if wait "${pids[$i]}"; then
        echo "fuzz_$name: $(grep -E '^stat::number_of_executed_units' \
            "$ROOT/build-fuzz/fuzz-$name.log" || true)"
        passed=$((passed + 1))
    else
        echo "fuzz_$name FAILED; see build-fuzz/fuzz-$name.log"
        tail -n 30 "$ROOT/build-fuzz/fuzz-$name.log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ -z "${MELVARON_TEST_REPORT:-}" ] || echo "$passed $failed" >"$MELVARON_TEST_REPORT"
[ "$failed" -eq 0 ]
