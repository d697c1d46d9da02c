#!/usr/bin/env python3
"""The real program, each run in a folder of its own with a recording messenger.
Scenarios are rows of tables, run against either program (the Windows one's
boxes read by the probe); host-only ones are plain functions. Waits are bounded.

    end_to_end.py posix SIZEGUARD NET [GROUP...]
    end_to_end.py windows WINE SIZEGUARD.EXE NET.EXE RECORDER.EXE PROBE.EXE [GROUP...]
"""
import atexit
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FOLDERS, PROGRAMS = [], []  # to remove and to end, however the run ends
atexit.register(lambda: [p.kill() for p in PROGRAMS] + [shutil.rmtree(d, True) for d in FOLDERS])

HOST, WINDOWS = sys.argv[1], sys.argv[1] == 'windows'
if WINDOWS:
    WINE, GROUPS = sys.argv[2], sys.argv[7:]
    PROGRAM, NET, RECORDER, PROBE = map(os.path.abspath, sys.argv[3:7])
else:
    (PROGRAM, NET), GROUPS = map(os.path.abspath, sys.argv[2:4]), sys.argv[4:]
FAILURES = []

# Start-up errors: settings (None: no file), files beside the program,
# then what the user is told: title, prompt (POSIX, Windows where they
# differ), icon, status.
GOOD = 'TargetFile=here.log*\nNetSendAdr=ops;\n'
A_FOLDER, A_FIFO = '<a folder>', '<a FIFO>'  # in place of the settings file
STARTUP = [
    ('no settings file', None, '', 'Sorry', 'no ini file', 0, 1),
    ('settings file a folder', A_FOLDER, '', 'Sorry', 'no target file given', 0, 1),
    ('settings file a FIFO', A_FIFO, '', 'Sorry', 'no target file given', 0, 1),
    ('no section General', '[Other]\n' + GOOD, '', 'Sorry', 'no target file given', 0, 1),
    ('no target', 'NetSendAdr=ops;\n', '', 'Sorry', 'no target file given', 0, 1),
    ('single star', 'TargetFile=*\n', '', 'Target does not exist', '', 1, 1),
    ('first missing target', 'TargetFile=here.log*gone.log*lost.log*\n', 'here.log',
     'Target does not exist', 'gone.log', 1, 1),
    ('no recipients', 'TargetFile=here.log*\n', 'here.log', 'Sorry',
     "no target for 'Net Send' given", 0, 1),
    ('1 MB value', 'TargetFile=' + 'v' * 2**20 + '\n', '', 'Target does not exist',
     'v' * 1023, 1, 1),
    ('interval overflow', GOOD + 'Interval=1e9\n', 'here.log', 'sizeguard',
     'overflow: Interval "1e9"', 1, 2),
    ('no messenger', GOOD, 'here.log', 'sizeguard', ('cannot start "Net": No such file or directory',
     'cannot start "Net Send ops "Filesize is NULL here.log"": File not found'), 1, 2),
]

# Length of each watched file before each pass (None: missing), and the
# notice it raises in that pass: - none, E empty, C no change, M missing.
WATCHED = [
    ('steady.log', [5, 5, 5, 5], '-CCC'),
    ('growing.log', [1, 2, 3, 4], '----'),
    ('shrinking.log', [9, 4, 4, 2], '--C-'),
    ('emptied.log', [3, 0, 0, 3], '-EEC'),   # an empty pass keeps the earlier length
    ('deleted.log', [3, None, 3, 4], '-MC-'),  # as does a missing one
    ('huge.log', [2**32, 2**33, 2**33, 2**32 + 7], '--C-'),  # 32 bits would say empty
    ('tick.log', [0, 0, 0, 0], 'EEEE'),  # every pass says something
]
NOTICES = {'E': 'Srv 1 [ Filesize is NULL %s ]', 'C': 'Srv 1 [ No Changes on file %s ]',
           'M': 'File does not exist %s'}

# Watched paths that reach the messenger as text, never evaluated.
PATHS = ['a b.log', '$(touch made).log', '`touch made`.log', 'x;touch made.log',
         "it's %s %n.log", 'caf\xe9 \xff.log', 'sub\\x.log']  # a backslash separates
