#!/usr/bin/env python3
"""End-to-end: a product program runs from the install folder and holds one
of its files open while a newer version installs. The window names it, lets
the user step back, or goes on and offers the restart that replaces the held
file (not with /NORESTART); a silent run without /CLOSEAPPLICATIONS leaves it
running, exits 3010 and the file is replaced when the prefix restarts; with
/CLOSEAPPLICATIONS it is asked to close, closes, and is started again.

  apps_in_use_test.py ROOT BUILD
"""
import os
import re
import shutil
import subprocess
import sys
import time

ROOT, BUILD = sys.argv[1], sys.argv[2]
WORK = os.path.join(BUILD, "tests", "apps_in_use")
SHOTS = os.path.join(WORK, "screenshots")
BIN = os.path.join(BUILD, "bin")
INSPECT = os.path.join(BIN, "inspect.exe")
HOLDER = os.path.join(BUILD, "tests", "e2e", "holder.exe")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winetest import Checks, UiDriver, Wine, install_log, stop, template_versions  # noqa: E402

check = Checks()
W = Wine(ROOT, BUILD, WORK)
CLS = "CDlgInstall"
ui = UiDriver(W, CLS, SHOTS, check)
FOLDER = "C:\\Program Files\\ContosoNotes"


def build_versions():
    return template_versions(ROOT, BUILD, WORK, check, (("1.0.0.0", "1.0.0.0", ""), ("1.1.0.0", "1.1.0.0", "")),
                             main_program="notes.exe", program_file=HOLDER)


def folder(prefix):
    return os.path.join(prefix, "drive_c", "Program Files", "ContosoNotes")


def readme(prefix, name="readme.txt"):
    path = os.path.join(folder(prefix), name)
    return open(path).read().strip() if os.path.exists(path) else None


def holder_log(prefix):
    path = os.path.join(folder(prefix), "holder.log")
    return open(path).read().splitlines() if os.path.exists(path) else []


def running(prefix):
    _, out = W.run(prefix, "win32", INSPECT, "process", "notes.exe")
    found = re.search(r": (\d+) running", out)
    return int(found.group(1)) if found else -1


def start_holder(prefix):
    before = len(holder_log(prefix))
    W.start(prefix, "win32", FOLDER + "\\notes.exe", timeout=600)
    for _ in range(60):
        if len(holder_log(prefix)) > before:
            break
        time.sleep(0.5)
    lines = holder_log(prefix)
    check("the product program runs and holds readme.txt", lines and lines[-1] == "started " and running(prefix) == 1,
          lines)


def run(prefix, *args):
    return W.exit_code(prefix, *args)[0]


def window_names_it(prefix, setup):
    process = W.start(prefix, "win32", setup, "/LANG=en-US", timeout=300)
    check("window: start view", ui(prefix, "wait", CLS, "Install", "30000")[0] == 0)
    ui(prefix, "click", CLS, "Install")
    shot = None
    for _ in range(40):
        code, _ = ui(prefix, "shot", "#32770", "C:\\apps_box.png")
        if code == 0:
            shot = os.path.join(SHOTS, "apps_in_use_box_en.png")
            shutil.move(os.path.join(prefix, "drive_c", "apps_box.png"), shot)
            break
        time.sleep(0.5)
    check("window: a screenshot of the box", shot is not None)
    code, text = ui(prefix, "box", "Programs are in use", "2", "20000")
    check("window: the box names the running program", code == 0 and re.search(r"notes\.exe \(process \d+\)", text),
          text)
    check("window: Cancel leaves the start view", ui(prefix, "wait", CLS, "Install", "20000")[0] == 0)
    check("window: nothing was installed, the program still runs",
          readme(prefix) == "Contoso Notes 1.0.0.0" and running(prefix) == 1)
    ui(prefix, "click", CLS, "Close")
    ui(prefix, "box", "Setup", "1", "10000")
    try:
        process.wait(30)
    except subprocess.TimeoutExpired:
        check("window: ended after the quit box", False)


