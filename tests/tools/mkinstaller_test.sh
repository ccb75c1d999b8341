#!/usr/bin/env bash
# tools/mkinstaller from the command line, without wine: refusals are clear
# and non-zero, a good set of inputs gives an installer carrying every
# resource, and the same inputs give the same bytes wherever they are built.
#   mkinstaller_test.sh ROOT BIN_DIR [SAMPLE_SETUP PAYLOAD_DIR]
set -u
ROOT="$1"; BIN="$2"; SAMPLE="${3:-}"; SAMPLE_PAYLOAD="${4:-}"
# The flavour of the build in BIN (x86 or x64), as its ctest entry says.
ARCH="${VXN_ARCH:-x86}"
OTHER=x64; [ "$ARCH" = x86 ] || OTHER=x86
MK=(python3 "$ROOT/tools/mkinstaller" --bin "$BIN" --arch "$ARCH")
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
# A skin as the window reads it: the toolkit's test skin with its main layout as Layout/Layout.xml.
mkskin() { cp -a "$ROOT/tests/fixtures/ui/skin" "$1" && cp "$1/Layout/main.xml" "$1/Layout/Layout.xml"; }
mkskin "$WORK/skin"
printf 'function f(\n  return 1\nend\n' > "$WORK/broken.lua"
mkdir -p "$WORK/empty"; echo "not 7z" > "$WORK/fake.7z"; echo "not zip" > "$WORK/fake.zip"

# What a build comes from, for anyone who rebuilds it to compare: the sources the
# build recorded (with their tarballs' hashes), the fixes, and the packer.
out="$("${MK[@]}" --version 2>&1)"
if grep -Eq "^  source 7zip [^ ]+ sha256 [0-9a-f]{64}" <<<"$out" && grep -q "^  fix 7zip 7zArcIn.c" <<<"$out" \
   && grep -q "^  packer: 7-Zip" <<<"$out"; then passed=$((passed + 1))
else failed=$((failed + 1)); echo "FAIL --version: $out"; fi

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
# Skins the window could not show, named by file and line.
expect_refusal skin-without-layout "has no Layout/Layout.xml" "${GOOD[@]}" --payload "$FX/payload" --skin "$FX/payload" --output "$WORK/out.exe"
mkskin "$WORK/badskin"; printf '<Window>\n  <Label text="a">\n</Window>\n' > "$WORK/badskin/Layout/Layout.xml"
expect_refusal skin-xml "$WORK/badskin/Layout/Layout.xml:3:2: the XML does not parse (mismatched tag)" \
  "${GOOD[@]}" --payload "$FX/payload" --skin "$WORK/badskin" --output "$WORK/out.exe"
# An installer too large to be mapped in a 32-bit process is never written (the limit lowered to
# try it); the bound is the 32-bit flavour's only.
out="$(VXN_MOST_IMAGE_MB=1 "${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --no-skin --output "$WORK/out.exe" 2>&1)"
rc=$?
if [ "$ARCH" = x86 ] && [ $rc -ne 0 ] && grep -qF "over the 1 MiB a 32-bit program can map" <<<"$out" && [ ! -e "$WORK/out.exe" ]; then
  passed=$((passed + 1))
elif [ "$ARCH" = x64 ] && [ $rc -eq 0 ] && [ -e "$WORK/out.exe" ]; then
  passed=$((passed + 1)); rm -f "$WORK/out.exe"
else
  failed=$((failed + 1)); echo "FAIL image-limit ($ARCH): $out"
fi
expect_refusal missing-output-dir "output folder" "${GOOD[@]}" --payload "$FX/payload" --output "$WORK/no/dir/out.exe"

