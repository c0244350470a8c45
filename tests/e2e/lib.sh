# End-to-end test library: source it from a bash test script. See README.md in this folder.
#
# A test calls e2e_init NAME first. Everything it starts (Xvfb, PulseAudio, recorders, the host,
# the prefix's wineserver) is registered and stopped by PID on exit, whatever happens.
# Required environment (the CTest registration sets it):
#   QUORVEL_BUILD_DIR  the win64 build folder
#   QUORVEL_EXE        the built Quorvel.exe
#   QWINTOOL           the built qwintool.exe
set -uo pipefail

E2E_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_REPO=$(cd "$E2E_LIB_DIR/../.." && pwd)
. "$E2E_REPO/scripts/wine-lib.sh"
. "$E2E_REPO/scripts/session-lib.sh"

E2E_PIDS=()
E2E_FAILURES=0
E2E_HOST_PID=
E2E_HOST_STATUS=
E2E_XVFB_PID=
E2E_PULSE_PID=
E2E_RECORD_PID=
E2E_RUNTIME=

e2e_note() { printf '[%s] %s\n' "$(date +%T)" "$*"; }
e2e_fail() {
    printf 'FAIL: %s\n' "$*"
    E2E_FAILURES=$((E2E_FAILURES + 1))
}
e2e_ok() { printf 'ok: %s\n' "$*"; }
# e2e_check DESCRIPTION COMMAND...: records a failure if the command fails.
e2e_check() {
    local what=$1
    shift
    if "$@"; then e2e_ok "$what"; else e2e_fail "$what"; fi
}
# e2e_finish: the test's last call; its exit status is the test's result.
e2e_finish() {
    if ((E2E_FAILURES > 0)); then
        e2e_note "$E2E_FAILURES check(s) failed; artifacts in $E2E_ART"
        exit 1
    fi
    e2e_note "all checks passed; artifacts in $E2E_ART"
    E2E_PASSED=1
    exit 0
}

# e2e_init NAME: artifacts folder $E2E_ART (build/e2e-artifacts/NAME, emptied), the prefix path
# $E2E_PREFIX inside it, and the clean-up trap.
e2e_init() {
    : "${QUORVEL_BUILD_DIR:?set QUORVEL_BUILD_DIR to the win64 build folder}"
    : "${QUORVEL_EXE:?set QUORVEL_EXE to Quorvel.exe}"
    : "${QWINTOOL:?set QWINTOOL to qwintool.exe}"
    E2E_NAME=$1
    E2E_ART="$QUORVEL_BUILD_DIR/e2e-artifacts/$E2E_NAME"
    # A previous run's prefix may still have a server up (a killed test): stop it before emptying.
    quorvel_wine_down "$E2E_ART/prefix"
    rm -rf "$E2E_ART"
    mkdir -p "$E2E_ART"
    E2E_PREFIX="$E2E_ART/prefix"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
}

e2e_cleanup() {
    local pid
    [[ -n $E2E_RECORD_PID ]] && e2e_record_stop
    for pid in "${E2E_PIDS[@]}"; do
        kill "$pid" 2>/dev/null
    done
    if [[ -n ${E2E_PREFIX:-} ]]; then
        quorvel_wine_down "$E2E_PREFIX"
        # A prefix is ~700 MB: a passed test keeps only the host's folder from it; a failed one
        # keeps all of it to look into.
        if [[ ${E2E_PASSED:-0} == 1 && -d $E2E_PREFIX ]]; then
            [[ -d $(e2e_log_dir) ]] && cp -a "$(e2e_log_dir)" "$E2E_ART/appdata-Vantor-Quorvel"
            rm -rf "$E2E_PREFIX"
        fi
    fi
    for pid in "${E2E_PIDS[@]}"; do
        for _ in $(seq 20); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
    done
    if [[ -n $E2E_PULSE_PID ]]; then
        kill "$E2E_PULSE_PID" 2>/dev/null
        sleep 0.2
        kill -9 "$E2E_PULSE_PID" 2>/dev/null
    fi
    [[ -n $E2E_RUNTIME ]] && rm -rf "$E2E_RUNTIME"
    true
}

