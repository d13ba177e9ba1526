#!/usr/bin/env bash
# File search: "*.jpg" over 200,000 files in 20,000 folders, the search (search_tool: worker
# thread, batches, sorted list) against `find -iname '*.jpg'` on the same tree, warm cache.
#
#   bench/search.sh BUILD-DIR      (a build configured with -DORBISK_BENCH=ON)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:?build folder with -DORBISK_BENCH=ON}
RUNS=${RUNS:-5}
TOOL=$BUILD/bench/search_tool
[ -x "$TOOL" ] || nice -n 10 cmake --build "$BUILD" -j2 --target search_tool
WORK=$(mktemp -d /tmp/orbisk-search-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# 200 x 100 folders, ten files in each: four of them match "*.jpg" (two in upper case).
python3 - "$WORK/tree" <<'PY'
import os, sys
root = sys.argv[1]
names = ["a.jpg", "b.JPG", "c.png", "d.gif", "e.jpeg", "f.txt", "g.jpg", "h.Jpg", "i.bmp", "j.tif"]
for i in range(200):
    for j in range(100):
        d = os.path.join(root, "f%03d" % i, "g%03d" % j)
        os.makedirs(d)
        for n in names:
            open(os.path.join(d, n), "w").close()
PY

ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

nice -n 10 find "$WORK/tree" -iname '*.jpg' >/dev/null # warm the cache
nice -n 10 "$TOOL" '*.jpg' "$WORK/tree" >/dev/null

for _ in $(seq 1 "$RUNS"); do
  S=$(ms); nice -n 10 find "$WORK/tree" -iname '*.jpg' >/dev/null; E=$(ms); echo $((E - S))
done | median > "$WORK/find"
for _ in $(seq 1 "$RUNS"); do
  S=$(ms); nice -n 10 "$TOOL" '*.jpg' "$WORK/tree" > "$WORK/last"; E=$(ms); echo $((E - S))
done | median > "$WORK/ours"

echo "find -iname '*.jpg': $(cat "$WORK/find") ms (median of $RUNS, whole process)"
echo "search_tool '*.jpg': $(cat "$WORK/ours") ms (median of $RUNS, whole process);" \
  "files folders in-process-ms: $(cat "$WORK/last")"
echo "find lists $(find "$WORK/tree" -iname '*.jpg' | wc -l) files"
