#!/bin/sh
# Builds the libFuzzer targets natively with clang-14 (ASan + UBSan) in build/fuzz and runs each
# for a bounded time: QUORVEL_FUZZ_SECONDS (default 60) per target. Exits non-zero on a crash.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
seconds="${QUORVEL_FUZZ_SECONDS:-60}"
jobs="${QUORVEL_FUZZ_JOBS:-2}"

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVEL_BUILD_FUZZ=ON -DQUORVEL_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j"$jobs" fuzz_midifile fuzz_midifile_seeds fuzz_png fuzz_png_seeds

status=0
for target in midifile png; do
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target/"
    mkdir -p "$corpus" "$artifacts"
    "$build/fuzz/fuzz_${target}_seeds" "$corpus"
    echo "fuzzing $target for ${seconds}s"
    if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
            -rss_limit_mb=2048 -artifact_prefix="$artifacts" "$corpus" 2>"$build/fuzz_$target.log"; then
        echo "fuzz_$target FAILED: see $build/fuzz_$target.log and $artifacts" >&2
        tail -40 "$build/fuzz_$target.log" >&2
        status=1
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb|cov:" "$build/fuzz_$target.log" | tail -3
    fi
done
exit $status
