#!/bin/sh
# Decoding an 8-megapixel GIF and writing it as BMP: orbisk-cli against ImageMagick and vips.
# Usage: bench/gif.sh [path to orbisk-cli]   (pictures in $BENCHDATA, default /work/benchdata)
set -eu
CLI=${1:-/work/build-release/cli/orbisk-cli}
DATA=${BENCHDATA:-/work/benchdata}
IN=$DATA/photo8mp.gif
MAGICK="env MAGICK_CONFIGURE_PATH=/work/shared/bench /usr/bin/convert"
if [ ! -f "$IN" ]; then
  # A photograph reduced to 256 colours, 3264 x 2448.
  $MAGICK "$DATA/photo24mp.ppm" -resize '3264x2448!' -colors 256 "$IN"
fi
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
hyperfine --warmup 2 --runs 15 --export-markdown "$OUT/table.md" \
  -n orbisk-cli "$CLI convert $IN $OUT/o.bmp" \
  -n imagemagick "$MAGICK $IN $OUT/m.bmp" \
  -n vips "vips copy $IN $OUT/v.bmp"
cat "$OUT/table.md"
