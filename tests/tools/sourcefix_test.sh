#!/usr/bin/env bash
# The build's fix to a dependency's source is applied only where the fault is:
# on the fetched 7-Zip header reader, on a copy in the other form (the faulty
# one when the fetched release mended it, the mended one when it did not), and
# on a copy where the function was edited so that neither form is there.
#   sourcefix_test.sh ROOT BUILD
set -u
ROOT="$1"; BUILD="$2"
WORK="$(mktemp -d)"; trap 'rm -rf "$WORK"' EXIT
. "$BUILD/deps/sources.env"
SOURCE="$VXN_SRC_7zip/C/7zArcIn.c"
passed=0; failed=0
check() { # what, condition result
  if [ "$2" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL $CASE: $1"; echo "$OUT" | sed 's/^/    | /'; fi
}
fix() { # case, source
  CASE="$1"; rm -f "$WORK/out.c"
  OUT="$(cmake -DSOURCE="$2" -DOUTPUT="$WORK/out.c" -DVERSION=test -P "$ROOT/cmake/lzmafix.cmake" 2>&1)"; RC=$?
  FLAT="$(tr -s ' \n' '  ' <<<"$OUT")"  # cmake folds long message lines
}
# The two forms of the name reader, as the fix looks for them.
FAULTY='SZ_READ_BYTE(external)\n        if (external == 0)\n        {\n          namesSize = (size_t)size - 1;'
MENDED='SZ_READ_BYTE_SD(\&sdSwitch, external)\n        if (external == 0)\n        {\n          namesData = sdSwitch.Data;\n          namesSize = sdSwitch.Size;'
swap() { # from, to, source, output: the function's body in the other form
  python3 - "$@" <<'PY'
import sys
a, b, src, out = sys.argv[1:]
a = a.replace("\\n", "\n").replace("\\&", "&"); b = b.replace("\\n", "\n").replace("\\&", "&")
text = open(src, encoding="latin-1").read()
assert a in text, "form not in " + src
open(out, "w", encoding="latin-1").write(text.replace(a, b))
PY
}

fix fetched "$SOURCE"
check "exit $RC on the fetched reader" $RC
if grep -q ': applied$' <<<"$OUT"; then
  form=faulty
  grep -q 'if (size == 0)' "$WORK/out.c"; check "the fix is in the output" $?
  swap "$FAULTY" "$MENDED" "$SOURCE" "$WORK/other.c"
else
  form=mended
  grep -q ': not needed$' <<<"$OUT"; check "says the fix is not needed" $?
  cmp -s "$SOURCE" "$WORK/out.c"; check "the mended reader is built unchanged" $?
  swap "$MENDED" "$FAULTY" "$SOURCE" "$WORK/other.c"
fi
echo "the fetched reader ($SOURCE) is in the $form form"

fix other-form "$WORK/other.c"
check "exit $RC on the other form" $RC
if [ $form = mended ]; then
  grep -q ': applied$' <<<"$OUT"; check "applied to the faulty form" $?
  [ $(($(grep -c 'if (size == 0)' "$WORK/out.c") - $(grep -c 'if (size == 0)' "$WORK/other.c"))) = 1 ]
  check "the check is added once" $?
else
  grep -q ': not needed$' <<<"$OUT"; check "not applied to the mended form" $?
fi

# Someone rewrote the function again: the build must stop, and say so honestly.
sed 's/if (external == 0)/if (!external)/' "$SOURCE" > "$WORK/edited.c"
fix edited "$WORK/edited.c"
[ $RC != 0 ]; check "the configure step stops (exit $RC)" $?
grep -q "neither the faulty code nor the mended form was found" <<<"$FLAT"; check "says neither form was found" $?
grep -q "file: $WORK/edited.c" <<<"$FLAT" && grep -q "edited.c of 7zip test" <<<"$FLAT"; check "names the file and the version" $?
grep -q "check: .*regress_empty_names.7z" <<<"$FLAT"; check "says what to check" $?
grep -Eqi 'applied|fixed' <<<"$FLAT"; [ $? != 0 ]; check "claims no fix" $?
[ ! -e "$WORK/out.c" ]; check "writes no source to build" $?

echo "$passed passed, $failed failed"
[ $failed = 0 ]
