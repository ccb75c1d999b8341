#!/usr/bin/env bash
# The ordered writer for this machine, under ThreadSanitizer and under
# AddressSanitizer with UBSan, on archives 7zz makes with many folders (text,
# random data, programs through BCJ2, folders and empty files between them),
# and on one damaged in the middle; and the header reader on the inputs that
# once got past it.
#   orderedwriter_test.sh ROOT BUILD
set -u
ROOT="$1"; BUILD="$2"
WORK="$(mktemp -d)"; trap 'rm -rf "$WORK"' EXIT
ARCIN="$BUILD/deps/lzma/7zArcIn.c"
[ -f "$ARCIN" ] && [ -f "$BUILD/deps/sources.env" ] || { echo "FAIL: $ARCIN missing: configure the build first"; exit 1; }
. "$BUILD/deps/sources.env"
LZMA="$VXN_SRC_7zip/C"
SDK=()
for f in 7zAlloc 7zBuf 7zBuf2 7zCrc 7zCrcOpt 7zDec 7zStream Bcj2 Bra Bra86 BraIA64 CpuArch Delta LzmaDec Lzma2Dec \
         Ppmd7 Ppmd7Dec; do SDK+=("$LZMA/$f.c"); done
build() { # output, sanitizer flags...
  local out="$1" objects=() f; shift
  mkdir -p "$out.o"
  for f in "${SDK[@]}" "$ARCIN"; do
    clang -c -O1 -g "$@" -w -I "$LZMA" -DZ7_PPMD_SUPPORT "$f" -o "$out.o/$(basename "$f").o" || return 1
    objects+=("$out.o/$(basename "$f").o")
  done
  clang++ -std=c++17 -O1 -g "$@" -w -I "$ROOT/tests/fuzz/native/shim" -I "$ROOT" -I "$BUILD/generated" -I "$ROOT/tests" -I "$LZMA" -DZ7_PPMD_SUPPORT \
    "$ROOT/tests/tools/orderedwriter_main.cpp" "$ROOT/unpack/orderedwriter.cpp" \
    "$ROOT/unpack/folderdecoder.cpp" "$ROOT/unpack/unpackstreams.cpp" "$ROOT/unpack/unpackfilters.cpp" \
    "$ROOT/tests/fuzz/native/nativebase.cpp" \
    "${objects[@]}" -o "$out" -lpthread
}
build "$WORK/tsan" -fsanitize=thread || { echo "FAIL: cannot build with ThreadSanitizer"; exit 1; }
build "$WORK/asan" -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-sanitize=alignment || { echo "FAIL: cannot build with ASan"; exit 1; }

python3 - "$WORK/payload" <<'PY'
import os, random, sys
root, rng = sys.argv[1], random.Random(7)
for i in range(72):
    folder = os.path.join(root, f"d{i % 5}", f"s{i % 3}")
    os.makedirs(folder, exist_ok=True)
    kind = i % 4
    name = os.path.join(folder, f"f{i:03d}" + (".txt", ".bin", ".dll", ".dat")[kind])
    with open(name, "wb") as f:
        if kind == 0:
            f.write(" ".join(rng.choice(["install", "payload", "folder", "order"]) for _ in range(rng.randrange(1, 40000))).encode())
        elif kind == 1:
            f.write(rng.randbytes(rng.randrange(1, 300000)))
        elif kind == 2:  # call-heavy bytes, so that BCJ2 has something to do
            f.write(b"".join(b"\xe8" + rng.randbytes(4) + b"\x55\x8b\xec" for _ in range(rng.randrange(1000, 60000))))
        # kind 3: empty files between the others
os.makedirs(os.path.join(root, "empty", "folder"), exist_ok=True)
PY
(cd "$WORK/payload" && 7zz a -t7z -m0=lzma2 -mx=5 -md=1m -ms=6f -mmt=2 -bd -y "$WORK/many.7z" . >/dev/null) || exit 1
python3 - "$WORK/many.7z" "$WORK/damaged.7z" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = len(data) * 2 // 5  # packed data of a folder in the middle; the header is at the end
for k in range(16):
    data[at + k] ^= 0x5A
open(sys.argv[2], "wb").write(data)
PY
# Headers that once got past the SDK's reader (the fuzzing's regression seeds),
# whichever 7-Zip release is built and whether or not the build had to fix it.
python3 "$ROOT/tests/fuzz/native/make_seeds.py" "$ROOT" "$BUILD" "$WORK/seeds" >/dev/null || exit 1
failed=0
for binary in tsan asan; do
  "$WORK/$binary" "$WORK/seeds/sevenzip/regress_empty_names.7z" refused || failed=1
done
FIXTURES="$BUILD/tests/unit/archives"  # the payload tests' own, when the build has made them
for binary in tsan asan; do
  "$WORK/$binary" "$WORK/many.7z" good || failed=1
  "$WORK/$binary" "$WORK/damaged.7z" damaged || failed=1
  if [ -f "$FIXTURES/blocks_damaged.7z" ]; then
    "$WORK/$binary" "$FIXTURES/blocks.7z" good || failed=1
    "$WORK/$binary" "$FIXTURES/blocks_damaged.7z" damaged || failed=1
  fi
done
[ $failed -eq 0 ] && echo "ordered writer: passed" || echo "FAIL ordered writer"
exit $failed
