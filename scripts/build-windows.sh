#!/usr/bin/env bash
# Cross-builds the game, its tools and its tests for 64-bit Windows into build-windows/, then the
# installer and the zip (with --package).
#
# SDL2, FreeType and libpng come from Debian's source packages at the versions named in
# cmake/windows-deps.lock, each archive checked against its SHA-256 there: a changed archive
# stops the build. They are built as static libraries, with GoogleTest from Debian's googletest
# sources and zlib from libz-mingw-w64-dev, into build-windows/deps, which is kept between runs
# and rebuilt only when the lock file, the toolchain file, googletest's version or the build
# options below change. Every program then needs only Windows' own DLLs.
#
# usage: scripts/build-windows.sh [--package]
set -euo pipefail
source "$(dirname "$0")/common.sh"

package=0
for arg in "$@"; do
    case "$arg" in
        --package) package=1 ;;
        -h | --help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "build-windows: unknown option '$arg' (try --help)" >&2; exit 2 ;;
    esac
done

ensure_packages "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

OUT="$WINDOWS_OUT"
LOCK="$ROOT/cmake/windows-deps.lock"
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
DOWNLOADS="$OUT/downloads"
PREFIX="$OUT/deps"
mkdir -p "$DOWNLOADS"

if command -v ccache >/dev/null 2>&1; then
    LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
    LAUNCHER=()
fi

# The lock file's entries: "name source=version file sha256" per line.
lock_entries() { grep -vE '^[[:space:]]*(#|$)' "$LOCK"; }

# apt-get with a private list of source packages: the deb-src twins of this machine's own
# Debian entries, kept under build-windows/, so the system's apt configuration is left alone.
APT_DIR="$OUT/apt"
apt_private() {
    apt-get -q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$APT_DIR/sources" \
        -o Dir::State::Lists="$APT_DIR/lists" -o Dir::Cache="$APT_DIR/cache" \
        -o APT::Sandbox::User="$(id -un)" "$@"
}
source_lists() {
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
    apt_private update >"$APT_DIR/update.log" 2>&1 || true
}

# fetch: every archive of the lock file into $DOWNLOADS, through apt-get source (which checks
# them against the archive's signed index), then each against its SHA-256 in the lock file.
fetch_sources() {
    local name src file sum missing=0 got
    while read -r name src file sum; do
        [ -f "$DOWNLOADS/$file" ] && [ "$(sha256sum "$DOWNLOADS/$file" | cut -d' ' -f1)" = "$sum" ] ||
            missing=1
    done < <(lock_entries)
    if [ "$missing" -eq 1 ]; then
        source_lists
        local wanted
        mapfile -t wanted < <(lock_entries | awk '{ print $2 }' | sort -u)
        echo "build-windows: apt-get source ${wanted[*]}"
        (cd "$DOWNLOADS" && apt_private source --download-only "${wanted[@]}") \
            >"$APT_DIR/source.log" 2>&1 || {
            tail -n 5 "$APT_DIR/source.log" >&2
            echo "build-windows: apt-get source could not get ${wanted[*]} (is the archive reachable?)" >&2
            exit 1
        }
    fi
    while read -r name src file sum; do
        got="$(sha256sum "$DOWNLOADS/$file" 2>/dev/null | cut -d' ' -f1)"
        if [ "$got" != "$sum" ]; then
            echo "build-windows: $file ($src) does not match cmake/windows-deps.lock:" >&2
            echo "  expected sha256 $sum" >&2
            echo "  got      sha256 ${got:-nothing (no such file)}" >&2
            exit 1
        fi
    done < <(lock_entries)
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
    done < <(lock_entries)
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
    want="recipe $recipe $(cat "$LOCK" "$TOOLCHAIN" | sha256sum | cut -d' ' -f1) googletest $(dpkg-query -W -f='${Version}' googletest)"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then return; fi
    local name dir file sum
    fetch_sources
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
        file="$(lock_entries | awk -v n="$3" '$1 == n && $3 ~ /orig/ { print $3 }')"
        tar -xOf "$DOWNLOADS/$file" --wildcards --no-wildcards-match-slash "$pattern" >"$dir/$out"
    }
    from_archive SDL2.txt '*/LICENSE.txt' sdl2
    from_archive FreeType.txt '*/docs/FTL.TXT' freetype
    from_archive libpng.txt '*/LICENSE' libpng
    cp /usr/share/doc/libz-mingw-w64-dev/copyright "$dir/zlib.txt"
    cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$dir/mingw-w64.txt"
    cp /usr/share/doc/fonts-ipafont-gothic/copyright "$dir/IPAGothic.txt"
}

build_deps
copy_licences
# CLI11 is header-only: Debian's headers, copied so that no other host header is in reach.
mkdir -p "$PREFIX/include/cli11"
cp -r /usr/include/CLI "$PREFIX/include/cli11/"

# Wine keeps its own Windows in a private prefix, made once and kept with the build. The icon
# is painted by the Windows icon writer during the build, so Wine is needed from here on.
use_private_wine
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "build-windows: making the Wine prefix"
    env -u DISPLAY wineboot --init >"$OUT/wineboot.log" 2>&1 ||
        { cat "$OUT/wineboot.log" >&2; echo "build-windows: wineboot failed" >&2; exit 1; }
    wineserver -w
fi

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
fi
