#!/bin/sh
# Starts the viewer on samples/ (or the current folder until samples exist).
# On a machine without a display it runs the viewer for a few seconds under a
# virtual X server with a window manager and saves a screenshot instead.
set -eu

binary=$(realpath "$1")
top=$(cd "$(dirname "$0")/../.." && pwd)
folder="$top/samples"
[ -d "$folder" ] || folder=$(pwd)

if [ -n "${DISPLAY:-}" ]; then
    cd "$folder"
    exec "$binary"
fi

shot="$top/build/run-screenshot.png"
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r number <"$fifo"
rm -f "$fifo"
export DISPLAY=":$number"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 1
(cd "$folder" && exec "$binary") &
viewer=$!
sleep 4
import -window root "$shot"
kill "$viewer" 2>/dev/null || true
wait "$viewer" 2>/dev/null || true
kill "$wm" "$xvfb" 2>/dev/null || true
wait 2>/dev/null || true
echo "No display here: ran the viewer on $folder under Xvfb for a few seconds."
echo "Screenshot saved to $shot"
