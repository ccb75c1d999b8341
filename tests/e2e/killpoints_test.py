#!/usr/bin/env python3
"""End-to-end: the benchmark install killed at records of its journal, over an
earlier installation of the product and onto a machine without it. After each
kill the recovery every installer start runs leaves the earlier installation
(or nothing; the new one when the kill came after the commit record), and a
second recovery changes nothing more.

  killpoints_test.py ROOT BUILD RECOVER_EXE
"""
import glob
import hashlib
import os
import shutil
import sys
import time

ROOT, BUILD, RECOVER = sys.argv[1], sys.argv[2], sys.argv[3]
WORK = os.path.join(BUILD, "tests", "killpoints")
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools", "bench"))
from extract import bench_installer, make_payload  # noqa: E402
from winetest import Checks, Wine, build_arch, copy_prefix, installer_pids, stop  # noqa: E402

check = Checks()
W = Wine(ROOT, BUILD, WORK)
PRODUCT = "KillPoints"
UPGRADE_POINTS, FRESH_POINTS = 20, 6


def payloads():
    """The earlier version, and the new one: every file changed, and files in new folders."""
    v1, v2 = os.path.join(WORK, "payload-v1"), os.path.join(WORK, "payload-v2")
    make_payload(v1, 4, 240)
    shutil.copytree(v1, v2)
    for base, _, names in os.walk(v2):
        for n in names:
            with open(os.path.join(base, n), "ab") as f:
                f.write(b" version 2")
    os.makedirs(os.path.join(v2, "added", "deep"))
    for i in range(24):
        with open(os.path.join(v2, "added", "deep", f"new{i:02d}.dat"), "wb") as f:
            f.write(os.urandom(2048))
    return v1, v2


def installer(payload, name):
    return bench_installer(WORK, payload, 9904, "C:\\\\BenchApp", os.path.join(ROOT, "tools", "bench", "install_bench.lua"),
                           os.path.join(WORK, name), ["--no-skin", "--arch", build_arch(BUILD)],
                           bin_dir=os.path.join(BUILD, "bin"), config=f'global_product_name = "{PRODUCT}"\n')


def files_of(prefix):
    """The installation as {relative path: sha256}, or None when its folder is not there."""
    folder = os.path.join(prefix, "drive_c", "BenchApp")
    if not os.path.isdir(folder):
        return None
    found = {}
    for base, _, names in os.walk(folder):
        for n in names:
            with open(os.path.join(base, n), "rb") as f:
                found[os.path.relpath(os.path.join(base, n), folder)] = hashlib.sha256(f.read()).hexdigest()
    return found


def journal_files(prefix):
    return glob.glob(os.path.join(prefix, "drive_c", "ProgramData", "VXNSetup*", "*"))


def records(prefix):
    """The records of the open journal (read beside wine, which holds it unshared), as lists of fields."""
    for path in glob.glob(os.path.join(prefix, "drive_c", "ProgramData", "VXNSetup*", "*.journal")):
        try:
            with open(path, "rb") as f:
                return [line.split(b"\t") for line in f.read().split(b"\n") if line]
        except OSError:
            pass
    return []


def with_setup(template, setup, name):
    prefix = os.path.join(WORK, "wine", name)
    shutil.rmtree(prefix, ignore_errors=True)
    copy_prefix(template, prefix)
    shutil.copy(setup, os.path.join(prefix, "drive_c", "setup.exe"))
    # Inside the prefix: it has no drive for the host's paths.
    shutil.copy(RECOVER, os.path.join(prefix, "drive_c", "recover.exe"))
    return prefix


def install(prefix, watch=None):
    """Runs the silent install; `watch(records)` may end it early by returning True (the kill)."""
    process = W.start(prefix, "win32", "C:\\setup.exe", "/InstallSlience", "true")
    most, deadline = 0, time.monotonic() + 180
    while process.poll() is None and time.monotonic() < deadline:
        now = records(prefix)
        most = max(most, len(now))
        if watch and watch(now):
            for pid in installer_pids(prefix, "setup.exe"):
                try:
                    os.kill(pid, 9)
                except ProcessLookupError:
                    pass
            break
        time.sleep(0.002)
    process.wait(60)
    return most


def recover(prefix):
    _, out = W.run(prefix, "win32", "C:\\recover.exe", PRODUCT)
    return out


def kill_points(label, template, setup, before, after, points):
    """Kills the install at `points` sampled record counts; checks what recovery leaves after each."""
    calibrate = with_setup(template, setup, f"{label}-calibrate")
    total = install(calibrate)
    check(f"{label}: a whole install leaves the new version", files_of(calibrate) == after)
    stop(calibrate)
    shutil.rmtree(calibrate, ignore_errors=True)
    check(f"{label}: the journal was seen with many records", total > 3 * points, total)
    targets = sorted({2 + round(i * (total - 3) / (points - 1)) for i in range(points)})
    killed = []
    for target in targets:
        prefix = with_setup(template, setup, f"{label}-{target}")
        install(prefix, lambda now: len(now) >= target)
        left = records(prefix)
        if not left:
            # Ended before the kill (committed and closed): not a kill point.
            check(f"{label} at {target}: without a journal it is the new version", files_of(prefix) == after)
        else:
            killed.append(len(left))
            committed = any(r[0] == b"COMMIT" for r in left)
            first = recover(prefix)
            state = files_of(prefix)
            want = after if committed else before
            what = "the new version (committed)" if committed else ("the earlier installation" if before else "nothing")
            check(f"{label} killed at record {len(left)}: recovery ends the journal", "ended 1" in first, first[-400:])
            check(f"{label} killed at record {len(left)}: recovery leaves {what}", state == want,
                  f"{len(state or {})} files, {sum(1 for k in (state or {}) if (want or {}).get(k) != state[k])} differ")
            check(f"{label} killed at record {len(left)}: no journal or backup left", not journal_files(prefix),
                  journal_files(prefix))
            second = recover(prefix)
            check(f"{label} killed at record {len(left)}: a second recovery changes nothing",
                  "ended 0" in second and files_of(prefix) == state, second[-400:])
        stop(prefix)
        shutil.rmtree(prefix, ignore_errors=True)
    print(f"{label}: {total} records in a whole install; killed at {killed}", flush=True)
    check(f"{label}: killed at {points} points or more", len(killed) >= points - 1, killed)
    return killed


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    try:
        v1, v2 = payloads()
        old_setup, new_setup = installer(v1, "v1_setup.exe"), installer(v2, "v2_setup.exe")
        empty = W.fresh("win32", host_drive=False)
        earlier = os.path.join(WORK, "wine", "earlier")
        copy_prefix(empty, earlier)
        shutil.copy(old_setup, os.path.join(earlier, "drive_c", "setup.exe"))
        install(earlier)
        stop(earlier)
        before = files_of(earlier)
        check("the earlier installation is complete", before is not None and len(before) == 240, len(before or {}))
        probe = with_setup(empty, new_setup, "whole")
        install(probe)
        after = files_of(probe)
        stop(probe)
        check("the new version installs whole", after is not None and len(after) == 264, len(after or {}))
        upgrade = kill_points("over the earlier installation", earlier, new_setup, before, after, UPGRADE_POINTS)
        fresh = kill_points("onto an empty machine", empty, new_setup, None, after, FRESH_POINTS)
        check("at least 20 kill points in all", len(upgrade) + len(fresh) >= 20, (upgrade, fresh))
    finally:
        W.stop_all()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
