#!/bin/sh
# Times Orbisk's Gaussian blur (radius 5) and rotations by 90 and 17 degrees on a 24-megapixel
# PPM against ImageMagick and vips, whole process (read, operate, write binary PPM), with
# hyperfine.
#
# usage: bench/geometry.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR  a Release build configured with -DORBISK_BENCH=ON
#   WORK_DIR   where big.ppm and the outputs go (default /tmp/orbisk-geometry-bench)
#
# orbisk-cli is used when its convert command knows --gaussian; otherwise the bench program's
# own driver (geometry_bench apply IN OUT OPTION [VALUE]) applies the same operations.
set -eu
BUILD=${1:?usage: geometry.sh BUILD_DIR [WORK_DIR]}
WORK=${2:-/tmp/orbisk-geometry-bench}
RUNS=${RUNS:-5}
mkdir -p "$WORK"
cd "$WORK"

if [ ! -f big.ppm ]; then
  # The photo-like 6000 x 4000 test picture of shared/BENCH.md.
  /usr/bin/convert -seed 42 \( -size 6000x4000 gradient:'#2b5c8a-#e9c27a' \) \
    \( -size 1500x1000 plasma:fractal -blur 0x1 -resize 6000x4000! \) -compose softlight \
    -composite \( -size 6000x4000 xc:gray50 -attenuate 0.6 +noise Gaussian \) -compose overlay \
    -composite -quality 90 -sampling-factor 2x2 big.jpg
  djpeg -pnm -outfile big.ppm big.jpg
fi

CLI=$BUILD/cli/orbisk-cli
if "$CLI" convert big.ppm probe.ppm --binary --gaussian 5 >/dev/null 2>&1; then
  ORBISK="$CLI convert big.ppm o-orbisk.ppm --binary"
else
  ORBISK="$BUILD/bench/geometry_bench apply big.ppm o-orbisk.ppm"
fi
rm -f probe.ppm
export MAGICK_CONFIGURE_PATH=/work/shared/bench
MAGICK="/usr/bin/convert big.ppm"

# ImageMagick's blur takes minutes per run here, so it runs MAGICK_RUNS times (default 1).
run() { # TITLE ORBISK-ARGS MAGICK-ARGS VIPS-COMMAND
  echo "== $1"
  hyperfine -N --warmup 1 --runs "$RUNS" -n orbisk "$ORBISK $2" -n vips "$4"
  hyperfine -N --runs "${MAGICK_RUNS:-1}" -n ImageMagick "$MAGICK $3 o-magick.ppm"
}

run "gaussian 5" "--gaussian 5" "-gaussian-blur 0x5" "vips gaussblur big.ppm o-vips.ppm 5"
run "rotate 90" "--rotate 90" "-rotate 90" "vips rot big.ppm o-vips.ppm d90"
run "rotate 17" "--rotate 17" "-rotate 17" "vips rotate big.ppm o-vips.ppm 17"
