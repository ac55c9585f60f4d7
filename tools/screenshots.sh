#!/usr/bin/env bash
# PNG screenshots of every window and dialog of the deliverables, under Xvfb.
#   tools/screenshots.sh OUTDIR
# Builds the Windows tree, starts the Wine environment of build/win64 and runs
# every executable script in tools/screenshots.d/ in name order as
#   script OUTDIR BUILD
# with the Wine environment (DISPLAY, WINEPREFIX, LC_ALL) exported. Each script
# brings up its windows, calls `shot NAME` for each (a PNG of the whole screen
# as OUTDIR/NAME.png) and ends what it started.
set -eu
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:?usage: tools/screenshots.sh OUTDIR}" && cd "$1" && pwd)
tools/build.sh win64 >/dev/null
build=$(pwd)/build/win64
tools/wine-env.sh start "$build" >/dev/null
trap 'tools/wine-env.sh stop "$build" >/dev/null' EXIT
eval "$(tools/wine-env.sh shell "$build")"
export TIDEWELL_SHOTS="$out"
shot() { # NAME: the whole screen as $TIDEWELL_SHOTS/NAME.png
  sleep "${SHOT_SETTLE:-1}"
  import -display "$DISPLAY" -window root "$TIDEWELL_SHOTS/$1.png"
  echo "$TIDEWELL_SHOTS/$1.png"
}
export -f shot
for s in tools/screenshots.d/*; do
  [ -x "$s" ] || continue
  echo "== $s"
  "$s" "$out" "$build" || echo "screenshot script failed: $s" >&2
done
