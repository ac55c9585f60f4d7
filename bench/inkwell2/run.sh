#!/usr/bin/env bash
# Builds the codec benchmark in a release build without sanitizers and runs it.
#   bench/inkwell2/run.sh [MiB]   (input size of the 1x run, default 32)
set -eu
cd "$(dirname "$0")/../.."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWELL_SANITIZE=OFF -DTIDEWELL_ONLY=inkwell2 >/dev/null
cmake --build build/bench -j "${TIDEWELL_JOBS:-2}" --target inkwell2_bench
build/bench/bench/inkwell2/inkwell2_bench "$@"
