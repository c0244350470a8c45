#!/usr/bin/env bash
# The installed host refuses an engine component it cannot trust, before loading it: signed under
# a root the machine does not trust (installed with --untrusted), or changed after signing. Each
# refusal is a box captioned "Vantor Quorvel", an error line naming the file and exit status 0,
# with no window and no settings saved. Installing again trusts and repairs it.
. "$(dirname "$0")/lib.sh"

e2e_init engine_trust
e2e_prefix --untrusted || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish

SA='HKCU\Software\Vantor\QuorvelSA'
ENGINE="$E2E_PREFIX/drive_c/Program Files/Vantor/Brevian/Brevian.dll"
LOG=$(e2e_log_path)
REFUSAL='The Brevian engine component is not signed by Vantor, please re-install'
FAILED_LINE='^E:.*:Engine signature check failed for C:\\Program Files\\Vantor\\Brevian\\Brevian\.dll: '

# refused NAME WHY: one start that must end at the signature check; WHY is a pattern the error
# line's reason must match.
refused() {
    local name=$1 why=$2
    e2e_start_host
    if e2e_wait_box 'Vantor Quorvel' 60 >"$E2E_ART/$name-box.txt"; then
        e2e_check "$name: the refusal box" grep -qxF "text: $REFUSAL" "$E2E_ART/$name-box.txt"
        e2e_screenshot "$name-box"
        e2e_wintool click --caption 'Vantor Quorvel' --class '#32770' --timeout 5000 >/dev/null
    else
        e2e_fail "$name: no refusal box"
        e2e_screenshot "$name-no-box"
    fi
    if e2e_wait_host 30; then
        e2e_check "$name: exit status 0 (got $E2E_HOST_STATUS)" test "$E2E_HOST_STATUS" = 0
    else
        e2e_fail "$name: still running after its box"
        e2e_kill_host
    fi
    tr -d '\r' <"$LOG" >"$E2E_ART/$name.log" 2>/dev/null
    e2e_check "$name: the error line names the file and why" grep -Eq "$FAILED_LINE$why" "$E2E_ART/$name.log"
    e2e_check "$name: nothing was loaded" bash -c '! grep -q "fetched Version:" "$1"' _ "$E2E_ART/$name.log"
    e2e_check "$name: no main window was made" \
        bash -c '! grep -q "VE_ENGINE_INSTRUMENT_GUI_SHOW" "$1"' _ "$E2E_ART/$name.log"
    e2e_check "$name: no settings saved" test -z "$(e2e_reg_query "$SA" samplerate)"
    e2e_check "$name: no other box" test ! -s "$E2E_ART/boxes.txt"
}

# 1. Signed, but the machine does not trust the signing certificate.
e2e_certimport check >"$E2E_ART/cert-check-untrusted.txt"
e2e_check "installed without trust: the certificate is not in Root" test $? = 1
refused untrusted 'signer chain not trusted'

# 2. Trusted, but the installed file was changed after signing.
e2e_install
e2e_certimport check >"$E2E_ART/cert-check-trusted.txt"
e2e_check "installed again: the certificate is trusted" test $? = 0
cp "$ENGINE" "$E2E_ART/Brevian.dll.installed"
python3 - "$ENGINE" <<'EOF'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(1024)
    b = f.read(1)
    f.seek(1024)
    f.write(bytes([b[0] ^ 0x5A]))
EOF
e2e_check "the installed engine was changed" bash -c '! cmp -s "$1" "$2"' _ "$ENGINE" "$E2E_ART/Brevian.dll.installed"
refused tampered 'WinVerifyTrust failed: 0x'

# 3. Installing again puts the signed file back: the host gets as far as its window.
e2e_install
e2e_reg_add "$SA" firstUse REG_DWORD 0
e2e_start_host
if e2e_wintool wait --caption 'Vantor Quorvel' --timeout 60000 >"$E2E_ART/repaired-window.txt"; then
    e2e_check "repaired: the editor is in the window" grep -q '^child: BrevianEditorPanel ' "$E2E_ART/repaired-window.txt"
    e2e_wintool close --caption 'Vantor Quorvel' --timeout 10000 >/dev/null
else
    e2e_fail "repaired: no main window"
    e2e_screenshot repaired-no-window
    e2e_answer_boxes 5
fi
if e2e_wait_host 30; then
    e2e_check "repaired: exit status 0 (got $E2E_HOST_STATUS)" test "$E2E_HOST_STATUS" = 0
else
    e2e_fail "repaired: still running"
    e2e_kill_host
fi
e2e_check "repaired: the log ends with @" test "$(tail -c 1 "$LOG")" = @

e2e_finish
