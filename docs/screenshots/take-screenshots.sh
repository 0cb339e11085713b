#!/usr/bin/env bash
# Takes the pictures in this folder: the monitor on a virtual X display (Xvfb) against the simulated
# unit, walked through its windows by its hidden --screenshot-tour option. The display is a 1366 x 768
# laptop screen less a 32-pixel panel and a title bar: 1366 x 706. The walk runs twice, at 100 % text
# size and at 125 % (QT_FONT_DPI=120), whose whole screens are kept as screen-100-percent.png and
# screen-125-percent.png.
# Usage: docs/screenshots/take-screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
shots="$root/docs/screenshots"
link=$(mktemp -u /tmp/gelvar-screenshots-XXXXXX)
work=$(mktemp -d /tmp/gelvar-screenshots-XXXXXX)

"$build/unitsim/gelvar-unit-sim" --link "$link" > /dev/null &
sim=$!
trap 'kill "$sim" 2> /dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done

cd "$root"
for dpi in 96 120; do
  GELVAR_COM1="$link" QT_FONT_DPI=$dpi xvfb-run -a -s "-screen 0 1366x706x24" \
    "$build/src/gui/gelvar-monitor" --screenshot-tour="$work/$dpi"
done
mv "$work/96/screen.png" "$shots/screen-100-percent.png"
mv "$work/120/screen.png" "$shots/screen-125-percent.png"
cp "$work/96/"*.png "$shots/"


# The port lost and back: the monitor driven by its menu keys (xdotool) reads the parameters and the
# variables, the simulated unit is killed (main-window-port-lost.png), started again on the same link
# and read once more (main-window-port-back.png). Needs xdotool, xwd and ImageMagick's convert.
export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 1366x706x24 > /dev/null 2>&1 &
xvfb=$!
trap 'kill "$sim" "$xvfb" 2> /dev/null || true; rm -rf "$work"' EXIT
sleep 1
(cd "$work" && GELVAR_COM1="$link" QT_QPA_PLATFORM=xcb exec "$build/src/gui/gelvar-monitor") > /dev/null 2>&1 &
monitor=$!
sleep 3
window=$(xdotool search --name "Gelvar Monitor" | head -1)
xdotool windowmove "$window" 0 0 windowfocus "$window"
keys() { xdotool key "$1"; sleep 0.4; xdotool key "$2"; sleep "$3"; }
shot() {
  local size
  size=$(xwininfo -id "$window" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h "+0+0"}')
  xwd -root -silent | convert xwd:- -crop "$size" "$shots/$1"
}
keys alt+c o 1
keys alt+p r 4
keys alt+v s 6
kill "$sim"
sleep 4
shot main-window-port-lost.png
"$build/unitsim/gelvar-unit-sim" --link "$link" > /dev/null &
sim=$!
sleep 10
shot main-window-port-back.png
kill "$monitor"
ls -l "$shots"/*.png
