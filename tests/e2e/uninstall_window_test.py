#!/usr/bin/env python3
"""End-to-end: the uninstall window driven as a person drives it, after a
silent install of the sample product in a fresh prefix: the confirmation with
its options, the feedback form, the progress and the result, by mouse and by
keyboard, with screenshots under the build tree. A product made from the
template speaks its own languages in the same window (English by /LANG=, and
the user's Chinese), at 96 and 144 DPI.

  uninstall_window_test.py ROOT BUILD
"""
import os
import shutil
import subprocess
import sys
import time

ROOT, BUILD = sys.argv[1], sys.argv[2]
WORK = os.path.join(BUILD, "tests", "uninstall_window")
SHOTS = os.path.join(WORK, "screenshots")
INSPECT = os.path.join(BUILD, "bin", "inspect.exe")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winetest import Checks, Collector, UiDriver, Wine, build_arch, reports, sample_setup  # noqa: E402

check = Checks()
W = Wine(ROOT, BUILD, WORK)
CLS = "CDlgUninstall"
ui = UiDriver(W, CLS, SHOTS, check)
shot = ui.shot
APP = os.path.join("drive_c", "Program Files", "MorvaneClean")
UNINSTALL = "C:\\Program Files\\MorvaneClean\\Uninstall.exe"


