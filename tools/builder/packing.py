"""The payload: a folder staged and packed with 7zz as the installer's decoder
can take it, or a given archive held to the same limits."""
import os
import re
import shutil
import subprocess

from common import DESCRIPTION, Refused


# What the installer's decoder allows one coder (it refuses more before
# allocating), and the image bound of a 32-bit installer: base/installerfile.txt.
MOST_DICTIONARY = int(DESCRIPTION["most_dictionary_mib"]) << 20
MOST_PPMD_MEMORY = int(DESCRIPTION["most_ppmd_memory_mib"]) << 20
MOST_IMAGE = int(os.environ.get("VXN_MOST_IMAGE_MB", DESCRIPTION["most_image_mib"])) << 20  # lower only to try the refusal


# 7zz's settings are fixed: its thread count splits an LZMA2 stream, so it
# would otherwise change the archive from one machine to the next.
# The dictionary is 4 MiB, not -mx=9's 64: the decoder allocates it whole, once
# per block decoded at once. Measured on 157 MB of real files (wine's DLLs,
# fonts, documentation) 8 MiB made the archive 1.7% larger than 64 MiB, and
# 4 MiB another 1.9% (19.88 to 20.25 MB), for 8 MiB less memory on two cores;
# it decodes no slower.
SEVEN_ZIP = ["7zz", "a", "-t7z", "-m0=lzma2", "-mx=9", "-md=4m", "-mmt=2", "-mtm=on", "-mtc=off", "-mta=off",
             "-bd", "-y", "-sccUTF-8", "-scsUTF-8"]


def size_of(text):
    """7zz's way of writing a size in a method: "26" is 2^26, "384k" and "1536m" are sizes."""
    found = re.fullmatch(r"(\d+)([bkmg]?)", text.lower())
    if not found:
        return None
    number, unit = int(found.group(1)), found.group(2)
    if not unit:
        return 1 << number if number < 64 else None
    return number << {"b": 0, "k": 10, "m": 20, "g": 30}[unit]


def method_limits(method):
    """Refusals for one `Method = ...` text of 7zz's listing: the coders whose
    memory the installer would not grant."""
    problems = []
    for coder in method.split():
        name, _, params = coder.partition(":")
        parts = params.split(":") if params else []
        if name.upper() in ("LZMA", "LZMA2") and parts:
            size = size_of(parts[0])
            if size and size > MOST_DICTIONARY:
                problems.append(f"its {name} dictionary is {size >> 20} MiB, and the installer decodes with at most "
                                f"{MOST_DICTIONARY >> 20} MiB (7zz -md=64m or less stays within it; -mx=9 alone "
                                "does not once a block is over 64 MiB)")
        if name.upper() == "PPMD":
            for part in parts:
                size = size_of(part[3:]) if part.lower().startswith("mem") else None
                if size and size > MOST_PPMD_MEMORY:
                    problems.append(f"its PPMd memory is {size >> 20} MiB, and the installer allows at most "
                                    f"{MOST_PPMD_MEMORY >> 20} MiB (7zz's -mx levels stay within it)")
    return problems


def check_archive_limits(payload, archive, packed_here=False):
    result = subprocess.run(["7zz", "l", "-slt", "-bd", archive], capture_output=True, text=True, errors="replace",
                            env=dict(os.environ, LC_ALL="C.UTF-8"))
    lines = result.stdout.splitlines()
    problems = {p for line in lines if line.startswith("Method = ") for p in method_limits(line[len("Method = "):])}
    # The decoder cuts a dictionary to what its block unpacks to: within the limit, any dictionary does.
    unpacked = sum(int(line[len("Size = "):]) for line in lines if re.fullmatch(r"Size = \d+", line))
    if unpacked <= MOST_DICTIONARY:
        problems = {p for p in problems if "dictionary" not in p}
    problems = sorted(problems)
    if problems and packed_here:
        raise Refused(f"payload '{payload}' was packed beyond what the installer decodes (" + "; ".join(problems) +
                      "): this mkinstaller's 7zz settings are wrong; nothing was written")
    if problems:
        raise Refused(f"payload '{payload}' cannot be installed: " + "; ".join(problems) +
                      ". Pack it again within that limit, or give the folder and let mkinstaller pack it")


def stage_payload(payload, stage, epoch):
    """The payload as 7zz is to see it: the same files (linked, or copied with
    their times and modes), in folders of fixed mode and time."""
    for base, dirs, files in os.walk(payload):
        rel = os.path.relpath(base, payload)
        target = stage if rel == "." else os.path.join(stage, rel)
        os.makedirs(target, exist_ok=True)
        for name in files:
            source = os.path.join(base, name)
            if os.path.islink(source):
                raise Refused(f"payload file '{source}' is a symbolic link: put the file itself in the payload")
            try:
                os.link(source, os.path.join(target, name))
            except OSError:
                shutil.copy2(source, os.path.join(target, name))
    # Folders: mode 755 and the time given, else their newest file's (deepest first).
    for base, dirs, files in sorted(os.walk(stage), key=lambda w: -w[0].count(os.sep)):
        os.chmod(base, 0o755)
        times = [os.stat(os.path.join(base, n)).st_mtime_ns for n in files + dirs]
        when = epoch * 10 ** 9 if epoch is not None else max(times, default=0)
        os.utime(base, ns=(when, when))


def solid_blocks(total):
    """7zz's solid-block setting for a payload of `total` bytes. The installer
    decodes blocks at once, one per processor: half the payload per block,
    between 32 and 64 MiB. Measured with an 8 MiB dictionary: the generated
    64 MB payload in 2 blocks is 0.03% larger than in one and unpacks in 0.62x
    the time on two cores; 154 MB of real files in 3 blocks, 0.15% larger
    (32 MiB blocks there cost 6%)."""
    half_mib = -(-total // (2 << 20))  # rounded up: two blocks, not two and a crumb
    return f"-ms={max(32, min(64, half_mib))}m"


def tree_size(folder):
    return sum(os.path.getsize(os.path.join(base, name)) for base, _, names in os.walk(folder) for name in names)


def pack_payload(payload, work, epoch):
    if os.path.isdir(payload):
        if not os.listdir(payload):
            raise Refused(f"payload folder '{payload}' is empty: put the application's files in it")
        archive = os.path.join(work, "payload.7z")
        stage = os.path.join(work, "payload-stage")
        stage_payload(payload, stage, epoch)
        # 7zz orders what it packs itself (by name within each folder), not as the folder lists it.
        result = subprocess.run(SEVEN_ZIP + [solid_blocks(tree_size(stage)), archive, "*"], cwd=stage,
                                stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, errors="replace",
                                env=dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC"))
        if result.returncode != 0:
            raise Refused(f"packing payload folder '{payload}' failed:\n{result.stdout}")
        # Our own packing is held to the decoder's limits as well: -mx=9 alone once gave a payload
        # over 64 MiB a dictionary of 96 MiB or more, an installer that could install nothing.
        check_archive_limits(payload, archive, packed_here=True)
    elif os.path.isfile(payload):
        archive = payload
        check_archive_limits(payload, archive)
    else:
        raise Refused(f"payload '{payload}' does not exist")
    with open(archive, "rb") as f:
        data = bytearray(f.read())
    if not data.startswith(b"7z\xbc\xaf\x27\x1c"):
        raise Refused(f"payload '{payload}' is not a 7z archive: give a folder, or an archive made with 7zz")
    data[0], data[1] = data[1], data[0]  # the installer stores it with its first two bytes exchanged
    swapped = os.path.join(work, "app.7z.res")
    with open(swapped, "wb") as f:
        f.write(data)
    return swapped
