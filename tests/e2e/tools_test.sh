#!/usr/bin/env bash
# The test tooling itself: the Wine runner passes exit statuses through, never keeps a caller's
# pipe open, and creates a prefix once when programs start in parallel; qwintool lists and closes
# windows of another process; the dependency script's second run does nothing.
. "$(dirname "$0")/lib.sh"

e2e_init tools
REPO=$E2E_REPO
RUNNER_PREFIX="$E2E_ART/runner-prefix"

# 1. Two programs started at once on a prefix that does not exist yet: both run, one prefix is
#    made, one server runs for it, and piping the output ends (services must not hold the pipe).
t0=$SECONDS
for i in 1 2; do
    ( timeout 300 "$REPO/scripts/wine-run" --prefix "$RUNNER_PREFIX" "$QWINTOOL" list --all | cat >"$E2E_ART/runner-$i.out"
      echo "${PIPESTATUS[0]}" >"$E2E_ART/runner-$i.status" ) &
done
wait
e2e_note "parallel first use took $((SECONDS - t0)) s"
for i in 1 2; do
    e2e_check "parallel run $i exits 0" test "$(cat "$E2E_ART/runner-$i.status")" = 0
done
managed=$(quorvel_wine_env "$RUNNER_PREFIX" && wine64 reg query 'HKCU\Software\Wine\X11 Driver' /v Managed </dev/null 2>/dev/null | tr -d '\r')
e2e_check "the prefix has the X11 driver's Managed=N" grep -Eq 'Managed +REG_SZ +N$' <<<"$managed"
e2e_check "Wine's fonts are in the prefix" test -n "$(ls "$RUNNER_PREFIX/drive_c/windows/Fonts/" 2>/dev/null)"
servers=$(for p in $(pgrep -x 'wineserver(64)?'); do
    [[ $(readlink "/proc/$p/cwd") == */$(quorvel_wine_server_dir "$RUNNER_PREFIX") ]] && echo "$p"
done | wc -l)
e2e_check "one server for the prefix ($servers)" test "$servers" = 1

# 2. Exit statuses come through: bad usage is 2, a window that never comes is 1.
timeout 60 "$REPO/scripts/wine-run" --prefix "$RUNNER_PREFIX" "$QWINTOOL" bogus </dev/null >/dev/null 2>&1
e2e_check "status 2 passed through" test $? = 2
t0=$SECONDS
timeout 60 "$REPO/scripts/wine-run" --prefix "$RUNNER_PREFIX" "$QWINTOOL" wait --caption 'no such window' \
    --timeout 300 </dev/null | cat >"$E2E_ART/runner-missing.out"
e2e_check "status 1 passed through a pipe" test "${PIPESTATUS[0]}" = 1
e2e_check "a warm start is quick ($((SECONDS - t0)) s)" test $((SECONDS - t0)) -le 20
quorvel_wine_down "$RUNNER_PREFIX"
rm -rf "$RUNNER_PREFIX"

# 3. qwintool against the host: list shows its message box, close (WM_CLOSE) dismisses it and,
#    once its main window is closed too, the host ends cleanly.
e2e_prefix || e2e_finish
e2e_xvfb || e2e_finish
e2e_pulse || e2e_finish
e2e_start_host
if e2e_wait_box Quorvel 60 >"$E2E_ART/box.txt"; then
    e2e_wintool list >"$E2E_ART/list.txt"
    e2e_check "list shows the message box" grep -qxF 'caption: Quorvel' "$E2E_ART/list.txt"
    e2e_check "the box's text is read from the other process" \
        grep -q '^text: This is the first time you are running this application' "$E2E_ART/box.txt"
    e2e_wintool close --caption Quorvel --class '#32770' --timeout 10000 >"$E2E_ART/close.txt"
    e2e_check "close dismisses it" test $? = 0
else
    e2e_fail "no first-use notice"
fi
e2e_close_host 60 # its main window keeps it running
if e2e_wait_host 30; then
    e2e_check "host exits 0 after its box and window were closed" test "$E2E_HOST_STATUS" = 0
else
    e2e_fail "host still running"
    e2e_kill_host
fi

# 4. The dependency script's second run only checks and names the same prefix.
t0=$SECONDS
out=$("$REPO/scripts/deps.sh" 2>&1)
e2e_check "deps.sh second run takes under 5 s" test $((SECONDS - t0)) -lt 5
e2e_check "deps.sh installs nothing" grep -q 'Debian packages: all [0-9]* present' <<<"$out"
e2e_check "deps.sh reuses the cache" grep -q 'MinGW dependencies cached' <<<"$out"
e2e_check "deps.sh and deps-prefix.sh agree" grep -qxF "deps: prefix: $("$REPO/scripts/deps-prefix.sh")" <<<"$out"

e2e_finish
