#!/bin/sh
# JPEG and PNG codecs side by side: orbisk-cli and the engine's codec_tool against djpeg/cjpeg,
# libpng's simplified API (pngfloor_tool) and vips, on a 24 MP photo-like JPEG and a 12 MP PNG.
# codec_tool decodes PNG image data on two threads when it may use two processors
# (CODEC_PNG_THREADS=1: on one, as the reference).
# Usage: bench/jpegpng.sh [build dir]   (a Release build with -DORBISK_BENCH=ON; pictures in
# $BENCHDATA, default /work/benchdata)
set -eu
B=${1:-/work/build-jpegpng-rel}
DATA=${BENCHDATA:-/work/benchdata}
CLI=$B/cli/orbisk-cli
TOOL=$B/bench/codec_tool
FLOOR=$B/bench/pngfloor_tool
MAGICK="env MAGICK_CONFIGURE_PATH=/work/shared/bench /usr/bin/convert"
cd "$DATA"
if [ ! -f big.jpg ]; then
  $MAGICK -seed 42 \( -size 6000x4000 gradient:'#2b5c8a-#e9c27a' \) \
    \( -size 1500x1000 plasma:fractal -blur 0x1 -resize 6000x4000! \) -compose softlight -composite \
    \( -size 6000x4000 xc:gray50 -attenuate 0.6 +noise Gaussian \) -compose overlay -composite \
    -quality 90 -sampling-factor 2x2 big.jpg
fi
[ -f big.bmp ] || djpeg -bmp -outfile big.bmp big.jpg
[ -f big.png ] || $MAGICK big.jpg -crop 4000x3000+0+0 +repage big.png
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
H="hyperfine -N --warmup 1 --runs 5"

echo "== JPEG decode, 24 MP, written as BMP"
$H -n orbisk-cli "$CLI convert big.jpg $OUT/o.bmp" -n djpeg "djpeg -bmp -outfile $OUT/d.bmp big.jpg"
echo "== JPEG decode only"
$H -n codec_tool "$TOOL load big.jpg" -n djpeg "djpeg -outfile /dev/null big.jpg"
echo "== JPEG encode, 24 MP BMP, quality 80, float DCT (the engine's defaults)"
$H -n orbisk-cli "$CLI convert big.bmp $OUT/o.jpg" \
  -n cjpeg "cjpeg -quality 80 -dct float -outfile $OUT/c.jpg big.bmp"
echo "== PNG decode only, 12 MP (codec_tool inflates on a second thread; one-thread: the reference)"
$H -n codec_tool "$TOOL load big.png" -n pngfloor "$FLOOR big.png" -n vips "vips copy big.png $OUT/x.v" \
  -n codec_tool-one-thread "env CODEC_PNG_THREADS=1 $TOOL load big.png"
echo "== PNG decode, written as BMP"
$H -n orbisk-cli "$CLI convert big.png $OUT/p.bmp"
echo "== peak memory"
for C in "$CLI convert big.jpg $OUT/o.bmp" "djpeg -bmp -outfile $OUT/d.bmp big.jpg" \
  "$TOOL load big.png" "$FLOOR big.png"; do
  /usr/bin/time -f "%e s %M KB  $C" $C > /dev/null
done
