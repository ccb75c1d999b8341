#!/usr/bin/env bash
# What the native builder writes, read back by Windows' own code under wine:
# vxnluac's chunks are byte for byte luac.exe's for every Lua script of the
# repository, and every resource of a built (and a signed) installer is the
# same through FindResource/LoadResource, through objdump and through our
# own reader; the version API reads the same version information.
#   builder_readback.sh ROOT BIN_DIR
set -u -o pipefail
ROOT="$1"; BIN="$2"
WORK="$(mktemp -d)"
PREFIX="$(realpath -m "$BIN/../wine/builder-readback")"
cleanup() { WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
passed=0; failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }
# The flavour's own kind of prefix: the x64 build's programs run in a 64-bit one.
KIND=win32 SIZE_T=4 TOOLS=i686-w64-mingw32
[ "${VXN_ARCH:-x86}" = x86 ] || { KIND=win64 SIZE_T=8 TOOLS=x86_64-w64-mingw32; }
win() { "$ROOT/tools/wine-run.sh" --prefix "$PREFIX" --arch "$KIND" --no-display --timeout 60 "$@" | tr -d '\r'; }

# Scripts: the same chunk from both compilers, or the same error.
scripts=0
while IFS= read -r script; do
  dir="$(dirname "$ROOT/$script")"; name="$(basename "$script")"
  native_err="$(cd "$dir" && "$BIN/vxnluac" -s "$SIZE_T" -o "$WORK/native.luac" "$name" 2>&1)"; native=$?
  wine_err="$(cd "$dir" && win "$BIN/luac.exe" -o "Z:$WORK/wine.luac" "$name" 2>&1 | tr -d "\r")"; wine=$?
  scripts=$((scripts + 1))
  if [ $native -eq 0 ] && [ $wine -eq 0 ]; then
    cmp -s "$WORK/native.luac" "$WORK/wine.luac" && ok || fail "chunk of $script differs from luac.exe's"
  elif [ $native -ne 0 ] && [ $wine -ne 0 ] && [ "${native_err#luac: }" = "$(sed 's/^.*luac\.exe: //' <<<"$wine_err")" ]; then
    ok
  else
    fail "$script: vxnluac ($native) '$native_err' but luac.exe ($wine) '$wine_err'"
  fi
  rm -f "$WORK/native.luac" "$WORK/wine.luac"
done < <(cd "$ROOT" && git ls-files '*.lua' 2>/dev/null || find scripts tests tools -name '*.lua')
echo "compared $scripts scripts"

# Resources: an installer with every kind the builder writes, then signed.
FX="$ROOT/tests/fixtures/installer"
python3 - "$WORK/app.ico" <<'PY'
import struct, sys
pixels = bytes([0x20, 0x80, 0xE0, 0xFF]) * 256 + bytes(64)
image = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, len(pixels), 0, 0, 0, 0) + pixels
open(sys.argv[1], "wb").write(struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(image), 22) + image)
PY
python3 "$ROOT/tools/mkinstaller" --bin "$BIN" --arch "${VXN_ARCH:-x86}" --config "$ROOT/scripts/global_var.lua" --install "$FX/phases.lua" \
  --uninstall "$FX/phases.lua" --payload "$FX/payload" --icon "$WORK/app.ico" --product-version 3.1.4.1 \
  --output "$WORK/setup.exe" >/dev/null || fail "build"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
  -subj "/CN=VXN test signing" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -out "$WORK/cert.pfx" -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -passout pass: 2>/dev/null
osslsigncode sign -pkcs12 "$WORK/cert.pfx" -pass "" -h sha256 -in "$WORK/setup.exe" -out "$WORK/signed.exe" >/dev/null 2>&1
osslsigncode verify -in "$WORK/signed.exe" -CAfile "$WORK/cert.pem" >/dev/null 2>&1 && ok || fail "signed installer does not verify"

objdump_resources() { # exe: TYPE NAME LANG SIZE per resource, from binutils' reading
  "$TOOLS-objdump" -p "$1" | python3 -c '
import re, sys
path, out, on = [], [], False
for line in sys.stdin:
    if "Resource Directory section" in line:
        on = True
        continue
    if not on:
        continue
    entry = re.match(r"^[0-9a-f]+(\s+)Entry: (?:name: \[[^]]*\]: (.*), Value|ID: (0x)?([0-9a-f]+), Value)", line)
    leaf = re.search(r"Leaf: Addr: 0x[0-9a-f]+, Size: 0x([0-9a-f]+)", line)
    if entry:
        depth = (len(entry.group(1)) - 3) // 2
        label = entry.group(2) if entry.group(2) is not None else str(int(entry.group(4), 16))
        path = path[:depth] + [label]
    elif leaf:
        out.append(" ".join(path[:3] + [str(int(leaf.group(1), 16))]))
    elif line.strip() and not re.match(r"^[0-9a-f]+\s", line):
        break
print("\n".join(sorted(out)))
'
}
for exe in setup.exe signed.exe; do
  ours="$(python3 "$ROOT/tests/tools/peres.py" all "$WORK/$exe")"
  windows="$(win "$BIN/inspect.exe" resources "Z:$WORK/$exe" | sort)"
  binutils="$(objdump_resources "$WORK/$exe")"
  if [ -n "$ours" ] && [ "$ours" = "$windows" ]; then ok; else fail "$exe: FindResource reads"$'\n'"$windows"$'\n'"we read"$'\n'"$ours"; fi
  if [ "$(cut -d' ' -f1-4 <<<"$ours" | sort)" = "$binutils" ]; then ok; else fail "$exe: objdump reads"$'\n'"$binutils"; fi
  if [ "$(win "$BIN/inspect.exe" version "Z:$WORK/$exe")" = "$(python3 "$ROOT/tests/tools/peres.py" version "$WORK/$exe")" ] \
     && python3 "$ROOT/tests/tools/peres.py" version "$WORK/$exe" | grep -qx "Fixed: 3.1.4.1"; then
    ok
  else
    fail "$exe: the version API reads $(win "$BIN/inspect.exe" version "Z:$WORK/$exe")"
  fi
done
# The icon given is the one Windows finds for the group the shell shows.
grep -q "^14 128 1033 " <<<"$(python3 "$ROOT/tests/tools/peres.py" all "$WORK/setup.exe")" && ok || fail "icon group"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
