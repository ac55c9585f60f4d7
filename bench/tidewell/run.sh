#!/usr/bin/env bash
# Whole-check speed of Tidewell.exe under Wine against local Dovecot (by hand).
# Uses the Windows build in build/win64 (dist/ deliverables) unless BUILD and
# DIST are given.
set -eu
cd "$(dirname "$0")/../.."
build=${BUILD:-build/win64}
dist=${DIST:-dist}
tools/wine-env.sh start "$build" >/dev/null
trap 'tools/wine-env.sh stop "$build" >/dev/null' EXIT
floor=()
# The Wine floor programs, when built (a Windows tree configured with tidewell).
if [ -f "$build/bench/tidewell/wine_floor.exe" ]; then
  floor=(--floor "$build/bench/tidewell/wine_floor.exe")
fi
tools/wine-env.sh exec "$build" python3 bench/tidewell/bench.py --dist "$dist" --work "$build/bench_tidewell" "${floor[@]}"
