#!/usr/bin/env bash
# The preferences dialog on the installed Quorvel.exe: opening it stops audio; the API list shows
# the APIs Wine offers, in code order; DirectSound, its second device (if any), 44100 Hz and 1024
# frames take effect; closing starts audio again, heard in the null sink; the choices are saved
# at exit and a second start restores them.
. "$(dirname "$0")/lib.sh"

e2e_init preferences
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

SA='HKCU\Software\Vantor\QuorvelSA'
MAIN='Vantor Quorvel'
PREFS='Preferences'
LOG=$(e2e_log_path)
WAVCHECK=$(dirname "$0")/tools/wavcheck.py
FILES=$E2E_ART/files
mkdir -p "$FILES"
e2e_reg_add "$SA" firstUse REG_DWORD 0 # no first-use notice

hkcu() { e2e_reg_query "$SA" "$1" || echo absent; }
# items ID: the entries of the dialog's drop-down list ID, one per line; then "selected: N".
items() { e2e_wintool items --caption "$PREFS" --class '#32770' --id "$1" --timeout 5000; }
# index ID TEXT: the index of the entry TEXT in list ID (empty when absent).
index() { items "$1" | sed -nE "s/^item: ([0-9]+) $2\$/\\1/p" | head -1; }
select_entry() { e2e_wintool select --caption "$PREFS" --class '#32770' --id "$1" --value "$2" >/dev/null; }
selected_text() { local out; out=$(items "$1"); local n; n=$(sed -n 's/^selected: //p' <<<"$out");
    sed -nE "s/^item: $n (.*)$/\\1/p" <<<"$out"; }
enabled() { e2e_wintool controls --caption "$MAIN" --timeout 5000 | grep -m1 "^control: Button $1 " | awk '{print $8}'; }
press() { e2e_wintool press --caption "$MAIN" --id "$1" >/dev/null; }
play_enabled() { [[ $(enabled 1001) == enabled ]]; }
count_lines() { e2e_messages "$LOG" | grep -cxF "$1"; }

# A MIDI file of four notes, to hear the restarted audio.
e2e_notes_mid "$FILES/notes.mid" 1920 0:60 480:64 960:67 1440:72

# --- Run 1: choose ----------------------------------------------------------------------------
e2e_start_host
if ! e2e_wintool wait --caption "$MAIN" --timeout 60000 >"$E2E_ART/window.txt"; then
    e2e_fail "no main window"
    e2e_screenshot no-window
    e2e_finish
fi
e2e_check "audio plays before the dialog" grep -q '::onPlay() stream started!$' <(e2e_messages "$LOG")
STARTS_BEFORE=$(e2e_messages "$LOG" | grep -c '::onPlay() stream started!$')

e2e_wintool command --caption "$MAIN" --id 2001 >/dev/null
if ! e2e_wintool wait --caption "$PREFS" --class '#32770' --timeout 15000 >"$E2E_ART/dialog.txt"; then
    e2e_fail "no Preferences dialog"
    e2e_screenshot no-dialog
    e2e_finish
fi
e2e_screenshot dialog-opened
e2e_check "opening the dialog stopped audio" grep -qxF 'VE_ENGINE_AUDIO_STOP' <(e2e_messages "$LOG")

items 1006 >"$E2E_ART/apis.txt"
APIS=$(sed -n 's/^item: [0-9]* //p' "$E2E_ART/apis.txt" | paste -sd,)
e2e_note "APIs: $APIS"
# The APIs Wine offers here, in code order (MME 0, DirectSound 1, WASAPI 3).
e2e_check "the API list: MME, DirectSound, WASAPI in code order ($APIS)" test "$APIS" = MME,DirectSound,WASAPI

DS=$(index 1006 DirectSound)
select_entry 1006 "$DS"
items 1001 >"$E2E_ART/ds-devices.txt"
DEVICES=$(grep -c '^item: ' "$E2E_ART/ds-devices.txt")
if ((DEVICES > 1)); then
    select_entry 1001 1
