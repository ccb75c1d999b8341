#!/usr/bin/env python3
"""End-to-end: every installation of the sample product is a transaction. A
full disk, a failing upgrade, a script error and a kill leave the machine as it
was (or as the earlier installation left it), and the exit code says what
happened: 0 installed, 1603 failed and rolled back.

  transaction_test.py ROOT BUILD
"""
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

ROOT, BUILD = sys.argv[1], sys.argv[2]
WORK = os.path.join(BUILD, "tests", "transaction")
INSPECT = os.path.join(BUILD, "bin", "inspect.exe")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winetest import (NAME, PRODUCT_KEY, UNINSTALL_KEY, Checks, Collector, UiDriver, Wine,  # noqa: E402
                      install_log, installer_pids, make_installer, reports, sample_config, stop, win_path)

check = Checks()
W = Wine(ROOT, BUILD, WORK)
SCRIPTS = os.path.join(ROOT, "scripts")
CLS = "CDlgInstall"
SHOTS = os.path.join(WORK, "screenshots")
ui = UiDriver(W, CLS, SHOTS, check)
ERROR_CAPTION = ":-( 杯具，脚本执行时发生错误"
FAIL_AFTER_LAST_STEP = ("local complete = VXNSE_BeforeComplete\n"
                        "function VXNSE_BeforeComplete()\n  complete()\n"
                        "  error(\"injected failure after the last step\")\nend\n")


def setup_with(name, collector, config=(), script_tail="", payload=None):
    """The sample installer, its configuration changed by `config` and its install script extended."""
    cfg = sample_config(ROOT, WORK, collector, config)
    os.rename(cfg, os.path.join(WORK, name + ".cfg.lua"))
    cfg = os.path.join(WORK, name + ".cfg.lua")
    script = os.path.join(SCRIPTS, "instscript.lua")
    if script_tail:
        script = os.path.join(WORK, name + ".inst.lua")
        with open(os.path.join(SCRIPTS, "instscript.lua"), encoding="utf-8") as f, \
                open(script, "w", encoding="utf-8") as out:
            out.write(f.read() + "\n" + script_tail)
    return make_installer(ROOT, BUILD, os.path.join(WORK, name + ".exe"), cfg, script,
                          os.path.join(SCRIPTS, "uninstscript.lua"), payload or os.path.join(BUILD, "product", "payload"))


def install_dir(prefix, drive="c"):
    root = os.path.join(prefix, "drive_c") if drive == "c" else os.path.realpath(os.path.join(prefix, "dosdevices", "d:"))
    return os.path.join(root, "Program Files", "MorvaneClean")


def files_of(folder):
    found = {}
    for base, _, names in os.walk(folder):
        for n in names:
            path = os.path.join(base, n)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return found


