#!/usr/bin/env bash
# Cross-builds the game, its tools and its tests for 64-bit Windows into build-windows/, then the
# installer and the zip (with --package).
#
# SDL2, FreeType and libpng come from Debian's source packages at the revisions named in
# cmake/windows-deps.lock, each archive checked against its SHA-256 there: a changed archive
# stops the build. The archive serves only the newest revision of a package. When a pinned one
# is gone, a build without --package takes the newest it serves (apt checks it against the
# signed index) and warns in one line; --package refuses, as the installer and the zip would
# not hold what the lock names, unless --allow-unpinned, and then warns again beside the
# packages. --update-lock pins what the archive serves now; --locked refuses anything but the
# lock in any build. The three are built as static libraries, with GoogleTest from Debian's
# googletest sources and zlib from libz-mingw-w64-dev, into build-windows/deps, which is kept
# between runs and rebuilt only when the revisions, the toolchain file, googletest's version or
# the build options below change. Every program then needs only Windows' own DLLs.
#
# usage: scripts/build-windows.sh [--package [--allow-unpinned]] [--locked | --update-lock]
#                                 [--sources-only] [--lock FILE]
#   --package         also the installer and the zip; only from the lock's revisions
#   --allow-unpinned  let --package take the archive's revision where the lock's is gone
#   --locked          only the lock's revisions and archives, with or without --package
#   --update-lock     pin the newest revision the archive serves of each library in the lock
#   --sources-only    get and check the libraries' sources, then stop
#   --lock FILE       another lock file (default cmake/windows-deps.lock)
set -euo pipefail
source "$(dirname "$0")/common.sh"

package=0 allow_unpinned=0 locked=0 update=0 sources_only=0
LOCK="$ROOT/cmake/windows-deps.lock"
while [ "$#" -gt 0 ]; do
    case "$1" in
        --package) package=1 ;;
        --allow-unpinned) allow_unpinned=1 ;;
        --locked) locked=1 ;;
        --update-lock) update=1 ;;
        --sources-only) sources_only=1 ;;
        --lock)
            [ "$#" -ge 2 ] || { echo "build-windows: --lock needs a FILE" >&2; exit 2; }
            LOCK="$(realpath -m -- "$2")"
            shift
            ;;
        -h | --help) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "build-windows: unknown option '${1:0:40}' (try --help)" >&2; exit 2 ;;
    esac
    shift
done
if [ "$locked" -eq 1 ] && [ "$update" -eq 1 ]; then
    echo "build-windows: --locked and --update-lock exclude each other" >&2
    exit 2
fi
if [ "$allow_unpinned" -eq 1 ] && [ "$locked" -eq 1 ]; then
    echo "build-windows: --locked and --allow-unpinned exclude each other" >&2
    exit 2
fi
if [ "$allow_unpinned" -eq 1 ] && [ "$package" -eq 0 ]; then
    echo "build-windows: --allow-unpinned applies only to --package" >&2
    exit 2
fi
# Packages are what users install: they hold the lock's revisions unless told otherwise.
refusal="--locked builds only the lock's revisions"
if [ "$package" -eq 1 ] && [ "$allow_unpinned" -eq 0 ] && [ "$update" -eq 0 ]; then
    [ "$locked" -eq 1 ] ||
        refusal="--package builds only the lock's revisions (--allow-unpinned takes the archive's)"
    locked=1
fi
[ -r "$LOCK" ] || { echo "build-windows: cannot read the lock file ${LOCK:0:200}" >&2; exit 2; }

ensure_packages "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

OUT="$WINDOWS_OUT"
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
DOWNLOADS="$OUT/downloads"
PREFIX="$OUT/deps"
# The entries this run builds: the lock's, with the archive's newest revision in place of any it
# no longer serves. Written anew by every run.
RESOLVED="$OUT/deps.lock"
mkdir -p "$DOWNLOADS"