# POSIX only, Windows has no quotes in names: a quote takes part in the splitting.
QUOTED = ('say "hi".log', 'say hi.log')

# Interval setting and the whole seconds of pause it gives.
PAUSES = [('0.4', 0), ('1.5', 2), ('2.5', 2)]


def check(what, expected, actual):
    if expected != actual:
        FAILURES.append(what)
        print('FAIL: %s\n  expected: %r\n  actual:   %r' % (what, expected, actual), flush=True)


def host_path(folder, name):
    """A name from the settings (8-bit text) as the host's file system sees it."""
    name = name.replace('\\', '/')
    if WINDOWS:
        return os.path.join(folder, name.encode('latin-1').decode('cp1252'))
    return os.path.join(folder.encode(), name.encode('latin-1'))


def set_length(folder, name, length):
    path = host_path(folder, name)
    if length is None:
        os.remove(path)
    else:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'ab') as f:
            f.truncate(length)  # sparse beyond what was written


def fresh():
    FOLDERS.append(tempfile.mkdtemp(prefix='sizeguard-e2e-'))
    return FOLDERS[-1]


# A POSIX Net that appends its arguments to Net.calls beside it, one write
# per call so that calls never mix.
RECORDER_SCRIPT = '#!/bin/sh\nprintf "%s\\n" "$(printf "[%s]" "$@")" >> "${0%/*}/Net.calls"\n'


def write_messenger(d, script=RECORDER_SCRIPT, mode=0o755):
    Path(d, 'Net').write_text(script)
    Path(d, 'Net').chmod(mode)


def folder(settings, files=(), messenger=True):
    """A fresh folder with a copy of the program, a messenger (True: one that
    records; or the text of a POSIX one) and the settings, with CRLF line
    ends as a Windows editor writes them."""
    d = fresh()
    shutil.copy(PROGRAM, d)
    if messenger and WINDOWS:
        shutil.copy(RECORDER, os.path.join(d, 'Net.exe'))
    elif messenger:
        write_messenger(d, RECORDER_SCRIPT if messenger is True else messenger)
    ini = os.path.join(d, 'Sizeguard.ini')
    if settings == A_FOLDER:
        os.mkdir(ini)
    elif settings == A_FIFO:
        os.mkfifo(ini)
    elif settings is not None:
        Path(ini).write_bytes(('[General]\n' + settings).replace('\n', '\r\n').encode('latin-1'))
    for name in files:
        set_length(d, name, 0)
    return d


def start(d, env=None, prefix=()):
    command = [WINE, 'sizeguard.exe'] if WINDOWS else [*prefix, './sizeguard']
    # Wine's own programs may hold a pipe open long after: its messages are not ours.
    PROGRAMS.append(subprocess.Popen(command, cwd=d, env=env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL if WINDOWS else subprocess.PIPE))
    return PROGRAMS[-1]


def children(pid):
    """Process id and state of each child of a process."""
    found = []
    for child in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open('/proc/%s/stat' % child) as f:
                state, parent = f.read().rpartition(')')[2].split()[:2]
        except OSError:
            continue  # ended meanwhile
        if parent == str(pid):
            found.append((int(child), state))
    return found


def stop(program):
    """Ends a program that should still be watching, and the messengers it
    left running; its standard error."""
    check('still watching', None, program.poll())
    if not WINDOWS:
        program.send_signal(signal.SIGSTOP)  # no new messenger from here on
        for child, _ in children(program.pid):
            try:
                os.kill(child, signal.SIGKILL)
            except ProcessLookupError:
                pass  # ended meanwhile
    program.kill()
    return (program.communicate(timeout=10)[1] or b'').decode('latin-1')


def records(d, count, seconds=20, name='Net'):
    """The messenger's calls, once there are at least `count`."""
    calls, deadline = Path(d, name + '.calls'), time.monotonic() + seconds
    while True:
        lines = calls.read_bytes().decode('latin-1').splitlines() if calls.exists() else []
        if len(lines) >= count or time.monotonic() > deadline:
            return lines
        time.sleep(0.02)


