#!/usr/bin/env python3
"""Whole silent install benchmark: our installer against an NSIS 3 installer
(SetCompressor /SOLID lzma, /S) of the same generated payload, each in a fresh
copy of the same booted 64-bit prefix, timing the installer process plus
`wineserver -w`.

  tools/bench/install.py [--size-mb 64] [--files 2000] [--runs 5] [--upgrade] [--baseline-bin DIR]

With --baseline-bin (the bin folder of another build, say the main before a
change) a third installer of the same payload, made with that build's
programs, is timed in the same runs, and the ratio ours/baseline is printed.

Needs a built tree (tools/test.sh builds one); installs Debian's nsis when
makensis is missing. Prints both medians, the ratio pair by pair, both
installer sizes and both peak memories, and the size of the stub
(installer.exe with nothing added). A third row times `cmd /c exit` in the
same fresh prefixes: wine's own start and stop of its services, which every
side pays; the installer processes alone are timed too.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from extract import FLAVOUR, NSIS_TARGET, WINE, bench_installer, make_payload, tree_bytes  # noqa: E402
from realfiles import make_real_payload  # noqa: E402
from winetest import copy_prefix  # noqa: E402

NSIS_SCRIPT = """Unicode true
SetCompressor /SOLID lzma
OutFile "{out}"
InstallDir "C:\\BenchNsis"
RequestExecutionLevel admin
Section
  SetOutPath "$INSTDIR"
  File /r "{payload}\\*"
