#!/usr/bin/env bash
# The web page in real browsers: builds the page and the native replay tool once, then drives
# Chromium, Firefox ESR and WebKitGTK through web/test/test-web.js, which compares the page with the
# replay's pictures and writes "PASSED FAILED" to $MELVARON_TEST_REPORT. Arguments go to
# test-web.js (--engine NAME to drive one engine, session files to play only those).
source "$(dirname "$0")/common.sh"
fail() {
    echo "test-web: $1" >&2
    [ -n "${MELVARON_TEST_REPORT:-}" ] && echo "0 1" >"$MELVARON_TEST_REPORT"
    exit 1
}
ensure_packages "${WEB_TEST_PACKAGES[@]}"
bash "$ROOT/scripts/build-web.sh" || fail "the page did not build"
cmake --build "$ROOT/build" -j "$JOBS" --target melvaron-replay || fail "the replay tool did not build"
# The game server for the game with a friend, where its libraries are there to build it.
server=()
# (grep reads the whole list: one that stopped early would fail the pipe under pipefail.)
if cmake --build "$ROOT/build" --target help | grep ' melvaron-server$' >/dev/null; then
    cmake --build "$ROOT/build" -j "$JOBS" --target melvaron-server ||
        fail "the game server did not build"
    server=(--server "$ROOT/build/server/melvaron-server")
fi
# The drivers as the lock file pins them; the browsers come from Debian, so none is downloaded.
if ! (cd "$ROOT/web" && npm ls --depth=0 >/dev/null 2>&1); then
    (cd "$ROOT/web" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 \
        npm ci --no-audit --no-fund) || fail "npm could not install the browser drivers"
fi
node "$ROOT/web/test/test-web.js" "$ROOT/build-web/site" "$ROOT/build/tools/melvaron-replay" \
    "${server[@]}" "$@"
