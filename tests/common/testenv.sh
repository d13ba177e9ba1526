#!/bin/sh
# Runs a test program in the tests' environment: testenv.sh [NAME=VALUE...] [--] PROGRAM ARGS...
# Each NAME=VALUE is exported where the caller left NAME unset (ctest gives a test its leak
# check options; listing the tests at discovery runs outside ctest's test environment). A first
# argument without "=" is the SANE configuration folder (SANE_CONFIG_DIR), so no test reaches
# the machine's scanners.
case "${1:-}" in
*=* | --) ;;
*)
  : "${SANE_CONFIG_DIR:=$1}"
  export SANE_CONFIG_DIR
  shift
  ;;
esac
while [ $# -gt 0 ]; do
  case "$1" in
  --)
    shift
    break
    ;;
  *=*)
    Name=${1%%=*}
    eval "[ -n \"\${$Name+set}\" ]" || export "$1"
    shift
    ;;
  *) break ;;
  esac
done
: "${QT_QPA_PLATFORM:=offscreen}"
# Listing the tests needs no leak check (a test run is given the suppressions by ctest).
: "${LSAN_OPTIONS:=detect_leaks=0}"
export QT_QPA_PLATFORM LSAN_OPTIONS
exec "$@"