if command -v ccache >/dev/null 2>&1; then
    LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
    LAUNCHER=()
fi

# The lock file's entries: "name source=version file sha256" per line.
lock_entries() { grep -vE '^[[:space:]]*(#|$)' "$LOCK"; }
resolved_entries() { cat "$RESOLVED"; }

# apt with a private list of source packages: the deb-src twins of this machine's own Debian
# entries, kept under build-windows/, so the system's apt configuration is left alone.
APT_DIR="$OUT/apt"
APT_OPTIONS=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$APT_DIR/sources"
             -o Dir::State::Lists="$APT_DIR/lists" -o Dir::Cache="$APT_DIR/cache"
             -o APT::Sandbox::User="$(id -un)")
apt_private() { apt-get -q "${APT_OPTIONS[@]}" "$@"; }
index_ready=0
source_lists() {
    [ "$index_ready" -eq 0 ] || return 0
    index_ready=1
    rm -rf "$APT_DIR"
    mkdir -p "$APT_DIR/sources" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
    local f n=0
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$APT_DIR/sources/$((n += 1)).sources"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >"$APT_DIR/sources/$((n += 1)).list"
    done
    # A source that offers no deb-src index only warns; a missing package is caught below.
    echo "build-windows: reading the archive's index of source packages"
    apt_private update >"$APT_DIR/update.log" 2>&1 || true
}

# index_files SOURCE VERSION: "file sha256" of the upstream and Debian archives of SOURCE at
# VERSION as the signed index lists them; nothing when it has no such version.
index_files() {
    apt-cache "${APT_OPTIONS[@]}" showsrc --only-source "$1" 2>/dev/null | awk -v want="$2" '
        /^Version: / { version = $2; next }
        /^Checksums-Sha256:/ { on = version == want; next }
        /^[^ ]/ { on = 0 }
        on && NF == 3 && $3 ~ /\.(orig|debian)\.tar\.[a-z0-9]+$/ { print $3, $1 }' |
        sort -u | awk '/\.orig\./ { print; next } { debian = debian $0 "\n" } END { printf "%s", debian }'
}

