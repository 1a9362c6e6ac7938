#!/usr/bin/env bash
# The programs facing a machine without what they need: no display, no usable font face, no
# script. Each must say in one line what is missing and how to get it, and exit non-zero.
# Usage: program_faults.sh CASE MELVARON MELVARON-REPLAY, CASE one of the names below.
set -u
name="$1" melvaron="$2" replay="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# An empty fontconfig: no face at all.
printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$work/fonts.conf"
printf 'state\n' >"$work/script.txt"

# The expected exit status ("nonzero" for any but a timeout), the pattern of the one line on
# standard error, and the command. The game's data folder is a scratch one, so that no test
# reads or writes the user's kept game.
case "$name" in
game_without_display)
    want=nonzero pattern='^error: cannot open a display.*xvfb-run'
    command=(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_DATA_HOME="$work/data" "$melvaron") ;;
installed_game_without_display)
    # A copy outside the build tree stands for the installed game: no hint at the source tree.
    cp "$melvaron" "$work/melvaron"
    want=nonzero
    pattern='^error: cannot open a display \(.*DISPLAY is not set\); the game needs a graphical desktop session \(X11 or Wayland\)$'
    command=(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_DATA_HOME="$work/data" "$work/melvaron") ;;
game_without_font)
    want=nonzero pattern='^error: .*fonts-ipafont-gothic'
    command=(env FONTCONFIG_FILE="$work/fonts.conf" XDG_DATA_HOME="$work/data" "$melvaron") ;;
replay_without_font)
    want=nonzero pattern='^error: .*fonts-ipafont-gothic'
    command=(env FONTCONFIG_FILE="$work/fonts.conf" "$replay" "$work/script.txt") ;;
replay_of_a_missing_script)
    want=2 pattern='^error: cannot read'
    command=("$replay" "$work/no-such-script.txt") ;;
*)
    echo "unknown case $name" >&2
    exit 2 ;;
esac

timeout 20 "${command[@]}" >"$work/out" 2>"$work/err" </dev/null
status=$?
lines="$(grep -c '' "$work/err")"
ok=1
if [ "$want" = nonzero ]; then [ "$status" -ne 0 ] && [ "$status" -ne 124 ] || ok=0
else [ "$status" -eq "$want" ] || ok=0; fi
[ "$lines" -eq 1 ] || ok=0
grep -q -E "$pattern" "$work/err" || ok=0
if [ "$ok" -eq 1 ]; then
    echo "ok: $name"
else
    echo "FAILED: $name (status $status, $lines lines on stderr)"
    sed 's/^/  stderr: /' "$work/err"
fi
[ "$ok" -eq 1 ]
