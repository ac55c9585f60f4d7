#!/usr/bin/env bash
# Builds the display benchmark in a release build without sanitizers and runs it:
# a 5 MiB message (Base64 UTF-8 text and a 4 MiB attachment) read for the
# window, and a Subject of 50,000 encoded words decoded.
set -eu
cd "$(dirname "$0")/../.."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWELL_SANITIZE=OFF \
  -DTIDEWELL_ONLY="inkwell2;common;viewer" >/dev/null
cmake --build build/bench -j "${TIDEWELL_JOBS:-2}" --target viewer_bench
build/bench/bench/viewer/viewer_bench "$@"
