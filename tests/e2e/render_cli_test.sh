#!/usr/bin/env bash
# QuorvelRender.exe after the install step: the console renderer finds the installed engine through
# the registry, renders a small MIDI file to a WAV holding its notes at their times, prints its
# line, and reports a missing file with a non-zero status while the other file still renders.
# Without a sound server: it touches no audio device. Then a batch's failures, each with its exit
# status and nothing good overwritten: not MIDI files, Ctrl-C, an untrusted engine, a full disk.
. "$(dirname "$0")/lib.sh"

e2e_init render_cli
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish

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
e2e_check "it prints the file's line with its duration, the music's and its speed" \
    grep -Eq 'notes\.wav: [0-9.]+ s of audio for 4\.00 s of music in [0-9.]+ s \([0-9.]+ x real time\)' "$E2E_ART/render.out"
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
e2e_check "the render started no audio device" grep -q 'Offline rendering only: no audio or MIDI' "$(e2e_log_path)"
e2e_check "the missing file is named in a message" grep -q 'missing.mid.*no such file' "$E2E_ART/batch.err"
python3 "$WAVCHECK" "$FILES/batch/notes.wav" --strict --onsets 0,0.5,1.25,2.0 --tolerance 12 \
    >"$E2E_ART/batch-analysis.txt" 2>&1
e2e_check "the other file of the batch still rendered" test $? = 0

cd "$FILES" || e2e_finish # relative paths from here: Wine's current folder is this one
render() { timeout 300 wine64 "$RENDER" "${@:2}" </dev/null >"$E2E_ART/$1.out" 2>"$E2E_ART/$1.err"; }
previous() { [[ $(cat "$1" 2>/dev/null) == "previous take" ]]; }
mkdir -p bad full full-copy
printf 'previous take' | tee bad/riff.wav long.wav untrusted.wav >/dev/null

# Files that are not MIDI files: each named, status 1, the good file rendered, nothing replaced.
printf 'RIFF\044\0\0\0WAVEfmt ' >riff.mid
printf 'MThd\172\033\063\220garbage' >garbage.mid
render bad riff.mid garbage.mid notes.mid -o bad
e2e_check "files that are not MIDI files give status 1" test $? = 1
e2e_check "each is named" test "$(grep -c 'is not a MIDI file' "$E2E_ART/bad.err")" = 2
e2e_check "the previous WAV of one is untouched" previous bad/riff.wav

# Ctrl-C (timeout hands it on): status 130, the previous WAV untouched.
e2e_notes_mid long.mid 960000 0:60
timeout 300 wine64 "$RENDER" long.mid -o long.wav </dev/null >"$E2E_ART/interrupted.out" 2>&1 &
e2e_until 60 compgen -G "long.wav.*.tmp" >/dev/null
kill -INT $! && wait $!
e2e_check "Ctrl-C ends the render with status 130" test $? = 130
e2e_check "the previous WAV is untouched" previous long.wav

# An engine whose signature is not trusted: said once, status 1, nothing rendered or replaced.
e2e_install --untrusted
render untrusted notes.mid -o untrusted.wav
e2e_check "an untrusted engine gives status 1" test $? = 1
e2e_check "its message once" test "$(grep -c 'not signed by Vantor' "$E2E_ART/untrusted.err")" = 1
e2e_check "the previous WAV is untouched" previous untrusted.wav
e2e_install

# A full disk (a small file system in a mount namespace with the prefix's server): the message
# names the file and the system's reason, status 1, the next file renders.
quorvel_wine_down "$E2E_PREFIX"
export -f render && export RENDER E2E_ART
unshare -m bash -c 'mount -t tmpfs -o size=2m tmpfs full && printf "previous take" >full/long.wav &&
    render full long.mid notes.mid --rate 22050 -o full; s=$?; wineserver -k; cp -a full/. full-copy; exit $s'
e2e_check "a full disk gives status 1" test $? = 1
e2e_check "its message names the file and the reason" grep -qi 'cannot write "full.long.wav": .*disk' "$E2E_ART/full.err"
e2e_check "the previous WAV is untouched" previous full-copy/long.wav
e2e_check "the next file rendered" python3 "$WAVCHECK" full-copy/notes.wav --strict
e2e_check "no temporary file is left anywhere" test -z "$(find . -name '*.tmp')"

e2e_finish
