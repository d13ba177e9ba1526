#!/bin/sh
# Filter dialog preview: time from the last slider move to the new preview painted, for a
# 6000 x 4000 (24 MP) picture, offscreen.
# Usage: bench/filterpreview.sh [build dir] [runs]   (default build/filterpreview, 30 runs)
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$SRC/build/filterpreview}
RUNS=${2:-30}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBISK_TESTS=OFF \
    -DCMAKE_PROJECT_INCLUDE="$SRC/bench/filterpreview.cmake" >/dev/null
else
  cmake -S "$SRC" -B "$BUILD" -DCMAKE_PROJECT_INCLUDE="$SRC/bench/filterpreview.cmake" >/dev/null
fi
cmake --build "$BUILD" -j2 --target filterpreview_timing
QT_QPA_PLATFORM=offscreen "$BUILD/filterpreview_timing" 6000 4000 "$RUNS"