# index_versions SOURCE: the revisions of SOURCE that the index lists, the newest first.
index_versions() {
    local sorted=() v i
    while read -r v; do
        i=${#sorted[@]}
        while [ "$i" -gt 0 ] && dpkg --compare-versions "$v" gt "${sorted[i - 1]}"; do
            sorted[i]="${sorted[i - 1]}"
            i=$((i - 1))
        done
        sorted[i]="$v"
    done < <(apt-cache "${APT_OPTIONS[@]}" showsrc --only-source "$1" 2>/dev/null |
        sed -n 's/^Version: //p' | sort -u)
    [ "${#sorted[@]}" -eq 0 ] || printf '%s\n' "${sorted[@]}"
}

sha_of() { sha256sum "$1" 2>/dev/null | cut -d' ' -f1; }

# present ENTRIES: whether every "name source file sha256" line's file is downloaded and matches.
present() {
    local name src file sum
    while read -r name src file sum; do
        [ "$(sha_of "$DOWNLOADS/$file")" = "$sum" ] || return 1
    done <<<"$1"
}

# download SOURCE VERSION: apt-get source, which checks every file against the signed index;
# apt's complaint is in $APT_DIR/source.log.
download() {
    echo "build-windows: apt-get source $1=$2"
    (cd "$DOWNLOADS" && apt_private source --download-only "$1=$2") >"$APT_DIR/source.log" 2>&1
}
download_failed() {
    tail -n 3 "$APT_DIR/source.log" >&2
    echo "build-windows: apt-get source could not get $1 (is the archive reachable?)" >&2
    exit 1
}

# check ENTRIES WHAT: every file matches its SHA-256 in the entries, or the build stops.
check() {
    local name src file sum got
    while read -r name src file sum; do
        got="$(sha_of "$DOWNLOADS/$file")"
        if [ "$got" != "$sum" ]; then
            echo "build-windows: $file ($src) does not match $2:" >&2
            echo "  expected sha256 $sum" >&2
            echo "  got      sha256 ${got:-nothing (no such file)}" >&2
            exit 1
        fi
    done <<<"$1"
}

# The libraries built at another revision than the lock's, for the warning beside the packages.
unpinned=()

# resolve_sources: every library of the lock at its revision, or at the newest the archive
# serves where the lock's is gone (or --update-lock asks for it), downloaded and checked; the
# entries built go to $RESOLVED.
resolve_sources() {
    local name entries src version versions candidate files file sum line
    : >"$RESOLVED.new"
    while read -r name; do
        entries="$(lock_entries | awk -v n="$name" '$1 == n { print $1, $2, $3, $4 }')"
        src="$(awk 'NR == 1 { sub(/=.*/, "", $2); print $2 }' <<<"$entries")"
        version="$(awk 'NR == 1 { sub(/^[^=]*=/, "", $2); print $2 }' <<<"$entries")"
        if [ "$update" -eq 0 ] && present "$entries"; then
            echo "$entries" >>"$RESOLVED.new"
            continue
        fi
        source_lists
        mapfile -t versions < <(index_versions "$src")
        if [ "${#versions[@]}" -eq 0 ]; then
            echo "build-windows: the archive's index lists no source package $src (is the archive reachable? see ${APT_DIR/#"$ROOT/"/}/update.log)" >&2
            exit 1
        fi
        if [ "$update" -eq 0 ] && [ -n "$(index_files "$src" "$version")" ]; then
            present "$entries" || download "$src" "$version" || download_failed "$src=$version"
            check "$entries" "${LOCK/#"$ROOT/"/}"
            echo "$entries" >>"$RESOLVED.new"
            continue
        fi
        if [ "$locked" -eq 1 ]; then
            echo "build-windows: $src=$version is no longer in the archive, which serves ${versions[0]}; $refusal; --update-lock pins the new one" >&2
            exit 1
        fi
        # The newest revision whose archives can be had; an index may list one a mirror lacks.
        files=""
        for candidate in "${versions[@]}"; do
            files="$(index_files "$src" "$candidate")"
            [ -n "$files" ] || continue
            entries="$(awk -v n="$name" -v s="$src=$candidate" '{ print n, s, $1, $2 }' <<<"$files")"
            if present "$entries" || download "$src" "$candidate"; then break; fi
            echo "build-windows: $src=$candidate is listed but cannot be downloaded; trying an older one"
            files=""
        done
        [ -n "$files" ] || download_failed "any revision of $src"
        check "$entries" "the archive's index"
        echo "$entries" >>"$RESOLVED.new"
        if [ "$candidate" != "$version" ] && [ "$update" -eq 0 ]; then
            line="build-windows: warning: $src $version is gone from the archive; building $candidate instead:"
            while read -r file sum; do line+=" $file sha256 $sum"; done <<<"$files"
            echo "$line; scripts/build-windows.sh --update-lock pins it"
            unpinned+=("$src $candidate, not the lock's $version")
        fi
    done < <(lock_entries | awk '!seen[$1]++ { print $1 }')
    mv "$RESOLVED.new" "$RESOLVED"
}

# update_lock: the lock file's comments as they are, then the resolved entries in columns.
update_lock() {
    if diff -q <(lock_entries | awk '{ print $1, $2, $3, $4 }') "$RESOLVED" >/dev/null; then
        echo "build-windows: ${LOCK/#"$ROOT/"/} already pins what the archive serves"
        return
    fi
    {
        awk '/^[[:space:]]*(#|$)/ { print; next } { exit }' "$LOCK"
        awk '{ for (i = 1; i <= 3; ++i) if (length($i) > w[i]) w[i] = length($i); line[NR] = $0 }
             END { for (n = 1; n <= NR; ++n) { split(line[n], f, " ")
                       printf "%-*s  %-*s  %-*s  %s\n", w[1], f[1], w[2], f[2], w[3], f[3], f[4] } }' \
            "$RESOLVED"
    } >"$LOCK.new"
    mv "$LOCK.new" "$LOCK"
    echo "build-windows: ${LOCK/#"$ROOT/"/} now pins:"
    awk '!seen[$2]++ { print "  " $2 }' "$RESOLVED"
}

# unpack NAME DIR: the upstream archive with the Debian revision's patch series applied.
unpack() {
    local name="$1" dir="$2" file
    rm -rf "$dir"
    mkdir -p "$dir"
    while read -r n _ file _; do
        [ "$n" = "$name" ] || continue
        case "$file" in
            *.debian.tar.*) tar -xf "$DOWNLOADS/$file" -C "$dir" ;;
            *) tar -xf "$DOWNLOADS/$file" -C "$dir" --strip-components=1 ;;
        esac
    done < <(resolved_entries)
    if [ -f "$dir/debian/patches/series" ]; then
        local patch
        while read -r patch _; do
            case "$patch" in '' | '#'*) continue ;; esac
            # Patches to the documentation and demo archives, which are not fetched, are skipped.
            if ! sed -nE 's#^\+\+\+ [^/]+/([^/[:space:]]+).*#\1#p' "$dir/debian/patches/$patch" |
                sed -E '/^ft2(docs|demos)$/d' | grep -q .; then
                continue
            fi
            patch -d "$dir" -p1 -s --no-backup-if-mismatch <"$dir/debian/patches/$patch" ||
                { echo "build-windows: Debian patch $name/$patch does not apply" >&2; exit 1; }
        done <"$dir/debian/patches/series"
    fi
}

