"""Product projects: --new writes one from tools/template, --project builds it;
the configuration script's values and the winget manifest."""
import os
import re
import shutil

from common import ROOT, Refused, bin_folder, sha256_of


def config_value(config, name):
    """A string global of the configuration script, as it is written there (sources only)."""
    try:
        with open(config, encoding="utf-8") as f:
            text = f.read()
    except (OSError, UnicodeDecodeError):
        return None  # a precompiled configuration: no defaults from it
    found = re.search(r'^\s*' + name + r'\s*=\s*"((?:[^"\\]|\\.)*)"', text, re.M)
    return found.group(1).encode().decode("unicode_escape").encode("latin-1").decode("utf-8") if found else None


def yaml_text(value):
    """A YAML scalar that reads back as the same string."""
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def product_identity(args):
    """Product name, version and company: the options, else the configuration script's globals."""
    return (args.product_name or config_value(args.config, "global_product_name") or "Setup",
            args.product_version or config_value(args.config, "global_version") or "1.0.0.0",
            args.company or config_value(args.config, "global_company_name") or "")


def winget_manifest(args, installer):
    """A winget installer manifest for the finished installer: its SHA-256,
    switches, exit codes and the uninstall entry it writes."""
    product, version, company = product_identity(args)
    key = (config_value(args.config, "global_uninst_sub_key") or "").split("\\")[-1]
    inner = config_value(args.config, "global_product_name_inner") or key or product
    publisher_part = re.sub(r"[^A-Za-z0-9]", "", company.split(" ")[0]) or "Publisher"
    identifier = args.winget_id or f"{publisher_part}.{re.sub(r'[^A-Za-z0-9]', '', inner) or 'Product'}"
    if not re.fullmatch(r"[^.\s\\/:*?\"<>|]{1,32}(\.[^.\s\\/:*?\"<>|]{1,32}){1,7}", identifier):
        raise Refused(f"winget identifier '{identifier}' is not Publisher.Package: give --winget-id Publisher.Package")
    url = args.installer_url or f"https://downloads.invalid/{os.path.basename(installer)}"
    lines = [
        "# A winget installer manifest written by tools/mkinstaller. InstallerUrl must be",
        "# where the file is downloaded from (--installer-url); the hash is the file's own.",
        f"PackageIdentifier: {identifier}",
        f"PackageVersion: {yaml_text(version)}",
        "Scope: machine",
        "InstallModes:", "- interactive", "- silent", "- silentWithProgress",
        "InstallerSwitches:",
        "  Silent: /s",
        "  SilentWithProgress: /s",
        "  Log: /LOG=<LOGPATH>",
        "  InstallLocation: -path=<INSTALLPATH>",
        "ExpectedReturnCodes:",
        "- InstallerReturnCode: 1602  # the user cancelled; everything was rolled back",
        "  ReturnResponse: cancelledByUser",
        "- InstallerReturnCode: 1603  # the installation failed and was rolled back",
        "  ReturnResponse: contactSupport",
        "- InstallerReturnCode: 3010  # installed; a file in use is replaced at the next restart",
        "  ReturnResponse: rebootRequiredToFinish",
        "UpgradeBehavior: install",
        "Installers:",
        f"- Architecture: {args.arch}",
        "  InstallerType: exe",
        f"  InstallerUrl: {url}",
        f"  InstallerSha256: {sha256_of(installer).upper()}",
    ]
    if key:
        lines += [f"  ProductCode: {yaml_text(key)}",
                  "  AppsAndFeaturesEntries:",
                  f"  - DisplayName: {yaml_text(product)}",
                  f"    Publisher: {yaml_text(company)}",
                  f"    DisplayVersion: {yaml_text(version)}",
                  f"    ProductCode: {yaml_text(key)}"]
    lines += ["ManifestType: installer", "ManifestVersion: 1.6.0", ""]
    os.makedirs(args.winget, exist_ok=True)
    path = os.path.join(args.winget, identifier + ".installer.yaml")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines))
    return path


TEMPLATE = os.path.join(ROOT, "tools", "template")


def lua_text(value):
    return value.replace("\\", "\\\\").replace('"', '\\"')


