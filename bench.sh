#!/bin/sh
# Builds the native Release benchmarks in build/bench and prints their table.
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
if ! cmake --build "$build" --target quorvel_bench -j2 >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi
exec "$build/bench/quorvel_bench" "$@"
