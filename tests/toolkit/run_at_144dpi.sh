#!/usr/bin/env bash
# Runs a Windows test program in a Wine prefix of its own whose display reports 144 DPI (the
# desktop's LogPixels), with QUORVEL_EXPECT_DPI=144 so the program checks the scaled sizes exactly.
#   run_at_144dpi.sh PREFIX program.exe [args...]
set -euo pipefail
HERE=$(cd "$(dirname "$0")/../.." && pwd)
. "$HERE/scripts/wine-lib.sh"
prefix=$1
shift
quorvel_wine_up "$prefix"
quorvel_wine_env "$prefix"
wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f </dev/null >/dev/null 2>&1
export QUORVEL_EXPECT_DPI=144
status=0
"$HERE/scripts/wine-run" --prefix "$prefix" "$@" || status=$?
# Nothing else uses this prefix: its server goes with the test.
quorvel_wine_down "$prefix"
exit "$status"
