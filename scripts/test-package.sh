#!/usr/bin/env bash
# The Debian packages as a person gets them, both from one `cpack -G DEB` in build/.
# The game's: its control fields and files, its desktop entry and AppStream metadata validated,
# its manual pages rendered, its icons measured, and its programs run from a scratch root
# unpacked with dpkg-deb (no root needed): the engine's help, a scripted session writing a PNG,
# and the game's window under a private Xvfb until it appears, then closed.
# The server's (with the web page that scripts/build-web.sh builds, cached in build-web/): its
# control fields, files and manual page, then, as root, installed for real with dpkg -i (its
# user, data folder and unit, enabled where it can be), the server started as its unit starts
# it and its page fetched over HTTP, stopped with SIGTERM, the package removed and purged, and
# nothing of it left. What this run installs it takes away again, whatever fails.
# Every failure says what is wrong; "PASSED FAILED" goes to $MELVARON_TEST_REPORT.
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$ROOT/tests/x11_session.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${SERVER_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

APP_ID=io.github.melvaron.dunmiro
ICON_SIZES=(16 32 48 64 128 256)
MAN_PAGES=(melvaron melvaron-engine melvaron-replay)

SERVER=melvaron-server
SERVER_DATA=/var/lib/melvaron-server
SERVER_UNIT=melvaron-server.service

work="$(mktemp -d)"
game_pid=""
server_pid=""
installed_here=0 # this run installed the server's package, so it must take it away again
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then kill -KILL "$game_pid" || true; fi
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then kill -KILL "$server_pid" || true; fi
    if [ "$installed_here" -eq 1 ] && dpkg-query -W "$SERVER" >/dev/null 2>&1; then
        echo "removing the $SERVER package this run installed"
        dpkg --purge "$SERVER" >/dev/null 2>&1 || echo "FAILED: dpkg --purge $SERVER" >&2
    fi
    x11_stop
    rm -rf "$work"
}
trap cleanup EXIT
# A run stopped from outside still takes away what it installed.
trap 'exit 130' INT
trap 'exit 143' TERM HUP
passes=0
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; passes=$((passes + 1)); }
report() { [ -z "${MELVARON_TEST_REPORT:-}" ] || echo "$passes $failures" >"$MELVARON_TEST_REPORT"; }
# fatal WHAT: nothing after this step can be checked.
fatal() { echo "FAILED: $*" >&2; failures=$((failures + 1)); report; echo "package: FAILED"; exit 1; }

# The width and height of a PNG, from its IHDR chunk.
png_size() {
    local b
    b=($(od -An -tu1 -j16 -N8 "$1"))
    [ "${#b[@]}" -eq 8 ] || return 1
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}

# --- Build the packages from the plain build tree, the web page first: the tree's configure
# step finds it there and makes the server's package.
echo "== package: build"
web_built=1
bash "$ROOT/scripts/build-web.sh" >"$work/web.log" 2>&1 ||
    { tail -n 40 "$work/web.log" >&2; fail "the web page's build (scripts/build-web.sh) failed"; web_built=0; }
build_tree build >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; fatal "the build in build/ failed"; }
(cd "$ROOT/build" && cpack -G DEB) >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fatal "cpack -G DEB failed"; }
built_deb() { # NAME: the package file cpack says it made for package NAME
    sed -nE 's/^CPack: - package: (.*\.deb) generated\.$/\1/p' "$work/cpack.log" |
        grep -E "/$1_[^/_]+_[^/_]+\.deb$" | tail -n1 || true
}
deb="$(built_deb melvaron)"
[ -n "$deb" ] && [ -f "$deb" ] || { cat "$work/cpack.log" >&2; fatal "cpack made no melvaron package"; }
server_deb="$(built_deb "$SERVER")"
echo "built $(basename "$deb")${server_deb:+ and $(basename "$server_deb")}"

