#!/bin/sh
# Times Orbisk's filters on a 24-megapixel PPM against ImageMagick and vips, whole process (read,
# filter, write), in one hyperfine run so that every command sees the same machine. Orbisk writes
# binary PPM (--binary) like the others; the Gaussian blur is also timed with Orbisk's default
# text PPM output, and the bare read and write without a filter shows the I/O share.
#
# usage: bench/filters.sh BUILD_DIR [WORK_DIR] [RUNS]
#   BUILD_DIR  a RelWithDebInfo build (the release preset) with orbisk-cli built
#   WORK_DIR   where big.ppm and the outputs go (default /tmp/orbisk-filters-bench)
#   RUNS       runs per command (default 5)
# ORBISK_THREADS=N limits Orbisk's engine to N threads (the default is every processor allowed).
#
# Without hyperfine each command runs RUNS times under /usr/bin/time and the best wall time is
# shown with its user+system CPU time.
set -eu
BUILD=${1:?usage: filters.sh BUILD_DIR [WORK_DIR] [RUNS]}
WORK=${2:-/tmp/orbisk-filters-bench}
RUNS=${3:-5}
CLI=$(cd "$BUILD" && pwd)/cli/orbisk-cli
mkdir -p "$WORK"
cd "$WORK"

if [ ! -f big.ppm ]; then
  # A photograph scaled to 6000 x 4000 when the corpus is at hand, else a synthetic picture.
  SRC=$(dirname "$0")/../../shared/corpus/exif-samples/jpg/hdr/canon_hdr_YES.jpg
  if [ -f "$SRC" ]; then convert "$SRC" -resize '6000x4000!' big.ppm
  else convert -size 6000x4000 plasma:fractal big.ppm; fi
fi

O="$CLI convert big.ppm"
# name|command pairs; paths hold no blanks.
set -- \
  "orbisk read+write (I/O floor)|$O o_copy.ppm --binary" \
  "orbisk --gaussian 5|$O o_gauss.ppm --binary --gaussian 5" \
  "orbisk --gaussian 5 (text PPM)|$O o_gauss_text.ppm --gaussian 5" \
  "vips gaussblur 5|vips gaussblur big.ppm v_gauss.ppm 5" \
  "orbisk --sharpen 50|$O o_sharpen.ppm --binary --sharpen 50" \
  "vips sharpen|vips sharpen big.ppm v_sharpen.ppm" \
  "convert -sharpen 0x1|convert big.ppm -sharpen 0x1 im_sharpen.ppm" \
  "orbisk --smooth|$O o_smooth.ppm --binary --smooth" \
  "vips gaussblur 1.3|vips gaussblur big.ppm v_blur.ppm 1.3" \
  "orbisk --contour|$O o_contour.ppm --binary --contour" \
  "orbisk --blur (ring)|$O o_ring.ppm --binary --blur" \
  "orbisk --negative|$O o_negative.ppm --binary --negative" \
  "vips invert|vips invert big.ppm v_invert.ppm" \
  "orbisk --hsv 30,10,10|$O o_hsv.ppm --binary --hsv 30,10,10" \
  "orbisk --bcg 20,1.2,0.9|$O o_bcg.ppm --binary --bcg 20,1.2,0.9" \
  "orbisk --emboss|$O o_emboss.ppm --binary --emboss" \
  "orbisk --mosaic 8|$O o_mosaic.ppm --binary --mosaic 8" \
  "cat big.ppm > copy (disk floor)|sh -c 'cat big.ppm > copy.ppm'"

echo "picture: $(head -c 20 big.ppm | sed -n 2p) PPM; Orbisk threads: ${ORBISK_THREADS:-all}"
if command -v hyperfine >/dev/null 2>&1; then
  for P in "$@"; do
    set -- "$@" -n "${P%%|*}" "${P#*|}"
    shift
  done
  hyperfine -N -w 1 -r "$RUNS" --export-markdown filters.md "$@"
  echo
  cat filters.md
else
  for P in "$@"; do
    NAME=${P%%|*}
    CMD=${P#*|}
    BEST=""
    I=0
    while [ "$I" -lt "$RUNS" ]; do
      # shellcheck disable=SC2086
      /usr/bin/time -o time.txt -f "%e %U %S" sh -c "$CMD" >/dev/null 2>&1
      T=$(tail -1 time.txt)
      if [ -z "$BEST" ] || [ "$(echo "${T%% *} < ${BEST%% *}" | bc)" = 1 ]; then BEST=$T; fi
      I=$((I + 1))
    done
    set -- $BEST
    printf '%-36s wall %6.2f s   cpu %6.2f s\n' "$NAME" "$1" "$(echo "$2 + $3" | bc)"
  done
fi
