#!/usr/bin/env bash
# Renders the window under a virtual X server, in the style the program starts with, part-way through a
# real update of tavrin-sim over a private JACK server, into docs/window.png; the picture records the
# SHA-256 of app/MainWindow.ui, which a test compares with the form. Starts a JACK server: run it under
# the lock that the JACK tests take.
#   flock /tmp/tavrin-heavy.lock scripts/screenshot-window.sh [BUILD_DIR [OUTPUT.png [de]]]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-screenshot"}
output=$(realpath -m "${2:-"$root/docs/window.png"}")
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j2 --target window_screenshot tavrin-sim
mkdir -p "$(dirname "$output")"

work=$(mktemp -d)
source "$root/bench/private-jackd.sh"
trap 'stop_started; rm -rf "$work"' EXIT
start_jackd "$work"
started+=("$jackd_pid")
# A fresh unit with the simulator's fixed serial number and version, so that every run shows the same.
"$build/sim/tavrin-sim" --midi jack >"$work/sim.log" 2>&1 &
started=($! "${started[@]}")

# A fixed screen depth and no style override from the environment, so that the picture shows the
# program as it starts.
form=$(sha256sum "$root/app/MainWindow.ui" | cut -d' ' -f1)
xvfb-run -a -s "-screen 0 1280x800x24" env -u QT_QPA_PLATFORM -u QT_STYLE_OVERRIDE \
    "$build/tests/window_screenshot" "$output" "$form" "$@"
echo "wrote $output"
