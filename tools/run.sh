#!/usr/bin/env bash
# Builds the Windows deliverables and starts Tidewell.exe under Wine.
#   tools/run.sh [Tidewell.exe options...]
# The data folder (where Tidewell.ini, Account.dat, Mail\ and Del\ live) is the
# program's current folder: $TIDEWELL_DATA, by default ~/Tidewell.
# The program shows on $DISPLAY; without a display a private Xvfb is started
# (take a screenshot with: import -window root -display :NN shot.png).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
tools/deps.sh
tools/build.sh win64
if [ ! -f dist/Tidewell.exe ]; then
  echo "dist/Tidewell.exe was not built; see the build output above." >&2
  exit 1
fi
data=${TIDEWELL_DATA:-$HOME/Tidewell}
mkdir -p "$data"
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  export DISPLAY=":$n"
  sleep 1
  echo "no DISPLAY: started Xvfb on $DISPLAY"
fi
[ -f "$WINEPREFIX/system.reg" ] || env LC_ALL=ja_JP.UTF-8 wineboot -i >/dev/null 2>&1
echo "data folder: $data"
cd "$data"
exec env LC_ALL=ja_JP.UTF-8 wine "$root/dist/Tidewell.exe" "$@"
