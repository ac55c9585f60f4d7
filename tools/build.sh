#!/usr/bin/env bash
# Builds every tree:
#   build/native  portable code and unit tests (g++, sanitizers)
#   build/win64   the Windows deliverables (MinGW x86_64) -> dist/, Wine tests
#   build/win32   the codec library for 32-bit Windows (calling-convention check)
#   build/fuzz    libFuzzer targets (clang)
# tools/build.sh [native|win64|win32|fuzz ...]   (default: all)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${TIDEWELL_JOBS:-$(nproc)}
trees=${*:-"native win64 win32 fuzz"}

# ccache, where the machine has it, shares objects between build trees and work trees.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

configure() { # dir args...
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@"
  fi
}

for t in $trees; do
  case $t in
  native) configure build/native ;;
  win64)  configure build/win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
          ;;
  win32)  configure build/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
            -DTIDEWELL_INKWELL_ONLY=ON -DTIDEWELL_DIST_DIR="$root/build/win32/dist" ;;
  fuzz)   configure build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTIDEWELL_FUZZ=ON ;;
  *) echo "unknown tree $t" >&2; exit 2 ;;
  esac
  echo "== building $t"
  cmake --build "build/$t" -j "$jobs"
done
