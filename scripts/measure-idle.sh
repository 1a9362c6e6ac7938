#!/usr/bin/env bash
# How much of a core the game uses while nothing happens on its screen, under a private Xvfb.
# Three phases, each over SECONDS of wall time, reading the process's utime+stime from /proc:
#   wait    a game between two persons, waiting for player 1's move, pointer still
#   move    the same, with the pointer moving over the board and the buttons (for information)
#   result  a fresh game between two LV0 players, sitting at the result screen once it is over
# Usage: scripts/measure-idle.sh [GAME] [SECONDS]   (GAME defaults to build/ui/melvaron)
# Needs Xvfb, xdotool and xwd. Not run by ./test: it takes a few minutes and only reports.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
game="$(realpath "${1:-$ROOT/build/ui/melvaron}")"
seconds="${2:-30}"
[ -x "$game" ] || { echo "error: $game is not built" >&2; exit 1; }

work="$(mktemp -d)"
xvfb_pid="" game_pid="" mover_pid=""
stop_game() {
    if [ -n "$mover_pid" ]; then kill "$mover_pid" 2>/dev/null || true; wait "$mover_pid" 2>/dev/null || true; fi
    mover_pid=""
    if [ -n "$game_pid" ]; then kill -KILL "$game_pid" 2>/dev/null || true; wait "$game_pid" 2>/dev/null || true; fi
    game_pid=""
}
cleanup() {
    stop_game
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "error: $*" >&2; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.err" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.err")"
export DISPLAY=":$(head -n1 "$work/display")"
timeout 10 xdotool mousemove 1023 767

wid=""
start_game() {
    # Each phase a fresh game: a scratch data folder, emptied of the game the last phase kept.
    rm -rf "$work/data"
    XDG_DATA_HOME="$work/data" "$game" 2>"$work/game.err" &
    game_pid=$!
    wid=""
    for _ in $(seq 100); do
        wid=$(timeout 5 xdotool search --onlyvisible --name '^Melvaron \(Oskalet\) Dunmiro$' 2>/dev/null | head -n1 || true)
        [ -n "$wid" ] && break
        kill -0 "$game_pid" 2>/dev/null || fail "the game ended before its window appeared"
        sleep 0.1
    done
    [ -n "$wid" ] || fail "no window within 10 s"
    sleep 0.5
}
click_at() {
    timeout 5 xdotool mousemove --window "$wid" "$1" "$2"
    sleep 0.3
    timeout 5 xdotool click 1
    sleep 0.5
}
# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Prints "NAME: P% of a core" for the game (and the X server, which receives the pixels).
measure() {
    local name="$1" g0 x0 g1 x1 hz
    hz="$(getconf CLK_TCK)"
    g0="$(cpu_ticks "$game_pid")" x0="$(cpu_ticks "$xvfb_pid")"
    sleep "$seconds"
    g1="$(cpu_ticks "$game_pid")" x1="$(cpu_ticks "$xvfb_pid")"
    awk -v n="$name" -v g=$((g1 - g0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$seconds" \
        'BEGIN { printf "%-7s game %.2f%% of a core, Xvfb %.2f%% (over %d s)\n", n ":", 100 * g / hz / s, 100 * x / hz / s, s }'
}

# Player 2 to MAN (player 1 is MAN already), then GAME: the game waits for player 1's move.
start_game
click_at 560 350
click_at 600 410
timeout 5 xdotool mousemove --window "$wid" 300 250
sleep 1
measure wait

# The pointer across the board and over both buttons, a motion every 20 ms or so.
(
    while :; do
        for p in "100 100" "300 250" "500 450" "600 410" "600 450" "700 300"; do
            # shellcheck disable=SC2086
            timeout 5 xdotool mousemove --window "$wid" $p >/dev/null 2>&1 || true
            sleep 0.02
        done
    done
) &
mover_pid=$!
measure move
stop_game

# Player 1 to LV0 (player 2 is LV0 already), GAME, and wait until two window dumps 3 s apart
# are the same: the game is over and its result is on the screen.
start_game
click_at 590 323
click_at 600 410
timeout 5 xdotool mousemove 1023 767
over=""
for _ in $(seq 100); do
    sleep 3
    timeout 10 xwd -silent -id "$wid" -out "$work/now.xwd" || fail "xwd could not dump the window"
    if [ -f "$work/last.xwd" ] && cmp -s "$work/now.xwd" "$work/last.xwd"; then over=1; break; fi
    mv "$work/now.xwd" "$work/last.xwd"
done
[ -n "$over" ] || fail "the game between two LV0 players did not end within 5 minutes"
measure result
