#!/usr/bin/env python3
"""Start-up benchmark: time from process start to the main window's first
paint, and peak memory, median of 10 runs, for kestrel and for a bare Qt 6
window measured in the same run. Run under a virtual X server:

    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" python3 bench/startup/run.py [BUILD_DIR]
"""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
subprocess.run(["cmake", "--build", build, "--target", "kestrel", "bench_bare_window"],
               check=True, stdout=subprocess.DEVNULL)
programs = {
    "kestrel": os.path.join(build, "kestrel-app", "kestrel"),
    "bare Qt window": os.path.join(build, "bench", "bench_bare_window"),
}


def one_run(program):
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        env = dict(os.environ, KESTREL_QUIT_AFTER_FIRST_PAINT="1", XDG_RUNTIME_DIR=runtime)
        start = time.perf_counter()
        pid = os.fork()
        if pid == 0:
            os.execve(program, [program], env)
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"{program} ended with {status}")
        return elapsed * 1000, usage.ru_maxrss / 1024


results = {name: [] for name in programs}
for _ in range(10):  # interleaved, so both see the same machine
    for name, program in programs.items():
        results[name].append(one_run(program))

print(f"{'program':<16}{'first paint (ms)':>18}{'peak RSS (MB)':>16}   median of 10")
for name, runs in results.items():
    ms = statistics.median(r[0] for r in runs)
    mb = statistics.median(r[1] for r in runs)
    print(f"{name:<16}{ms:>18.0f}{mb:>16.1f}")
print("target for kestrel: under 400 ms and 120 MB (splash not counted)")
