#!/usr/bin/env bash
# Main window: start-up to the shown window, and listing plus sorting a folder of 10,000 picture
# files (empty files of picture names), measured inside the program (ORBISK_TIMING) under Xvfb.
#
#   bench/browser.sh [release-build-dir]
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/../build-mainwindow-rel}
RUNS=${RUNS:-5}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

if [ ! -x "$BUILD/app/orbisk" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBISK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target orbisk
fi

export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$HOME" "$WORK/big" "$WORK/small"
exts=(jpg gif bmp png tif pcx tga ico wmf avi)
for i in $(seq 1 10000); do : > "$WORK/big/picture$i.${exts[$((i % 10))]}"; done
cp "$ROOT/tests/data/ico/empty-image.ico" "$WORK/small/one.ico" 2>/dev/null || : > "$WORK/small/one.ico"

run() { # folder-argument
  for _ in $(seq 1 "$RUNS"); do
    ORBISK_TIMING=quit xvfb-run -a -s "-screen 0 1280x800x24" "$BUILD/app/orbisk" "$1" 2>&1 |
      grep 'main window shown'
  done
}
echo "== start-up, folder of 1 file"
run "$WORK/small/one.ico"
echo "== start-up, folder of 10,000 files (listing and sorting included)"
run "$WORK/big/picture1.gif"
