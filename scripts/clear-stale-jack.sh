#!/usr/bin/env bash
# JACK keeps its server registry in /dev/shm and never frees the entry of a server that was killed
# unless a server of the same name starts again; after eight such servers no new one starts. With no
# JACK server running at all, every entry there is stale and is removed.
set -euo pipefail
if pgrep -x 'jackd|jackdbus' >/dev/null; then
    exit 0
fi
rm -rf /dev/shm/jack-shm-registry /dev/shm/jack_* /dev/shm/jack-*
