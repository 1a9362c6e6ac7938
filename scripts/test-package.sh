#!/usr/bin/env bash
# The Debian package as a person gets it: `cpack -G DEB` in build/, the package's control fields
# and files, its desktop entry and AppStream metadata validated, its manual pages rendered, its
# icons measured, and its programs run from a scratch root unpacked with dpkg-deb (no root
# needed): the engine's help, a scripted session writing a PNG, and the game's window under a
# private Xvfb until it appears, then closed. Every failure says what is wrong.
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$ROOT/tests/x11_session.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

APP_ID=io.github.melvaron.dunmiro
ICON_SIZES=(16 32 48 64 128 256)
MAN_PAGES=(melvaron melvaron-engine melvaron-replay)

work="$(mktemp -d)"
game_pid=""
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then kill -KILL "$game_pid" || true; fi
    x11_stop
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
# fatal WHAT: nothing after this step can be checked.
fatal() { echo "FAILED: $*" >&2; echo "package: FAILED"; exit 1; }

# The width and height of a PNG, from its IHDR chunk.
png_size() {
    local b
    b=($(od -An -tu1 -j16 -N8 "$1"))
    [ "${#b[@]}" -eq 8 ] || return 1
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}

# --- Build the package from the plain build tree.
echo "== package: build"
build_tree build >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; fatal "the build in build/ failed"; }
(cd "$ROOT/build" && cpack -G DEB) >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fatal "cpack -G DEB failed"; }
deb="$(sed -nE 's/^CPack: - package: (.*\.deb) generated\.$/\1/p' "$work/cpack.log" | tail -n1)"
[ -n "$deb" ] && [ -f "$deb" ] || { cat "$work/cpack.log" >&2; fatal "cpack named no .deb file"; }
echo "built $(basename "$deb")"

# --- Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
version="$(sed -nE 's/^project\(melvaron VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")"
[ "$(field Package)" = melvaron ] || fail "Package is '$(field Package)', not melvaron"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not the project's $version"
[ "$(field Section)" = games ] || fail "Section is '$(field Section)', not games"
[ "$(basename "$deb")" = "melvaron_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "the file is named $(basename "$deb")"
depends="$(field Depends)"
for lib in libsdl2-2.0-0 libfreetype6 libfontconfig1 libpng16-16 fonts-ipafont-gothic; do
    grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends does not name $lib: $depends"
done
metainfo_src="$ROOT/data/$APP_ID.metainfo.xml"
homepage="$(sed -nE 's#.*<url type="homepage">(.*)</url>.*#\1#p' "$metainfo_src")"
[ "$(field Homepage)" = "$homepage" ] ||
    fail "Homepage '$(field Homepage)' is not the metadata's '$homepage'"
grep -q "<release version=\"$version\"" "$metainfo_src" ||
    fail "the metadata has no release entry for version $version"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "Maintainer or Description is empty"
[ "$failures" -eq 0 ] && ok "control fields (Depends: $depends)"

# --- The files: exactly these, so that no test, benchmark, library or header slips in.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$work/files"
{
    printf 'usr/bin/%s\n' melvaron melvaron-engine melvaron-replay
    echo "usr/share/applications/$APP_ID.desktop"
    echo "usr/share/metainfo/$APP_ID.metainfo.xml"
    for s in "${ICON_SIZES[@]}"; do echo "usr/share/icons/hicolor/${s}x${s}/apps/$APP_ID.png"; done
    for p in "${MAN_PAGES[@]}"; do echo "usr/share/man/man6/$p.6.gz"; done
    echo "usr/share/doc/melvaron/copyright"
} | sort >"$work/expected"
if diff -u "$work/expected" "$work/files" >"$work/files.diff"; then
    ok "the package holds the $(wc -l <"$work/files") expected files"
else
    fail "the package's files differ from the expected list (- missing, + unexpected):"
    sed -n '3,$p' "$work/files.diff" | grep -E '^[-+]' >&2 || true
fi

# --- Unpack into a scratch root.
root="$work/root"
dpkg-deb -x "$deb" "$root" || fatal "dpkg-deb -x could not unpack the package"
bin="$root/usr/bin"

# --- Desktop entry and AppStream metadata, as installed.
desktop="$root/usr/share/applications/$APP_ID.desktop"
metainfo="$root/usr/share/metainfo/$APP_ID.metainfo.xml"
if out="$(desktop-file-validate "$desktop" 2>&1)" && [ -z "$out" ]; then
    ok "desktop-file-validate"
else
    fail "desktop-file-validate: $out"
fi
if out="$(appstreamcli validate --no-net --strict "$metainfo" 2>&1)"; then
    ok "appstreamcli validate --strict"
else
    fail "appstreamcli validate: $out"
fi
if out="$(appstreamcli validate-tree --no-net --strict "$root" 2>&1)"; then
    ok "appstreamcli validate-tree --strict (metadata and desktop entry together)"
else
    fail "appstreamcli validate-tree: $out"
fi
exec_name="$(sed -n 's/^Exec=//p' "$desktop")"
[ -x "$bin/$exec_name" ] || fail "the desktop entry's Exec=$exec_name is not an installed program"
icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
[ "$icon_name" = "$APP_ID" ] || fail "the desktop entry's Icon=$icon_name is not $APP_ID"

# --- Icons at their sizes.
icons_ok=1
for s in "${ICON_SIZES[@]}"; do
    png="$root/usr/share/icons/hicolor/${s}x${s}/apps/$icon_name.png"
    if [ ! -f "$png" ]; then fail "no ${s}x${s} icon $icon_name.png"; icons_ok=0; continue; fi
    size="$(png_size "$png" || true)"
    [ "$size" = "${s}x${s}" ] || { fail "the ${s}x${s} icon is ${size:-not a PNG}"; icons_ok=0; }
done
[ "$icons_ok" -eq 1 ] && ok "icons at ${ICON_SIZES[*]} pixels"

# --- Manual pages: groff renders each without a warning, and they name every command.
for p in "${MAN_PAGES[@]}"; do
    page="$root/usr/share/man/man6/$p.6.gz"
    [ -f "$page" ] || { fail "no manual page $p(6)"; continue; }
    if ! out="$(gzip -dc "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)" || [ -n "$out" ]; then
        fail "groff cannot render $p(6) cleanly: $out"
    else
        ok "$p(6) renders"
    fi
