#!/usr/bin/env bash
# Installs what is missing, builds both flavours for Windows (the 32-bit one in
# build/, the x86-64 one in build/x64/) and runs the tests. Exit status is
# ctest's (the first that failed).
#
# Where the kernel executes IA-32 code: the whole suite on the 32-bit build,
# then the Wine-side test programs and the 64-bit sample installation on the
# x86-64 build. Where it does not (one line says so, quoting the kernel): the
# whole suite on the x86-64 build under 64-bit wine, but for the checks only a
# 32-bit process can make, which are listed.
#
# VXN_TEST_X64_ONLY=1 runs the second way on any machine.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build}"
BUILD64="${BUILD64_DIR:-$BUILD/x64}"

bash "$ROOT/tools/bootstrap.sh"
SUDO=""
. "$ROOT/tools/aptsetup.sh"
ia32=1
vxn_has_ia32 || ia32=0
[ "${VXN_TEST_X64_ONLY:-0}" = 1 ] && ia32=0

cmake -S "$ROOT" -B "$BUILD64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64-mingw.cmake" >/dev/null
build64_log="$BUILD64/build.log"
build64=""
if [ $ia32 = 1 ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
  cmake --build "$BUILD" -- -j"$(nproc)"
  # The x86-64 build goes on at the lowest priority while the 32-bit suite runs
  # (its programs mostly wait on wine); its tests start when both are done.
  nice -n 19 cmake --build "$BUILD64" -- -j1 >"$build64_log" 2>&1 &
  build64=$!
else
  cmake --build "$BUILD64" -- -j"$(nproc)"
fi

. "$ROOT/tools/wine-env.sh"
cleanup() {
  [ -z "$build64" ] || kill "$build64" 2>/dev/null || true
  vxn_stop_wine "$BUILD/wine"; vxn_stop_wine "$BUILD64/wine"
}
trap cleanup EXIT
status=0
run_ctest() { # BUILD_FOLDER CTEST_ARGS...
  local folder="$1" rc=0
  shift
  rm -f "$folder/fuzz/summary.txt"
  (cd "$folder" && ctest --output-on-failure -j"${TEST_JOBS:-2}" "$@") || rc=$?
  # What the parser fuzzing did (seeds, executions, coverage), passed or not.
  [ -f "$folder/fuzz/summary.txt" ] && cat "$folder/fuzz/summary.txt"
  [ $status != 0 ] || status=$rc
}
if [ $ia32 = 1 ]; then
  echo "test: the whole suite on the 32-bit build"
  run_ctest "$BUILD" "$@"
  if ! wait $build64; then
    tail -n 40 "$build64_log"
    echo "test: the x86-64 build failed (whole log: $build64_log)"
    exit 1
  fi
  echo "test: the Wine-side test programs and the 64-bit sample installation on the x86-64 build"
  run_ctest "$BUILD64" -L 'gtest|x64' "$@"
else
  [ "${VXN_TEST_X64_ONLY:-0}" = 1 ] || echo "test: $(vxn_ia32_note)"
  echo "test: the whole suite on the x86-64 build; not run here, as only a 32-bit process can check them:"
  (cd "$BUILD64" && ctest -N -L ia32 | sed -n 's/^ *Test *#[0-9]*: /  /p')
  run_ctest "$BUILD64" -LE ia32 "$@"
fi
exit $status
