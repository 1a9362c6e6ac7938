# Shared by ./run and ./test: install what this Debian machine lacks, then configure and build.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

# Packages the build, the game and the tests need.
BUILD_PACKAGES=(build-essential cmake pkg-config libsdl2-dev libfreetype-dev libfontconfig-dev
                libpng-dev libcli11-dev fonts-ipafont-gothic)
TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev clang-format
               valgrind xvfb xdotool x11-utils x11-apps
               dpkg-dev file desktop-file-utils appstream groff-base # the package test
               parallel) # shards of a tournament run side by side
# The game server (melvaron-server, which ./run --web starts): HTTP and WebSocket (Beast), JSON,
# the games' database. The top CMakeLists.txt builds it when they are there.
SERVER_PACKAGES=(libboost1.81-dev libboost-json1.81-dev libsqlite3-dev)
# The web page: its compiler and node; the three browser engines its tests drive (WebKit through
# its WebDriver, which needs an X server).
WEB_PACKAGES=(emscripten nodejs)
WEB_TEST_PACKAGES=(chromium firefox-esr webkit2gtk-driver xvfb)
# The Windows build (scripts/build-windows.sh): the cross compiler, the libraries' sources,
# Wine to run the programs and tests (with its preloader: see wine_preloader_check), NSIS for
# the installer, the shipped face; the proportional face a font test reads under Wine.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest ninja-build
                  xz-utils patch wine wine64 wine64-preloader nsis zip fonts-ipafont-gothic
                  fonts-dejavu-core xvfb xdotool x11-utils)

# The Windows build's tree, and the private Wine that runs its programs and tests there.
WINDOWS_OUT="$ROOT/build-windows"
use_private_wine() {
    export WINEPREFIX="$WINDOWS_OUT/wine" WINEARCH=win64 WINEDEBUG=-all
    # No offer to install .NET or a browser, and no menu entries or file types for the host's
    # desktop: what is installed into this Wine stays in it.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}
# The private prefix, made by one wineboot before any program runs: programs started at once
# on a missing prefix would each begin making it.
wine_prefix_ready() {
    [ ! -f "$WINEPREFIX/system.reg" ] || return 0
    mkdir -p "$WINDOWS_OUT"
    echo "making the Wine prefix ${WINEPREFIX/#"$ROOT/"/}"
    env -u DISPLAY wineboot --init >"$WINDOWS_OUT/wineboot.log" 2>&1 ||
        { cat "$WINDOWS_OUT/wineboot.log" >&2; echo "error: wineboot failed" >&2; return 1; }
    wineserver -w
}
# One Wine server for the prefix while a stage starts programs one after another or side by
# side: a program that finds none starts a server and Wine's services, about a second, and the
# server quits soon after its last program. Wine's services, started by the first program, live
# as long as the server and keep that program's standard input and outputs open: a test's would
# stay open after it ended, and ctest would wait for them to its time-out. So the first program
# is one of ours with none.
wine_server_start() {
    wine_server_stop
    wineserver -p </dev/null >"$WINDOWS_OUT/wineserver.log" 2>&1 &&
        wine cmd.exe /c exit </dev/null >>"$WINDOWS_OUT/wineserver.log" 2>&1 ||
        { cat "$WINDOWS_OUT/wineserver.log" >&2; echo "error: the Wine server did not start" >&2; return 1; }
}
# Wine must start every program through wine64-preloader (Debian's wine64 only suggests it).
# Without it Wine reserves the range of Windows' shared user data page (0x7ffe0000) only once
# the C library has started, after the kernel has placed the heap at random: now and then the
# heap covers it and the program dies at its start ("failed to map the shared user data",
# hidden by WINEDEBUG=-all) with status 1, a test with no output; through cmd.exe, as
# std::system, the same death is cmd's "Can't recognize ..." and status 9009. The check: the
# process of a program held open by its input is the preloader.
wine_preloader_check() {
    local line="" exe="" input
    coproc WINE_PROBE { exec wine cmd.exe /c "echo up& set /p x=" 2>/dev/null; }
    local pid="$WINE_PROBE_PID"
    input="${WINE_PROBE[1]}"
    read -r -t 60 line <&"${WINE_PROBE[0]}" || true
    exe="$(readlink "/proc/$pid/exe" 2>/dev/null || true)"
    exec {input}>&-
    wait "$pid" 2>/dev/null || true
    case "$exe" in
        */wine64-preloader*) return 0 ;;
        "") echo "error: a Wine program died at its start (${line:-no output}) before Wine's preloader could be checked" >&2 ;;
        *) echo "error: Wine starts its programs as $exe, not through wine64-preloader, and they may die at their start: install wine64-preloader" >&2 ;;
    esac
    return 1
}
wine_server_stop() {
    wineserver -k 2>/dev/null || true
    wineserver -w
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"
    elif command -v sudo >/dev/null 2>&1; then sudo "$@"
    else
        echo "error: need root to install packages ($*); run as root or install sudo" >&2
        exit 1
    fi
}

ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
    fi
}

# build_tree DIR [cmake options...]
build_tree() {
    local dir="$1"; shift
    cmake -S "$ROOT" -B "$ROOT/$dir" "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j "$JOBS"
}

# The web packages, and Debian's npm unless node came with its own (as NodeSource's does).
ensure_web_packages() {
    ensure_packages "${WEB_PACKAGES[@]}"
    command -v npm >/dev/null 2>&1 || ensure_packages npm
}

# ctest's JUnit report (--output-junit), read by ./test and the Windows test.
# junit_read REPORT: a line per case, "VERDICT NAME" with VERDICT one of passed, failed, skipped
# and disabled. ctest marks both a skip (GTEST_SKIP's output, a skip status) and a case that
# could not run (a missing program or file, a failed fixture) "notrun"; only the skipped
# element's message tells them apart, and the second failed.
# junit_read REPORT output: each failed case's name and its own output, as ctest caught it.
junit_read() {
    awk -v mode="${2:-}" '
        function attr(line, key) {
            if (!match(line, " " key "=\"[^\"]*\"")) return ""
            return substr(line, RSTART + length(key) + 3, RLENGTH - length(key) - 4)
        }
        function text(s) {
            gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
            gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s)
            return s
        }
        /^[[:space:]]*<testcase / {
            name = text(attr($0, "name")); status = attr($0, "status"); why = ""; out = ""
            next
        }
        /^[[:space:]]*<(skipped|failure) / { why = text(attr($0, "message")) }
        /<system-out>/ { inside = 1; sub(/^.*<system-out>/, "") }
        inside {
            last = sub(/<\/system-out>.*$/, "")
            out = out $0 (last ? "" : "\n")
            if (last) inside = 0
            next
        }
        /^[[:space:]]*<\/testcase>/ {
            verdict = status == "run" ? "passed" : status == "disabled" ? "disabled" : "failed"
            if (status == "notrun" && why ~ /^SKIP_(REGULAR_EXPRESSION_MATCHED|RETURN_CODE)/)
                verdict = "skipped"
            if (mode != "output") print verdict, name
            else if (verdict == "failed") {
                printf "---- %s (%s%s)\n%s", name, status, why == "" ? "" : ": " why, text(out)
                if (out != "" && out !~ /\n$/) print ""
            }
        }' "$1"
}

# junit_count REPORT VERDICT: how many cases of the report have that verdict.
junit_count() { junit_read "$1" | grep -c "^$2 " || true; }
