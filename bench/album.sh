#!/bin/bash
# Times orbisk-cli album-pdf on an album of N JPEG photos (default 36, 3000 x 2000) laid out
# 2 x 3, once per resizing quality and once with a border effect.
# Usage: bench/album.sh [N]   (after building orbisk-cli in build/release)
set -euo pipefail
N=${1:-36}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CLI=$ROOT/build/release/cli/orbisk-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config
mkdir -p "$XDG_CONFIG_HOME/Brenmoor"
convert -size 3000x2000 plasma:fractal -quality 90 "$WORK/photo.jpg"
python3 - "$WORK" "$N" <<'PY'
import sys
work, n = sys.argv[1], int(sys.argv[2])
hdr = b"  3  2100" + b"0" + b"1" + b"Arial".rjust(40) + b" 8" + b"0".rjust(12) + b"00"
recs = b"".join(bytes([i % 4]) + f"{work}/photo.jpg".encode() + b"\t\r\n" for i in range(n))
open(f"{work}/bench.alb", "wb").write(hdr + b"7.80" + b" " * 996 + recs)
PY
run() {
  local label=$1
  shift
  printf '%s\n' "$@" > "$XDG_CONFIG_HOME/Brenmoor/Orbiskel.conf"
  local start end cpu
  start=$(date +%s.%N)
  # CPU seconds (user + system) of the command, beside the wall time: shared machines are noisy.
  cpu=$( { TIMEFORMAT='%U %S'; time "$CLI" album-pdf "$WORK/bench.alb" "$WORK/out.pdf" > /dev/null 2>&1; } 2>&1 | awk '{print $1 + $2}')
  end=$(date +%s.%N)
  printf '%-32s wall %6.2f s  cpu %6.2f s  pdf %s\n' "$label" "$(echo "$end - $start" | bc)" "$cpu" "$(du -h "$WORK/out.pdf" | cut -f1)"
}
run "Good (160 dpi, fast stretch)" "[General]" "PAQuality=0"
run "Better (200 dpi)" "[General]" "PAQuality=1"
run "Best (240 dpi)" "[General]" "PAQuality=2"
run "Better + Soft Ellipse" "[General]" "PAQuality=1" "BorderEffect=3"
run "Better + Drop Shadow" "[General]" "PAQuality=1" "BorderEffect=1"
