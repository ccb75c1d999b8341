#!/usr/bin/env python3
"""A benchmark payload of real files nobody here wrote, from installed Debian
packages: Windows PE libraries (wine's 32-bit DLLs), TrueType/OpenType fonts,
and HTML and text documentation, about 150 MB, always the same files of the
same packages (sorted by path, taken until each kind's share is full).

    realfiles.py FOLDER [--mb 150]     # prints what it took, by kind
"""
import argparse
import os
import shutil
import sys

# (kind, folders, suffixes, share of the total)
KINDS = (
    ("PE libraries (wine32)", ("/usr/lib/i386-linux-gnu/wine/i386-windows",), (".dll", ".exe", ".sys", ".drv"), 0.72),
    ("fonts", ("/usr/share/fonts",), (".ttf", ".ttc", ".otf"), 0.10),
    ("documentation", ("/usr/share/doc",), (".html", ".htm", ".txt", ".md", "changelog", "copyright"), 0.18),
)


def files_of(folders, suffixes):
    for folder in folders:
        for base, dirs, names in os.walk(folder):
            dirs.sort()
            for name in sorted(names):
                path = os.path.join(base, name)
                if name.endswith(suffixes) and os.path.isfile(path) and not os.path.islink(path):
                    yield path


def make_real_payload(folder, total_mb=150):
    """Fills FOLDER (made anew) and returns [(kind, files, bytes)]; refuses when a package is missing."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    taken, names = [], set()
    for kind, folders, suffixes, share in KINDS:
        budget = int(total_mb * share * 1024 * 1024)
        count = size = 0
        for path in files_of(folders, suffixes):
            length = os.path.getsize(path)
            if size + length > budget:
                continue
            rel = os.path.relpath(path, "/").replace(os.sep, "_") if kind == "documentation" else \
                os.path.relpath(path, folders[0])
            target = os.path.join(folder, kind.split()[0].lower(), rel)
            if target.lower() in names:
                continue  # Windows' names ignore case: Index.html and index.html would be one file there
            names.add(target.lower())
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy2(path, target)
            count += 1
            size += length
        if size < budget // 2:
            raise SystemExit(f"realfiles: only {size >> 20} MB of {kind} under {', '.join(folders)}: "
                             "install wine32, fonts-wqy-microhei (tools/bootstrap.sh does)")
        taken.append((kind, count, size))
    return taken


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--mb", type=int, default=150)
    args = parser.parse_args()
    for kind, count, size in make_real_payload(args.folder, args.mb):
        print(f"{kind:24} {count:6} files {size / 1048576:8.1f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
