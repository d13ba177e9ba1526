#!/usr/bin/env bash
# Pictures of the album window, both tabs of Frame Setup and the six pages of the publishing
# wizard at their default sizes, as build/artifacts/{album,framesetup-*,pubwizard-*}.png (not part
# of the repository), for a person to look at the layout. Needs a built albums_tests.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN="${ORBISK_TEST_BIN:-build/release/tests/albums_tests}"
OUT="$PWD/build/artifacts"
mkdir -p "$OUT"
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" ORBISK_SCREENSHOT_DIR="$OUT" \
  "$BIN" --gtest_also_run_disabled_tests --gtest_filter='*.DISABLED_ScreenshotsWhenAsked'
ls -l "$OUT"/album.png "$OUT"/framesetup-*.png "$OUT"/pubwizard-*.png
