# Functions to source: a headless PipeWire daemon of its own for JACK clients under pw-jack. It runs
# PipeWire's minimal setup without the ALSA adapters (a dummy driver and no sound card), with its
# socket, configuration and state in a private folder, so a desktop's own PipeWire is never touched.
#   start_pipewire DIR   the daemon, its log in DIR/pipewire.log; exports XDG_RUNTIME_DIR for clients
#   stop_pipewire        ends it

pipewire_config() {
    cat <<'CONF'
context.properties = {
    core.daemon = true
    core.name = pipewire-0
    link.max-buffers = 16
    settings.check-quantum = true
    settings.check-rate = true
}
context.spa-libs = {
    support.* = support/libspa-support
}
context.modules = [
    # Real-time scheduling where allowed: the graph's timer is late under load otherwise.
    { name = libpipewire-module-rt flags = [ ifexists nofail ] }
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-access }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
]
context.objects = [
    { factory = metadata args = { metadata.name = default } }
    { factory = spa-node-factory
        args = {
            factory.name = support.node.driver
            node.name = Dummy-Driver
            node.group = pipewire.dummy
            priority.driver = 20000
        }
    }
    { factory = spa-node-factory
        args = {
            factory.name = support.node.driver
            node.name = Freewheel-Driver
            priority.driver = 19000
            node.group = pipewire.freewheel
            node.freewheel = true
        }
    }
]
CONF
}

pipewire_pid=
start_pipewire() {
    local dir=$1
    mkdir -p -m 0700 "$dir/runtime" "$dir/config"
    pipewire_config >"$dir/pipewire.conf"
    export XDG_RUNTIME_DIR=$dir/runtime XDG_CONFIG_HOME=$dir/config
    # pipewire-jack takes a JACK server name for the name of a PipeWire daemon.
    unset PIPEWIRE_REMOTE PIPEWIRE_LATENCY PIPEWIRE_QUANTUM JACK_DEFAULT_SERVER
    # A daemon left running by a killed script ends on its own.
    timeout -k 5 1800 pipewire -c "$dir/pipewire.conf" >"$dir/pipewire.log" 2>&1 &
    pipewire_pid=$!
    for _ in $(seq 50); do
        [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && timeout 5 pw-jack jack_lsp >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "PipeWire did not start:" >&2
    cat "$dir/pipewire.log" >&2
    return 1
}

stop_pipewire() {
    [ -n "$pipewire_pid" ] || return 0
    kill -TERM "$pipewire_pid" 2>/dev/null || true
    wait "$pipewire_pid" 2>/dev/null || true
    pipewire_pid=
}
