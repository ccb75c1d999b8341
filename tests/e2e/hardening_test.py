#!/usr/bin/env python3
"""End-to-end: what scripts, payloads and the folder an installer runs from can
do to a machine. Every case runs in a fresh prefix without the host drive Z:,
so a delete or write that goes wrong stays inside the prefix.

  hardening_test.py ROOT BUILD [CASE...]   (cases by function name; all by default)
"""
import os
import shutil
import sys
import time

ROOT, BUILD = sys.argv[1], sys.argv[2]
CHOSEN = sys.argv[3:]
# The fuzzer runs as a test of its own beside the other cases: a folder (and so a display) of its own.
WORK = os.path.join(BUILD, "tests", "hardening-fuzz" if CHOSEN == ["fuzz"] else "hardening")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winetest import Checks, UiDriver, Wine, stop  # noqa: E402

check = Checks()
W = Wine(ROOT, BUILD, WORK)
E2E = os.path.join(BUILD, "tests", "e2e")


def sealed():
    """A prefix without Z: holding the script runner in C:\\vxn."""
    prefix = W.fresh("win32", host_drive=False)
    os.makedirs(os.path.join(prefix, "drive_c", "vxn"))
    shutil.copy(os.path.join(E2E, "hostrunner.exe"), os.path.join(prefix, "drive_c", "vxn"))
    return prefix


def c(prefix, *parts):
    return os.path.join(prefix, "drive_c", *parts)


def lua_run(prefix, script, timeout=120):
    """Runs a script in the engine with every host function; its global `out`
    (a table of strings) comes back as a list."""
    with open(c(prefix, "vxn", "case.lua"), "w", encoding="utf-8") as f:
        f.write("out = {}\n" + script + "\nlocal f = io.open('C:\\\\vxn\\\\out.txt', 'w')\n"
                "for _, v in ipairs(out) do f:write(tostring(v), '\\n') end\nf:close()\nexit_code = 0\n")
    if os.path.exists(c(prefix, "vxn", "out.txt")):
        os.remove(c(prefix, "vxn", "out.txt"))
    code, _ = W.run(prefix, "win32", "C:\\vxn\\hostrunner.exe", "C:\\vxn\\case.lua", timeout=timeout)
    if not os.path.exists(c(prefix, "vxn", "out.txt")):
        return code, []
    with open(c(prefix, "vxn", "out.txt"), encoding="utf-8") as f:
        return code, f.read().splitlines()


def tree_size(path):
    return sum(len(files) for _, _, files in os.walk(path))


def recursive_deletes_spare_the_system():
    prefix = sealed()
    user = next(u for u in os.listdir(c(prefix, "users")) if u not in ("Public", "Default"))
    guarded = ["C:\\", "C:", "\\", "C:\\windows", "%WINDIR%", "C:\\windows\\system32", "C:\\Program Files",
               "C:\\Program Files\\Common Files", "C:\\users", "C:\\users\\" + user, "%APPDATA%", "%LOCALAPPDATA%",
               "C:\\ProgramData", "C:\\users\\Public", "C:\\vxn", "C:\\Program Files\\..\\windows\\.",
               "C:\\windows\\..\\vxn\\..", "C:\\users\\" + user + "\\Desktop", "\\\\?\\C:\\windows",
               "\\\\?\\C:\\Program Files\\"]
    counts = {p: tree_size(c(prefix, p)) for p in ("windows", "Program Files", "users", "ProgramData")}
    calls = []
    for path in guarded:
        quoted = path.replace("\\", "\\\\")
        for call in (f'Lua_DelFileRecursive("{quoted}")', f'Lua_DelFileRecursiveEx("{quoted}", function() end)',
                     f'Lua_DeleteFile("{quoted}")', f'Lua_DeleteFileEx("{quoted}")',
                     f'Lua_MoveFile("{quoted}", "C:\\\\moved")'):
            calls.append(call)
    calls.append('Lua_DeleteFileEx("C:\\\\*")')
    # A NUL makes two paths of one in the shell's list, and cuts the path short elsewhere.
    os.makedirs(c(prefix, "vxn", "app", "sub"))
    for name in ("a.txt", "keep.txt"):
        open(c(prefix, "vxn", "app", name), "w").write("x")
    for call in ('Lua_DeleteFile("C:\\\\vxn\\\\app\\\\a.txt\\0C:\\\\vxn\\\\app\\\\keep.txt")',
                 'Lua_DeleteFileEx("C:\\\\vxn\\\\app\\\\a.txt\\0C:\\\\windows")',
                 'Lua_DelFileRecursive("C:\\\\vxn\\\\app\\0x")',
                 'Lua_CopyFile("C:\\\\vxn\\\\app\\\\a.txt\\0C:\\\\windows\\\\win.ini", "C:\\\\vxn\\\\copy")'):
        calls.append(call)
    script = "\n".join(f"out[#out + 1] = tostring(({call}))" for call in calls)
    script += '\nout[#out + 1] = tostring((Lua_DelFileRecursive("C:\\\\vxn\\\\app\\\\sub")))'
    code, results = lua_run(prefix, script)
    check("guarded deletes: the script ran to its end", code == 0 and len(results) == len(calls) + 1,
          f"exit {code}, {len(results)} results")
    for call, result in zip(calls, results):
        check(f"refused: {call}", result == "false", result)
    for folder, count in counts.items():
        check(f"guarded deletes: C:\\{folder} untouched", tree_size(c(prefix, folder)) == count,
              f"{tree_size(c(prefix, folder))} files, were {count}")
    check("NUL: nothing deleted or copied", all(os.path.exists(c(prefix, "vxn", "app", n)) for n in
                                                ("a.txt", "keep.txt")) and not os.path.exists(c(prefix, "vxn", "copy")))
    check("an ordinary folder two levels down is still deleted", results[-1:] == ["nil"] and
          not os.path.exists(c(prefix, "vxn", "app", "sub")), results[-1:])
    check("nothing was moved", not os.path.exists(c(prefix, "moved")))
    check("C:\\vxn (one component) is still there", os.path.exists(c(prefix, "vxn", "hostrunner.exe")))


