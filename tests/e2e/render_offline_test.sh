#!/usr/bin/env bash
# Tools > Render offline as a user meets it after the install step: both files chosen through the
# file dialogs, Render, the progress window over the disabled dialog, the render ending by itself
# with the labels naming the files rendered, the WAV holding the MIDI file's notes at their times
# with a tail into silence, and audio that played before playing again once the dialog is closed.
. "$(dirname "$0")/lib.sh"

e2e_init render_offline
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

SA='HKCU\Software\Vantor\QuorvelSA'
MAIN='Vantor Quorvel'
DIALOG='Render Offline'
LOG=$(e2e_log_path)
WAVCHECK=$(dirname "$0")/tools/wavcheck.py
FILES=$E2E_ART/files
mkdir -p "$FILES"
e2e_reg_add "$SA" firstUse REG_DWORD 0 # no first-use notice

dialog_controls() { e2e_wintool controls --caption "$DIALOG" --timeout 5000; }
label() { dialog_controls | grep -m1 "^control: Static $1 " | cut -d' ' -f9-; }
render_state() { dialog_controls | grep -m1 '^control: Button 1010 ' | awk '{print $8}'; }
choose() {
    e2e_wintool wait --caption "$1" --class '#32770' --timeout 15000 >/dev/null || return 1
    e2e_wintool settext --caption "$1" --class '#32770' --id 1148 --text "$2" >/dev/null || return 1
    e2e_wintool click --caption "$1" --class '#32770' --id 1 --timeout 10000 >/dev/null
}
midi_label_shown() { [[ $(label 1011) == notes ]]; }
render_enabled() { [[ $(render_state) == enabled ]]; }
no_progress_window() { ! e2e_wintool wait --caption Rendering --timeout 500 >/dev/null; }
# The last of the audio and offline opcodes in the log is an audio start.
audio_restarted() {
    e2e_messages "$LOG" | grep -E '^VE_ENGINE_(AUDIO_START|AUDIO_STOP|OFFLINE_SET)$' | tail -1 | grep -qx VE_ENGINE_AUDIO_START
}
labels_kept() { [[ $(label 1011) == notes && $(label 1012) == render ]]; }

# Four short notes at 0, 0.5, 1.25 and 2.0 s (120 bpm, no tempo change), ending at 4.0 s.
e2e_notes_mid "$FILES/notes.mid" 3840 0:60 480:64 1200:67 1920:72
printf 'BREVIAN-PRESET 1\nE2E_Pluck 0.002 0.15 0.0 0.05 3000 0.10 1.0 0.0 0.0 0.80\n' >"$FILES/pluck.preset"

e2e_start_host "$(e2e_winpath "$FILES/pluck.preset")"
if ! e2e_wintool wait --caption "$MAIN" --timeout 60000 >/dev/null; then
    e2e_fail "no main window"
    e2e_screenshot no-window
    e2e_finish
fi
sleep 1 # the first idle ticks

e2e_wintool command --caption "$MAIN" --id 2002 >/dev/null
e2e_check "the dialog opens" e2e_wintool wait --caption "$DIALOG" --timeout 15000
e2e_check "Render starts disabled" test "$(render_state)" = disabled
e2e_wintool press --caption "$DIALOG" --id 1008 >/dev/null
choose "Select a MIDI file" "$(e2e_winpath "$FILES/notes.mid")"
e2e_check "the MIDI label shows the display name" e2e_until 10 midi_label_shown
e2e_wintool press --caption "$DIALOG" --id 1009 >/dev/null
choose "Record Audio into" "$(e2e_winpath "$FILES/render.wav")"
e2e_check "Render is enabled once both files are chosen" e2e_until 10 render_enabled
e2e_screenshot files-chosen
# The render is quick: the watcher is already looking when Render is pressed.
e2e_wintool wait --caption "Rendering" --timeout 20000 >/dev/null &
watcher=$!
sleep 2
e2e_wintool press --caption "$DIALOG" --id 1010 >/dev/null
wait "$watcher"
e2e_check "the progress window appears" test $? = 0
e2e_screenshot rendering
e2e_check "the render ends by itself: the progress window is gone" e2e_until 60 no_progress_window
e2e_check "the labels still name the files rendered" labels_kept
e2e_screenshot rendered
python3 "$WAVCHECK" "$FILES/render.wav" --strict --onsets 0,0.5,1.25,2.0 --tolerance 12 >"$E2E_ART/render-analysis.txt" 2>&1
e2e_check "the WAV holds the notes at their times (within one block)" test $? = 0

# A long file, cancelled part way through: the confirmation's Yes ends the render at once and
# leaves a valid, shorter WAV file.
python3 - "$FILES/long.mid" <<'PY'
import struct, sys
track = b"\x00\xff\x51\x03" + (500000).to_bytes(3, "big")
for i in range(2400):  # 20 minutes of eighth notes
    track += b"\x00" + bytes([0x90, 48 + i % 24, 100]) + b"\x81\x70" + bytes([0x80, 48 + i % 24, 0])
track += b"\x00\xff\x2f\x00"
open(sys.argv[1], "wb").write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track)) + track)
PY
e2e_wintool press --caption "$DIALOG" --id 1008 >/dev/null
choose "Select a MIDI file" "$(e2e_winpath "$FILES/long.mid")"
e2e_until 10 render_enabled
e2e_wintool press --caption "$DIALOG" --id 1010 >/dev/null
e2e_wintool wait --caption "Rendering" --class vantorProgressDialog --timeout 10000 >/dev/null
sleep 1 # a second of rendering
e2e_wintool press --caption "Rendering" --class vantorProgressDialog --id 2 >/dev/null
e2e_check "Cancel asks first" e2e_wintool click --caption "Rendering" --class '#32770' --id 6 --timeout 10000
e2e_check "a confirmed cancel ends the render" e2e_until 15 no_progress_window
python3 "$WAVCHECK" "$FILES/render.wav" --strict >"$E2E_ART/cancelled-analysis.txt" 2>&1
e2e_check "the cancelled render's WAV is valid" test $? = 0
FRAMES=$(sed -nE 's/.* ([0-9]+) frames$/\1/p' "$E2E_ART/cancelled-analysis.txt")
e2e_check "and shorter than the whole file (${FRAMES:-no} frames)" test "${FRAMES:-0}" -gt 0 -a "${FRAMES:-0}" -lt $((1200 * 48000))

e2e_wintool close --caption "$DIALOG" --timeout 10000 >/dev/null
e2e_check "the close box ends the dialog" test $? = 0
sleep 1
e2e_check "audio plays again after the dialog" e2e_until 10 audio_restarted

e2e_close_host 30
e2e_wait_host 5 || e2e_kill_host
e2e_check "exit status 0" test "$E2E_HOST_STATUS" = 0
e2e_check "no unexpected box" test ! -s "$E2E_ART/boxes.txt"
e2e_finish
