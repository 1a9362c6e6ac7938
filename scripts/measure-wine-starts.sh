#!/usr/bin/env bash
# How often a program under the private Wine dies at its start: LOOPS loops side by side, each
# starting build-windows/tests/test_engine_bitboard.exe --gtest_list_tests COUNT times, and the
# starts that did not list the cases counted. With --no-preloader, Wine starts from a private copy
# of its loader tree without wine64-preloader, as on a machine that lacks the package (the
# failures' "failed to map the shared user data" lines go to the log named at the end).
# Usage: scripts/measure-wine-starts.sh [--no-preloader] [COUNT] [LOOPS]   (2500 and 2)
# Needs the Windows build (scripts/build-windows.sh). Not run by ./test: it only reports.
set -euo pipefail
source "$(dirname "$0")/common.sh"
preloader=1
if [ "${1:-}" = --no-preloader ]; then preloader=0; shift; fi
count="${1:-2500}"
loops="${2:-2}"
[[ "$count" =~ ^[1-9][0-9]*$ && "$loops" =~ ^[1-9][0-9]*$ ]] ||
    { echo "error: COUNT and LOOPS are positive numbers" >&2; exit 2; }
program="$WINDOWS_OUT/tests/test_engine_bitboard.exe"
[ -f "$program" ] || { echo "error: no $program (scripts/build-windows.sh builds it)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
use_private_wine
export WINEDEBUG=-all,err+virtual # the death's own line
wine_prefix_ready >/dev/null
wine_server_start
if [ "$preloader" -eq 0 ]; then
    # Debian's loader finds its libraries and data relative to itself, and the preloader beside it.
    mkdir -p "$work/loader/lib/wine" "$work/bin"
    cp /usr/lib/wine/wine64 "$work/loader/lib/wine/"
    ln -s /usr/lib/x86_64-linux-gnu "$work/loader/lib/x86_64-linux-gnu"
    ln -s /usr/share "$work/loader/share"
    for f in /usr/lib/wine/wineserver*; do ln -s "$f" "$work/loader/lib/wine/"; done
    printf '#!/bin/sh\nexport WINELOADER="%s"\nexec "$WINELOADER" "$@"\n' \
        "$work/loader/lib/wine/wine64" >"$work/bin/wine"
    chmod +x "$work/bin/wine"
    export PATH="$work/bin:$PATH"
    if wine_preloader_check 2>/dev/null; then
        echo "error: the private loader tree still starts the preloader" >&2
        exit 1
    fi
fi
wine_preloader_check 2>/dev/null && echo "Wine starts programs through wine64-preloader" ||
    echo "Wine starts programs without wine64-preloader"

log="$WINDOWS_OUT/wine-starts.log"
: >"$log"
started=$SECONDS
for loop in $(seq "$loops"); do
    (
        deaths=0
        for _ in $(seq "$count"); do
            if ! out="$(wine "$program" --gtest_list_tests 2>&1)" ||
                ! grep -qE '^[A-Za-z0-9_/]+\.\s*$' <<<"$out"; then
                deaths=$((deaths + 1))
                echo "loop $loop: $(tr -d '\r' <<<"$out" | head -n 3 | tr '\n' ' ')" >>"$log"
            fi
        done
        echo "$deaths" >"$work/deaths.$loop"
    ) &
done
wait
deaths=$(cat "$work"/deaths.* | awk '{ s += $1 } END { print s }')
echo "deaths: $deaths of $((count * loops)) starts, $loops at once, in $((SECONDS - started)) s"
[ "$deaths" -eq 0 ] || echo "their output: ${log/#"$ROOT/"/}"
