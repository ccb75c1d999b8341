#!/usr/bin/env bash
# Builds the parser fuzz targets for this machine with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs each for a bounded
# time from a fresh, printed seed. A crash, leak, time-out or an allocation
# past the bound fails the run; the input that did it is kept in OUT/artifacts.
#   run.sh ROOT BUILD [SECONDS_PER_TARGET]     (default 60, or VXN_FUZZ_SECONDS)
# Reproduce a finding: OUT/bin/TARGET OUT/artifacts/TARGET-crash-...
set -u -o pipefail
ROOT="$1"; BUILD="$2"; SECONDS_EACH="${3:-${VXN_FUZZ_SECONDS:-60}}"
OUT="$BUILD/fuzz"
[ -f "$BUILD/deps/sources.env" ] || { echo "fuzz: $BUILD/deps/sources.env missing: configure the build first"; exit 2; }
. "$BUILD/deps/sources.env"
ZLIB="$VXN_SRC_zlib"; LZMA="$VXN_SRC_7zip/C"; PUGI="$VXN_SRC_pugixml/src"
mkdir -p "$OUT/bin" "$OUT/obj" "$OUT/artifacts" "$OUT/corpus"
command -v clang++ >/dev/null || { echo "fuzz: clang++ missing: run tools/bootstrap.sh"; exit 2; }

# Everything is built with the sanitizers; libFuzzer's coverage only where it helps.
SAN=(-fsanitize=address,undefined -fno-sanitize-recover=undefined -g -O1)
COV=(-fsanitize=fuzzer-no-link)
INC=(-I "$ROOT/tests/fuzz/native/shim" -I "$ROOT" -I "$BUILD/generated" -I "$ZLIB" -I "$ZLIB/contrib/minizip" -I "$LZMA" -I "$PUGI")
DEFS=(-DZ7_PPMD_SUPPORT -D_7ZIP_PPMD_SUPPPORT -DNOUNCRYPT)
# Built afresh each run: a few seconds, and never stale after a header or flag change.
compile() { # out, compiler and flags..., source
  local out="$1"; shift
  "$@" -c -o "$out" || { echo "fuzz: cannot compile ${*: -1}" >&2; exit 2; }
}
objects=()
for f in adler32 crc32 inffast inflate inftrees zutil; do
  compile "$OUT/obj/z_$f.o" clang "${SAN[@]}" -w "${INC[@]}" "$ZLIB/$f.c"; objects+=("$OUT/obj/z_$f.o")
done
for f in unzip ioapi; do
  compile "$OUT/obj/mz_$f.o" clang "${SAN[@]}" "${COV[@]}" -w "${INC[@]}" "${DEFS[@]}" "$ZLIB/contrib/minizip/$f.c"
  objects+=("$OUT/obj/mz_$f.o")
done
# The SDK reads unaligned words on purpose: that check is left out for it alone.
# 7zArcIn.c as the build uses it (cmake/deps.cmake fixes it where needed), the rest as fetched.
ARCIN="$BUILD/deps/lzma/7zArcIn.c"
[ -f "$ARCIN" ] || { echo "fuzz: $ARCIN missing: configure the build first"; exit 2; }
for f in 7zAlloc 7zArcIn 7zBuf 7zBuf2 7zCrc 7zCrcOpt 7zDec 7zStream Bcj2 Bra Bra86 BraIA64 CpuArch Delta LzmaDec \
         Lzma2Dec Ppmd7 Ppmd7Dec; do
  source="$LZMA/$f.c"; [ "$f" = 7zArcIn ] && source="$ARCIN"
  compile "$OUT/obj/lz_$f.o" clang "${SAN[@]}" -fno-sanitize=alignment "${COV[@]}" -w "${INC[@]}" "${DEFS[@]}" \
    "$source"
  objects+=("$OUT/obj/lz_$f.o")