# e2e_spawn VAR COMMAND...: runs the command in the background with no stream of the caller's,
# remembers it for clean-up and stores its pid in VAR.
e2e_spawn() {
    local var=$1
    shift
    "$@" </dev/null >>"$E2E_ART/spawned.log" 2>&1 &
    printf -v "$var" '%s' $!
    E2E_PIDS+=($!)
}

# e2e_bare_prefix: a fresh prefix copied from the build folder's warm template (made once, under a
# lock), started, with nothing installed.
e2e_bare_prefix() {
    local template="$QUORVEL_BUILD_DIR/e2e-template/prefix"
    (
        flock 7
        if [[ ! -f $template/.quorvel-template ]]; then
            rm -rf "$template"
            quorvel_wine_up "$template" || exit 1
            # A prefix is only consistent on disk once its server has written the registry.
            quorvel_wine_down "$template"
            touch "$template/.quorvel-template"
        fi
    ) 7>"$QUORVEL_BUILD_DIR/e2e-template.lock" || {
        e2e_fail "could not create the template prefix"
        return 1
    }
    rm -rf "$E2E_PREFIX"
    cp -a --reflink=auto "$template" "$E2E_PREFIX"
    rm -f "$E2E_PREFIX/.quorvel-template"
    quorvel_wine_up "$E2E_PREFIX" || return 1
    quorvel_wine_env "$E2E_PREFIX"
}

# e2e_prefix [INSTALL OPTIONS]: e2e_bare_prefix with the host installed into it (options go to
# install-wine.sh, e.g. --untrusted).
e2e_prefix() {
    e2e_bare_prefix || return 1
    e2e_install "$@"
}

# e2e_install [INSTALL OPTIONS]: runs the install step (again) into the test's prefix.
e2e_install() {
    QCERTIMPORT=${QCERTIMPORT:-$QUORVEL_BUILD_DIR/tests/e2e/qcertimport.exe} \
        "$E2E_REPO/scripts/install-wine.sh" --prefix "$E2E_PREFIX" --build "$QUORVEL_BUILD_DIR" \
        --exe "$QUORVEL_EXE" "$@" >>"$E2E_ART/install.log" 2>&1 || {
        e2e_fail "install step failed (see $E2E_ART/install.log)"
        return 1
    }
    E2E_INSTALLED_EXE="$E2E_PREFIX/drive_c/Program Files/Vantor/Quorvel/Quorvel.exe"
}

# e2e_xvfb: a private X server on a free display; exports DISPLAY.
e2e_xvfb() {
    if ! quorvel_start_xvfb "$E2E_ART/xvfb.log"; then
        e2e_fail "Xvfb did not start (see $E2E_ART/xvfb.log)"
        return 1
    fi
    E2E_XVFB_PID=$QUORVEL_XVFB_PID
    E2E_PIDS+=("$E2E_XVFB_PID")
    e2e_note "Xvfb on $DISPLAY"
    # Wine's desktop process, once started in a prefix (the install step's certificate change does
    # it), keeps the display it found; started before this one it has none and every window of a
    # later program fails. Restart the prefix on this display.
    if [[ -n ${E2E_PREFIX:-} && -d $E2E_PREFIX/drive_c ]]; then
        quorvel_wine_down "$E2E_PREFIX"
        quorvel_wine_up "$E2E_PREFIX"
    fi
}

# e2e_pulse: a private PulseAudio with the null sink "qsink" in a runtime folder of its own.
# The socket path must stay short, so the folder is in /tmp, removed at clean-up.
e2e_pulse() {
    E2E_RUNTIME=$(mktemp -d /tmp/quorvel-e2e.XXXXXX)
    if ! quorvel_start_pulse "$E2E_RUNTIME" "$E2E_ART/pulse.log"; then
        e2e_fail "PulseAudio did not start (see $E2E_ART/pulse.log)"
        return 1
    fi
    E2E_PULSE_PID=$QUORVEL_PULSE_PID
    e2e_note "PulseAudio pid $E2E_PULSE_PID, sink qsink"
}

