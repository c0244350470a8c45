#!/usr/bin/env bash
# Installs everything the builds and tests need, once. Safe to run again: with the Debian packages
# present and the cross-built dependencies cached it only checks and prints where they are.
#
# 1. Debian packages (needs root or sudo, only when something is missing).
# 2. PortAudio 19.7 (WMME, DirectSound, WASAPI, ASIO) and libpng with static zlib, built for
#    MinGW-w64 from Debian's own source packages, and GoogleTest/GMock from /usr/src/googletest,
#    installed into a cache outside the checkout (scripts/deps-prefix.sh says where), so every clone
#    reuses them. Sources come through a private apt configuration: the system's sources are never
#    touched. PortAudio's ASIO code compiles against the project's own ASIO interface declarations
#    (src/asio/include), or a vendor SDK's with QUORVEL_ASIO_SDK=DIR; the driver layer it calls is
#    linked into the programs from src/asio.
#
#   deps.sh                  everything
#   deps.sh --packages-only  only step 1 (the set-up test runs it with fake package tools)
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
JOBS=${QUORVEL_JOBS:-2}

log() { printf 'deps: %s\n' "$*" >&2; }
# fail WHAT WHAT-TO-DO: the set-up stops here, saying why and what to do about it.
fail() {
    log "FAILED: $1"
    log "what to do: $2"
    exit 1
}
# Anything else that stops the script names the command and line instead of ending silently.
trap 'rc=$?; log "FAILED (status $rc) at scripts/deps.sh line $LINENO: $BASH_COMMAND"; log "what to do: read the messages above, mend the cause and run scripts/deps.sh again"; exit $rc' ERR

vars=$("$HERE/deps-prefix.sh" --vars) || fail "scripts/deps-prefix.sh could not name the dependency cache" \
    "check that HOME or XDG_CACHE_HOME is set"
eval "$vars"
PREFIX="$CACHE_ROOT/deps/$KEY"

PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
    wine64 wine fonts-wine
    xvfb x11-apps x11-utils imagemagick tango-icon-theme
    pulseaudio pulseaudio-utils sox
    cmake ninja-build ccache make pkg-config file
    g++ googletest libgtest-dev libgmock-dev libbenchmark-dev portaudio19-dev libpng-dev
    dpkg-dev clang-14 libclang-rt-14-dev
    openssl osslsigncode debian-archive-keyring ca-certificates util-linux procps python3 python3-mido
)

