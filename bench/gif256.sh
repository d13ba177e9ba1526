#!/usr/bin/env bash
# Reducing a 12-megapixel photo to 256 colours with error diffusion and writing it as GIF:
# Orbisk's converter path (optimized palette of 236 + 16 system colours, dithered copy,
# WriteGIF) against ImageMagick's Floyd-Steinberg quantizer, timed with hyperfine.
#
#   bench/gif256.sh [release-build-dir]
#
# The photo is made once in $BENCHDATA (default /work/benchdata) from a camera photo of the
# corpus, scaled to 4000 x 3000. The driver bench/gif256_tool.cpp is compiled against the
# Release libraries of the build folder.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/../build-bench-release}
DATA=${BENCHDATA:-/work/benchdata}
CORPUS=${ORBISK_CORPUS_DIR:-$ROOT/../shared/corpus}
RUNS=${RUNS:-5}
export MAGICK_CONFIGURE_PATH=$ROOT/../shared/bench
MAGICK=/usr/bin/convert

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBISK_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target orbisk_processing orbisk_engine
TOOL=$BUILD/gif256_tool
"${CXX:-c++}" -std=c++20 -O2 -I"$ROOT" "$ROOT/bench/gif256_tool.cpp" \
  "$BUILD/processing/liborbisk_processing.a" "$BUILD/engine/liborbisk_engine.a" \
  -ljpeg -lpng -lz -o "$TOOL"

mkdir -p "$DATA"
IN=$DATA/photo12mp.ppm
if [ ! -f "$IN" ]; then
  "$MAGICK" "$CORPUS/exif-samples/jpg/Reconyx_HC500_Hyperfire.jpg" -resize '4000x3000!' "$IN"
fi

OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
echo "== $(basename "$IN") ($(stat -c %s "$IN") bytes), load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$TOOL" "$IN" "$OUT/phases.gif" --phases
hyperfine --warmup 1 --runs "$RUNS" --style basic --export-markdown "$OUT/gif256.md" \
  -n orbisk "$TOOL $IN $OUT/a.gif" \
  -n imagemagick "$MAGICK $IN -dither FloydSteinberg -colors 256 $OUT/b.gif"
cat "$OUT/gif256.md"
ls -l "$OUT/a.gif" "$OUT/b.gif" | awk '{print $5, $NF}'
