#!/usr/bin/env bash
# Seconds of one batch update of a simulated unit over a private JACK server, then of two units updated
# at the same time by two processes, and their ratio. Starts a JACK server: run it under the lock that
# the JACK tests take.
#   flock /tmp/tavrin-heavy.lock bench/batch-units.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/release}
work=$(mktemp -d)
source "$(dirname "$0")/private-jackd.sh"
trap 'stop_started; rm -rf "$work"' EXIT
start_jackd "$work"
started+=("$jackd_pid")

for unit in A B; do
    "$build/sim/tavrin-sim" --midi jack --name "Tavrin $unit" >"$work/sim-$unit.log" 2>&1 &
    started=($! "${started[@]}")
done
for _ in $(seq 100); do
    [ "$(jack_lsp | grep -c '^Tavrin [AB]:')" -eq 4 ] && break
    sleep 0.1
done

update() { env -u DISPLAY "$build/app/tavrin-update" --batch --json --in "Tavrin $1" --out "Tavrin $1" >"$work/$1.jsonl"; }
now() { date +%s.%N; }

start=$(now)
update A
one=$(awk -v end="$(now)" -v start="$start" 'BEGIN { print end - start }')
start=$(now)
update A &
first=$!
update B
wait "$first"
two=$(awk -v end="$(now)" -v start="$start" 'BEGIN { print end - start }')
awk -v one="$one" -v two="$two" 'BEGIN { printf "one unit: %.1f s\ntwo units at once: %.1f s\nratio: %.2f\n", one, two, two / one }'