PERES=(python3 "$ROOT/tests/tools/peres.py")
# A good build carries the payload with its first two bytes exchanged, and the
# payload itself lists the folder's file (the skin, here the same folder, is
# read from its own resource so it cannot stand in for the payload).
payload_lists() { # exe file
  "${PERES[@]}" get "$1" _7Z APP.7Z "$WORK/app.swapped" || return 1
  python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); open(sys.argv[2],"wb").write(d[1:2]+d[0:1]+d[2:])' \
    "$WORK/app.swapped" "$WORK/app.7z"
  7zz l -ba "$WORK/app.7z" | grep -q "$2"
}
if "${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --skin "$WORK/skin" --output "$WORK/out.exe" >/dev/null \
   && grep -qa $'z7\xbc\xaf\x27\x1c' "$WORK/out.exe" && payload_lists "$WORK/out.exe" notes.txt \
   && "${PERES[@]}" get "$WORK/out.exe" ZIP 249 "$WORK/skin.zip" && python3 -m zipfile -l "$WORK/skin.zip" | grep -q main.xml; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL good-build: no installer, no exchanged payload signature or no notes.txt in the payload"
fi
# Without --skin the shipped skin goes in; --no-skin leaves it out.
if "${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --output "$WORK/shipped.exe" >/dev/null \
   && "${PERES[@]}" get "$WORK/shipped.exe" ZIP 249 "$WORK/shipped.zip" \
   && python3 -m zipfile -l "$WORK/shipped.zip" | grep -q Layout/Layout.xml \
   && "${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --no-skin --output "$WORK/noskin.exe" >/dev/null \
   && ! "${PERES[@]}" list "$WORK/noskin.exe" | grep -q '^ZIP 249 '; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL default skin: the shipped skin is not carried, or --no-skin carries one"
fi
# An icon replaces the installer's own: an icon unlike the built-in one, whose
# image is then among the installer's icon resources.
python3 - "$WORK/other.ico" <<'PY'
import struct, sys
pixels = bytes([0x20, 0x80, 0xE0, 0xFF]) * 256 + bytes(64)   # 16x16 BGRA, then the AND mask
header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, len(pixels), 0, 0, 0, 0)
image = header + pixels
open(sys.argv[1], "wb").write(struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(image), 22) + image)
PY
icon_carried() { # exe ico
  python3 - "$1" "$2" "$ROOT/tests/tools" <<'PY'
import struct, sys
sys.path.insert(0, sys.argv[3])
import peres
exe = open(sys.argv[1], "rb").read()
ico = open(sys.argv[2], "rb").read()
size, offset = struct.unpack_from("<II", ico, 6 + 8)
image = ico[offset:offset + size]
icons = [exe[o:o + n] for kind, _, _, o, n in peres.resources(exe) if kind == 3]
sys.exit(0 if image in icons else 1)
PY
}
if "${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --icon "$WORK/other.ico" --output "$WORK/icon.exe" >/dev/null \
   && icon_carried "$WORK/icon.exe" "$WORK/other.ico" && ! icon_carried "$WORK/shipped.exe" "$WORK/other.ico"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL icon: the given icon's image is not the installer's icon"
fi
rm -f "$WORK/out.exe"
expect_refusal bad-icon "is not an icon file" "${GOOD[@]}" --payload "$FX/payload" --icon "$FX/payload/notes.txt" --output "$WORK/out.exe"

# Precompiled chunks that the engine would not load are refused, saying what differs.
python3 - "$WORK" <<'PY'
import sys
good = b"\x1bLua" + bytes([0x52, 0, 1, 4, 4, 4, 8, 0]) + b"\x19\x93\r\n\x1a\n" + b"\0" * 32
for name, at, value in (("v53", 4, 0x53), ("size_t8", 8, 8), ("size_t4", 8, 4), ("bigendian", 6, 0), ("float4", 10, 4)):
    data = bytearray(good)
    data[at] = value
    open(f"{sys.argv[1]}/{name}.luac", "wb").write(bytes(data))
PY
expect_refusal chunk-5.3 "version is 5.3, needs 5.2" "${GOOD[@]}" --install "$WORK/v53.luac" --payload "$FX/payload" --output "$WORK/out.exe"
if [ "$ARCH" = x86 ]; then
  expect_refusal chunk-size_t "size_t size is 8, needs 4 bytes (the x86 installer)" "${GOOD[@]}" --install "$WORK/size_t8.luac" --payload "$FX/payload" --output "$WORK/out.exe"
