#!/usr/bin/env bash
# A user's first starts after the install step: with nothing of the host's in HKCU, Quorvel.exe
# shows the first-use notice, starts audio on the first device, loads, verifies and creates the
# signed engine and shows its editor in the window "Vantor Quorvel"; closing that window ends the
# process with status 0, the device settings are saved in HKCU and the log ends with "@". The
# next start restores what was saved and shows no notice; settings changed in between are the
# ones restored and saved again.
. "$(dirname "$0")/lib.sh"

e2e_init startup
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

SA='HKCU\Software\Vantor\QuorvelSA'
MAIN='Vantor Quorvel'
LOG=$(e2e_log_path)
NOTICE='This is the first time you are running this application. Please go to Tools\Preferences to set your Audio and MIDI devices.'

# hkcu VALUE: the saved setting's data; "absent" when there is none.
hkcu() { e2e_reg_query "$SA" "$1" || echo absent; }

# The main window with the engine's editor inside; prints what qwintool saw.
main_window() {
    e2e_wintool wait --caption "$MAIN" --timeout "${1:-20000}"
}

# close_and_wait RUN: WM_CLOSE to the main window, then the process must end with status 0.
close_and_wait() {
    e2e_wintool close --caption "$MAIN" --timeout 10000 >/dev/null
    e2e_check "run $1: the main window closes" test $? = 0
    if e2e_wait_host 30; then
        e2e_check "run $1: exit status 0 (got $E2E_HOST_STATUS)" test "$E2E_HOST_STATUS" = 0
    else
        e2e_fail "run $1: still running 30 s after its window was closed"
        e2e_screenshot "run$1-hung"
        e2e_kill_host
    fi
    cp "$LOG" "$E2E_ART/run$1.log" 2>/dev/null
    e2e_check "run $1: the log ends with @" test "$(tail -c 1 "$LOG" 2>/dev/null)" = @
}

# check_engine_up RUN: the log of a run whose engine loaded, verified and was created from the
# installed data folder, with audio playing.
check_engine_up() {
    local log=$E2E_ART/run$1.log m
    m=$(e2e_messages "$log")
    e2e_check "run $1: engine module initialised" grep -qxF 'SMPLModule::init()' <<<"$m"
    e2e_check "run $1: engine version fetched" grep -q '^fetched Version:.' <<<"$m"
    e2e_check "run $1: signature accepted" bash -c '! grep -q "Engine signature check failed" <<<"$1"' _ "$m"
    e2e_check "run $1: created from the installed data folder" \
        bash -c '! grep -qF "Engine creation failed!" <<<"$1"' _ "$m"
    e2e_check "run $1: audio started" grep -q '::onPlay() stream started!$' <<<"$m"
    e2e_check "run $1: no device was gone" bash -c '! grep -q "is gone from this system" <<<"$1"' _ "$m"
    e2e_check "run $1: opcode lines of start-up and shutdown" grep -qx 'VE_ENGINE_SHUTDOWN' <<<"$m"
}

# 0. What the install step left in the prefix.
installed() { e2e_reg_query "$1" "$2" || echo absent; }
e2e_check "base_dir is the data folder" \
    test "$(installed 'HKLM\Software\Vantor\Quorvel' base_dir)" = 'C:\Program Files\Vantor\Quorvel\Data'
e2e_check "path_x64 is the engine" \
    test "$(installed 'HKLM\Software\Vantor\Brevian' path_x64)" = 'C:\Program Files\Vantor\Brevian\Brevian.dll'
e2e_check "usesMediaBar is 1" test "$(installed 'HKLM\Software\Vantor\QuorvelSA' usesMediaBar)" = 0x1
e2e_check "the engine's data is in the data folder" \
    test -f "$E2E_PREFIX/drive_c/Program Files/Vantor/Quorvel/Data/Brevian.dat"
e2e_certimport check >"$E2E_ART/cert-check.txt"
e2e_check "the signing certificate is trusted" test $? = 0
e2e_check "the per-user folder exists" test -d "$(e2e_log_dir)"
e2e_check "HKCU holds nothing of the host's" bash -c '! wine64 reg query "$1" </dev/null >/dev/null 2>&1' _ "$SA"

# 1. First start: the notice over the main window, which already holds the editor.
e2e_start_host
if e2e_wait_box Quorvel 60 >"$E2E_ART/run1-notice.txt"; then
    e2e_check "run 1: the first-use notice" grep -qxF "text: $NOTICE" "$E2E_ART/run1-notice.txt"
    main_window 5000 >"$E2E_ART/run1-window-under-notice.txt"
    e2e_check "run 1: the main window is up under the notice" test $? = 0
    e2e_screenshot run1-notice
    e2e_wintool click --caption Quorvel --class '#32770' --timeout 5000 >/dev/null
    e2e_check "run 1: the notice is dismissed" test $? = 0
