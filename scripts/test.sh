#!/usr/bin/env bash
# Builds Orbisk and runs the whole test suite; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET="${ORBISK_PRESET:-release}"
scripts/setup.sh
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" -j "$(nproc)"
# Twice as many tests as processors: the window tests spend much of their time waiting.
ctest --preset "$PRESET" -j "$(( $(nproc) * 2 ))"
