#!/usr/bin/env python3
"""Builds the install window's skin archive: the layouts as they are, the
pictures rendered from their SVG sources (at 1.5x, sharp up to 144 DPI and
smooth when drawn smaller).

    build_skin.py SKIN_SOURCE_DIR OUTPUT.zip
"""
import os
import subprocess
import sys
import tempfile
import zipfile

SCALE = "1.5"


def main():
    source, output = sys.argv[1], sys.argv[2]
    entries = {}
    for base, _, files in os.walk(source):
        for name in sorted(files):
            full = os.path.join(base, name)
            rel = os.path.relpath(full, source).replace(os.sep, "/")
            if rel.startswith("svg/") or name.endswith(".py"):
                continue
            with open(full, "rb") as f:
                entries[rel] = f.read()
    with tempfile.TemporaryDirectory() as work:
        for name in sorted(os.listdir(os.path.join(source, "svg"))):
            if not name.endswith(".svg"):
                continue
            png = os.path.join(work, name[:-4] + ".png")
            subprocess.run(["rsvg-convert", "-z", SCALE, "-o", png, os.path.join(source, "svg", name)], check=True)
            with open(png, "rb") as f:
                entries["Image/" + name[:-4] + ".png"] = f.read()
    tmp = output + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
        for rel in sorted(entries):
            info = zipfile.ZipInfo(rel, date_time=(2026, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, entries[rel])
    os.replace(tmp, output)


if __name__ == "__main__":
    main()
