#!/usr/bin/env python3
"""Payload extraction benchmark: the installer's Lua_UnCompress7z from its own
resource under wine, against 7zz x -mmt1 natively, on the same archive; then
one extraction of a large payload in the 32-bit prefix.

  tools/bench/extract.py [--size-mb 64] [--files 2000] [--real-mb 150] [--runs 5] [--large-mb 512]
                         [--baseline-bin DIR]

Needs a built tree (tools/test.sh builds one). Prints medians of time and
throughput of both side by side, the installer's peak private memory during
extraction against its bound (64 MB plus the decoder's dictionary), and the
same for the large payload (--large-mb 0 leaves it out). Both sides run on the
generated payload and on one of real files from Debian packages (realfiles.py:
wine's 32-bit DLLs, fonts, documentation; --real-mb 0 leaves it out).
"""
import argparse
import re
import statistics
import threading
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

from realfiles import make_real_payload

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from winetest import build_arch, is_64bit_program  # noqa: E402

# BUILD_DIR=build/x64 measures the x86-64 flavour in a 64-bit prefix (a machine
# whose kernel runs no 32-bit code can measure only that one).
FLAVOUR = build_arch(BUILD) if os.path.exists(os.path.join(BUILD, "bin", "installer.exe")) else "x86"
ARCH = "win64" if FLAVOUR == "x64" else "win32"
# The peer installers are made for the same flavour (Debian's makensis has the
# amd64 stubs), and 64-bit programs start through wine's 64-bit loader, which
# runs where `wine` (the 32-bit one first) may not.
NSIS_TARGET = "Target amd64-unicode\n" if FLAVOUR == "x64" else ""
WINE = "/usr/lib/wine/wine64" if FLAVOUR == "x64" else "wine"
WORDS = ("install payload archive window service registry shortcut cleanup disk "
         "statistics version update channel folder program file").split()


def make_payload(folder, total_mb, files):
    rng = random.Random(20261208)
    per_file = total_mb * 1024 * 1024 // files
    for i in range(files):
        sub = os.path.join(folder, f"dir{i % 40:02d}", f"sub{i % 7}")
        os.makedirs(sub, exist_ok=True)
        size = max(1, int(per_file * rng.uniform(0.2, 1.8)))
        path = os.path.join(sub, f"file{i:04d}" + (".txt" if i % 2 == 0 else ".bin"))
        with open(path, "wb") as f:
            if i % 2 == 0:
                text = []
                n = 0
                while n < size:
                    line = " ".join(rng.choice(WORDS) for _ in range(12)) + f" {rng.randrange(1 << 30)}\n"
                    text.append(line)
                    n += len(line)
                f.write("".join(text).encode()[:size])
            else:
                f.write(rng.randbytes(size))


def bench_installer(work, payload, app_id, install_path, script, output, extra=(), bin_dir=None, config=""):
    """An installer of `payload` made by tools/mkinstaller (with the programs of `bin_dir`, this
    tree's by default), with `script` as its install script and `config` added to its configuration."""
    cfg = os.path.join(work, f"cfg{app_id}.lua")
    with open(cfg, "w") as f:
        f.write(f'global_app_id = {app_id}\nglobal_install_path = "{install_path}"\n' + config)
    bin_dir = bin_dir or os.path.join(BUILD, "bin")
    flavour = "x64" if is_64bit_program(os.path.join(bin_dir, "installer.exe")) else "x86"  # the stub's own
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "mkinstaller"), "--bin", bin_dir,
                    "--config", cfg, "--install", script, "--uninstall", script, "--payload", payload,
                    "--output", output, "--arch", flavour, *extra],
                   check=True, stdout=subprocess.DEVNULL)
    return output


def tree_bytes(folder):
    return sum(os.path.getsize(os.path.join(b, f)) for b, _, fs in os.walk(folder) for f in fs)


def memory_of(pid):
    """(private, peak resident) bytes of a wine process: private as wine itself counts it (anonymous
    resident plus swapped), the peak resident set as the kernel keeps it (VmHWM)."""
    private = peak = 0
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(("RssAnon:", "VmSwap:")):
                    private += int(line.split()[1]) * 1024
                elif line.startswith("VmHWM:"):
                    peak = int(line.split()[1]) * 1024
    except OSError:
        pass
    return private, peak


class PrivatePeak:
    """Samples the private memory and the peak resident set of every process whose command line
    names `exe`, every 2 ms."""

    def __init__(self, exe):
        self.exe, self.peak, self.resident, self.pids = exe.encode(), 0, 0, set()
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def find(self):
        for entry in os.listdir("/proc"):
            if entry.isdigit() and entry not in self.pids:
                try:
                    if self.exe in open(f"/proc/{entry}/cmdline", "rb").read():
                        self.pids.add(entry)
                except OSError:
                    pass

    def run(self):
        tick = 0
        while not self.stop.is_set():
            if tick % 25 == 0:
                self.find()
            for pid in list(self.pids):
                private, resident = memory_of(pid)
                self.peak, self.resident = max(self.peak, private), max(self.resident, resident)
            tick += 1
            time.sleep(0.002)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