# e2e_record_start FILE.wav / e2e_record_stop: record the null sink's monitor (stereo, 48 kHz).
e2e_record_start() {
    e2e_spawn E2E_RECORD_PID parecord --device=qsink.monitor --file-format=wav --rate=48000 --channels=2 \
        --format=float32le "$1"
    sleep 0.3
}
e2e_record_stop() {
    [[ -n $E2E_RECORD_PID ]] || return 0
    kill -INT "$E2E_RECORD_PID" 2>/dev/null
    wait "$E2E_RECORD_PID" 2>/dev/null
    E2E_RECORD_PID=
}

# e2e_reg_add KEY VALUE TYPE DATA: e.g. e2e_reg_add 'HKCU\Software\Vantor\QuorvelSA' firstUse REG_DWORD 0
e2e_reg_add() {
    wine64 reg add "$1" /v "$2" /t "$3" /d "$4" /f </dev/null >>"$E2E_ART/reg.log" 2>&1
}
# e2e_reg_delete KEY VALUE
e2e_reg_delete() {
    wine64 reg delete "$1" /v "$2" /f </dev/null >>"$E2E_ART/reg.log" 2>&1
}
# e2e_reg_query KEY VALUE: prints the value's data (as reg prints it, spaces included), fails when
# absent.
e2e_reg_query() {
    local line
    line=$(wine64 reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' | grep -E "^ +$2 +REG_") || return 1
    sed -E "s/^ +$2 +REG_[A-Z_]+ {0,4}//" <<<"$line"
}

# e2e_start_host [ARGS...]: starts the installed Quorvel.exe in the background (E2E_HOST_PID);
# its console output goes to the artifacts folder.
e2e_start_host() {
    E2E_HOST_RUN=$((${E2E_HOST_RUN:-0} + 1))
    (cd "$E2E_PREFIX/drive_c" && exec wine64 "$E2E_INSTALLED_EXE" "$@") </dev/null \
        >"$E2E_ART/host-$E2E_HOST_RUN.out" 2>&1 &
    E2E_HOST_PID=$!
    E2E_PIDS+=("$E2E_HOST_PID")
    E2E_HOST_STATUS=
    # The audio path (the host, whose threads inherit its priority, the Wine server and the sound
    # server) runs ahead of whatever else loads the machine, as a real host's audio thread would:
    # tests that time what the null sink heard measure the host, not the machine's load.
    local server
    quorvel_raise_priority "$E2E_HOST_PID"
    server=$(quorvel_wine_server_pid "$E2E_PREFIX") && quorvel_raise_priority "$server"
    [[ -n ${E2E_PULSE_PID:-} ]] && quorvel_raise_priority "$E2E_PULSE_PID"
    e2e_note "host run $E2E_HOST_RUN started (pid $E2E_HOST_PID)"
}

e2e_host_running() { [[ -n $E2E_HOST_PID ]] && kill -0 "$E2E_HOST_PID" 2>/dev/null; }

# e2e_wait_host SECONDS: waits for the host to end; E2E_HOST_STATUS is its exit status.
# Fails (and leaves it running) when it is still up after SECONDS.
e2e_wait_host() {
    local deadline=$((SECONDS + $1))
    while e2e_host_running; do
        if ((SECONDS >= deadline)); then return 1; fi
        sleep 0.1
    done
    wait "$E2E_HOST_PID" 2>/dev/null
    E2E_HOST_STATUS=$?
    e2e_note "host run $E2E_HOST_RUN ended with status $E2E_HOST_STATUS"
    return 0
}

# e2e_kill_host: ends the host the hard way (as a crash would).
e2e_kill_host() {
    e2e_host_running || return 0
    kill -9 "$E2E_HOST_PID" 2>/dev/null
    wait "$E2E_HOST_PID" 2>/dev/null
    E2E_HOST_STATUS=killed
    e2e_note "host run $E2E_HOST_RUN killed"
}

# e2e_wintool ARGS...: qwintool in the test's prefix (see tools/wintool.cpp), output to stdout.
e2e_wintool() {
    wine64 "$QWINTOOL" "$@" </dev/null 2>>"$E2E_ART/wintool.err" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# e2e_certimport add|remove|check: qcertimport on the build's engine signing certificate in the
# test's prefix (LocalMachine\Root); its exit status (check: 0 trusted, 1 not).
e2e_certimport() {
    local cert
    cert="Z:$(realpath "$QUORVEL_BUILD_DIR/codesign/vantor-codesign.der" | tr / '\\')"
    wine64 "${QCERTIMPORT:-$QUORVEL_BUILD_DIR/tests/e2e/qcertimport.exe}" "$1" "$cert" </dev/null \
        2>>"$E2E_ART/wintool.err" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# e2e_answer_boxes SECONDS: while the host runs (at most SECONDS), answers every message box with
# OK, appending what each said to $E2E_ART/boxes.txt. Returns when the host has ended or time is up.
e2e_answer_boxes() {
    local deadline=$((SECONDS + $1)) out
    while e2e_host_running && ((SECONDS < deadline)); do
        if out=$(e2e_wintool click --class '#32770' --timeout 500); then
            printf '%s\n---\n' "$out" >>"$E2E_ART/boxes.txt"
            e2e_note "answered box: $(grep -m1 '^caption: ' <<<"$out")"
        fi
    done
    touch "$E2E_ART/boxes.txt"
}

# e2e_close_host SECONDS: ends a host that started normally as a user would: answers every message
# box with OK (logged to boxes.txt, as e2e_answer_boxes) and, once none is open, closes the main
# window "Vantor Quorvel" (WM_CLOSE). Returns when the host has ended or time is up.
e2e_close_host() {
    local deadline=$((SECONDS + $1)) out
    while e2e_host_running && ((SECONDS < deadline)); do
        if out=$(e2e_wintool click --class '#32770' --timeout 300); then
            printf '%s\n---\n' "$out" >>"$E2E_ART/boxes.txt"
            e2e_note "answered box: $(grep -m1 '^caption: ' <<<"$out")"
        elif e2e_wintool close --caption 'Vantor Quorvel' --timeout 1000 >/dev/null; then
            e2e_note "closed the main window"
        fi
    done
    touch "$E2E_ART/boxes.txt"
}

# e2e_wait_box CAPTION SECONDS: waits for a message box with this caption and leaves it open,
# answering any other box on the way (logged to boxes.txt). Prints the box as qwintool does.
e2e_wait_box() {
    local caption=$1 deadline=$((SECONDS + $2)) out
    while e2e_host_running && ((SECONDS < deadline)); do
        out=$(e2e_wintool wait --class '#32770' --timeout 500) || continue
        if grep -qxF "caption: $caption" <<<"$out"; then
            printf '%s\n' "$out"
            return 0
        fi
        if out=$(e2e_wintool click --caption "$(sed -n 's/^caption: //p' <<<"$out" | head -1)" \
            --class '#32770' --timeout 2000); then
            printf '%s\n---\n' "$out" >>"$E2E_ART/boxes.txt"
            e2e_note "answered box: $(grep -m1 '^caption: ' <<<"$out")"
        fi
    done
    return 1
}

# e2e_screenshot NAME: the whole screen as $E2E_ART/NAME.png.
e2e_screenshot() {
    xwd -root -silent -display "$DISPLAY" | convert xwd:- "$E2E_ART/$1.png" 2>>"$E2E_ART/screenshot.err"
}

# The host's log and where it lives (%APPDATA%\Vantor\Quorvel).
e2e_log_dir() { echo "$(quorvel_wine_appdata "$E2E_PREFIX")/Vantor/Quorvel"; }
e2e_log_path() { echo "$(e2e_log_dir)/Quorvel Standalone x64.log"; }

# e2e_notes_mid FILE: four short notes at 0, 0.5, 1.25 and 2.0 s (120 bpm, no tempo change),
# ending at 4.0 s.
e2e_notes_mid() {
    python3 - "$1" <<'PY'
import struct, sys
def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)
events, now = [], 0
for tick, pitch in ((0, 60), (480, 64), (1200, 67), (1920, 72)):
    events.append((tick, bytes([0x90, pitch, 110])))
    events.append((tick + 96, bytes([0x80, pitch, 0])))
events.sort(key=lambda e: e[0])
track = vlq(0) + b"\xff\x51\x03" + (500000).to_bytes(3, "big")
for tick, data in events:
    track += vlq(tick - now) + data
    now = tick
track += vlq(3840 - now) + b"\xff\x2f\x00"
open(sys.argv[1], "wb").write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track)) + track)
PY
}
