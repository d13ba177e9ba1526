#!/bin/sh
# Runs a test program (the arguments after the first) in the tests' environment where the caller
# left it unset: ctest gives each test its own, and listing the tests at discovery runs outside
# it. The first argument is the empty SANE configuration folder, so no test reaches the
# machine's scanners.
: "${QT_QPA_PLATFORM:=offscreen}"
: "${SANE_CONFIG_DIR:=$1}"
# Listing the tests needs no leak check (a test run is given the suppressions by ctest).
: "${LSAN_OPTIONS:=detect_leaks=0}"
export QT_QPA_PLATFORM SANE_CONFIG_DIR LSAN_OPTIONS
shift
exec "$@"
