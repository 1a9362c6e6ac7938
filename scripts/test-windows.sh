#!/usr/bin/env bash
# The Windows build as a Windows user gets it, under a private Wine without a display that starts
# every program through wine64-preloader: scripts/build-windows.sh --package
# --allow-unpinned; its fallback for a lock naming a revision the archive does not serve, which
# --package alone refuses; the GoogleTest suites built for Windows through CTest with Wine as the
# emulator (the golden pictures among them), counted case by case, each failed case printed with
# its own output, no case skipped but the POSIX-only ones; the search's node counts (bench, depths
# 1-8) and the replay's pictures of the session scripts against the Linux build's; the installer
# run silently, the installed game's window on a private Xvfb showing the headless first screen
# and the END question, closing on YES, and on Alt+F4 during a search; the uninstaller removing
# everything.
# Writes "PASSED FAILED" into $MELVARON_TEST_REPORT.
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$ROOT/tests/x11_session.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
unset DISPLAY # as in CI: only the window check gets a (private) display

work="$(mktemp -d)"
game_pid=""
passed=0
failed=0
report() { [ -z "${MELVARON_TEST_REPORT:-}" ] || echo "$passed $failed" >"$MELVARON_TEST_REPORT"; }
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then kill -KILL "$game_pid" || true; fi
    x11_stop
    [ -z "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
ok() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAILED: $*" >&2; failed=$((failed + 1)); }
fatal() { fail "$*"; report; echo "windows: FAILED"; exit 1; }

# Runs a Windows program under the private Wine with Windows' line ends turned into Unix ones.
wine_run() { wine "$@" | tr -d '\r'; }

# --- Wine: every program of the stage, the build's own among them, through its preloader.
use_private_wine
wine_prefix_ready >"$work/prefix.log" 2>&1 || fatal "the Wine prefix: $(tail -n 3 "$work/prefix.log")"
wine_server_start 2>"$work/server.log" || fatal "the Wine server: $(tail -n 3 "$work/server.log")"
wine_preloader_check 2>"$work/preloader.log" || fatal "$(sed 's/^error: //' "$work/preloader.log")"
wine_server_stop

# --- The build and the packages.
# A test, not a release: a library at another revision than the lock's is news, not a failure.
echo "== windows: build"
started=$SECONDS
bash "$ROOT/scripts/build-windows.sh" --package --allow-unpinned >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; fatal "scripts/build-windows.sh --package failed"; }
ok "scripts/build-windows.sh --package --allow-unpinned in $((SECONDS - started)) s"
grep -h 'warning:' "$work/build.log" || true

# --- A lock naming a revision the archive does not serve: libpng's, with a revision that never
# existed. The build takes the archive's and says so; --locked and --package refuse, unless
# --allow-unpinned; --update-lock pins it.
echo "== windows: a lock naming a missing revision"
gone="$work/gone.lock"
awk '$1 == "libpng" { split($2, s, "=")
                      if ($3 ~ /\.debian\./) $3 = s[1] "_" s[2] "+gone0.debian.tar.xz"
                      print $1, s[1] "=" s[2] "+gone0", $3, $4 }' "$ROOT/cmake/windows-deps.lock" >"$gone"
sources() { bash "$ROOT/scripts/build-windows.sh" --sources-only --lock "$gone" "$@" 2>&1; }
if ! grep -q '+gone0' "$gone"; then
    fail "no libpng entries in cmake/windows-deps.lock to make a missing revision of"
elif ! out="$(sources)"; then
    fail "a lock naming a missing revision stopped the build: $(tail -n 3 <<<"$out")"
elif [ "$(grep -c 'is gone from the archive' <<<"$out")" -ne 1 ]; then
    fail "a lock naming a missing revision gave no one-line notice: $(tail -n 3 <<<"$out")"
