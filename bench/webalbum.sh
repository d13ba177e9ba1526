#!/bin/bash
# Publishing a web album of N photo-like JPEGs of 12 MP (default 100, 4000 x 3000, quality 90):
# orbisk-cli web-album (thumbnails 96, largest side 1600, sharpened, progressive, quality 80)
# against the same resize work done by vipsthumbnail twice per picture (-s 96 and -s 1600,
# quality 80, progressive), on the same files in the same run.
# Usage: bench/webalbum.sh [build dir] (default build/release; needs hyperfine, ImageMagick's
# convert, jpegtran and vipsthumbnail). Pictures are made under $WORK (default
# /tmp/orbisk-webalbum-bench) and deleted at the end unless KEEP=1. RUNS (default 2) runs each.
set -euo pipefail
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$SRC/build/release}
WORK=${WORK:-/tmp/orbisk-webalbum-bench}
N=${N:-100}
RUNS=${RUNS:-2}
CLI=$BUILD/cli/orbisk-cli

cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$WORK"; }
trap cleanup EXIT
mkdir -p "$WORK/src" "$WORK/orbisk" "$WORK/vips"
if [ ! -f "$WORK/src/p$((N - 1)).jpg" ]; then
  echo "== making $N pictures of 4000 x 3000 in $WORK/src"
  nice -n 19 convert -seed 7 \( -size 4400x3300 gradient:'#2b5c8a-#e9c27a' \) \
    \( -size 1100x825 plasma:fractal -blur 0x1 -resize 4400x3300! \) -compose softlight -composite \
    \( -size 4400x3300 xc:gray50 -attenuate 0.6 +noise Gaussian \) -compose overlay -composite \
    -quality 90 -sampling-factor 2x2 "$WORK/big.jpg"
  for ((i = 0; i < N; i++)); do
    X=$((16 * ((i * 7) % 25)))
    Y=$((16 * ((i * 3) % 18)))
    nice -n 19 jpegtran -copy none -crop "4000x3000+$X+$Y" -outfile "$WORK/src/p$i.jpg" "$WORK/big.jpg"
  done
  rm -f "$WORK/big.jpg"
fi

# The album file: 3 rows, 4 columns, no frames, captions "Filename", then one record per picture.
python3 - "$WORK" "$N" <<'PY'
import sys
work, n = sys.argv[1], int(sys.argv[2])
hdr = b"  3  4100" + b"0" + b"1" + b"Arial".rjust(40) + b" 8" + b"0".rjust(12) + b"00"
recs = b"".join(bytes([0]) + f"{work}/src/p{i}.jpg".encode() + b"\t\r\n" for i in range(n))
open(f"{work}/bench.alb", "wb").write(hdr + b"7.80" + b" " * 996 + recs)
PY

ALL=$(for ((i = 0; i < N; i++)); do printf '%s ' "$WORK/src/p$i.jpg"; done)
cat > "$WORK/vips.sh" <<EOF
#!/bin/sh
set -e
vipsthumbnail -s 96 -o "$WORK/vips/tm_%s.jpg[Q=80,interlace]" $ALL
vipsthumbnail -s 1600 -o "$WORK/vips/%s.jpg[Q=80,interlace]" $ALL
EOF
chmod +x "$WORK/vips.sh"

echo "== $N pictures: orbisk-cli web-album and vipsthumbnail twice"
nice -n 10 hyperfine -N --warmup 0 --runs "$RUNS" --export-markdown "$WORK/result.md" \
  -n "orbisk-cli web-album" "$CLI web-album $WORK/bench.alb $WORK/orbisk --thumb 96 --max 1600 --overwrite" \
  -n "vipsthumbnail -s 96 and -s 1600" "$WORK/vips.sh"
cat "$WORK/result.md"
# CPU seconds of one more run of each, beside the wall times: the machine may be shared.
for C in "$CLI web-album $WORK/bench.alb $WORK/orbisk --thumb 96 --max 1600 --overwrite" "$WORK/vips.sh"; do
  /usr/bin/time -f "%U user + %S sys s, %M KB peak: ${C%% *}" nice -n 10 $C > /dev/null
done
echo "files: $(ls "$WORK/orbisk" | wc -l) by orbisk-cli ($(du -sh "$WORK/orbisk" | cut -f1))," \
  "$(ls "$WORK/vips" | wc -l) by vipsthumbnail ($(du -sh "$WORK/vips" | cut -f1))"
