# A PulseAudio daemon of a script's own, for the whole-process tests and the whole-client
# benchmark: its null sinks play by the wall clock, catching up after a delay, however busy the
# machine is, where SDL's disk driver sleeps a period after each period's work and so plays
# slower the busier the machine. Its folder, runtime folder and socket are the script's own,
# so it never meets a user's sound server. Sourced, not run; the caller ends `pulse_daemon` and
# every pid in `pulse_pids` in its clean-up (end_all of desktop-session.sh).

pulse_daemon=
pulse_pids=

# start_pulse FOLDER [LINE...]: starts the daemon with these lines of its start-up script
# besides its socket, and once it answers points this shell's sound clients at it.
start_pulse() {
    local folder=$1 line
    shift
    mkdir -p "$folder/runtime"
    chmod 700 "$folder/runtime"
    {
        echo "load-module module-native-protocol-unix auth-anonymous=1 socket=$folder/native"
        for line in "$@"; do
            echo "$line"
        done
    } >"$folder/default.pa"
    echo "autospawn = no" >"$folder/client.conf"
    HOME=$folder XDG_RUNTIME_DIR=$folder/runtime PULSE_RUNTIME_PATH=$folder/runtime \
        pulseaudio --daemonize=no --exit-idle-time=-1 -n -F "$folder/default.pa" \
        --use-pid-file=no --log-target=stderr 2>"$folder/daemon.log" &
    pulse_daemon=$!
    export PULSE_SERVER=unix:$folder/native PULSE_CLIENTCONFIG=$folder/client.conf
    # It answers once its socket is up, unless it ends first; one that does neither for a
    # minute hangs.
    for _ in $(seq 1 600); do
        pactl info >/dev/null 2>&1 && return 0
        kill -0 "$pulse_daemon" 2>/dev/null || break
        sleep 0.1
    done
    echo "the PulseAudio daemon did not start" >&2
    cat "$folder/daemon.log" >&2
    return 1
}

# null_sink NAME: the start-up line of a null sink that plays at the client's own format
# (8000 Hz, mono, 16 bits), so that what it is given is what its monitor hands on.
null_sink() {
    echo "load-module module-null-sink sink_name=$1 rate=8000 channels=1 format=s16le"
}

# record_sink SINK FILE: records everything the null sink SINK plays from now on into FILE,
# raw in the client's format; returns once the recording stream is open.
record_sink() {
    local before
    before=$(pactl list short source-outputs | wc -l)
    # A 10 ms latency has the monitor hand on 10 ms blocks as the sink starts them.
    parec -d "$1.monitor" --raw --rate=8000 --channels=1 --format=s16le --latency-msec=10 \
        >"$2" &
    local recorder=$!
    pulse_pids="$pulse_pids $recorder"
    for _ in $(seq 1 600); do
        [ "$(pactl list short source-outputs | wc -l)" -gt "$before" ] && return 0
        kill -0 "$recorder" 2>/dev/null || break
        sleep 0.1
    done
    echo "the recording of $1 did not start" >&2
    return 1
}
