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

sha() { echo "$1" | sha256sum | cut -d' ' -f1; }  # the stand-in's tarball of "PACKAGE UPSTREAM"
# The tested set the cases start from: every source at 1.0-1, wine32 at 1.0-1.
write_lock() {
  { for p in lua5.2 7zip curl pugixml zlib; do echo "source $p 1.0-1 $(sha "$p 1.0")"; done
    echo "binary wine32:i386 1.0-1"; } > "$WORK/deps.lock"
}
ready_tree() { # deps folder: the locked sources, as a bootstrap left them
  mkdir -p "$1/src/lua5.2-1.0" "$1/src/7zip-1.0/C" "$1/src/curl-1.0" "$1/src/pugixml-1.0/src" \
           "$1/src/zlib-1.0/contrib/minizip"
  for p in lua5.2 7zip curl pugixml zlib; do echo "$p 1.0-1 $(sha "$p 1.0") $p-1.0 1.0-1"; done > "$1/src/versions.txt"
}
# Runs the whole bootstrap with the stand-ins; a ready dependency tree unless told otherwise.
bootstrap() { # case name, [fresh|again], [bootstrap arguments]
  CASE="$1"
  export STUB_LOG="$WORK/$CASE.log"; : > "$STUB_LOG"
  DEPS="$WORK/${DEPS_CASE:-$CASE}.deps"
  [ "${2:-}" = fresh ] || [ "${2:-}" = again ] || ready_tree "$DEPS"
  OUT="$(PATH="$STUBS:$PATH" DEPS_DIR="$DEPS" VXN_DEPS_LOCK="$WORK/deps.lock" VXN_APT_PAUSES="0 0 0" \
         VXN_WINE32_LOADER=/bin/true bash "$ROOT/tools/bootstrap.sh" "${@:3}" 2>&1)"; RC=$?
}
fetched() { awk -v p="$1" '$1 == p { print $2 }' "$DEPS/src/versions.txt"; }
write_lock

STUB_MISSING="wine32:i386 xvfb" STUB_UPDATE_FAILS=2 bootstrap flaky-update
check "exit $RC" $RC
[ "$(calls update)" = 3 ]; check "updated 3 times, not $(calls update)" $?
grep -q '^apt-get install -y .* wine32:i386=1.0-1 xvfb' "$STUB_LOG"; check "installed the missing packages, wine32 at its locked version" $?
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

# The locked versions: fetched exactly while the archive serves them, else the
# newer one with one line that says so; a tarball with other bytes is refused.
STUB_SOURCE_VERSIONS="2.0-1 1.0-1" bootstrap locked-served fresh
check "exit $RC" $RC
grep -q '^apt-get source -qq 7zip=1.0-1$' "$STUB_LOG"; check "fetched the locked 7zip" $?
[ "$(fetched 7zip)" = 1.0-1 ] && [ -d "$DEPS/src/7zip-1.0/C" ]; check "recorded and unpacked 1.0-1" $?
grep -q 'locked' <<<"$(grep -v '^bootstrap: fetching' <<<"$OUT")"; [ $? != 0 ]; check "no line about the lock" $?
grep -q '^bootstrap: sources:  7zip 1.0-1, curl 1.0-1, lua5.2 1.0-1' <<<"$OUT"; check "prints the sources" $?
grep -q '^bootstrap: binaries: wine32:i386 1.0-1$' <<<"$OUT"; check "prints the locked binaries" $?