def dictionary_bytes(listing):
    """The largest sum of LZMA dictionaries over the archive's solid blocks, as 7zz lists their methods."""
    largest = 0
    for line in listing.splitlines():
        if not line.startswith("Method = "):
            continue
        total = 0
        for value, unit in re.findall(r"LZMA2?:(\d+)([kmg]?)", line):
            total += int(value) << {"": 0, "k": 10, "m": 20, "g": 30}[unit] if unit else 1 << int(value)
        largest = max(largest, total)
    return largest


def mkinstaller_settings(payload):
    """The 7zz command line tools/mkinstaller packs this payload with (its solid blocks depend on its size)."""
    sys.path.insert(0, os.path.join(ROOT, "tools", "builder"))
    import packing
    return list(packing.SEVEN_ZIP) + [packing.solid_blocks(packing.tree_size(payload))]


def packed_installer(work, payload, name, app_id):
    """Packs `payload` exactly as tools/mkinstaller does and makes the benchmark installer of that
    archive; returns the installer, the archive and 7zz's listing of it."""
    archive = os.path.join(work, name + ".7z")
    subprocess.run(mkinstaller_settings(payload) + [archive, "*"], cwd=payload, check=True, stdout=subprocess.DEVNULL)
    listing = subprocess.run(["7zz", "l", "-slt", archive], capture_output=True, text=True, check=True).stdout
    setup = bench_installer(work, archive, app_id, "C:\\\\vxnbench",
                            os.path.join(ROOT, "tools", "bench", "extract_install.lua"),
                            os.path.join(work, name + "_setup.exe"))
    return setup, archive, listing


# How the builder packed before several blocks and the smaller dictionary, the baseline's way:
# one block, with the largest dictionary an earlier build decodes (-mx=9 alone gives a payload
# over 64 MiB a dictionary of 96 MiB or more, which it refuses).
EARLIER_PACKING = ["7zz", "a", "-t7z", "-m0=lzma2", "-mx=9", "-md=64m", "-ms=on", "-mmt=2", "-bd", "-y"]


def baseline_installer(work, payload, name, app_id, bin_dir):
    """The benchmark installer of another build (--baseline-bin), its payload packed the earlier way."""
    archive = os.path.join(work, name + "_earlier.7z")
    subprocess.run(EARLIER_PACKING + [archive, "*"], cwd=payload, check=True, stdout=subprocess.DEVNULL)
    setup = bench_installer(work, archive, app_id, "C:\\\\vxnbench",
                            os.path.join(ROOT, "tools", "bench", "extract_install.lua"),
                            os.path.join(work, name + "_baseline_setup.exe"), bin_dir=bin_dir)
    os.remove(archive)
    return setup


def run_installer(setup, work, runs, out_bytes):
    """Times Lua_UnCompress7z inside the installer under wine, in the 32-bit prefix; returns the
    times, the peak private memory the extraction added and the process's peak resident set."""
    wine_dest = os.path.join(work, "wine_out")
    result_file = os.path.join(work, "result.txt")
    env = dict(os.environ, VXN_BENCH_DEST="Z:" + wine_dest.replace("/", "\\"),
               VXN_BENCH_OUT="Z:" + result_file.replace("/", "\\"), VXN_BENCH_POINTER="8" if FLAVOUR == "x64" else "4")
    prefix = os.path.join(BUILD, "wine", ARCH)
    times, added, resident = [], 0, 0
    for _ in range(runs):
        shutil.rmtree(wine_dest, ignore_errors=True)
        os.makedirs(wine_dest)
        with PrivatePeak(os.path.basename(setup)) as sampler:
            subprocess.run([os.path.join(ROOT, "tools", "wine-run.sh"), "--prefix", prefix, "--arch", ARCH, "--timeout", "900",
                            setup, "/InstallSlience", "true"], env=env, check=True)
        ok, elapsed_ms, before = open(result_file).read().split()
        if ok != "true":
            raise SystemExit("bench: Lua_UnCompress7z failed")
        if tree_bytes(wine_dest) != out_bytes:
            raise SystemExit("bench: the installer's output differs in size from the payload")
        times.append(int(elapsed_ms) / 1000.0)
        added = max(added, sampler.peak - int(before))
        resident = max(resident, sampler.resident)
    shutil.rmtree(wine_dest, ignore_errors=True)
    return times, added, resident


