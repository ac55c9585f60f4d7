#!/usr/bin/env bash
# Speed of opening the mail list under Wine for 5,000 and 10,000 mails over
# 5 accounts (by hand).
set -eu
cd "$(dirname "$0")/../.."
tools/build.sh win64 >/dev/null
cmake --build build/win64 --target list_bench >/dev/null
tools/wine-env.sh start build/win64 >/dev/null
trap 'tools/wine-env.sh stop build/win64 >/dev/null' EXIT
tools/wine-env.sh run build/win64 build/win64/bench/quillbox/list_bench.exe "$@"