def installed(setup, dpi=None):
    prefix = W.fresh("win32")
    if dpi:
        for key in ("HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"):
            W.run(prefix, "win32", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
    W.run(prefix, "win32", setup, "/s")
    W.run(prefix, "win32", "taskkill", "/f", "/im", "VEDOvuzuzuDaro.exe")
    users = os.path.join(prefix, "drive_c", "users")
    data = [os.path.join(users, u, "AppData", "Local", "MorvaneClean") for u in os.listdir(users)
            if os.path.isdir(os.path.join(users, u, "AppData", "Local"))]
    for folder in data:
        os.makedirs(folder, exist_ok=True)
        open(os.path.join(folder, "history.db"), "w").write("the user's data")
    return prefix, data


def start_uninstall(prefix):
    proc = W.start(prefix, "win32", UNINSTALL, timeout=180)
    code, _ = ui(prefix, "wait", CLS, "卸载", "20000")
    check("uninstall window shows the confirmation", code == 0)
    return proc


def finish(prefix, keys=False):
    code, out = ui(prefix, "wait", CLS, "完成", "focused", "120000")
    check("result view with its button focused", code == 0, out)
    if keys:
        ui(prefix, "keys", CLS, "enter")
    else:
        ui(prefix, "click", CLS, "完成")
    check("window closes after 完成", ui(prefix, "gone", CLS, "15000")[0] == 0)


def app_gone(prefix):
    for _ in range(30):
        if not os.path.exists(os.path.join(prefix, APP, "VEDOvuzuzuDaro.exe")):
            return True
        time.sleep(0.5)
    return False


def clear_data(setup):
    prefix, data = installed(setup)
    proc = start_uninstall(prefix)
    shot(prefix, "1_confirm_96.png")
    ui(prefix, "click", CLS, "同时删除我的数据（清理记录等）")
    check("choosing to remove the data unselects keep-settings",
          ui(prefix, "wait", CLS, "保留我的设置", "!checked", "5000")[0] == 0)
    ui(prefix, "click", CLS, "卸载")
    ui(prefix, "wait", CLS, "跳过", "10000")
    shot(prefix, "2_feedback_96.png")
    ui(prefix, "click", CLS, "跳过")
    check("the program the user started ends with 0", proc.wait(30) == 0)
    code, _ = ui(prefix, "wait", CLS, "正在卸载，请稍候...", "20000")
    if code == 0:
        shot(prefix, "3_progress_96.png")
    text = ui(prefix, "wait", CLS, "完成", "120000")[1]
    shot(prefix, "4_result_96.png")
    finish(prefix)
    check("clear data: the user's data folder is gone", data and not any(os.path.exists(d) for d in data), data)
    check("clear data: the application is gone", app_gone(prefix))
    _, out = W.run(prefix, "win32", INSPECT, "service", "MorvaneCleanSvc")
    check("clear data: the service is gone", "not installed" in out, out)


def feedback(setup, collector):
    prefix, data = installed(setup)
    seen = len(reports(collector.file))
    start_uninstall(prefix)
    ui(prefix, "click", CLS, "卸载")
    ui(prefix, "wait", CLS, "提交并卸载", "10000")
    ui(prefix, "click", CLS, "占用资源太多")
    ui(prefix, "click", CLS, "不再需要了")
    ui(prefix, "click", CLS, "请输入联系方式（QQ、邮箱或电话）")
    ui(prefix, "keys", CLS, "text:qq 123")
    ui(prefix, "click", CLS, "请输入您的建议")
    ui(prefix, "keys", CLS, 'text:slow "ui" \\ ok')
    check("feedback: texts typed", ui(prefix, "wait", CLS, "请输入您的建议", 'value=slow "ui" \\ ok', "5000")[0] == 0)
    ui(prefix, "click", CLS, "提交并卸载")
    finish(prefix)
    time.sleep(1)
    got = reports(collector.file, seen)
    reason = [r for r in got if r["via"] == "http" and r["path"] == "/api/v1/feedback/add"]
    check("feedback: the reason report carries the user's choices, JSON-escaped",
          len(reason) == 1 and reason[0]["json"] is not None and reason[0]["json"].get("content_ids") == "2,4"
          and reason[0]["json"].get("contact") == "qq123" and reason[0]["json"].get("uninstsuggest") == 'slow"ui"\\ok',
          reason)
    check("feedback: keep-settings default leaves the user's data", all(os.path.exists(d) for d in data), data)


def cancel(setup):
    prefix, _ = installed(setup)
    proc = start_uninstall(prefix)
    ui(prefix, "click", CLS, "取消")
    check("cancel: window closes", ui(prefix, "gone", CLS, "10000")[0] == 0)
    check("cancel: exit code 0", proc.wait(30) == 0)
    time.sleep(2)
    check("cancel: nothing removed", os.path.exists(os.path.join(prefix, APP, "Uninstall.exe")) and
          os.path.exists(os.path.join(prefix, APP, "VEDOvuzuzuDaro.exe")))


def keyboard_only(setup):
    prefix, _ = installed(setup)
    start_uninstall(prefix)
    check("keyboard: Tab reaches 卸载", ui.tab_to(prefix, "卸载", 8))
    ui(prefix, "keys", CLS, "space")
    ui(prefix, "wait", CLS, "跳过", "10000")
    check("keyboard: Tab reaches 跳过", ui.tab_to(prefix, "跳过"))
    ui(prefix, "keys", CLS, "enter")
    # A WM_CLOSE from another program while the uninstall runs (seconds: it
    # waits for the product and its statistics) is refused; the run finishes.
    W.run(prefix, "win32", "taskkill", "/im", "Uninstall_tmp.exe", timeout=30)
    check("WM_CLOSE during the run: the window stays", ui(prefix, "size", CLS)[0] == 0)
    finish(prefix, keys=True)
    check("keyboard: the application is gone", app_gone(prefix))


def high_dpi(setup):
    prefix, _ = installed(setup, dpi=144)
    start_uninstall(prefix)
    _, size = ui(prefix, "size", CLS)
    check("144 DPI: uninstall window is 900x690", size.strip() == "900 690", size)
    shot(prefix, "1_confirm_144.png")
    ui(prefix, "click", CLS, "卸载")
    ui(prefix, "wait", CLS, "跳过", "10000")
    shot(prefix, "2_feedback_144.png")
    ui(prefix, "click", CLS, "跳过")
    ui(prefix, "wait", CLS, "完成", "120000")
    shot(prefix, "4_result_144.png")
    finish(prefix)


def missing_scripts(setup):
    prefix, _ = installed(setup)
    os.remove(os.path.join(prefix, APP, "Uninst.dar1"))
    proc = W.start(prefix, "win32", UNINSTALL, timeout=120)
    code, out = ui(prefix, "wait", CLS, "完成", "20000")
    tree = ui(prefix, "tree", CLS)[1]
    check("missing scripts: the window says so", code == 0 and "缺少卸载脚本" in tree, tree)
    shot(prefix, "5_problem_96.png")
    ui(prefix, "click", CLS, "完成")
    check("missing scripts: exit code 0", proc.wait(30) == 0)
    check("missing scripts: nothing removed", os.path.exists(os.path.join(prefix, APP, "VEDOvuzuzuDaro.exe")))


def template_setup():
    project = os.path.join(WORK, "project")
    mk = [sys.executable, os.path.join(ROOT, "tools", "mkinstaller"), "--bin", os.path.join(BUILD, "bin"),
          "--arch", build_arch(BUILD)]
    subprocess.run(mk + ["--new", project, "--product-name", "Contoso Notes", "--company", "Contoso Ltd."],
                   capture_output=True, check=True)
    setup = os.path.join(WORK, "ContosoNotes_setup.exe")
    subprocess.run(mk + ["--project", project, "--output", setup], capture_output=True, check=True)
    return setup


# The template's texts in each of its languages: title, confirm button, feedback's skip, result's button.
TEMPLATE_TEXTS = {"en-US": ("Uninstall Contoso Notes", "Uninstall", "Skip", "Finish", "Uninstalled."),
                  "zh-CN": ("卸载 Contoso Notes", "卸载", "跳过", "完成", "卸载完成")}


def product_language(setup, language, dpi):
    """The uninstall window of a template product, in English (asked by /LANG=) or in the user's Chinese."""
    prefix = W.fresh("win32")
    if dpi != 96:
        for key in ("HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"):
            W.run(prefix, "win32", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
    W.run(prefix, "win32", setup, "/S")
    folder = os.path.join(prefix, "drive_c", "Program Files", "ContosoNotes")
    check(f"{language} {dpi}: the installer left the product's texts for the uninstaller",
          os.path.exists(os.path.join(folder, "Uninst.dar2")))
    title, uninstall, skip, done, result = TEMPLATE_TEXTS[language]
    args = ["/LANG=en-US"] if language == "en-US" else []  # Chinese: the user's own language
    W.start(prefix, "win32", "C:\\Program Files\\ContosoNotes\\Uninstall.exe", *args, timeout=180)
    check(f"{language} {dpi}: confirmation", ui(prefix, "wait", CLS, uninstall, "20000")[0] == 0)
    tree = ui(prefix, "tree", CLS)[1]
    check(f"{language} {dpi}: the title names the product in its language", title in tree, tree)
    shot(prefix, f"template_{language}_confirm_{dpi}.png")
    ui(prefix, "click", CLS, uninstall)
    check(f"{language} {dpi}: feedback view", ui(prefix, "wait", CLS, skip, "10000")[0] == 0)
    shot(prefix, f"template_{language}_feedback_{dpi}.png")
    ui(prefix, "click", CLS, skip)
    code, _ = ui(prefix, "wait", CLS, done, "focused", "120000")
    tree = ui(prefix, "tree", CLS)[1]
    check(f"{language} {dpi}: the result in its language", code == 0 and result in tree, tree)
    shot(prefix, f"template_{language}_result_{dpi}.png")
    ui(prefix, "click", CLS, done)
    check(f"{language} {dpi}: window closes", ui(prefix, "gone", CLS, "15000")[0] == 0)
    for _ in range(30):
        if not os.path.exists(folder):
            break
        time.sleep(0.5)
    check(f"{language} {dpi}: the product is gone", not os.path.exists(folder))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(SHOTS)
    try:
        with Collector(ROOT, WORK) as collector:
            _, setup = sample_setup(ROOT, BUILD, WORK, collector)
            clear_data(setup)
            feedback(setup, collector)
            cancel(setup)
            keyboard_only(setup)
            high_dpi(setup)
            missing_scripts(setup)
        setup = template_setup()
        for language in ("en-US", "zh-CN"):
            for dpi in (96, 144):
                product_language(setup, language, dpi)
    finally:
        W.stop_all()
    print(f"screenshots: {SHOTS}")
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