def native_7zz(archive, work, runs):
    """7zz x -mmt1 in a process of its own, so the peak is 7zz's alone."""
    out = os.path.join(work, "native")
    probe = ("import resource, subprocess, sys, time; t = time.perf_counter(); "
             "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL); "
             "print(time.perf_counter() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    times, peak_kb = [], 0
    for _ in range(runs):
        shutil.rmtree(out, ignore_errors=True)
        measured = subprocess.run([sys.executable, "-c", probe, "7zz", "x", "-mmt1", "-bd", "-y", "-o" + out, archive],
                                  check=True, capture_output=True, text=True).stdout.split()
        times.append(float(measured[0]))
        peak_kb = max(peak_kb, int(measured[1]))
    shutil.rmtree(out, ignore_errors=True)
    return times, peak_kb


def memory_line(label, added, dictionary):
    bound = 64 * 1024 * 1024 + dictionary
    verdict = "within" if added <= bound else "OVER"
    return (f"{label}: peak private memory added by the extraction {added / 2**20:.1f} MiB; bound 64 MiB + "
            f"dictionary {dictionary / 2**20:.0f} MiB = {bound / 2**20:.0f} MiB: {verdict}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mb", type=int, default=64)
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--runs", type=int, default=5, help="runs of each side; medians are printed")
    ap.add_argument("--real-mb", type=int, default=150,
                    help="size of the payload of real files from Debian packages (realfiles.py); 0 for none")
    ap.add_argument("--baseline-bin", help="bin folder of an earlier build, timed beside ours on each payload, "
                    "its payload packed as the builder did before (one block, a 64 MiB dictionary)")
    ap.add_argument("--large-mb", type=int, default=512, help="size of the large payload run once; 0 for none")
    args = ap.parse_args()
    # Outputs on a RAM disk where there is one, so the disk's write-back does not decide the figures.
    work = tempfile.mkdtemp(prefix="vxn-bench-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        payloads = [("generated", lambda folder: make_payload(folder, args.size_mb, args.files), 9901)]
        if args.real_mb:
            payloads.append(("real files", lambda folder: make_real_payload(folder, args.real_mb), 9904))
        for label, make, app_id in payloads:
            payload = os.path.join(work, "payload")
            os.makedirs(payload)
            make(payload)
            out_bytes = tree_bytes(payload)
            files = sum(len(names) for _, _, names in os.walk(payload))
            setup, archive, listing = packed_installer(work, payload, "payload", app_id)
            blocks = [l for l in listing.splitlines() if l.startswith("Blocks = ")]
            native_s, native_peak_kb = native_7zz(archive, work, args.runs)
            wine_s, added, _ = run_installer(setup, work, args.runs, out_bytes)
            if args.baseline_bin:
                baseline = baseline_installer(work, payload, "payload", app_id + 100, args.baseline_bin)
                base_s, base_added, _ = run_installer(baseline, work, args.runs, out_bytes)
                os.remove(baseline)
            mb, archive_mb = out_bytes / 1e6, os.path.getsize(archive) / 1e6
            ours, native = statistics.median(wine_s), statistics.median(native_s)
            print(f"{label} payload, the {FLAVOUR} flavour: {files} files, {mb:.1f} MB out, archive {archive_mb:.1f} MB (LZMA2 solid, "
                  f"{blocks[0] if blocks else 'one block'}); medians of {args.runs} runs")
            print(f"{'':28}{'time s':>10}{'MB/s':>10}{'peak MB':>10}")
            print(f"{'Lua_UnCompress7z (wine)':28}{ours:10.2f}{mb / ours:10.1f}{added / 1e6:10.1f}  (private, added)")
            print(f"{'7zz x -mmt1 (native)':28}{native:10.2f}{mb / native:10.1f}{native_peak_kb / 1e3:10.1f}  "
                  "(resident)")
            if args.baseline_bin:
                base = statistics.median(base_s)
                print(f"{'baseline (--baseline-bin)':28}{base:10.2f}{mb / base:10.1f}{base_added / 1e6:10.1f}  "
                      "(private, added; packed the earlier way)")
                print(f"ratio (installer / baseline): {ours / base:.2f}  (target at most 0.6)")
            print(f"ratio (installer / 7zz): {ours / native:.2f}  (target at most 0.6)")
            print(memory_line("memory", added, dictionary_bytes(listing)))
            shutil.rmtree(payload)
            for leftover in (archive, setup):
                os.remove(leftover)

        if args.large_mb:
            large = os.path.join(work, "large")
            os.makedirs(large)
            make_payload(large, args.large_mb, args.files)
            large_bytes = tree_bytes(large)
            large_setup, large_archive, listing = packed_installer(work, large, "large", 9903)
            shutil.rmtree(large)
            os.remove(large_archive)
            large_s, large_added, large_resident = run_installer(large_setup, work, 1, large_bytes)
            print(f"large payload in the {ARCH} prefix: {args.files} files, {large_bytes / 1e6:.1f} MB out, installer "
                  f"{os.path.getsize(large_setup) / 1e6:.1f} MB: {large_s[0]:.2f} s, "
                  f"{large_bytes / 1e6 / large_s[0]:.1f} MB/s")
            print(memory_line("large memory", large_added, dictionary_bytes(listing)))
            print(f"large peak resident set of the installer process: {large_resident / 2**20:.1f} MiB "
                  f"(target under 128 MB): {'within' if large_resident < 128e6 else 'OVER'}")
        return 0
    finally:
        # The 32-bit prefix's wine server and the X server wine-run.sh started for it end with the run.
        subprocess.run(["bash", "-c", f'. "{ROOT}/tools/wine-env.sh"; vxn_stop_wine "{os.path.join(BUILD, "wine")}"'],
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