# --- Control fields.
before=$failures
field() { dpkg-deb -f "$deb" "$1"; }
# depends_on DEPENDS NAME: the Depends field names package NAME (with or without a version).
depends_on() {
    local names
    names="$(sed -E 's/ *\([^)]*\)//g; s/ *, */,/g' <<<"$1")"
    [[ ",$names," == *",$2,"* ]]
}
version="$(sed -nE 's/^project\(melvaron VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")"
[ "$(field Package)" = melvaron ] || fail "Package is '$(field Package)', not melvaron"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not the project's $version"
[ "$(field Section)" = games ] || fail "Section is '$(field Section)', not games"
[ "$(basename "$deb")" = "melvaron_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "the file is named $(basename "$deb")"
depends="$(field Depends)"
for lib in libsdl2-2.0-0 libfreetype6 libfontconfig1 libpng16-16 fonts-ipafont-gothic; do
    depends_on "$depends" "$lib" || fail "Depends does not name $lib: $depends"
done
metainfo_src="$ROOT/data/$APP_ID.metainfo.xml"
homepage="$(sed -nE 's#.*<url type="homepage">(.*)</url>.*#\1#p' "$metainfo_src")"
[ "$(field Homepage)" = "$homepage" ] ||
    fail "Homepage '$(field Homepage)' is not the metadata's '$homepage'"
grep -q "<release version=\"$version\"" "$metainfo_src" ||
    fail "the metadata has no release entry for version $version"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "Maintainer or Description is empty"
[ "$failures" -eq "$before" ] && ok "control fields (Depends: $depends)"

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

# ==== The server's package: its fields and files, then installed, run and taken away.
server_checks() {
    local before=$failures depends lib
    sfield() { dpkg-deb -f "$server_deb" "$1"; }
    [ "$(sfield Package)" = "$SERVER" ] || fail "the server's Package is '$(sfield Package)'"
    [ "$(sfield Version)" = "$version" ] || fail "the server's Version is '$(sfield Version)', not $version"
    [ "$(basename "$server_deb")" = "${SERVER}_${version}_$(dpkg --print-architecture).deb" ] ||
        fail "the server's file is named $(basename "$server_deb")"
    depends="$(sfield Depends)"
    for lib in libboost-json1.81.0 libsqlite3-0 libstdc++6 adduser; do
        depends_on "$depends" "$lib" || fail "the server's Depends does not name $lib: $depends"
    done
    [ -n "$(sfield Maintainer)" ] && [ -n "$(sfield Description)" ] ||
        fail "the server's Maintainer or Description is empty"
    [ "$failures" -eq "$before" ] && ok "the server's control fields (Depends: $depends)"

    # Exactly the program, the unit, the manual page, the licence and the page's files as built.
    dpkg-deb -c "$server_deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$work/server-files"
    {
        echo "usr/bin/$SERVER"
        echo "lib/systemd/system/$SERVER_UNIT"
        echo "usr/share/man/man1/$SERVER.1.gz"
        echo "usr/share/doc/$SERVER/copyright"
        (cd "$ROOT/build-web/site" && find . -type f | sed "s#^\./#usr/share/$SERVER/site/#")
    } | sort >"$work/server-expected"
    if diff -u "$work/server-expected" "$work/server-files" >"$work/server-files.diff"; then
        ok "the server's package holds the $(wc -l <"$work/server-files") expected files"
    else
        fail "the server's files differ from the expected list (- missing, + unexpected):"
        sed -n '3,$p' "$work/server-files.diff" | grep -E '^[-+]' >&2 || true
    fi
    local script missing=""
    dpkg-deb --ctrl-tarfile "$server_deb" | tar -tvf - >"$work/server-control"
    for script in postinst prerm postrm; do
        grep -qE "^-rwxr-xr-x .* \./$script$" "$work/server-control" || missing+=" $script"
    done
    if [ -n "$missing" ]; then fail "the server's package lacks the maintainer scripts:$missing"
    else ok "the server's package has its postinst, prerm and postrm"; fi

    local sroot="$work/server-root" out
    dpkg-deb -x "$server_deb" "$sroot" || { fail "dpkg-deb -x could not unpack the server's package"; return; }
    if ! out="$(gzip -dc "$sroot/usr/share/man/man1/$SERVER.1.gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)" ||
        [ -n "$out" ]; then
        fail "groff cannot render $SERVER(1) cleanly: $out"
    else
        ok "$SERVER(1) renders"
    fi
    if out="$(apt-get install --simulate --no-install-recommends "$server_deb" 2>&1)" &&
        grep -qE "^(Inst|Conf) $SERVER |$SERVER is already the newest" <<<"$out"; then
        ok "apt-get install --simulate finds every dependency of $SERVER"
    elif [ "$(id -u)" -eq 0 ]; then
        fail "apt-get install --simulate $SERVER: $(tail -n 5 <<<"$out")"
    fi

    server_install_checks
}

