#!/usr/bin/env bash
# Screenshots of the image editor under a virtual X server: the editor after a rotation and the
# colour resolution window, as build/artifacts/editor-*.png (not part of the repository).
# Needs xvfb (`apt-get install xvfb xauth`) and a built editor_tests.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN="${ORBISK_TEST_BIN:-build/release/tests/editor_tests}"
OUT="$PWD/build/artifacts"
mkdir -p "$OUT"
xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb ORBISK_EDITOR_SHOTS="$OUT" \
  "$BIN" --gtest_also_run_disabled_tests --gtest_filter='EditorShots.*'
ls -l "$OUT"/editor-*.png
