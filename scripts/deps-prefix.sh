#!/bin/sh
# Prints the folder that holds the cross-built dependencies (PortAudio, libpng, GoogleTest for
# MinGW). deps.sh builds into it; cmake/mingw-w64.cmake looks there. The key names the pinned
# Debian source versions and the build-recipe revision, so a change of either gets a fresh folder
# while every checkout on the machine shares the same one.
#
#   deps-prefix.sh          -> the prefix folder
#   deps-prefix.sh --key    -> just the key
#   deps-prefix.sh --vars   -> shell assignments of the pinned versions (for deps.sh)
set -eu

PA_VERSION=19.6.0-1.2
PNG_VERSION=1.6.39-2
GTEST_VERSION=1.12.1
# Bump whenever the build steps in deps.sh change what lands in the prefix.
RECIPE_REV=1

KEY="mingw64-pa${PA_VERSION}-png${PNG_VERSION}-gtest${GTEST_VERSION}-r${RECIPE_REV}"
CACHE_ROOT="${XDG_CACHE_HOME:-$HOME/.cache}/quorvel"

case "${1:-}" in
--key) echo "$KEY" ;;
--vars)
    echo "PA_VERSION=$PA_VERSION PNG_VERSION=$PNG_VERSION GTEST_VERSION=$GTEST_VERSION"
    echo "CACHE_ROOT='$CACHE_ROOT' KEY=$KEY"
    ;;
'') echo "$CACHE_ROOT/deps/$KEY" ;;
*)
    echo "usage: $0 [--key|--vars]" >&2
    exit 2
    ;;
esac