# Lines of dpkg's and the maintainer scripts' output that a person would take for trouble.
alarming() { grep -iE 'warn|error|fail|unable|cannot|can.t|not found|denied|deprecat|skipping' || true; }

# http_get PORT PATH FILE: the whole answer (status line, headers, body) to a GET into FILE.
http_get() {
    timeout 10 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" &&
        printf "GET %s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n" "$2" "$1" >&3 &&
        cat <&3' http_get "$1" "$2" >"$3"
}

# The server's package installed for real, as root where nothing of it is there yet.
server_install_checks() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "skipped: installing $SERVER with dpkg -i needs root (this run is uid $(id -u))"
        return
    fi
    if dpkg-query -W "$SERVER" >/dev/null 2>&1 || getent passwd "$SERVER" >/dev/null || [ -e "$SERVER_DATA" ]; then
        echo "skipped: installing $SERVER: this machine already has its package, user or $SERVER_DATA"
        return
    fi
    local out before=$failures
    installed_here=1
    if ! out="$(dpkg --install "$server_deb" 2>&1)"; then
        fail "dpkg --install $SERVER: $(tail -n 5 <<<"$out")"
        return
    fi
    [ -z "$(alarming <<<"$out")" ] || fail "dpkg --install $SERVER said: $(alarming <<<"$out")"

    # Its user, its folder, its unit enabled (deb-systemd-helper works without systemd running).
    local passwd group uid gid home shell
    passwd="$(getent passwd "$SERVER" || true)"
    group="$(getent group "$SERVER" || true)"
    if [ -z "$passwd" ] || [ -z "$group" ]; then
        fail "the package made no user or group $SERVER"
    else
        IFS=: read -r _ _ uid gid _ home shell <<<"$passwd"
        [ "$uid" -lt 1000 ] || fail "the user $SERVER is not a system user (uid $uid)"
        [ "$gid" = "$(cut -d: -f3 <<<"$group")" ] || fail "the user $SERVER is not in its own group"
        [ "$home" = "$SERVER_DATA" ] || fail "the user $SERVER's home is $home, not $SERVER_DATA"
        [ "$shell" = /usr/sbin/nologin ] || fail "the user $SERVER's shell is $shell"
    fi
    [ "$(stat -c '%U:%G %a' "$SERVER_DATA" 2>/dev/null)" = "$SERVER:$SERVER 700" ] ||
        fail "$SERVER_DATA is '$(stat -c '%U:%G %a' "$SERVER_DATA" 2>&1)', not $SERVER:$SERVER 700"
    local unit="/lib/systemd/system/$SERVER_UNIT"
    [ -f "$unit" ] || fail "no unit $unit"
    [ "$(readlink "/etc/systemd/system/multi-user.target.wants/$SERVER_UNIT" || true)" = "$unit" ] ||
        fail "the unit is not enabled: no multi-user.target.wants link to $unit"
    if [ -d /run/systemd/system ]; then
        [ "$(systemctl is-enabled "$SERVER_UNIT" 2>&1)" = enabled ] ||
            fail "systemctl is-enabled $SERVER_UNIT: $(systemctl is-enabled "$SERVER_UNIT" 2>&1)"
    fi
    if command -v systemd-analyze >/dev/null 2>&1; then
        out="$(systemd-analyze verify --man=no "$SERVER_UNIT" 2>&1)" ||
            fail "systemd-analyze verify $SERVER_UNIT: $out"
    fi
    [ "$failures" -eq "$before" ] &&
        ok "dpkg --install $SERVER: quiet, its user, $SERVER_DATA and the unit enabled"

    server_run_checks "$unit"

    # A removal keeps the games and the user; a purge leaves nothing.
    dpkg-query -L "$SERVER" | sort >"$work/server-installed"
    before=$failures
    if ! out="$(dpkg --remove "$SERVER" 2>&1)"; then
        fail "dpkg --remove $SERVER: $(tail -n 5 <<<"$out")"
    else
        [ -z "$(alarming <<<"$out")" ] || fail "dpkg --remove $SERVER said: $(alarming <<<"$out")"
        [ ! -e "/usr/bin/$SERVER" ] && [ ! -e "$unit" ] || fail "dpkg --remove left the program or the unit"
        [ -d "$SERVER_DATA" ] && getent passwd "$SERVER" >/dev/null ||
            fail "dpkg --remove took the games' folder or the user away (only a purge may)"
        [ "$failures" -eq "$before" ] && ok "dpkg --remove $SERVER keeps $SERVER_DATA and the user"
    fi
    before=$failures
    if ! out="$(dpkg --purge "$SERVER" 2>&1)"; then
        fail "dpkg --purge $SERVER: $(tail -n 5 <<<"$out")"
        return
    fi
    installed_here=0
    [ -z "$(alarming <<<"$out")" ] || fail "dpkg --purge $SERVER said: $(alarming <<<"$out")"
    ! dpkg-query -W "$SERVER" >/dev/null 2>&1 || fail "dpkg still knows $SERVER after the purge"
    local left
    left="$(while read -r f; do [ -d "$f" ] || [ ! -e "$f" ] || echo "$f"; done <"$work/server-installed")"
    [ -z "$left" ] || fail "the purge left the package's files: $left"
    ! getent passwd "$SERVER" >/dev/null || fail "the purge left the user $SERVER"
    ! getent group "$SERVER" >/dev/null || fail "the purge left the group $SERVER"
    [ ! -e "$SERVER_DATA" ] || fail "the purge left $SERVER_DATA"
    [ ! -e /usr/share/$SERVER ] || fail "the purge left /usr/share/$SERVER"
    left="$(find /etc/systemd /var/lib/systemd -name "$SERVER*" 2>/dev/null || true)"
    [ -z "$left" ] || fail "the purge left the unit's links or state: $left"
    [ "$failures" -eq "$before" ] && ok "dpkg --purge $SERVER leaves no file, user, group or folder"
    return 0
}