install_packages() {
    local missing=() p installed
    # One query for all: a package dpkg does not know is simply absent from the answer.
    # dpkg-query exits 1 when it does not know a package at all: that is an answer, not a failure.
    installed=" $( { dpkg-query -W -f='${Package}=${db:Status-Abbrev}\n' "${PACKAGES[@]}" 2>/dev/null || true; } |
        sed -n 's/=ii *$//p' | tr '\n' ' ') "
    for p in "${PACKAGES[@]}"; do
        [[ $installed == *" $p "* ]] || missing+=("$p")
    done
    if ((${#missing[@]} == 0)); then
        log "Debian packages: all ${#PACKAGES[@]} present"
        return
    fi
    log "installing: ${missing[*]}"
    local sudo=()
    if [[ $(id -u) != 0 ]]; then
        command -v sudo >/dev/null ||
            fail "not root and no sudo to install: ${missing[*]}" \
                "as root run: apt-get install ${missing[*]}; then run this again"
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q ||
        fail "apt-get update" "check the network and the apt sources (/etc/apt/sources.list*), then run this again"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" ||
        fail "apt-get install ${missing[*]}" \
            "read apt-get's messages above (a held or unknown package, a full disk, a lock held by another apt), mend it and run this again"
}

# Debian source packages through a private apt state beside the sources (no root needed). libpng
# comes from Debian 12; PortAudio 19.7 only from the testing and unstable suites, as its upstream
# tarball, checked against the pinned SHA-256 before it is unpacked.
fetch_sources() {
    local src="$CACHE_ROOT/src/pa${PA_VERSION}-png${PNG_VERSION}"
    local apt="$src/.apt" tarball="portaudio19_${PA_VERSION}.orig.tar.gz"
    if [[ -f $src/.fetched ]]; then
        SRC_DIR=$src
        return
    fi
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$src"
    cat >"$apt/parts/debian-src.sources" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm testing unstable
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
        -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1
        -o "APT::Sandbox::User=$(id -un)")
    local aptget=(apt-get -q "${opts[@]}") aptcache=(apt-cache "${opts[@]}")
    "${aptget[@]}" update >"$apt/update.log" 2>&1 ||
        fail "reading Debian's source index (private apt-get update)" \
            "read $apt/update.log; check the network and that debian-archive-keyring is installed"
    # Stable updates replace a revision in the archive (1.6.39-2 became 1.6.39-2+deb12uN): take the
    # newest stable update of the pinned revision, never another upstream version.
    local pa png
    png=$(pick_version libpng1.6 "${PNG_VERSION//./\\.}(\\+deb[0-9]+u[0-9]+)?" \
        "the pinned version is gone: update PNG_VERSION in scripts/deps-prefix.sh")
    # PortAudio: whatever Debian revision of the pinned upstream release testing or unstable has.
    if [[ ! -f $src/$tarball ]]; then
        pa=$(pick_version portaudio19 "${PA_VERSION//./\\.}-[0-9][^ ]*" \
            "Debian's testing and unstable suites no longer carry PortAudio $PA_VERSION. Either put its tarball $tarball (SHA-256 $PA_SHA256, e.g. from snapshot.debian.org) into $src and run this again, or move PA_VERSION and PA_SHA256 in scripts/deps-prefix.sh to the release the archive has now and check the build")
        log "fetching Debian's PortAudio $PA_VERSION tarball (portaudio19 $pa)"
        (cd "$src" && "${aptget[@]}" source --tar-only "portaudio19=$pa" >"$src/fetch-portaudio.log" 2>&1) || {
            cat "$src/fetch-portaudio.log" >&2
            fail "fetching the Debian source tarball of portaudio19 $pa" "check the network and run this again"
        }
    fi
    local sum
    sum=$(sha256sum "$src/$tarball" | cut -d' ' -f1)
    if [[ $sum != "$PA_SHA256" ]]; then
        rm -f "$src/$tarball"
        fail "$tarball has SHA-256 $sum, not the pinned $PA_SHA256 (removed)" \
            "run this again; if the archive's tarball really changed, compare it with PortAudio's own $PA_VERSION release before changing PA_SHA256 in scripts/deps-prefix.sh"
    fi
    rm -rf "$src/portaudio-$PA_VERSION"
    tar -xzf "$src/$tarball" -C "$src" ||
        fail "unpacking $tarball" "remove $src and run this again"
    log "fetching Debian sources libpng1.6 $png"
    (cd "$src" && "${aptget[@]}" source "libpng1.6=$png" >"$src/fetch.log" 2>&1) || {
        cat "$src/fetch.log" >&2
        fail "fetching the Debian source libpng1.6 $png" \
            "read the messages above (dpkg-dev unpacks it); check the network and run this again"
    }
    printf 'portaudio %s (tarball of Debian portaudio19 %s, SHA-256 %s)\nlibpng1.6 %s\n' \
        "$PA_VERSION" "${pa:-$PA_VERSION, supplied}" "$PA_SHA256" "$png" >"$src/VERSIONS"
    touch "$src/.fetched"
    SRC_DIR=$src
}

pick_version() { # package version-regex what-to-do -> the newest version the archive has that matches
    local v
    v=$("${aptcache[@]}" showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | grep -E "^$2\$" | sort -V | tail -1)
    [[ -n $v ]] || fail "no matching Debian source $1 in the archive" "$3"
    echo "$v"
}

one_dir() {
    local d
    d=$(find "$SRC_DIR" -maxdepth 1 -type d -name "$1" | head -1)
    [[ -n $d ]] || fail "no unpacked source matching $1 in $SRC_DIR" \
        "remove $SRC_DIR so that the next run fetches the sources again"
    echo "$d"
}

build_portaudio() {
    local b="$WORK/portaudio" asio_flags="-I$ASIO_INCLUDE"
    rm -rf "$b"
    cp -a "$(one_dir "portaudio-$PA_VERSION")" "$b"
    cd "$b"
    # ASIO: the driver layer (SDK sources in upstream's recipe) is the program's own (src/asio), so
    # only PortAudio's host-API code is built here. Configure would also build every PortAudio
    # source with -ffast-math and for Windows XP: the other APIs' converters and code stay as they
    # are without ASIO.
    sed -i -e 's| \$ASIODIR/common/asio.o \$ASIODIR/host/asiodrivers.o \$ASIODIR/host/pc/asiolist.o||' \
        -e 's|CFLAGS="\$CFLAGS -ffast-math |CFLAGS="\$CFLAGS |' \
        -e 's|CFLAGS="\$CFLAGS -D_WIN32_WINNT=0x0501 -DWINVER=0x0501"|:|' configure
    if grep -Eq 'ASIODIR/common/asio.o|-ffast-math|-D_WIN32_WINNT=0x0501' configure; then
        fail "portaudio: could not adapt configure's ASIO settings" \
            "the source's configure changed: adapt the sed lines in build_portaudio"
    fi
    # A vendor SDK's interface headers go first; asiodrivers.h stays the project's.
    [[ -z $ASIO_SDK ]] || asio_flags="-I$ASIO_SDK/common $asio_flags"
    # PKG_CONFIG=false: the host's pkg-config would find Linux JACK and enable it.
    ./configure --host=x86_64-w64-mingw32 --prefix="$PREFIX" \
        --with-winapi=wmme,directx,wasapi,asio --with-asiodir="$ASIO_INCLUDE" --enable-static --disable-shared \
        PKG_CONFIG=false CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix \
        CFLAGS="-O2 -g $asio_flags" >"$WORK/portaudio-configure.log" 2>&1 ||
        fail "configuring PortAudio for MinGW" "read $WORK/portaudio-configure.log and config.log beside it"
    # Only the library: upstream's test programs would need the driver layer at link time.
    make -j"$JOBS" lib/libportaudio.la >"$WORK/portaudio-make.log" 2>&1 ||
        fail "building PortAudio for MinGW" "read $WORK/portaudio-make.log"
    make install >"$WORK/portaudio-install.log" 2>&1 || fail "installing PortAudio into $PREFIX" "read $WORK/portaudio-install.log"
    grep -q ' T PaAsio_Initialize$' <(x86_64-w64-mingw32-nm "$PREFIX/lib/libportaudio.a") ||
        fail "PortAudio was built without its ASIO host API" "read $WORK/portaudio-configure.log"
    # make install ships portaudio.h only; the host uses the Windows extension headers too.
    cp include/pa_win_*.h include/pa_asio.h "$PREFIX/include/"
    cd "$WORK"
}

build_cmake_dep() { # name source-dir cmake-args...
    local name=$1 srcdir=$2
    shift 2
    cmake -S "$srcdir" -B "$WORK/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$HERE/../cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" "$@" >"$WORK/$name-configure.log" 2>&1 ||
        fail "configuring $name for MinGW" "read $WORK/$name-configure.log"
    cmake --build "$WORK/$name" -j"$JOBS" >"$WORK/$name-build.log" 2>&1 || fail "building $name for MinGW" "read $WORK/$name-build.log"
    cmake --install "$WORK/$name" >"$WORK/$name-install.log" 2>&1 || fail "installing $name into $PREFIX" "read $WORK/$name-install.log"
}

build_deps() {
    mkdir -p "$CACHE_ROOT/deps"
    exec 9>"$CACHE_ROOT/deps/.lock"
    flock 9 # another run (a second CI job) may be building the same key
    if [[ -f $PREFIX/.done ]]; then return; fi
    local t0=$SECONDS
    fetch_sources
    WORK="$CACHE_ROOT/work/$KEY"
    rm -rf "$WORK" "$PREFIX"
    mkdir -p "$WORK" "$PREFIX"
    export QUORVEL_DEPS_PREFIX=$PREFIX
    log "building PortAudio for MinGW"
    build_portaudio
    log "building libpng for MinGW"
    build_cmake_dep libpng "$(one_dir 'libpng1.6-*')" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
        -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include
    log "building GoogleTest for MinGW"
    build_cmake_dep googletest /usr/src/googletest -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
    for lib in libportaudio.a libpng16.a libgtest.a libgmock.a libgtest_main.a; do
        [[ -f $PREFIX/lib/$lib ]] || fail "missing $PREFIX/lib/$lib after the build" \
            "read the build logs in $WORK"

    done
    cp "$SRC_DIR/VERSIONS" "$PREFIX/VERSIONS"
    echo "googletest $GTEST_VERSION (/usr/src/googletest)" >>"$PREFIX/VERSIONS"
    rm -rf "$WORK"
    date -u +%FT%TZ >"$PREFIX/.done"
    log "built in $((SECONDS - t0)) s"
}

install_packages
if [[ ${1:-} == --packages-only ]]; then exit 0; fi
if [[ -f $PREFIX/.done ]]; then
    log "MinGW dependencies cached"
else
    build_deps
fi
log "prefix: $PREFIX"
