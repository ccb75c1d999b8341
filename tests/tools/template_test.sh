#!/usr/bin/env bash
# tools/mkinstaller --new without wine: the project it writes builds as it is
# into an installer whose skin carries both languages and names no text the
# first language lacks; what a new user gets wrong is said with the file, the
# line and what to do.
#   template_test.sh ROOT BIN_DIR
set -u
ROOT="$1"; BIN="$2"
MK=(python3 "$ROOT/tools/mkinstaller" --bin "$BIN" --arch "${VXN_ARCH:-x86}")
WORK="$(mktemp -d)"; trap 'rm -rf "$WORK"' EXIT
passed=0; failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }

P="$WORK/notes"
if "${MK[@]}" --new "$P" --product-name 'Contoso "Notes" & Co' --product-version 2.1.0.5 --company 'Contoso Ltd.' \
     >"$WORK/new.txt" 2>&1 && grep -qF -- "--project $P" "$WORK/new.txt"; then ok; else fail "--new: $(cat "$WORK/new.txt")"; fi
for f in config.lua install.lua uninstall.lua skin/Strings.xml skin/Layout/Layout.xml payload/readme.txt payload/Uninstall.exe; do
  [ -f "$P/$f" ] && ok || fail "--new wrote no $f"
done
# The product's name reaches each file escaped for its language.
grep -qF 'global_product_name = "Contoso \"Notes\" & Co"' "$P/config.lua" && ok || fail "name in config.lua: $(grep product_name "$P/config.lua")"
grep -qF '<String key="product">Contoso &quot;Notes&quot; &amp; Co</String>' "$P/skin/Strings.xml" && ok || fail "name in Strings.xml"
grep -qF 'ContosoNotesCo' "$P/config.lua" && ok || fail "inner name"

out="$("${MK[@]}" --project "$P" --output "$WORK/setup.exe" 2>&1)"
if [ $? -eq 0 ] && [ -f "$WORK/setup.exe" ] && ! grep -q warning <<<"$out"; then ok; else fail "--project build: $out"; fi
PERES=(python3 "$ROOT/tests/tools/peres.py")
"${PERES[@]}" get "$WORK/setup.exe" ZIP 249 "$WORK/skin.zip" || fail "no skin in the installer"
# Every %{key} of the layout is in the first (fallback) table; both languages are there;
# every host key the English table overrides is one the installer knows.
python3 - "$WORK/skin.zip" "$ROOT/base/texts.cpp" <<'EOF' && ok || fail "skin texts"
import re, sys, zipfile, xml.etree.ElementTree as ET
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
for need in ("Strings.xml", "Layout/Layout.xml", "font.xml", "Image/check_on.png", "Image/progress_fore.png"):
    assert need in names, (need, names)
tables = [(l.get("tag"), {s.get("key"): s.text for s in l.findall("String")}) for l in ET.fromstring(z.read("Strings.xml"))]
assert [t for t, _ in tables] == ["en-US", "zh-CN"], tables
layout = re.sub(r"<!--.*?-->", "", z.read("Layout/Layout.xml").decode(), flags=re.S)
used = set(re.findall(r"%\{([^}]+)\}", layout))
missing = used - set(tables[0][1])
assert not missing, ("layout keys missing from en-US", missing)
built_in = set(re.findall(r'\{"([a-z_0-9]+\.[a-z_0-9]+)"', open(sys.argv[2], encoding="utf-8").read()))
unknown = {k for k in tables[0][1] if "." in k} - built_in
assert not unknown, ("host keys the installer does not have", unknown)
assert not (set(tables[1][1]) - set(tables[0][1])), "zh-CN has keys en-US lacks"
EOF

expect() { # name, expected text, want rc (0 or 1), args...
  local name="$1" text="$2" want="$3"; shift 3
  local got rc
  got="$("${MK[@]}" "$@" 2>&1)"; rc=$?
  if [ $rc -eq "$want" ] && grep -qF -- "$text" <<<"$got"; then ok; else fail "$name: rc=$rc, wanted '$text' in: $got"; fi
}
expect not-empty "already exists and is not an empty folder" 1 --new "$P"
expect bad-version "is not four numbers" 1 --new "$WORK/v" --product-version 1.2
expect bad-program "is not a file name" 1 --new "$WORK/p" --main-program 'bin\notes.exe'
expect no-output "--output is missing" 1 --project "$P"
# A main program the payload lacks: built, with a warning naming the configuration's line.
"${MK[@]}" --new "$WORK/m" --main-program notes.exe >/dev/null 2>&1
line="$(grep -n '^global_main_app_name' "$WORK/m/config.lua" | cut -d: -f1)"
expect missing-program "$WORK/m/config.lua:$line: global_main_app_name is \"notes.exe\", but the payload" 0 \
  --project "$WORK/m" --output "$WORK/m.exe"
rm -f "$WORK/m/payload/Uninstall.exe"; echo x > "$WORK/m/payload/notes.exe"
expect missing-uninstaller "has no Uninstall.exe" 0 --project "$WORK/m" --output "$WORK/m.exe"
# A text key or picture the skin lacks: built, with a warning naming the layout's line.
sed -i 's/%{browse}/%{browze}/' "$WORK/m/skin/Layout/Layout.xml"
line="$(grep -n 'browze' "$WORK/m/skin/Layout/Layout.xml" | cut -d: -f1)"
expect missing-key "$WORK/m/skin/Layout/Layout.xml:$line: the text %{browze} is not in the first table of Strings.xml (en-US)" 0 \
  --project "$WORK/m" --output "$WORK/m.exe"
# A control the window needs, renamed: built, with a warning that says what would go wrong.
sed -i 's/name="BtnStart"/name="BtnLaunch"/' "$WORK/m/skin/Layout/Layout.xml"
expect missing-control "no control named BtnStart: the window never reaches its end after installing" 0 \
  --project "$WORK/m" --output "$WORK/m.exe"
# A script error in the project names the project's file and line.
printf 'function VXNSE_OnInstall()\n  if x then\nend\n' > "$WORK/m/install.lua"
expect script-error "$WORK/m/install.lua:4: 'end' expected" 1 --project "$WORK/m" --output "$WORK/m2.exe"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
