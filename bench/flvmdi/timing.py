#!/usr/bin/env python3
"""Times flvmdi against the floor of an atomic rewrite (cp, sync, mv) and
the injectors flvmeta and yamdi on one input, runs interleaved (one run of
each tool per round), page cache warm. For each tool: median wall time
(including the sync of its output), MB/s, median CPU time (user + system of
its processes), peak RSS, and wall and CPU as multiples of the floor's in
the same run; then whether flvmdi meets its target.

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
    tmp = os.path.join(work, ".copy.flv.tmp")
    # The floor: the least any atomic rewrite of the file costs, a copy
    # synced and renamed over the original (which frees the old file, as
    # flvmdi's rename does). Both work on a fresh copy of the input.
    floor = "cp+sync+mv"
    tools = {
        floor: lambda: [["cp", copy, tmp], ["sync", tmp], ["mv", tmp, copy]],
        "flvmdi": lambda: [[flvmdi, copy]],
    }
    if os.environ.get("BENCH_PEERS", "1") != "0":
        tools["flvmeta + sync"] = lambda: [["flvmeta", src, out], ["sync", out]]
        tools["yamdi + sync"] = lambda: [["yamdi", "-i", src, "-o", out], ["sync", out]]
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
    print(f"input: {mb:.1f} MB, {rounds} interleaved rounds, medians; "
          f"floor = cp FILE TMP && sync TMP && mv TMP FILE")
    if not os.access(TIME, os.X_OK):
        print("(GNU time missing: peak RSS includes this script's own)")
    print()
    print(f"{'tool':<16}{'wall ms':>9}{'MB/s':>8}{'CPU ms':>9}{'peak RSS MB':>13}"
          f"{'wall/floor':>12}{'CPU/floor':>11}")
    for name, (wall, cpu, rss) in med.items():
        print(f"{name:<16}{wall * 1000:>9.0f}{mb / wall:>8.0f}{cpu * 1000:>9.0f}"
              f"{rss / 1024:>13.1f}{wall / med[floor][0]:>12.2f}{cpu / med[floor][1]:>11.2f}")

    # On a shared machine the medians drift with the others' load; the best
    # runs show what each tool costs at least.
    best = {n: (min(s[0] for s in v), min(s[1] for s in v)) for n, v in results.items()}
    print(f"\n{'best runs':<16}{'wall ms':>9}{'CPU ms':>9}{'wall/floor':>12}{'CPU/floor':>11}")
    for name, (wall, cpu) in best.items():
        print(f"{name:<16}{wall * 1000:>9.0f}{cpu * 1000:>9.0f}"
              f"{wall / best[floor][0]:>12.2f}{cpu / best[floor][1]:>11.2f}")

    fresh_copy(small, copy)
    _, _, small_rss = run([flvmdi, copy])
    rss_mb = max(small_rss, med["flvmdi"][2]) / 1024
    print(f"\nflvmdi peak RSS: {small_rss / 1024:.1f} MB on "
          f"{os.path.getsize(small) / 1e6:.0f} MB, {med['flvmdi'][2] / 1024:.1f} MB on {mb:.0f} MB")
    wall_ratio = med["flvmdi"][0] / med[floor][0]
    cpu_ratio = med["flvmdi"][1] / med[floor][1]
    met = wall_ratio <= 1.15 and cpu_ratio <= 1.5 and rss_mb < 8
    print(f"target (medians): wall <= 1.15x floor ({wall_ratio:.2f}), CPU <= 1.5x floor "
          f"({cpu_ratio:.2f}), peak RSS < 8 MB ({rss_mb:.1f}): {'met' if met else 'NOT met'}")
    for path in (copy, out, tmp):
        if os.path.exists(path):
            os.remove(path)


if __name__ == "__main__":
    main()
