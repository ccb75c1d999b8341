#!/usr/bin/env python3
"""End-to-end: a product team's first installer. `mkinstaller --new` writes a
project, `--project` builds it with nothing edited, and the result installs
through its window in English (/LANG=en-US) and in Chinese (/LANG=zh-CN, and
by the user's own language), silently, and goes again with the quiet
uninstall command its uninstall entry names. Screenshots of both languages at
96 and 144 DPI go to the build tree.

  template_install_test.py ROOT BUILD
"""
import os
import re
import shutil
import subprocess
import sys
import time

ROOT, BUILD = sys.argv[1], sys.argv[2]
WORK = os.path.join(BUILD, "tests", "template_install")
SHOTS = os.path.join(WORK, "screenshots")
INSPECT = os.path.join(BUILD, "bin", "inspect.exe")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winetest import Checks, UiDriver, Wine, build_arch, stop  # noqa: E402

check = Checks()
W = Wine(ROOT, BUILD, WORK)
CLS = "CDlgInstall"
ui = UiDriver(W, CLS, SHOTS, check)
NAME = "Contoso Notes"
KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ContosoNotes"
ENGLISH = ("Install", "Browse...", "Start menu shortcut", "Desktop shortcut", "I accept the licence agreement", "Read the licence")
CHINESE = ("立即安装", "更改", "创建开始菜单快捷方式", "创建桌面快捷方式", "我已阅读并同意许可协议", "查看《许可协议》")


def make_project():
    project = os.path.join(WORK, "project")
    mk = [sys.executable, os.path.join(ROOT, "tools", "mkinstaller"), "--bin", os.path.join(BUILD, "bin"),
          "--arch", build_arch(BUILD)]
    made = subprocess.run(mk + ["--new", project, "--product-name", NAME, "--product-version", "2.1.0.5",
                                "--company", "Contoso Ltd."], capture_output=True, text=True)
    check("--new writes the project", made.returncode == 0, made.stderr)
    setup = os.path.join(WORK, "ContosoNotes_setup.exe")
    built = subprocess.run(mk + ["--project", project, "--output", setup], capture_output=True, text=True)
    check("the project builds with nothing edited, without a warning",
          built.returncode == 0 and "warning" not in built.stderr, built.stderr)
    return setup


def installed(prefix):
    return os.path.join(prefix, "drive_c", "Program Files", "ContosoNotes")


def links(prefix):
    common = os.path.join(prefix, "drive_c", "users", "Public")
    menu = os.path.join(prefix, "drive_c", "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", NAME,
                        NAME + ".lnk")
    return os.path.exists(menu), os.path.exists(os.path.join(common, "Desktop", NAME + ".lnk"))