else
    notice="$(grep 'is gone from the archive' <<<"$out")"
    served="$(sed -nE 's/.* building ([^ ]+) instead:.*/\1/p' <<<"$notice")"
    ok "a missing revision builds the archive's $served: ${notice:0:120}..."
    if out="$(sources --locked)"; then
        fail "--locked took a revision the lock does not name"
    else
        ok "--locked refuses it: $(tail -n 1 <<<"$out")"
    fi
    if out="$(sources --package)"; then
        fail "--package took a revision the lock does not name"
    elif ! out="$(sources --package --allow-unpinned)"; then
        fail "--package --allow-unpinned refused a revision: $(tail -n 1 <<<"$out")"
    else
        ok "--package refuses it, --package --allow-unpinned takes it"
    fi
    # The notice's files and sums are what --update-lock pins, and --locked then takes.
    want="$(sed -nE 's/^.*instead: (.*); scripts.*$/\1/p' <<<"$notice" |
        awk '{ for (i = 1; i + 2 <= NF; i += 3) print $i, $(i + 2) }' | sort)"
    if ! sources --update-lock >"$work/update.log"; then
        fail "--update-lock failed: $(tail -n 3 "$work/update.log")"
    elif [ "$(awk '!/^#/ { print $3, $4 }' "$gone" | sort)" != "$want" ] ||
        grep -q '+gone0' "$gone"; then
        fail "--update-lock did not pin the notice's files: $(grep -v '^#' "$gone" | tr '\n' ' ')"
    elif ! out="$(sources --locked)"; then
        fail "--locked refuses the lock --update-lock wrote: $(tail -n 1 <<<"$out")"
    else
        ok "--update-lock pins $served with the notice's SHA-256s, and --locked takes it"
    fi
fi
# From here on programs start side by side and one right after another: one server for them all.
wine_server_start 2>"$work/server.log" || fatal "the Wine server: $(tail -n 3 "$work/server.log")"
version="$(sed -nE 's/^project\(melvaron VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")"
installer="$WINDOWS_OUT/melvaron-$version-win64.exe"
zip="$WINDOWS_OUT/melvaron-$version-win64.zip"
for f in "$installer" "$zip"; do
    [ -s "$f" ] && ok "$(basename "$f"): $(($(stat -c %s "$f") / 1024)) KiB" || fail "no $f"
done
if [ -s "$zip" ]; then
    listing="$(unzip -Z1 "$zip" | sed 's#^[^/]*/##')"
    missing=""
    for f in melvaron.exe melvaron-engine.exe melvaron-replay.exe fonts/ipag.ttf \
        licenses/{melvaron,SDL2,FreeType,libpng,zlib,mingw-w64,IPAGothic}.txt; do
        grep -qxF "$f" <<<"$listing" || missing+=" $f"
    done
    [ -z "$missing" ] && ok "the zip holds the programs, the face and the licences" ||
        fail "the zip lacks:$missing"
fi

