#!/usr/bin/env bash
# Builds Orbisk and starts the viewer with the given arguments (one optional picture file).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target orbisk orbisk-cli
exec build/release/app/orbisk "$@"
