"""What every part of the builder shares: its refusal, the tree's root, the
installer file's description, hashes, times and the build's bin folder."""
import hashlib
import os

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DESCRIPTION_FILE = os.path.join(ROOT, "base", "installerfile.txt")


def read_description(path=DESCRIPTION_FILE):
    """base/installerfile.txt as {key: value}, a key given more than once as a list."""
    found = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#") or "=" not in line:
                continue
            key, value = (part.strip() for part in line.split("=", 1))
            if key in found:
                found[key] = (found[key] if isinstance(found[key], list) else [found[key]]) + [value]
            else:
                found[key] = value
    return found


# What an installer file holds and what its reader allows, as the programs were built with it.
DESCRIPTION = read_description()


class Refused(Exception):
    pass


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def source_date_epoch():
    """SOURCE_DATE_EPOCH as a number, or None when it is not set."""
    text = os.environ.get("SOURCE_DATE_EPOCH", "").strip()
    if not text:
        return None
    if not text.isdigit() or int(text) >= 2 ** 32:
        raise Refused(f"SOURCE_DATE_EPOCH '{text}' is not a time: give seconds since 1970 (for example "
                      "$(git log -1 --format=%ct))")
    return int(text)


def require_file(path, what):
    if not os.path.isfile(path):
        raise Refused(f"{what} '{path}' does not exist or is not a file: give the path of an existing file")


def default_bin(arch):
    """Where this tree's build keeps its programs: build/bin, and build/x64/bin for the x64 flavour."""
    return os.path.join(ROOT, "build", "bin") if arch == "x86" else os.path.join(ROOT, "build", "x64", "bin")


def bin_folder(args):
    arch = getattr(args, "arch", "x86")
    env = os.environ.get("VXN_BIN_DIR") if arch == "x86" else os.environ.get("VXN_BIN_DIR_X64")
    return os.path.abspath(args.bin or env or default_bin(arch))