# cmake_dep NAME SOURCE-DIR [cmake options...]: build and install one static library.
cmake_dep() {
    local name="$1" src="$2"; shift 2
    local build="$OUT/deps-build/$name"
    echo "build-windows: building $name"
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DMELVARON_WINDOWS_PREFIX="$PREFIX" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "${LAUNCHER[@]}" "$@" \
        >"$build.log" 2>&1 &&
        cmake --build "$build" -j "$JOBS" >>"$build.log" 2>&1 &&
        cmake --install "$build" >>"$build.log" 2>&1 ||
        { tail -n 40 "$build.log" >&2; echo "build-windows: $name failed (log: $build.log)" >&2; exit 1; }
}

build_deps() {
    local stamp="$PREFIX/.stamp" want
    # RECIPE counts changes to the libraries' build options below.
    local recipe=1
    want="recipe $recipe $(cat "$RESOLVED" "$TOOLCHAIN" | sha256sum | cut -d' ' -f1) googletest $(dpkg-query -W -f='${Version}' googletest)"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then return; fi
    rm -rf "$PREFIX" "$OUT/deps-build" "$OUT/deps-src"
    mkdir -p "$OUT/deps-build" "$OUT/deps-src"
    local started=$SECONDS src="$OUT/deps-src"
    unpack libpng "$src/libpng"
    cmake_dep libpng "$src/libpng" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON
    # FreeType must take the same zlib as libpng, or its own copy's symbols clash with it.
    unpack freetype "$src/freetype"
    cmake_dep freetype "$src/freetype" -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON \
        -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
    unpack sdl2 "$src/sdl2"
    # The game needs a window, its events and message boxes: no sound, controllers or GPU.
    cmake_dep sdl2 "$src/sdl2" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
        -DSDL_AUDIO=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
        -DSDL_POWER=OFF -DSDL_DIRECTX=OFF -DSDL_RENDER_D3D=OFF -DSDL_OPENGL=OFF \
        -DSDL_OPENGLES=OFF -DSDL_VULKAN=OFF -DSDL_WASAPI=OFF
    cmake_dep googletest /usr/src/googletest -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
    rm -rf "$OUT/deps-src"
    echo "$want" >"$stamp"
    echo "build-windows: libraries built in $((SECONDS - started)) s"
}

