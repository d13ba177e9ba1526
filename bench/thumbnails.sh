#!/bin/sh
# Thumbnails of 200 photo-like JPEGs of 12 MP (4000 x 3000, quality 90): orbisk-cli thumbnails
# (--no-cache: every cell made from its file) against `gm mogrify -thumbnail` and `vipsthumbnail`
# on the same files in the same run; the explorer's window loader (thumbnails_timing): time to the
# first cell, to every cell in view and to the full grid, with an empty thumbnail cache and again
# with the cache filled (a revisit); the sheet of 100 files. The thumbnail cache of the run is a
# fresh folder under $WORK (XDG_CACHE_HOME), never the user's.
# Usage: bench/thumbnails.sh [build dir]   (default build/release; needs hyperfine, jpegtran,
# ImageMagick's convert, gm and vipsthumbnail). The pictures are made under $WORK (default
# /tmp/orbisk-thumbs-bench) and deleted at the end unless KEEP=1 (MAKE_ONLY=1 only makes them).
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$SRC/build/release}
WORK=${WORK:-/tmp/orbisk-thumbs-bench}
RUNS=${RUNS:-3}
# COUNT < 200 times only the first COUNT pictures (a quick check of the script).
COUNT=${COUNT:-200}
# ImageMagick's own memory caps slow a 24 MP picture: use the raised policy when it is there.
for P in "$SRC/../shared/bench" "$SRC/../../shared/bench"; do
  [ -f "$P/policy.xml" ] || [ -f "$P/imagemagick-policy.xml" ] && MAGICK_CONFIGURE_PATH=${MAGICK_CONFIGURE_PATH:-$P}
done
export MAGICK_CONFIGURE_PATH=${MAGICK_CONFIGURE_PATH:-}

cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$WORK"; }
trap cleanup EXIT
mkdir -p "$WORK/src"
if [ ! -f "$WORK/src/p199.jpg" ]; then
  echo "== making 200 pictures of 4000 x 3000 in $WORK/src"
  nice -n 19 /usr/bin/convert -seed 42 \( -size 6000x4000 gradient:'#2b5c8a-#e9c27a' \) \
    \( -size 1500x1000 plasma:fractal -blur 0x1 -resize 6000x4000! \) -compose softlight -composite \
    \( -size 6000x4000 xc:gray50 -attenuate 0.6 +noise Gaussian \) -compose overlay -composite \
    -quality 90 -sampling-factor 2x2 "$WORK/big.jpg"
  i=0
  while [ $i -lt 200 ]; do
    case $((i % 3)) in 0) T="" ;; 1) T="-flip horizontal" ;; 2) T="-flip vertical" ;; esac
    X=$((16 * ((i * 7) % 125)))
    Y=$((16 * ((i * 3) % 62)))
    # shellcheck disable=SC2086
    nice -n 19 jpegtran -copy none $T -crop "4000x3000+$X+$Y" -outfile "$WORK/src/p$i.jpg" "$WORK/big.jpg"
    i=$((i + 1))
  done
  rm -f "$WORK/big.jpg"
fi
# MAKE_ONLY=1: only make the pictures (and keep them) for a later run.
if [ "${MAKE_ONLY:-0}" = 1 ]; then
  trap - EXIT
  exit 0
fi

echo "== building orbisk-cli and thumbnails_timing in $BUILD"
nice -n 10 cmake --build "$BUILD" -j2 --target orbisk-cli thumbnails_timing >/dev/null
CLI="$BUILD/cli/orbisk-cli"
TIMING="$BUILD/thumbnails/thumbnails_timing"

mkdir -p "$WORK/orbisk" "$WORK/gm" "$WORK/vips"
rm -rf "$WORK/xdg-cache"
mkdir -p "$WORK/xdg-cache"
export XDG_CACHE_HOME="$WORK/xdg-cache"
# hyperfine -N runs commands without a shell: the file list is spelled out.
ALL=$(i=0; while [ $i -lt "$COUNT" ]; do printf '%s ' "$WORK/src/p$i.jpg"; i=$((i + 1)); done)
FOLDER="$WORK/src"
if [ "$COUNT" -lt 200 ]; then
  FOLDER="$WORK/first$COUNT"
  rm -rf "$FOLDER"
  mkdir -p "$FOLDER"
  for F in $ALL; do ln -s "$F" "$FOLDER/"; done
fi
echo "== $COUNT thumbnails: orbisk-cli (no cache), gm mogrify, vipsthumbnail"
hyperfine -N --warmup "${WARMUP:-1}" --runs "$RUNS" \
  -n "orbisk-cli thumbnails" "$CLI thumbnails $WORK/orbisk $ALL --no-cache --overwrite" \
  -n "gm mogrify" "gm mogrify -create-directories -output-directory $WORK/gm -size 128x128 -thumbnail 64x64 $ALL" \
  -n "vipsthumbnail" "vipsthumbnail -s 64 -o $WORK/vips/%s.jpg $ALL"

echo "== the explorer's window loader (offscreen): first cell, cells in view, full grid;"
echo "   empty cache, then the cache filled (revisit)"
"$TIMING" "$FOLDER" "$RUNS" 2>/dev/null

echo "== the sheet of $((COUNT / 2)) files with the default options"
LIST=$(i=0; while [ $i -lt $((COUNT / 2)) ]; do printf '%s ' "$WORK/src/p$i.jpg"; i=$((i + 1)); done)
# shellcheck disable=SC2086
hyperfine -N --warmup 0 --runs "$RUNS" -n "orbisk-cli sheet ($((COUNT / 2)) files)" \
  "$CLI sheet $WORK/sheet.png $LIST"
rm -rf "$WORK/xdg-cache"
