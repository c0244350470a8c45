#!/usr/bin/env bash
# Installs the Windows build into a Wine prefix as an installer would on Windows: the program
# into "C:\Program Files\Vantor\Quorvel" and the per-user folder %APPDATA%\Vantor\Quorvel, which
# the host writes its log into but does not create.
#   install-wine.sh [--prefix DIR] [--build DIR] [--exe PATH]
# Defaults: the project's own prefix ${XDG_DATA_HOME:-~/.local/share}/quorvel/wineprefix (never
# ~/.wine), the build folder build/win64, its src/Quorvel.exe. Prints the installed program's path.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
REPO=$(dirname "$HERE")
. "$HERE/wine-lib.sh"

prefix="${XDG_DATA_HOME:-$HOME/.local/share}/quorvel/wineprefix"
build="$REPO/build/win64"
exe=
while (($#)); do
    case $1 in
    --prefix) prefix=$2 ;;
    --build) build=$2 ;;
    --exe) exe=$2 ;;
    *)
        echo "usage: install-wine.sh [--prefix DIR] [--build DIR] [--exe PATH]" >&2
        exit 2
        ;;
    esac
    shift 2
done
exe=${exe:-$build/src/Quorvel.exe}
[[ -f $exe ]] || {
    echo "install: no program at $exe (build the win64 build first)" >&2
    exit 1
}

quorvel_wine_up "$prefix"
program_dir="$prefix/drive_c/Program Files/Vantor/Quorvel"
mkdir -p "$program_dir"
cp -f "$exe" "$program_dir/Quorvel.exe"
# Libraries built beside the program (the engine component, when there is one) go with it.
shopt -s nullglob
for dll in "$(dirname "$exe")"/*.dll; do
    cp -f "$dll" "$program_dir/"
done
mkdir -p "$(quorvel_wine_appdata "$prefix")/Vantor/Quorvel"
echo "$program_dir/Quorvel.exe"
