#!/bin/sh
# "Next Image" to the picture painted, offscreen, on 20 photo-like 24 MP JPEGs: cold (decoded on
# demand) and warm (decoded ahead), against djpeg decoding the same files.
# Usage: bench/display.sh [build dir]   (default /work/build-display-rel; pictures in $BENCHDATA)
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-/work/build-display-rel}
DATA=${BENCHDATA:-/work/benchdata}
SET=$DATA/display20
if [ ! -f "$BUILD/display_timing" ]; then
  cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBISK_TESTS=OFF \
    -DCMAKE_PROJECT_INCLUDE="$SRC/bench/display.cmake" >/dev/null
  cmake --build "$BUILD" -j2 --target display_timing
fi
if [ ! -f "$SET/p19.jpg" ]; then
  # Lossless crops and flips of one 6000 x 4000 photograph: 20 different 23-24 MP files.
  mkdir -p "$SET"
  i=0
  while [ $i -lt 20 ]; do
    case $((i % 4)) in
      0) T="" ;; 1) T="-flip horizontal" ;; 2) T="-flip vertical" ;; 3) T="-rotate 180" ;;
    esac
    # shellcheck disable=SC2086
    jpegtran -copy none $T -crop "$((6000 - 16 * i))x$((4000 - 16 * (i % 5)))+$((16 * (i / 4)))+0" \
      -outfile "$SET/p$i.jpg" "$DATA/big.jpg"
    i=$((i + 1))
  done
fi
echo "== display_timing"
"$BUILD/display_timing" "$SET"/p*.jpg
echo "== djpeg (24-bit BGR decode of one file, to /dev/null)"
hyperfine --warmup 2 --runs 10 -N "djpeg -bmp -outfile /dev/null $SET/p0.jpg" 2>/dev/null \
  | grep -E "Time|Range"