def told(d):
    """How the program refused to start: title, prompt, icon, status."""
    if not WINDOWS:
        run = subprocess.run(['./sizeguard'], cwd=d, capture_output=True, timeout=20)
        title, _, prompt = run.stderr.decode('latin-1').partition(': ')
        return title, prompt.replace('\n', '', 1), None, str(run.returncode)  # one line
    run = subprocess.run([WINE, PROBE, 'Z:%s\\sizeguard.exe' % d.replace('/', '\\')],
                         cwd=d, capture_output=True, timeout=60)
    box = dict(line.split('=', 1) for line in run.stdout.decode('latin-1').splitlines())
    check('a box with only OK, the program running behind it',
          ('OK', '1'), (box.get('buttons'), box.get('running')))
    return box.get('title'), box.get('text'), int(box.get('icon', -1)), box.get('status')


def startup():
    for name, settings, files, title, prompt, icon, status in STARTUP:
        if WINDOWS and settings == A_FIFO:
            continue  # no such thing there
        d = folder(settings, files.split(), messenger=name != 'no messenger')
        if not isinstance(prompt, str):
            prompt = prompt[WINDOWS]
        check(name, (title, prompt, icon if WINDOWS else None, str(status)), told(d))
        check(name + ': nothing started', [], records(d, 0))
    # A list without ";" watches and sends nothing.
    d = folder('TargetFile=here.log*\nNetSendAdr=ops\nInterval=0.4\n', ['here.log'])
    program = start(d)
    time.sleep(2)  # passes without pause; any call would show
    check('no recipient', ('', []), (stop(program), records(d, 0)))


def watching():
    names = [name for name, _, _ in WATCHED]
    d = folder('TargetFile=%s*\nNetSendAdr=ops;dev;\nInterval=2\nSendMessage=Srv 1\n'
               % '*'.join(names), names)
    seen = 0
    for n in range(len(WATCHED[0][1])):
        expected = []
        for name, lengths, notices in WATCHED:
            set_length(d, name, lengths[n])
            if notices[n] != '-':
                expected += ['[Send][%s][%s]' % (r, NOTICES[notices[n]] % name) for r in ('ops', 'dev')]
        if n == 0:
            program = start(d)
        # The messengers run side by side: within a pass, calls come in any order.
        calls = records(d, seen + len(expected))
        check('pass %d' % (n + 1), sorted(expected), sorted(calls[seen:]))
        seen = len(calls)
    check('standard error', '', stop(program))


def paths():
    rows = [(path, path) for path in PATHS] + ([] if WINDOWS else [QUOTED])
    d = folder('TargetFile=%s*\nNetSendAdr=ops;\n' % '*'.join(p for p, _ in rows), [p for p, _ in rows])
    program = start(d)
    calls = records(d, len(rows))
    stop(program)
    check('paths', sorted('[Send][ops][Filesize is NULL %s]' % n for _, n in rows), sorted(calls))
    check('nothing evaluated', False, os.path.exists(os.path.join(d, 'made')))


def pauses():
    runs = [folder('TargetFile=tick.log*\nNetSendAdr=ops;\nInterval=%s\n' % i, ['tick.log'])
            for i, _ in PAUSES]
    programs, arrivals = [start(d) for d in runs], [[] for _ in runs]
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and min(map(len, arrivals)) < 3:
        for d, times in zip(runs, arrivals):
            if len(records(d, 0)) > len(times):
                times.append(time.monotonic())
        time.sleep(0.02)
    for (interval, seconds), program, times in zip(PAUSES, programs, arrivals):
        stop(program)
        # Between the second and third pass: the first includes start-up.
        gap = times[2] - times[1] if len(times) >= 3 else -1
        check('Interval=%s: a pause of %d s' % (interval, seconds), True,
              seconds - 0.1 < gap < seconds + 0.9)


