#!/usr/bin/env bash
# The list's column widths at 150 %: Quillbox.ini's widths (96-DPI pixels)
# are shown scaled by 1.5 and written back unchanged at close; the same file
# at 96 DPI is shown as stored. Sets the prefix's LogPixels to 144 for the
# run and back to 96 (the server restarted each time), so it runs alone.
#   list_dpi_test.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
host="$build/tests/quillbox/quillbox_list_shot.exe"
data=$(mktemp -d /tmp/tidewell-list-dpi-XXXXXX)
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  sleep 1
  "$src/tools/wine-env.sh" start "$build" >/dev/null
}
trap 'set_dpi 96; rm -rf "$data"' EXIT
printf '[Size]\r\nSubject=77\r\nFrom=150\r\nDate=101\r\nSize=80\r\nName=1\r\n' >"$data/Quillbox.ini"
sizes() { grep -a -E '^(Subject|From|Date|Size|Name)=' "$data/Quillbox.ini" | tr -d '\r' | tr '\n' ' '; }
stored=$(sizes)
windata="Z:$(echo "$data" | tr / '\\')"
fail=0
check() { # DPI EXPECTED-OUTPUT
  set_dpi "$1"
  got=$(wine "$host" "$windata" 0 widths 2>/dev/null | tr -d '\r')
  if [ "$got" != "$2" ]; then echo "at $1 DPI: '$got', expected '$2'"; fail=1; fi
  if [ "$(sizes)" != "$stored" ]; then echo "at $1 DPI the stored widths became: $(sizes)"; fail=1; fi
}
check 144 "dpi 144 widths 116 225 152 120 2"
check 96 "dpi 96 widths 77 150 101 80 1"
exit $fail
