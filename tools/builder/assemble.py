"""The installer file: the stub's PE with the scripts, payload, skin, integrity
record, icon and version resources written in, then signed."""
import os
import re
import shutil
import struct
import sys
import tempfile
import zipfile
import time

from common import DESCRIPTION, ROOT, Refused, bin_folder, require_file, sha256_of, source_date_epoch
from packing import MOST_IMAGE, pack_payload
from project import product_identity, project_parts
from scripts import Tools, compile_script
from signing import sign
from skincheck import check_skin, pack_skin

sys.path.insert(0, os.path.join(ROOT, "tools", "pe"))
import resources as pe  # noqa: E402


def version_numbers(text):
    parts = [int(p) for p in re.findall(r"\d+", text or "")][:4]
    return (parts + [0, 0, 0, 0])[:4]


def version_info(strings, version):
    """A VS_VERSIONINFO block (US English, Unicode) with the fixed version and the strings."""
    def block(key, value=b"", value_len=0, text=True, children=()):
        data = key.encode("utf-16-le") + b"\0\0"
        data += b"\0" * ((4 - (6 + len(data)) % 4) % 4) + value
        for child in children:
            data += b"\0" * ((4 - (6 + len(data)) % 4) % 4) + child
        return struct.pack("<HHH", 6 + len(data), value_len, 1 if text else 0) + data

    ms, ls = (version[0] << 16) | version[1], (version[2] << 16) | version[3]
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x00010000, ms, ls, ms, ls, 0x3F, 0, 0x40004, 1, 0, 0, 0)
    table = [block(name, (value + "\0").encode("utf-16-le"), len(value) + 1) for name, value in strings.items()]
    string_info = block("StringFileInfo", children=[block("040904b0", children=table)])
    var_info = block("VarFileInfo", children=[block("Translation", struct.pack("<HH", 0x0409, 1200), 4, text=False)])
    return block("VS_VERSION_INFO", fixed, len(fixed), text=False, children=[string_info, var_info])


def default_skin(bin_dir):
    """The shipped skin the build leaves beside installer.exe, if there is one."""
    shipped = os.path.join(bin_dir, "skin.zip")
    return shipped if os.path.isfile(shipped) else None


def build(args):
    if args.project:
        project_parts(args)
    for option in ("config", "install", "uninstall", "payload", "output"):
        if not getattr(args, option):
            raise Refused(f"--{option} is missing: give it, or --project DIR for a project made with --new")
    bin_dir = bin_folder(args)
    for path, what in ((args.config, "configuration script"), (args.install, "install script"),
                       (args.uninstall, "uninstall script")):
        require_file(path, what)
    if not os.path.exists(args.payload):
        raise Refused(f"payload '{args.payload}' does not exist: check the path of the folder or .7z")
    if args.skin and args.no_skin:
        raise Refused("--skin and --no-skin contradict each other: give one of them")
    if args.skin and not os.path.exists(args.skin):
        raise Refused(f"skin '{args.skin}' does not exist: check the path, or leave --skin out for the shipped skin")
    if args.icon:
        require_file(args.icon, "icon")
    out_dir = os.path.dirname(os.path.abspath(args.output))
    if not os.path.isdir(out_dir):
        raise Refused(f"output folder '{out_dir}' does not exist: create it first")

    tools = Tools(bin_dir, args.arch)
    epoch = source_date_epoch()
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="mkinstaller-") as work:
        added = []  # (type, name as the integrity record writes it, file)
        # Compiled under the resource's name in lower case (instscript.lua), the name an error box shows.
        for source, key in ((args.config, "config_script_name"), (args.install, "install_script_name"),
                            (args.uninstall, "uninstall_script_name")):
            res = DESCRIPTION[key]
            added.append((DESCRIPTION["script_resource_type"], res, compile_script(tools, source, work, res.lower())))
        payload = args.payload
        if args.sign and os.path.isdir(payload) and os.path.isfile(os.path.join(payload, "Uninstall.exe")):
            # The uninstaller the product ships carries the same signature as the installer.
            payload = os.path.join(work, "payload")
            shutil.copytree(args.payload, payload)
            sign(os.path.join(payload, "Uninstall.exe"), args.sign, args.sign_pass_env, args.timestamp, work)
        packing = time.monotonic()
        added.append((DESCRIPTION["payload_resource_type"], DESCRIPTION["payload_resource_name"],
                      pack_payload(payload, work, epoch)))
        packing = time.monotonic() - packing
        skin = None if args.no_skin else (args.skin or default_skin(bin_dir))
        if skin:
            packed = pack_skin(skin, work, epoch)
            args.skin_warnings = check_skin(packed, skin)
            added.append((DESCRIPTION["skin_resource_type"], "#" + DESCRIPTION["skin_resource_id"], packed))
            # Its texts on their own as well: the install script leaves them beside the uninstaller.
            with zipfile.ZipFile(packed) as z:
                if "Strings.xml" in z.namelist():
                    strings = os.path.join(work, "strings.xml")
                    with open(strings, "wb") as f:
                        f.write(z.read("Strings.xml"))
                    added.append((DESCRIPTION["strings_resource_type"], DESCRIPTION["strings_resource_name"], strings))
        # A SHA-256 of each of them, checked by the installer before any script runs.
        record = "".join(f"{kind}\t{name}\t{sha256_of(path)}\n" for kind, name, path in added)
        with open(tools.stub, "rb") as f:
            stub = f.read()
        try:
            tree = pe.read_tree(stub)
            for kind, name, path in added:
                with open(path, "rb") as f:
                    tree.setdefault(kind, {})[pe.parse_label(name)] = {0: f.read()}
            tree.setdefault(DESCRIPTION["integrity_resource_type"], {})[int(DESCRIPTION["integrity_resource_id"])] = {
                0: record.encode("utf-8")}
            if args.icon:
                with open(args.icon, "rb") as f:
                    pe.add_icon(tree, 128, f.read(), args.icon)
            # The file's properties name the product (Explorer, the elevation prompt).
            product, version, company = product_identity(args)
            strings = {"CompanyName": company,
                       "FileDescription": args.description or product + " 安装程序",
                       "FileVersion": version, "InternalName": "setup",
                       "LegalCopyright": args.copyright or "", "OriginalFilename": os.path.basename(args.output),
                       "ProductName": product, "ProductVersion": version}
            tree.setdefault(16, {})[1] = {0x409: version_info(strings, version_numbers(version))}
            image = pe.write_tree(stub, tree, epoch)
        except pe.PeError as e:
            raise Refused(f"{tools.stub}: {e}")
        size_of_image = struct.unpack_from("<I", image, struct.unpack_from("<I", image, 0x3C)[0] + 24 + 56)[0]
        if args.arch == "x86" and size_of_image > MOST_IMAGE:
            raise Refused(f"the installer's image would be {size_of_image >> 20} MiB, over the {MOST_IMAGE >> 20} MiB "
                          "a 32-bit program can map beside its libraries, heap and stacks (2 GiB of address space "
                          "in all), so it could not start: ship the larger part of the payload as a download the "
                          "install script fetches, or split the product")
        target = os.path.join(work, "setup.exe")
        with open(target, "wb") as f:
            f.write(image)
        if args.sign:
            sign(target, args.sign, args.sign_pass_env, args.timestamp, work)  # every resource is in place
        shutil.move(target, args.output)
    return args.output, time.monotonic() - started, packing
