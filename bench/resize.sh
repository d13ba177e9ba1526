#!/bin/bash
# Times resizing a 24 MP picture to 1920 x 1280 with orbisk-cli, ImageMagick and vips in one
# hyperfine run, as JPEG to JPEG (the usual case: decoding, resampling and encoding) and as BMP to
# BMP (resampling with little decoding), then the peak memory of each.
# Usage: bench/resize.sh [BUILD_DIR] (a Release build with orbisk-cli). RUNS=N sets the runs,
# FORMATS="jpg" or "bmp" only one of the two.
set -euo pipefail

BUILD=${1:-build-release}
CLI="$BUILD/cli/orbisk-cli"
DATA=${BENCHDATA:-/work/benchdata}
mkdir -p "$DATA"

[ -x "$CLI" ] || { echo "no orbisk-cli at $CLI" >&2; exit 1; }

# A photo-like 6000 x 4000 picture, written once as a plain 24-bit bitmap and as a JPEG of
# quality 90 (4:2:0, as cameras write them).
if [ ! -f "$DATA/big.bmp" ]; then
  /usr/bin/convert -size 6000x4000 -seed 7 plasma:fractal -blur 0x1 -type TrueColor \
    "BMP3:$DATA/big.bmp"
fi
if [ ! -f "$DATA/big.jpg" ]; then
  /usr/bin/convert "$DATA/big.bmp" -quality 90 -sampling-factor 2x2 "$DATA/big.jpg"
fi

export MAGICK_CONFIGURE_PATH=/work/shared/bench
echo "orbisk-cli uses $(nproc) processors"

for Ext in ${FORMATS:-jpg bmp}; do
  BIG="$DATA/big.$Ext"
  ORBISK="$CLI convert $BIG $DATA/small-orbisk.$Ext --resize 1920x1280"
  MAGICK="/usr/bin/convert $BIG -resize 1920x1280! $DATA/small-magick.$Ext"
  # The scale is 1920/6000 = 1280/4000 = 0.32; vips reads and writes BMP through ImageMagick.
  VIPS="vips resize $BIG $DATA/small-vips.$Ext 0.32"
  echo
  echo "== $Ext to $Ext =="
  hyperfine --warmup 1 --runs ${RUNS:-5} --export-markdown "$DATA/resize-$Ext.md" \
    -n orbisk-cli "$ORBISK" -n ImageMagick "$MAGICK" -n vips "$VIPS"

  echo
  echo "CPU time of one run (user + system) and peak memory (maximum resident set size):"
  for Name in orbisk-cli ImageMagick vips; do
    case $Name in
    orbisk-cli) Cmd=$ORBISK ;;
    ImageMagick) Cmd=$MAGICK ;;
    vips) Cmd=$VIPS ;;
    esac
    /usr/bin/time -f "  $Name: %e s wall, %U s user + %S s system, %M KB" $Cmd 2>&1 >/dev/null |
      tail -1
  done
done
