#!/usr/bin/env bash
# Takes the pictures in this folder: the monitor on a virtual X display (Xvfb) against the simulated
# unit, walked through its windows by its hidden --screenshot-tour option.
# Usage: docs/screenshots/take-screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
link=$(mktemp -u /tmp/gelvar-screenshots-XXXXXX)

"$build/unitsim/gelvar-unit-sim" --link "$link" > /dev/null &
sim=$!
trap 'kill "$sim" 2> /dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done

cd "$root"
GELVAR_COM1="$link" xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/src/app/gelvar-monitor" --screenshot-tour="$root/docs/screenshots"
ls -l "$root"/docs/screenshots/*.png
