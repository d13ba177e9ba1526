#!/usr/bin/env bash
# Builds Orbisk and runs the whole test suite; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET="${ORBISK_PRESET:-release}"
scripts/setup.sh
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" -j "$(nproc)"
ctest --preset "$PRESET" -j "$(nproc)"
