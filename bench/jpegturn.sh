#!/bin/sh
# Times the lossless JPEG turn (orbisk-cli jpegturn, TurboJPEG's transform on the DCT
# coefficients) against turning the decoded pixels and encoding them again (orbisk-cli convert
# --rotate 90) and against libjpeg-turbo's own jpegtran, on a 12-megapixel JPEG, whole process,
# with hyperfine. Also shows the cost of turning a picture upright for display: convert with and
# without --auto-orient of a file tagged orientation 6.
#
# usage: bench/jpegturn.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR  a Release build (orbisk-cli in BUILD_DIR/cli)
#   WORK_DIR   where the pictures go (default /tmp/orbisk-jpegturn-bench)
set -eu
BUILD=${1:?usage: jpegturn.sh BUILD_DIR [WORK_DIR]}
WORK=${2:-/tmp/orbisk-jpegturn-bench}
RUNS=${RUNS:-5}
BUILD=$(cd "$BUILD" && pwd)
CLI=$BUILD/cli/orbisk-cli
mkdir -p "$WORK"
cd "$WORK"

if [ ! -f big.jpg ]; then
  # 4000 x 3000 photo-like noise and gradients, 4:2:0 at quality 90.
  python3 - <<'PY'
import random
random.seed(42)
W, H = 4000, 3000
with open("big.ppm", "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (W, H))
    for y in range(H):
        n = bytes(random.getrandbits(5) for _ in range(64))
        row = bytearray()
        for x in range(W):
            k = n[x & 63]
            row += bytes(((x * 255 // W + k) & 255, (y * 255 // H + k) & 255, ((x + y) // 28 + k) & 255))
        f.write(row)
PY
  "$CLI" convert big.ppm big.jpg --quality 90
  # The same file tagged orientation 6 (EXIF APP1 right after the start marker).
  python3 - <<'PY'
import struct
b = b"MM" + struct.pack(">HIH", 42, 8, 1) + struct.pack(">HHIHH", 0x0112, 3, 1, 6, 0) + b"\0\0\0\0"
app1 = b"\xff\xe1" + struct.pack(">H", len(b) + 8) + b"Exif\0\0" + b
d = open("big.jpg", "rb").read()
open("tagged.jpg", "wb").write(d[:2] + app1 + d[2:])
PY
fi

hyperfine -N --warmup 1 --runs "$RUNS" \
  "$CLI jpegturn big.jpg o-lossless.jpg 90" \
  "jpegtran -rotate 90 -trim -copy all -outfile o-jpegtran.jpg big.jpg" \
  "$CLI convert big.jpg o-encoded.jpg --rotate 90 --quality 90"
hyperfine -N --warmup 1 --runs "$RUNS" \
  "$CLI convert tagged.jpg o-stored.bmp" \
  "$CLI convert tagged.jpg o-upright.bmp --auto-orient"