fi
DEVICE=$(selected_text 1001)
e2e_note "DirectSound device: $DEVICE (of $DEVICES)"
select_entry 1003 "$(index 1003 '44100 Hz')"
select_entry 1004 "$(index 1004 1024)"
e2e_check "44100 Hz shown" test "$(selected_text 1003)" = "44100 Hz"
e2e_check "1024 frames shown" test "$(selected_text 1004)" = 1024
e2e_check "the device took 44100 Hz (no fallback to another rate)" \
    bash -c '! grep -q "current device does NOT support" <<<"$1"' _ "$(e2e_messages "$LOG")"
e2e_screenshot dialog-chosen
e2e_wintool close --caption "$PREFS" --class '#32770' --timeout 10000 >/dev/null
e2e_check "WM_CLOSE ends the dialog" test $? = 0
restarted() { (($(e2e_messages "$LOG" | grep -c '::onPlay() stream started!$') > STARTS_BEFORE)); }
e2e_until 10 restarted
e2e_check "closing started audio again" test $? = 0

# Heard: the notes of a MIDI file played now reach the null sink.
e2e_wintool press --caption "$MAIN" --id 1003 >/dev/null
e2e_wintool wait --caption "Select a MIDI file" --class '#32770' --timeout 15000 >/dev/null &&
    e2e_wintool settext --caption "Select a MIDI file" --class '#32770' --id 1148 --text "$(e2e_winpath "$FILES/notes.mid")" >/dev/null &&
    e2e_wintool click --caption "Select a MIDI file" --class '#32770' --id 1 --timeout 10000 >/dev/null
e2e_until 10 play_enabled
e2e_record_start "$E2E_ART/played.wav"
press 1001
sleep 3.5
e2e_record_stop
python3 "$WAVCHECK" "$E2E_ART/played.wav" --onsets 0,0.5,1.0,1.5 >"$E2E_ART/played-analysis.txt" 2>&1
HEARD=$?
e2e_check "the restarted audio is heard at the file's times ($(grep onsets: "$E2E_ART/played-analysis.txt"))" \
    test "$HEARD" = 0

e2e_close_host 30
cp "$LOG" "$E2E_ART/run1.log" 2>/dev/null
e2e_check "saved: API DirectSound (1)" test "$(hkcu audiodeviceapi)" = 0x1
e2e_check "saved: the chosen device ($DEVICE)" test "$(hkcu audiodevice)" = "$DEVICE"
e2e_check "saved: 44100 Hz" test "$(hkcu samplerate)" = 0xac44
e2e_check "saved: 1024 frames" test "$(hkcu buffersize)" = 0x400
wine64 reg query "$SA" </dev/null 2>/dev/null | tr -d '\r' >"$E2E_ART/hkcu-after-run1.txt"

# --- Run 2: restored --------------------------------------------------------------------------
e2e_start_host
if e2e_wintool wait --caption "$MAIN" --timeout 60000 >/dev/null; then
    e2e_wintool command --caption "$MAIN" --id 2001 >/dev/null
    e2e_wintool wait --caption "$PREFS" --class '#32770' --timeout 15000 >/dev/null
    e2e_check "run 2: DirectSound preselected" test "$(selected_text 1006)" = DirectSound
    e2e_check "run 2: the device preselected" test "$(selected_text 1001)" = "$DEVICE"
    e2e_check "run 2: 44100 Hz preselected" test "$(selected_text 1003)" = "44100 Hz"
    e2e_check "run 2: 1024 preselected" test "$(selected_text 1004)" = 1024
    e2e_screenshot run2-dialog
    e2e_wintool click --caption "$PREFS" --class '#32770' --id 1005 --timeout 10000 >/dev/null
    e2e_check "run 2: OK ends the dialog" test $? = 0
else
    e2e_fail "run 2: no main window"
fi
e2e_close_host 30
cp "$LOG" "$E2E_ART/run2.log" 2>/dev/null
e2e_finish
