#!/usr/bin/env bash
# Plays the opening of a game between two persons in the real window under Xvfb with xdotool.
# The scripted-session player runs the same steps first and pictures each one; after every step
# the window must come to show exactly that picture. With SCALE, the window shows each client
# pixel as a SCALE x SCALE square (MELVARON_SCALE) and the pointer goes to the square's pixels.
# With keys, the same opening is played by the keyboard alone, the pointer never entering the
# window, and its move taken back and put again.
# Usage:
#   e2e_window.sh MELVARON MELVARON-REPLAY XWD_COMPARE WORKDIR [SCALE] [mouse|keys]
set -euo pipefail
source "$(dirname "$0")/x11_session.sh"
game="$1" replay="$2" compare="$3" work="$4" scale="${5:-1}" input="${6:-mouse}"
mkdir -p "$work"
cd "$work"
rm -f display ./*.xwd ./*.png steps.txt replay.out game.err
# The game keeps a game in progress in its data folder: a scratch one, empty at each run.
rm -rf data

game_pid=""
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill -KILL "$game_pid" 2>/dev/null || true
    fi
    x11_stop
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -s game.err ] && sed 's/^/melvaron: /' game.err >&2; exit 1; }

x11_layout "$replay" || fail "$X11_ERROR"

# The steps, each a pointer move and a left press: at the centre of a side-panel item or at a
# pixel of the board.
steps=(
    "item 19"    # player 2's MAN box: two persons
    "item 10"    # GAME; the next tick announces player 1
    "at 310 256" # a put on a cell that player 1 may take; its panels turn over meanwhile
)
xs=() ys=()
for step in "${steps[@]}"; do
    read -r kind a b <<<"$step"
    if [ "$kind" = item ]; then xs+=("${X11_ITEM_X[$a]}"); ys+=("${X11_ITEM_Y[$a]}"); else xs+=("$a"); ys+=("$b"); fi
done
# The same by keys, as the replay tool names them: Shift+Tab from no item back to player 2's
# MAN box (item 19) and on to GAME (item 10), then arrows from the middle to that cell.
keys=()
for _ in 1 2 3 4 5 6 7; do keys+=(shift+tab); done
keys+=(enter)
for _ in 1 2 3 4 5 6 7 8 9; do keys+=(shift+tab); done
keys+=(enter right right right enter)
# Then the move taken back and put again, by the desktop's undo and redo keys, which the window
# takes as U and Shift+U.
keys+=(u shift+u)
# xdotool's names for them.
declare -A keysym=([shift+tab]=shift+Tab [enter]=Return [right]=Right [u]=ctrl+z [shift+u]=ctrl+y)

# The same steps for the scripted-session player, with a picture of the window after each
# movement and after each press has settled.
{
    echo "shot start.png"
    if [ "$input" = keys ]; then
        for i in "${!keys[@]}"; do
            echo "key ${keys[$i]}"
            echo "settle"
            echo "shot key$i.png"
        done
    else
        for i in "${!steps[@]}"; do
            echo "move ${xs[$i]} ${ys[$i]}"
            echo "shot move$i.png"
            echo "press left ${xs[$i]} ${ys[$i]}"
            echo "settle"
            echo "shot press$i.png"
        done
    fi
    echo "state"
} >steps.txt
timeout 60 "$replay" steps.txt >replay.out || fail "melvaron-replay failed"
# The steps must have made a move, or the comparison proves little.
grep -q '^state=0 turn=2 counts=67,' replay.out || fail "unexpected replay state: $(cat replay.out)"

# A screen with room for the enlarged window beside the pointer's parking place.
screen_w=$((X11_CLIENT_W * scale + 256)) screen_h=$((X11_CLIENT_H * scale + 256))
x11_start "$work" "${screen_w}x${screen_h}" || fail "$X11_ERROR"

# Keep the pointer off the spot where the window will appear: only our moves count.
timeout 10 xdotool mousemove $((screen_w - 1)) $((screen_h - 1))

XDG_DATA_HOME="$work/data" MELVARON_SCALE="$scale" "$game" 2>game.err &
game_pid=$!
x11_find_window "$game_pid" || fail "$X11_ERROR"
wid="$X11_WINDOW"
eval "$(timeout 5 xdotool getwindowgeometry --shell "$wid")"
want_w=$((X11_CLIENT_W * scale)) want_h=$((X11_CLIENT_H * scale))
[ "$WIDTH" = "$want_w" ] && [ "$HEIGHT" = "$want_h" ] ||
    fail "client area is ${WIDTH}x${HEIGHT}, not ${want_w}x${want_h}"

# Dumps the window until it shows the pixels of the picture, for at most 30 s.
wait_for_picture() {
    local picture="$1" deadline=$((SECONDS + 30))
    while :; do
        if timeout 10 xwd -silent -id "$wid" -out window.xwd &&
            timeout 10 "$compare" window.xwd "$picture" "$scale" >compare.out 2>&1; then
            return 0
        fi
        kill -0 "$game_pid" 2>/dev/null || fail "melvaron ended while waiting for $picture"
        [ "$SECONDS" -lt "$deadline" ] || fail "the window never showed $picture: $(cat compare.out)"
        sleep 0.05
    done
}

wait_for_picture start.png
if [ "$input" = keys ]; then
    timeout 5 xdotool windowfocus --sync "$wid"
    for i in "${!keys[@]}"; do
        timeout 5 xdotool key "${keysym[${keys[$i]}]}"
        wait_for_picture "key$i.png"
    done
else
    for i in "${!steps[@]}"; do
        # The last pixel of the client pixel's square: it must still count as that client pixel.
        timeout 5 xdotool mousemove --window "$wid" $((xs[i] * scale + scale - 1)) $((ys[i] * scale + scale - 1))
        wait_for_picture "move$i.png"
        timeout 5 xdotool click 1
        wait_for_picture "press$i.png"
    done
fi

# The close request (as from the desktop) must end the program cleanly.
x11_close_game "$game_pid" || fail "$X11_ERROR"
game_pid=""
count=${#steps[@]}
[ "$input" = keys ] && count=${#keys[@]}
echo "PASS: the window showed the replay's picture at scale $scale after each of $count $input steps"