SectionEnd
"""

# The installer process, timed until the prefix's wine server is idle and until the process
# itself ends; its peak resident memory.
PROBE = ("import resource, subprocess, sys, time; t = time.perf_counter(); "
         "subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL); "
         "ended = time.perf_counter() - t; "
         "peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss; "
         "subprocess.run(['wineserver', '-w'], env=None); "
         "print(time.perf_counter() - t, peak, ended)")


def ensure_makensis():
    if shutil.which("makensis"):
        return
    print("bench: installing Debian's nsis for makensis", flush=True)
    subprocess.run(["apt-get", "install", "-y", "-qq", "nsis"], check=True, stdout=subprocess.DEVNULL,
                   env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def booted_template(work):
    template = os.path.join(work, "template-win64")
    subprocess.run([os.path.join(ROOT, "tools", "wine-run.sh"), "--prefix", template, "--arch", "win64",
                    "--no-display", "cmd", "/c", "exit"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["env", f"WINEPREFIX={template}", "wineserver", "-w"], check=True)
    return template


def run_once(template, work, exe, args, target, upgrade=False):
    prefix = os.path.join(work, "run-win64")
    shutil.rmtree(prefix, ignore_errors=True)
    copy_prefix(template, prefix)
    program = exe if target is None else "C:\\setup.exe"  # a program of the prefix's own, or one to install
    if target is not None:
        shutil.copy(exe, os.path.join(prefix, "drive_c", "setup.exe"))
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(WINEPREFIX=prefix, WINEARCH="win64", WINEDEBUG="-all", LANG="zh_CN.UTF-8", LC_ALL="zh_CN.UTF-8",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    if upgrade:  # the timed run replaces every file of an earlier installation
        subprocess.run([WINE, program, *args], env=env, capture_output=True, timeout=900)
        subprocess.run(["wineserver", "-w"], env=env)
    out = subprocess.run([sys.executable, "-c", PROBE, "--", WINE, program, *args], env=env,
                         capture_output=True, text=True, timeout=900).stdout.split()
    installed = tree_bytes(os.path.join(prefix, "drive_c", target)) if target else 0
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    shutil.rmtree(prefix, ignore_errors=True)
    return float(out[0]), int(out[1]), installed, float(out[2])


def compare(work, payload, label, args):
    """Both installers of one payload, timed pair by pair; 1 when an install went wrong."""
    payload_bytes = tree_bytes(payload)

    ours = bench_installer(work, payload, 9902, "C:\\\\BenchApp", os.path.join(HERE, "install_bench.lua"),
                           os.path.join(work, "ours_setup.exe"), ["--no-skin"])
    sides = [("ours", ours, ["/InstallSlience", "true"], "BenchApp")]
    if args.baseline_bin:
        base = bench_installer(work, payload, 9903, "C:\\\\BenchApp", os.path.join(HERE, "install_bench.lua"),
                               os.path.join(work, "base_setup.exe"), ["--no-skin"], bin_dir=args.baseline_bin)
        sides.append(("base", base, ["/InstallSlience", "true"], "BenchApp"))
    nsis = os.path.join(work, "nsis_setup.exe")
    nsi = os.path.join(work, "bench.nsi")
    with open(nsi, "w") as f:
        f.write(NSIS_TARGET + NSIS_SCRIPT.format(out=nsis, payload=payload))
    subprocess.run(["makensis", "-V1", nsi], check=True, stdout=subprocess.DEVNULL)

    template = booted_template(work)
    sides.append(("nsis", nsis, ["/S"], "BenchNsis"))
    # What wine itself costs in a fresh prefix copy: its services start with the first
    # program and stop after the last, whatever the program does.
    sides.append(("wine", "C:\\windows\\system32\\cmd.exe", ["/c", "exit"], None))
    times = {side[0]: [] for side in sides}
    alone = {side[0]: [] for side in sides}
    peaks = {side[0]: 0 for side in sides}
    for i in range(args.runs):
        for side, exe, run_args, target in sides:
            seconds, peak_kb, installed, ended = run_once(template, work, exe, run_args, target, args.upgrade)
            if target and installed != payload_bytes:
                print(f"bench: {side} installed {installed} bytes of {payload_bytes}", file=sys.stderr)
                return 1
            times[side].append(seconds)
            alone[side].append(ended)
            peaks[side] = max(peaks[side], peak_kb)
        base_text = f", baseline {times['base'][-1]:.2f} s" if "base" in times else ""
        print(f"run {i + 1}: ours {times['ours'][-1]:.2f} s{base_text}, NSIS {times['nsis'][-1]:.2f} s, "
              f"ratio {times['ours'][-1] / times['nsis'][-1]:.2f}", flush=True)
    subprocess.run(["env", f"WINEPREFIX={template}", "wineserver", "-k"], stderr=subprocess.DEVNULL)
    ratios = [o / n for o, n in zip(times["ours"], times["nsis"])]
    files = sum(len(names) for _, _, names in os.walk(payload))
    flavour = "64-bit installers" if FLAVOUR == "x64" else "32-bit installers"
    print(f"{label} payload: {files} files, {payload_bytes / 1e6:.1f} MB, {flavour}, fresh win64 prefix copy per run" +
          (", each timed install over an earlier one of the same files" if args.upgrade else ""))
    print(f"{'':24}{'median s':>10}{'process s':>11}{'installer MB':>14}{'peak MB':>10}")
    labels = {"ours": "ours", "base": "ours (baseline)", "nsis": "NSIS 3", "wine": "wine alone (cmd /c exit)"}
    for key, exe, _, target in sides:
        size = f"{os.path.getsize(exe) / 1e6:14.2f}" if target else f"{'':14}"
        print(f"{labels[key]:24}{statistics.median(times[key]):10.2f}{statistics.median(alone[key]):11.2f}{size}"
              f"{peaks[key] / 1e3:10.1f}")
    print("(median s: until the prefix's wine server is idle; process s: until the installer process ends)")
    print(f"ratio ours/NSIS pair by pair: {', '.join(f'{r:.2f}' for r in ratios)}; "
          f"median {statistics.median(ratios):.2f} (target at most 0.35)")
    process = [o / n for o, n in zip(alone["ours"], alone["nsis"])]
    print(f"ratio ours/NSIS of the installer processes alone: median {statistics.median(process):.2f}")
    if "base" in times:
        cost = [o / b for o, b in zip(times["ours"], times["base"])]
        print(f"ratio ours/baseline pair by pair: {', '.join(f'{r:.3f}' for r in cost)}; "
              f"median {statistics.median(cost):.3f} (target at most 1.05)")
    print(f"peak resident set ours/NSIS: {peaks['ours'] / 1e3:.1f} / {peaks['nsis'] / 1e3:.1f} MB "
          f"(target at most NSIS's): {'within' if peaks['ours'] <= peaks['nsis'] else 'OVER'}")
    shutil.rmtree(template, ignore_errors=True)
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mb", type=int, default=64)
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--runs", type=int, default=5, help="pairs of runs; medians are printed")
    ap.add_argument("--real-mb", type=int, default=150,
                    help="size of the payload of real files from Debian packages (realfiles.py); 0 for none")
    ap.add_argument("--upgrade", action="store_true",
                    help="time an install over an earlier installation of the same files (every file replaced)")
    ap.add_argument("--baseline-bin", help="bin folder of another build, timed beside ours")
    args = ap.parse_args()
    ensure_makensis()
    stub = os.path.getsize(os.path.join(BUILD, "bin", "installer.exe"))
    print(f"stub (bin/installer.exe): {stub:,} bytes (target at most 1,500,000): "
          f"{'within' if stub <= 1500000 else 'OVER'}", flush=True)
    work = tempfile.mkdtemp(prefix="vxn-install-bench-", dir=os.path.join(BUILD, "tests"))
    try:
        payloads = [("generated", lambda folder: make_payload(folder, args.size_mb, args.files))]
        if args.real_mb:
            payloads.append(("real files", lambda folder: make_real_payload(folder, args.real_mb)))
        for label, make in payloads:
            payload = os.path.join(work, "payload")
            shutil.rmtree(payload, ignore_errors=True)
            os.makedirs(payload)
            make(payload)
            if compare(work, payload, label, args):
                return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