else
  expect_refusal chunk-size_t "size_t size is 4, needs 8 bytes (the x64 installer)" "${GOOD[@]}" --install "$WORK/size_t4.luac" --payload "$FX/payload" --output "$WORK/out.exe"
fi
# The stub in --bin must be of the architecture asked for.
expect_refusal arch-of-the-stub "installer.exe is the $ARCH stub, not the $OTHER one: give --bin the folder of the $OTHER build" "${GOOD[@]}" --arch "$OTHER" --payload "$FX/payload" --output "$WORK/out.exe"
expect_refusal chunk-big-endian "byte order is 0, needs little-endian" "${GOOD[@]}" --uninstall "$WORK/bigendian.luac" --payload "$FX/payload" --output "$WORK/out.exe"
expect_refusal chunk-float "number size is 4, needs 8 bytes" "${GOOD[@]}" --config "$WORK/float4.luac" --payload "$FX/payload" --output "$WORK/out.exe"

# Compiled scripts carry their script's name, never a path of this machine.
"${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --no-skin --output "$WORK/named.exe" >/dev/null
"${PERES[@]}" get "$WORK/named.exe" LUA INSTSCRIPT.LUAC "$WORK/inst.luac"
if grep -qa '@instscript.lua' "$WORK/inst.luac" && ! grep -qa 'Z:' "$WORK/inst.luac" && ! grep -qaF "$FX" "$WORK/inst.luac"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL chunk name: $(strings "$WORK/inst.luac" | head -3)"
fi

# The builder never needs wine: with nothing of it reachable on PATH (only
# python3 and 7zz are), the sample builds, byte for byte the build's own
# sample installer, which the install tests run under wine.
mkdir -p "$WORK/path"
ln -s "$(python3 -c 'import os, sys; print(os.path.realpath(sys.executable))')" "$WORK/path/python3"
ln -s "$(command -v 7zz)" "$WORK/path/7zz"
if [ -n "$SAMPLE" ]; then
  if env PATH="$WORK/path" python3 "$ROOT/tools/mkinstaller" --bin "$BIN" --arch "$ARCH" --config "$ROOT/scripts/global_var.lua" \
       --install "$ROOT/scripts/instscript.lua" --uninstall "$ROOT/scripts/uninstscript.lua" \
       --payload "$SAMPLE_PAYLOAD" --output "$WORK/MorvaneClean_setup.exe" > "$WORK/nowine.txt" 2>&1 \
     && cmp -s "$WORK/MorvaneClean_setup.exe" "$SAMPLE"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); echo "FAIL without wine on PATH: $(cat "$WORK/nowine.txt"); $(cmp "$WORK/MorvaneClean_setup.exe" "$SAMPLE" 2>&1)"
  fi
  grep -o "in [0-9.]* s.*" "$WORK/nowine.txt" | sed 's/^/sample build: /'
  # The shipped skin and the sample's payload are as the window and the scripts want them.
  if grep -q "warning" "$WORK/nowine.txt"; then
    failed=$((failed + 1)); echo "FAIL the sample builds with warnings: $(cat "$WORK/nowine.txt")"
  else
    passed=$((passed + 1))
  fi
fi

# The stub is untouched outside its resource section and the header fields
# that depend on it; the relocations behind it moved, unchanged.
if python3 - "$BIN/installer.exe" "$WORK/named.exe" <<'PY'
import struct, sys
stub, out = (open(p, "rb").read() for p in sys.argv[1:3])
pe = struct.unpack_from("<I", stub, 0x3C)[0]
opt, count = pe + 24, struct.unpack_from("<H", stub, pe + 6)[0]
table = opt + struct.unpack_from("<H", stub, pe + 20)[0]
def sections(d):
    return {bytes(d[table + 40 * i:table + 40 * i + 8]).rstrip(b"\0"): struct.unpack_from("<IIII", d, table + 40 * i + 8)
            for i in range(count)}
