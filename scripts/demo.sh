#!/usr/bin/env bash
# The main job: builds Tessaly.scr and runs the show under Wine with its default settings, on
# Debian's nature wallpapers placed in the My Pictures folder of a throw-away Wine prefix.
# With a display the show runs on it until a key or the mouse ends it; without one it runs in a
# virtual X server and screenshots of it are written to out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh build wine demo
cmake --preset windows >/dev/null
cmake --build --preset windows --target Tessaly

if [[ -n ${DISPLAY-} ]] && xdpyinfo >/dev/null 2>&1; then
    export QM_SESSION_DISPLAY=host
    bash tests/e2e/wine_session.sh bash scripts/demo_show.sh screen
else
    mkdir -p out
    bash tests/e2e/wine_session.sh bash scripts/demo_show.sh capture out
fi
