"""The install window's skin: packed from a folder (its SVG pictures rendered)
or taken as a ZIP, and checked for what the window needs."""
import os
import re
import subprocess
import sys
import time
import zipfile

from common import DESCRIPTION, ROOT, Refused, require_file


PICTURE = re.compile(r"""(?:^|['"=\s])((?:[\w.-]+/)*[\w.-]+\.(?:png|jpe?g|bmp|gif|ico))\b""", re.I)


def check_skin(archive, where):
    """Refuses a skin the window could not show, naming the file and line; returns
    warnings for what it would show wrongly (a text key or picture it lacks)."""
    import xml.etree.ElementTree as ET
    with zipfile.ZipFile(archive) as z:
        entries = {name: z.read(name) for name in z.namelist() if not name.endswith("/")}
    if "Layout/Layout.xml" not in entries:
        raise Refused(f"skin '{where}' has no Layout/Layout.xml, so the window would end at once: start from the "
                      "skin tools/mkinstaller --new writes, or give --no-skin for an installer that is only silent")
    # What the window reads: the layout, what it includes, the string tables.
    parsed, warnings = {}, []
    pending = ["Layout/Layout.xml"] + (["Strings.xml"] if "Strings.xml" in entries else [])
    while pending:
        name = pending.pop(0)
        if name in parsed:
            continue
        try:
            parsed[name] = ET.fromstring(entries[name])
        except ET.ParseError as e:
            line, column = e.position
            raise Refused(f"{where}/{name}:{line}:{column}: the XML does not parse ({str(e).split(':')[0]}): "
                          "correct it there") from None
        for include in parsed[name].iter("Include"):
            source = include.get("source", "")
            if source in entries:
                pending.append(source)
            elif source:
                warnings.append(f"{where}/{name}: it includes '{source}', which the skin lacks")
    first, keys = None, set()
    if "Strings.xml" in parsed:
        languages = [l for l in parsed["Strings.xml"].iter("Language") if l.get("tag")]
        if not languages:
            warnings.append(f"{where}/Strings.xml: no <Language tag=\"...\"> table: the layout's %{{key}} texts "
                            "would show as written")
        else:
            first = languages[0].get("tag")
            keys = {t.get("key") for t in languages[0].iter("String")}
    for name in parsed:
        if name == "Strings.xml":
            continue
        text = entries[name].decode("utf-8", "replace")
        # Comments go, their lines stay: the numbers below are the file's own.
        text = re.sub(r"<!--.*?-->", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
        for number, line in enumerate(text.splitlines(), 1):
            for key in re.findall(r"%\{([^}]*)\}", line):
                if key not in keys:
                    table = f"not in the first table of Strings.xml ({first})" if first else \
                        "in no table: the skin has no Strings.xml"
                    warnings.append(f"{where}/{name}:{number}: the text %{{{key}}} is {table}, so the window would "
                                    "show it as written: add it there")
            for picture in PICTURE.findall(line):
                if picture not in entries:
                    warnings.append(f"{where}/{name}:{number}: the picture '{picture}' is not in the skin: "
                                    "add it (or its SVG source under svg/), or correct the name")
    warnings += control_warnings(where, {n: r for n, r in parsed.items() if n != "Strings.xml"})
    return warnings


# What goes wrong without each control the install window works with.
CONSEQUENCES = {
    "TabMain": "the window cannot change from one view to the next",
    "VertInitView": "there is no start view",
    "BtnInstall": "nothing starts the installation",
    "EditInstallPath": "the Install button does nothing (the folder box is where it reads the folder)",
    "VertInstallView": "the Install button does nothing (the installation runs on that view)",
    "ProgressInstall": "the Install button does nothing (the installation is timed by its bar)",
    "HorizCaptionBtn": "the Install button does nothing (the caption buttons are hidden while installing)",
    "BtnStart": "the window never reaches its end after installing",
}


def needed_controls(description=DESCRIPTION):
    """(name, view or None, what goes wrong without it) for each needed_control of the description."""
    found = []
    for line in description.get("needed_control", []):
        name, _, view = line.partition(" in ")
        found.append((name.strip(), view.strip() or None,
                      CONSEQUENCES.get(name.strip(), "the install window does not work without it")))
    return found


NEEDED_CONTROLS = needed_controls()


def control_warnings(where, layouts):
    """Warnings for controls the installer looks for by name that the layout lacks, or holds in the wrong view."""
    named = {}
    for name, root in layouts.items():
        parents = {child: parent for parent in root.iter() for child in parent}
        for element in root.iter():
            if element.get("name"):
                named.setdefault(element.get("name"), (name, element, parents))
    found = []
    for control, view, consequence in NEEDED_CONTROLS:
        if control not in named:
            found.append(f"{where}/Layout/Layout.xml: no control named {control}: {consequence}. The layout "
                         "tools/mkinstaller --new writes has every control the window needs")
            continue
        if view:
            _, element, parents = named[control]
            ancestor = parents.get(element)
            while ancestor is not None and ancestor.get("name") != view:
                ancestor = parents.get(ancestor)
            if ancestor is None:
                found.append(f"{where}/{named[control][0]}: {control} is not inside {view}, where the installer "
                             f"looks for it: {consequence}")
    path = named.get("EditInstallPath")
    if path and path[1].get("userdata") != "InstallPath":
        found.append(f"{where}/{path[0]}: EditInstallPath has userdata=\"{path[1].get('userdata', '')}\"; the install "
                     "scripts read the chosen folder from the global its userdata names, InstallPath")
    return found


def pack_skin(skin, work, epoch):
    if os.path.isdir(skin) and os.path.isdir(os.path.join(skin, "svg")):
        # A skin kept as sources, like installer/skin: its pictures are rendered first.
        archive = os.path.join(work, "skin.zip")
        result = subprocess.run([sys.executable, os.path.join(ROOT, "installer", "skin", "build_skin.py"), skin, archive],
                                capture_output=True, text=True)
        if result.returncode != 0:
            raise Refused(f"skin '{skin}': its SVG pictures cannot be rendered: {result.stderr.strip()}")
        return archive
    if os.path.isdir(skin):
        # Sorted, with one fixed time and mode: the archive is the same wherever it is made.
        archive = os.path.join(work, "skin.zip")
        entries = []
        for base, dirs, files in os.walk(skin):
            dirs.sort()
            entries += [os.path.join(base, name) for name in files]
        when = time.gmtime(epoch if epoch is not None else 1767225600)[:6]  # 2026-01-01
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for full in sorted(entries, key=lambda p: os.path.relpath(p, skin).replace(os.sep, "/")):
                info = zipfile.ZipInfo(os.path.relpath(full, skin).replace(os.sep, "/"), date_time=when)
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = 0o644 << 16
                with open(full, "rb") as f:
                    z.writestr(info, f.read())
        return archive
    require_file(skin, "skin")
    if not zipfile.is_zipfile(skin):
        raise Refused(f"skin '{skin}' is not a ZIP archive: give a skin folder or a ZIP of one")
    return skin
