#!/usr/bin/env bash
# The main window as a user meets it after the install step: its menu bar, the editor with the
# media bar under it, the File commands (Save as, Load, Save as default, a save that fails), the
# MIDI file player heard in the null sink, the recorder writing what is played into a WAV file,
# and the window following the engine's request for its compact editor and for widths of 754 and
# 755, either side of the smaller layout's boundary.
. "$(dirname "$0")/lib.sh"

e2e_init main_window
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

SA='HKCU\Software\Vantor\QuorvelSA'
MAIN='Vantor Quorvel'
LOG=$(e2e_log_path)
WAVCHECK=$(dirname "$0")/tools/wavcheck.py
FILES=$E2E_ART/files
mkdir -p "$FILES"
e2e_reg_add "$SA" firstUse REG_DWORD 0 # no first-use notice

controls() { e2e_wintool controls --caption "$MAIN" --timeout 5000; }
# control CLASS ID: the line of that control (the first with that id), without the prefix.
control() { controls | grep -m1 "^control: $1 $2 " | sed 's/^control: //'; }
# enabled ID: "enabled" or "disabled" for a media-bar button.
enabled() { control Button "$1" | awk '{print $7}'; }
press() { e2e_wintool press --caption "$MAIN" --id "$1" >/dev/null; }
menu_command() { e2e_wintool command --caption "$MAIN" --id "$1" >/dev/null; }
# choose TITLE WINDOWS-PATH: answers the file dialog with this title with the path.
choose() {
    e2e_wintool wait --caption "$1" --class '#32770' --timeout 15000 >"$E2E_ART/dialog.txt" || return 1
    e2e_wintool settext --caption "$1" --class '#32770' --id 1148 --text "$2" >/dev/null || return 1
    e2e_wintool click --caption "$1" --class '#32770' --id 1 --timeout 10000 >/dev/null
}
play_enabled() { [[ $(enabled 1001) == enabled ]]; }
play_disabled() { [[ $(enabled 1001) == disabled ]]; }
record_enabled() { [[ $(enabled 1005) == enabled ]]; }
file_ready() { [[ -s $1 ]]; }

# The MIDI file: four short notes at 0, 0.5, 1.25 and 2.0 s (120 bpm, no tempo change); it ends with
# its second bar, at 4.0 s (the player plays whole bars).
e2e_notes_mid "$FILES/notes.mid" 3840 0:60 480:64 1200:67 1920:72
EXPECTED_ONSETS=0,0.5,1.25,2.0
# A plucked sound whose notes end well before the next one starts: opened from the command line.
printf 'BREVIAN-PRESET 1\nE2E_Pluck 0.002 0.15 0.0 0.05 3000 0.10 1.0 0.0 0.0 0.80\n' >"$FILES/pluck.preset"

# --- Run 1 ------------------------------------------------------------------------------------
e2e_record_start "$E2E_ART/sink.wav"
e2e_start_host "$(e2e_winpath "$FILES/pluck.preset")"
if ! e2e_wintool wait --caption "$MAIN" --timeout 60000 >"$E2E_ART/window.txt"; then
    e2e_fail "no main window"
    e2e_screenshot no-window
    e2e_finish
fi
sleep 1 # the first idle ticks

# The menu bar, driven from the keyboard as a user would (Wine keeps a menu's items in its own
# process, so they are known by what they do): File's three items in order, Tools' two.
keys() { e2e_wintool keys --caption "$MAIN" --text "$1" >/dev/null; }
# cancel_dialog TITLE: the file dialog with this title is open; cancel it.
cancel_dialog() {
    e2e_wintool click --caption "$1" --class '#32770' --id 2 --timeout 10000 >/dev/null
}
keys menu,down
sleep 1.5
e2e_screenshot menu-file
keys escape,escape
keys menu,down,return
cancel_dialog "Load brevian file"
e2e_check "File, first item: Load (4001)" test $? = 0
keys menu,down,down,return
cancel_dialog "Save brevian file"
e2e_check "File, second item: Save as... (4002)" test $? = 0
keys menu,down,down,down,return
e2e_until 10 file_ready "$(e2e_log_dir)/default.brevian"
e2e_check "File, third item: Save as default (4003)" test -s "$(e2e_log_dir)/default.brevian"
rm -f "$(e2e_log_dir)/default.brevian"
keys menu,right,down,return
e2e_wintool close --caption Preferences --class '#32770' --timeout 15000 >/dev/null
e2e_check "Tools, first item: Preferences (2001)" test $? = 0
keys menu,right,down,down,return
sleep 0.5
# Render offline opens its modal dialog; its close box ends it.
e2e_wintool close --caption "Render Offline" --timeout 10000 >/dev/null
e2e_check "Tools, second item: Render offline (2002) opens its dialog, the close box ends it" test $? = 0
e2e_check "the window has a menu bar" bash -c '! grep -qx "menus: none" <<<"$1"' _ "$(e2e_wintool menu --caption "$MAIN")"

