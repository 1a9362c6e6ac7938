#!/usr/bin/env bash
# The web page in a real browser: builds the page and the native replay tool, then drives
# headless Chromium through web/test-web.js, which compares the page with the replay's pictures
# and writes "PASSED FAILED" to $MELVARON_TEST_REPORT.
source "$(dirname "$0")/common.sh"
fail() {
    echo "test-web: $1" >&2
    [ -n "${MELVARON_TEST_REPORT:-}" ] && echo "0 1" >"$MELVARON_TEST_REPORT"
    exit 1
}
bash "$ROOT/scripts/build-web.sh" || fail "the page did not build"
cmake --build "$ROOT/build" -j "$JOBS" --target melvaron-replay || fail "the replay tool did not build"
if [ ! -d "$ROOT/web/node_modules/playwright-core" ]; then
    # The browser comes from Debian; the driver needs none of its own.
    (cd "$ROOT/web" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund) ||
        fail "npm could not install the browser driver"
fi
node "$ROOT/web/test-web.js" "$ROOT/build-web/site" "$ROOT/build/tools/melvaron-replay"