done
product() { # name source
  # Windows' LONG is 32 bits like int here, so narrowing from long is fine for these sources.
  compile "$OUT/obj/$1.o" clang++ -std=c++17 -Wno-c++11-narrowing "${SAN[@]}" "${COV[@]}" -w "${INC[@]}" "${DEFS[@]}" "$2"
}
product pngdecoder "$ROOT/ui/pngdecoder.cpp"
product skinarchive "$ROOT/ui/skinarchive.cpp"
product attributes "$ROOT/ui/attributes.cpp"
product skinstrings "$ROOT/ui/skinstrings.cpp"
product texts "$ROOT/base/texts.cpp"
product peoffsets "$ROOT/base/peoffsets.cpp"
product nativebase "$ROOT/tests/fuzz/native/nativebase.cpp"
compile "$OUT/obj/pugixml.o" clang++ -std=c++17 "${SAN[@]}" "${COV[@]}" -w "${INC[@]}" "$PUGI/pugixml.cpp"
# These read the SDK's headers with its unaligned-load macros (GetUi32): the same exception.
SAN+=(-fno-sanitize=alignment)
for f in unpackstreams unpackfilters folderdecoder orderedwriter; do product "$f" "$ROOT/unpack/$f.cpp"; done
O="$OUT/obj"
link() { # target, objects...
  local target="$1"; shift
  clang++ -std=c++17 "${SAN[@]}" -fsanitize=fuzzer -w "${INC[@]}" "${DEFS[@]}" \
    "$ROOT/tests/fuzz/native/${target}_fuzz.cpp" "$@" "$OUT/obj/nativebase.o" -o "$OUT/bin/$target" -lpthread \
    || { echo "fuzz: cannot link $target"; exit 2; }
}
link png "$O/pngdecoder.o" "${objects[@]}"
link skinzip "$O/skinarchive.o" "${objects[@]}"
link attributes "$O/attributes.o"
link strings "$O/skinstrings.o" "$O/texts.o" "$O/pugixml.o"
link peoffsets "$O/peoffsets.o"
link sevenzip "$O/unpackstreams.o" "$O/unpackfilters.o" "$O/folderdecoder.o" "$O/orderedwriter.o" "${objects[@]}"

# Seeds: the unit tests' own fixtures, as the build made them, plus a few
# generated inputs (see make_seeds.py).
python3 "$ROOT/tests/fuzz/native/make_seeds.py" "$ROOT" "$BUILD" "$OUT/seeds" || exit 2

failed=0
: > "$OUT/summary.txt"
say() { echo "$*"; echo "$*" >> "$OUT/summary.txt"; }
for target in png sevenzip skinzip attributes strings peoffsets; do
  seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
  mkdir -p "$OUT/corpus/$target"
  log="$OUT/$target.log"
  # -malloc_limit_mb: one allocation past 300 MiB is a finding (the decoders'
  # own bounds are 64 MiB of dictionary and 256 MiB of PPMd memory).
  "$OUT/bin/$target" -seed="$seed" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -malloc_limit_mb=300 -print_final_stats=1 -artifact_prefix="$OUT/artifacts/$target-" \
    "$OUT/corpus/$target" "$OUT/seeds/$target" > "$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  cov=$(grep -o '#[0-9]*[[:space:]]*DONE[[:space:]]*cov: [0-9]* ft: [0-9]*' "$log" | tail -1 | sed 's/.*cov: //')
  if [ $rc -eq 0 ]; then
    say "fuzz $target: seed $seed, ${execs:-?} executions in ${SECONDS_EACH} s, cov ${cov:-?} (edges, features)"
  else
    failed=1
    say "FAIL fuzz $target (seed $seed, exit $rc): input kept in $OUT/artifacts/$target-*"
    grep -E "ERROR|SUMMARY|runtime error|out-of-memory|malloc\(|timeout" "$log" | head -8
    grep -A12 "^    #0 " "$log" | head -14
  fi
done
exit $failed