# The client area is the editor plus the media bar; the panels and their controls.
controls >"$E2E_ART/controls.txt"
EDITOR=$(grep -m1 '^control: BrevianEditorPanel ' "$E2E_ART/controls.txt" | awk '{print $6, $7}')
e2e_check "the editor is 760 x 300 ($EDITOR)" test "$EDITOR" = "760 300"
e2e_check "the client area is the editor plus 40" grep -qx 'client: 760 340' "$E2E_ART/controls.txt"
grep '^control: \(VTRPanelClass\|Button 100[1-7]\|msctls_trackbar32\|Static 268435455\)' "$E2E_ART/controls.txt" |
    sed 's/^control: //' >"$E2E_ART/media-bar.txt"
e2e_check "the media bar's panels and controls" diff <(printf '%s\n' \
    'VTRPanelClass 0 0 300 465 40 enabled panelname' \
    'Button 1001 10 8 24 24 disabled ' \
    'Button 1002 40 8 24 24 disabled ' \
    'Button 1003 70 8 24 24 enabled ' \
    'Button 1004 100 8 24 24 disabled ' \
    'msctls_trackbar32 1011 129 8 150 24 disabled Slider' \
    'Static 268435455 284 10 175 20 enabled Empty' \
    'VTRPanelClass 0 465 300 290 40 enabled panelname' \
    'Button 1005 10 8 24 24 disabled ' \
    'Button 1006 40 8 24 24 disabled ' \
    'Button 1007 70 8 24 24 enabled ' \
    'Static 268435455 105 10 175 20 enabled Empty') "$E2E_ART/media-bar.txt"
e2e_screenshot main-window

# Save as, change the sound, Load: the engine gets back what it handed out.
menu_command 4002
choose "Save brevian file" "$(e2e_winpath "$FILES/song.brevian")"
e2e_until 10 file_ready "$FILES/song.brevian"
e2e_check "Save as wrote the state" test -s "$FILES/song.brevian"
press 101 # the editor's "Next patch"
menu_command 4002
choose "Save brevian file" "$(e2e_winpath "$FILES/other.brevian")"
e2e_until 10 file_ready "$FILES/other.brevian"
e2e_check "the next patch is another state" bash -c '! cmp -s "$1" "$2"' _ "$FILES/song.brevian" "$FILES/other.brevian"
menu_command 4001
choose "Load brevian file" "$(e2e_winpath "$FILES/song.brevian")"
sleep 0.5
menu_command 4002
choose "Save brevian file" "$(e2e_winpath "$FILES/again.brevian")"
e2e_until 10 file_ready "$FILES/again.brevian"
e2e_check "Load gave the engine the saved bytes back" cmp "$FILES/song.brevian" "$FILES/again.brevian"
menu_command 4003
e2e_until 10 file_ready "$(e2e_log_dir)/default.brevian"
e2e_check "Save as default wrote the user default" cmp "$FILES/song.brevian" "$(e2e_log_dir)/default.brevian"

# A save that fails: the box, and the old file unchanged byte for byte.
cp "$FILES/other.brevian" "$FILES/keep.brevian"
chmod a-w "$FILES/keep.brevian"
menu_command 4002
choose "Save brevian file" "$(e2e_winpath "$FILES/keep.brevian")"
# The host's own error: captioned with the product name (the full title is for installation errors).
if e2e_wait_box Quorvel 15 >"$E2E_ART/save-failed-box.txt"; then
    e2e_check "the failed save's box" grep -qF "text: The sound could not be saved to $(e2e_winpath "$FILES/keep.brevian"): " \
        "$E2E_ART/save-failed-box.txt"
    e2e_screenshot save-failed
    e2e_wintool click --caption Quorvel --class '#32770' --timeout 5000 >/dev/null
else
    e2e_fail "no box for the failed save"
fi
e2e_check "the read-only file is unchanged" cmp "$FILES/other.brevian" "$FILES/keep.brevian"
chmod u+w "$FILES/keep.brevian"

# The player: eject chooses the file, play, and the notes are heard at the file's times.
press 1003
choose "Select a MIDI file" "$(e2e_winpath "$FILES/notes.mid")"
e2e_until 10 play_enabled
e2e_check "the file's name is shown" test "$(control Static 268435455 | cut -d' ' -f8-)" = notes
e2e_check "loaded: play, eject, rewind and the slider enabled, stop not" test \
    "$(enabled 1001) $(enabled 1002) $(enabled 1003) $(enabled 1004) $(control msctls_trackbar32 1011 | awk '{print $7}')" = \
    "enabled disabled enabled enabled enabled"
