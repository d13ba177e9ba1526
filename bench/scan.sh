#!/usr/bin/env bash
# A scan from SANE's test backend (colour pattern, 200 x 200 mm at 300 dpi, 2362 x 2362 pixels,
# 16.7 MB of samples) through orbisk-cli scan, side by side with scanimage writing the same
# picture. Usage: bench/scan.sh [BUILD_DIR] (default build/release).
set -euo pipefail
BUILD=${1:-build/release}
CLI="$BUILD/cli/orbisk-cli"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
echo test > "$WORK/dll.conf"
cat > "$WORK/test.conf" <<'CONF'
number_of_devices 1
mode Color
depth 8
resolution 300.0
test-picture "Color pattern"
tl_x 0.0
tl_y 0.0
br_x 200.0
br_y 200.0
CONF
export SANE_CONFIG_DIR="$WORK"
for Run in 1 2 3; do
  /usr/bin/time -f "orbisk-cli scan (BMP): %e s wall, %U s user, %S s system, %M KB" \
    "$CLI" scan "$WORK/out.bmp"
  /usr/bin/time -f "scanimage (PNM):      %e s wall, %U s user, %S s system, %M KB" \
    scanimage -d test:0 --format=pnm -o "$WORK/out.pnm"
done
ls -l "$WORK/out.bmp" "$WORK/out.pnm" | awk '{print $5, $9}'
