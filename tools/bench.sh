#!/usr/bin/env bash
# Runs every benchmark (bench/*/run.sh) by hand: release builds without sanitizers.
set -eu
cd "$(dirname "$0")/.."
tools/deps.sh
for b in bench/*/run.sh; do
  [ -x "$b" ] || continue
  echo "== $b"
  "$b"
done
