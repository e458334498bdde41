#!/usr/bin/env bash
# Grabs every dialog into PNGs under a virtual X display of its own, for a look by eye.
#   tests/dialogs/take-screenshots.sh BUILD_FOLDER OUTPUT_FOLDER
# Xvfb picks a free display itself, so a display already taken by another session is never
# used by mistake.
set -euo pipefail
build=${1:?build folder}
out=${2:?output folder}
mkdir -p "$out"
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$display_file" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$display_file"' EXIT
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$display_file" ]; then
    echo "Xvfb did not start" >&2
    exit 1
fi
DISPLAY=:$(head -n 1 "$display_file") "$build/bin/dialog_screenshots" "$out"
ls "$out"/*.png
