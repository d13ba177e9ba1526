#!/usr/bin/env bash
# Builds Orbisk and starts it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target orbisk-cli
if (($# == 0)); then set -- --help; fi
exec build/release/cli/orbisk-cli "$@"
