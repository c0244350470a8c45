#!/bin/sh
# Prints the folder that holds the cross-built dependencies (PortAudio, libpng, GoogleTest for
# MinGW). deps.sh builds into it; cmake/mingw-w64.cmake looks there. The key names the pinned
# source versions, the ASIO interface declarations PortAudio is compiled against (src/asio/include,
# or a vendor SDK's with QUORVEL_ASIO_SDK=DIR) and the build-recipe revision, so a change of any
# gets a fresh folder while every checkout on the machine shares the same one.
#
#   deps-prefix.sh          -> the prefix folder
#   deps-prefix.sh --key    -> just the key
#   deps-prefix.sh --vars   -> shell assignments of the pinned versions (for deps.sh)
set -eu

# PortAudio's upstream release as Debian's testing/unstable suites carry it (any Debian revision):
# the tarball must have this SHA-256.
PA_VERSION=19.7.0
PA_SHA256=5af29ba58bbdbb7bbcefaaecc77ec8fc413f0db6f4c4e286c40c3e1b83174fa0
PNG_VERSION=1.6.39-2
GTEST_VERSION=1.12.1
# Bump whenever the build steps in deps.sh change what lands in the prefix.
RECIPE_REV=2

ROOT=$(cd "$(dirname "$0")/.." && pwd)
ASIO_INCLUDE="$ROOT/src/asio/include"
ASIO_SDK=${QUORVEL_ASIO_SDK:-}
# What PortAudio's ASIO code includes: asiosys.h and asio.h (ours or the SDK's), asiodrivers.h (ours).
if [ -n "$ASIO_SDK" ]; then
    [ -f "$ASIO_SDK/common/asio.h" ] || {
        echo "deps-prefix.sh: QUORVEL_ASIO_SDK=$ASIO_SDK has no common/asio.h (not an ASIO SDK folder)" >&2
        exit 1
    }
    ASIO_KIND=sdk
    ASIO_HASH=$(cat "$ASIO_SDK/common/asiosys.h" "$ASIO_SDK/common/asio.h" "$ASIO_INCLUDE/asiodrivers.h" |
        sha256sum | cut -c1-10)
else
    ASIO_KIND=own
    ASIO_HASH=$(cat "$ASIO_INCLUDE/asiosys.h" "$ASIO_INCLUDE/asio.h" "$ASIO_INCLUDE/asiodrivers.h" |
        sha256sum | cut -c1-10)
fi

KEY="mingw64-pa${PA_VERSION}-asio${ASIO_KIND}${ASIO_HASH}-png${PNG_VERSION}-gtest${GTEST_VERSION}-r${RECIPE_REV}"
CACHE_ROOT="${XDG_CACHE_HOME:-$HOME/.cache}/quorvel"

case "${1:-}" in
--key) echo "$KEY" ;;
--vars)
    echo "PA_VERSION=$PA_VERSION PA_SHA256=$PA_SHA256 PNG_VERSION=$PNG_VERSION GTEST_VERSION=$GTEST_VERSION"
    echo "CACHE_ROOT='$CACHE_ROOT' KEY=$KEY ASIO_INCLUDE='$ASIO_INCLUDE' ASIO_SDK='$ASIO_SDK'"
    ;;
'') echo "$CACHE_ROOT/deps/$KEY" ;;
*)
    echo "usage: $0 [--key|--vars]" >&2
    exit 2
    ;;
esac
