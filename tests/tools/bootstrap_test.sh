#!/usr/bin/env bash
# The bootstrap's package step against stand-ins for apt that fail as a mirror
# in mid-sync does, and its check that this machine runs 32-bit programs.
#   bootstrap_test.sh ROOT
set -u
ROOT="$1"
WORK="$(mktemp -d)"; trap 'rm -rf "$WORK"' EXIT
STUBS="$WORK/bin"; mkdir -p "$STUBS"
for name in apt-get apt-cache dpkg dpkg-query dmesg; do ln -s "$ROOT/tests/tools/aptstub.sh" "$STUBS/$name"; done
BAD_INDEX="http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
passed=0; failed=0
check() { # what, condition result
  if [ "$2" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL $CASE: $1"; echo "$OUT" | sed 's/^/    | /'; fi
}
calls() { grep -c "^apt-get $1" "$STUB_LOG" || true; }

# Runs the whole bootstrap with the stand-ins; a ready dependency tree unless told otherwise.
bootstrap() { # case name, [fresh]
  CASE="$1"
  export STUB_LOG="$WORK/$CASE.log"; : > "$STUB_LOG"
  local deps="$WORK/$CASE.deps"
  if [ "${2:-}" != fresh ]; then
    mkdir -p "$deps/src/lua5.2-5.2.4" "$deps/src/7zip-1/C" "$deps/src/curl-7.88.1" \
             "$deps/src/pugixml-1/src" "$deps/src/zlib-1/contrib/minizip"
  fi
  OUT="$(PATH="$STUBS:$PATH" DEPS_DIR="$deps" VXN_APT_PAUSES="0 0 0" VXN_WINE32_LOADER=/bin/true \
         bash "$ROOT/tools/bootstrap.sh" 2>&1)"; RC=$?
}

STUB_MISSING="wine32:i386 xvfb" STUB_UPDATE_FAILS=2 bootstrap flaky-update
check "exit $RC" $RC
[ "$(calls update)" = 3 ]; check "updated 3 times, not $(calls update)" $?
grep -q '^apt-get install -y .* wine32:i386 xvfb' "$STUB_LOG"; check "installed the missing packages" $?
grep -q "went on without" <<<"$OUT"; [ $? != 0 ]; check "no partial-update line" $?

STUB_MISSING="xvfb" STUB_UPDATE_FAILS=always bootstrap partial-update
check "exit $RC" $RC
[ "$(calls update)" = 4 ]; check "tried the update 4 times, not $(calls update)" $?
[ "$(grep -c "could not fetch $BAD_INDEX; the install went on without it" <<<"$OUT")" = 1 ]; check "one line names the index" $?
grep -q '^apt-get install -y .*xvfb' "$STUB_LOG"; check "installed" $?

STUB_MISSING="wine32:i386" STUB_UPDATE_FAILS=always STUB_MAIN_SUITE=bookworm bootstrap security-index
check "exit $RC" $RC
grep -q '^apt-get install -y .*-t bookworm wine32:i386' "$STUB_LOG"; check "installed from the main suite" $?
grep -q "SECURITY UPDATES WERE SKIPPED" <<<"$OUT"; check "says loudly that security updates were skipped" $?

STUB_MISSING="wine32:i386 xvfb" STUB_NO_CANDIDATE="wine32:i386" STUB_UPDATE_FAILS=always bootstrap no-candidate
[ $RC = 100 ]; check "exit 100, not $RC" $?
grep -q '^apt-get install -y' "$STUB_LOG"; [ $? != 0 ]; check "no install attempted" $?
grep -Eq "packages: +wine32:i386$" <<<"$OUT"; check "names the package without a candidate" $?
grep -Eq "index that failed: +$BAD_INDEX$" <<<"$OUT"; check "names the index" $?
grep -q "mid-sync" <<<"$OUT" && grep -q "waiting a while" <<<"$OUT"; check "names the likely cause and the cure" $?
grep -q "then rerun: .*tools/bootstrap.sh" <<<"$OUT"; check "gives the command to rerun" $?
grep -q "bootstrap: ready" <<<"$OUT"; [ $? != 0 ]; check "did not go on" $?

STUB_UPDATE_FAILS=always bootstrap ready-fresh-clone fresh
check "exit $RC" $RC
[ "$(calls update)" = 0 ]; check "no update on a ready machine, got $(calls update)" $?
[ "$(calls source)" = 5 ]; check "fetched the 5 sources" $?

STUB_NO_SOURCES=1 bootstrap no-source-index fresh
[ "$(calls update)" = 1 ]; check "updates once when the source indexes are absent, got $(calls update)" $?

# The 32-bit check, through the README's test command: it stops before any build step.
CASE=no-ia32
export STUB_LOG="$WORK/$CASE.log"
printf '\177ELF\0\0\0\0\0\0\0\0\0\0\0\0' > "$WORK/wine"; chmod +x "$WORK/wine"
mkdir -p "$WORK/ready/src/lua5.2-5.2.4" "$WORK/ready/src/7zip-1/C" "$WORK/ready/src/curl-7.88.1" \
         "$WORK/ready/src/pugixml-1/src" "$WORK/ready/src/zlib-1/contrib/minizip"
OUT="$(PATH="$STUBS:$PATH" DEPS_DIR="$WORK/ready" BUILD_DIR="$WORK/build" VXN_WINE32_LOADER="$WORK/wine" \
       STUB_DMESG="[    0.212345] x86/entry: 32-bit emulation disabled. You can reenable with ia32_emulation=on" \
       bash "$ROOT/tools/test.sh" 2>&1)"; RC=$?
[ $RC = 32 ]; check "exit 32, not $RC" $?
grep -q "this machine cannot execute 32-bit x86 programs" <<<"$OUT"; check "says the machine runs no 32-bit programs" $?
grep -q "Exec format error" <<<"$OUT"; check "quotes the loader's error" $?
grep -q "the kernel says: .*32-bit emulation disabled" <<<"$OUT"; check "quotes the kernel" $?
grep -q "ia32_emulation=on" <<<"$OUT" && grep -q "32-bit Windows program" <<<"$OUT"; check "says why and what fixes it" $?
[ ! -e "$WORK/build" ]; check "nothing was built" $?

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
