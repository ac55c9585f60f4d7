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
tools/wine-env.sh exec "$build" python3 bench/tidewell/bench.py --dist "$dist" --work "$build/bench_tidewell"
