#!/usr/bin/env bash
# Builds the Debian package from a configured build directory, checks what it ships, installs it with
# apt-get, starts the installed program on a virtual X server, asks its window to close as a window
# manager does (WM_DELETE_WINDOW), and removes the package again. Run as root.
#   scripts/package-check.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 BUILD_DIR   (a configured build directory, e.g. build/release)" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0 installs and removes a package: run it as root" >&2
    exit 1
fi
build=$(cd "$1" && pwd)
package_name=tavrin-update
desktop_id=example.kestrava.TavrinUpdate
jobs=$(nproc)
work=$(mktemp -d)
chmod 755 "$work"

installed=no
cleanup() {
    if [ "$installed" = yes ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$package_name" >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

section() { printf '\n== %s\n' "$*"; }
fail() {
    echo "package check failed: $*" >&2
    exit 1
}

section "building the package"
cmake --build "$build" -j"$jobs"
cmake --build "$build" -j"$jobs" --target tavrin-close-window
rm -f "$build"/package/*.deb
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack"
}
# One package for the person who updates a unit, one with the simulated unit.
package_file() { # name
    local found=("$build"/package/"$1"_*.deb)
    [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one $1 package in $build/package"
    cp "${found[0]}" "$work/$1.deb"
    chmod 644 "$work/$1.deb"
    echo "$work/$1.deb"
}
deb=$(package_file "$package_name")
sim_deb=$(package_file tavrin-sim)
[ "$(ls "$build"/package/*.deb | wc -l)" -eq 2 ] || fail "expected exactly two packages in $build/package"

section "what the package says and holds"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for file in "$deb" "$sim_deb"; do
    [ "$(dpkg-deb -f "$file" Version)" = "$version" ] || fail "$(basename "$file") is not of the project's version $version"
done
# The build's Qt decides the libraries and the style: Plastique from Qt 5's plugin, which the package
# recommends (without it the window falls back to Fusion); Fusion, built into Qt 6, where Debian has no
# Plastique plugin for it.
qt_major=$(sed -n 's/^TAVRIN_QT_MAJOR:STRING=//p' "$build/CMakeCache.txt")
if [ "$qt_major" = 5 ]; then
    qt_packages=(libqt5widgets5) recommended=qt5-style-plugins other_qt=qt6
    style_loaded='loaded library.*styles/libqplastiquestyle'
else
    qt_packages=(libqt6widgets6) recommended="" other_qt=qt5
    style_loaded='checking directory path.*qt6/plugins/styles'
fi
depends=$(dpkg-deb -f "$deb" Depends)
for needed in "${qt_packages[@]}" librtmidi6 libasound2; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
! grep -q "$other_qt" <<<"$depends" || fail "Depends names packages of the other Qt: $depends"
! grep -q "style-plugins" <<<"$depends" || fail "Depends requires the style plugins, which are only recommended: $depends"
[ "$(dpkg-deb -f "$deb" Recommends)" = "$recommended" ] ||
    fail "Recommends is '$(dpkg-deb -f "$deb" Recommends)', not '$recommended'"
# The maker checks the image by the checksum in the description; it must be the embedded image's.
image_sha256=$(sha256sum "$build/resources/data/resourcesNAND.bin" | cut -d' ' -f1)
dpkg-deb -f "$deb" Description | grep -q "$image_sha256" || fail "the description lacks the image's SHA-256"
for file in "$deb" "$sim_deb"; do
    dpkg-deb -f "$file" Package Version Architecture Installed-Size Depends Recommends Suggests
    echo "Size: $(stat -c %s "$file") bytes"
    dpkg -c "$file"
done

contents=$work/contents sim_contents=$work/sim-contents
dpkg-deb -x "$deb" "$contents"
dpkg-deb -x "$sim_deb" "$sim_contents"
doc=usr/share/doc/$package_name
expected=(
    usr/bin/tavrin-update
    "$doc/copyright"
    "usr/share/applications/$desktop_id.desktop"
    "usr/share/metainfo/$desktop_id.metainfo.xml"
)
for size in 16 24 32 48; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$desktop_id.png")
done
for file in "${expected[@]}"; do
    [ -f "$contents/$file" ] || fail "the package lacks /$file"
done
[ ! -e "$contents/usr/bin/tavrin-sim" ] || fail "the simulated unit belongs in its own package, not in $package_name"
for file in usr/bin/tavrin-sim usr/share/doc/tavrin-sim/copyright; do
    [ -f "$sim_contents/$file" ] || fail "the tavrin-sim package lacks /$file"
done

section "copyright files in the machine-readable format"
# The header names the format; every Files paragraph has Copyright and License; a license that is not
# one of Debian's standard short names is given in full in a stand-alone License paragraph.
check_copyright() { # file
    awk -v file="$1" '
        function fail(why) { printf "%s: %s\n", file, why; bad = 1; exit 1 }
        NR == 1 && $0 != "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" { fail("the first line is not the Format field") }
        /^$/ { paragraph++; next }
        /^Files:/ { files[paragraph] = 1 }
        /^Copyright:/ { copyright[paragraph] = 1 }
        /^License:/ {
            name = $2
            if (paragraph in files) used[name] = 1
            else if (getline text > 0 && text ~ /^ /) given[name] = 1
        }
        END {
            if (bad) exit 1
            n = 0
            for (p in files) { n++; if (!(p in copyright)) fail("a Files paragraph without Copyright") }
            if (n == 0) fail("no Files paragraph")
            for (name in used) if (!(name in given)) fail("no text for the license " name)
        }' "$1" || fail "$1 is not a machine-readable copyright file"
}
check_copyright "$contents/$doc/copyright"
check_copyright "$sim_contents/usr/share/doc/tavrin-sim/copyright"
echo "both copyright files are in the machine-readable format"

section "the installed documents' links"
# Every link of an installed document that is not a web address or a heading leads to a file installed
# beside it.
while IFS= read -r markdown; do
    while IFS= read -r target; do
        target=${target%%#*}
        [ -n "$target" ] || continue
        [ -e "$(dirname "$markdown")/$target" ] || fail "/${markdown#"$contents"/} links to $target, which is not installed"
    done < <(grep -oE '\]\([^)]+\)' "$markdown" | sed -E 's/^\]\((.*)\)$/\1/' | grep -vE '^(https?:|mailto:)')
done < <(find "$contents/$doc" -name '*.md')
echo "every link of the installed documents leads to an installed file"

section "validating the desktop entry and the metainfo"
desktop-file-validate "$contents/usr/share/applications/$desktop_id.desktop"
appstreamcli validate --no-net "$contents/usr/share/metainfo/$desktop_id.metainfo.xml"

section "installing"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb" >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log"
    fail "apt-get install"
}
installed=yes
dpkg-query -W -f='${Package} ${Version} ${Status}\n' "$package_name"
program=/usr/bin/tavrin-update
[ -x "$program" ] || fail "$program is not installed"

section "starting the installed program"
# A home and settings of its own, so that neither a stored language nor the user's files play a part.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
log=$work/program.log
status=0
xvfb-run -a -s "-screen 0 1280x800x24" env -u QT_QPA_PLATFORM -u QT_STYLE_OVERRIDE QT_DEBUG_PLUGINS=1 \
    bash -c '
        program=$1 closer=$2 log=$3
        "$program" >"$log" 2>&1 &
        pid=$!
        # Up for a few seconds before the close request.
        sleep 3
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo "the program ended by itself (status $?)"; exit 1; }
        "$closer" "Tavrin Update" 20 || { kill "$pid"; wait "$pid"; exit 1; }
        for _ in $(seq 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$pid" 2>/dev/null; then
            echo "the program did not end within 10 s of the close request"
            kill -KILL "$pid"
            exit 1
        fi
        wait "$pid"
    ' check "$program" "$build/tavrin-close-window" "$log" || status=$?
if [ "$status" -ne 0 ]; then
    cat "$log"
    fail "the installed program did not show its window and close cleanly (status $status)"
fi
grep -q "$style_loaded" "$log" || {
    cat "$log"
    fail "the installed program did not load its style (Qt $qt_major: $style_loaded)"
}
echo "the installed program showed its window and ended with status 0 on the close request"

section "removing"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$package_name" >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log"
    fail "apt-get remove"
}
installed=no
[ ! -e "$program" ] || fail "$program is still there after the removal"
echo "package check passed"
