#!/usr/bin/env bash
# Real audio under Wine: tests/audio's program drives the host in-process through engineOpcode with
# the real audio library, and plays a tone per device into the private PulseAudio null sink while
# this script records the sink's monitor. Its cases check the device list (MME, DirectSound and
# WASAPI), the start after the first callback, the frame counter at the sample rate, the stop, and
# the refused WASAPI start followed by an MME device that plays; here the recording must hold each
# device's tone: MME 440 Hz, DirectSound 770 Hz, MME after the WASAPI refusal 1100 Hz.
. "$(dirname "$0")/lib.sh"

e2e_init audio_devices
: "${QUORVEL_AUDIO_E2E:?set QUORVEL_AUDIO_E2E to quorvel_audio_e2e.exe}"
# The program brings the host's code with it: nothing is installed.
e2e_bare_prefix || e2e_finish
e2e_pulse || e2e_finish

# Each tone plays for about 2.5 s: at least 1 s of it (10 windows of 100 ms) must be found.
MIN_WINDOWS=10
# The audio path (the program, the prefix's server that carries its events, the sound server) runs
# ahead of whatever else loads the machine.
server=$(quorvel_wine_server_pid "$E2E_PREFIX") && quorvel_raise_priority "$server"
quorvel_raise_priority "$E2E_PULSE_PID"

mkdir -p "$E2E_ART/logs"
e2e_record_start "$E2E_ART/monitor.wav"
cd "$E2E_PREFIX/drive_c" || e2e_finish
# A session of its own (setsid does not fork here: a background job is no group leader).
QUORVEL_AUDIO_LOG_DIR="Z:$E2E_ART/logs" setsid nice -n -15 timeout 180 wine64 "$QUORVEL_AUDIO_E2E" --gtest_color=no \
    </dev/null >"$E2E_ART/cases.out" 2>&1 &
cases_pid=$!
E2E_PIDS+=("$cases_pid")
quorvel_raise_priority "$cases_pid"
wait "$cases_pid"
status=$?
cd - >/dev/null || true
e2e_record_stop
tr -d '\r' <"$E2E_ART/cases.out"
e2e_check "the device cases passed under Wine (status $status)" test "$status" = 0
e2e_check "no case was skipped" test "$(grep -c 'SKIPPED \]' "$E2E_ART/cases.out")" = 0

wine64 "$QUORVEL_AUDIO_E2E" analyze "Z:$E2E_ART/monitor.wav" "$MIN_WINDOWS" 440 770 1100 </dev/null \
    >"$E2E_ART/analysis.txt" 2>&1
analysis=$?
tr -d '\r' <"$E2E_ART/analysis.txt"
e2e_check "the recording holds every device's tone" test "$analysis" = 0
e2e_finish
