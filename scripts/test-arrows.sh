#!/usr/bin/env bash
# The build's shape, checked from the tracked files: each room includes only what the
# architecture lets it (platform and common nothing of the game, the engine only the thread layer
# and the header that quotes input, ui nothing of the tools or the web, the web's C++ and the
# bench nothing of the tools, the server only the engine, common and the header that quotes
# input), sources are listed by name rather than collected by a glob, tracked files are never
# guarded by if(EXISTS), and include directories belong to targets.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT" || exit 1

files() { # PATTERN...: tracked files, or every file when this is not a git checkout
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -- "$@"
    else
        for p in "$@"; do find . -path "./build*" -prune -o -path "./$p" -print; done | sed 's|^\./||'
    fi
}

faults=0
fault() {
    echo "FAILED: $*"
    faults=$((faults + 1))
}

# allowed ROOM INCLUDED: whether a file of ROOM may include the project header INCLUDED.
allowed() {
    local room="$1" header="$2"
    case "$room" in
    platform) [[ "$header" == platform/* ]] ;;
    # Small pieces shared by the tools, the server, the bench and the page: nothing of the game,
    # only the header-only quoting of input that every room may take.
    common) [[ "$header" == common/* || "$header" == platform/input_text.h ]] ;;
    engine) [[ "$header" == engine/* || "$header" == platform/thread.h ||
        "$header" == platform/input_text.h ]] ;;
    ui) [[ "$header" != tools/* && "$header" != tests/* && "$header" != bench/* &&
        "$header" != web/* ]] ;;
    web) [[ "$header" != tools/* && "$header" != tests/* && "$header" != bench/* ]] ;;
    # The server plays by the engine's rules and reads its command line as the tools do (both
    # through common/); it knows nothing of pixels, windows or the tools.
    server) [[ "$header" == server/* || "$header" == engine/* || "$header" == common/* ||
        "$header" == platform/input_text.h ]] ;;
    # The bench measures the engine and the server, nothing of the tools.
    bench) [[ "$header" != tools/* && "$header" != tests/* ]] ;;
    *) true ;;
    esac
}

while IFS= read -r file; do
    room="${file%%/*}"
    while IFS= read -r line; do
        number="${line%%:*}"
        header="$(sed -E 's/^[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")"
        [[ "$header" == */* ]] || continue # a header beside the file, or a system one
        allowed "$room" "$header" || fault "$file:$number includes $header, against the arrows"
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
done < <(files 'common/*.cpp' 'common/*.h' 'engine/*.cpp' 'engine/*.h' 'platform/*.cpp' \
    'platform/*.h' 'ui/*.cpp' 'ui/*.h' \
    'web/*.cpp' 'web/*.h' 'server/*.cpp' 'server/*.h' 'bench/*.cpp' 'bench/*.h')

# check FILE PATTERN WHAT: a fault for each line of FILE that matches PATTERN.
check() {
    local hit
    while IFS= read -r hit; do fault "$1:${hit%%:*} $3"; done < <(grep -nE "$2" "$1")
}

while IFS= read -r file; do
    check "$file" '^[^#]*file[[:space:]]*\([[:space:]]*GLOB' "collects sources with a glob"
    check "$file" \
        '^[^#]*if[[:space:]]*\(.*EXISTS[[:space:]]+"?\$\{(CMAKE_(CURRENT_)?SOURCE_DIR|PROJECT_SOURCE_DIR|CMAKE_CURRENT_LIST_DIR)\}' \
        "guards a tracked file with if(EXISTS)"
    check "$file" '^[[:space:]]*include_directories[[:space:]]*\(' \
        "sets include directories for every target"
done < <(files 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake')

if [ "$faults" -eq 0 ]; then echo "ok: the includes follow the arrows and the build lists its sources"; fi
[ "$faults" -eq 0 ]