# --- The suites under Wine. Each suite runs once for all its cases (each case on its own where
# tests/CMakeLists.txt says so) and writes GoogleTest's XML report into build-windows/tests/
# gtest-xml, named as ctest names the run: the cases are counted from the reports, a run that
# wrote none by ctest's verdict.
# gtest_cases REPORT: a line per case, "VERDICT<tab>SUITE.CASE<tab>WHY", VERDICT one of passed,
# failed (WHY: the first failure), skipped (WHY: the reason) and disabled. Only a POSIX-only case
# (tests/posix_only.h) is skipped: any other skip failed, as a set-up that could not run marks
# its cases skipped.
gtest_cases() {
    awk '
        function attr(line, key) {
            if (!match(line, " " key "=\"[^\"]*\"")) return ""
            return substr(line, RSTART + length(key) + 3, RLENGTH - length(key) - 4)
        }
        function text(s) {
            gsub(/&#x0[9AD];/, " ", s); gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s)
            gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s)
            return s
        }
        function emit() {
            if (verdict == "") verdict = status == "run" ? "passed" : "disabled"
            if (verdict == "skip") verdict = why ~ /POSIX-only: / ? "skipped" : "failed"
            printf "%s\t%s\t%s\n", verdict, name, why
            name = ""
        }
        cdata { if ($0 ~ /\]\]><\/(failure|skipped)>/) cdata = 0; next }
        /^[[:space:]]*<testcase / {
            name = text(attr($0, "classname")) "." text(attr($0, "name"))
            status = attr($0, "status"); verdict = ""; why = ""
            if ($0 ~ /\/>[[:space:]]*$/) emit()
            next
        }
        /^[[:space:]]*<(failure|skipped) / {
            if (verdict != "failed") {
                verdict = $0 ~ /<failure/ ? "failed" : "skip"
                why = text(attr($0, "message"))
                if (verdict == "skip" && why !~ /POSIX-only: /) why = "skipped: " why
            }
            if ($0 !~ /\]\]><\/(failure|skipped)>/) cdata = 1
            next
        }
        /^[[:space:]]*<\/testcase>/ && name != "" { emit() }' "$1"
}
# junit_output REPORT NAME: what ctest caught of the run NAME.
junit_output() {
    awk -v want="$2" '
        function text(s) {
            gsub(/\r/, "", s); gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
            gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s)
            return s
        }
        /^[[:space:]]*<testcase / { match($0, / name="[^"]*"/); mine = text(substr($0, RSTART + 7, RLENGTH - 8)) == want }
        mine && /<system-out>/ { inside = 1; sub(/^.*<system-out>/, "") }
        mine && inside {
            last = sub(/<\/system-out>.*$/, "")
            printf "%s%s", text($0), last ? "" : "\n"
            if (last) exit
        }' "$1"
}
# case_output OUTPUT CASE: the part of a suite's output from the case's start to its verdict,
# or the output's end when it has no verdict; the last lines when the case never started.
case_output() {
    local part
    part="$(awk -v c="$2" '
        $0 == "[ RUN      ] " c { on = 1 }
        on { print }
        on && substr($0, 1, 1) == "[" && index($0, "] " c " (") == 12 { exit }' <<<"$1")"
    if [ -n "$part" ]; then echo "$part"; else tail -n 40 <<<"$1"; fi
}
echo "== windows: tests under Wine"
junit="$work/wine.xml"
reports="$WINDOWS_OUT/tests/gtest-xml"
rm -rf "$reports"
status=0
# A hang's limit, far above the slowest suite (the search's signature, about 30 s under Wine).
ctest --test-dir "$WINDOWS_OUT" -j "$JOBS" --timeout 1500 --output-junit "$junit" \
    >"$work/ctest.log" 2>&1 || status=$?
if [ ! -s "$junit" ]; then
    tail -n 40 "$work/ctest.log" >&2
    fail "ctest under Wine wrote no report (status $status)"
