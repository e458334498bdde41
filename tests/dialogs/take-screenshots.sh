#!/usr/bin/env bash
# Grabs every dialog into PNGs under a virtual X display, for a look by eye.
#   tests/dialogs/take-screenshots.sh BUILD_FOLDER OUTPUT_FOLDER [DISPLAY_NUMBER]
set -euo pipefail
build=${1:?build folder}
out=${2:?output folder}
display=:${3:-99}
mkdir -p "$out"
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb"' EXIT
sleep 1
DISPLAY=$display "$build/bin/dialog_screenshots" "$out"
ls "$out"/*.png
