#!/bin/sh
# Times Orbisk's sharpen and smooth filters on a 24-megapixel PPM against ImageMagick and vips,
# whole process (read, filter, write). Each command runs 3 times; the best wall time is shown
# together with its user+system CPU time (the CPU time is the fairer figure on a busy machine).
#
# usage: bench/filters.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR  a RelWithDebInfo build configured with -DORBISK_BENCH=ON
#   WORK_DIR   where big.ppm and the outputs go (default /tmp/orbisk-filters-bench)
#
# orbisk-cli is used when its convert command knows --sharpen; otherwise the bench program's
# own driver (filters_bench apply IN OUT OPTION [VALUE]) applies the same filters.
set -eu
BUILD=${1:?usage: filters.sh BUILD_DIR [WORK_DIR]}
WORK=${2:-/tmp/orbisk-filters-bench}
mkdir -p "$WORK"
cd "$WORK"

if [ ! -f big.ppm ]; then
  # A photograph scaled to 6000 x 4000 when the corpus is at hand, else a synthetic picture.
  SRC=$(dirname "$0")/../../shared/corpus/exif-samples/jpg/hdr/canon_hdr_YES.jpg
  if [ -f "$SRC" ]; then convert "$SRC" -resize '6000x4000!' big.ppm
  else convert -size 6000x4000 plasma:fractal big.ppm; fi
fi

CLI=$BUILD/cli/orbisk-cli
# Paths are assumed to hold no blanks (the commands are split into words).
if "$CLI" convert big.ppm probe.ppm --sharpen 50 >/dev/null 2>&1; then
  ORBISK="$CLI convert big.ppm"
  HOW="orbisk-cli convert"
else
  ORBISK="$BUILD/bench/filters_bench apply big.ppm"
  HOW="filters_bench apply"
fi
rm -f probe.ppm

best() { # NAME COMMAND...
  NAME=$1
  shift
  BEST=""
  for _ in 1 2 3; do
    /usr/bin/time -o time.txt -f "%e %U %S" "$@" >/dev/null 2>&1
    T=$(tail -1 time.txt)
    W=${T%% *}
    if [ -z "$BEST" ] || [ "$(echo "$W < ${BEST%% *}" | bc)" = 1 ]; then BEST=$T; fi
  done
  set -- $BEST
  printf '%-34s wall %6.2f s   cpu %6.2f s\n' "$NAME" "$1" "$(echo "$2 + $3" | bc)"
}

echo "picture: $(head -c 20 big.ppm | sed -n 2p) PPM, Orbisk through $HOW"
best "orbisk --sharpen 50" $ORBISK o_sharpen.ppm --sharpen 50
best "convert -sharpen 0x1" convert big.ppm -sharpen 0x1 im_sharpen.ppm
best "vips sharpen" vips sharpen big.ppm vips_sharpen.ppm
best "orbisk --smooth" $ORBISK o_smooth.ppm --smooth
best "convert -blur 0x1.3" convert big.ppm -blur 0x1.3 im_blur.ppm
best "vips gaussblur 1.3" vips gaussblur big.ppm vips_blur.ppm 1.3
best "cat big.ppm > copy (I/O floor)" sh -c 'cat big.ppm > copy.ppm'
