#!/usr/bin/env bash
# Builds the web page into build-web/site/: the glyph baker, the icon painter and the site's
# filler natively (in build/, the tree ./run and ./test use), then the game with emscripten.
# Installs emscripten when it is missing.
source "$(dirname "$0")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_web_packages
# Debian's emscripten finds its optimizer's JavaScript modules here.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
cmake -S "$ROOT" -B "$ROOT/build" >/dev/null
cmake --build "$ROOT/build" -j "$JOBS" --target melvaron-bake-glyphs melvaron-icon melvaron-fill-site
emcmake cmake -S "$ROOT" -B "$ROOT/build-web" -DCMAKE_BUILD_TYPE=Release \
    -DMELVARON_GLYPH_BAKER="$ROOT/build/web/generators/melvaron-bake-glyphs" \
    -DMELVARON_ICON_PAINTER="$ROOT/build/tools/melvaron-icon" \
    -DMELVARON_SITE_FILLER="$ROOT/build/web/generators/melvaron-fill-site" "$@" >/dev/null
cmake --build "$ROOT/build-web" -j "$JOBS" --target site
echo "build-web: the page is in $ROOT/build-web/site/"
