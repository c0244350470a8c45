#!/usr/bin/env bash
# ASIO on the installed Quorvel.exe through the test driver (tools/asio_driver.cpp), registered
# into the prefix as a driver's installer does, plus three more drivers served by the same DLL:
# the API list shows ASIO in code order; the two excluded drivers (one in asioblacklist.txt, one of
# the fixed names) are never loaded and not listed; the buffer-size lists follow the drivers'
# ranges; stereo pair 3-4 of the four-output driver at 48000 Hz carries the MIDI file's notes on
# channels 2 and 3 of the driver's WAV while 0 and 1 stay silent; the editor's "Audio setup"
# reaches the driver's control panel; a reset request mid-play reopens the stream and the notes go
# on; a new buffer size from the driver reopens it with that size; a driver that refuses to start
# gives the start-up error box.
. "$(dirname "$0")/lib.sh"

e2e_init asio
: "${QASIODRIVER:?set QASIODRIVER to qasiodriver.dll}"
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

SA='HKCU\Software\Vantor\QuorvelSA'
ASIO='HKLM\SOFTWARE\ASIO'
TEST='Quorvel Test ASIO'
MAIN='Vantor Quorvel'
PREFS='Preferences'
LOG=$(e2e_log_path)
WAVCHECK=$(dirname "$0")/tools/wavcheck.py
DRIVERS=$E2E_ART/drivers # the DLL, and beside it each driver's <name>.wav and <name>.counts
mkdir -p "$DRIVERS"
cp "$QASIODRIVER" "$DRIVERS/qasiodriver.dll"
DLL=$(e2e_winpath "$DRIVERS/qasiodriver.dll")
e2e_reg_add "$SA" firstUse REG_DWORD 0

