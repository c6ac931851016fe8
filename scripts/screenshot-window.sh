#!/bin/sh
# Renders the window under a virtual X server, in the style the program starts with, into docs/window.png.
#   scripts/screenshot-window.sh [BUILD_DIR [OUTPUT.png [de] [connecting|connected|updating]]]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-screenshot"}
output=${2:-"$root/docs/window.png"}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j2 --target window_screenshot
mkdir -p "$(dirname "$output")"
# A fixed screen depth and no style override from the environment, so that the picture shows the
# program as it starts.
xvfb-run -a -s "-screen 0 1280x800x24" env -u QT_QPA_PLATFORM -u QT_STYLE_OVERRIDE \
    "$build/tests/window_screenshot" "$output" "$@"
echo "wrote $output"
