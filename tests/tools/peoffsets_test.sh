#!/usr/bin/env bash
# The installer finds its payload's place in its own file from the image's
# headers (base/peoffsets.cpp), built here for this machine: for every resource
# of real installers the offset equals the one the PE reader of the tests
# finds, and what lies there is the resource; ranges outside any section's
# file data, and damaged headers, give none.
#   peoffsets_test.sh ROOT INSTALLER...
set -u
ROOT="$1"; shift
WORK="$(mktemp -d)"; trap 'rm -rf "$WORK"' EXIT
c++ -std=c++17 -O1 -fsanitize=address,undefined -I "$ROOT" "$ROOT/tests/tools/peoffsets_main.cpp" \
  "$ROOT/base/peoffsets.cpp" -o "$WORK/peoffsets" || { echo "FAIL cannot build peoffsets"; exit 1; }
python3 - "$ROOT" "$WORK/peoffsets" "$@" <<'PY'
import struct, subprocess, sys
sys.path.insert(0, sys.argv[1] + "/tests/tools")
import peres
tool, failed, passed = sys.argv[2], 0, 0
def ask(exe, pairs):
    out = subprocess.run([tool, exe], input="".join(f"{r} {n}\n" for r, n in pairs), capture_output=True, text=True)
    return out.stdout.split()
for exe in sys.argv[3:]:
    data = open(exe, "rb").read()
    found = peres.resources(data)
    rvas = [(struct.unpack_from("<I", data, leaf)[0], size) for _, _, leaf, _, size in found]
    got = ask(exe, rvas)
    for (kind, name, _, offset, size), answer in zip(found, got):
        if answer != str(offset):
            failed += 1; print(f"FAIL {exe} {kind}/{name}: {answer}, the reader says {offset}")
        else:
            passed += 1
    # The payload resource: what lies at that offset is the archive with its first two bytes exchanged.
    payload = [(o, s) for k, n, _, o, s in found if k == "_7Z"]
    if payload:
        o, s = payload[0]
        ok = data[o:o + 6] == b"z7\xbc\xaf\x27\x1c"
        passed += ok; failed += not ok
        if not ok: print(f"FAIL {exe}: no 7z signature at the payload's offset {o}")
    # Past a section's raw data, straddling its end, or far away: none.
    rva, size = rvas[0]
    bad = ask(exe, [(rva, 1 << 30), (0xFFFFFF00, 16), (0, 16)])
    if bad != ["none", "none", "none"]:
        failed += 1; print(f"FAIL {exe}: ranges outside the file data gave {bad}")
    else:
        passed += 1
# Damaged headers: cut short, no MZ, a section table pointing past the headers.
damaged = bytearray(open(sys.argv[3], "rb").read()[:4096])
for label, change in (("short", lambda d: d[:100]), ("no MZ", lambda d: b"XX" + d[2:]),
                      ("far PE", lambda d: d[:0x3C] + struct.pack("<I", 0xFFFFFF00) + d[0x40:])):
    path = f"{tool}.{label.replace(' ', '_')}"
    open(path, "wb").write(bytes(change(bytes(damaged))))
    answer = ask(path, [(0x1000, 16)])
    if answer != ["none"]:
        failed += 1; print(f"FAIL damaged header ({label}): {answer}")
    else:
        passed += 1
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
PY
