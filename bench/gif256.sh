#!/usr/bin/env bash
# Reducing a 12-megapixel photo to 256 colours with error diffusion and writing it as GIF:
# Orbisk's converter path (optimized palette of 236 + 16 system colours, dithered copy,
# WriteGIF) against ImageMagick's Floyd-Steinberg quantizer, timed with hyperfine.
#
#   bench/gif256.sh [build dir]   (default build/release, configured with -DORBISK_BENCH=ON)
#
# The photo is made once in $BENCHDATA (default /work/benchdata) from a camera photo of the
# corpus, scaled to 4000 x 3000. The driver is bench/gif256_tool.cpp, built in the build folder.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
DATA=${BENCHDATA:-/work/benchdata}
CORPUS=${ORBISK_CORPUS_DIR:-$ROOT/../shared/corpus}
RUNS=${RUNS:-5}
export MAGICK_CONFIGURE_PATH=$ROOT/../shared/bench
MAGICK=/usr/bin/convert

# The driver is one of the bench programs of a build configured with -DORBISK_BENCH=ON.
cmake --build "$BUILD" -j2 --target gif256_tool
TOOL=$BUILD/bench/gif256_tool

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
