# A private display and a private sound server for running the Windows build headless (source
# this file; bash). Used by ./run, ./test and the end-to-end tests.

# quorvel_start_xvfb LOGFILE: an Xvfb on a free display number; exports DISPLAY and sets
# QUORVEL_XVFB_PID. The caller stops it (kill the pid).
quorvel_start_xvfb() {
    local log=$1 numfile display
    numfile=$(mktemp)
    # -displayfd: the server picks a free display number and writes it once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" </dev/null >"$log" 2>&1 &
    QUORVEL_XVFB_PID=$!
    for _ in $(seq 100); do
        [[ -s $numfile ]] && break
        kill -0 "$QUORVEL_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -s $numfile ]]; then
        rm -f "$numfile"
        return 1
    fi
    display=$(head -1 "$numfile" | tr -d '[:space:]')
    export DISPLAY=":$display"
    rm -f "$numfile"
}

# quorvel_start_pulse RUNTIME_DIR LOGFILE: a PulseAudio daemon of its own in RUNTIME_DIR (keep the
# path short: it holds the socket) with one null sink "qsink" at 48 kHz and without rewinds (with
# rewinds a null sink's callback timing is erratic). Exports what clients need and sets
# QUORVEL_PULSE_PID. The caller stops it (kill the pid).
quorvel_start_pulse() {
    local dir=$1 log=$2
    export XDG_RUNTIME_DIR=$dir
    export PULSE_RUNTIME_PATH="$dir/pulse"
    export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
    mkdir -p "$PULSE_RUNTIME_PATH"
    chmod 700 "$dir" "$PULSE_RUNTIME_PATH"
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes \
        --load="module-null-sink sink_name=qsink rate=48000 norewinds=1" \
        --load="module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native" \
        --log-target="file:$log" </dev/null >/dev/null 2>&1
    for _ in $(seq 50); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    QUORVEL_PULSE_PID=$(cat "$PULSE_RUNTIME_PATH/pid" 2>/dev/null)
    [[ -n $QUORVEL_PULSE_PID ]] && pactl info >/dev/null 2>&1 || return 1
    pactl set-default-sink qsink >/dev/null 2>&1
}

# quorvel_raise_priority PID: lets a process of the audio path (a test program, a sound server, a
# Wine server) run ahead of whatever else loads the machine, as a real host's audio thread would.
# The scheduler groups processes by session, so the session's group is raised as well as each of
# the process's threads. Where priorities cannot be raised this changes nothing.
quorvel_raise_priority() {
    local task
    for task in /proc/"$1"/task/*; do
        renice -n -15 -p "${task##*/}" >/dev/null 2>&1
    done
    echo -15 2>/dev/null >"/proc/$1/autogroup"
    true
}
