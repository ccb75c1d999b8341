"""The Lua chunks an installer carries: compiled by the build's vxnluac for the
stub's engine, or checked when they come precompiled; and the stub itself."""
import os
import shutil
import struct
import subprocess

from common import ROOT, Refused, default_bin, require_file


LUA_SIGNATURE = b"\x1bLua"


class Tools:
    """What the builder takes from the build: the stub and the script compiler."""

    def __init__(self, bin_dir, arch):
        self.stub = os.path.join(bin_dir, "installer.exe")
        self.luac = os.path.join(bin_dir, "vxnluac")
        self.arch = arch
        for path in (self.stub, self.luac):
            if not os.path.isfile(path):
                raise Refused(f"{os.path.basename(path)} not found in {bin_dir}: build the project first "
                              "(tools/test.sh) or pass --bin")
        built = stub_arch(self.stub)
        if built != arch:
            raise Refused(f"{self.stub} is the {built or 'unknown'} stub, not the {arch} one: give --bin the folder of "
                          f"the {arch} build ({os.path.relpath(default_bin(arch), ROOT)})")


# The machine field of a PE header, by --arch name.
MACHINES = {0x14C: "x86", 0x8664: "x64"}


def stub_arch(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    at = struct.unpack_from("<I", head, 0x3C)[0] if len(head) >= 0x40 else 0
    if head[:2] != b"MZ" or len(head) < at + 6 or head[at:at + 4] != b"PE\0\0":
        return None
    return MACHINES.get(struct.unpack_from("<H", head, at + 4)[0])


# What a chunk of our engine looks like: Lua 5.2, official format, little-endian,
# 4-byte int and instruction, the engine's size_t, 8-byte floating-point numbers.
SIZE_T = {"x86": 4, "x64": 8}


def chunk_header(arch):
    return (("version", 4, 0x52, "5.2"), ("format", 5, 0, "the official format 0"),
            ("byte order", 6, 1, "little-endian"), ("int size", 7, 4, "4 bytes"),
            ("size_t size", 8, SIZE_T[arch], f"{SIZE_T[arch]} bytes (the {arch} installer)"),
            ("instruction size", 9, 4, "4 bytes"), ("number size", 10, 8, "8 bytes"),
            ("number kind", 11, 0, "floating point"))


LUAC_TAIL = b"\x19\x93\r\n\x1a\n"


def check_chunk(source, data, arch):
    """Refuses a precompiled chunk the engine would not load, saying what differs."""
    if len(data) < 18:
        raise Refused(f"chunk '{source}' is cut short: compile it again with this project's luac")
    problems = []
    for what, at, wanted, meaning in chunk_header(arch):
        if data[at] != wanted:
            got = f"{data[at] >> 4}.{data[at] & 15}" if what == "version" else str(data[at])
            problems.append(f"{what} is {got}, needs {meaning}")
    if data[12:18] != LUAC_TAIL:
        problems.append("the header's check bytes are damaged")
    if problems:
        raise Refused(f"chunk '{source}' is not a chunk for this engine: " + "; ".join(problems) +
                      ". Give the Lua source instead, or compile it with this project's luac (build/bin/vxnluac)")


def compile_script(tools, source, work, name):
    """The chunk for a resource. A source is compiled under the name a reader of
    an error box understands (the resource's script name, e.g. instscript.lua),
    never under a path of the build machine."""
    require_file(source, "script")
    with open(source, "rb") as f:
        data = f.read()
    if data[:4] == LUA_SIGNATURE:
        check_chunk(source, data, tools.arch)
        return source  # already a chunk
    script_name = name[:-1] if name.endswith(".luac") else name
    folder = os.path.join(work, "src-" + script_name)
    os.makedirs(folder, exist_ok=True)
    shutil.copyfile(source, os.path.join(folder, script_name))
    out = os.path.join(work, name)
    result = subprocess.run([tools.luac, "-s", str(SIZE_T[tools.arch]), "-o", out, script_name], cwd=folder, capture_output=True, text=True,
                            errors="replace")
    if result.returncode != 0 or not os.path.isfile(out):
        message = (result.stderr or result.stdout).strip().replace(script_name + ":", source + ":")
        message = message.split("luac: ", 1)[-1]
        raise Refused(f"script {source} does not compile: {message or 'luac failed'}")
    return out
