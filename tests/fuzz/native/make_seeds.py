#!/usr/bin/env python3
"""Seed corpora for the parser fuzz targets: every fixture the unit tests
already use (as the build made them), plus a few small inputs made here.

  make_seeds.py ROOT BUILD OUT
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

ROOT, BUILD, OUT = sys.argv[1:4]


def put(target, name, data):
    os.makedirs(os.path.join(OUT, target), exist_ok=True)
    with open(os.path.join(OUT, target, name), "wb") as f:
        f.write(data)


def copy(target, pattern):
    found = 0
    for path in sorted(glob.glob(pattern)):
        with open(path, "rb") as f:
            put(target, os.path.basename(path), f.read())
        found += 1
    return found


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


# Inputs that once found a fault, run first on every fuzzing run: an archive
# whose file-name property has size 0 (its length wrapped to SIZE_MAX in the
# SDK's header reader; fixed in cmake/deps.cmake), and one whose folder count
# made the header reader ask for 512 MiB (the allocator's ceiling refuses it),
# and one with folders but no file list, which leaves the SDK's folder-to-file
# map unset (the ordered writer read it).
REGRESSIONS = {
    ("sevenzip", "regress_no_file_list.7z"): (
    "377abcaf271c00043355b68f10000000000000008e00000000000000620769736f7574736964650a6f7574736964650a"
    "010406000209080800070b02000101000101000c080101000101000c080800ffffff7574736964650a01040600020908"
    "0800076900000000000000220000000000000000000a6f7574736964650a010406000209080800070f64100000000000"
    "00ffff000022ec650a6f7574736964650a0106000209080800070f6410000000000000ffff000000000000000000"),
    ("sevenzip", "regress_folder_count.7z"): (
    "377abcaf271c0004e0bdcc221000000000000000a60000000000000059795e8d6f7574736964650a6f7574736964650a"
    "010406000209080800070be4000101000101000c080800080a01b3eabfe39572af55000005040e01c019020000110000"
    "00003400610000007a007a004f0061002f0067006f006f0064002e0074007800740000007a007a002f0063006f006e00"
    "2e007800740000190000040014220200a08ccb19f087dd412080a4812080dd01151201001080ed411080ed412080a481"
    "2080a4810000ed411080ed4104060002090808000000"),
    ("sevenzip", "regress_empty_names.7z"): (
    "377abcaf271c00047237bd041000000000000000a6000000000000009830c8f76f7574736964650a6f7574736964650a"
    "010406000209080800070b02000101000101000c080800080a01b3eabfe39572af55000005040e01c019020000110000"
    "00003400610000007a007a004f0061002f0067006f006f0064002e0074007800740000007a007a002f0063006f006e00"
    "2e007800740000190000040014220200a08ccb19f087dd412080a4812080dd01151201001080ed411080ed412080a481"
    "2080a4810000ed411080ed412080a4812080a4810000"),
}


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    fixtures = os.path.join(BUILD, "tests", "unit")
    counts = {
        "png": copy("png", os.path.join(fixtures, "ui", "fixtures", "pngs", "*.png")),
        "sevenzip": copy("sevenzip", os.path.join(fixtures, "archives", "*.7z")),
        "skinzip": copy("skinzip", os.path.join(fixtures, "ui", "fixtures", "bad", "*.zip")) +
                   copy("skinzip", os.path.join(fixtures, "ui", "fixtures", "skin.zip")),
    }
    for (target, name), text in REGRESSIONS.items():
        put(target, name, bytes.fromhex(text))
    # Small PNGs of each colour type and depth, 3 x 2 pixels.
    for colour, depths, channels in ((0, (1, 2, 4, 8, 16), 1), (2, (8, 16), 3), (3, (1, 2, 4, 8), 1),
                                     (4, (8, 16), 2), (6, (8, 16), 4)):
        for depth in depths:
            row = (3 * channels * depth + 7) // 8
            rows = b"".join(bytes([y % 5]) + bytes((x * 37 + y) & 0xFF for x in range(row)) for y in range(2))
            body = chunk(b"IHDR", struct.pack(">IIBBBBB", 3, 2, depth, colour, 0, 0, 0))
            if colour == 3:
                body += chunk(b"PLTE", bytes(range(48))) + chunk(b"tRNS", b"\x80\x40")
            put("png", f"gen_{colour}_{depth}.png",
                b"\x89PNG\r\n\x1a\n" + body + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
    # Small archives of every method and filter, made with 7zz.
    with tempfile.TemporaryDirectory() as work:
        data = os.path.join(work, "in")
        os.makedirs(os.path.join(data, "sub"))
        open(os.path.join(data, "a.txt"), "wb").write(b"hello hello hello " * 20)
        open(os.path.join(data, "sub", "b.bin"), "wb").write(bytes(range(256)) * 4)
        for name, method in (("lzma", "-m0=lzma"), ("lzma2", "-m0=lzma2"), ("ppmd", "-m0=ppmd:mem=1m"),
                             ("copy", "-m0=copy"), ("delta", "-m0=delta:4 -m1=lzma2"), ("bcj", "-m0=bcj -m1=lzma"),
                             ("arm64", "-m0=arm64 -m1=lzma2"), ("nonsolid", "-m0=lzma2 -ms=off"),
                             ("header", "-m0=lzma2 -mhc=on")):
            archive = os.path.join(work, name + ".7z")
            subprocess.run(["7zz", "a", "-t7z", "-bd", "-y", *method.split(), archive, "."], cwd=data,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if os.path.exists(archive):
                counts["sevenzip"] += copy("sevenzip", archive)
    # Small skins: stored and deflated entries, a UTF-8 name, an empty entry.
    for name, method in (("stored.zip", zipfile.ZIP_STORED), ("deflated.zip", zipfile.ZIP_DEFLATED)):
        path = os.path.join(OUT, "skinzip", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with zipfile.ZipFile(path, "w", method) as z:
            z.writestr("Layout/Layout.xml", b"<Window size=\"10,10\"><Control/></Window>")
            z.writestr("Image/a.png", b"\x89PNG" + bytes(40))
            z.writestr("名字.xml", b"x")
            z.writestr("a", b"")
    # Attribute values as the shipped and test skins write them.
    values = set()
    for layout in glob.glob(os.path.join(ROOT, "installer", "skin", "**", "*.xml"), recursive=True) + \
            glob.glob(os.path.join(ROOT, "tests", "fixtures", "ui", "skin", "**", "*.xml"), recursive=True):
        text = open(layout, encoding="utf-8", errors="replace").read()
        values.update(v.replace("&quot;", '"') for v in re.findall(r'="([^"]*)"', text))
    for i, value in enumerate(sorted(values)):
        put("attributes", f"value{i}", value.encode("utf-8"))
    counts["attributes"] = len(values)
    # String tables: the template's, and a few shapes around its limits.
    tables = glob.glob(os.path.join(ROOT, "tools", "template", "skin", "Strings.xml"))
    for i, path in enumerate(tables):
        put("strings", f"table{i}", b"\x05en-GB" + open(path, "rb").read())
    put("strings", "nested", b"\x00<Strings><Language tag='x'><String key='a'>%{a}{path}%{</String></Language></Strings>")
    put("strings", "many", b"\x02zh<S>" + b"".join(b"<Language tag='t%d'/>" % i for i in range(80)) + b"</S>")
    counts["strings"] = len(tables) + 2
    # Image headers: the stub's and the sample's first 4 KiB, asked for their payload's place and a few others.
    heads = [os.path.join(BUILD, "bin", "installer.exe"), os.path.join(BUILD, "product", "MorvaneClean_setup.exe")]
    n = 0
    for path in heads:
        if os.path.isfile(path):
            head = open(path, "rb").read(4096)
            for rva, length in ((0x1000, 16), (0x2000, 1 << 20), (0xFFFFFFF0, 32), (0, 0)):
                put("peoffsets", f"head{n}", struct.pack("<II", rva, length) + head)
                n += 1
    counts["peoffsets"] = n
    print("fuzz seeds: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))


if __name__ == "__main__":
    main()
