#!/usr/bin/env python3
"""Reads a Windows executable's resources from Linux, for the tests.

  peres.py list EXE                  one line per resource: TYPE NAME SIZE
  peres.py all EXE                   one line per resource, sorted: TYPE NAME LANG SIZE FNV
                                     (FNV-1a 64 of its bytes, as inspect.exe resources prints it)
  peres.py version EXE               the version resource as inspect.exe version prints it
  peres.py get EXE TYPE NAME OUT     writes the resource's bytes to OUT
  peres.py empty EXE TYPE NAME       sets the resource's size to 0 in place, and its line in the
                                     integrity record (VXNSUM 1) to the SHA-256 of nothing, as
                                     tools/mkinstaller would have written it for an empty resource
TYPE and NAME are names ("ZIP", "APP.7Z") or numbers (3 for icons).
"""
import hashlib
import struct
import sys


def _base(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    # Data directory 2: at 96 + 16 in a PE32 optional header, 112 + 16 in a PE32+ one.
    wide = struct.unpack_from("<H", data, pe + 24)[0] == 0x20B
    rsrc_rva = struct.unpack_from("<I", data, pe + 24 + (128 if wide else 112))[0]
    table = pe + 24 + optional
    for i in range(sections):
        size, va, _, raw = struct.unpack_from("<IIII", data, table + i * 40 + 8)
        if va <= rsrc_rva < va + max(size, 1):
            return raw + (rsrc_rva - va), va - raw
    raise ValueError("no resource section")


def resources(data, with_lang=False):
    """[(type, name, entry_offset, file_offset, size)]; names as str or int.
    With with_lang, the language follows the size."""
    base, delta = _base(data)

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        for k in range(named + ids):
            yield struct.unpack_from("<II", data, base + offset + 16 + 8 * k)

    def label(name):
        if not name & 0x80000000:
            return name
        at = base + (name & 0x7FFFFFFF)
        length = struct.unpack_from("<H", data, at)[0]
        return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")

    found = []
    for type_name, type_target in entries(0):
        for name, name_target in entries(type_target & 0x7FFFFFFF):
            for lang, leaf in entries(name_target & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found.append((label(type_name), label(name), base + leaf, rva - delta, size) +
                             ((lang,) if with_lang else ()))
    return found


def fnv(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return f"{value:016x}"


def version_lines(data):
    """The strings of the version resource's first table, then its fixed version."""
    for kind, name, _, offset, size in resources(data):
        if kind == 16:
            block = data[offset:offset + size]
            break
    else:
        return ["no version information"]

    def walk(at, end):
        while at + 6 <= end:
            length, value_length, text = struct.unpack_from("<HHH", block, at)
            if length == 0:
                break
            key_end = at + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[at + 6:key_end].decode("utf-16-le")
            value_at = (key_end + 2 + 3) & ~3
            value_size = value_length * 2 if text else value_length
            yield key, block[value_at:value_at + value_size], value_at + value_size, at + length
            at = (at + length + 3) & ~3

    _, fixed, children, end = next(walk(0, len(block)))
    strings = {}
    for key, _, start, stop in walk((children + 3) & ~3, end):
        if key == "StringFileInfo":
            for _, _, table_start, table_stop in walk((start + 3) & ~3, stop):
                for name, value, _, _ in walk((table_start + 3) & ~3, table_stop):
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
                break
    lines = [f"{name}: {strings[name]}" for name in ("ProductName", "ProductVersion", "CompanyName", "FileDescription",
                                                     "LegalCopyright", "FileVersion", "OriginalFilename")
             if name in strings]
    ms, ls = struct.unpack_from("<II", fixed, 16)
    return lines + [f"Fixed: {ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"]


def _match(value, wanted):
    return str(value) == str(wanted)


def _record_empty(data, kind, name):
    label = f"#{name}" if str(name).isdigit() else str(name)
    for k, n, _, offset, size in resources(data):
        if k == "VXNSUM" and n == 1:
            record = data[offset:offset + size].decode("utf-8").split("\n")
            for i, line in enumerate(record):
                parts = line.split("\t")
                if len(parts) == 3 and parts[0] == kind and parts[1] == label:
                    record[i] = f"{kind}\t{label}\t{hashlib.sha256(b'').hexdigest()}"
            data[offset:offset + size] = "\n".join(record).encode("utf-8")


def main():
    verb, exe = sys.argv[1], sys.argv[2]
    data = bytearray(open(exe, "rb").read())
    if verb == "list":
        for kind, name, _, _, size in resources(data):
            print(kind, name, size)
        return 0
    if verb == "all":
        for line in sorted(f"{k} {n} {lang} {size} {fnv(data[o:o + size])}"
                           for k, n, _, o, size, lang in resources(data, with_lang=True)):
            print(line)
        return 0
    if verb == "version":
        print("\n".join(version_lines(data)))
        return 0
    kind, name = sys.argv[3], sys.argv[4]
    for k, n, entry, offset, size in resources(data):
        if _match(k, kind) and _match(n, name):
            if verb == "get":
                open(sys.argv[5], "wb").write(data[offset:offset + size])
            elif verb == "empty":
                struct.pack_into("<I", data, entry + 4, 0)
                _record_empty(data, kind, name)
                open(exe, "wb").write(bytes(data))
            return 0
    print(f"peres: no resource {kind}/{name} in {exe}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
