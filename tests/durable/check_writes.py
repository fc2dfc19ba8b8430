#!/usr/bin/env python3
"""usage: check_writes.py TABLE APP_DIR WINDOW_WRITES
Checks by their system calls that a power cut leaves each file TABLE's commands publish old or
whole new."""
import glob, itertools, os, re, shutil, subprocess, sys, tempfile

CALLS = ('open,openat,creat,rename,renameat,renameat2,link,linkat,fsync,fdatasync,write,'
         'pwrite64,writev,pwritev,pwritev2,copy_file_range,sendfile,ftruncate,fallocate')
WRITES = set(CALLS.split(',')[10:])
FD = r'(\d+)<([^>]*)>'  # strace -y: a descriptor and the path it stands for
LINE = re.compile(r'(\d+) +(\w+)\((.*)\) += (-?\d+)(?:<([^>]*)>)?')
# A path argument, after its folder's descriptor where it has one (AT_FDCWD<the working folder>).
PATH = re.compile(r'(?:(?:AT_FDCWD|\d+)(?:<([^>]*)>)?(?:\(deleted\))?, )?"((?:[^"\\]|\\.)*)"')


def trace(command, cwd, env):
    """How the command failed (empty if it did not) and its calls, each (pid, call, args, result,
    its path)."""
    log = os.path.join(cwd, '.strace')
    r = subprocess.run(['strace', '-f', '-y', '-qq', '-s', '256', '-o', log, '-e', 'trace=' + CALLS]
                       + command, cwd=cwd, env=env, text=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE)
    failure = 'exit code %d, %s' % (r.returncode, r.stderr.strip()) if r.returncode else ''
    calls, pending = [], {}  # a call another process interrupted comes in two parts
    for line in open(log):
        pid, line = line.split(' ', 1)[0], line.rstrip()
        if line.endswith('<unfinished ...>'):
            pending[pid] = line[:-len('<unfinished ...>')]
            continue
        m = LINE.match(re.sub(r'^\d+ +<\.\.\. \w+ resumed>', lambda _: pending.pop(pid, ''), line))
        if m and int(m.group(4)) >= 0:
            calls.append(m.groups())
    return failure, calls


def replay(calls, cwd):
    """Follows each file through its names: its writes, syncs, names, names opened to write."""
    files, fds, numbers = {}, {}, itertools.count()  # name -> the file's number
    wrote, synced, named, in_place, folder_syncs = {}, {}, {}, set(), []
    file = lambda name: files[name] if name in files else files.setdefault(name, next(numbers))

    def path(pid, at, s):  # AT: its folder's path; "" with AT: the descriptor itself
        ref = re.fullmatch(r'/(?:proc/self|dev)/fd/(\d+)', s)
        s = fds.get((pid, ref.group(1)), fds.get(ref.group(1), s)) if ref else s or at
        return os.path.normpath(os.path.join(at or cwd, s))

    for i, (pid, call, args, result, result_path) in enumerate(calls):
        for fd, name in re.findall(FD, args) + [(result, result_path)] * bool(result_path):
            fds[(pid, fd)] = fds[fd] = name
        described = [name for _, name in re.findall(FD, args)]
        if call in ('open', 'openat', 'creat'):
            if call == 'creat' or re.search(r'O_WRONLY|O_RDWR|O_TRUNC', args):
                in_place.add(path(pid, *PATH.search(args).groups()))
        elif call in WRITES:
            target = described[1 if call == 'copy_file_range' else 0]
            wrote.setdefault(file(target), []).append((i, args))
        elif call in ('fsync', 'fdatasync'):
            synced.setdefault(file(described[0]), []).append(i)
            folder_syncs.append((i, described[0]))
        elif call.startswith(('rename', 'link')):
            source, target = [path(pid, *m) for m in PATH.findall(args)][:2]
            files[target] = moved = file(source)
            if call.startswith('rename') and source != target:
                del files[source]
            named[target] = (i, moved)
    return files, wrote, synced, named, in_place, folder_syncs


def faults(path, how, files, wrote, synced, named, in_place, folder_syncs):
    """What would let a power cut lose PATH (empty: nothing)."""
    if how == 'log':  # each step's end line ("... after 1.2 s") is synced before the next write
        writes, syncs = wrote.get(files.get(path), []), synced.get(files.get(path), [])
        ends = [i for i, args in writes if re.search(r' s\\n\\n"', args)]
        after = lambda i: min([j for j, _ in writes if j > i], default=float('inf'))
        lost = sum(not any(i < s < after(i) for s in syncs) for i in ends)
        return ['%d of %d step ends not synced' % (lost, len(ends))] if lost or not ends else []
    problems = ['opened for writing under its own name'] * (path in in_place)
    if path not in named:
        return problems + ['never renamed or linked into place']
    at, new = named[path]
    last_write = max([i for i, _ in wrote.get(new, []) if i < at], default=-1)
    data = any(last_write < i < at for i in synced.get(new, []))
    folder = any(i > at and name == os.path.dirname(path) for i, name in folder_syncs)
    return problems + ['its data was not synced (fsync/fdatasync) before it got its name'] * (
        not data) + ['its folder was not synced after the rename/link'] * (not folder)


def main(top):
    table, app, writer = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    sample = top + '/sample.flv'
    subprocess.run(['ffmpeg', '-v', 'error', '-f', 'lavfi', '-i', 'testsrc=size=160x120:rate=10:'
                    'duration=1', '-f', 'lavfi', '-i', 'sine=duration=1', '-c:v', 'flv1', '-c:a',
                    'libmp3lame', '-ar', '22050', sample], check=True)
    failed = 0
    for line in open(table):
        if line.startswith('#') or '|' not in line:
            continue
        name, command, published, how = [f.strip() for f in line.split('|')]
        work = tempfile.mkdtemp(dir=top)
        for old in published.split():
            if '*' not in old:
                shutil.copy(sample, os.path.join(work, old))
        env = dict(os.environ, XDG_CACHE_HOME=work + '/cache', XDG_STATE_HOME=work + '/state')
        words = [w.replace('@APP', app).replace('@WRITER', writer).replace('@SAMPLE', sample)
                 .replace('@DIR', work) for w in command.split()]
        failure, calls = trace(words, work, env)
        state = replay(calls, work)
        for path in [p for g in published.split() for p in
                     sorted(glob.glob(os.path.join(work, g))) or [os.path.join(work, g)]]:
            problems = ['the command failed: ' + failure] * bool(failure) + (
                ['not written'] if not os.path.exists(path) else faults(path, how, *state))
            failed += bool(problems)
            print('FAIL' if problems else 'ok  ', name + ':', os.path.relpath(path, work) +
                  ': ' * bool(problems) + '; '.join(problems))
    return 1 if failed else 0


if __name__ == '__main__':
    top = os.path.realpath(tempfile.mkdtemp())
    try:
        sys.exit(main(top))
    finally:
        shutil.rmtree(top)
