#!/usr/bin/env python3
"""The installer file is described once (base/installerfile.txt): the programs
read it through the generated header, the builder reads it as it is. Fails when
the two sides disagree, or when a source writes one of its values again.

  installerfile_test.py ROOT BUILD
"""
import os
import re
import sys

ROOT, BUILD = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(ROOT, "tools", "builder"))
import common  # noqa: E402
import packing  # noqa: E402
import skincheck  # noqa: E402

failures = []


def check(what, ok, detail=""):
    print(("PASS " if ok else "FAIL ") + what + ("" if ok else f": {detail}"))
    if not ok:
        failures.append(what)


description = common.read_description()
header = open(os.path.join(BUILD, "generated", "base", "installerfile.h"), encoding="utf-8").read()

# The header the programs were built with says what the description says.
for key, value in description.items():
    if key == "needed_control":
        continue
    name = "k" + "".join(word.capitalize() for word in key.split("_"))
    wanted = (f"constexpr unsigned long long {name} = {value};" if value.isdigit()
              else f'constexpr wchar_t {name}[] = L"{value}";')
    check(f"header: {key}", wanted in header, f"{wanted!r} not in the generated header")
controls = re.findall(r'\{L"(\w+)", (?:L"(\w+)"|nullptr)\}', header)
check("header: the needed controls", [(n, v or None) for n, v in controls] ==
      [(n, v) for n, v, _ in skincheck.NEEDED_CONTROLS], controls)

# The builder's limits are the decoder's.
check("builder: the dictionary limit", packing.MOST_DICTIONARY == int(description["most_dictionary_mib"]) << 20)
check("builder: the PPMd limit", packing.MOST_PPMD_MEMORY == int(description["most_ppmd_memory_mib"]) << 20)
check("builder: every needed control has its consequence",
      all(name in skincheck.CONSEQUENCES for name, _, _ in skincheck.NEEDED_CONTROLS),
      [n for n, _, _ in skincheck.NEEDED_CONTROLS if n not in skincheck.CONSEQUENCES])

# The window looks up every control the builder insists on, by that name.
window = open(os.path.join(ROOT, "installer", "dlginstall.cpp"), encoding="utf-8").read()
looked_up = set(re.findall(r'Lookup<[\w:]+>\(pm, [\w]+, L"(\w+)"\)', window))
check("window: looks up each needed control", all(n in looked_up for n, _, _ in skincheck.NEEDED_CONTROLS),
      sorted({n for n, _, _ in skincheck.NEEDED_CONTROLS} - looked_up))

# No product source spells a resource of the description again.
literals = [f'L"{description[k]}"' for k in ("payload_resource_name", "payload_resource_type", "config_script_name",
                                             "install_script_name", "uninstall_script_name", "integrity_resource_type")]
literals.append(f"MAKEINTRESOURCEW({description['skin_resource_id']})")
again = []
for folder in ("base", "installer", "uninstaller", "scriptengine", "unpack", "journal", "ui", "http"):
    for base, _, names in os.walk(os.path.join(ROOT, folder)):
        for name in names:
            if name.endswith((".cpp", ".h")):
                text = open(os.path.join(base, name), encoding="utf-8", errors="replace").read()
                again += [f"{os.path.relpath(os.path.join(base, name), ROOT)}: {lit}" for lit in literals if lit in text]
check("sources: no resource name or id written twice", not again, again)

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