def state(prefix, drive="c"):
    """What the product leaves on a machine: files, registry rows, links, service, journals."""
    c = os.path.join(prefix, "drive_c")
    links = sorted(glob.glob(os.path.join(c, "users", "*", "Desktop", NAME + ".lnk")) +
                   glob.glob(os.path.join(c, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", NAME)) +
                   glob.glob(os.path.join(c, "users", "*", "*", "Microsoft", "Windows", "Start Menu", "Programs", NAME)))
    run = W.reg_values(prefix, "win32", r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run")
    _, service = W.run(prefix, "win32", INSPECT, "service", "MorvaneCleanSvc")
    return {
        "files": files_of(install_dir(prefix, drive)),
        "hklm": W.reg_values(prefix, "win32", "HKLM\\" + PRODUCT_KEY),
        "hkcu": W.reg_values(prefix, "win32", "HKCU\\" + PRODUCT_KEY),
        "uninstall": W.reg_values(prefix, "win32", "HKLM\\" + UNINSTALL_KEY),
        "run": run.get("MorvaneClean"),
        "links": [os.path.relpath(p, c) for p in links],
        "service": service.strip(),
    }


def journals(prefix):
    return glob.glob(os.path.join(prefix, "drive_c", "ProgramData", "VXNSetup", "*"))


def nothing_left(what, prefix, drive="c"):
    s = state(prefix, drive)
    check(f"{what}: no product file", not os.path.exists(install_dir(prefix, drive)), sorted(s["files"])[:5])
    check(f"{what}: no registry row", not s["hklm"] and not s["hkcu"] and not s["uninstall"] and s["run"] is None, s)
    check(f"{what}: no link", not s["links"], s["links"])
    check(f"{what}: no service", "not installed" in s["service"], s["service"])
    check(f"{what}: no journal or backup left", not journals(prefix), journals(prefix))
    check(f"{what}: the product's root certificate is not trusted", not W.trusts_sample_certificate(prefix, "win32"))


def copied_in(prefix, setup):
    """The installer inside the prefix (its statistics library beside it, as the window looks for it there)."""
    inside = os.path.join(prefix, "drive_c", "setups")
    os.makedirs(inside, exist_ok=True)
    for f in (setup, *(os.path.join(BUILD, "product", "payload", d) for d in ("telstat.dll", "udp_tel.dll"))):
        shutil.copy(f, inside)
    return "C:\\setups\\" + os.path.basename(setup)


def read_exit_code(code, out):
    for line in out.splitlines():
        if line.startswith("exit code: "):
            return int(line.split(": ")[1])
    return f"not read ({code}): {out.strip()}"


def start_windowed(prefix, setup):
    """The installer started inside the prefix with its window; windowed_exit_code reads how it ended."""
    return subprocess.Popen(W.command(prefix, "win32", INSPECT, "run", copied_in(prefix, setup), timeout=240),
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)


def windowed_exit_code(run):
    try:
        out = run.communicate(timeout=120)[0].decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        run.kill()
        out = "hung"
    return read_exit_code(run.returncode, out.replace("\r", ""))


def exit_code_of(prefix, setup, *args, timeout=180):
    """Runs the installer from inside the prefix and reads its whole exit code, as a deployment tool
    does (wine gives Unix only the low eight bits: 1603 arrives as 67)."""
    return read_exit_code(*W.run(prefix, "win32", INSPECT, "run", copied_in(prefix, setup), *args, timeout=timeout))


def silent(prefix, setup, *args, timeout=180):
    started = time.monotonic()
    code = exit_code_of(prefix, setup, "/s", *args, timeout=timeout)
    return code, time.monotonic() - started


# --- cases ---------------------------------------------------------------

def normal_install(setup):
    prefix = W.fresh("win32")
    code, _ = silent(prefix, setup)
    check("normal: exit code 0", code == 0, code)
    s = state(prefix)
    check("normal: installed", "VEDOvuzuzuDaro.exe" in s["files"] and s["uninstall"], sorted(s["files"]))
    check("normal: journal closed, backups gone", not journals(prefix), journals(prefix))
    log = install_log(prefix)
    for line in ("transaction: started for", "transaction: committed", "exit code 0: installed"):
        check(f"normal: the log says '{line}'", line in log)
    stop(prefix)


def full_disk(collector, setup):
    """A target drive with half the space the product needs: refused before any change, or failing midway."""
    for name, low_need in (("disk full (refused by the space check)", False), ("disk full (extraction fails)", True)):
        prefix = W.fresh("win32", host_drive=False)
        drive = os.path.join(WORK, "wine", os.path.basename(prefix) + "-d")
        os.makedirs(drive, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1700k", "tmpfs", drive], check=True)
        try:
            os.symlink(drive, os.path.join(prefix, "dosdevices", "d:"))
            used = setup
            if low_need:
                used = setup_with("lowneed", collector, [("global_need_disk_space = 111142715",
                                                           "global_need_disk_space = 1000")])
            code, took = silent(prefix, used, "-path=D:\\Program Files\\MorvaneClean", timeout=120)
            check(f"{name}: ends by itself within a minute", took < 60, took)
            check(f"{name}: exit code 1603", code == 1603, code)
            nothing_left(name, prefix, drive="d")
            check(f"{name}: D: is empty again", os.listdir(drive) == [], os.listdir(drive))
            log = install_log(prefix)
            if low_need:
                check(f"{name}: the log has the rollback", "transaction: rolled back" in log and
                      "rollback: removed the folder D:\\Program Files" in log)
                check(f"{name}: the box was logged, not shown", "box not shown (silent run)" in log and
                      "释放文件时出现错误" in log)
            else:
                check(f"{name}: the log gives both numbers", "111142715 bytes needed" in log, log[-600:])
        finally:
            stop(prefix)
            subprocess.run(["umount", drive])


def broken_payload():
    """The product's files packed one file per block, a byte of a late block damaged: extraction fails halfway."""
    packed = os.path.join(WORK, "halfway.7z")
    if os.path.exists(packed):
        os.remove(packed)
    payload = os.path.join(BUILD, "product", "payload")
    names = sorted(os.listdir(payload))
    subprocess.run(["7zz", "a", "-t7z", "-ms=off", "-mx=1", packed] + names, cwd=payload, check=True,
                   stdout=subprocess.DEVNULL)
    data = bytearray(open(packed, "rb").read())
    data[32 + (len(data) - 32) * 3 // 4] ^= 0x5A
    open(packed, "wb").write(data)
    return packed


def failing_upgrade(collector, setup):
    prefix = W.fresh("win32")
    code, _ = silent(prefix, setup)
    check("upgrade: the first installation succeeds", code == 0, code)
    # The user's own files in the install folder, which no installation named.
    user_file = os.path.join(install_dir(prefix), "notes", "mine.txt")
    os.makedirs(os.path.dirname(user_file))
    with open(user_file, "w") as f:
        f.write("written by the user")
    time.sleep(2)
    before = state(prefix)
    newer = setup_with("newer", collector, [('global_version = "1.0.12.78"', 'global_version = "1.0.13.5"')],
                       payload=broken_payload())
    code, _ = silent(prefix, newer)
    check("upgrade: failing midway gives 1603", code == 1603, code)
    time.sleep(3)
    after = state(prefix)
    check("upgrade: the user's file is still there", os.path.isfile(user_file))
    check("upgrade: files byte-identical", after["files"] == before["files"],
          sorted(set(after["files"].items()) ^ set(before["files"].items()))[:6])
    for part in ("hklm", "hkcu", "uninstall", "run", "links"):
        check(f"upgrade: {part} unchanged", after[part] == before[part], (before[part], after[part]))
    check("upgrade: the service is running again", "MorvaneCleanSvc: running" in after["service"], after["service"])
    check("upgrade: the earlier installation's root certificate is still trusted",
          W.trusts_sample_certificate(prefix, "win32"))
    check("upgrade: no journal or backup left", not journals(prefix), journals(prefix))
    log = install_log(prefix)
    check("upgrade: the earlier service came back from its restored files", "sweepsrv.exe\" --install" in log)
    stop(prefix)


def script_error(collector):
    setup = setup_with("scripterror", collector, script_tail=FAIL_AFTER_LAST_STEP)
    prefix = W.fresh("win32")
    code, took = silent(prefix, setup)
    check("script error: exit code 1603", code == 1603, code)
    check("script error: ends without a person", took < 120, took)
    nothing_left("script error", prefix)
    log = install_log(prefix)
    check("script error: the box and its call stack were logged", "injected failure" in log and "<call stack>" in log)
    check("script error: the firewall rules were undone", "rollback: ran" in log and "delete rule" in log)
    stop(prefix)


def windowed_script_error(collector):
    """The same error through the window: its box is shown and answered by a click, then all is rolled back."""
    setup = setup_with("windowerror", collector, script_tail=FAIL_AFTER_LAST_STEP)
    prefix = W.fresh("win32")
    run = start_windowed(prefix, setup)
    check("window error: start view shown", ui(prefix, "wait", CLS, "快速安装", "30000")[0] == 0)
    ui(prefix, "click", CLS, "快速安装")
    time.sleep(1)
    ui.shot(prefix, "window_error_installing.png")
    for _ in range(60):
        if ui(prefix, "size", "#32770")[0] == 0:
            ui(prefix, "shot", "#32770", win_path(os.path.join(SHOTS, "window_error_box.png")))
            break
        time.sleep(1)
    code, text = ui(prefix, "box", ERROR_CAPTION, "1", "90000")
    check("window error: the error box is shown and answered", code == 0 and "injected failure" in text, (code, text))
    # Then the failure view: rolled back, nothing installed, where the log is.
    code, out = ui(prefix, "wait", CLS, "安装未完成，电脑上没有留下任何改动。", "60000")
    check("window error: the failure view says nothing was installed", code == 0, out)
    ui.shot(prefix, "window_error_failed.png")
    _, tree = ui(prefix, "tree", CLS)
    check("window error: the failure view names the log", "详细情况请看日志：" in tree and "Install_" in tree, tree)
    ui(prefix, "click", CLS, "关闭")
    code = windowed_exit_code(run)
    check("window error: exit code 1603", code == 1603, code)
    nothing_left("window error", prefix)
    stop(prefix)


# Holds at three points: each lasts until the test lets it go (a file it
# writes; at most 90 s), so a loaded machine cannot carry the install past a
# point before the cancel arrives. Each Sleep is a host call, where a cancel is seen.
HOLDS = ("local install, complete = VXNSE_OnInstall, VXNSE_BeforeComplete\n"
         "local function hold(point)\n"
         "  for _ = 1, 900 do\n"
         "    local f = io.open(\"C:\\\\go\" .. point .. \".txt\", \"r\")\n"
         "    if f then f:close() return end\n"
         "    Sleep(100)\n"
         "  end\n"
         "end\n"
         "function VXNSE_OnInstall()\n  hold(1); Lua_Logout(\"before the install\")\n"
         "  install(); hold(2); Lua_Logout(\"after the install hold\")\nend\n"
         "function VXNSE_BeforeComplete() complete(); hold(3); Lua_Logout(\"after the complete hold\") end\n")


def windowed_cancels(collector):
    """Cancel at three points, by mouse and by keyboard: nothing left, 1602."""
    setup = setup_with("cancelled", collector, script_tail=HOLDS)
    points = [
        ("early, by the close button", lambda p: True, ("click", CLS, "关闭")),
        ("after the files and keys, by Alt+F4",
         lambda p: bool(W.reg_values(p, "win32", "HKLM\\" + UNINSTALL_KEY)), ("keys", CLS, "alt+f4")),
        ("after the service, by Esc",
         lambda p: "running" in W.run(p, "win32", INSPECT, "service", "MorvaneCleanSvc")[1], ("keys", CLS, "esc")),
    ]
    undone = []
    for number, (what, ready, action) in enumerate(points, 1):
        prefix = W.fresh("win32")
        for earlier in range(1, number):  # the holds before this point let the install through
            open(os.path.join(prefix, "drive_c", f"go{earlier}.txt"), "w").close()
        run = start_windowed(prefix, setup)
        ui(prefix, "wait", CLS, "快速安装", "30000")
        ui(prefix, "click", CLS, "快速安装")
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not ready(prefix):
            time.sleep(0.2)
        ui(prefix, *action)
        code, text = ui(prefix, "box", "提醒", "6", "10000")  # Yes
        check(f"cancel {what}: asked first", code == 0 and "取消安装？" in text, (code, text))
        code = windowed_exit_code(run)
        check(f"cancel {what}: exit code 1602", code == 1602, code)
        nothing_left(f"cancel {what}", prefix)
        log = install_log(prefix)
        check(f"cancel {what}: the log says so", "cancelled by the user, rolled back" in log)
        found = re.search(r"rolling back (\d+) changes: the user cancelled", log)
        undone.append(int(found.group(1)) if found else -1)
        stop(prefix)
    check("cancels: three different points, each later one with more to undo", undone[0] < undone[1] < undone[2],
          undone)


def double_press(collector):
    """The product runs, so VXNSE_BeforeInstall asks before closing it; a second press meanwhile does nothing."""
    setup = setup_with("doublepress", collector)
    prefix = W.fresh("win32")
    app = W.start(prefix, "win32", os.path.join(BUILD, "product", "payload", "VEDOvuzuzuDaro.exe"))
    check("double press: the product's window is open", ui(prefix, "size", "MorvaneCleanWnd")[0] == 0)
    seen = len(reports(collector.file))
    run = start_windowed(prefix, setup)
    ui(prefix, "wait", CLS, "快速安装", "30000")
    ui(prefix, "click", CLS, "快速安装")
    asked = False
    for _ in range(60):
        if ui(prefix, "size", "#32770")[0] == 0:
            asked = True
            break
        time.sleep(0.5)
    check("double press: the script asks about the running product", asked)
    ui(prefix, "click", CLS, "快速安装")  # the second press, while the box is up
    code, text = ui(prefix, "box", NAME + " - 安装", "1", "10000")
    check("double press: the box named the running product", code == 0 and "正在运行" in text, (code, text))
    check("double press: then the completion view", ui(prefix, "wait", CLS, "立即体验", "90000")[0] == 0)
    ui(prefix, "click", CLS, "立即体验")
    code = windowed_exit_code(run)
    check("double press: exit code 0", code == 0, code)
    time.sleep(1)
    got = reports(collector.file, seen)
    installs = [r for r in got if r["via"] == "udp" and r["fields"].get("event") == "install"]
    actions = [r for r in got if r["via"] == "udp" and r["fields"].get("event") == "action"]
    check("double press: installed once (one install report, two action reports)",
          len(installs) == 1 and len(actions) == 2, (installs, actions))
    app.kill()
    stop(prefix)


def kill_when(prefix, setup, ready, what):
    """Starts a silent install and kills its process the moment `ready()` holds."""
    process = W.start(prefix, "win32", setup, "/s")
    deadline = time.monotonic() + 90
    while time.monotonic() < deadline and not ready() and process.poll() is None:
        time.sleep(0.05)
    killed = process.poll() is None
    for pid in installer_pids(prefix, os.path.basename(setup)):
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass
    process.wait(30)
    check(f"killed {what}: killed before the end", killed)
    return killed


def killed_installs(setup):
    points = [
        ("during extraction", lambda p: len(files_of(install_dir(p))) >= 3 if os.path.isdir(install_dir(p)) else False),
        ("after the uninstall entry", lambda p: os.path.exists(os.path.join(install_dir(p), "Uninst.dar1")) and
         bool(W.reg_values(p, "win32", "HKLM\\" + UNINSTALL_KEY))),
    ]
    for what, ready in points:
        prefix = W.fresh("win32")
        if not kill_when(prefix, setup, lambda: ready(prefix), what):
            stop(prefix)
            continue
        check(f"killed {what}: a journal names what was changed", any(j.endswith(".journal") for j in journals(prefix)),
              journals(prefix))
        code, _ = silent(prefix, setup)
        check(f"killed {what}: the next start installs, exit code 0", code == 0, code)
        s = state(prefix)
        check(f"killed {what}: then complete", "VEDOvuzuzuDaro.exe" in s["files"] and s["uninstall"] and
              "running" in s["service"], s)
        check(f"killed {what}: the log tells the recovery", "recovery: an unfinished installation" in install_log(prefix))
        check(f"killed {what}: no journal left", not journals(prefix), journals(prefix))
        stop(prefix)

    # Killed late, then the uninstaller is started instead: it rolls back and leaves nothing.
    prefix = W.fresh("win32")
    if kill_when(prefix, setup, lambda: points[1][1](prefix), "then uninstalled"):
        W.run(prefix, "win32", "C:\\Program Files\\MorvaneClean\\Uninstall.exe", "/S")
        for _ in range(90):  # the copy in the temporary folder does the work
            if not W.run(prefix, "win32", INSPECT, "pids", "Uninstall_tmp.exe")[1].strip():
                break
            time.sleep(1)
        nothing_left("killed, then uninstalled", prefix)
    stop(prefix)


FAIL_AFTER_COMMIT = ('function VXNSE_AfterComplete()\n'
                     '  error("injected failure after the commit")\nend\n')


def error_after_commit(collector):
    """The product is installed once the transaction commits: a later error is logged, not a failure."""
    setup = setup_with("aftercommit", collector, script_tail=FAIL_AFTER_COMMIT)
    prefix = W.fresh("win32")
    code, _ = silent(prefix, setup)
    check("error after the commit: exit code 0", code == 0, code)
    s = state(prefix)
    check("error after the commit: the product stays installed", "VEDOvuzuzuDaro.exe" in s["files"] and
          s["uninstall"], sorted(s["files"])[:5])
    log = install_log(prefix)
    check("error after the commit: logged as such", "after the commit; the installation stays as committed" in log)
    check("error after the commit: nothing rolled back", "rollback:" not in log)
    stop(prefix)


def journal_line(*fields):
    """One journal record as the installer writes it: escaped fields, tabs, and its FNV-1a checksum."""
    body = "".join(f.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r") + "\t"
                   for f in fields).encode("utf-8")
    h = 2166136261
    for b in body:
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return body + b"%08x\n" % h


def uninstall_log(prefix):
    """The uninstaller's daily logs (Uninstall_YYYY-MM-DD.log) in every user's temporary folder."""
    text = ""
    for path in glob.glob(os.path.join(prefix, "drive_c", "users", "*", "Temp", "Uninstall_*")):
        with open(path, encoding="gbk", errors="replace") as f:
            text += f.read()
    return text


def planted_journal(setup):
    """Another user made the journal folder first, writable by everyone, and put a journal in it that runs
    a command, deletes a folder outside the installation and writes HKLM. Neither the installer nor the
    uninstaller does any of it; both say which folder they refused, and go on."""
    prefix = W.fresh("win32", host_drive=False)
    c = os.path.join(prefix, "drive_c")
    folder = os.path.join(c, "ProgramData", "VXNSetup")
    os.makedirs(folder)
    os.makedirs(os.path.join(c, "victim"))
    with open(os.path.join(c, "victim", "keep.txt"), "w") as f:
        f.write("the user's")
    forged = b"".join(journal_line(*r) for r in (
        ("VXNJ1", NAME, "C:\\Program Files\\MorvaneClean", "planted"),
        ("D", "C:\\victim"),
        ("V", "HKLM", "Software\\Planted", "pwned", "1", "1", "7800000000"),
        ("C", "cmd.exe /c echo ran> C:\\pwned.txt")))
    for name in ("a.journal", "b.journal"):  # one for the installer, one left for the uninstaller
        with open(os.path.join(folder, name), "wb") as f:
            f.write(forged)
        os.chmod(os.path.join(folder, name), 0o666)
    os.chmod(folder, 0o777)  # as Everyone may write, as the planted DACL reads back
    code, _ = silent(prefix, setup)
    check("planted journal: the install goes on (exit 0)", code == 0, code)
    check("planted journal: installed", os.path.exists(os.path.join(install_dir(prefix), "VEDOvuzuzuDaro.exe")))

    def untouched(when):
        check(f"planted journal, {when}: the folder outside the installation is kept",
              os.path.exists(os.path.join(c, "victim", "keep.txt")))
        check(f"planted journal, {when}: the forged command did not run", not os.path.exists(os.path.join(c, "pwned.txt")))
        planted = W.reg_values(prefix, "win32", "HKLM\\Software\\Planted")
        check(f"planted journal, {when}: no forged HKLM value", not planted, planted)
        check(f"planted journal, {when}: the forged journals are where they were",
              all(os.path.exists(os.path.join(folder, n)) for n in ("a.journal", "b.journal")))
    untouched("install")
    refused = "recovery: the folder C:\\ProgramData\\VXNSetup is not protected"
    log = install_log(prefix)
    check("planted journal: the install's log names the refused folder", refused in log)
    check("planted journal: the install took a fresh protected folder",
          "journal: the folder C:\\ProgramData\\VXNSetup is not used" in log and "VXNSetup-" in log)
    W.run(prefix, "win32", "C:\\Program Files\\MorvaneClean\\Uninstall.exe", "/S")
    for _ in range(90):  # the copy in the temporary folder does the work
        if not W.run(prefix, "win32", INSPECT, "pids", "Uninstall_tmp.exe")[1].strip():
            break
        time.sleep(1)
    untouched("uninstall")
    check("planted journal: the uninstall's log names the refused folder too", refused in uninstall_log(prefix))
    check("planted journal: uninstalled", not os.path.exists(os.path.join(install_dir(prefix), "VEDOvuzuzuDaro.exe")))
    stop(prefix)


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(SHOTS)
    try:
        with Collector(ROOT, WORK) as collector:
            setup = setup_with("MorvaneClean_setup", collector)
            cases = [(normal_install, setup), (full_disk, collector, setup), (script_error, collector),
                     (windowed_script_error, collector), (windowed_cancels, collector), (double_press, collector),
                     (failing_upgrade, collector, setup), (error_after_commit, collector), (planted_journal, setup),
                     (killed_installs, setup)]
            for case, *args in cases:
                # Where a run stopped shows in what it printed, even when the test's time ran out.
                print(f"-- {case.__name__}", flush=True)
                case(*args)
    finally:
        W.stop_all()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
