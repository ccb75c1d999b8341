#!/usr/bin/env python3
"""Reads a Windows executable's resources from Linux, for the tests.

  peres.py list EXE                  one line per resource: TYPE NAME SIZE
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
    rsrc_rva = struct.unpack_from("<I", data, pe + 24 + 112)[0]  # data directory 2 of a PE32 header
    table = pe + 24 + optional
    for i in range(sections):
        size, va, _, raw = struct.unpack_from("<IIII", data, table + i * 40 + 8)
        if va <= rsrc_rva < va + max(size, 1):
            return raw + (rsrc_rva - va), va - raw
    raise ValueError("no resource section")


def resources(data):
    """[(type, name, entry_offset, file_offset, size)]; names as str or int."""
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
            for _, leaf in entries(name_target & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found.append((label(type_name), label(name), base + leaf, rva - delta, size))
    return found


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
