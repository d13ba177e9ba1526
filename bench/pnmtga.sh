#!/usr/bin/env bash
# Decoding a 24-megapixel Targa (plain and run-length encoded) and binary PPM into a BMP file:
# orbisk-cli convert against ImageMagick and vips, timed with hyperfine.
#
#   bench/pnmtga.sh [release-build-dir]
#
# The pictures are made once in $BENCHDATA (default /work/benchdata) from a camera photo of the
# corpus, scaled to 6000 x 4000. orbisk-cli is built (Release) when the build folder lacks it.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/../build-bench-release}
DATA=${BENCHDATA:-/work/benchdata}
CORPUS=${ORBISK_CORPUS_DIR:-$ROOT/../shared/corpus}
RUNS=${RUNS:-5}
export MAGICK_CONFIGURE_PATH=$ROOT/../shared/bench
MAGICK=/usr/bin/convert

if [ ! -x "$BUILD/cli/orbisk-cli" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBISK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target orbisk-cli
fi
CLI=$BUILD/cli/orbisk-cli

mkdir -p "$DATA"
if [ ! -f "$DATA/photo24mp.ppm" ]; then
  "$MAGICK" "$CORPUS/exif-samples/jpg/Reconyx_HC500_Hyperfire.jpg" -resize '6000x4000!' \
    "$DATA/photo24mp.ppm"
fi
[ -f "$DATA/photo24mp.tga" ] || "$MAGICK" "$DATA/photo24mp.ppm" -compress none "$DATA/photo24mp.tga"
[ -f "$DATA/photo24mp-rle.tga" ] ||
  "$MAGICK" "$DATA/photo24mp.ppm" -compress RLE "$DATA/photo24mp-rle.tga"

OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
for IN in photo24mp.tga photo24mp-rle.tga photo24mp.ppm; do
  echo "== $IN ($(stat -c %s "$DATA/$IN") bytes)"
  hyperfine --warmup 1 --runs "$RUNS" --style basic \
    --export-markdown "$OUT/${IN}.md" \
    -n orbisk-cli "$CLI convert $DATA/$IN $OUT/a.bmp" \
    -n imagemagick "$MAGICK $DATA/$IN $OUT/b.bmp" \
    -n vips "vips copy $DATA/$IN $OUT/c.bmp"
  cat "$OUT/${IN}.md"
done
