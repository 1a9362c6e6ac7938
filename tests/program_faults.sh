#!/usr/bin/env bash
# The programs facing a machine without what they need: no display, no usable font face.
# Each must say in one line what is missing and how to get it, and exit non-zero.
set -u
melvaron="$1"
replay="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME STATUS PATTERN COMMAND...: the command exits with STATUS (or any non-zero for
# "nonzero"), writes one line to standard error, and that line matches PATTERN.
expect() {
    local name="$1" want="$2" pattern="$3"
    shift 3
    timeout 20 "$@" >"$work/out" 2>"$work/err" </dev/null
    local status=$?
    local lines
    lines="$(grep -c '' "$work/err")"
    local ok=1
    if [ "$want" = nonzero ]; then [ "$status" -ne 0 ] && [ "$status" -ne 124 ] || ok=0
    else [ "$status" -eq "$want" ] || ok=0; fi
    [ "$lines" -eq 1 ] || ok=0
    grep -q -E "$pattern" "$work/err" || ok=0
    if [ "$ok" -eq 1 ]; then
        echo "ok: $name"
    else
        echo "FAILED: $name (status $status, $lines lines on stderr)"
        sed 's/^/  stderr: /' "$work/err"
        failures=$((failures + 1))
    fi
}

# An empty fontconfig: no face at all.
printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$work/fonts.conf"
printf 'state\n' >"$work/script.txt"

expect "game without a display" nonzero '^error: cannot open a display.*xvfb-run' \
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$melvaron"
expect "game without a font" nonzero '^error: .*fonts-ipafont-gothic' \
    env FONTCONFIG_FILE="$work/fonts.conf" "$melvaron"
expect "replay without a font" nonzero '^error: .*fonts-ipafont-gothic' \
    env FONTCONFIG_FILE="$work/fonts.conf" "$replay" "$work/script.txt"
expect "replay of a missing script" 2 '^error: cannot read' "$replay" "$work/no-such-script.txt"

[ "$failures" -eq 0 ]