done
# Each command of the programs' --help has its own entry in the page: a tag (the line after .TP)
# that starts with the command's name.
check_commands() {
    local program="$1" page="$root/usr/share/man/man6/$1.6.gz" help tags cmd missing=""
    help="$("$bin/$program" --help)" || { fail "$program --help failed"; return; }
    tags="$(gzip -dc "$page" | awk 'previous == ".TP" { print } { previous = $0 }')"
    for cmd in $(sed -nE '/^(script )?commands:/,$p' <<<"$help" | sed -nE 's/^  ([a-z]+).*/\1/p'); do
        grep -qE "^\.(B|BI|BR) $cmd( |$)" <<<"$tags" || missing+=" $cmd"
    done
    if [ -n "$missing" ]; then fail "$program(6) does not describe:$missing"
    else ok "$program(6) describes every command of $program --help"; fi
}
check_commands melvaron-engine
check_commands melvaron-replay

# --- The installed programs.
if out="$("$bin/melvaron-engine" --help 2>&1)" && grep -q '^usage: melvaron-engine' <<<"$out"; then
    ok "melvaron-engine --help"
else
    fail "melvaron-engine --help: $out"
fi
board='............\n............\n.....12.....\n.....21.....\n............\n............\n'
if out="$(printf "$board" | "$bin/melvaron-engine" legal 2>&1)" && grep -q '^mask: ' <<<"$out"; then
    ok "melvaron-engine legal"
else
    fail "melvaron-engine legal: $out"
fi

cat >"$work/session.txt" <<EOT
seed 1
move 560 350
press left 560 350
move 600 410
press left 600 410
settle
move 310 256
press left 310 256
settle
state
shot $work/session.png
EOT
if ! out="$(cd "$work" && timeout 60 "$bin/melvaron-replay" session.txt 2>&1)"; then
    fail "melvaron-replay session: $out"
elif ! grep -q '^state=0 turn=2 ' <<<"$out"; then
    fail "melvaron-replay session: unexpected state: $out"
elif [ "$(png_size "$work/session.png" || true)" != 768x512 ]; then
    fail "melvaron-replay session: the shot is not a 768x512 PNG"
else
    ok "melvaron-replay session with a 768x512 shot"
fi

# The game: its window appears on a private X server, and the close request ends it cleanly.
if ! x11_start "$work" || ! x11_layout "$bin/melvaron-replay"; then
    fail "$X11_ERROR"
else
    # A scratch data folder: the game in progress is kept there, not in the user's.
    XDG_DATA_HOME="$work/data" "$bin/melvaron" 2>"$work/game.err" &
    game_pid=$!
    if ! x11_find_window "$game_pid"; then
        fail "the installed game: $X11_ERROR ($(tr '\n' ' ' <"$work/game.err"))"
    else
        eval "$(timeout 5 xdotool getwindowgeometry --shell "$X11_WINDOW")"
        [ "$WIDTH" = "$X11_CLIENT_W" ] && [ "$HEIGHT" = "$X11_CLIENT_H" ] ||
            fail "the installed game's client area is ${WIDTH}x${HEIGHT}, not ${X11_CLIENT_W}x${X11_CLIENT_H}"
        if x11_close_game "$game_pid"; then
            game_pid=""
            ok "the installed game opens its window and closes on request"
        else
            fail "the installed game: $X11_ERROR ($(tr '\n' ' ' <"$work/game.err"))"
        fi
    fi
fi

# --- As root, apt must find everything the package depends on.
if [ "$(id -u)" -eq 0 ]; then
    if out="$(apt-get install --simulate --no-install-recommends "$deb" 2>&1)" &&
        grep -qE '^(Inst|Conf) melvaron |melvaron is already the newest' <<<"$out"; then
        ok "apt-get install --simulate finds every dependency"
    else
        fail "apt-get install --simulate: $(tail -n 5 <<<"$out")"
    fi
fi

if [ "$failures" -eq 0 ]; then echo "package: passed"; else echo "package: $failures FAILED"; fi
[ "$failures" -eq 0 ]
