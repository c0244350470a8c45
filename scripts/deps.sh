#!/usr/bin/env bash
# Installs everything the builds and tests need, once. Safe to run again: with the Debian packages
# present and the cross-built dependencies cached it only checks and prints where they are.
#
# 1. Debian packages (needs root or sudo, only when something is missing).
# 2. PortAudio (WMME, DirectSound, WASAPI) and libpng with static zlib, built for MinGW-w64 from
#    Debian's own source packages, and GoogleTest/GMock from /usr/src/googletest, installed into a
#    cache outside the checkout (scripts/deps-prefix.sh says where), so every clone reuses them.
#    Sources come through a private apt configuration: the system's sources are never touched.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
eval "$("$HERE/deps-prefix.sh" --vars)"
PREFIX="$CACHE_ROOT/deps/$KEY"
JOBS=${QUORVEL_JOBS:-2}

log() { printf 'deps: %s\n' "$*" >&2; }

PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
    wine64 wine fonts-wine
    xvfb x11-apps x11-utils imagemagick tango-icon-theme
    pulseaudio pulseaudio-utils sox
    cmake ninja-build ccache make patch pkg-config file
    g++ googletest libgtest-dev libgmock-dev libbenchmark-dev portaudio19-dev libpng-dev
    dpkg-dev clang-14 libclang-rt-14-dev
    openssl osslsigncode debian-archive-keyring ca-certificates util-linux procps
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
        command -v sudo >/dev/null || {
            log "not root and no sudo: install these first: ${missing[*]}"
            exit 1
        }
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Debian source packages through a private apt state under the cache (no root needed).
fetch_sources() {
    local apt="$CACHE_ROOT/apt" src="$CACHE_ROOT/src/pa${PA_VERSION}-png${PNG_VERSION}"
    if [[ -f $src/.fetched ]]; then
        SRC_DIR=$src
        return
    fi
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$src"
    cat >"$apt/parts/debian-src.sources" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
        -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1
        -o "APT::Sandbox::User=$(id -un)")
    local aptget=(apt-get -q "${opts[@]}") aptcache=(apt-cache "${opts[@]}")
    "${aptget[@]}" update >/dev/null
    # Stable updates replace a revision in the archive (1.6.39-2 became 1.6.39-2+deb12uN): take the
    # newest stable update of the pinned revision, never another upstream version.
    local pa png
    pa=$(pick_version portaudio19 "$PA_VERSION")
    png=$(pick_version libpng1.6 "$PNG_VERSION")
    log "fetching Debian sources portaudio19 $pa, libpng1.6 $png"
    (cd "$src" && "${aptget[@]}" source "portaudio19=$pa" "libpng1.6=$png" >"$src/fetch.log" 2>&1) || {
        cat "$src/fetch.log" >&2
        exit 1
    }
    printf 'portaudio19 %s\nlibpng1.6 %s\n' "$pa" "$png" >"$src/VERSIONS"
    touch "$src/.fetched"
    SRC_DIR=$src
}

pick_version() { # package pinned-revision -> newest available "pinned" or "pinned+deb12uN"
    local v
    v=$("${aptcache[@]}" showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' |
        grep -E "^${2//./\\.}(\\+deb[0-9]+u[0-9]+)?\$" | sort -V | tail -1)
    [[ -n $v ]] || {
        log "Debian source $1 $2 is not in the archive"
        exit 1
    }
    echo "$v"
}

one_dir() {
    local d
    d=$(find "$SRC_DIR" -maxdepth 1 -type d -name "$1" | head -1)
    [[ -n $d ]] || {
        log "no unpacked source matching $1 in $SRC_DIR"
        exit 1
    }
    echo "$d"
}

build_portaudio() {
    local b="$WORK/portaudio"
    rm -rf "$b"
    cp -a "$(one_dir 'portaudio19-*')" "$b"
    cd "$b"
    # MinGW-w64 ships the real WASAPI headers; 19.6 only includes them for MSVC.
    patch -p1 <"$HERE/patches/pa19.6-wasapi-mingw.patch"
    # The bundled outdated WASAPI headers would shadow MinGW's own: drop their global include path.
    sed -i 's|-I\\$(top_srcdir)/src/hostapi/wasapi/mingw-include ||' configure configure.in
    if grep -q 'wasapi/mingw-include -U' configure; then
        log "portaudio: could not drop the bundled WASAPI include path"
        exit 1
    fi
    # PKG_CONFIG=false: the host's pkg-config would find Linux JACK and enable it.
    ./configure --host=x86_64-w64-mingw32 --prefix="$PREFIX" \
        --with-winapi=wmme,directx,wasapi --enable-static --disable-shared \
        PKG_CONFIG=false CC=x86_64-w64-mingw32-gcc-posix CFLAGS="-O2 -g" >"$WORK/portaudio-configure.log"
    make -j"$JOBS" >"$WORK/portaudio-make.log"
    make install >/dev/null
    # make install ships portaudio.h only; the host uses the Windows extension headers too.
    cp include/pa_win_*.h "$PREFIX/include/"
    cd "$WORK"
}

build_cmake_dep() { # name source-dir cmake-args...
    local name=$1 srcdir=$2
    shift 2
    cmake -S "$srcdir" -B "$WORK/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$HERE/../cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" "$@" >"$WORK/$name-configure.log"
    cmake --build "$WORK/$name" -j"$JOBS" >"$WORK/$name-build.log"
    cmake --install "$WORK/$name" >/dev/null
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
        [[ -f $PREFIX/lib/$lib ]] || {
            log "missing $PREFIX/lib/$lib after the build"
            exit 1
        }
    done
    cp "$SRC_DIR/VERSIONS" "$PREFIX/VERSIONS"
    echo "googletest $GTEST_VERSION (/usr/src/googletest)" >>"$PREFIX/VERSIONS"
    rm -rf "$WORK"
    date -u +%FT%TZ >"$PREFIX/.done"
    log "built in $((SECONDS - t0)) s"
}

install_packages
if [[ -f $PREFIX/.done ]]; then
    log "MinGW dependencies cached"
else
    build_deps
fi
log "prefix: $PREFIX"
