#!/usr/bin/env bash
# Installs the Windows build into a Wine prefix as an installer would on Windows:
#   C:\Program Files\Vantor\Quorvel\Quorvel.exe          the host
#   C:\Program Files\Vantor\Quorvel\QuorvelRender.exe    the command-line renderer (when built)
#   C:\Program Files\Vantor\Quorvel\Data\                 the engine's data directory (data/ of the repo)
#   C:\Program Files\Vantor\Brevian\Brevian.dll           the signed engine component
#   HKLM\Software\Vantor\Quorvel    "base_dir"     = the data directory
#   HKLM\Software\Vantor\Brevian    "path_x64"     = the engine component's file
#   HKLM\Software\Vantor\QuorvelSA  "usesMediaBar" = 1
#   the engine's signing certificate in LocalMachine\Root (so its signature is trusted)
#   %APPDATA%\Vantor\Quorvel                               the per-user folder (the host never makes it)
# The engine has a folder and a registry key of its own because it is a component the host finds
# through the registry, not a library of the host's; nothing relies on it sitting beside the program.
# Registry values go to the 64-bit view. Running it again brings the installation up to date.
#
#   install-wine.sh [--prefix DIR] [--build DIR] [--exe PATH] [--engine PATH] [--certificate PATH]
#                   [--untrusted]
# Defaults: the project's own prefix ${XDG_DATA_HOME:-~/.local/share}/quorvel/wineprefix (never
# ~/.wine), the build folder build/win64, and in it src/Quorvel.exe, engine/Brevian.dll,
# codesign/vantor-codesign.der and the trust tool tests/e2e/qcertimport.exe ($QCERTIMPORT overrides).
# --untrusted leaves the certificate out of the Root store (and takes out one an earlier run put
# there), so the host must refuse the engine. Prints the installed program's path.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
REPO=$(dirname "$HERE")
. "$HERE/wine-lib.sh"

prefix="${XDG_DATA_HOME:-$HOME/.local/share}/quorvel/wineprefix"
build="$REPO/build/win64"
exe='' engine='' certificate='' trust=1
usage() {
    echo "usage: install-wine.sh [--prefix DIR] [--build DIR] [--exe PATH] [--engine PATH]" \
        "[--certificate PATH] [--untrusted]" >&2
    exit 2
}
while (($#)); do
    case $1 in
    --untrusted)
        trust=0
        shift
        continue
        ;;
    --prefix | --build | --exe | --engine | --certificate) (($# >= 2)) || usage ;;
    *) usage ;;
    esac
    case $1 in
    --prefix) prefix=$2 ;;
    --build) build=$2 ;;
    --exe) exe=$2 ;;
    --engine) engine=$2 ;;
    --certificate) certificate=$2 ;;
    esac
    shift 2
done
exe=${exe:-$build/src/Quorvel.exe}
engine=${engine:-$build/engine/Brevian.dll}
certificate=${certificate:-$build/codesign/vantor-codesign.der}
certimport=${QCERTIMPORT:-$build/tests/e2e/qcertimport.exe}
for need in "program:$exe" "engine component:$engine" "signing certificate:$certificate" \
    "certificate tool:$certimport"; do
    [[ -f ${need#*:} ]] || {
        echo "install: no ${need%%:*} at ${need#*:} (build the win64 build first:" \
            "ninja Quorvel brevian qcertimport)" >&2
        exit 1
    }
done

quorvel_wine_up "$prefix"
quorvel_wine_env "$prefix"

# Wine resolves Z: to the Linux root, so a Linux path is Z: followed by the path.
winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }
wine_run() { wine64 "$@" </dev/null; }

program_dir="$prefix/drive_c/Program Files/Vantor/Quorvel"
engine_dir="$prefix/drive_c/Program Files/Vantor/Brevian"
data_dir="$program_dir/Data"
mkdir -p "$program_dir" "$engine_dir" "$data_dir"
cp -f "$exe" "$program_dir/Quorvel.exe"
# The console renderer goes beside the host when the build has it; an older one is taken out.
if [[ -f $(dirname "$exe")/QuorvelRender.exe ]]; then
    cp -f "$(dirname "$exe")/QuorvelRender.exe" "$program_dir/QuorvelRender.exe"
else
    rm -f "$program_dir/QuorvelRender.exe"
fi
cp -f "$engine" "$engine_dir/Brevian.dll"
# The data directory holds exactly what data/ holds: a stale file from an older install could
# otherwise be taken for engine data.
rm -rf "${data_dir:?}"/*
cp -rf "$REPO"/data/. "$data_dir/"

reg_set() { # KEY VALUE TYPE DATA
    wine_run reg add "HKLM\\$1" /v "$2" /t "$3" /d "$4" /f /reg:64 >/dev/null || {
        echo "install: could not write HKLM\\$1 $2" >&2
        exit 1
    }
}
reg_set 'Software\Vantor\Quorvel' base_dir REG_SZ 'C:\Program Files\Vantor\Quorvel\Data'
reg_set 'Software\Vantor\Brevian' path_x64 REG_SZ 'C:\Program Files\Vantor\Brevian\Brevian.dll'
reg_set 'Software\Vantor\QuorvelSA' usesMediaBar REG_DWORD 1

# Trust the certificate machine-wide (or, with --untrusted, make sure it is not trusted).
action=add
((trust)) || action=remove
out=$(wine_run "$certimport" "$action" "$(winpath "$certificate")" | tr -d '\r') || {
    echo "install: qcertimport $action of the signing certificate failed: $out" >&2
    exit 1
}

mkdir -p "$(quorvel_wine_appdata "$prefix")/Vantor/Quorvel"

# Changing the Root store starts Wine's desktop process in the prefix with the display of this
# moment. A caller that brings up its display only now must restart the prefix on it
# (quorvel_wine_down, quorvel_wine_up), or every window of its programs fails.
echo "$program_dir/Quorvel.exe"
