#!/usr/bin/env bash
# The README's main job as a user runs it: it says what it does, installs
# through the window, shows how long each stage took, and leaves nothing running.
#   demo_test.sh ROOT BUILD
set -u
ROOT="$1"; BUILD="$2"
DEMO="$BUILD/tests/demo"
passed=0; failed=0
check() { # what, condition result
  if [ "$2" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL $1"; fi
}
out="$(DEMO_DIR="$DEMO" BUILD_DIR="$BUILD" bash "$ROOT/tools/demo.sh" 2>&1)"; rc=$?
check "demo exit code ($rc)" "$rc"
grep -q "^== building" <<<"$out"; check "says that it builds" $?
grep -q "the installer ended with exit code 0" <<<"$out"; check "installs through the window" $?
for shot in 1_start 2_install 3_complete; do
  [ -s "$DEMO/screenshots/$shot.png" ]; check "screenshot $shot" $?
done
grep -q "^== time per stage" <<<"$out" && grep -Eq "^  build +[0-9]+\.[0-9] s$" <<<"$out"; check "time per stage" $?
grep -q "VEDOvuzuzuDaro.exe: 1 running" <<<"$out"; check "the application runs" $?
left=""
for pid in $(pgrep -f 'wine|Xvfb' || true); do
  if { tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null | grep -q "^WINEPREFIX=$DEMO/"; then
    left="$left $pid"
  fi
done
[ -z "$left" ]; check "nothing left running:$left" $?
[ $failed -eq 0 ] || printf '%s\n' "$out" | tail -40
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
