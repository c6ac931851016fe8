#!/usr/bin/env bash
# Runs the README's command-line examples as written against simulated units on a private JACK server.
# An example is the fenced block after "<!-- example for: UNIT, ... -->", which names the tavrin-sim
# units it needs. Fails when an example fails, when a JSON Lines file it wrote does not end in a
# confirmed update, when a unit found an error in what it got, or when a block that calls tavrin-update
# with options is not marked. Starts a JACK server: run it under the lock that the JACK tests take.
#   readme-examples.sh README BUILD_DIR    (its app/tavrin-update and sim/tavrin-sim)
set -euo pipefail
shopt -s nullglob
build=$(realpath "$2")
work=$(mktemp -d)
units=()
failed=0
source "$(dirname "$0")/../../bench/private-jackd.sh"
# The logs stay when something failed.
trap 'started=("${units[@]}" "${started[@]}"); stop_started; [ "$failed" -ne 0 ] || rm -rf "$work"' EXIT

# Each marked block into N.sh, the units it needs into N.units, one a line.
awk -v dir="$work" '
    /^<!-- example for: .* -->$/ { units = substr($0, 19, length($0) - 22); gsub(/, */, "\n", units); next }
    /^```/ && !inside { inside = 1; code = ""; next }
    /^```/ {
        if (units != "") { ++n; print units >(dir "/" n ".units"); printf "%s", code >(dir "/" n ".sh") }
        else if (code ~ /(^|\n) *tavrin-update -/) { print "README.md: an example not run (mark it):\n" code; bad = 1 }
        inside = 0; units = ""; next
    }
    inside { code = code $0 "\n" }
    END { if (!n) print "README.md: no example marked"; exit bad || !n }' "$1"

start_jackd "$work"
started+=("$jackd_pid")
mkdir "$work/bin"
ln -s "$build/app/tavrin-update" "$build/sim/tavrin-sim" "$work/bin/"
export PATH=$work/bin:$PATH
unset DISPLAY

for example in "$work"/*.sh; do
    name=${example%.sh}
    mapfile -t wanted <"$name.units"
    for unit in "${wanted[@]}"; do
        tavrin-sim --midi jack --name "$unit" >>"$name.sim.log" 2>&1 &
        units+=($!)
    done
    for _ in $(seq 100); do
        [ "$(jack_lsp | wc -l)" -ge $((2 * ${#wanted[@]})) ] && break
        sleep 0.1
    done
    mkdir "$name"
    (cd "$name" && timeout -k 5 300 bash -e "$example" >"$name.log" 2>&1) || { echo "failed ($name.log):"; failed=1; }
    for result in "$name"/*.jsonl; do
        tail -n 1 "$result" | grep -q '"event":"result".*"ok":true' || { echo "$result failed:"; failed=1; }
    done
    for pid in "${units[@]}"; do
        kill -TERM "$pid" && wait "$pid" || { echo "a unit found an error ($name.sim.log):"; failed=1; }
    done
    units=()
    [ "$failed" -eq 0 ] && echo "ran with ${#wanted[@]} simulated unit(s):" || echo "(logs in $work)"
    cat "$example"
    [ "$failed" -eq 0 ] || exit 1
done
