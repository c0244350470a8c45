#!/bin/sh
# Builds the native Release benchmarks in build/bench and prints their table, then the MIDI-file
# loads beside mido's (bench/mido_compare.py; Debian's python3-mido, which scripts/deps.sh installs).
# Extra arguments go to the benchmark program (e.g. --benchmark_filter=Graph).
set -e
root=$(cd "$(dirname "$0")" && pwd)
build="$root/build/bench"
generator=
if command -v ninja >/dev/null 2>&1; then generator="-G Ninja"; fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    # Release at -O2: GCC 12's -O3 raises false -Wrestrict warnings in libstdc++ string code.
    cmake -S "$root" -B "$build" $generator -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
        -DQUORVEL_BUILD_BENCH=ON -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_SANITIZE= >/dev/null
fi
if ! cmake --build "$build" --target quorvel_bench quorvel_midi_load -j2 >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi
"$build/bench/quorvel_bench" "$@"
echo
# Debian's interpreter, which has python3-mido, even where another python3 comes first on PATH.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" "$root/bench/mido_compare.py" "$build/bench/quorvel_midi_load"
