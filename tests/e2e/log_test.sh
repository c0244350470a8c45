#!/usr/bin/env bash
# Under Wine the host starts and ends cleanly, and its log in %APPDATA%\Vantor\Quorvel has the
# opening lines, the opcode lines of start-up and shutdown and the closing lines, ends with "@",
# and a log left unfinished by a killed run is kept under its dated name at the next start.
. "$(dirname "$0")/lib.sh"

e2e_init log
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

LOG=$(e2e_log_path)
DASHES=$(printf -- '-%.0s' $(seq 79))
STAMP='[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}'
STAMP_UNDERSCORE=${STAMP//:/_}
# severity, processor tag (hex, right-aligned in 4), thread id (right-aligned in 4, wider allowed),
# milliseconds, message
LINE_HEAD='^[IWE]:0x[ 0-9a-f]{3}[0-9a-f]:([ 0-9]{3}[0-9]|[0-9]{5,}):[0-9]+:'

# The messages of a log, one per line, without the line heads and the CRs.
messages() { tr -d '\r' <"$1" | sed -E "s/$LINE_HEAD//"; }
dated_copies() { find "$(e2e_log_dir)" -maxdepth 1 -name 'Quorvel Standalone x64.log_*.log' | sort; }

check_clean_log() { # file
    local file=$1 lf crlf
    e2e_check "log exists" test -s "$file" || return
    e2e_check "log ends with @" test "$(tail -c 1 "$file")" = "@"
    lf=$(tr -cd '\n' <"$file" | wc -c)
    crlf=$(grep -c $'\r$' "$file")
    e2e_check "every line ends with CR LF ($crlf of $lf)" test "$lf" -gt 0 -a "$lf" = "$crlf"
    # Every line but the final "@" has the line head.
    local bad
    bad=$(tr -d '\r' <"$file" | sed '$d' | grep -Evc "$LINE_HEAD")
    e2e_check "every line has the severity:0xtag:thread:ms: head" test "$bad" = 0
    mapfile -t M < <(messages "$file")
    local n=${#M[@]}
    e2e_check "first line is g_pluginStream:" grep -Eq '^g_pluginStream:.+' <<<"${M[0]}"
    e2e_check "second line is the opened-on line" grep -Eq \
        "^C:.*\\\\Vantor\\\\Quorvel.Quorvel Standalone x64\\.log opened on: $STAMP_UNDERSCORE BUILD:[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\$" \
        <<<"${M[1]}"
    e2e_check "third line is 79 dashes" test "${M[2]}" = "$DASHES"
    e2e_check "the dashes line comes before the closed-on line" test "${M[n - 3]}" = "$DASHES"
    e2e_check "closed-on line is last before @" grep -Eq \
        "^C:.*Quorvel Standalone x64\\.log closed on: $STAMP\$" <<<"${M[n - 2]}"
    e2e_check "final fragment is a bare @" test "${M[n - 1]}" = "@"
    # The opcode lines of start-up and shutdown, in this order.
    local order
    order=$(printf '%s\n' "${M[@]}" | grep -nE '^VE_ENGINE_(APP_ARGUMENTS_SET|INITIALIZE|SHUTDOWN)$' |
        cut -d: -f2 | tr '\n' ' ')
    e2e_check "opcode lines in order (got: $order)" \
        test "$order" = "VE_ENGINE_APP_ARGUMENTS_SET VE_ENGINE_INITIALIZE VE_ENGINE_SHUTDOWN "
}

# 1. A first start: every message box (the first-use notice at least) is answered, closing the
#    main window ends the process with status 0 and the log is complete.
e2e_check "no log before the first start" test ! -e "$LOG"
e2e_start_host
e2e_answer_boxes 20 # the host keeps running: its main window is open
e2e_screenshot after-first-run
e2e_wintool close --caption 'Vantor Quorvel' --timeout 20000 >"$E2E_ART/run1-window.txt" ||
    e2e_fail "no main window to close in the first run"
if e2e_wait_host 30; then
    e2e_check "first run exits with status 0" test "$E2E_HOST_STATUS" = 0
else
    e2e_fail "first run still running after its message boxes"
    e2e_screenshot first-run-hung
    e2e_kill_host
fi
e2e_check "the first-use notice was shown" grep -q '^text: This is the first time you are running' \
    "$E2E_ART/boxes.txt"
e2e_check "firstUse is 0 after the notice" test "$(e2e_reg_query 'HKCU\Software\Vantor\QuorvelSA' firstUse)" = 0x0
cp "$LOG" "$E2E_ART/run1.log" 2>/dev/null
check_clean_log "$LOG"

# 2. A run killed while it holds the log open (the first-use notice is made to show again and
#    keeps it waiting): the log ends without "@". The clean log before it is overwritten, not kept.
e2e_reg_delete 'HKCU\Software\Vantor\QuorvelSA' firstUse
e2e_start_host
if e2e_wait_box Quorvel 60 >"$E2E_ART/run2-box.txt"; then
    e2e_screenshot first-use-notice
    e2e_kill_host
else
    e2e_fail "second run showed no message box"
    e2e_kill_host
fi
cp "$LOG" "$E2E_ART/killed.log" 2>/dev/null
e2e_check "killed run's log does not end with @" test "$(tail -c 1 "$LOG")" != "@"
e2e_check "a clean log is overwritten without a dated copy" test -z "$(dated_copies)"
quorvel_wine_down "$E2E_PREFIX" # what Windows would do to a killed process's leftovers
quorvel_wine_up "$E2E_PREFIX"

# 3. The next start keeps the unfinished log under the dated name and writes a complete new one.
e2e_start_host
e2e_answer_boxes 20
e2e_wintool close --caption 'Vantor Quorvel' --timeout 20000 >/dev/null ||
    e2e_fail "no main window to close in the third run"
if e2e_wait_host 30; then
    e2e_check "third run exits with status 0" test "$E2E_HOST_STATUS" = 0
else
    e2e_fail "third run still running"
    e2e_kill_host
fi
mapfile -t COPIES < <(dated_copies)
e2e_check "exactly one dated copy (${#COPIES[@]})" test "${#COPIES[@]}" = 1
if ((${#COPIES[@]} == 1)); then
    e2e_check "dated copy name is the log path, _, the timestamp with _ for :, .log" grep -Eq \
        "/Quorvel Standalone x64\\.log_${STAMP_UNDERSCORE}\\.log\$" <<<"${COPIES[0]}"
    e2e_check "dated copy holds the killed run's log" cmp -s "${COPIES[0]}" "$E2E_ART/killed.log"
fi
cp "$LOG" "$E2E_ART/run3.log" 2>/dev/null
check_clean_log "$LOG"

e2e_finish
