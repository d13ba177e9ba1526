#!/bin/sh
# Batch resize: COUNT photo-like pictures of 3000 x 2000 (JPEGs at quality 90, every fourth a
# PNG) made JPEGs whose longest side is 1024 at quality 85: `orbisk-cli batch --longest 1024`
# (the "Convert and Resize" window's engine) against `gm mogrify -resize "1024x1024>"` on the same
# files in the same run. Both write into folders of their own; the sources are never touched.
# Usage: bench/batch.sh [build dir]   (default build/release; needs hyperfine, ImageMagick's
# convert and gm). The pictures are made under $WORK (default /tmp/orbisk-batch-bench) and
# deleted at the end unless KEEP=1. COUNT (default 200) and SIZE (default 3000x2000) make a quick
# check of the script cheap: COUNT=4 SIZE=300x200 RUNS=1 WARMUP=0 bench/batch.sh
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$SRC/build/release}" && pwd) # absolute: the runs start in the pictures' folder
CLI=$BUILD/cli/orbisk-cli
WORK=${WORK:-/tmp/orbisk-batch-bench}
RUNS=${RUNS:-3}
COUNT=${COUNT:-200}
SIZE=${SIZE:-3000x2000}
for T in hyperfine convert gm; do
  command -v "$T" >/dev/null || { echo "bench/batch.sh needs $T (scripts/setup.sh --bench)" >&2; exit 1; }
done
[ -x "$CLI" ] || { echo "no $CLI: build the target orbisk-cli first" >&2; exit 1; }

cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$WORK"; }
trap cleanup EXIT
mkdir -p "$WORK/src"
echo "== making $COUNT pictures of $SIZE in $WORK/src"
nice -n 19 convert -seed 7 \( -size "$SIZE" gradient:'#2b5c8a-#e9c27a' \) \
  \( -size "$SIZE" plasma:fractal -blur 0x1 \) -compose softlight -composite \
  -quality 90 "$WORK/base.jpg"
i=0
while [ "$i" -lt "$COUNT" ]; do
  case $((i % 4)) in
  0) nice -n 19 convert "$WORK/base.jpg" "$WORK/src/p$i.png" ;;
  1) nice -n 19 convert "$WORK/base.jpg" -flop -quality 90 "$WORK/src/p$i.jpg" ;;
  2) nice -n 19 convert "$WORK/base.jpg" -flip -quality 90 "$WORK/src/p$i.jpg" ;;
  3) cp "$WORK/base.jpg" "$WORK/src/p$i.jpg" ;;
  esac
  i=$((i + 1))
done
# hyperfine -N runs commands without a shell: the file list is spelled out, relative to the
# sources' folder (gm puts the path it was given below its output folder).
mkdir -p "$WORK/orbisk" "$WORK/gm"
cd "$WORK/src"
ALL=$(for F in *; do printf '%s ' "$F"; done)

echo "== $COUNT files, longest side 1024, JPEG quality 85"
hyperfine -N --warmup "${WARMUP:-1}" --runs "$RUNS" \
  -n "orbisk-cli batch" \
  "$CLI batch $ALL --into $WORK/orbisk --to jpg --quality 85 --longest 1024 --turn none --existing overwrite" \
  -n "gm mogrify" \
  "gm mogrify -output-directory $WORK/gm -format jpg -quality 85 -resize 1024x1024> $ALL"

# Both made every file, at the same size.
N_ORBISK=$(find "$WORK/orbisk" -type f | wc -l)
N_GM=$(find "$WORK/gm" -type f | wc -l)
echo "files written: orbisk-cli $N_ORBISK, gm $N_GM (of $COUNT)"
[ "$N_ORBISK" -eq "$COUNT" ] && [ "$N_GM" -eq "$COUNT" ]
echo "sizes: orbisk-cli $(gm identify -format '%wx%h' "$WORK/orbisk/p1.jpg"), gm $(gm identify -format '%wx%h' "$WORK/gm/p1.jpg")"
