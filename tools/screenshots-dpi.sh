#!/usr/bin/env bash
# Screenshots of every window at 96 and 144 DPI (100 % and 150 %):
#   tools/screenshots-dpi.sh OUTDIR     -> OUTDIR/96/*.png, OUTDIR/144/*.png
set -eu
cd "$(dirname "$0")/.."
out=${1:?usage: tools/screenshots-dpi.sh OUTDIR}
for dpi in 96 144; do
  TIDEWELL_DPI=$dpi tools/screenshots.sh "$out/$dpi"
done
