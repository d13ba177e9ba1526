#!/usr/bin/env bash
# Starts the viewer on a picture under a virtual X server and keeps a screenshot of the screen
# as build/artifacts/orbisk.png (not part of the repository). Needs xvfb and ImageMagick
# (`apt-get install xvfb xauth imagemagick`).
#   scripts/screenshot.sh [PICTURE]   (default: a picture made for the purpose)
set -euo pipefail
cd "$(dirname "$0")/.."
BIN="${ORBISK_BIN:-build/release/app/orbisk}"
OUT=build/artifacts
mkdir -p "$OUT"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
PICTURE="${1:-}"
if [[ -z "$PICTURE" ]]; then
  mkdir -p "$WORK/pictures"
  convert -size 640x400 gradient:'#2b5c8a-#e9c27a' "$WORK/pictures/gradient.jpg"
  convert -size 320x200 plasma:fractal "$WORK/pictures/plasma.png"
  PICTURE="$WORK/pictures/gradient.jpg"
fi
# A fresh user: the first-run layout, nothing from the real settings.
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
  '$BIN' '$PICTURE' & PID=\$!
  sleep ${ORBISK_SHOT_DELAY:-5}
  import -window root '$OUT/orbisk.png'
  kill \$PID"
echo "screenshot: $OUT/orbisk.png"
