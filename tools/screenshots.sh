#!/usr/bin/env bash
# PNG screenshots of every window and dialog of the deliverables, under Xvfb.
#   tools/screenshots.sh OUTDIR
# Builds the Windows tree, starts the Wine environment of build/win64 and runs
# TIDEWELL_DPI=144 (or 120, 192) draws them at that DPI (the prefix's LogPixels,
# set back to 96 at the end); tools/screenshots-dpi.sh OUTDIR makes both sets.
# Runs every executable script in tools/screenshots.d/ in name order as
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
eval "$(tools/wine-env.sh shell "$build")"
set_dpi() { # LogPixels of the prefix; Wine takes it up when its server starts again
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1; sleep 1
  tools/wine-env.sh start "$build" >/dev/null
}
dpi=${TIDEWELL_DPI:-96}
if [ "$dpi" != 96 ]; then
  set_dpi "$dpi"
  trap 'set_dpi 96; tools/wine-env.sh stop "$build" >/dev/null' EXIT
else
  trap 'tools/wine-env.sh stop "$build" >/dev/null' EXIT
fi
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
