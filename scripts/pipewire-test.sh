#!/usr/bin/env bash
# One complete verified batch update through PipeWire's JACK server: a headless PipeWire daemon of its
# own, tavrin-sim and tavrin-update both under pw-jack; the unit must end up holding the image. Every
# step has a time limit, so a hang fails this script rather than stalling the run.
#   scripts/pipewire-test.sh BUILD_DIR    (its app/tavrin-update and sim/tavrin-sim)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
work=$(mktemp -d)
source scripts/pipewire-daemon.sh
unit=
finish() {
    if [ -n "$unit" ]; then
        kill -TERM "$unit" 2>/dev/null || true
        wait "$unit" 2>/dev/null || true
    fi
    stop_pipewire
    rm -rf "$work"
}
trap finish EXIT
fail() {
    echo "PipeWire test failed: $*" >&2
    tail -n 20 "$work"/*.log "$work"/*.jsonl >&2 || true
    exit 1
}

start_pipewire "$work"
name="Tavrin on PipeWire"
pw-jack "$build/sim/tavrin-sim" --midi jack --name "$name" --dump "$work/nand.bin" >"$work/unit.log" 2>&1 &
unit=$!
for _ in $(seq 100); do
    [ "$(timeout 5 pw-jack jack_lsp 2>/dev/null | grep -c "^$name:")" -eq 2 ] && break
    sleep 0.1
done

status=0
timeout -k 5 600 pw-jack env -u DISPLAY "$build/app/tavrin-update" --batch --json --in "$name" --out "$name" \
    >"$work/batch.jsonl" 2>"$work/batch.log" || status=$?
[ "$status" -eq 0 ] || fail "the batch update ended with exit status $status"
grep -q '"event":"result".*"ok":true.*"verified":true' "$work/batch.jsonl" || fail "no verified result"
grep -o '"text":"MIDI:[^"]*' "$work/batch.jsonl" | cut -c9- || true
tail -n 1 "$work/batch.jsonl"

# The unit's NAND: the image from block 1 on, with no bad blocks on a fresh unit.
kill -TERM "$unit"
wait "$unit" || fail "tavrin-sim failed"
unit=
image=$build/resources/data/resourcesNAND.bin
cmp -n "$(stat -c %s "$image")" "$image" <(tail -c +$((128 * 1024 + 1)) "$work/nand.bin") ||
    fail "the unit's NAND does not hold the image"
echo "PipeWire: the unit holds the image"
