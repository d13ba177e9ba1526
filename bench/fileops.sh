#!/usr/bin/env bash
# Moving and copying N files of SIZE (default 1,000 files of 3 MB) with the program's file
# operations (bench/fileops_tool.cpp, TransferFiles as the file manager runs it: copies written
# to temporary files in groups of up to 64 files or 256 MB, checked, synced once per group, then
# renamed without replacing) against mv, cp and cp followed by one sync, within one file system
# and across to /dev/shm.
#
#   nice -n 10 bench/fileops.sh [build-dir]      (N=1000 SIZE_MB=3 RUNS=3 by default)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
N=${N:-1000}
SIZE_MB=${SIZE_MB:-3}
RUNS=${RUNS:-3}
TOOL=$BUILD/bench/fileops_tool
[ -x "$TOOL" ] || cmake --build "$BUILD" -j2 --target fileops_tool
WORK=$(mktemp -d "${TMPDIR:-/tmp}/orbisk-fileops-bench.XXXXXX")
SHM=$(mktemp -d /dev/shm/orbisk-fileops-bench.XXXXXX)
trap 'rm -rf "$WORK" "$SHM"' EXIT

mkdir -p "$WORK/src"
head -c $((SIZE_MB * 1024 * 1024)) /dev/urandom > "$WORK/seed"
for i in $(seq 1 "$N"); do cp "$WORK/seed" "$WORK/src/f$i.jpg"; done
sync

seconds() { # command...: wall seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@"
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc
}

fresh() { rm -rf "$1"; mkdir -p "$1"; }

report() { # label, times...
  local label=$1; shift
  printf '%-40s %s\n' "$label" "$(printf '%s\n' "$@" | sort -n | head -1)"
}

for target in "$WORK/dst" "$SHM/dst"; do
  where=$([ "${target#/dev/shm}" != "$target" ] && echo "to /dev/shm" || echo "same fs")
  for tool in cp cp+sync orbisk; do
    times=()
    for _ in $(seq 1 "$RUNS"); do
      fresh "$target"
      sync
      if [ $tool = cp ]; then
        times+=("$(seconds cp "$WORK"/src/* "$target/")")
      elif [ $tool = cp+sync ]; then
        # The same durability as the program's copies: the data on disk before the run ends.
        times+=("$(seconds sh -c 'cp "$@" "$0/" && sync -f "$0"' "$target" "$WORK"/src/*)")
      else
        times+=("$(seconds "$TOOL" copy "$WORK/src" "$target")")
      fi
      cmp -s "$WORK/seed" "$target/f$N.jpg"
    done
    report "copy $N x ${SIZE_MB} MB $where, $tool (best s)" "${times[@]}"
  done
  for tool in mv orbisk; do
    times=()
    for _ in $(seq 1 "$RUNS"); do
      fresh "$target"
      fresh "$WORK/mv"
      cp -l "$WORK"/src/* "$WORK/mv/" 2>/dev/null || cp "$WORK"/src/* "$WORK/mv/"
      sync
      if [ $tool = mv ]; then
        times+=("$(seconds mv "$WORK"/mv/* "$target/")")
      else
        times+=("$(seconds "$TOOL" move "$WORK/mv" "$target")")
      fi
      cmp -s "$WORK/seed" "$target/f$N.jpg"
      [ -z "$(ls -A "$WORK/mv")" ]
    done
    report "move $N x ${SIZE_MB} MB $where, $tool (best s)" "${times[@]}"
  done
  rm -rf "$target"
done
