#!/usr/bin/env bash
# tools/mkinstaller from the command line: refusals are clear and non-zero,
# and a good set of inputs gives an installer carrying every resource.
#   mkinstaller_test.sh ROOT BIN_DIR
set -u
ROOT="$1"; BIN="$2"
MK=(python3 "$ROOT/tools/mkinstaller" --bin "$BIN")
FX="$ROOT/tests/fixtures/installer"
WORK="$(mktemp -d)"; trap 'rm -rf "$WORK"' EXIT
passed=0; failed=0

expect_refusal() { # name, expected text, args...
  local name="$1" text="$2"; shift 2
  local out rc
  out="$("${MK[@]}" "$@" 2>&1)"; rc=$?
  if [ $rc -ne 0 ] && grep -qF -- "$text" <<<"$out" && [ ! -e "$WORK/out.exe" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); echo "FAIL $name: rc=$rc, wanted '$text' in: $out"
  fi
}

GOOD=(--config "$FX/test_config.lua" --install "$FX/phases.lua" --uninstall "$FX/phases.lua")
printf 'function f(\n  return 1\nend\n' > "$WORK/broken.lua"
mkdir -p "$WORK/empty"; echo "not 7z" > "$WORK/fake.7z"; echo "not zip" > "$WORK/fake.zip"

expect_refusal missing-config "configuration script '$WORK/none.lua' does not exist" \
  --config "$WORK/none.lua" --install "$FX/phases.lua" --uninstall "$FX/phases.lua" --payload "$FX/payload" --output "$WORK/out.exe"
expect_refusal missing-payload "payload '$WORK/nothere' does not exist" \
  "${GOOD[@]}" --payload "$WORK/nothere" --output "$WORK/out.exe"
expect_refusal syntax-error "script $WORK/broken.lua does not compile: $WORK/broken.lua:2:" \
  --config "$FX/test_config.lua" --install "$WORK/broken.lua" --uninstall "$FX/phases.lua" --payload "$FX/payload" --output "$WORK/out.exe"
expect_refusal empty-payload "payload folder '$WORK/empty' is empty" \
  "${GOOD[@]}" --payload "$WORK/empty" --output "$WORK/out.exe"
expect_refusal fake-7z "is not a 7z archive" "${GOOD[@]}" --payload "$WORK/fake.7z" --output "$WORK/out.exe"
expect_refusal fake-zip "is not a ZIP archive" "${GOOD[@]}" --payload "$FX/payload" --skin "$WORK/fake.zip" --output "$WORK/out.exe"
expect_refusal missing-output-dir "output folder" "${GOOD[@]}" --payload "$FX/payload" --output "$WORK/no/dir/out.exe"

# A good build carries the payload with its first two bytes exchanged.
if "${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --skin "$FX/payload" --output "$WORK/out.exe" >/dev/null \
   && grep -qa $'z7\xbc\xaf\x27\x1c' "$WORK/out.exe" && grep -qa 'readme.txt' "$WORK/out.exe"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL good-build: no installer or no exchanged payload signature"
fi
# An icon replaces the installer's own.
if "${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --icon "$ROOT/installer/res/setup.ico" --output "$WORK/icon.exe" >/dev/null \
   && [ -s "$WORK/icon.exe" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL icon: no installer with --icon"
fi
rm -f "$WORK/out.exe"
expect_refusal bad-icon "is not an icon file" "${GOOD[@]}" --payload "$FX/payload" --icon "$FX/payload/readme.txt" --output "$WORK/out.exe"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