# The licences of what the programs contain, for the packages: the libraries' own files from
# their archives, and Debian's copyright files of zlib, the MinGW-w64 runtime (winpthreads) and
# the shipped face.
copy_licences() {
    local dir="$PREFIX/share/licenses"
    mkdir -p "$dir"
    from_archive() {
        local out="$1" pattern="$2" file
        file="$(resolved_entries | awk -v n="$3" '$1 == n && $3 ~ /orig/ { print $3 }')"
        tar -xOf "$DOWNLOADS/$file" --wildcards --no-wildcards-match-slash "$pattern" >"$dir/$out"
    }
    from_archive SDL2.txt '*/LICENSE.txt' sdl2
    from_archive FreeType.txt '*/docs/FTL.TXT' freetype
    from_archive libpng.txt '*/LICENSE' libpng
    cp /usr/share/doc/libz-mingw-w64-dev/copyright "$dir/zlib.txt"
    cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$dir/mingw-w64.txt"
    cp /usr/share/doc/fonts-ipafont-gothic/copyright "$dir/IPAGothic.txt"
}

resolve_sources
[ "$update" -eq 0 ] || update_lock
[ "$sources_only" -eq 0 ] || exit 0
build_deps
copy_licences
# CLI11 is header-only: Debian's headers, copied so that no other host header is in reach.
mkdir -p "$PREFIX/include/cli11"
cp -r /usr/include/CLI "$PREFIX/include/cli11/"

# Wine keeps its own Windows in a private prefix, made once and kept with the build. The icon
# is painted by the Windows icon writer during the build, so Wine is needed from here on.
use_private_wine
wine_prefix_ready
wine_server_start
trap wine_server_stop EXIT

echo "build-windows: building the programs and tests"
cmake -S "$ROOT" -B "$OUT" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DMELVARON_WINDOWS_PREFIX="$PREFIX" -DMELVARON_BENCH=OFF -DMELVARON_WERROR=ON \
    "${LAUNCHER[@]}" >"$OUT/configure.log" 2>&1 ||
    { cat "$OUT/configure.log" >&2; echo "build-windows: configuring failed" >&2; exit 1; }
cmake --build "$OUT" -j "$JOBS"

# Only Windows' own DLLs may be imported: anything else would have to be shipped.
SYSTEM_DLLS='^(kernel32|user32|gdi32|winmm|imm32|ole32|oleaut32|version|advapi32|setupapi|shell32|msvcrt|ws2_32|dinput8|uuid|comdlg32|shlwapi|hid|cfgmgr32)\.dll$'
for exe in "$OUT"/ui/melvaron.exe "$OUT"/tools/melvaron-engine.exe "$OUT"/tools/melvaron-replay.exe; do
    foreign="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -nE 's/^\s*DLL Name: (.*)$/\1/p' |
        tr 'A-Z' 'a-z' | grep -vE "$SYSTEM_DLLS" || true)"
    if [ -n "$foreign" ]; then
        echo "build-windows: $(basename "$exe") needs DLLs Windows lacks: $foreign" >&2
        exit 1
    fi
done

if [ "$package" -eq 1 ]; then
    echo "build-windows: packaging"
    (cd "$OUT" && cpack -G ZIP && cpack -G NSIS) >"$OUT/cpack.log" 2>&1 ||
        { cat "$OUT/cpack.log" >&2; echo "build-windows: cpack failed" >&2; exit 1; }
    sed -nE 's/^CPack: - package: (.*) generated\.$/\1/p' "$OUT/cpack.log"
    for library in "${unpinned[@]}"; do
        echo "build-windows: warning: these packages hold $library (--allow-unpinned)"
    done
fi