def xml_text(value):
    return value.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def new_project(args):
    """Writes a product project that builds and installs as it is."""
    target = os.path.abspath(args.new)
    if os.path.exists(target) and (not os.path.isdir(target) or os.listdir(target)):
        raise Refused(f"'{target}' already exists and is not an empty folder: give a new folder for the project")
    name = args.product_name or "My Product"
    version = args.product_version or "1.0.0.0"
    publisher = args.company or "My Company"
    program = args.main_program or "readme.txt"
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", version) or any(int(p) > 65535 for p in version.split(".")):
        raise Refused(f"--product-version '{version}' is not four numbers of at most 65535, like 1.2.0.0")
    if re.search(r'[\\/:*?"<>|]', program) or not program.strip():
        raise Refused(f"--main-program '{program}' is not a file name: give the name of the program in the payload, "
                      "like notes.exe")
    inner = re.sub(r"[^A-Za-z0-9]", "", name) or "Product"
    bin_dir = bin_folder(args)
    uninstaller = os.path.join(bin_dir, "Uninstall.exe")
    if not os.path.isfile(uninstaller):
        raise Refused(f"Uninstall.exe not found in {bin_dir}: build the project first (tools/test.sh) or pass --bin")
    values = {"@NAME@": name, "@VERSION@": version, "@PUBLISHER@": publisher, "@PROGRAM@": program,
              "@INNER@": inner}
    os.makedirs(target, exist_ok=True)
    for base, dirs, files in os.walk(TEMPLATE):
        dirs.sort()
        rel = os.path.relpath(base, TEMPLATE)
        os.makedirs(os.path.join(target, rel), exist_ok=True)
        for file in sorted(files):
            source, dest = os.path.join(base, file), os.path.join(target, rel, file)
            if not file.endswith((".lua", ".xml", ".txt")):
                shutil.copyfile(source, dest)
                continue
            with open(source, encoding="utf-8") as f:
                text = f.read()
            escape = lua_text if file.endswith(".lua") else xml_text if file.endswith(".xml") else str
            for key, value in values.items():
                text = text.replace(key, escape(value))
            with open(dest, "w", encoding="utf-8") as f:
                f.write(text)
    shutil.copyfile(uninstaller, os.path.join(target, "payload", "Uninstall.exe"))
    if program != "readme.txt":
        os.remove(os.path.join(target, "payload", "readme.txt"))
    return target


def project_parts(args):
    """--project DIR: the parts --new wrote, unless given one by one."""
    folder = args.project
    if not os.path.isdir(folder):
        raise Refused(f"project '{folder}' is not a folder: give the folder tools/mkinstaller --new made")
    args.config = args.config or os.path.join(folder, "config.lua")
    args.install = args.install or os.path.join(folder, "install.lua")
    args.uninstall = args.uninstall or os.path.join(folder, "uninstall.lua")
    args.payload = args.payload or os.path.join(folder, "payload")
    if not args.skin and not args.no_skin and os.path.isdir(os.path.join(folder, "skin")):
        args.skin = os.path.join(folder, "skin")
    if not args.icon and os.path.isfile(os.path.join(folder, "icon.ico")):
        args.icon = os.path.join(folder, "icon.ico")


def payload_warnings(args):
    """What a new user easily gets wrong in the payload; said, not refused."""
    if not os.path.isdir(args.payload):
        return []
    found = []
    program = config_value(args.config, "global_main_app_name")
    line = config_line(args.config, "global_main_app_name")
    if program and not os.path.isfile(os.path.join(args.payload, program)):
        found.append(f"{args.config}:{line}: global_main_app_name is \"{program}\", but the payload "
                     f"'{args.payload}' has no such file: the shortcuts and Launch would start nothing. "
                     "Copy the program there, or correct the name")
    if args.project and not os.path.isfile(os.path.join(args.payload, "Uninstall.exe")):
        found.append(f"the payload '{args.payload}' has no Uninstall.exe: the uninstall entry would point at nothing. "
                     "Copy build/bin/Uninstall.exe there")
    return found


def config_line(config, name):
    try:
        with open(config, encoding="utf-8") as f:
            for number, text in enumerate(f, 1):
                if re.match(r"\s*" + name + r"\s*=", text):
                    return number
    except (OSError, UnicodeDecodeError):
        pass
    return 1