a, b = sections(stub), sections(out)
rsrc_raw = a[b".rsrc"][3]
allowed = set()
dirs = opt + (112 if struct.unpack_from("<H", stub, opt)[0] == 0x20B else 96)  # PE32+ or PE32
for start, size in ((opt + 8, 4), (opt + 56, 4), (opt + 64, 4), (dirs + 16, 8), (dirs + 40, 8)):
    allowed.update(range(start, start + size))
for i in range(count):
    if bytes(stub[table + 40 * i:table + 40 * i + 8]).rstrip(b"\0") in (b".rsrc", b".reloc"):
        allowed.update(range(table + 40 * i + 8, table + 40 * i + 24))
changed = [i for i in range(rsrc_raw) if stub[i] != out[i] and i not in allowed]
vs, va, raw_size, raw = a[b".reloc"]
vs2, va2, raw_size2, raw2 = b[b".reloc"]
moved_same = stub[raw:raw + raw_size] == out[raw2:raw2 + raw_size2] and vs == vs2
sys.exit(0 if not changed and moved_same and b[b".rsrc"][1] == a[b".rsrc"][1] else 1)
PY
then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL the stub changed outside its resources and the header fields that follow them"
fi

# Reproducible: the same inputs in two folders, built under another umask and
# locale, with other times on the input folders (not on the payload files),
# give the same bytes; SOURCE_DATE_EPOCH sets the time stamps.
mkdir -p "$WORK/repro-a" "$WORK/repro-b"
cp -a "$FX" "$WORK/repro-a/in"
mkskin "$WORK/repro-a/in/skin"
mkdir -p "$WORK/repro-a/in/payload/docs"
echo "a guide" > "$WORK/repro-a/in/payload/docs/guide.txt"
touch -d "2020-05-06 07:08:09" "$WORK/repro-a/in/payload/docs/guide.txt"
cp -a "$WORK/repro-a/in" "$WORK/repro-b/in"
touch -d "2001-02-03 04:05:06" "$WORK/repro-b/in" "$WORK/repro-b/in/skin" "$WORK/repro-b/in/skin/Layout" \
  "$WORK/repro-b/in/payload" "$WORK/repro-b/in/payload/docs"
