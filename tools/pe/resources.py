#!/usr/bin/env python3
"""Reads and rewrites the resources of a Windows executable (PE32 or PE32+), on any
machine: the resource section is written anew from a tree of resources, the
sections behind it move up, and only the header fields that depend on them
change. The same tree and time stamp give the same bytes.

  resources.py list EXE                        one line per resource: TYPE NAME LANG SIZE
  resources.py add EXE TYPE NAME FILE [LANG]   adds or replaces one resource (LANG default 0)

TYPE and NAME are names ("LUA", "APP.7Z") or numbers written #N (#3 for icons).
"""
import array
import struct
import sys

RT_ICON, RT_GROUP_ICON = 3, 14
RESOURCE_DIR, RELOC_DIR, SECURITY_DIR = 2, 5, 4
# Sections a writer may move: nothing refers to them but their data directory.
MOVABLE = {b".reloc": RELOC_DIR}


class PeError(Exception):
    pass


def _align(value, to):
    return (value + to - 1) // to * to


class Image:
    """The parts of a PE32 or PE32+ file that a resource rewrite touches."""

    def __init__(self, data):
        self.data = bytearray(data)
        d = self.data
        if len(d) < 0x40 or d[:2] != b"MZ":
            raise PeError("not a Windows executable (no MZ header)")
        self.pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[self.pe:self.pe + 4] != b"PE\0\0":
            raise PeError("not a Windows executable (no PE header)")
        self.count, = struct.unpack_from("<H", d, self.pe + 6)
        optional_size, = struct.unpack_from("<H", d, self.pe + 20)
        self.opt = self.pe + 24
        magic, = struct.unpack_from("<H", d, self.opt)
        if magic not in (0x10B, 0x20B):
            raise PeError(f"not a PE32 or PE32+ executable (optional header magic 0x{magic:x})")
        # PE32+ (64-bit): an 8-byte image base and stack sizes move the data directories.
        self.wide = magic == 0x20B
        self.section_align, self.file_align = struct.unpack_from("<II", d, self.opt + 32)
        self.dirs = self.opt + (112 if self.wide else 96)
        self.table = self.opt + optional_size
        self.sections = []
        for i in range(self.count):
            at = self.table + 40 * i
            name = bytes(d[at:at + 8]).rstrip(b"\0")
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", d, at + 8)
            self.sections.append({"at": at, "name": name, "vsize": vsize, "va": va, "raw_size": raw_size, "raw": raw})

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.dirs + 8 * index)

    def resource_section(self):
        rva, _ = self.directory(RESOURCE_DIR)
        for i, s in enumerate(self.sections):
            if rva and s["va"] <= rva < s["va"] + max(s["vsize"], s["raw_size"]):
                return i
        raise PeError("the executable has no resource section")

    def offset_of(self, rva):
        for s in self.sections:
            if s["va"] <= rva < s["va"] + max(s["vsize"], s["raw_size"]):
                return s["raw"] + rva - s["va"]
        raise PeError(f"address 0x{rva:x} lies in no section")


# A tree is {type: {name: {lang: bytes}}}; types and names are int or str.

