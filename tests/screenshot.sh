#!/usr/bin/env bash
# Starts the program under a virtual X server and saves a picture of the screen
# after the splash has gone: tests/screenshot.sh [BUILD_DIR] [OUT.png] [TAB]
# TAB (0, 1 or 2) brings that tab to the front first, with Ctrl+Tab presses.
set -euo pipefail
build=${1:-build}
out=${2:-screenshot.png}
tab=${3:-0}
app="$(cd "$build/kestrel-app" && pwd)/kestrel"
run_dir=$(mktemp -d)
chmod 700 "$run_dir"
trap 'rm -rf "$run_dir"' EXIT
export XDG_RUNTIME_DIR=$run_dir
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    "$0" & pid=$!
    sleep 3.5
    if [ "$2" != 0 ]; then
        wid=$(xdotool search --pid $pid --name "Kestrel FLV" | head -n1)
        xdotool windowfocus --sync "$wid" || true
        for _ in $(seq "$2"); do xdotool key ctrl+Tab; sleep 0.3; done
        sleep 1
    fi
    import -window root "$1"
    kill $pid' "$app" "$out" "$tab"
echo "saved $out"