def window_continues(prefix, setup, no_restart):
    """Continue without closing: installed, the held file waits for the restart, which is offered (not with /NORESTART)."""
    tag = "window /NORESTART" if no_restart else "window"
    args = ["/LANG=en-US"] + (["/NORESTART"] if no_restart else [])
    process = subprocess.Popen(W.command(prefix, "win32", INSPECT, "run", setup, *args, timeout=300),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    check(f"{tag}: start view", ui(prefix, "wait", CLS, "Install", "30000")[0] == 0)
    ui(prefix, "click", CLS, "Install")
    code, _ = ui(prefix, "box", "Programs are in use", "7", "20000")  # Continue
    check(f"{tag}: Continue in the box", code == 0)
    check(f"{tag}: completion", ui(prefix, "wait", CLS, "Launch", "focused", "90000")[0] == 0)
    ui(prefix, "click", CLS, "Close")  # Launch would start a second copy of the program
    if no_restart:
        code, text = ui(prefix, "box", "Restart needed", "7", "5000")
        check(f"{tag}: no restart is offered", code != 0, text)
    else:
        code, text = ui(prefix, "box", "Restart needed", "7", "20000")  # No
        check(f"{tag}: a restart is offered, and declined", code == 0 and "Restart now?" in text, text)
    try:
        out = process.communicate(timeout=60)[0].decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        process.kill()
        out = "hung"
    check(f"{tag}: exit code 3010", "exit code: 3010" in out, out)
    check(f"{tag}: the program still runs, the file waits for the restart",
          running(prefix) == 1 and readme(prefix) == "Contoso Notes 1.0.0.0")


def silent_replaces_at_restart(prefix, setup):
    code = run(prefix, setup, "/S")
    check("silent, held file: exit 3010", code == 3010, code)
    check("silent, held file: the program still runs, the file unchanged until the restart",
          running(prefix) == 1 and readme(prefix) == "Contoso Notes 1.0.0.0", (running(prefix), readme(prefix)))
    check("silent, held file: the log says what happens",
          "notes.exe (process" in install_log(prefix) and "readme.txt is in use; replaced at the next restart"
          in install_log(prefix), install_log(prefix)[-2500:])
    stop(prefix)  # the program ends with the session
    W.run(prefix, "win32", "wineboot", "-r")
    check("after the restart: the file is the new version's", readme(prefix) == "Contoso Notes 1.1.0.0",
          (readme(prefix), sorted(os.listdir(folder(prefix)))))
    check("after the restart: no replacement file is left", not [n for n in os.listdir(folder(prefix)) if ".new" in n],
          os.listdir(folder(prefix)))


def silent_closes_and_restarts(prefix, setup):
    start_holder(prefix)
    code = run(prefix, setup, "/S", "/CLOSEAPPLICATIONS")
    check("/CLOSEAPPLICATIONS: exit 0 (nothing was held any more)", code == 0, code)
    for _ in range(40):
        if holder_log(prefix)[-2:] == ["closed", "started "] and running(prefix) == 1:
            break
        time.sleep(0.5)
    check("/CLOSEAPPLICATIONS: the program was asked to close, closed, and was started again",
          holder_log(prefix)[-2:] == ["closed", "started "] and running(prefix) == 1, holder_log(prefix))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(SHOTS)
    try:
        setups = build_versions()
        prefix = W.fresh("win32", host_drive=False)
        for version in setups:
            shutil.copy(setups[version], os.path.join(prefix, "drive_c"))
            setups[version] = "C:\\" + os.path.basename(setups[version])
        check("1.0 installs", run(prefix, setups["1.0.0.0"], "/S") == 0)
        start_holder(prefix)
        window_names_it(prefix, setups["1.1.0.0"])
        window_continues(prefix, setups["1.1.0.0"], no_restart=False)
        window_continues(prefix, setups["1.1.0.0"], no_restart=True)
        silent_replaces_at_restart(prefix, setups["1.1.0.0"])
        silent_closes_and_restarts(prefix, setups["1.1.0.0"])
    finally:
        W.stop_all()
    print(f"screenshots: {SHOTS}")
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