else
    ran=0
    bad=0
    skips=()
    while read -r verdict entry; do
        if [ ! -s "$reports/$entry.xml" ]; then
            # No report: the program never got to its end.
            if [ "$verdict" = passed ]; then ran=$((ran + 1)); continue; fi
            bad=$((bad + 1))
            echo "---- $entry ($verdict, no report)" >&2
            junit_output "$junit" "$entry" | tail -n 40 >&2
            continue
        fi
        failed_cases=0
        while IFS=$'\t' read -r case_verdict name why; do
            case "$case_verdict" in
                passed) ran=$((ran + 1)) ;;
                skipped) skips+=("$name") ;;
                disabled) ;;
                *)
                    bad=$((bad + 1))
                    failed_cases=$((failed_cases + 1))
                    echo "---- $name: $why" >&2
                    case_output "$(junit_output "$junit" "$entry")" "$name" >&2
                    ;;
            esac
        done < <(gtest_cases "$reports/$entry.xml")
        # A failing run whose cases all passed: a fault outside them (a set-up, the exit).
        if [ "$verdict" = failed ] && [ "$failed_cases" -eq 0 ]; then
            bad=$((bad + 1))
            echo "---- $entry (failed with no failing case)" >&2
            junit_output "$junit" "$entry" | tail -n 20 >&2
        fi
    done < <(junit_read "$junit")
    # A failing status that no run carries still counts; ctest's last words then tell why.
    if [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; then
        bad=1
        tail -n 20 "$work/ctest.log" >&2
    fi
    [ "${#skips[@]}" -eq 0 ] ||
        echo "== windows: ${#skips[@]} skipped (POSIX-only): $(printf '%s, ' "${skips[@]}" | sed 's/, $//')"
    echo "== windows: $ran cases passed under Wine, $bad failed"
    passed=$((passed + ran))
    failed=$((failed + bad))
fi

# --- The same answers as the Linux build.
echo "== windows: against the Linux build"
build_tree build >"$work/linux.log" 2>&1 ||
    { tail -n 40 "$work/linux.log" >&2; fatal "the Linux build in build/ failed"; }
linux_engine="$ROOT/build/tools/melvaron-engine"
win_engine="$WINDOWS_OUT/tools/melvaron-engine.exe"
differ=""
for depth in 1 2 3 4 5 6 7 8; do
    "$linux_engine" bench --depth "$depth" >"$work/bench-linux-$depth.txt" 2>&1 || true
    wine_run "$win_engine" bench --depth "$depth" >"$work/bench-windows-$depth.txt" 2>&1 || true
    counts() { sed -nE 's/^(position [0-9]+: nodes=[0-9]+).*/\1/p' "$1"; }
    if [ -z "$(counts "$work/bench-linux-$depth.txt")" ] ||
        [ "$(counts "$work/bench-linux-$depth.txt")" != "$(counts "$work/bench-windows-$depth.txt")" ]; then
        differ+=" $depth"
    fi
done
if [ -z "$differ" ]; then
    ok "bench node counts equal the Linux build's at depths 1-8"
    echo "   depth 8, Linux:   $(grep '^time to move' "$work/bench-linux-8.txt")"
    echo "   depth 8, Windows: $(grep '^time to move' "$work/bench-windows-8.txt")"
else
    fail "bench node counts differ from the Linux build's at depths:$differ"
fi

# Each session script played by both replays from a scratch folder; every output and picture
# must match. Besides the project's sessions, the README's screenshot and a whole game of the
# computer against itself, and a game of two persons pictured along the way.
cat >"$work/persons.txt" <<'EOT'
seed 7
move 560 350
press left 560 350
move 600 410
press left 600 410
settle
shot persons-start.png
move 310 256
press left 310 256
settle
state
shot persons-move.png
EOT
sessions=("$ROOT"/tests/sessions/*.txt "$ROOT/docs/screenshot.txt"
          "$ROOT/web/test/sessions/computer-game.txt" "$work/persons.txt")
pictures=0
mismatched=""
for script in "${sessions[@]}"; do
    [ -f "$script" ] || continue
    name="$(basename "$script" .txt)"
    for side in linux windows; do
        dir="$work/replay-$side-$name"
        mkdir -p "$dir"
        cp "$script" "$dir/session.txt"
        sed -nE 's/^[[:space:]]*shot[[:space:]]+([^[:space:]#]+).*/\1/p' "$script" |
            while read -r shot; do mkdir -p "$dir/$(dirname "$shot")"; done
        if [ "$side" = linux ]; then
            (cd "$dir" && timeout 120 "$ROOT/build/tools/melvaron-replay" session.txt) >"$dir.out" 2>&1
        else
            (cd "$dir" && timeout 120 wine "$WINDOWS_OUT/tools/melvaron-replay.exe" session.txt |
                tr -d '\r') >"$dir.out" 2>&1
        fi || { mismatched+=" $name(failed on $side)"; }
    done
    cmp -s "$work/replay-linux-$name.out" "$work/replay-windows-$name.out" ||
        mismatched+=" $name(output)"
    while read -r png; do
        rel="${png#"$work/replay-linux-$name/"}"
        pictures=$((pictures + 1))
        cmp -s "$png" "$work/replay-windows-$name/$rel" || mismatched+=" $name:$rel"
    done < <(find "$work/replay-linux-$name" -name '*.png' | sort)
done
if [ -z "$mismatched" ] && [ "$pictures" -gt 0 ]; then
    ok "the replay's $pictures pictures and outputs of ${#sessions[@]} sessions equal the Linux build's"
else
    fail "the replays differ from the Linux build's ($pictures pictures):$mismatched"
fi

# --- The installer, the installed game's window, the uninstaller. Every wait is for a state
# (a picture shown, the process busy or gone) with a deadline long enough for a loaded machine.
# window_shows WID PNG: the window's dump matches the picture within 60 s (Wine's first start of
# a window program is slow).
window_shows() {
    local deadline=$((SECONDS + 60))
    while :; do
        timeout 10 xwd -silent -id "$1" -out "$work/window.xwd" &&
            timeout 10 "$ROOT/build/tests/xwd_compare" "$work/window.xwd" "$2" \
                >"$work/compare.out" 2>&1 && return 0
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}
click_item() {
    timeout 5 xdotool mousemove --window "$1" "${X11_ITEM_X[$2]}" "${X11_ITEM_Y[$2]}" click 1
}
wait_for_end() {
    local deadline=$((SECONDS + $2))
    while kill -0 "$1" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
    wait "$1"
}
# cpu_ticks PID: the CPU time the process has used, all its threads, in clock ticks.
cpu_ticks() { sed -E 's/^.*\) //' "/proc/$1/stat" 2>/dev/null | awk '{ print $12 + $13 }'; }
# wait_for_search PID SECONDS: until the game is computing, a tenth of a core or more over the
# last quarter second. Waiting for a person or showing a move, it uses next to none: only a
# search keeps it busy.
wait_for_search() {
    local deadline=$((SECONDS + $2)) hz before now
    hz="$(getconf CLK_TCK)"
    before="$(cpu_ticks "$1")"
    [ -n "$before" ] || return 1
    while :; do
        sleep 0.25
        now="$(cpu_ticks "$1")"
        [ -n "$now" ] || return 1
        [ $(((now - before) * 40)) -lt "$hz" ] || return 0
        before="$now"
        [ "$SECONDS" -lt "$deadline" ] || return 1
    done
}
echo "== windows: installer"
target="$WINEPREFIX/drive_c/Program Files/Melvaron Dunmiro"
rm -rf "$target"
if ! wine "$installer" /S >"$work/install.log" 2>&1; then
    fail "the installer failed: $(tail -n 5 "$work/install.log")"
elif [ ! -f "$target/melvaron.exe" ] || [ ! -f "$target/fonts/ipag.ttf" ] ||
    [ ! -f "$target/Uninstall.exe" ]; then
    fail "the silent install left no melvaron.exe, fonts/ipag.ttf or Uninstall.exe in $target"
else
    ok "the installer installs silently into Program Files"
    shortcut="$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name '*Dunmiro*.lnk' | head -n1)"
    [ -n "$shortcut" ] && ok "a Start menu entry: ${shortcut#"$WINEPREFIX/drive_c/"}" ||
        fail "the installer made no Start menu entry"
    # Wine would mirror the entry into the host's menus; the private Wine must not.
    if grep -rqs Dunmiro "$HOME/.local/share/applications" "$HOME/.config/menus"; then
        fail "installing under Wine left entries in the host's menus ($HOME/.local/share/applications)"
    fi

    # The window: the first screen of the headless replay, then END, its question, and YES
    # closes the game. The replay pictures both screens with the pointer where xdotool puts it.
    layout_tool="$work/replay-layout"
    printf '#!/bin/sh\nwine "%s" "$@" | tr -d "\\r"\n' "$target/melvaron-replay.exe" >"$layout_tool"
    chmod +x "$layout_tool"
    if ! x11_layout "$layout_tool"; then
        fail "$X11_ERROR"
    else
        printf 'shot start.png\nmove %d %d\npress left %d %d\nshot end.png\n' \
            "${X11_ITEM_X[11]}" "${X11_ITEM_Y[11]}" "${X11_ITEM_X[11]}" "${X11_ITEM_Y[11]}" \
            >"$work/first.txt"
        (cd "$work" && wine "$target/melvaron-replay.exe" first.txt >/dev/null 2>&1) ||
            fail "the installed replay could not picture the first screen and the END question"
    fi
    # A fresh Wine server: one started without a display would give the window none.
    wine_server_stop
    if [ ! -s "$work/end.png" ]; then
        : # reported above
    elif ! x11_start "$work"; then
        fail "$X11_ERROR"
    elif ! wine_server_start 2>"$work/server.log"; then
        fail "the Wine server: $(tail -n 3 "$work/server.log")"
    else
        # The game keeps a game in progress in the private Wine's local application data; one
        # a killed run left there would be resumed instead of the first screen.
        rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/melvaron
        timeout 10 xdotool mousemove 1023 767
        wine "$target/melvaron.exe" >"$work/game.err" 2>&1 &
        game_pid=$!
        if ! x11_find_window "$game_pid" 60; then
            fail "the installed game under Wine: $X11_ERROR ($(tr '\n' ' ' <"$work/game.err"))"
        elif ! window_shows "$X11_WINDOW" "$work/start.png"; then
            fail "the installed game's window never showed the headless first screen: $(cat "$work/compare.out")"
        else
            ok "the installed game's window shows the headless first screen"
            click_item "$X11_WINDOW" 11 # END
            if ! window_shows "$X11_WINDOW" "$work/end.png"; then
                fail "the installed game's window never showed the END question: $(cat "$work/compare.out")"
            else
                click_item "$X11_WINDOW" 10 # YES
                if wait_for_end "$game_pid" 60; then
                    game_pid=""
                    ok "the installed game shows the END question and closes on YES"
                else
                    fail "the installed game did not end after END / YES"
                fi
            fi
        fi
        # Closed from the window's frame (Alt+F4) while the computer searches, the game ends
        # cleanly: LV5 against LV5 with the strip's bonus, GAME, and the close once the game is
        # seen computing.
        if [ -z "$game_pid" ]; then
            timeout 10 xdotool mousemove 1023 767 # off the window, as for the first screen
            wine "$target/melvaron.exe" >"$work/game.err" 2>&1 &
            game_pid=$!
            if ! x11_find_window "$game_pid" 60; then
                fail "the installed game under Wine, again: $X11_ERROR"
            elif ! window_shows "$X11_WINDOW" "$work/start.png"; then
                fail "the installed game, again, never showed the first screen: $(cat "$work/compare.out")"
            else
                click_item "$X11_WINDOW" 18 # player 1: LV5
                click_item "$X11_WINDOW" 25 # player 2: LV5
                # The strip at the window's right edge: the bonus, depth 10.
                timeout 5 xdotool mousemove --window "$X11_WINDOW" "$((X11_CLIENT_W - 1))" 300 click 1
                click_item "$X11_WINDOW" 10 # GAME
                if ! wait_for_search "$game_pid" 120; then
                    fail "the installed game never started searching after GAME"
                else
                    # xdotool complains of the focus Wine reports; the key arrives all the same.
                    timeout 5 xdotool key --window "$X11_WINDOW" alt+F4 2>/dev/null
                    if wait_for_end "$game_pid" 60; then
                        game_pid=""
                        ok "the installed game ends cleanly when closed during a search"
                    else
                        fail "the installed game did not end cleanly when closed during a search"
                    fi
                fi
            fi
        fi
    fi
    wine_server_stop # Wine's desktop leaves the X server before it stops
    x11_stop

    uninstaller="$target/Uninstall.exe"
    wine "$uninstaller" /S >"$work/uninstall.log" 2>&1 || true
    # The uninstaller copies itself away and returns at once: wait for the folder to go.
    for _ in $(seq 600); do [ -e "$target" ] || break; sleep 0.1; done
    wineserver -w
    wine_server_start 2>"$work/server.log" || fail "the Wine server: $(tail -n 3 "$work/server.log")"
    left="$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name '*Dunmiro*' 2>/dev/null |
        head -n 5 || true)"
    [ -e "$target" ] && left="$target $left"
    for key in 'HKLM\Software\Melvaron, Dunmiro Team' \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Melvaron Dunmiro'; do
        wine reg query "$key" >/dev/null 2>&1 && left+=" the registry key $key"
    done
    [ -z "$left" ] && ok "the uninstaller removes the programs and the Start menu entry" ||
        fail "the uninstaller left: $left"
fi

report
if [ "$failed" -eq 0 ]; then echo "windows: passed"; else echo "windows: $failed FAILED"; fi
[ "$failed" -eq 0 ]