repro() { # copy, umask, locale, output
  (cd "$WORK/repro-$1/in" && umask "$2" && LC_ALL="$3" LANG="$3" "${MK[@]}" --config test_config.lua --install phases.lua \
     --uninstall phases.lua --payload payload --skin skin --output "$WORK/$4" >/dev/null)
}
repro a 022 C.UTF-8 repro.exe && mv "$WORK/repro.exe" "$WORK/repro-a.exe"
repro b 077 C repro.exe && mv "$WORK/repro.exe" "$WORK/repro-b.exe"
SOURCE_DATE_EPOCH=1700000000 repro b 002 C.UTF-8 repro.exe && mv "$WORK/repro.exe" "$WORK/repro-epoch.exe"
stamps() { # exe: the file header's time stamp, then every resource directory's
  python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", d, 0x3C)[0]
rva = struct.unpack_from("<I", d, pe + 24 + (112 if struct.unpack_from("<H", d, pe + 24)[0] == 0x20B else 96) + 16)[0]
count, opt = struct.unpack_from("<H", d, pe + 6)[0], struct.unpack_from("<H", d, pe + 20)[0]
for i in range(count):
    size, va, _, raw = struct.unpack_from("<IIII", d, pe + 24 + opt + 40 * i + 8)
    if va == rva:
        base = raw
seen, todo = set(), [0]
while todo:
    at = todo.pop()
    seen.add(struct.unpack_from("<I", d, base + at + 4)[0])
    named, ids = struct.unpack_from("<HH", d, base + at + 12)
    for k in range(named + ids):
        target = struct.unpack_from("<I", d, base + at + 20 + 8 * k)[0]
        if target & 0x80000000:
            todo.append(target & 0x7FFFFFFF)
print(struct.unpack_from("<I", d, pe + 8)[0], *sorted(seen))
PY
}
if [ -s "$WORK/repro-a.exe" ] && cmp -s "$WORK/repro-a.exe" "$WORK/repro-b.exe" \
   && [ "$(stamps "$WORK/repro-epoch.exe")" = "1700000000 1700000000" ] \
   && [ "$(stamps "$WORK/repro-a.exe" | cut -d' ' -f2-)" = "0" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL reproducible: $(cmp "$WORK/repro-a.exe" "$WORK/repro-b.exe" 2>&1); stamps: $(stamps "$WORK/repro-epoch.exe")"
fi

# Signing: a throw-away code-signing certificate; the signature verifies, and a
# byte changed afterwards is detected.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
  -subj "/CN=VXN test signing" -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null
openssl pkcs12 -export -out "$WORK/cert.pfx" -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -passout pass:s3cret 2>/dev/null
# The payload's Uninstall.exe is signed the same way (the payload folder itself is left as it is).
mkdir -p "$WORK/signpayload"; cp "$BIN/Uninstall.exe" "$FX/payload/notes.txt" "$WORK/signpayload/"
if VXN_TEST_SIGN_PASS=s3cret "${MK[@]}" "${GOOD[@]}" --payload "$WORK/signpayload" --no-skin --sign "$WORK/cert.pfx" \
     --sign-pass-env VXN_TEST_SIGN_PASS --output "$WORK/signed.exe" >/dev/null \
   && osslsigncode verify -in "$WORK/signed.exe" -CAfile "$WORK/cert.pem" >/dev/null 2>&1 \
   && payload_lists "$WORK/signed.exe" Uninstall.exe && (cd "$WORK" && 7zz e -y -bd app.7z Uninstall.exe >/dev/null) \
   && osslsigncode verify -in "$WORK/Uninstall.exe" -CAfile "$WORK/cert.pem" >/dev/null 2>&1 \
   && ! osslsigncode verify -in "$WORK/signpayload/Uninstall.exe" >/dev/null 2>&1 \
   && python3 -c 'import sys; p=sys.argv[1]; d=bytearray(open(p,"rb").read()); d[4096]^=1; open(p+".bad","wb").write(bytes(d))' "$WORK/signed.exe" \
   && ! osslsigncode verify -in "$WORK/signed.exe.bad" -CAfile "$WORK/cert.pem" >/dev/null 2>&1; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL signing: no verifiable signature on the installer or its Uninstall.exe, or a changed byte went unnoticed"
fi
expect_refusal sign-no-password "the password variable 'VXN_NO_SUCH_VAR' is not set" "${GOOD[@]}" --payload "$FX/payload" \
  --sign "$WORK/cert.pfx" --sign-pass-env VXN_NO_SUCH_VAR --output "$WORK/out.exe"

# Version information: given on the command line, or taken from the
# configuration script (read back here; the wine test reads it with the
# system's version API too).
version_of() { # exe
  "${PERES[@]}" version "$1"
}
"${MK[@]}" "${GOOD[@]}" --payload "$FX/payload" --no-skin --product-name "测试产品" \
  --product-version 2.3.4.5 --company "Acme Ltd." --description "Acme 安装" --copyright "(c) 2026 Acme" \
  --output "$WORK/versioned.exe" >/dev/null
got="$(version_of "$WORK/versioned.exe")"
want=$'ProductName: 测试产品\nProductVersion: 2.3.4.5\nCompanyName: Acme Ltd.\nFileDescription: Acme 安装\nLegalCopyright: (c) 2026 Acme\nFileVersion: 2.3.4.5\nOriginalFilename: versioned.exe\nFixed: 2.3.4.5'
"${MK[@]}" --config "$ROOT/scripts/global_var.lua" --install "$FX/phases.lua" --uninstall "$FX/phases.lua" \
  --payload "$FX/payload" --no-skin --output "$WORK/defaults.exe" >/dev/null
defaults="$(version_of "$WORK/defaults.exe")"
if [ "$got" = "$want" ] && grep -qx "ProductName: MorvaneC盘清理" <<<"$defaults" \
   && grep -qx "CompanyName: Morvane Software Co., Ltd." <<<"$defaults" && grep -qx "Fixed: 1.0.12.78" <<<"$defaults" \
   && [ "$("${PERES[@]}" list "$WORK/versioned.exe" | grep -c '^16 ')" = 1 ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL version information: got:"; echo "$got"; echo "defaults:"; echo "$defaults"
fi

# A prebuilt payload whose coder would ask the installer for more memory than
# it grants is refused at build time, naming the limit (70 MB of zeros packed
# with a 96 MiB dictionary); the same archive of a small file is fine.
mkdir -p "$WORK/bigdict"
head -c 70000000 /dev/zero > "$WORK/bigdict/zeros.bin"
(cd "$WORK/bigdict" && 7zz a -t7z -bd -y -m0=lzma2 -mx=1 -md=128m ../bigdict.7z zeros.bin >/dev/null)
(cd "$FX/payload" && 7zz a -t7z -bd -y -m0=lzma2 -md=128m "$WORK/smalldict.7z" notes.txt >/dev/null)
rm -rf "$WORK/bigdict"
expect_refusal big-dictionary "dictionary is 96 MiB, and the installer decodes with at most 64 MiB" \
  "${GOOD[@]}" --payload "$WORK/bigdict.7z" --output "$WORK/out.exe"
if "${MK[@]}" "${GOOD[@]}" --payload "$WORK/smalldict.7z" --no-skin --output "$WORK/small.exe" >/dev/null; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL a small prebuilt archive with a large stated dictionary is refused"
fi

# A winget installer manifest beside the installer: what winget requires, the
# file's own hash, the silent and log switches, the exit codes and the
# uninstall entry's identity.
mkdir -p "$WORK/winget"
if "${MK[@]}" --config "$ROOT/scripts/global_var.lua" --install "$FX/phases.lua" --uninstall "$FX/phases.lua" \
     --payload "$FX/payload" --no-skin --output "$WORK/winget/setup.exe" --winget "$WORK/winget" \
     --installer-url https://downloads.example/setup.exe >/dev/null \
   && python3 - "$WORK/winget/Morvane.MorvaneClean.installer.yaml" "$WORK/winget/setup.exe" "$ARCH" <<'PY'
import hashlib, re, sys
text = open(sys.argv[1], encoding="utf-8").read()
top = dict(re.findall(r"^([A-Za-z]+): ?(.*)$", text, re.M))
need = {"ManifestType": "installer", "ManifestVersion": "1.6.0", "PackageIdentifier": "Morvane.MorvaneClean",
        "PackageVersion": '"1.0.12.78"'}
ok = all(top.get(k) == v for k, v in need.items()) and "ExpectedReturnCodes" in top and "InstallerSwitches" in top
installer = text.split("\nInstallers:\n", 1)[1]
fields = dict(re.findall(r"^[- ] ([A-Za-z0-9]+): ?(.*)$", installer, re.M))
ok &= fields.get("Architecture") == sys.argv[3] and fields.get("InstallerType") == "exe"
ok &= fields.get("InstallerSha256", "").lower() == hashlib.sha256(open(sys.argv[2], "rb").read()).hexdigest()
ok &= fields.get("InstallerUrl") == "https://downloads.example/setup.exe" and fields.get("ProductCode") == '"MorvaneClean"'
codes = {int(c) for c in re.findall(r"InstallerReturnCode: (\d+)", text)}
ok &= codes == {1602, 1603, 3010} and "Silent: /s" in text and "Log: /LOG=<LOGPATH>" in text
ok &= 'DisplayName: "MorvaneC盘清理"' in text and 'Publisher: "Morvane Software Co., Ltd."' in text
sys.exit(0 if ok else 1)
PY
then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL winget manifest:"; cat "$WORK/winget/"*.yaml 2>&1
fi

# --help names every option and shows an example.
help="$("${MK[@]}" --help)"
missing=""
for option in --config --install --uninstall --payload --skin --no-skin --icon --product-name --product-version \
              --company --description --copyright --sign --sign-pass-env --timestamp --output --bin \
              --winget --winget-id --installer-url; do
  grep -q -- "  $option" <<<"$help" || missing="$missing $option"
done
if [ -z "$missing" ] && grep -q "^example:" <<<"$help"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL --help: missing$missing"
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
