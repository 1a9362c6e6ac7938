#!/usr/bin/env bash
# Plays the opening of a game between two persons in the real window under Xvfb with xdotool,
# dumps the window with xwd and compares its pixels with the scripted-session player running
# the same steps. Usage: e2e_window.sh MELVARON MELVARON-REPLAY XWD_COMPARE WORKDIR
set -euo pipefail
source "$(dirname "$0")/x11_session.sh"
game="$1" replay="$2" compare="$3" work="$4"
mkdir -p "$work"
cd "$work"
rm -f window.xwd replay.png replay.out game.err

game_pid=""
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill -KILL "$game_pid" 2>/dev/null || true
    fi
    x11_stop
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -s game.err ] && sed 's/^/melvaron: /' game.err >&2; exit 1; }

x11_start "$work" || fail "$X11_ERROR"

# Keep the pointer off the spot where the window will appear: only our moves count.
timeout 10 xdotool mousemove 1023 767

"$game" 2>game.err &
game_pid=$!
x11_find_window "$game_pid" || fail "$X11_ERROR"
wid="$X11_WINDOW"
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
x11_close_game "$game_pid" || fail "$X11_ERROR"
game_pid=""
echo "PASS: window pixels match the replay"
