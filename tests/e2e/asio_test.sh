#!/usr/bin/env bash
# ASIO on the installed Quorvel.exe through the test driver (tools/asio_driver.cpp), registered with
# regsvr32 as an installer does, and three more drivers of the same DLL: ASIO in the API list in code
# order; a driver in asioblacklist.txt and one of the fixed names never loaded nor listed; the
# buffer-size lists of two ranges; pair 3-4 of the four-output driver at 48000 Hz: the MIDI file's
# notes on channels 2 and 3 of the driver's WAV, 0 and 1 silent; the editor's "Audio setup" reaching
# the control panel; a reset request mid-play and a new buffer size reopening the stream; a driver
# that refuses to start giving the start-up error box.
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

values() { # NAME [VALUE TYPE DATA]...: values in the driver's ASIO key
    local key="$ASIO\\$1"
    shift
    while (($#)); do
        e2e_reg_add "$key" "$1" "$2" "$3"
        shift 3
    done
}
driver() { # NAME CLSID [VALUE TYPE DATA]...: another driver of the DLL, registered as regsvr32 does
    wine64 reg add "HKCR\\CLSID\\$2" /ve /d "$1" /f </dev/null >>"$E2E_ART/reg.log" 2>&1
    wine64 reg add "HKCR\\CLSID\\$2\\InprocServer32" /ve /d "$DLL" /f </dev/null >>"$E2E_ART/reg.log" 2>&1
    local name=$1 clsid=$2
    shift 2
    values "$name" CLSID REG_SZ "$clsid" Description REG_SZ "$name" "$@"
}
count() { # NAME WHAT: how often the driver wrote WHAT (load, panel, start)
    local n
    n=$(grep -cx "$2" "$DRIVERS/$1.counts" 2>/dev/null)
    echo "${n:-0}"
}
items() { e2e_wintool items --caption "$PREFS" --class '#32770' --id "$1" --timeout 5000 | sed -n 's/^item: //p'; }
list() { items "$1" | cut -d' ' -f2- | paste -sd,; }
choose() { e2e_wintool select --caption "$PREFS" --class '#32770' --id "$1" --value "$(items "$1" | grep -m1 " $2\$" | cut -d' ' -f1)" >/dev/null; }
logged() { grep -qxF "$1" <(e2e_messages "$LOG"); } # (a pipe into grep -q could fail under pipefail)
reached() { (($(count "$TEST" "$1") >= $2)); } # WHAT N
play_enabled() { grep -q '^control: Button 1001 .* enabled' <(e2e_wintool controls --caption "$MAIN"); }
play() { e2e_until 10 play_enabled && e2e_wintool press --caption "$MAIN" --id 1001 >/dev/null; }
notes() { # WAV CHANNEL LABEL: eight notes half a second apart
    python3 "$WAVCHECK" "$1" --channel "$2" --onsets 0,0.5,1,1.5,2,2.5,3,3.5 >"$E2E_ART/$3.txt" 2>&1
    e2e_check "$3: the notes at their times on channel $2 ($(grep onsets: "$E2E_ART/$3.txt"))" test $? = 0
}

e2e_reg_add "$SA" firstUse REG_DWORD 0
wine64 regsvr32 /s "$DLL" </dev/null >>"$E2E_ART/reg.log" 2>&1
values "$TEST" Outputs REG_DWORD 4 Granularity REG_DWORD 0xffffffff
driver 'Quorvel Fixed ASIO' '{5C7A1F42-3B9E-4D21-9A6E-510C2D77E31A}' BufferMin REG_DWORD 96 \
    BufferMax REG_DWORD 96 BufferPreferred REG_DWORD 96 Granularity REG_DWORD 0
driver 'Quorvel Excluded ASIO' '{5C7A1F42-3B9E-4D21-9A6E-510C2D77E31B}'
driver 'Generic Low Latency ASIO Driver' '{5C7A1F42-3B9E-4D21-9A6E-510C2D77E31C}'
printf 'Quorvel Excluded ASIO\r\n' >"$(dirname "$E2E_INSTALLED_EXE")/asioblacklist.txt"
e2e_notes_mid "$E2E_ART/notes.mid" 3840 0:60 480:64 960:67 1440:72 1920:60 2400:64 2880:67 3360:72

e2e_start_host
e2e_wintool wait --caption "$MAIN" --timeout 60000 >/dev/null || { e2e_fail "no main window"; e2e_finish; }
for excluded in 'Quorvel Excluded ASIO' 'Generic Low Latency ASIO Driver'; do
    e2e_check "$excluded: never loaded" test "$(count "$excluded" load)" = 0
done
e2e_check "skip logged" logged 'ASIO driver "Quorvel Excluded ASIO" skipped: it is named in asioblacklist.txt'
e2e_check "skip logged" logged 'ASIO driver "Generic Low Latency ASIO Driver" skipped: a driver that is never loaded'

e2e_wintool command --caption "$MAIN" --id 2001 >/dev/null
e2e_wintool wait --caption "$PREFS" --class '#32770' --timeout 15000 >/dev/null || e2e_fail "no Preferences dialog"
e2e_check "the API list in code order ($(list 1006))" test "$(list 1006)" = MME,DirectSound,ASIO,WASAPI
choose 1006 ASIO
DEVICES=$(list 1001 | tr , '\n' | sort | paste -sd,)
e2e_check "the ASIO devices, the excluded ones absent ($DEVICES)" test "$DEVICES" = "Quorvel Fixed ASIO,$TEST"
choose 1001 'Quorvel Fixed ASIO'
e2e_check "96/96/0: only 96 ($(list 1004))" test "$(list 1004)" = 96
choose 1001 "$TEST"
e2e_check "64..2048, granularity -1 ($(list 1004))" test "$(list 1004)" = 64,128,256,512,1024,2048
e2e_check "four outputs, two pairs ($(list 1002))" test "$(list 1002)" = 1-2,3-4
choose 1002 3-4
choose 1003 '48000 Hz'
choose 1004 512
e2e_screenshot preferences-asio
e2e_wintool close --caption "$PREFS" --class '#32770' --timeout 10000 >/dev/null
e2e_check "audio started on the test driver" e2e_until 10 reached start 1

# The MIDI file into the driver's WAV. A moved WAV is written on until the driver stops; its next
# start begins a new one.
e2e_wintool press --caption "$MAIN" --id 1003 >/dev/null
e2e_wintool wait --caption "Select a MIDI file" --class '#32770' --timeout 15000 >/dev/null &&
    e2e_wintool settext --caption "Select a MIDI file" --class '#32770' --id 1148 --text "$(e2e_winpath "$E2E_ART/notes.mid")" >/dev/null &&
    e2e_wintool click --caption "Select a MIDI file" --class '#32770' --id 1 --timeout 10000 >/dev/null
play
sleep 5
mv "$DRIVERS/$TEST.wav" "$E2E_ART/pair.wav"

# Audio setup (the panel, audio restarted), then a reset request 2.5 s into the next play.
values "$TEST" ResetAfterMs REG_DWORD 2500
STARTS=$(count "$TEST" start)
e2e_screenshot main-window
e2e_wintool press --caption "$MAIN" --id 103 >/dev/null
e2e_check "the control panel reached the driver" e2e_until 10 reached panel 1
play
e2e_check "the reset reopened the stream" e2e_until 10 logged 'The audio driver asked for a reset: reopening the stream'
sleep 4
e2e_check "started again after the panel and after the reset" reached start $((STARTS + 2))
notes "$E2E_ART/pair.wav" 2 pair-left
notes "$E2E_ART/pair.wav" 3 pair-right
for c in 0 1; do
    e2e_check "channel $c silent" python3 "$WAVCHECK" "$E2E_ART/pair.wav" --channel $c --silent
done
mv "$DRIVERS/$TEST.wav" "$E2E_ART/reset.wav"
notes "$E2E_ART/reset.wav" 2 across-the-reset

values "$TEST" SizeChangeAfterMs REG_DWORD 1000 SizeChangeTo REG_DWORD 256
e2e_wintool press --caption "$MAIN" --id 103 >/dev/null
e2e_check "a new buffer size reopened the stream with it" \
    e2e_until 15 logged 'The audio stream is open again at 48000 Hz with blocks of 256 frames'
e2e_close_host 30
cp "$LOG" "$E2E_ART/run1.log"
e2e_check "saved: the test driver, 256 frames" \
    test "$(e2e_reg_query "$SA" audiodevice)/$(e2e_reg_query "$SA" buffersize)" = "$TEST/0x100"

values "$TEST" RefuseStart REG_DWORD 1
e2e_start_host
e2e_check "a refused start gives the start-up error box" e2e_wait_box 'init: Audio Engine Start Error' 60
e2e_close_host 30
e2e_finish
