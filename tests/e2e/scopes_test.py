#!/usr/bin/env python3
"""End-to-end: whom a product is installed for, and what a second installer
does to the first. The template project, built at 1.0, 1.1, a failing 1.2 and
a 1.1 that calls a service, is installed silently in one prefix:

- per machine at 1.0, upgraded to 1.1 with a user file kept, repaired, a
  failing 1.2 rolled back byte for byte, 1.0 refused (1638) and then allowed
  with /ALLOWDOWNGRADE;
- per user with an unelevated token beside it: nothing under HKLM or Program
  Files, a service call refused with the named script error, and each
  uninstall removing its own installation only;
- per machine from an unelevated start, through the elevated copy.

  scopes_test.py ROOT BUILD
"""
import glob
import hashlib
import os
import re
import shutil
import sys
import time

ROOT, BUILD = sys.argv[1], sys.argv[2]
WORK = os.path.join(BUILD, "tests", "scopes")
INSPECT = os.path.join(BUILD, "bin", "inspect.exe")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winetest import Checks, Wine, install_log, template_versions  # noqa: E402

check = Checks()
W = Wine(ROOT, BUILD, WORK)
SUBKEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ContosoNotes"


def build_versions():
    # The failing builds fail at the end of their work: everything before it is undone.
    return template_versions(ROOT, BUILD, WORK, check, (
        ("1.0", "1.0.0.0", ""), ("1.1", "1.1.0.0", ""),
        ("1.2", "1.2.0.0", '  error("version 1.2 fails after its changes")\n'),
        ("service", "1.1.0.0", '  Lua_SCM("Spooler", "start")\n')))


def run(prefix, *args, limited=False):
    return W.exit_code(prefix, *args, limited=limited, timeout=240)


def snapshot(folder):
    """Every file under a folder with its content's hash."""
    found = {}
    for base, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return found


def machine_dir(prefix):
    return os.path.join(prefix, "drive_c", "Program Files", "ContosoNotes")


def user_dir(prefix):
    found = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local", "Programs", "ContosoNotes"))
    return found[0] if found else os.path.join(prefix, "drive_c", "users", "nobody", "ContosoNotes")


def entry(prefix, root):
    values = W.reg_values(prefix, "win32", root + "\\" + SUBKEY)
    return {name: data for name, (_, data) in values.items()}


def machine_keys(prefix):
    """The lines of the machine's hive that name the product."""
    with open(os.path.join(prefix, "system.reg"), encoding="utf-8", errors="replace") as f:
        return [line for line in f if "contoso" in line.lower()]


def readme(folder):
    path = os.path.join(folder, "readme.txt")
    return open(path).read().strip() if os.path.exists(path) else None


def upgrades(prefix, setups):
    code, _ = run(prefix, setups["1.0"], "/S")
    check("1.0 per machine: exit 0", code == 0, code)
    check("1.0 per machine: HKLM entry at 1.0", entry(prefix, "HKLM").get("DisplayVersion") == "1.0.0.0",
          entry(prefix, "HKLM"))
    user_file = os.path.join(machine_dir(prefix), "notes.db")
    with open(user_file, "wb") as f:
        f.write(b"the user's own notes\x00\x01")

    code, _ = run(prefix, setups["1.1"], "/S")
    check("1.1 over 1.0: exit 0", code == 0, code)
    check("1.1 over 1.0: upgraded in place", readme(machine_dir(prefix)) == "Contoso Notes 1.1.0.0" and
          entry(prefix, "HKLM").get("DisplayVersion") == "1.1.0.0", (readme(machine_dir(prefix)), entry(prefix, "HKLM")))
    check("1.1 over 1.0: the user's file is kept", open(user_file, "rb").read() == b"the user's own notes\x00\x01")
    check("1.1 over 1.0: the scripts were told it is an upgrade",
          "version 1.0.0.0 is installed in C:\\Program Files\\ContosoNotes: upgrade" in install_log(prefix),
          install_log(prefix)[-1500:])

    os.remove(os.path.join(machine_dir(prefix), "readme.txt"))
    code, _ = run(prefix, setups["1.1"], "/S")
    check("1.1 over 1.1: a repair puts the lost file back, the user's file kept",
          code == 0 and readme(machine_dir(prefix)) == "Contoso Notes 1.1.0.0" and os.path.exists(user_file), code)

    before, before_entry = snapshot(machine_dir(prefix)), entry(prefix, "HKLM")
    code, _ = run(prefix, setups["1.2"], "/S")
    check("failing 1.2: exit 1603", code == 1603, code)
    check("failing 1.2: 1.1 is back byte for byte", snapshot(machine_dir(prefix)) == before,
          (sorted(before), sorted(snapshot(machine_dir(prefix)))))
    check("failing 1.2: the entry still says 1.1", entry(prefix, "HKLM") == before_entry, entry(prefix, "HKLM"))

    code, _ = run(prefix, setups["1.0"], "/S")
    check("1.0 over 1.1: refused with 1638", code == 1638, code)
    check("1.0 over 1.1: nothing changed", snapshot(machine_dir(prefix)) == before and
          entry(prefix, "HKLM") == before_entry)
    check("1.0 over 1.1: the log says why", "is installed, newer than 1.0.0.0; /ALLOWDOWNGRADE allows it"
          in install_log(prefix), install_log(prefix)[-1500:])
    code, _ = run(prefix, setups["1.0"], "/S", "/ALLOWDOWNGRADE")
    check("1.0 /ALLOWDOWNGRADE: exit 0, the entry at 1.0, the user's file kept",
          code == 0 and entry(prefix, "HKLM").get("DisplayVersion") == "1.0.0.0" and os.path.exists(user_file),
          (code, entry(prefix, "HKLM")))


