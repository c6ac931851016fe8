# Functions to source: start_jackd DIR starts a private JACK server with the dummy driver at 16 frames
# under a name of the tests' pool (held until the script ends), its log in DIR/jackd.log, its process
# id in jackd_pid. Run the script under the lock that the JACK tests take. stop_started ends the
# processes in `started`, first to last (put the server last).
started=()
stop_started() {
    for pid in "${started[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    started=()
}

start_jackd() {
    local slot
    for slot in 0 1 2 3; do
        exec {jack_name_lock}>"/tmp/tavrin-test-$slot.lock"
        if flock -n "$jack_name_lock"; then
            export JACK_DEFAULT_SERVER=tavrin-test-$slot
            break
        fi
        exec {jack_name_lock}>&-
    done
    if [ -z "${JACK_DEFAULT_SERVER:-}" ]; then
        echo "no JACK server name of the pool is free" >&2
        return 1
    fi
    jackd -S -t 100 -d dummy -r 48000 -p 16 >"$1/jackd.log" 2>&1 &
    jackd_pid=$!
    jack_wait -w -t 5 >/dev/null
}