else
    e2e_fail "run 1: no first-use notice"
    e2e_screenshot run1-no-notice
fi
e2e_check "run 1: firstUse is 0 once the notice was shown" test "$(hkcu firstUse)" = 0x0
if main_window >"$E2E_ART/run1-window.txt"; then
    e2e_check "run 1: the engine's editor is in the main window" \
        grep -q '^child: BrevianEditorPanel ' "$E2E_ART/run1-window.txt"
    sleep 1 # a few hundred blocks
    e2e_screenshot run1-main-window
else
    e2e_fail "run 1: no main window \"$MAIN\""
    e2e_screenshot run1-no-window
fi
e2e_check "run 1: no other box was shown" test ! -s "$E2E_ART/boxes.txt"
close_and_wait 1
check_engine_up 1

# The settings the first run saved.
e2e_check "saved: sample rate 48000" test "$(hkcu samplerate)" = 0xbb80
e2e_check "saved: buffer size 512" test "$(hkcu buffersize)" = 0x200
e2e_check "saved: stereo pair 0" test "$(hkcu audiodevicestereopair)" = 0x0
DEVICE=$(hkcu audiodevice)
API=$(hkcu audiodeviceapi)
e2e_check "saved: the device's name ($DEVICE)" test -n "$DEVICE" -a "$DEVICE" != absent
e2e_check "saved: the device's API ($API)" grep -Eq '^0x[0-9a-f]+$' <<<"$API"
e2e_check "saved: the device's API is known" test "$API" != 0xffffffff
e2e_check "saved: the device acquired" grep -qxF "$DEVICE is now acquired" <(e2e_messages "$E2E_ART/run1.log")
# The first device that can play, in the order the enumeration logged them.
FIRST=$(e2e_messages "$E2E_ART/run1.log" | sed -nE 's/^Name = (.*) Max Inputs += [0-9]+, Max Outputs = [1-9][0-9]*$/\1/p' | head -1)
e2e_check "run 1: audio on the first output device ($FIRST)" test -n "$FIRST" -a "$DEVICE" = "$FIRST"
e2e_check "saved: the MIDI input count" grep -Eq '^0x[0-9a-f]+$' <<<"$(hkcu nbmididevice)"
e2e_check "no audio listing guard left" test "$(hkcu listingaudiodevices)" = absent
e2e_check "no MIDI listing guard left" test "$(hkcu listingmididevices)" = absent
wine64 reg query "$SA" </dev/null 2>/dev/null | tr -d '\r' >"$E2E_ART/hkcu-after-run1.txt"

# 2. Second start: what the first saved comes back, and no notice.
e2e_start_host
if main_window 60000 >"$E2E_ART/run2-window.txt"; then
    e2e_check "run 2: the engine's editor is in the main window" \
        grep -q '^child: BrevianEditorPanel ' "$E2E_ART/run2-window.txt"
    e2e_wintool wait --class '#32770' --timeout 3000 >"$E2E_ART/run2-box.txt"
    e2e_check "run 2: no message box" test $? = 1
    e2e_screenshot run2-main-window
else
    e2e_fail "run 2: no main window"
    e2e_screenshot run2-no-window
    e2e_answer_boxes 5
fi
close_and_wait 2
check_engine_up 2
e2e_check "run 2: the saved device was acquired again" \
    grep -qxF "$DEVICE is now acquired" <(e2e_messages "$E2E_ART/run2.log")
wine64 reg query "$SA" </dev/null 2>/dev/null | tr -d '\r' >"$E2E_ART/hkcu-after-run2.txt"
e2e_check "run 2: saved the same settings" diff "$E2E_ART/hkcu-after-run1.txt" "$E2E_ART/hkcu-after-run2.txt"

# 3. Settings changed between runs (as the preferences would leave them) are restored and saved.
e2e_reg_add "$SA" samplerate REG_DWORD 44100
e2e_reg_add "$SA" buffersize REG_DWORD 1024
e2e_start_host
if main_window 60000 >"$E2E_ART/run3-window.txt"; then
    sleep 1
else
    e2e_fail "run 3: no main window"
    e2e_answer_boxes 5
fi
close_and_wait 3
check_engine_up 3
e2e_check "run 3: the device runs at 44100 Hz, 1024 frames" grep -qxF 'with 44100, 1024' <(e2e_messages "$E2E_ART/run3.log")
e2e_check "run 3: rate 44100 restored and saved" test "$(hkcu samplerate)" = 0xac44
e2e_check "run 3: size 1024 restored and saved" test "$(hkcu buffersize)" = 0x400
e2e_check "run 3: the device kept" test "$(hkcu audiodevice)" = "$DEVICE"

e2e_finish
