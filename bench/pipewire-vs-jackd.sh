#!/usr/bin/env bash
# Seconds of one verified batch update of the embedded image over a private jackd at 16 frames, then
# over a headless PipeWire daemon at its default quantum (the updater asks it for a short period), and
# their ratio; beside each, the simulated unit's requests per second. Starts both servers, one after
# the other: run it under the lock that the JACK tests take.
#   flock /tmp/tavrin-heavy.lock bench/pipewire-vs-jackd.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
work=$(mktemp -d)
source bench/private-jackd.sh
source scripts/pipewire-daemon.sh
unit=
jackd_pid=
stop_all() {
    for pid in $unit $jackd_pid; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    stop_pipewire
    rm -rf "$work"
}
trap stop_all EXIT

# update LABEL WRAPPER...: one update of a fresh simulated unit, both programs run through WRAPPER.
update() {
    local label=$1 name="Tavrin bench" start seconds
    shift
    "$@" "$build/sim/tavrin-sim" --midi jack --name "$name" >"$work/$label-unit.log" 2>&1 &
    unit=$!
    for _ in $(seq 100); do
        [ "$("$@" jack_lsp 2>/dev/null | grep -c "^$name:")" -eq 2 ] && break
        sleep 0.1
    done
    start=$(date +%s.%N)
    "$@" env -u DISPLAY "$build/app/tavrin-update" --batch --in "$name" --out "$name" >"$work/$label-update.log" 2>&1 ||
        { cat "$work/$label-update.log" >&2; return 1; }
    seconds=$(awk -v end="$(date +%s.%N)" -v start="$start" 'BEGIN { print end - start }')
    kill -TERM "$unit"
    wait "$unit" || true
    unit=
    grep '^MIDI:' "$work/$label-update.log" || true
    printf '%s: %.1f s, %s, %s answers lost\n' "$label" "$seconds" \
        "$(grep -o '[0-9]* requests ([0-9]*/s)' "$work/$label-unit.log")" \
        "$(grep -c '^No reply within' "$work/$label-update.log" || true)"
    elapsed=$seconds
}

start_jackd "$work"
update jackd env
jackd_seconds=$elapsed
kill -TERM "$jackd_pid"
wait "$jackd_pid" || true
jackd_pid=

start_pipewire "$work"
update pipewire pw-jack
awk -v j="$jackd_seconds" -v p="$elapsed" 'BEGIN { printf "PipeWire / jackd: %.2f\n", p / j }'
