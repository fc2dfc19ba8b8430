#!/usr/bin/env python3
"""Times flvmdi against cp, flvmeta and yamdi on one input, runs interleaved
(one run of each tool per round), page cache warm. For each tool: median
wall time (including the sync of its output), MB/s, median CPU time (user +
system of its processes) and peak RSS.

usage: timing.py FLVMDI INPUT SMALL_INPUT WORK_DIR ROUNDS
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


TIME = "/usr/bin/time"


def run(argv):
    """Runs argv; returns (wall s, cpu s, max rss KiB).

    CPU and peak RSS come from GNU time when it is installed: the rusage of a
    child forked from this Python process would report Python's own resident
    size as its peak."""
    report = None
    if os.access(TIME, os.X_OK):
        fd, report = tempfile.mkstemp()
        os.close(fd)
        argv = [TIME, "-f", "%U %S %M", "-o", report] + argv
    start = time.perf_counter()
    proc = subprocess.Popen(argv)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"timing.py: {' '.join(argv)} failed")
    if report is None:
        return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss
    with open(report) as f:
        user, system, rss = f.read().split()[-3:]
    os.remove(report)
    return wall, float(user) + float(system), int(rss)


def sequence(steps):
    wall = cpu = 0.0
    rss = 0
    for argv in steps:
        w, c, r = run(argv)
        wall, cpu, rss = wall + w, cpu + c, max(rss, r)
    return wall, cpu, rss


def fresh_copy(src, dst):
    subprocess.run(["cp", src, dst], check=True)
    subprocess.run(["sync", dst], check=True)


def main():
    flvmdi, src, small, work, rounds = sys.argv[1:6]
    rounds = int(rounds)
    out = os.path.join(work, "out.flv")
    copy = os.path.join(work, "copy.flv")
    tools = {
        "cp + sync": lambda: [["cp", src, out], ["sync", out]],
        "flvmdi": lambda: [[flvmdi, copy]],
        "flvmeta + sync": lambda: [["flvmeta", src, out], ["sync", out]],
        "yamdi + sync": lambda: [["yamdi", "-i", src, "-o", out], ["sync", out]],
    }
    results = {name: [] for name in tools}
    mb = os.path.getsize(src) / 1e6
    for r in range(rounds + 1):  # round 0 warms the cache and is not counted
        for name, steps in tools.items():
            if os.path.exists(out):
                os.remove(out)
            fresh_copy(src, copy)
            subprocess.run(["sync"], check=True)
            sample = sequence(steps())
            if r > 0:
                results[name].append(sample)
    if os.environ.get("BENCH_RAW"):
        for name, samples in results.items():
            print(name, [f"{w * 1000:.0f}/{c * 1000:.0f}" for w, c, _ in samples])

    med = {n: tuple(statistics.median(s[i] for s in v) for i in range(3))
           for n, v in results.items()}
    print(f"input: {mb:.1f} MB, {rounds} interleaved rounds, medians")
    if not os.access(TIME, os.X_OK):
        print("(GNU time missing: peak RSS includes this script's own)")
    print()
    print(f"{'tool':<16}{'wall ms':>9}{'MB/s':>8}{'CPU ms':>9}{'peak RSS MB':>13}"
          f"{'wall/cp':>9}{'CPU/cp':>8}{'CPU/flvmeta':>13}")
    cp, fm = med["cp + sync"], med["flvmeta + sync"]
    for name, (wall, cpu, rss) in med.items():
        print(f"{name:<16}{wall * 1000:>9.0f}{mb / wall:>8.0f}{cpu * 1000:>9.0f}"
              f"{rss / 1024:>13.1f}{wall / cp[0]:>9.2f}{cpu / cp[1]:>8.2f}{cpu / fm[1]:>13.2f}")

    # flvmdi replaces its input, so its run includes freeing the old file
    # (its page cache and blocks), which the copy and the others do not do.
    # On a shared machine the medians drift with the others' load; the best
    # runs show what each tool costs at least.
    best = {n: (min(s[0] for s in v), min(s[1] for s in v)) for n, v in results.items()}
    print(f"\n{'best runs':<16}{'wall ms':>9}{'CPU ms':>9}{'wall/cp':>9}{'CPU/cp':>8}")
    for name, (wall, cpu) in best.items():
        print(f"{name:<16}{wall * 1000:>9.0f}{cpu * 1000:>9.0f}"
              f"{wall / best['cp + sync'][0]:>9.2f}{cpu / best['cp + sync'][1]:>8.2f}")

    fresh_copy(src, copy)
    rm_wall, rm_cpu, _ = run(["rm", copy])
    print(f"\nof which freeing the replaced file: rm of a cached {mb:.0f} MB file takes "
          f"{rm_wall * 1000:.0f} ms wall, {rm_cpu * 1000:.0f} ms CPU")

    fresh_copy(small, copy)
    _, _, small_rss = run([flvmdi, copy])
    print(f"flvmdi peak RSS: {small_rss / 1024:.1f} MB on "
          f"{os.path.getsize(small) / 1e6:.0f} MB, {med['flvmdi'][2] / 1024:.1f} MB on {mb:.0f} MB")
    os.remove(copy)
    if os.path.exists(out):
        os.remove(out)


if __name__ == "__main__":
    main()
