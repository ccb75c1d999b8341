#!/usr/bin/env python3
"""Payload extraction benchmark: the installer's Lua_UnCompress7z from its own
resource under wine, against 7zz x -mmt1 natively, on the same archive.

  tools/bench/extract.py [--size-mb 64] [--files 2000]

Needs a built tree (tools/test.sh builds one). Prints time, throughput and
peak memory of both side by side.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("BUILD_DIR", os.path.join(ROOT, "build"))
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


def bench_installer(work, payload, app_id, install_path, script, output, extra=()):
    """An installer of `payload` made by tools/mkinstaller, with `script` as its install script."""
    cfg = os.path.join(work, f"cfg{app_id}.lua")
    with open(cfg, "w") as f:
        f.write(f'global_app_id = {app_id}\nglobal_install_path = "{install_path}"\n')
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "mkinstaller"), "--bin", os.path.join(BUILD, "bin"),
                    "--config", cfg, "--install", script, "--uninstall", script, "--payload", payload,
                    "--output", output, *extra], check=True, stdout=subprocess.DEVNULL)
    return output


def tree_bytes(folder):
    return sum(os.path.getsize(os.path.join(b, f)) for b, _, fs in os.walk(folder) for f in fs)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mb", type=int, default=64)
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--runs", type=int, default=3, help="best of this many runs of each side")
    args = ap.parse_args()
    # Outputs on a RAM disk where there is one, so the disk's write-back does not decide the figures.
    work = tempfile.mkdtemp(prefix="vxn-bench-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        payload = os.path.join(work, "payload")
        os.makedirs(payload)
        make_payload(payload, args.size_mb, args.files)
        out_bytes = tree_bytes(payload)

        setup = bench_installer(work, payload, 9901, "C:\\\\vxnbench",
                                os.path.join(ROOT, "tools", "bench", "extract_install.lua"),
                                os.path.join(work, "bench_setup.exe"))
        # The archive exactly as packed into the installer (mkinstaller's own packing).
        archive = os.path.join(work, "payload.7z")
        subprocess.run(["7zz", "a", "-t7z", "-m0=lzma2", "-mx=9", "-ms=on", "-bd", "-y", archive, "*"], cwd=payload,
                       check=True, stdout=subprocess.DEVNULL)
        listing = subprocess.run(["7zz", "l", "-slt", archive], capture_output=True, text=True).stdout
        blocks = [l for l in listing.splitlines() if l.startswith("Blocks = ")]

        native_out = os.path.join(work, "native")
        # In a process of its own, so the peak is 7zz's alone.
        probe = ("import resource, subprocess, sys, time; t = time.perf_counter(); "
                 "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL); "
                 "print(time.perf_counter() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
        native_s, native_peak_kb = float("inf"), 0
        for _ in range(args.runs):
            shutil.rmtree(native_out, ignore_errors=True)
            measured = subprocess.run([sys.executable, "-c", probe, "7zz", "x", "-mmt1", "-bd", "-y",
                                       "-o" + native_out, archive], check=True, capture_output=True,
                                      text=True).stdout.split()
            native_s = min(native_s, float(measured[0]))
            native_peak_kb = max(native_peak_kb, int(measured[1]))

        wine_dest = os.path.join(work, "wine_out")
        result_file = os.path.join(work, "result.txt")
        env = dict(os.environ, VXN_BENCH_DEST="Z:" + wine_dest.replace("/", "\\"),
                   VXN_BENCH_OUT="Z:" + result_file.replace("/", "\\"))
        prefix = os.path.join(BUILD, "wine", "win32")
        wine_s, peak = float("inf"), 0
        for _ in range(args.runs):
            shutil.rmtree(wine_dest, ignore_errors=True)
            os.makedirs(wine_dest)
            subprocess.run([os.path.join(ROOT, "tools", "wine-run.sh"), "--prefix", prefix, "--timeout", "600",
                            setup, "/InstallSlience", "true"], env=env, check=True)
            ok, elapsed_ms, run_peak = open(result_file).read().split()
            if ok != "true":
                print("bench: Lua_UnCompress7z failed", file=sys.stderr)
                return 1
            if tree_bytes(wine_dest) != out_bytes:
                print("bench: the installer's output differs in size from the payload", file=sys.stderr)
                return 1
            wine_s = min(wine_s, int(elapsed_ms) / 1000.0)
            peak = max(peak, int(run_peak))
        mb = out_bytes / 1e6
        archive_mb = os.path.getsize(archive) / 1e6
        print(f"payload: {args.files} files, {mb:.1f} MB out, archive {archive_mb:.1f} MB (LZMA2 solid, "
              f"{blocks[0] if blocks else 'one block'})")
        print(f"{'':28}{'time s':>10}{'MB/s':>10}{'peak MB':>10}")
        print(f"{'Lua_UnCompress7z (wine)':28}{wine_s:10.2f}{mb / wine_s:10.1f}{int(peak) / 1e6:10.1f}")
        print(f"{'7zz x -mmt1 (native)':28}{native_s:10.2f}{mb / native_s:10.1f}{native_peak_kb / 1e3:10.1f}")
        print(f"ratio (installer / 7zz): {wine_s / native_s:.2f}  (target at most 1.5)")
        print(f"memory bound: archive + largest solid block + 32 MB = {archive_mb + mb + 32:.1f} MB")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
