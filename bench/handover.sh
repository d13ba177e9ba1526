#!/usr/bin/env bash
# Time a second `orbisk FILE` handing its file to the running program (offscreen, private XDG
# folders). Usage: bench/handover.sh [BUILD_DIR] [RUNS]
set -euo pipefail
BUILD=${1:-build/release}
RUNS=${2:-5}
BIN=$(realpath "$BUILD/app/orbisk")
TMP=$(mktemp -d)
mkdir -p "$TMP"/{home,cfg,data,rt} && chmod 700 "$TMP/rt"
export HOME=$TMP/home XDG_CONFIG_HOME=$TMP/cfg XDG_DATA_HOME=$TMP/data XDG_RUNTIME_DIR=$TMP/rt
export QT_QPA_PLATFORM=offscreen
"$BIN" 2>/dev/null &
FIRST=$!
trap 'kill $FIRST; rm -rf "$TMP"' EXIT
for _ in $(seq 100); do [ -S "$TMP/rt/orbisk/orbisk.socket" ] && break; sleep 0.1; done
for i in $(seq "$RUNS"); do
  /usr/bin/time -f "%e s" "$BIN" "$TMP/picture$i.png"
done
