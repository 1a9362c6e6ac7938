# The game in a real window on a private X server, for the scripts that need one (the end-to-end
# window test, the package test). Source it, then:
#   x11_start DIR [WxH]    start Xvfb on a free display (its files in DIR; a screen of WxH,
#                          1024x768 unless given) and export DISPLAY
#   x11_layout REPLAY      the window's caption, client size and item centres as the game knows
#                          them (melvaron-replay --print-layout): X11_CAPTION, X11_CLIENT_W,
#                          X11_CLIENT_H, X11_ITEM_X[n], X11_ITEM_Y[n]
#   x11_find_window PID [SECONDS]
#                          wait up to SECONDS (30 unless given) for the game's visible window
#                          (X11_CAPTION after x11_layout): X11_WINDOW is its id; fails when
#                          process PID ends first or no window comes
#   x11_close_game PID     the close request, as from the desktop (SIGTERM, which SDL turns into
#                          a quit): fails unless PID ends within 30 s with status 0
#   x11_stop               stop the X server (for an EXIT trap)
# A function that fails returns 1 with the reason in X11_ERROR.
X11_PID=""
X11_WINDOW=""
X11_ERROR=""
X11_CAPTION=""
X11_CLIENT_W=""
X11_CLIENT_H=""
declare -A X11_ITEM_X X11_ITEM_Y

x11_layout() {
    local replay="$1" key rest n left top width height
    local layout
    if ! layout="$("$replay" --print-layout)"; then
        X11_ERROR="$replay --print-layout failed"
        return 1
    fi
    while read -r key rest; do
        case "$key" in
        caption) X11_CAPTION="$rest" ;;
        client) read -r X11_CLIENT_W X11_CLIENT_H <<<"$rest" ;;
        item)
            read -r n left top width height <<<"$rest"
            X11_ITEM_X[$n]=$((left + width / 2))
            X11_ITEM_Y[$n]=$((top + height / 2))
            ;;
        esac
    done <<<"$layout"
    if [ -z "$X11_CAPTION" ] || [ -z "$X11_CLIENT_W" ]; then
        X11_ERROR="no caption or client size in the layout"
        return 1
    fi
}

x11_start() {
    local dir="$1" size="${2:-1024x768}"
    rm -f "$dir/display"
    # Xvfb writes the display number once it accepts clients. -noreset: without it the server
    # resets when its last client leaves (an xdotool call), and a client connecting meanwhile
    # (the game) is refused.
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/xvfb.err" &
    X11_PID=$!
    local i
    for i in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
    if [ ! -s "$dir/display" ]; then
        X11_ERROR="Xvfb did not start: $(cat "$dir/xvfb.err")"
        return 1
    fi
    export DISPLAY=":$(head -n1 "$dir/display")"
}

x11_find_window() {
    local pid="$1" seconds="${2:-30}" name
    name="^$(printf '%s' "$X11_CAPTION" | sed 's/[][\\.*^$()+?{}|]/\\&/g')\$"
    X11_WINDOW=$(timeout "$seconds" xdotool search --sync --onlyvisible --name "$name" 2>/dev/null |
        head -n1) || true
    [ -n "$X11_WINDOW" ] && return 0
    if ! kill -0 "$pid" 2>/dev/null; then
        X11_ERROR="melvaron ended before its window appeared"
    else
        X11_ERROR="no window within $seconds s"
    fi
    return 1
}

x11_close_game() {
    local pid="$1" i status=0
    kill -TERM "$pid"
    for i in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        X11_ERROR="melvaron did not end within 30 s of the close request"
        return 1
    fi
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        X11_ERROR="melvaron ended with status $status"
        return 1
    fi
}

x11_stop() {
    if [ -n "$X11_PID" ]; then
        kill "$X11_PID" 2>/dev/null || true
        wait "$X11_PID" 2>/dev/null || true
        X11_PID=""
    fi
}