# server_run_checks UNIT: the server started as the unit starts it (its ExecStart, as its user,
# with its umask), but on a free loopback port: its page over HTTP, then SIGTERM.
server_run_checks() {
    local unit="$1" exec_start before=$failures
    # ExecStart= with its continued lines, as words; --listen goes to a port of the system's choice.
    exec_start="$(sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$unit" | sed -nE 's/^ExecStart=//p')"
    local -a command
    read -r -a command <<<"$exec_start"
    local i listen=0
    for i in "${!command[@]}"; do
        if [ "${command[$i]}" = --listen ]; then command[i + 1]=127.0.0.1:0; listen=1; fi
        if [ "${command[$i]}" = --metrics ]; then command[i + 1]=127.0.0.1:0; fi
    done
    [ "$listen" -eq 1 ] || { fail "the unit's ExecStart has no --listen: $exec_start"; return; }
    [ "${command[0]}" = "/usr/bin/$SERVER" ] || { fail "the unit's ExecStart runs ${command[0]}"; return; }

    mkfifo "$work/server.out"
    (cd / && umask 0077 && exec setpriv --reuid="$SERVER" --regid="$SERVER" --init-groups \
        --no-new-privs -- "${command[@]}" >"$work/server.out" 2>"$work/server.err") &
    server_pid=$!
    local line="" port=""
    exec 4<"$work/server.out"
    read -r -t 30 line <&4 || true
    port="$(sed -nE 's#.*serving http://127\.0\.0\.1:([0-9]+)/.*#\1#p' <<<"$line")"
    if [ -z "$port" ]; then
        fail "the installed server did not say where it serves: '$line' $(tr '\n' ' ' <"$work/server.err")"
        kill -KILL "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=""
        exec 4<&-
        return
    fi

    # The operator's view, on an address of its own: healthy while the store answers.
    local metrics
    metrics="$(sed -nE 's#.*; metrics on http://127\.0\.0\.1:([0-9]+)/metrics.*#\1#p' <<<"$line")"
    if [ -z "$metrics" ]; then
        fail "the installed server did not say where its metrics are: '$line'"
    elif ! http_get "$metrics" /healthz "$work/healthz.http"; then
        fail "GET /healthz from the installed server: no answer"
    elif ! head -n1 "$work/healthz.http" | grep -q '^HTTP/1.1 200 '; then
        fail "GET /healthz from the installed server: $(head -n1 "$work/healthz.http")"
    fi

    local page="/usr/share/$SERVER/site/index.html"
    if ! http_get "$port" / "$work/index.http"; then
        fail "GET / from the installed server: no answer"
    elif ! head -n1 "$work/index.http" | grep -q '^HTTP/1.1 200 '; then
        fail "GET / from the installed server: $(head -n1 "$work/index.http")"
    elif ! grep -qi '^Cross-Origin-Opener-Policy: same-origin' "$work/index.http"; then
        fail "GET / from the installed server: the page is not sent cross-origin isolated"
    elif ! sed '1,/^\r$/d' "$work/index.http" | cmp -s - "$page"; then
        fail "GET / from the installed server is not the package's $page"
    fi
    local database="$SERVER_DATA/games.sqlite3"
    [ "$(stat -c '%U %a' "$database" 2>/dev/null)" = "$SERVER 600" ] ||
        fail "the database is '$(stat -c '%U %a' "$database" 2>&1)', not the user's alone ($SERVER 600)"

    # SIGTERM, as systemd stops it: a clean end, its log saying so.
    kill -TERM "$server_pid"
    sleep 20 &
    local timer=$! ended="" status=0
    wait -n -p ended "$server_pid" "$timer" || status=$?
    if [ "$ended" != "$server_pid" ]; then
        kill -KILL "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        status="still running 20 s after SIGTERM"
    else
        kill "$timer" 2>/dev/null || true
        wait "$timer" 2>/dev/null || true
    fi
    server_pid=""
    exec 4<&-
    [ "$status" = 0 ] || fail "the installed server, sent SIGTERM: status $status: $(tail -n 3 "$work/server.err")"
    tail -n1 "$work/server.err" | grep -q 'stopped$' ||
        fail "the installed server's log does not end with its stop: $(tail -n 3 "$work/server.err")"
    [ "$failures" -eq "$before" ] &&
        ok "the installed server, as its unit starts it, serves its page on port $port, /healthz on $metrics, and stops on SIGTERM"
    return 0
}

# ==== The server's package.
if [ "$web_built" -eq 0 ]; then
    fail "no $SERVER package without the web page"
elif [ -z "$server_deb" ] || [ ! -f "$server_deb" ]; then
    fail "cpack made no $SERVER package ($(grep -m1 'server' "$work/cpack.log" || echo 'nothing said of it'))"
else
    server_checks
fi

report
if [ "$failures" -eq 0 ]; then echo "package: passed"; else echo "package: $failures FAILED"; fi
[ "$failures" -eq 0 ]