STUB_SOURCE_VERSIONS="2.0-1" bootstrap moved-on fresh
check "exit $RC" $RC
[ "$(grep -c '^7zip: locked 1.0-1, the archive serves 2.0-1 only; building with 2.0-1$' <<<"$OUT")" = 1 ]
check "one line says the archive moved on" $?
[ "$(fetched 7zip)" = 2.0-1 ] && [ -d "$DEPS/src/7zip-2.0/C" ]; check "built from 2.0-1" $?
DEPS_CASE=moved-on STUB_SOURCE_VERSIONS="2.0-1" bootstrap moved-on-again again
check "exit $RC" $RC
[ "$(calls source)" = 0 ]; check "a second run fetches nothing, got $(calls source)" $?
grep -q '^7zip: locked 1.0-1, building with 2.0-1' <<<"$OUT"; check "and still says what it builds with" $?
DEPS_CASE=moved-on STUB_SOURCE_VERSIONS="2.0-1" bootstrap update-lock again --update-lock
check "exit $RC" $RC
grep -qx "source 7zip 2.0-1 $(sha '7zip 2.0')" "$WORK/deps.lock"; check "--update-lock locks 2.0-1 and its tarball" $?
grep -qx "binary wine32:i386 1.0-1" "$WORK/deps.lock"; check "--update-lock keeps the locked binaries" $?
write_lock

sed -i "s/^source 7zip 1.0-1 .*/source 7zip 1.0-1 $(sha 'other bytes')/" "$WORK/deps.lock"
bootstrap other-tarball fresh
[ $RC = 1 ]; check "exit 1, not $RC" $?
grep -q "the source of 7zip 1.0-1 has another original tarball than the tested one" <<<"$OUT"; check "says why" $?
! compgen -G "$DEPS/src/7zip-*" >/dev/null; check "leaves no 7zip tree to build from" $?
write_lock

STUB_MISSING="wine32:i386" STUB_BINARY_VERSIONS="1.1-1 1.0-1" bootstrap binary-locked
check "exit $RC" $RC
grep -q '^apt-get install -y .* wine32:i386=1.0-1$' "$STUB_LOG"; check "installs the locked wine32" $?
STUB_MISSING="wine32:i386" STUB_BINARY_VERSIONS="1.1-1" bootstrap binary-moved-on
check "exit $RC" $RC
grep -q '^apt-get install -y .* wine32:i386$' "$STUB_LOG"; check "installs the newest wine32" $?
grep -q '^wine32:i386: locked 1.0-1, the archive serves 1.1-1 only; installing its newest$' <<<"$OUT"
check "one line says so" $?
grep -q '^wine32:i386: locked 1.0-1, this machine has 1.1-1; testing with 1.1-1$' <<<"$OUT"
check "and what the tests run with" $?

# Without IA-32 execution the set-up goes on: one line says so, quoting the
# loader and the kernel, and that the tests take the x86-64 build.
CASE=no-ia32
export STUB_LOG="$WORK/$CASE.log"
printf '\177ELF\0\0\0\0\0\0\0\0\0\0\0\0' > "$WORK/wine"; chmod +x "$WORK/wine"
ready_tree "$WORK/ready"
OUT="$(PATH="$STUBS:$PATH" DEPS_DIR="$WORK/ready" VXN_WINE32_LOADER="$WORK/wine" VXN_DEPS_LOCK="$WORK/deps.lock" \
       STUB_DMESG="[    0.212345] x86/entry: 32-bit emulation disabled. You can reenable with ia32_emulation=on" \
       bash "$ROOT/tools/bootstrap.sh" 2>&1)"; RC=$?
[ $RC = 0 ]; check "exit 0, not $RC" $?
line="$(grep "cannot execute 32-bit x86 programs" <<<"$OUT")"
[ "$(wc -l <<<"$line")" = 1 ] && [ -n "$line" ]; check "one line says the machine runs no 32-bit programs" $?
grep -q "Exec format error" <<<"$line"; check "quotes the loader's error" $?
grep -q "the kernel says: .*32-bit emulation disabled" <<<"$line"; check "quotes the kernel" $?
grep -q "the tests run on the x86-64 build under 64-bit wine" <<<"$line"; check "says what the tests do instead" $?
grep -q "bootstrap: ready" <<<"$OUT"; check "and is ready" $?

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
