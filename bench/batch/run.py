#!/usr/bin/env python3
"""kestrel-convert in batches. Prints:
 1. eight 20-second 640x480 sources converted with --jobs 1, --jobs 2 and
    --jobs 0 (the window's default options): wall time, seconds of video per
    second, and the speed-up over --jobs 1 (median of ROUNDS runs);
 2. the worker's own cost per job beyond the programs it runs, and its peak
    memory, with 1,000 jobs of a manifest, the programs of the application
    folder replaced by stand-ins that do nothing (--jobs 2).
The machine's load (uptime) is printed first and last: measure on idle cores.
Run by hand: python3 bench/batch/run.py [BUILD_DIR] [ROUNDS]
"""
import os, shutil, statistics, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../build"))
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
app = os.path.join(build, "kestrel-app")
if not os.access(os.path.join(app, "kestrel-convert"), os.X_OK):
    sys.exit(f"build the kestrel-convert target first ({app}/kestrel-convert missing)")

work = tempfile.mkdtemp()
env = dict(os.environ, XDG_STATE_HOME=os.path.join(work, "state"), XDG_RUNTIME_DIR=os.path.join(work, "run"))
os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)


def load():
    return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()


def sample(pid):
    """The process's own CPU seconds (not its children's) and peak RSS in KiB."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    with open(f"/proc/{pid}/status") as f:
        hwm = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
    return cpu, hwm


def convert(program, args):
    """Wall seconds, own CPU seconds and peak RSS of one run (sampled until it ends)."""
    start = time.monotonic()
    errors = tempfile.TemporaryFile()
    run = subprocess.Popen([program] + args, env=env, stdout=subprocess.DEVNULL, stderr=errors)
    cpu, hwm = 0.0, 0
    while run.poll() is None:
        try:
            cpu, hwm = sample(run.pid)
        except (OSError, StopIteration, IndexError):
            pass
        time.sleep(0.02)
    wall = time.monotonic() - start
    if run.returncode != 0:
        errors.seek(0)
        sys.exit(f"kestrel-convert {' '.join(args)} ended with {run.returncode}: {errors.read().decode()[-500:]}")
    return wall, cpu, hwm


try:
    print("load at the start:", load())
    src = os.path.join(work, "src")
    os.makedirs(src)
    for i in range(8):
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", f"testsrc2=size=640x480:rate=25,hue=h={i * 40}",
                        "-f", "lavfi", "-i", f"sine=f={300 + 20 * i}:r=44100", "-t", "20", "-c:v", "mpeg4", "-q:v", "3",
                        "-c:a", "libmp3lame", os.path.join(src, f"clip{i}.avi")], check=True)
    print(f"eight 20 s 640x480 sources -> FLV at the window's defaults, median of {rounds} runs, {os.cpu_count()} cores")
    base = None
    for jobs in ("1", "2", "0"):
        walls = []
        for _ in range(rounds):
            out = os.path.join(work, "out")
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            walls.append(convert(os.path.join(app, "kestrel-convert"), ["--jobs", jobs, "-o", out, src])[0])
        wall = statistics.median(walls)
        base = base or wall
        print(f"  --jobs {jobs}: {wall:6.2f} s wall, {160 / wall:6.1f} s of video a second, {base / wall:4.2f}x --jobs 1")

    # 1,000 jobs with stand-ins for ffmpeg and flvmdi: what is left is the worker's own.
    stand = os.path.join(work, "app")
    shutil.copytree(app, stand, symlinks=True)
    for name in ("ffmpeg", "flvmdi"):
        os.remove(os.path.join(stand, name))
        shutil.copy("/bin/true", os.path.join(stand, name))
    many = os.path.join(work, "many")
    os.makedirs(many)
    with open(os.path.join(work, "jobs.txt"), "w") as manifest:
        for i in range(1000):
            open(os.path.join(many, f"v{i:04d}.avi"), "wb").close()
            manifest.write(os.path.join(many, f"v{i:04d}.avi") + "\n")
    wall, cpu, hwm = convert(os.path.join(stand, "kestrel-convert"), ["--jobs", "2", "--json", "--manifest", os.path.join(work, "jobs.txt")])
    print("1,000 jobs of a manifest, --jobs 2 --json, ffmpeg and flvmdi replaced by /bin/true:")
    print(f"  {wall:.2f} s wall ({wall:.2f} ms a job, two program runs included), "
          f"{cpu:.2f} ms of the worker's own CPU a job, peak memory {hwm / 1024:.1f} MiB")
    print("load at the end:", load())
finally:
    shutil.rmtree(work, ignore_errors=True)
