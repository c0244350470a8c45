#!/usr/bin/env bash
# QuorvelRender.exe after the install step: the console renderer finds the installed engine through
# the registry, renders a small MIDI file to a WAV holding its notes at their times, prints its
# line, and reports a missing file with a non-zero status while the other file still renders.
. "$(dirname "$0")/lib.sh"

e2e_init render_cli
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

WAVCHECK=$(dirname "$0")/tools/wavcheck.py
RENDER="$(dirname "$E2E_INSTALLED_EXE")/QuorvelRender.exe"
FILES=$E2E_ART/files
mkdir -p "$FILES"
e2e_notes_mid "$FILES/notes.mid" 3840 0:60 480:64 1200:67 1920:72

e2e_check "the install step put QuorvelRender.exe beside Quorvel.exe" test -f "$RENDER"

# One file to one WAV file.
timeout 300 wine64 "$RENDER" "$(e2e_winpath "$FILES/notes.mid")" -o "$(e2e_winpath "$FILES/notes.wav")" \
    </dev/null >"$E2E_ART/render.out" 2>"$E2E_ART/render.err"
status=$?
e2e_check "a render of one file exits with status 0" test "$status" = 0
e2e_check "it prints the file's line with its duration and speed" \
    grep -Eq 'notes\.wav: [0-9.]+ s of audio in [0-9.]+ s \([0-9.]+ x real time\)' "$E2E_ART/render.out"
python3 "$WAVCHECK" "$FILES/notes.wav" --strict --onsets 0,0.5,1.25,2.0 --tolerance 12 \
    >"$E2E_ART/render-analysis.txt" 2>&1
e2e_check "the WAV holds the notes at their times (within one block)" test $? = 0

# A name outside the ANSI code page: UTF-16 arguments become UTF-8 paths and back.
cp "$FILES/notes.mid" "$FILES/nötes ж.mid"
timeout 300 wine64 "$RENDER" "$(e2e_winpath "$FILES/nötes ж.mid")" -o "$(e2e_winpath "$FILES/nötes ж.wav")" \
    </dev/null >"$E2E_ART/unicode.out" 2>"$E2E_ART/unicode.err"
e2e_check "a file with a non-ANSI name renders (status 0)" test $? = 0
e2e_check "its WAV file has that name" test -s "$FILES/nötes ж.wav"

# A missing file among others: its message and status 1, the other file still rendered.
mkdir -p "$FILES/batch"
timeout 300 wine64 "$RENDER" "$(e2e_winpath "$FILES/missing.mid")" "$(e2e_winpath "$FILES/notes.mid")" \
    -o "$(e2e_winpath "$FILES/batch")" </dev/null >"$E2E_ART/batch.out" 2>"$E2E_ART/batch.err"
status=$?
e2e_check "a batch with a missing file exits with status 1" test "$status" = 1
e2e_check "the missing file is named in a message" grep -q 'missing.mid.*no such file' "$E2E_ART/batch.err"
python3 "$WAVCHECK" "$FILES/batch/notes.wav" --strict --onsets 0,0.5,1.25,2.0 --tolerance 12 \
    >"$E2E_ART/batch-analysis.txt" 2>&1
e2e_check "the other file of the batch still rendered" test $? = 0

e2e_finish
