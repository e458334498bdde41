#!/usr/bin/env bash
# Screenshots of the main window in each layout, the preview of each printed layout, the window
# after a folder was dropped on it, the Find in Catalogue window, the Media dialog, a medium's
# window and the status bar during a long scan, taken under Xvfb.
# Usage: screenshots.sh BUILD-DIR OUT-DIR
set -euo pipefail
build=${1:-build}
out=${2:-screenshots}
mkdir -p "$out"
cmake --build "$build" --target app_screenshots
Xvfb :98 -screen 0 1024x768x24 &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1
DISPLAY=:98 "$build/bin/app_screenshots" "$out"