e2e_record_stop # what was heard so far is silence; a new recording for the notes
e2e_record_start "$E2E_ART/played.wav"
FILE_SECONDS=4.0
now() { date +%s.%N; }
PLAYED=$(now)
press 1001
# Polls until play is enabled again; the stop happened before the end of the poll that saw it.
POLL_START= POLL_END=
for _ in $(seq 200); do
    POLL_START=$(now)
    state=$(enabled 1001)
    POLL_END=$(now)
    [[ $state == enabled ]] && python3 -c "import sys; sys.exit(0 if $POLL_START - $PLAYED > 1 else 1)" && break
done
LATE=$(python3 -c "print(f'{$POLL_END - $PLAYED - $FILE_SECONDS:.3f} {$POLL_END - $POLL_START:.3f}')")
e2e_note "seen stopped at most ${LATE% *} s after the file's end (that poll took ${LATE#* } s)"
e2e_check "at the end the bar is stopped again" test "$(enabled 1001) $(enabled 1002)" = "enabled disabled"
# Within about a third of a second (the 21-tick refresh), give or take the time of the poll that
# saw it and the start of playback.
e2e_check "stopped within a third of a second of the end (${LATE% *} s, poll ${LATE#* } s)" \
    python3 -c "import sys; late, poll = map(float, sys.argv[1:]); sys.exit(0 if -0.05 <= late <= 0.34 + poll + 0.2 else 1)" $LATE
e2e_check "and the position is back at 0" grep -qx 'value: 0' <(e2e_wintool value --caption "$MAIN" --id 1011)
sleep 0.5
e2e_record_stop
# The status is taken at once: the description's own substitution would reset $?.
python3 "$WAVCHECK" "$E2E_ART/played.wav" --onsets "$EXPECTED_ONSETS" >"$E2E_ART/played-analysis.txt" 2>&1
status=$?
e2e_check "the notes are heard at the file's times ($(grep onsets: "$E2E_ART/played-analysis.txt"))" test $status = 0

# The slider seeks: at 50 the player is half-way, and the timer shows it so.
e2e_wintool slide --caption "$MAIN" --id 1011 --value 50 >/dev/null
sleep 1
e2e_check "the slider seeks (the timer keeps it at the half-way position)" grep -qxE 'value: (49|50)' <(e2e_wintool value --caption "$MAIN" --id 1011)
press 1004 # rewind

# The recorder: eject chooses a WAV file, record, play the file, stop.
press 1007
choose "Record Audio into" "$(e2e_winpath "$FILES/take.wav")"
e2e_until 10 record_enabled
e2e_check "the recorder shows the take" test "$(controls | grep '^control: Static 268435455 105 ' | cut -d' ' -f9-)" = take
e2e_check "record enabled once a file is chosen" test "$(enabled 1005)" = enabled
press 1005
sleep 0.3
e2e_check "recording: only stop enabled" test "$(enabled 1005) $(enabled 1006) $(enabled 1007)" = "disabled enabled disabled"
sleep 0.3
press 1001
sleep 0.5
e2e_until 15 play_enabled
sleep 0.5
press 1006
sleep 1
e2e_check "stopped: record stays disabled" test "$(enabled 1005) $(enabled 1006) $(enabled 1007)" = "disabled disabled enabled"
python3 "$WAVCHECK" "$FILES/take.wav" --strict --onsets "$EXPECTED_ONSETS" >"$E2E_ART/take-analysis.txt" 2>&1
status=$?
e2e_check "the take is a valid WAV holding the notes ($(grep onsets: "$E2E_ART/take-analysis.txt"))" test $status = 0

# The overwrite question: No asks again, Yes keeps the path.
press 1007
choose "Record Audio into" "$(e2e_winpath "$FILES/take.wav")"
if e2e_wintool wait --caption '' --class '#32770' --timeout 10000 >"$E2E_ART/overwrite-1.txt"; then
    e2e_wintool click --caption '' --class '#32770' --id 7 --timeout 5000 >/dev/null # No
    choose "Record Audio into" "$(e2e_winpath "$FILES/take.wav")"
    e2e_check "No reopened the dialog" test $? = 0
    e2e_wintool wait --caption '' --class '#32770' --timeout 10000 >"$E2E_ART/overwrite-2.txt"
    e2e_wintool click --caption '' --class '#32770' --id 6 --timeout 5000 >/dev/null # Yes
    e2e_until 10 record_enabled
    e2e_check "Yes kept the path: record enabled" test "$(enabled 1005)" = enabled
else
    e2e_fail "no overwrite question"
fi

