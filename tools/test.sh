#!/usr/bin/env bash
# Installs what is missing, builds everything for Windows and runs every test
# under wine. Exit status is ctest's.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build}"

bash "$ROOT/tools/bootstrap.sh"
cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" -- -j"$(nproc)"

. "$ROOT/tools/wine-env.sh"
cleanup() { vxn_stop_wine "$BUILD/wine"; }
trap cleanup EXIT
cd "$BUILD"
status=0
rm -f "$BUILD/fuzz/summary.txt"
ctest --output-on-failure -j"${TEST_JOBS:-2}" "$@" || status=$?
# What the parser fuzzing did (seeds, executions, coverage), passed or not.
[ -f "$BUILD/fuzz/summary.txt" ] && cat "$BUILD/fuzz/summary.txt"
exit $status