def net_stand_in():
    """POSIX only: the shipped messenger prints the notice literally."""
    d = fresh()
    host = os.uname().nodename
    hostile = 'File does not exist /tmp/$(touch made) `touch made2`; "q" \'r\' \\ $HOME %s'
    usage = 'usage: Net Send <recipient> <text>\n'
    for arguments, status, out in [
            (['Send', 'nobody-here', hostile], 0, 'Message from %s to nobody-here: %s\n' % (host, hostile)),
            (['sEnD', 'ops', 'split', 'text'], 0, 'Message from %s to ops: split text\n' % host),
            (['Receive', 'ops', 'x'], 2, ''), (['Send'], 2, ''), ([], 2, '')]:
        run = subprocess.run([NET] + arguments, cwd=d, capture_output=True, text=True, timeout=10)
        check('Net %s' % arguments, (status, out, usage if status else ''),
              (run.returncode, run.stdout, run.stderr))
    check('Net ran nothing', [], os.listdir(d))
    with open('/dev/full', 'w') as full:  # a line that goes nowhere is a failed delivery
        check('Net with its output full', 1, subprocess.run(
            [NET, 'Send', 'ops', 'x'], stdout=full, stderr=subprocess.DEVNULL, timeout=10).returncode)


def usage(pid):
    """Open files, resident kB and zombie children of a process."""
    with open('/proc/%d/status' % pid) as f:
        memory = next(int(line.split()[1]) for line in f if line.startswith('VmRSS:'))
    zombies = sum(state == 'Z' for _, state in children(pid))
    return len(os.listdir('/proc/%d/fd' % pid)), memory, zombies


def storm():
    """POSIX only: notices without pause leave no zombie, no open file, no growth."""
    d = folder('TargetFile=same.log*\nNetSendAdr=a;b;c;\nInterval=0.1\n', messenger=False)
    set_length(d, 'same.log', 6)
    shutil.copy('/bin/true', os.path.join(d, 'Net'))
    program = start(d)
    time.sleep(0.5)  # load figures, not a synchronisation
    files, memory, _ = usage(program.pid)
    time.sleep(3)
    now = usage(program.pid)
    check('storm: open files', files, now[0])
    # Finished messengers are collected before the next start: a few may
    # wait for it, never the 64 that would hold back the watching.
    check('storm: zombies, at most a few', True, now[2] < 64)
    if not os.environ.get('SIZEGUARD_SANITIZED'):  # its allocator keeps freed memory a while
        check('storm: resident memory within 64 kB of %d kB' % memory, True, now[1] <= memory + 64)
    # Under load 64 messengers may be running at some moment: said, not a fault.
    check('storm: standard error', '', re.sub('sizeguard: 64 messengers still running; .*\n', '',
                                              stop(program)))


def rotation():
    """POSIX only: a log rotated, truncated and recreated without pause."""
    d = folder('TargetFile=app.log*\nNetSendAdr=ops;\nInterval=0.1\n', ['app.log'])
    program = start(d)
    records(d, 1)  # watching has begun
    log, i, deadline = os.path.join(d, 'app.log'), 0, time.monotonic() + 3
    while time.monotonic() < deadline:
        os.rename(log, log + '.1')
        set_length(d, 'app.log', i % 7)
        os.truncate(log, i % 3)
        os.remove(log)
        set_length(d, 'app.log', 5)
        i += 1
    check('rotation: standard error', '', stop(program))
    allowed = {'[Send][ops][%s app.log]' % n
               for n in ('File does not exist', 'Filesize is NULL', 'No Changes on file')}
    check('rotation: only the three notices', set(), set(records(d, 1)) - allowed)


def net_exe():
    """Windows only: Net.exe hands the text to msg.exe as one argument."""
    d = fresh()
    shutil.copy(NET, d)

    def net(*arguments):
        return subprocess.run([WINE, os.path.join(d, 'Net.exe'), *arguments], capture_output=True).returncode
    check('without msg.exe', 1, net('Send', 'ops', 'text'))
    shutil.copy(RECORDER, os.path.join(d, 'msg.exe'))
    text = 'a "quoted" text \\ with\\\\ back\\slashes\\ and $(x) `y`; \'z\''
    check('msg.exe status and a wrong verb', (0, 0, 2),
          (net('sEnD', '*', text), net('Send', 'ops', 'split', 'text'), net('Receive', 'ops', 'x')))
    check('msg.exe calls', ['[*][%s]' % text, '[ops][split text]'], records(d, 2, name='msg'))


def messenger_on_path():
    """POSIX only: without a Net beside the program, the one on PATH."""
    d, bin = folder(GOOD, ['here.log'], messenger=False), fresh()
    write_messenger(bin)
    program = start(d, dict(os.environ, PATH=bin + ':' + os.environ['PATH']))
    check('on PATH', ['[Send][ops][Filesize is NULL here.log]'], records(bin, 1))
    check('on PATH: standard error', '', stop(program))