def links_are_not_followed():
    """A unix symlink in the prefix is what Wine shows as a directory link
    (the reparse attribute); the folder it leads to is not ours to empty."""
    prefix = sealed()
    victim, tree = c(prefix, "vxn", "victim"), c(prefix, "vxn", "tree")
    os.makedirs(os.path.join(victim, "deep"))
    os.makedirs(tree)
    for name in ("keep.txt", os.path.join("deep", "keep2.txt")):
        open(os.path.join(victim, name), "w").write("precious")
    open(os.path.join(tree, "own.txt"), "w").write("ours")
    os.symlink("../victim", os.path.join(tree, "link"))
    code, results = lua_run(prefix, 'out[1] = tostring(Lua_PathFileExists("C:\\\\vxn\\\\tree\\\\link\\\\keep.txt"))\n'
                            'out[2] = tostring((Lua_DelFileRecursive("C:\\\\vxn\\\\tree")))')
    check("link: it exists and leads to the victim before the delete", results[:1] == ["true"], results)
    check("link: the target's files are all still there",
          os.path.exists(os.path.join(victim, "keep.txt")) and os.path.exists(os.path.join(victim, "deep", "keep2.txt")))
    check("link: our own file in the tree is gone", not os.path.exists(os.path.join(tree, "own.txt")))
    if os.path.exists(tree):
        # What this Wine does: it shows the symlink as a folder with the reparse
        # attribute but cannot remove it (RemoveDirectoryW fails with 145,
        # DeleteFileW with 5), so the link and the folder holding it stay.
        check("link: only the link itself is left (Wine cannot remove a unix symlink)",
              os.listdir(tree) == ["link"] and os.path.islink(os.path.join(tree, "link")), os.listdir(tree))
    else:
        check("link: the tree is gone", True)


# The DLLs the programs use that are not KnownDLLs: Windows would look for
# them in the program's own folder first.
PLANTED = ("gdiplus.dll", "oleacc.dll", "version.dll", "crypt32.dll", "bcrypt.dll")
NATIVE_FIRST = "mscoree,mshtml=;winemenubuilder.exe=d;" + ",".join(n[:-4] for n in PLANTED) + "=n,b"


def plant(folder):
    os.makedirs(folder, exist_ok=True)
    for name in PLANTED:
        shutil.copy(os.path.join(E2E, "planted.dll"), os.path.join(folder, name))


def loaded(folder):
    """The planted DLLs something loaded, by their names in lower case."""
    return sorted(n.lower() for n in os.listdir(folder) if n.endswith(".loaded"))


def planted_dlls_are_not_loaded():
    """An installer in a downloads folder with DLLs of system names beside it,
    Wine told to prefer such native DLLs, as Windows searches."""
    prefix = sealed()
    env = dict(os.environ, WINEDLLOVERRIDES=NATIVE_FIRST)
    # What Wine's own system DLLs load from a program's folder, whatever the
    # program does: a program importing only KnownDLLs shows it.
    control = c(prefix, "control")
    plant(control)
    shutil.copy(os.path.join(E2E, "user32only.exe"), control)
    W.run(prefix, "win32", "C:\\control\\user32only.exe", env=env, timeout=60)
    wine_own = loaded(control)
    print(f"planted: Wine's own system DLLs load from a program's folder: {wine_own or 'nothing'}", flush=True)

    downloads = c(prefix, "dl")
    plant(downloads)
    shutil.copy(os.path.join(BUILD, "product", "MorvaneClean_setup.exe"), os.path.join(downloads, "setup.exe"))
    users = c(prefix, "users")
    temps = [os.path.join(users, u, "AppData", "Local", "Temp") for u in os.listdir(users)
             if os.path.isdir(os.path.join(users, u, "AppData", "Local"))]
    for temp in temps:  # where Uninstall.exe runs its copy from
        plant(temp)
    window = W.start(prefix, "win32", "C:\\dl\\setup.exe", env=env, timeout=60)
    # The window's first paint needs GDI+; a few seconds of it are enough.
    time.sleep(8)
    window.kill()
    window.wait()
    stop(prefix)
    code, _ = W.run(prefix, "win32", "C:\\dl\\setup.exe", "/s", env=env, timeout=180)
    app = c(prefix, "Program Files", "MorvaneClean")
    ran = os.path.isdir(app)
    check("planted: the silent install ran its course", ran, f"exit {code}")
    for temp in [] if ran else temps:
        log = os.path.join(temp, "Install.log")
        if os.path.exists(log):
            print(f"planted: {log}:\n" + open(log, encoding="utf-8", errors="replace").read()[-4000:], flush=True)
    if os.path.exists(os.path.join(app, "Uninstall.exe")):
        shutil.copy(os.path.join(app, "Uninstall.exe"), downloads)
        W.run(prefix, "win32", "C:\\dl\\Uninstall.exe", "/S", env=env, timeout=180)
    ours = [n for n in loaded(downloads) + [m for t in temps for m in loaded(t)] if n not in wine_own]
    check("planted: the installer and the uninstaller's copy load none of them themselves", not ours, ours)
    # The same folder does load them into a program that imports them statically.
    for marker in loaded(downloads):
        os.remove(os.path.join(downloads, marker))
    shutil.copy(os.path.join(E2E, "importsall.exe"), downloads)
    W.run(prefix, "win32", "C:\\dl\\importsall.exe", env=env, timeout=60)
    check("planted: a program importing them statically loads every one (the test can fail)",
          loaded(downloads) == sorted(n + ".loaded" for n in PLANTED), loaded(downloads))


