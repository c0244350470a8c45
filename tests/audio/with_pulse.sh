#!/usr/bin/env bash
# Runs a program with a private PulseAudio whose default sink is the null sink "qsink", and stops
# that server afterwards (by its PID). When no server can be started the program still runs, with
# QUORVEL_AUDIO_SKIP saying why, so its cases skip with that reason.
#   with_pulse.sh PROGRAM [ARGS...]
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../../scripts/session-lib.sh"

runtime=
pulse_pid=
program_pid=
cleanup() {
    [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null
    if [[ -n $pulse_pid ]]; then
        kill "$pulse_pid" 2>/dev/null
        for _ in $(seq 20); do
            kill -0 "$pulse_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pulse_pid" 2>/dev/null
    fi
    [[ -n $runtime ]] && rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! command -v pulseaudio >/dev/null || ! command -v parecord >/dev/null; then
    export QUORVEL_AUDIO_SKIP="pulseaudio or parecord is not installed"
else
    runtime=$(mktemp -d /tmp/quorvel-audio.XXXXXX)
    if quorvel_start_pulse "$runtime" "$runtime/pulse.log"; then
        pulse_pid=$QUORVEL_PULSE_PID
    else
        [[ -n ${QUORVEL_PULSE_PID:-} ]] && pulse_pid=$QUORVEL_PULSE_PID
        export QUORVEL_AUDIO_SKIP="PulseAudio did not start: $(tail -3 "$runtime/pulse.log" 2>/dev/null | tr '\n' ' ')"
        unset PULSE_SERVER
    fi
fi

[[ -n $pulse_pid ]] && quorvel_raise_priority "$pulse_pid"
# A session of its own (setsid does not fork here: a background job is no group leader).
setsid nice -n -15 "$@" 2>&1 &
program_pid=$!
quorvel_raise_priority "$program_pid"
wait "$program_pid"
status=$?
program_pid=
exit "$status"
