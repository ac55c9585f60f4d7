#!/usr/bin/env bash
# The Wine test environment: one Xvfb and one WINEPREFIX per build folder.
#   wine-env.sh start BUILD           start Xvfb, boot the prefix once
#   wine-env.sh stop  BUILD           wineserver -k, stop Xvfb
#   wine-env.sh run   BUILD exe args  run a Windows program under Wine
#   wine-env.sh exec  BUILD cmd args  run a command with the Wine environment
#   wine-env.sh shell BUILD           print the environment as export lines
# The Wine environment: DISPLAY of that Xvfb, WINEPREFIX=BUILD/wine/prefix,
# WINEDEBUG=-all, LC_ALL=ja_JP.UTF-8 (ANSI code page 932), WINEDLLOVERRIDES
# that skip the Mono/Gecko installers.
set -u
cmd=${1:?usage: wine-env.sh start|stop|run|exec|shell BUILD ...}
build=$(cd "${2:?build folder}" && pwd)
shift 2
state="$build/wine"
mkdir -p "$state"

wine_env() {
  export WINEPREFIX="$state/prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  if [ -f "$state/display" ]; then
    export DISPLAY=$(cat "$state/display")
  fi
}

case "$cmd" in
start)
  # A display of our own: the first free number from 90 up.
  if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
    :
  else
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    echo ":$n" >"$state/display"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
  fi
  wine_env
  if [ ! -f "$state/prefix/system.reg" ]; then
    env LC_ALL=ja_JP.UTF-8 wineboot -i >"$state/wineboot.log" 2>&1
    # Xvfb runs no window manager: with managed windows Wine waits 2 s for a
    # window manager's answer whenever the tray window is hidden (each time a
    # program removes its last tray icon). Unmanaged windows need no answer.
    env LC_ALL=ja_JP.UTF-8 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      </dev/null >/dev/null 2>&1 || true
  fi
  # The dialogs name the Japanese Windows fonts; this Wine has none of them
  # and would draw their texts in a wide fallback. The IPA fonts have the same
  # metrics, so the dialogs are laid out as on Windows.
  env LC_ALL=ja_JP.UTF-8 wine regedit /S "$(winepath -w "$(cd "$(dirname "$0")" && pwd)/wine-fonts.reg" 2>/dev/null)" \
    </dev/null >/dev/null 2>&1 || true
  # Keep one wineserver for the whole run (it exits when idle otherwise); a
  # server still running from an earlier start is simply reused.
  wineserver -p >/dev/null 2>&1 &
  disown 2>/dev/null || true
  # Start Wine's own service processes here, detached from any test's output:
  # started by the first test instead, they would keep its pipe open and
  # ctest would wait for them until the test times out.
  env LC_ALL=ja_JP.UTF-8 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  echo "wine ready: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
  ;;
stop)
  wine_env
  wineserver -k >/dev/null 2>&1 || true
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display"
  fi
  echo "wine stopped"
  ;;
run)
  wine_env
  exec env LC_ALL=ja_JP.UTF-8 wine "$@"
  ;;
exec)
  wine_env
  export TIDEWELL_WINE_ENV=1
  exec env LC_ALL=ja_JP.UTF-8 "$@"
  ;;
shell)
  wine_env
  echo "export LC_ALL=ja_JP.UTF-8 WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES='$WINEDLLOVERRIDES' DISPLAY='${DISPLAY:-}'"
  ;;
*)
  echo "unknown command $cmd" >&2; exit 2 ;;
esac
