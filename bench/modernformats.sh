#!/bin/sh
# Decoding the later formats side by side: the engine's readers (bench/codec_tool load: the same
# decode orbisk and orbisk-cli run, into the 24-bit picture) and orbisk-cli convert to BMP,
# against each library's own command-line decoder, on 12 MP photo-like files made by the
# libraries' own encoders.
# Usage: bench/modernformats.sh [build dir]   (a Release build with -DORBISK_BENCH=ON; files in
# $BENCHDATA, default /tmp/orbisk-bench-modern; RUNS, default 5)
set -eu
B=${1:-build/release}
DATA=${BENCHDATA:-/tmp/orbisk-bench-modern}
RUNS=${RUNS:-5}
TOOL=$(realpath "$B/bench/codec_tool")
CLI=$(realpath "$B/cli/orbisk-cli")
MAGICK="env MAGICK_CONFIGURE_PATH=/work/shared/bench /usr/bin/convert"
mkdir -p "$DATA"
cd "$DATA"
if [ ! -f src.png ]; then
  $MAGICK -seed 42 \( -size 4000x3000 gradient:'#2b5c8a-#e9c27a' \) \
    \( -size 1000x750 plasma:fractal -blur 0x1 -resize 4000x3000! \) -compose softlight -composite \
    \( -size 4000x3000 xc:gray50 -attenuate 0.6 +noise Gaussian \) -compose overlay -composite \
    src.png
fi
[ -f p.webp ] || cwebp -quiet -q 80 src.png -o p.webp
[ -f p.avif ] || avifenc -j all -s 8 --min 20 --max 30 src.png p.avif > /dev/null
[ -f p.heic ] || heif-enc -q 80 src.png -o p.heic > /dev/null
[ -f p.jxl ] || cjxl -d 1 src.png p.jxl > /dev/null 2>&1
ls -l p.webp p.avif p.heic p.jxl
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
H="hyperfine -N --warmup 1 --runs $RUNS"
N=$(nproc)

echo "== WebP, 12 MP lossy: decode only (dwebp without -o decodes and writes nothing)"
$H -n codec_tool "$TOOL load p.webp" -n dwebp "dwebp p.webp" \
  -n "orbisk-cli to BMP" "$CLI convert p.webp $OUT/w.bmp" -n "dwebp to PPM" "dwebp p.webp -ppm -o $OUT/w.ppm"
echo "== AVIF, 12 MP 4:4:4: avifdec writes raw Y'CbCr (.y4m), the cheapest output it has"
$H -n codec_tool "$TOOL load p.avif" -n "avifdec -j $N to y4m" "avifdec -j $N p.avif $OUT/a.y4m" \
  -n "orbisk-cli to BMP" "$CLI convert p.avif $OUT/a.bmp"
echo "== HEIC, 12 MP: heif-convert to raw Y'CbCr (.y4m)"
$H -n codec_tool "$TOOL load p.heic" -n "heif-convert to y4m" "heif-convert --quiet p.heic $OUT/h.y4m" \
  -n "orbisk-cli to BMP" "$CLI convert p.heic $OUT/h.bmp"
echo "== JPEG XL, 12 MP lossy: djxl to PPM (RGB, like the picture)"
$H -n codec_tool "$TOOL load p.jxl" -n "djxl to PPM" "djxl p.jxl $OUT/j.ppm" \
  -n "orbisk-cli to BMP" "$CLI convert p.jxl $OUT/j.bmp"

# Thumbnails: the reduced decodes (WebP scaled in the library, the HEIC file's thumbnail item,
# JPEG XL's low-frequency pass, a TIFF reduced-resolution subfile) against the full decode of
# the same files, through the thumbnail explorer's saving (128-pixel cells).
[ -f pt.heic ] || heif-enc -q 80 -t 320 src.png -o pt.heic > /dev/null
if [ ! -f p.tif ]; then
  $MAGICK src.png \( +clone -resize 500x375 \) -compress lzw p.tif
  tiffset -d 1 -s 254 1 p.tif # the second directory: a reduced copy of the first
fi
echo "== Thumbnails of 12 MP files (128-pixel cells): orbisk-cli thumbnails, then full conversion"
for F in p.webp pt.heic p.jxl p.tif; do
  mkdir -p "$OUT/t"
  $H -n "thumbnail $F" "$CLI thumbnails $OUT/t $F --size 128 --overwrite" \
    -n "convert $F" "$CLI convert $F $OUT/full.bmp"
done
