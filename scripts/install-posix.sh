#!/usr/bin/env bash
# Installs the native build as an installer would: the host library and the engine component
# into PREFIX/lib, the engine's data into PREFIX/data, the installation values into the POSIX
# registry file (HKEY_LOCAL_MACHINE: Software\Vantor\Quorvel "base_dir", Software\Vantor\Brevian
# "path_x64" and "sha256_x64" — the engine file's SHA-256, the only engine the host will load —
# and Software\Vantor\QuorvelSA "usesMediaBar" = 1), and creates the per-user folder
# ${XDG_DATA_HOME:-~/.local/share}/Vantor/Quorvel.
#   install-posix.sh [--prefix DIR] [--build DIR] [--registry FILE]
# Defaults: ${XDG_DATA_HOME:-~/.local/share}/quorvel/posix, build/native,
# $QUORVEL_REGISTRY_FILE or ${XDG_CONFIG_HOME:-~/.config}/Vantor/registry.txt.
# Prints the installed engine component's path.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
REPO=$(dirname "$HERE")

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
prefix="$data_home/quorvel/posix"
build="$REPO/build/native"
registry=${QUORVEL_REGISTRY_FILE:-${XDG_CONFIG_HOME:-$HOME/.config}/Vantor/registry.txt}
while (($#)); do
    case $1 in
    --prefix) prefix=$2 ;;
    --build) build=$2 ;;
    --registry) registry=$2 ;;
    *)
        echo "usage: install-posix.sh [--prefix DIR] [--build DIR] [--registry FILE]" >&2
        exit 2
        ;;
    esac
    shift 2
done

engine="$build/engine/libbrevian.so"
[[ -f $engine ]] || {
    echo "install: no engine component at $engine (build the native build first)" >&2
    exit 1
}
mkdir -p "$prefix/lib" "$prefix/data"
prefix=$(cd "$prefix" && pwd)
cp -f "$engine" "$prefix/lib/libbrevian.so"
if [[ -f $build/src/libquorvel-host.so ]]; then
    cp -f "$build/src/libquorvel-host.so" "$prefix/lib/"
fi
# The data folder holds exactly what data/ holds (its GUI/ folder too); a stale file from an older
# install could otherwise be taken for engine data.
rm -rf "${prefix:?}/data"/*
cp -rf "$REPO"/data/. "$prefix/data/"
hash=$(sha256sum "$prefix/lib/libbrevian.so" | cut -d' ' -f1)

# Registry strings escape backslashes and quotes.
quote() { printf '"%s"' "$(printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g')"; }

mkdir -p "$(dirname "$registry")"
touch "$registry"
# Later sections of the same key override earlier values, so appending replaces a previous
# installation's values; the host rewrites the file in its own order on its next save.
{
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Vantor\Quorvel]'
    echo "\"base_dir\"=$(quote "$prefix/data")"
    echo '[HKEY_LOCAL_MACHINE\Software\Vantor\Brevian]'
    echo "\"path_x64\"=$(quote "$prefix/lib/libbrevian.so")"
    echo "\"sha256_x64\"=$(quote "$hash")"
    echo '[HKEY_LOCAL_MACHINE\Software\Vantor\QuorvelSA]'
    echo '"usesMediaBar"=dword:00000001'
} >>"$registry"

mkdir -p "$data_home/Vantor/Quorvel"
echo "$prefix/lib/libbrevian.so"
