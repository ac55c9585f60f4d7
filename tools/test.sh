#!/usr/bin/env bash
# The whole test run: installs what is missing, builds every tree, runs
#   the native unit tests, the Windows tests under Wine (one Xvfb, one prefix)
#   and short fuzz smoke runs, then prints one summary line.
# Extra arguments go to every ctest call (for example -R md5).
set -u
cd "$(dirname "$0")/.."
tools/deps.sh
# The 32-bit library is built first: the export check of the 64-bit tree reads it.
tools/build.sh win32 native win64 fuzz || { echo "0 passed, 1 failed: build"; exit 1; }

passed=0; failed=0; rc=0
run_ctest() { # tree extra-args...
  local tree=$1; shift
  local log="build/$tree/ctest.log"
  echo "== ctest $tree"
  ctest --test-dir "build/$tree" --output-on-failure "$@" 2>&1 | tee "$log"
  local r=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    local total fail
    fail=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/')
    passed=$((passed + total - fail)); failed=$((failed + fail))
  fi
  [ "$r" = 0 ] || rc=1
}
run_ctest native -j "$(nproc)" "$@"
run_ctest win64 "$@"
run_ctest fuzz -j "$(nproc)" "$@"
echo "all trees: $passed passed, $failed failed"
echo
echo "$passed passed, $failed failed"
exit $rc