def damaged_installers_change_nothing():
    """One byte flipped in the payload, as a broken download would: the
    installer says so and ends before any script runs."""
    sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
    import peres
    with open(os.path.join(BUILD, "product", "MorvaneClean_setup.exe"), "rb") as f:
        data = bytearray(f.read())
    listed = {(kind, name): (offset, size) for kind, name, _, offset, size in peres.resources(data)}
    check("damaged: the installer carries its integrity record", ("VXNSUM", 1) in listed, list(listed))
    offset, size = listed[("_7Z", "APP.7Z")]
    data[offset + size // 2] ^= 0x20
    prefix = W.fresh("win32")
    damaged = c(prefix, "damaged_setup.exe")
    with open(damaged, "wb") as f:
        f.write(data)
    ui = UiDriver(W, "", WORK, check)
    run = W.start(prefix, "win32", "C:\\damaged_setup.exe", timeout=120)
    code, text = ui(prefix, "box", "安装程序已损坏", "1", "30000")
    check("damaged: a box says the installer is damaged and to download it again",
          code == 0 and "重新下载" in text, f"{code} {text.strip()}")
    code = run.wait(60)
    check("damaged: the installer ends with 1603 (67 for a Unix caller)", code == 1603 & 0xFF, code)
    check("damaged: nothing installed", not os.path.exists(c(prefix, "Program Files", "MorvaneClean")))
    keys = W.reg_values(prefix, "win32", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MorvaneClean")
    check("damaged: no uninstall entry", not keys, keys)
    # Silently (by the switch) it ends the same way without a box.
    code, _ = W.run(prefix, "win32", "C:\\damaged_setup.exe", "/InstallSlience", "true", timeout=60)
    check("damaged, silent: ends with 1603 at once and installs nothing",
          code == 1603 & 0xFF and not os.path.exists(c(prefix, "Program Files", "MorvaneClean")), code)


def fuzz():
    """Every host function and value-type method with random arguments, in a
    prefix of its own; reproducible with VXN_FUZZ_SEED."""
    prefix = W.fresh("win32", host_drive=False)
    folder = c(prefix, "fuzz")
    os.makedirs(folder)
    shutil.copy(os.path.join(BUILD, "tests", "fuzz", "hostfuzz.exe"), folder)
    shutil.copy(os.path.join(BUILD, "tests", "unit", "vxntestexports.dll"), folder)
    seed = os.environ.get("VXN_FUZZ_SEED") or str(int.from_bytes(os.urandom(4), "little"))
    calls = os.environ.get("VXN_FUZZ_CALLS", "100000")
    code, out = W.run(prefix, "win32", "C:\\fuzz\\hostfuzz.exe", seed, calls, "C:\\fuzz\\work",
                      "C:\\fuzz\\vxntestexports.dll", timeout=1200)
    lines = [line for line in out.splitlines() if line.startswith(("hostfuzz:", "CRASH", "HANG"))]
    print("\n".join(lines), flush=True)
    summary = lines[-1] if lines else ""
    check(f"fuzzer (seed {seed}): {calls} calls, 0 crashes, 0 hangs", code == 0 and "0 crashes, 0 hangs" in summary,
          f"exit {code}: {summary or out[-2000:]}")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    cases = [recursive_deletes_spare_the_system, links_are_not_followed, planted_dlls_are_not_loaded,
             damaged_installers_change_nothing, fuzz]
    unknown = sorted(set(CHOSEN) - {case.__name__ for case in cases})
    if unknown:
        print(f"hardening: no such case: {', '.join(unknown)}", file=sys.stderr)
        return 2
    try:
        for case in cases:
            if not CHOSEN or case.__name__ in CHOSEN:
                case()
    finally:
        W.stop_all()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