# driver NAME CLSID [VALUE TYPE DATA]...: one more driver of the DLL, registered as regsvr32 does.
driver() {
    local name=$1 clsid=$2
    shift 2
    wine64 reg add "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /d "$DLL" /f </dev/null >>"$E2E_ART/reg.log" 2>&1
    e2e_reg_add "$ASIO\\$name" CLSID REG_SZ "$clsid"
    e2e_reg_add "$ASIO\\$name" Description REG_SZ "$name"
    while (($#)); do
        e2e_reg_add "$ASIO\\$name" "$1" "$2" "$3"
        shift 3
    done
}
counter() { # NAME WHAT: the driver's counter (0 when it never wrote one)
    sed -n "s/^$2 //p" "$DRIVERS/$1.counts" 2>/dev/null | grep . || echo 0
}
items() { e2e_wintool items --caption "$PREFS" --class '#32770' --id "$1" --timeout 5000; }
list() { items "$1" | sed -n 's/^item: [0-9]* //p' | paste -sd,; }
index() { items "$1" | sed -nE "s/^item: ([0-9]+) $2\$/\\1/p" | head -1; }
select_entry() { e2e_wintool select --caption "$PREFS" --class '#32770' --id "$1" --value "$(index "$1" "$2")" >/dev/null; }
has_line() { e2e_messages "$LOG" | grep -qxF "$1"; }
starts_reach() { (($(counter "$TEST" starts) >= $1)); }
panel_shown() { [[ $(counter "$TEST" panel) == 1 ]]; }
stopped_playing() { [[ $(e2e_wintool controls --caption "$MAIN" | grep -m1 '^control: Button 1001 ' | awk '{print $8}') == enabled ]]; }
play() { # the MIDI file from its start, as the media bar's play button does
    e2e_until 10 stopped_playing
    e2e_wintool press --caption "$MAIN" --id 1001 >/dev/null
}

wine64 regsvr32 /s "$DLL" </dev/null >>"$E2E_ART/reg.log" 2>&1
e2e_check "regsvr32 registered $TEST" e2e_reg_query "$ASIO\\$TEST" CLSID
for value in "Outputs 4" "BufferMin 64" "BufferMax 2048" "BufferPreferred 512" "Granularity 0xffffffff"; do
    e2e_reg_add "$ASIO\\$TEST" "${value% *}" REG_DWORD "${value#* }"
done
driver 'Quorvel Fixed ASIO' '{5C7A1F42-3B9E-4D21-9A6E-510C2D77E31A}' BufferMin REG_DWORD 96 \
    BufferMax REG_DWORD 96 BufferPreferred REG_DWORD 96 Granularity REG_DWORD 0
driver 'Quorvel Excluded ASIO' '{5C7A1F42-3B9E-4D21-9A6E-510C2D77E31B}'
driver 'Generic Low Latency ASIO Driver' '{5C7A1F42-3B9E-4D21-9A6E-510C2D77E31C}'
printf 'Quorvel Excluded ASIO\r\n' >"$(dirname "$E2E_INSTALLED_EXE")/asioblacklist.txt"
# Eight notes half a second apart.
e2e_notes_mid "$E2E_ART/notes.mid" 3840 0:60 480:64 960:67 1440:72 1920:60 2400:64 2880:67 3360:72

e2e_start_host
if ! e2e_wintool wait --caption "$MAIN" --timeout 60000 >/dev/null; then
    e2e_fail "no main window"
    e2e_screenshot no-window
    e2e_finish
fi
e2e_check "the excluded drivers were never loaded" \
    test "$(counter 'Quorvel Excluded ASIO' loads)$(counter 'Generic Low Latency ASIO Driver' loads)" = 00
e2e_check "the listed one is logged as skipped" \
    has_line 'ASIO driver "Quorvel Excluded ASIO" skipped: it is named in asioblacklist.txt'
e2e_check "the fixed one is logged as skipped" \
    has_line 'ASIO driver "Generic Low Latency ASIO Driver" skipped: a driver that is never loaded'

# --- Preferences: ASIO, the test driver, pair 3-4, 48000 Hz, 512 frames ---------------------------
e2e_wintool command --caption "$MAIN" --id 2001 >/dev/null
e2e_wintool wait --caption "$PREFS" --class '#32770' --timeout 15000 >/dev/null || e2e_fail "no Preferences dialog"
e2e_check "the API list in code order ($(list 1006))" test "$(list 1006)" = MME,DirectSound,ASIO,WASAPI
select_entry 1006 ASIO
DEVICES=$(list 1001 | tr , '\n' | sort | paste -sd,)
e2e_check "the ASIO devices, without the excluded ones ($DEVICES)" test "$DEVICES" = "Quorvel Fixed ASIO,$TEST"
select_entry 1001 'Quorvel Fixed ASIO'
e2e_check "96/96/0 gives only 96 ($(list 1004))" test "$(list 1004)" = 96
select_entry 1001 "$TEST"
e2e_check "64..2048 with granularity -1 ($(list 1004))" test "$(list 1004)" = 64,128,256,512,1024,2048
e2e_check "four outputs give two pairs ($(list 1002))" test "$(list 1002)" = 1-2,3-4
select_entry 1002 3-4
select_entry 1003 '48000 Hz'
select_entry 1004 512
e2e_screenshot preferences-asio
e2e_wintool close --caption "$PREFS" --class '#32770' --timeout 10000 >/dev/null
e2e_check "audio started on the test driver" e2e_until 10 starts_reach 1

# --- The MIDI file into the driver's WAV ------------------------------------------------------------
e2e_wintool press --caption "$MAIN" --id 1003 >/dev/null
e2e_wintool wait --caption "Select a MIDI file" --class '#32770' --timeout 15000 >/dev/null &&
    e2e_wintool settext --caption "Select a MIDI file" --class '#32770' --id 1148 --text "$(e2e_winpath "$E2E_ART/notes.mid")" >/dev/null &&
    e2e_wintool click --caption "Select a MIDI file" --class '#32770' --id 1 --timeout 10000 >/dev/null
play
sleep 5
# The driver goes on writing into the moved file until it stops; the next start begins a new one.
mv "$DRIVERS/$TEST.wav" "$E2E_ART/pair.wav"
notes() { # WAV CHANNEL LABEL
    python3 "$WAVCHECK" "$1" --channel "$2" --onsets 0,0.5,1,1.5,2,2.5,3,3.5 >"$E2E_ART/$3.txt" 2>&1
    e2e_check "$3: the notes at their times on channel $2 ($(grep onsets: "$E2E_ART/$3.txt"))" test $? = 0
}

# --- Audio setup: the driver's panel; a reset request mid-play -------------------------------------
e2e_reg_add "$ASIO\\$TEST" ResetAfterMs REG_DWORD 2500
STARTS=$(counter "$TEST" starts)
e2e_screenshot main-window
e2e_wintool press --caption "$MAIN" --id 103 >/dev/null
e2e_check "the control panel reached the driver" e2e_until 10 panel_shown
play
e2e_check "the reset reopened the stream" e2e_until 10 has_line 'The audio driver asked for a reset: reopening the stream'
sleep 4
e2e_check "two starts: after the panel and after the reset" starts_reach $((STARTS + 2))
notes "$E2E_ART/pair.wav" 2 pair-left
notes "$E2E_ART/pair.wav" 3 pair-right
for c in 0 1; do
    e2e_check "channel $c silent" python3 "$WAVCHECK" "$E2E_ART/pair.wav" --channel $c --silent
done
mv "$DRIVERS/$TEST.wav" "$E2E_ART/reset.wav"
notes "$E2E_ART/reset.wav" 2 reset

# --- A new buffer size from the driver: reopened with it, and kept ---------------------------------
e2e_reg_add "$ASIO\\$TEST" SizeChangeAfterMs REG_DWORD 1000
e2e_reg_add "$ASIO\\$TEST" SizeChangeTo REG_DWORD 256
e2e_wintool press --caption "$MAIN" --id 103 >/dev/null
e2e_check "the new buffer size reopened the stream" \
    e2e_until 15 has_line 'The audio stream is open again at 48000 Hz with blocks of 256 frames'
e2e_close_host 30
e2e_check "saved: the test driver, 256 frames" \
    test "$(e2e_reg_query "$SA" audiodevice)/$(e2e_reg_query "$SA" buffersize)" = "$TEST/0x100"

# --- A driver that refuses to start -----------------------------------------------------------------
e2e_reg_add "$ASIO\\$TEST" RefuseStart REG_DWORD 1
e2e_start_host
e2e_check "a refused start gives the start-up error box" \
    e2e_wait_box 'init: Audio Engine Start Error' 60
e2e_close_host 30
cp "$LOG" "$E2E_ART/run.log" 2>/dev/null
e2e_finish
