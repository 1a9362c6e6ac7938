#!/usr/bin/env bash
# Plays the opening of a game between two persons in the real window under Xvfb with xdotool,
# dumps the window with xwd and compares its pixels with the scripted-session player running
# the same steps. Usage: e2e_window.sh MELVARON MELVARON-REPLAY XWD_COMPARE WORKDIR
set -euo pipefail
game="$1" replay="$2" compare="$3" work="$4"
mkdir -p "$work"
cd "$work"
rm -f display window.xwd replay.png replay.out game.err

xvfb_pid="" game_pid=""
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill -KILL "$game_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -s game.err ] && sed 's/^/melvaron: /' game.err >&2; exit 1; }

# A private X server on a free display; it writes the display number once it accepts clients.
# -noreset: without it the server resets when its last client leaves (xdotool below), and a
# client connecting meanwhile (the game) is refused.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>display 2>xvfb.err &
xvfb_pid=$!
for _ in $(seq 100); do [ -s display ] && break; sleep 0.1; done
[ -s display ] || fail "Xvfb did not start: $(cat xvfb.err)"
export DISPLAY=":$(head -n1 display)"

# Keep the pointer off the spot where the window will appear: only our moves count.
timeout 10 xdotool mousemove 1023 767

"$game" 2>game.err &
game_pid=$!
wid=""
for _ in $(seq 100); do
    wid=$(timeout 5 xdotool search --onlyvisible --name '^Melvaron \(Oskalet\) Dunmiro$' 2>/dev/null | head -n1 || true)
    [ -n "$wid" ] && break
    kill -0 "$game_pid" 2>/dev/null || fail "melvaron ended before its window appeared"
    sleep 0.1
done
[ -n "$wid" ] || fail "no window within 10 s"
eval "$(timeout 5 xdotool getwindowgeometry --shell "$wid")"
[ "$WIDTH" = 768 ] && [ "$HEIGHT" = 512 ] || fail "client area is ${WIDTH}x${HEIGHT}, not 768x512"
sleep 0.5

# One pointer move (one motion event at its destination), then a left click there.
click_at() {
    timeout 5 xdotool mousemove --window "$wid" "$1" "$2"
    sleep 0.3
    timeout 5 xdotool click 1
    sleep "$3"
}
click_at 560 350 0.3 # player 2's MAN box
click_at 600 410 0.6 # GAME; the next tick announces player 1
click_at 310 256 1.5 # a put on a cell that player 1 may take; its panels turn over meanwhile

timeout 10 xwd -silent -id "$wid" -out window.xwd || fail "xwd could not dump the window"

cat >steps.txt <<'STEPS'
move 560 350
press left 560 350
move 600 410
press left 600 410
settle
move 310 256
press left 310 256
settle
state
shot replay.png
STEPS
timeout 60 "$replay" steps.txt >replay.out || fail "melvaron-replay failed"
# The steps must have made a move, or the comparison proves little.
grep -q '^state=0 turn=2 counts=67,' replay.out || fail "unexpected replay state: $(cat replay.out)"

timeout 30 "$compare" window.xwd replay.png || fail "the window and the replay differ"

# The close request (as from the desktop) must end the program cleanly.
kill -TERM "$game_pid"
for _ in $(seq 100); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "melvaron did not end within 10 s of the close request"
status=0
wait "$game_pid" || status=$?
game_pid=""
[ "$status" -eq 0 ] || fail "melvaron ended with status $status"
echo "PASS: window pixels match the replay"