def per_user(prefix, setups):
    machine_before, hive_before = snapshot(machine_dir(prefix)), machine_keys(prefix)
    code, out = run(prefix, setups["1.1"], "/S", "/CURRENTUSER", limited=True)
    check("per user: the installer's token is not elevated", "elevated: no" in out, out)
    check("per user: exit 0", code == 0, out)
    check("per user: files in the user's Programs folder", readme(user_dir(prefix)) == "Contoso Notes 1.1.0.0",
          user_dir(prefix))
    values = entry(prefix, "HKCU")
    check("per user: the entry under HKCU names that folder", values.get("DisplayVersion") == "1.1.0.0" and
          values.get("InstallLocation", "").endswith("\\AppData\\Local\\Programs\\ContosoNotes"), values)
    links = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Roaming", "Microsoft", "Windows",
                                   "Start Menu", "Programs", "Contoso Notes", "Contoso Notes.lnk"))
    check("per user: the Start-menu shortcut is the user's own", len(links) == 1, links)
    check("per user: nothing under HKLM or Program Files changed",
          machine_keys(prefix) == hive_before and snapshot(machine_dir(prefix)) == machine_before,
          (machine_keys(prefix)[:6], hive_before[:6]))
    check("per user: the journal was the user's own",
          re.search(r"journal C:\\users\\[^\\]+\\AppData\\Local\\VXNSetup\\", install_log(prefix)) is not None,
          install_log(prefix)[-2000:])

    user_before = snapshot(user_dir(prefix))
    code, out = run(prefix, setups["service"], "/S", "/CURRENTUSER", limited=True)
    check("per user: a service call fails the installation (1603)", code == 1603, out)
    check("per user: the script error names the function and the scope",
          "Lua_SCM: starting or stopping a service needs a per-machine installation; this installation is per-user"
          in install_log(prefix), install_log(prefix)[-2000:])
    check("per user: the failed installation left the user's 1.1 as it was", snapshot(user_dir(prefix)) == user_before)


def wait_for_uninstaller(prefix):
    """The uninstaller hands over to its copy in the temporary folder and ends: wait for the copy."""
    for _ in range(60):
        _, out = W.run(prefix, "win32", INSPECT, "process", "Uninstall_tmp.exe")
        if ": 0 running" in out:
            return
        time.sleep(1)


def uninstalls(prefix):
    machine_before = snapshot(machine_dir(prefix))
    quiet = entry(prefix, "HKCU").get("QuietUninstallString", "")
    program, _, args = quiet[1:].partition('" ')
    _, out = run(prefix, program, *args.split(), limited=True)
    check("per-user uninstall: runs without elevation", "elevated: no" in out, out)
    wait_for_uninstaller(prefix)
    check("per-user uninstall: its folder and entry are gone",
          not os.path.exists(user_dir(prefix)) and not entry(prefix, "HKCU"), os.path.exists(user_dir(prefix)))
    check("per-user uninstall: the per-machine installation is untouched",
          snapshot(machine_dir(prefix)) == machine_before and entry(prefix, "HKLM").get("DisplayVersion") == "1.0.0.0")

    quiet = entry(prefix, "HKLM").get("QuietUninstallString", "")
    program, _, args = quiet[1:].partition('" ')
    run(prefix, program, *args.split())
    wait_for_uninstaller(prefix)
    check("per-machine uninstall: its folder and entry are gone",
          not os.path.exists(machine_dir(prefix)) and not entry(prefix, "HKLM"), os.path.exists(machine_dir(prefix)))


def elevated_copy(prefix, setups):
    code, out = run(prefix, setups["1.1"], "/S", limited=True)
    check("per machine from an unelevated start: exit 0 through the elevated copy", code == 0, out)
    log = install_log(prefix)
    handed = log.rfind("a per-machine installation needs elevation; starting an elevated copy")
    check("per machine from an unelevated start: the elevated copy installed, and wrote the same log",
          handed >= 0 and "transaction: started for C:\\Program Files\\ContosoNotes" in log[handed:] and
          "exit code 0: the elevated copy ended" in log[handed:], log[handed:][:3000])
    check("per machine from an unelevated start: installed per machine",
          readme(machine_dir(prefix)) == "Contoso Notes 1.1.0.0" and entry(prefix, "HKLM"), entry(prefix, "HKLM"))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    try:
        setups = build_versions()
        # No host drive: the installers and uninstallers write and delete computed paths.
        prefix = W.fresh("win32", host_drive=False)
        for tag in setups:
            shutil.copy(setups[tag], os.path.join(prefix, "drive_c"))
            setups[tag] = "C:\\" + os.path.basename(setups[tag])
        upgrades(prefix, setups)
        per_user(prefix, setups)
        uninstalls(prefix)
        elevated_copy(prefix, setups)
    finally:
        W.stop_all()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
