#!/usr/bin/env bash
# scripts/build hands its CMake options on at the first configure and again on a later call,
# where an option that changed must take effect. Configures a scratch tree twice (no compiling:
# only the `help` target is "built").
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export RAVIR_BUILD_DIR=$scratch/build RAVIR_BUILD_TARGETS=help RAVIR_CCACHE=0

cached() { grep "^$1:" "$RAVIR_BUILD_DIR/CMakeCache.txt" | cut -d= -f2; }
expect() {
  local got
  got=$(cached "$1")
  if [ "$got" != "$2" ]; then
    echo "FAIL: after $3, $1 is '$got', expected '$2'"
    exit 1
  fi
}

"$here/scripts/build" -DRAVIR_BUILD_BENCH=OFF -DRAVIR_BUILD_VIEWER=OFF -DRAVIR_BUILD_TESTS=OFF \
  >"$scratch/first.log" 2>&1 || { cat "$scratch/first.log"; exit 1; }
expect RAVIR_BUILD_BENCH OFF "the first configure"
expect CMAKE_BUILD_TYPE RelWithDebInfo "the first configure"

"$here/scripts/build" -DRAVIR_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Debug \
  >"$scratch/second.log" 2>&1 || { cat "$scratch/second.log"; exit 1; }
expect RAVIR_BUILD_BENCH ON "a second call with new options"
expect CMAKE_BUILD_TYPE Debug "a second call with new options"
expect RAVIR_BUILD_VIEWER OFF "a second call that does not name it"

"$here/scripts/build" >"$scratch/third.log" 2>&1 || { cat "$scratch/third.log"; exit 1; }
expect CMAKE_BUILD_TYPE Debug "a call without options"
echo "scripts/build passes its options on every configure"