def refused_starts():
    """POSIX only: starts refused for want of processes are retried and said
    once, and the notices keep coming. As nobody: root has no such limit."""
    d = folder('TargetFile=same.log*\nNetSendAdr=a;b;c;\nInterval=0.1\n', messenger=(
        '#!/bin/sh\necho "$2" >> "${0%/*}/Net.calls"\nexec sleep 0.3\n'))  # forks nothing
    set_length(d, 'same.log', 6)
    os.chmod(d, 0o777)
    program = start(d, prefix=['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups',
                               'prlimit', '--nproc=12'])
    time.sleep(3)  # a storm, refused most of the time
    seen = len(records(d, 0))
    check('refused: notices keep coming', True, len(records(d, seen + 6)) >= seen + 6)
    err = stop(program)
    check('refused: said once, and once that they go through again', (1, 1), (err.count(
        'sizeguard: cannot start messengers for now (Resource temporarily unavailable)'),
        err.count('sizeguard: messengers start again')))


def hung_messengers():
    """POSIX only: a messenger that never ends holds back the watching at 64."""
    d = folder('TargetFile=same.log*\nNetSendAdr=ops;\nInterval=0.1\n',
               messenger='#!/bin/sh\nexec sleep 1000\n')
    set_length(d, 'same.log', 6)
    program, deadline = start(d), time.monotonic() + 10
    while len(children(program.pid)) < 64 and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(1)  # would a 65th start?
    check('hung: at most 64', 64, len(children(program.pid)))
    check('hung: said so', 'sizeguard: 64 messengers still running; waiting to start '
          'Net Send ops "No Changes on file same.log"\n', stop(program))


def failing_messengers():
    """POSIX only: a line for each failed messenger, collected within the
    second; a script without #! on PATH runs; a Net beside the program that
    cannot be executed is said to be so, not passed over."""
    d, bin = folder('TargetFile=here.log*\nNetSendAdr=ops;dev;\nInterval=10\n', ['here.log'],
                    messenger=False), fresh()
    write_messenger(bin, '[ "$2" = ops ] && exit 3\nkill -PIPE $$\n')  # no #!
    program = start(d, dict(os.environ, PATH=bin + ':' + os.environ['PATH']))
    time.sleep(1.5)  # the pause dispatches events once a second
    check('failed deliveries collected', [], children(program.pid))
    check('failed deliveries', [
        'sizeguard: Net Send dev "Filesize is NULL here.log" ended by signal 13 (Broken pipe)',
        'sizeguard: Net Send ops "Filesize is NULL here.log" ended with status 3'],
        sorted(stop(program).splitlines()))
    write_messenger(d, '#!/bin/sh\n', 0o644)
    run = subprocess.run(['./sizeguard'], cwd=d, capture_output=True, timeout=20)
    check('not executable', (2, 'sizeguard: cannot start "%s/Net": Permission denied\n' % d),
          (run.returncode, run.stderr.decode()))


def backslash_folder():
    """POSIX only: the program's folder name is used as it stands, backslash
    and all; a decoy lies where turning it into a slash would lead."""
    d = fresh()
    os.makedirs(os.path.join(d, 'a', 'b'))
    Path(d, 'a', 'b', 'Sizeguard.ini').write_text('[General]\n')
    shutil.copytree(folder('TargetFile=gone.log*\n'), os.path.join(d, 'a\\b'))
    run = subprocess.run(['a\\b/sizeguard'], cwd=d, capture_output=True, timeout=20)
    check('backslash in the folder name', (1, b'Target does not exist: gone.log\n'),
          (run.returncode, run.stderr))

def host_only():
    if WINDOWS:
        net_exe()
    else:
        messenger_on_path()
        net_stand_in()
        storm()
        rotation()
        refused_starts()
        hung_messengers()
        failing_messengers()
        backslash_folder()


for group in GROUPS or ['startup', 'watching', 'paths', 'pauses', 'host_only']:
    globals()[group]()
print('%s end to end: %s' % (HOST, 'FAILED: %d' % len(FAILURES) if FAILURES else 'passed'))
sys.exit(1 if FAILURES else 0)