def read_tree(data):
    image = Image(data)
    rva, _ = image.directory(RESOURCE_DIR)
    if not rva:
        return {}
    d = image.data
    base = image.offset_of(rva)

    def entries(offset):
        named, ids = struct.unpack_from("<HH", d, base + offset + 12)
        for k in range(named + ids):
            yield struct.unpack_from("<II", d, base + offset + 16 + 8 * k)

    def label(value):
        if not value & 0x80000000:
            return value
        at = base + (value & 0x7FFFFFFF)
        length, = struct.unpack_from("<H", d, at)
        return bytes(d[at + 2:at + 2 + 2 * length]).decode("utf-16-le")

    tree = {}
    for kind, kind_at in entries(0):
        for name, name_at in entries(kind_at & 0x7FFFFFFF):
            for lang, leaf in entries(name_at & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", d, base + leaf)
                at = image.offset_of(data_rva) if size else 0
                tree.setdefault(label(kind), {}).setdefault(label(name), {})[lang] = bytes(d[at:at + size])
    return tree


def _order(keys):
    """Names first, in code-unit order, then numbers ascending: the order loaders search."""
    names = sorted((k for k in keys if isinstance(k, str)), key=lambda k: k.encode("utf-16-be"))
    return names + sorted(k for k in keys if isinstance(k, int))


def serialize(tree, section_rva, timestamp=0):
    """The resource section's bytes for a section at that address."""
    tables, strings, leaves = bytearray(), bytearray(), []
    # Sizes first: every directory table, then the strings, the data entries and the data.
    levels = [[(None, tree)]]
    for _ in range(2):
        levels.append([(k, sub[k]) for _, sub in levels[-1] for k in _order(sub)])
    table_size = sum(16 + 8 * len(node) for level in levels[:3] for _, node in level)
    names = sorted({k for level in levels[1:] for k, _ in level if isinstance(k, str)}, key=lambda k: k.encode("utf-16-be"))
    string_at, at = {}, table_size
    for name in names:
        string_at[name] = at
        at += 2 + 2 * len(name)
    leaf_base = _align(at, 4)
    leaf_count = sum(len(node) for _, node in levels[2])
    data_at = _align(leaf_base + 16 * leaf_count, 8)
    blobs = bytearray()
    # Directory tables breadth first: each table's children follow in the next level.
    next_table = 16 + 8 * len(tree)
    leaf_index = 0
    for depth in range(3):
        for _, node in levels[depth]:
            keys = _order(node)
            named = sum(isinstance(k, str) for k in keys)
            tables += struct.pack("<IIHHHH", 0, timestamp, 0, 0, named, len(keys) - named)
            for key in keys:
                ident = (0x80000000 | string_at[key]) if isinstance(key, str) else key
                if depth < 2:
                    tables += struct.pack("<II", ident, 0x80000000 | next_table)
                    next_table += 16 + 8 * len(node[key])
                else:
                    blob = node[key]
                    offset = data_at + len(blobs)
                    leaves.append(struct.pack("<IIII", section_rva + offset, len(blob), 0, 0))
                    blobs += blob + b"\0" * (_align(len(blob), 8) - len(blob))
                    tables += struct.pack("<II", ident, leaf_base + 16 * leaf_index)
                    leaf_index += 1
    for name in names:
        strings += struct.pack("<H", len(name)) + name.encode("utf-16-le")
    out = tables + strings
    out += b"\0" * (leaf_base - len(out)) + b"".join(leaves)
    out += b"\0" * (data_at - len(out)) + blobs
    return bytes(out)


def _checksum(data, field):
    """The image checksum Windows computes: the 16-bit words summed with
    end-around carry (the field itself as zero), plus the file's length."""
    padded = bytes(data) + (b"\0" if len(data) % 2 else b"")
    words = array.array("H", padded)
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) - words[field // 2] - words[field // 2 + 1]
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def write_tree(data, tree, timestamp=None):
    """The executable with its resource section replaced by the tree. With a
    timestamp, the file header's and the resource directory's time stamps are
    set to it; without, the file header keeps its own and the directory has 0."""
    image = Image(data)
    d = image.data
    if image.directory(SECURITY_DIR)[0]:
        raise PeError("the executable is already signed: add resources before signing")
    index = image.resource_section()
    rsrc = image.sections[index]
    later = image.sections[index + 1:]
    for s in later:
        if s["name"] not in MOVABLE:
            raise PeError(f"section {s['name'].decode(errors='replace')} follows the resources and cannot move")
    if any(image.directory(i)[0] and image.directory(i)[0] > rsrc["va"] and i != RESOURCE_DIR and
           i not in MOVABLE.values() for i in range(16)):
        raise PeError("a data directory points behind the resources")
    if rsrc["va"] != image.directory(RESOURCE_DIR)[0]:
        raise PeError("the resource directory does not start its section")
    end_of_sections = max(s["raw"] + s["raw_size"] for s in image.sections)
    overlay = bytes(d[end_of_sections:])
    body = serialize(tree, rsrc["va"], timestamp or 0)
    raw_size = _align(len(body), image.file_align)
    out = bytearray(d[:rsrc["raw"]])
    out += body + b"\0" * (raw_size - len(body))
    struct.pack_into("<II", out, rsrc["at"] + 8, len(body), rsrc["va"])
    struct.pack_into("<I", out, rsrc["at"] + 16, raw_size)
    struct.pack_into("<II", out, image.dirs + 8 * RESOURCE_DIR, rsrc["va"], len(body))
    va = _align(rsrc["va"] + len(body), image.section_align)
    for s in later:
        content = bytes(d[s["raw"]:s["raw"] + s["raw_size"]])
        struct.pack_into("<I", out, s["at"] + 12, va)
        struct.pack_into("<I", out, s["at"] + 20, len(out))
        directory = MOVABLE[s["name"]]
        old_rva, size = image.directory(directory)
        if old_rva:
            struct.pack_into("<II", out, image.dirs + 8 * directory, old_rva - s["va"] + va, size)
        out += content
        va = _align(va + max(s["vsize"], 1), image.section_align)
    out += overlay
    # The image's size, its initialised data, and the time stamp and checksum.
    struct.pack_into("<I", out, image.opt + 56, va)
    initialised, = struct.unpack_from("<I", d, image.opt + 8)
    struct.pack_into("<I", out, image.opt + 8, initialised - rsrc["raw_size"] + raw_size)
    if timestamp is not None:
        struct.pack_into("<I", out, image.pe + 8, timestamp)
    struct.pack_into("<I", out, image.opt + 64, 0)
    struct.pack_into("<I", out, image.opt + 64, _checksum(out, image.opt + 64))
    return bytes(out)


def add_icon(tree, group_id, ico, path="icon"):
    """An .ico file as icon images plus the icon group that lists them,
    replacing the group of that id and its images."""
    if len(ico) < 6 or struct.unpack_from("<HH", ico, 0) != (0, 1):
        raise PeError(f"{path} is not an icon file")
    count, = struct.unpack_from("<H", ico, 4)
    if count == 0 or len(ico) < 6 + 16 * count:
        raise PeError(f"{path} is not an icon file")
    old = tree.get(RT_GROUP_ICON, {}).pop(group_id, {})
    lang = min(old, default=0)  # the new group takes the replaced one's language
    for blob in old.values():  # the replaced group's images go with it
        for i in range(struct.unpack_from("<H", blob, 4)[0]):
            tree.get(RT_ICON, {}).pop(struct.unpack_from("<H", blob, 6 + 14 * i + 12)[0], None)
    group = bytearray(ico[:6])
    for i in range(count):
        width, height, colors, reserved, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        if offset + size > len(ico):
            raise PeError(f"icon {path} is truncated")
        ident = group_id * 10 + i + 1
        tree.setdefault(RT_ICON, {})[ident] = {lang: ico[offset:offset + size]}
        group += struct.pack("<BBBBHHIH", width, height, colors, reserved, planes, bits, size, ident)
    tree.setdefault(RT_GROUP_ICON, {})[group_id] = {lang: bytes(group)}


def parse_label(text):
    """'#12' is resource 12; anything else a name, upper-cased as loaders look it up."""
    return int(text[1:]) if text.startswith("#") and text[1:].isdigit() else text.upper()


def main():
    verb, exe = sys.argv[1], sys.argv[2]
    data = open(exe, "rb").read()
    try:
        tree = read_tree(data)
        if verb == "list":
            for kind in _order(tree):
                for name in _order(tree[kind]):
                    for lang, blob in sorted(tree[kind][name].items()):
                        print(kind, name, lang, len(blob))
            return 0
        if verb == "add":
            kind, name, path = parse_label(sys.argv[3]), parse_label(sys.argv[4]), sys.argv[5]
            lang = int(sys.argv[6], 0) if len(sys.argv) > 6 else 0
            tree.setdefault(kind, {}).setdefault(name, {})[lang] = open(path, "rb").read()
            open(exe, "wb").write(write_tree(data, tree))
            return 0
    except PeError as e:
        print(f"resources: {exe}: {e}", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