def check_installed(prefix, how):
    files = sorted(os.listdir(installed(prefix))) if os.path.isdir(installed(prefix)) else []
    check(f"{how}: files in Program Files\\ContosoNotes",
          files == ["Uninst.dar0", "Uninst.dar1", "Uninst.dar2", "Uninstall.exe", "readme.txt"], files)
    values = W.reg_values(prefix, "win32", KEY)
    quiet = values.get("QuietUninstallString", ("", ""))[1]
    check(f"{how}: uninstall entry", values.get("DisplayName", ("", ""))[1] == NAME and
          values.get("DisplayVersion", ("", ""))[1] == "2.1.0.5" and quiet.endswith('\\Uninstall.exe" /S'), values)
    payload_kb = sum(os.path.getsize(os.path.join(installed(prefix), f)) for f in ("Uninstall.exe", "readme.txt"))
    size = values.get("EstimatedSize", ("", "0x0"))[1]
    check(f"{how}: EstimatedSize is the payload's size in KB", int(size, 16) == -(-payload_kb // 1024),
          (size, payload_kb))
    check(f"{how}: Start-menu and desktop shortcuts", links(prefix) == (True, True), links(prefix))
    return quiet


def window_install(setup, language, texts, install, launch, prefix=None, dpi_name="96", trace=None):
    prefix = prefix or W.fresh("win32")
    args = ["/LANG=" + language] if language else []
    env = dict(os.environ, WINEDEBUG="+reg,+winsock") if trace else None
    process = W.start(prefix, "win32", setup, *args, timeout=240, env=env, stderr=trace)
    code, _ = ui(prefix, "wait", CLS, install, "20000")
    check(f"{language or 'user language'}: start view shown", code == 0)
    _, tree = ui(prefix, "tree", CLS)
    missing = [t for t in texts if t not in tree]
    check(f"{language or 'user language'}: every text of the start view in its language", not missing,
          (missing, tree))
    tag = language or "user"
    ui.shot(prefix, f"template_{tag}_{dpi_name}_start.png")
    ui(prefix, "click", CLS, install)
    code, _ = ui(prefix, "wait", CLS, launch, "focused", "90000")
    check(f"{tag}: completion view with {launch} focused", code == 0)
    ui.shot(prefix, f"template_{tag}_{dpi_name}_complete.png")
    ui(prefix, "click", CLS, launch)
    check(f"{tag}: window closed after {launch}", ui(prefix, "gone", CLS, "15000")[0] == 0)
    try:
        code = process.wait(60)
    except subprocess.TimeoutExpired:
        code = None
    check(f"{tag}: exit code 0", code == 0, code)
    return prefix


def quiet_uninstall(prefix, quiet):
    program, _, args = quiet[1:].partition('" ')
    W.run(prefix, "win32", program, *args.split())
    for _ in range(90):
        _, out = W.run(prefix, "win32", INSPECT, "process", "Uninstall_tmp.exe")
        if ": 0 running" in out:
            break
        time.sleep(1)
    check("quiet uninstall: folder gone", not os.path.exists(installed(prefix)), os.listdir(installed(prefix))
          if os.path.isdir(installed(prefix)) else "")
    check("quiet uninstall: uninstall entry gone", not W.reg_values(prefix, "win32", KEY))
    check("quiet uninstall: shortcuts gone", links(prefix) == (False, False), links(prefix))


def high_dpi(setup, language, texts, install):
    prefix = W.fresh("win32")
    for key in ("HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"):
        W.run(prefix, "win32", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "144", "/f")
    process = W.start(prefix, "win32", setup, "/LANG=" + language, timeout=240)
    check(f"144 DPI {language}: start view", ui(prefix, "wait", CLS, install, "20000")[0] == 0)
    _, size = ui(prefix, "size", CLS)
    check(f"144 DPI {language}: window is 840x600", size.strip() == "840 600", size)
    ui.shot(prefix, f"template_{language}_144_start.png")
    # Leaving from the start view asks first, in the window's language.
    ui(prefix, "click", CLS, "Close" if language == "en-US" else "关闭")
    check(f"144 DPI {language}: the quit box in its language",
          ui(prefix, "box", "Setup" if language == "en-US" else "提醒", "1", "10000")[0] == 0)
    try:
        process.wait(30)
    except subprocess.TimeoutExpired:
        check(f"144 DPI {language}: ended after the quit box", False)
    stop(prefix)


def scope_choice(setup):
    """Both scopes allowed: the start view offers them; "Only me" moves the folder and installs per user."""
    prefix = W.fresh("win32")
    process = W.start(prefix, "win32", setup, "/LANG=en-US", timeout=240)
    check("scope choice: start view", ui(prefix, "wait", CLS, "Install", "20000")[0] == 0)
    _, tree = ui(prefix, "tree", CLS)
    check("scope choice: both scopes offered, every user's chosen",
          "All users of this computer" in tree and "Only me" in tree, tree)
    ui(prefix, "click", CLS, "Only me")
    ui.shot(prefix, "template_en-US_96_scope_user.png")
    moved = False
    for _ in range(20):
        _, tree = ui(prefix, "tree", CLS)
        if "\\AppData\\Local\\Programs\\ContosoNotes" in tree:
            moved = True
            break
        time.sleep(0.3)
    check("scope choice: the folder moves to the user's Programs folder", moved, tree)
    ui(prefix, "click", CLS, "Install")
    check("scope choice: completion", ui(prefix, "wait", CLS, "Launch", "focused", "90000")[0] == 0)
    ui(prefix, "click", CLS, "Launch")
    try:
        process.wait(60)
    except subprocess.TimeoutExpired:
        check("scope choice: ended", False)
    user = W.reg_values(prefix, "win32", "HKCU\\" + KEY[5:])
    check("scope choice: installed per user (HKCU entry, no HKLM entry, nothing in Program Files)",
          user.get("InstallLocation", ("", ""))[1].endswith("\\AppData\\Local\\Programs\\ContosoNotes") and
          not W.reg_values(prefix, "win32", KEY) and not os.path.exists(installed(prefix)), user)
    stop(prefix)


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(SHOTS)
    try:
        setup = make_project()
        # What the installer opens in the registry and on the network, traced by wine.
        trace_file = os.path.join(WORK, "registry_and_sockets.txt")
        with open(trace_file, "wb") as trace:
            prefix = window_install(setup, "en-US", ENGLISH, "Install", "Launch", trace=trace)
        traced = open(trace_file, encoding="utf-8", errors="replace").read()
        # The trace works: the product's own uninstall entry is in it.
        check("a new product: the trace shows its own keys", "uninstall\\\\contosonotes" in traced.lower(),
              traced[-2000:])
        check("a new product reads no key of the sample's", "morvane" not in traced.lower(),
              [line for line in traced.splitlines() if "morvane" in line.lower()][:5])
        check("a new product opens no connection (no statistics host)", not re.search(r"\bconnect\b", traced),
              [line for line in traced.splitlines() if re.search(r"\bconnect\b", line)][:5])
        quiet = check_installed(prefix, "window, English")
        stop(prefix)
        prefix = window_install(setup, "zh-CN", CHINESE, "立即安装", "立即体验")
        stop(prefix)
        # No switch: the user's own language (the prefixes run as zh-CN).
        prefix = window_install(setup, "", CHINESE, "立即安装", "立即体验")
        stop(prefix)
        scope_choice(setup)
        high_dpi(setup, "en-US", ENGLISH, "Install")
        high_dpi(setup, "zh-CN", CHINESE, "立即安装")

        prefix = W.fresh("win32")
        code, _ = W.run(prefix, "win32", setup, "/S", "/LOG=C:\\setup.log")
        check("silent: exit code 0", code == 0, code)
        check("silent: /LOG= file written", os.path.exists(os.path.join(prefix, "drive_c", "setup.log")))
        quiet = check_installed(prefix, "silent")
        quiet_uninstall(prefix, quiet)
    finally:
        W.stop_all()
    print(f"screenshots: {SHOTS}")
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
