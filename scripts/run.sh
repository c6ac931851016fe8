#!/usr/bin/env bash
# Builds Tavrin Update and runs it against the simulated unit, tavrin-sim, over the machine's MIDI
# system. A JACK server with the dummy driver is started where neither the ALSA sequencer nor a JACK
# server is there. The simulated NAND is kept under the user's cache directory between runs.
#
# With a display, the window opens on the simulated unit's ports; closing it stops what was started.
# Without one, tavrin-update runs one complete update in batch mode (no X server needed) and the script
# reports the outcome; its exit status is 0 only for an update that the unit confirmed and in which the
# simulated unit found no error.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target tavrin-update tavrin-sim

cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrin-update"
mkdir -p "$cache"
state="$cache/simulated-nand.state"
work=$(mktemp -d)
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

jackd_pid=""
sim_pid=""
tail_pid=""
stop_started() {
    if [ -n "$sim_pid" ]; then
        # On SIGTERM the simulated unit saves its NAND before it exits.
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    if [ -n "$tail_pid" ]; then
        sleep 0.5
        kill "$tail_pid" 2>/dev/null || true
    fi
    if [ -n "$jackd_pid" ]; then
        kill -TERM "$jackd_pid" 2>/dev/null || true
        wait "$jackd_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop_started EXIT
trap 'exit 130' INT TERM

alsa_sequencer() { [ -r /dev/snd/seq ] && [ -w /dev/snd/seq ]; }
jack_running() { jack_wait -c 2>/dev/null | grep -qx running; }

if alsa_sequencer; then
    echo "MIDI: the ALSA sequencer."
elif jack_running; then
    echo "MIDI: the running JACK server."
else
    echo "MIDI: no ALSA sequencer and no JACK server; starting JACK with the dummy driver."
    jackd -S -t 100 -d dummy -r 48000 -p 16 >"$work/jackd.log" 2>&1 &
    jackd_pid=$!
    if ! jack_wait -w -t 10 >/dev/null 2>&1; then
        echo "The JACK server did not start:" >&2
        cat "$work/jackd.log" >&2
        exit 1
    fi
fi

headless=true
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && headless=false

# The simulated unit comes first, so that the window finds and chooses its ports at once.
sim_log="$work/tavrin-sim.log"
"$build/sim/tavrin-sim" --state "$state" >"$sim_log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    grep -qs "answering as a Tavrin" "$sim_log" && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q "answering as a Tavrin" "$sim_log"; then
    echo "The simulated unit did not start:" >&2
    cat "$sim_log" >&2
    exit 1
fi

if ! $headless; then
    echo "\"Tavrin (simulated)\" is chosen in both lists: press Connect, then Update."
    echo "The simulated unit's log follows; closing the window stops it."
    tail -n +1 -f "$sim_log" &
    tail_pid=$!
    "$build/app/tavrin-update" || true
    exit 0
fi

echo "No display: one complete update in batch mode."
update_status=0
"$build/app/tavrin-update" --batch --in "Tavrin (simulated)" --out "Tavrin (simulated)" || update_status=$?

sim_status=0
kill -TERM "$sim_pid"
wait "$sim_pid" || sim_status=$?
sim_pid=""
echo "The simulated unit (its NAND is kept in $state):"
grep -E "NAND (loaded|erased)|pass [0-9]+ (finished|abandoned|not finished)|requests \(|error" "$sim_log" || true

if [ "$update_status" -eq 0 ] && [ "$sim_status" -eq 0 ]; then
    echo "Done: the simulated Tavrin confirmed the update, and it found no error in what the updater sent."
    exit 0
fi
echo "FAILED (tavrin-update exit status $update_status, tavrin-sim exit status $sim_status)." >&2
echo "Log of the simulated unit:" >&2
cat "$sim_log" >&2
exit 1
