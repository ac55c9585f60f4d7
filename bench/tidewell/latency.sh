#!/usr/bin/env bash
# A check over a slow network (50 ms round trip through the latency proxy)
# and on loopback, by hand. Uses build/win64 and dist/ unless BUILD and DIST
# are given.
set -eu
cd "$(dirname "$0")/../.."
build=${BUILD:-build/win64}
dist=${DIST:-dist}
tools/wine-env.sh start "$build" >/dev/null
trap 'tools/wine-env.sh stop "$build" >/dev/null' EXIT
tools/wine-env.sh exec "$build" python3 bench/tidewell/latency.py --dist "$dist" --work "$build/bench_latency" "$@"