# The engine asks for its compact editor (640 wide): the smaller layout, the window in its place.
RECT_BEFORE=$(e2e_wintool wait --caption "$MAIN" | grep '^rect:' | awk '{print $2, $3}')
press 102 # the editor's view switch
sleep 1
controls >"$E2E_ART/controls-compact.txt"
e2e_check "the client area follows the compact editor" grep -qx 'client: 640 340' "$E2E_ART/controls-compact.txt"
e2e_check "the recorder panel moved to x 390" grep -q '^control: VTRPanelClass 0 390 300 290 40 ' "$E2E_ART/controls-compact.txt"
e2e_check "the window kept its position" test "$(e2e_wintool wait --caption "$MAIN" | grep '^rect:' | awk '{print $2, $3}')" = "$RECT_BEFORE"
e2e_screenshot compact
press 102
sleep 1
e2e_check "back to the wide editor: the recorder at 465" grep -q '^control: VTRPanelClass 0 465 300 ' <(controls)

e2e_wintool close --caption "$MAIN" --timeout 10000 >/dev/null
e2e_wait_host 30 || e2e_kill_host
e2e_check "run 1: exit status 0" test "$E2E_HOST_STATUS" = 0
cp "$LOG" "$E2E_ART/run1.log" 2>/dev/null
e2e_check "run 1: smallerSize enabled logged" grep -qxF 'smallerSize enabled' <(e2e_messages "$E2E_ART/run1.log")

# --- Run 2: the default saved in run 1 is what this start loads. --------------------------------
e2e_start_host
if e2e_wintool wait --caption "$MAIN" --timeout 60000 >/dev/null; then
    menu_command 4002
    choose "Save brevian file" "$(e2e_winpath "$FILES/run2.brevian")"
    e2e_until 10 file_ready "$FILES/run2.brevian"
    e2e_check "the next start loaded the saved default" cmp "$FILES/song.brevian" "$FILES/run2.brevian"
else
    e2e_fail "run 2: no main window"
fi
e2e_close_host 30
e2e_wait_host 5 || e2e_kill_host
e2e_check "run 2: exit status 0" test "$E2E_HOST_STATUS" = 0

# --- Runs 3 and 4: the engine asks for an exact width through an editor size file named on the
# command line (the reference engine's open-file operation; see engine/README.md). Below 755 the
# window takes the smaller layout; at 755 it does not.
# rect_of: the main window's screen position "x y".
rect_of() { e2e_wintool wait --caption "$MAIN" --timeout 5000 | grep '^rect:' | awk '{print $2, $3}'; }
# editor_width W: the editor panel has this width.
editor_width() { [[ $(control BrevianEditorPanel 0 | awk '{print $5}') == "$1" ]]; }
for case in "754 390 smaller" "755 465 normal"; do
    read -r width recorderX layout <<<"$case"
    printf '%s 300\n' "$width" >"$FILES/editor-$width.editorsize"
    e2e_start_host "$(e2e_winpath "$FILES/editor-$width.editorsize")"
    if ! e2e_wintool wait --caption "$MAIN" --timeout 60000 >/dev/null; then
        e2e_fail "width $width: no main window"
        e2e_close_host 30
        continue
    fi
    e2e_until 15 editor_width "$width"
    controls >"$E2E_ART/controls-$width.txt"
    e2e_check "width $width: the editor took it" grep -q "^control: BrevianEditorPanel 0 0 0 $width 300 " \
        "$E2E_ART/controls-$width.txt"
    e2e_check "width $width: the client area follows the editor" grep -qx "client: $width 340" "$E2E_ART/controls-$width.txt"
    e2e_check "width $width: the recorder panel at x $recorderX" \
        grep -q "^control: VTRPanelClass 0 $recorderX 300 290 40 " "$E2E_ART/controls-$width.txt"
    # The window was placed at (100, 100) before the start-up file was opened: it stays there.
    e2e_check "width $width: the window kept its position" test "$(rect_of)" = "100 100"
    e2e_screenshot "editor-$width"
    e2e_close_host 30
    e2e_wait_host 5 || e2e_kill_host
    e2e_check "width $width: exit status 0" test "$E2E_HOST_STATUS" = 0
    cp "$LOG" "$E2E_ART/run-$width.log" 2>/dev/null
    smaller=$(e2e_messages "$E2E_ART/run-$width.log" | grep -cxF 'smallerSize enabled')
    if [[ $layout == smaller ]]; then
        e2e_check "width $width: smallerSize enabled logged once ($smaller)" test "$smaller" = 1
    else
        e2e_check "width $width: no smallerSize enabled ($smaller)" test "$smaller" = 0
    fi
done
e2e_check "no unexpected box" test ! -s "$E2E_ART/boxes.txt"
e2e_finish
