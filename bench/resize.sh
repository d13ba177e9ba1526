#!/bin/bash
# Times resizing a 24 MP BMP to 1920 x 1280 with orbisk-cli, ImageMagick and vips, then the peak
# memory of each. Usage: bench/resize.sh [BUILD_DIR] (a Release build with orbisk-cli).
set -euo pipefail

BUILD=${1:-build-release}
CLI="$BUILD/cli/orbisk-cli"
DATA=${BENCHDATA:-/work/benchdata}
BIG="$DATA/big.bmp"
mkdir -p "$DATA"

[ -x "$CLI" ] || { echo "no orbisk-cli at $CLI" >&2; exit 1; }

# A photo-like 6000 x 4000 picture, written once as a plain 24-bit bitmap.
if [ ! -f "$BIG" ]; then
  /usr/bin/convert -size 6000x4000 -seed 7 plasma:fractal -blur 0x1 -type TrueColor \
    "BMP3:$BIG"
fi

export MAGICK_CONFIGURE_PATH=/work/shared/bench
ORBISK="$CLI convert $BIG $DATA/small-orbisk.bmp --resize 1920x1280"
MAGICK="/usr/bin/convert $BIG -resize 1920x1280! $DATA/small-magick.bmp"
# vips reads and writes BMP through ImageMagick; the scale is 1920/6000 = 1280/4000 = 0.32.
VIPS="vips resize $BIG $DATA/small-vips.bmp 0.32"

hyperfine --warmup 1 --runs ${RUNS:-5} --export-markdown "$DATA/resize.md" \
  -n orbisk-cli "$ORBISK" -n ImageMagick "$MAGICK" -n vips "$VIPS"

echo
echo "Peak memory (maximum resident set size):"
for Name in orbisk-cli ImageMagick vips; do
  case $Name in
  orbisk-cli) Cmd=$ORBISK ;;
  ImageMagick) Cmd=$MAGICK ;;
  vips) Cmd=$VIPS ;;
  esac
  KB=$(/usr/bin/time -f "%M" $Cmd 2>&1 >/dev/null | tail -1)
  echo "  $Name: $((KB / 1024)) MB"
done
