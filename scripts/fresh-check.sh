#!/usr/bin/env bash
# The fresh-machine check: builds a throw-away minimal Debian 12 root with debootstrap, puts the
# committed tree (HEAD) into it and runs the README's test command there (scripts/test.sh), as a
# new machine would. Reports the first failure and how long each step took.
#
# Usage (as root; slow, so not part of .ci/run):
#   nice -n 19 scripts/fresh-check.sh [--keep] [--ccache DIR]
#   --keep         leave the root in place afterwards (its folder is printed)
#   --ccache DIR   compile through ccache with the cache folder DIR bound into the root (only a
#                  speed-up: a hit is the object the same compiler makes from the same input)
# ORBISK_FRESH_DIR chooses the folder the root is made in (default: a new one under /var/tmp).
set -euo pipefail

REPO="$(cd "$(dirname "$0")/.." && pwd)"
KEEP=0
CCACHE=""
while (($#)); do
  case "$1" in
  --keep) KEEP=1 ;;
  --ccache)
    CCACHE="$(cd "${2:?--ccache needs a folder}" && pwd)"
    shift
    ;;
  *)
    echo "fresh-check: unknown argument $1" >&2
    exit 2
    ;;
  esac
  shift
done
if [[ $(id -u) -ne 0 ]]; then
  echo "fresh-check: needs root (debootstrap, chroot, mounts)" >&2
  exit 2
fi

WORK="${ORBISK_FRESH_DIR:-$(mktemp -d /var/tmp/orbisk-fresh.XXXXXX)}"
ROOT="$WORK/root"
LOG="$WORK/fresh-check.log"
mkdir -p "$ROOT"
: >"$LOG"
START=$(date +%s)
STEP_START=$START

say() { echo "fresh-check: $*" | tee -a "$LOG"; }
elapsed() { local S=$(($(date +%s) - $1)); printf '%dm%02ds' $((S / 60)) $((S % 60)); }

cleanup() {
  for M in "$ROOT/var/cache/orbisk-ccache" "$ROOT/dev" "$ROOT/proc" "$ROOT/sys"; do
    if mountpoint -q "$M" 2>/dev/null; then umount -R "$M" 2>/dev/null || umount -lR "$M" || true; fi
  done
  if ((KEEP == 0)); then
    rm -rf --one-file-system "$ROOT"
  else
    echo "fresh-check: root kept in $ROOT"
  fi
}
trap cleanup EXIT

# The first failure in the log of a step, for the report.
first_failure() {
  local F="$1"
  local Line
  Line=$(grep -m1 -E '^FAILED: |^E: |CMake Error|cannot find -l' "$F" || true)
  if [[ -n "$Line" ]]; then
    echo "$Line"
    grep -m3 -E 'error:|cannot find|undefined reference|E: |CMake Error' "$F" | head -3 || true
    return
  fi
  Line=$(grep -m1 -A1 'The following tests FAILED' "$F" | tail -1 || true)
  if [[ -n "$Line" ]]; then
    echo "first failing test:$Line"
    grep -m5 -E '^\[  FAILED  \]|Failure$|error: ' "$F" | head -5 || true
    return
  fi
  tail -5 "$F"
}

# Runs one step, its output into its own log; on failure reports and stops.
step() {
  local Name="$1"
  shift
  local StepLog="$WORK/$Name.log"
  STEP_START=$(date +%s)
  say "$Name ..."
  if "$@" >"$StepLog" 2>&1; then
    say "$Name done in $(elapsed "$STEP_START")"
  else
    local Rc=$?
    say "$Name FAILED (status $Rc) after $(elapsed "$STEP_START"); total $(elapsed "$START")"
    say "first failure:"
    first_failure "$StepLog" | sed 's/^/  /' | tee -a "$LOG"
    say "whole log: $StepLog"
    exit 1
  fi
}

ROOT_ENV=(HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
  DEBIAN_FRONTEND=noninteractive)
in_root() { chroot "$ROOT" /usr/bin/env -i "${ROOT_ENV[@]}" "$@"; }

if ! command -v debootstrap >/dev/null; then
  step install-debootstrap apt-get install -y -qq --no-install-recommends debootstrap
fi

# Packages come from the same Debian registry that apt-get uses here.
MIRROR=$(grep -h -m1 -E '^URIs: .*/debian/?$' /etc/apt/sources.list.d/*.sources 2>/dev/null |
  awk '{print $2}' || true)
if [[ -z "$MIRROR" ]]; then
  MIRROR=$(grep -h -m1 -E '^deb .*debian/? bookworm' /etc/apt/sources.list 2>/dev/null |
    awk '{print $2}' || true)
fi
MIRROR="${MIRROR:-http://deb.debian.org/debian}"

step debootstrap debootstrap --variant=minbase bookworm "$ROOT" "$MIRROR"

# The same package sources as this machine (release, updates, security).
if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
  rm -f "$ROOT/etc/apt/sources.list"
  cp /etc/apt/sources.list.d/*.sources "$ROOT/etc/apt/sources.list.d/"
fi
cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$ROOT/proc"
mount --rbind /dev "$ROOT/dev"
mount --make-rslave "$ROOT/dev"

step base-packages in_root sh -c \
  'apt-get update -qq && apt-get install -y -qq git ca-certificates sudo'

if [[ -n "$CCACHE" ]]; then
  step ccache in_root apt-get install -y -qq --no-install-recommends ccache
  mkdir -p "$ROOT/var/cache/orbisk-ccache"
  mount --bind "$CCACHE" "$ROOT/var/cache/orbisk-ccache"
  ROOT_ENV+=(CCACHE_DIR=/var/cache/orbisk-ccache CCACHE_BASEDIR="$(dirname "$REPO")"
    CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache)
  say "compiling through ccache ($CCACHE)"
fi

# The packages first, as scripts/test.sh installs them (through the same setup.sh, which the
# test step runs again and then finds nothing missing): the slow downloads are their own step.
git -C "$REPO" show HEAD:scripts/setup.sh >"$ROOT/tmp/orbisk-setup.sh"
step packages in_root bash /tmp/orbisk-setup.sh

# The committed tree, as a clone would have it, in the folder it has here (so that a compiler
# cache, whose entries depend on the build folder, can serve it).
TREE="$REPO"
mkdir -p "$ROOT$TREE"
git -C "$REPO" archive --format=tar HEAD | tar -x -C "$ROOT$TREE"
say "tree: $(git -C "$REPO" rev-parse --short HEAD) ($(git -C "$REPO" log -1 --format=%s HEAD))"

# The README's test command.
step test in_root sh -c "cd '$TREE' && scripts/test.sh"

say "PASSED: the README's test command succeeded in a fresh Debian 12 root; total $(elapsed "$START")"
