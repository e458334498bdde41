#!/usr/bin/env bash
# Esc pressed on the X display (xdotool under Xvfb, as a keyboard sends it) stops an add to the
# catalogue that waits for another program's lock: once that program lets go, nothing was
# added. Skipped (77) when Xvfb or xdotool is missing.
# Usage: EscUnderX.sh CATALOGRIUM3 CTLGRM
set -euo pipefail
program=$1
ctlgrm=$2
for tool in Xvfb xdotool python3; do
    if ! command -v "$tool" > /dev/null; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

display=140
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 > /dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$display" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
export CATALOGRIUM3_CATALOGUE="$work/catalogue.sqlite"
for _ in $(seq 50); do xdotool getdisplaygeometry > /dev/null 2>&1 && break; sleep 0.1; done

mkdir -p "$work/folder/sub"
echo one > "$work/folder/a.txt"
echo two > "$work/folder/sub/b.txt"
# An empty catalogue: only an add makes one.
"$ctlgrm" --catalogue "$CATALOGRIUM3_CATALOGUE" --add seed -o /dev/null "$work/folder/sub"
"$ctlgrm" --catalogue "$CATALOGRIUM3_CATALOGUE" --forget seed

# Another program holds the catalogue until it is told to let go.
python3 - "$CATALOGRIUM3_CATALOGUE" "$work" << 'PY' &
import os, sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("BEGIN IMMEDIATE")
open(os.path.join(sys.argv[2], "held"), "w").close()
while not os.path.exists(os.path.join(sys.argv[2], "release")):
    time.sleep(0.05)
db.execute("ROLLBACK")
PY
pids+=($!)
for _ in $(seq 100); do [ -e "$work/held" ] && break; sleep 0.1; done

# The To File layout: Go reads the folder, then asks for a file, which Esc cancels.
"$program" "$work/folder" > "$work/program.log" 2>&1 &
pids+=($!)
window=$(xdotool search --sync --onlyvisible --name '^Catalogrium3$' | head -1)
xdotool windowfocus --sync "$window"
xdotool key alt+t
xdotool key alt+g
sleep 2
xdotool key Escape
sleep 1
xdotool search --name '^Catalogrium3: ' > /dev/null || { echo "the folder was not listed"; exit 1; }

# Catalogue > Add Listing to Catalogue..., the proposed name taken with Enter.
add_listing() {
    xdotool windowfocus --sync "$window"
    xdotool key alt+l
    sleep 0.5
    xdotool key a
    sleep 1
    xdotool key Return
}
media() {
    python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute("SELECT count(*) FROM media").fetchone()[0])' \
        "$CATALOGRIUM3_CATALOGUE"
}

add_listing
sleep 1.5
xdotool windowfocus --sync "$window"
xdotool key Escape
sleep 1
touch "$work/release"
sleep 2
if [ "$(media)" != 0 ]; then
    echo "Esc did not stop the add"
    exit 1
fi
# The same keys without Esc add the listing, now that nothing holds the catalogue.
add_listing
sleep 3
if [ "$(media)" != 1 ]; then
    echo "the keys did not add the listing"
    exit 1
fi
echo "Esc stopped the add"
