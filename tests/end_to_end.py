#!/usr/bin/env python3
"""The real program, each run in a folder of its own with a recording messenger.

    end_to_end.py posix SIZEGUARD NET [GROUP...]
    end_to_end.py windows WINE SIZEGUARD.EXE NET.EXE RECORDER.EXE PROBE.EXE [GROUP...]

Each scenario is one row of a table and runs against either program; the
Windows program's message boxes are read by the probe. Host-only scenarios
are plain functions after the tables. Every wait is bounded.
"""
import atexit
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

FOLDERS = []
atexit.register(lambda: [shutil.rmtree(d, ignore_errors=True) for d in FOLDERS])

HOST = sys.argv[1]
WINDOWS = HOST == 'windows'
if WINDOWS:
    WINE = sys.argv[2]
    PROGRAM, NET, RECORDER, PROBE = map(os.path.abspath, sys.argv[3:7])
    GROUPS = sys.argv[7:]
else:
    PROGRAM, NET = map(os.path.abspath, sys.argv[2:4])
    GROUPS = sys.argv[4:]
FAILURES = []

# Start-up errors: settings (None: no file), files beside the program,
# then what the user is told: title, prompt ("..." ends a prefix), icon, status.
GOOD = 'TargetFile=here.log*\nNetSendAdr=ops;\n'
STARTUP = [
    ('no settings file', None, '', 'Sorry', 'no ini file', 0, 1),
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
    ('no messenger', GOOD, 'here.log', 'sizeguard', 'cannot start "Net...', 1, 2),
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

# Watched paths that reach the messenger as text and are never evaluated:
# the path, what the messenger receives, whether Windows allows the name.
PATHS = [
    ('a b.log', 'a b.log', True),
    ('$(touch made).log', '$(touch made).log', True),
    ('`touch made`.log', '`touch made`.log', True),
    ('x;touch made.log', 'x;touch made.log', True),
    ("it's %s %n.log", "it's %s %n.log", True),
    ('caf\xe9 \xff.log', 'caf\xe9 \xff.log', True),
    ('say "hi".log', 'say hi.log', False),  # a quote takes part in the splitting
]

# Interval setting and the whole seconds of pause it gives.
PAUSES = [('0.4', 0), ('1.5', 2), ('2.5', 2)]


def check(what, expected, actual):
    if expected != actual:
        FAILURES.append(what)
        print('FAIL: %s\n  expected: %r\n  actual:   %r' % (what, expected, actual), flush=True)


def host_path(folder, name):
    """A name from the settings (8-bit text) as the host's file system sees it."""
    if WINDOWS:
        return os.path.join(folder, name.encode('latin-1').decode('cp1252'))
    return os.path.join(folder.encode(), name.encode('latin-1'))


def set_length(folder, name, length):
    path = host_path(folder, name)
    if length is None:
        os.remove(path)
    else:
        with open(path, 'ab') as f:
            f.truncate(length)  # sparse beyond what was written


def fresh():
    FOLDERS.append(tempfile.mkdtemp(prefix='sizeguard-e2e-'))
    return FOLDERS[-1]


def folder(settings, files=(), messenger=True):
    """A fresh folder with a copy of the program, a recording Net and the
    settings, with CRLF line ends as a Windows editor writes them."""
    d = fresh()
    shutil.copy(PROGRAM, d)
    if messenger and WINDOWS:
        shutil.copy(RECORDER, os.path.join(d, 'Net.exe'))
    elif messenger:  # one appending write per call, so calls never mix
        with open(os.path.join(d, 'Net'), 'w') as f:
            f.write('#!/bin/sh\nprintf \'%s\\n\' "$(printf \'[%s]\' "$@")" >> "${0%/*}/Net.calls"\n')
        os.chmod(os.path.join(d, 'Net'), 0o755)
    if settings is not None:
        with open(os.path.join(d, 'Sizeguard.ini'), 'wb') as f:
            f.write(('[General]\n' + settings).replace('\n', '\r\n').encode('latin-1'))
    for name in files:
        set_length(d, name, 0)
    return d


def start(d):
    command = [WINE, 'sizeguard.exe'] if WINDOWS else ['./sizeguard']
    # Wine's own programs may hold a pipe open long after: its messages are not ours.
    return subprocess.Popen(command, cwd=d, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL if WINDOWS else subprocess.PIPE)


def stop(program):
    """Ends a program that should still be watching; its standard error."""
    check('still watching', None, program.poll())
    program.kill()
    return (program.communicate(timeout=10)[1] or b'').decode('latin-1')


def records(d, count, seconds=20, name='Net'):
    """The messenger's calls, once there are at least `count`."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            with open(os.path.join(d, name + '.calls'), 'rb') as f:
                lines = f.read().decode('latin-1').splitlines()
        except FileNotFoundError:
            lines = []
        if len(lines) >= count or time.monotonic() > deadline:
            return lines
        time.sleep(0.02)


def told(d):
    """How the program refused to start: title, prompt, icon, status."""
    if not WINDOWS:
        run = subprocess.run(['./sizeguard'], cwd=d, capture_output=True, timeout=20)
        line = run.stderr.decode('latin-1')
        check('one line', 1, line.count('\n'))
        title, _, prompt = line.rstrip('\n').partition(': ')
        return title, prompt, None, run.returncode
    run = subprocess.run([WINE, PROBE, 'Z:' + d.replace('/', '\\') + '\\sizeguard.exe'],
                         cwd=d, capture_output=True, timeout=60)
    box = dict(line.split('=', 1) for line in run.stdout.decode('latin-1').splitlines())
    check('a box with only OK, the program running behind it',
          ('OK', '1'), (box.get('buttons'), box.get('running')))
    return box['title'], box.get('text'), int(box.get('icon', -1)), int(box['status'])


def startup():
    for name, settings, files, title, prompt, icon, status in STARTUP:
        print('start-up:', name, flush=True)
        d = folder(settings, files.split(), messenger=name != 'no messenger')
        got_title, got_prompt, got_icon, got_status = told(d)
        if prompt.endswith('...') and got_prompt.startswith(prompt[:-3]):
            got_prompt = prompt
        check(name, (title, prompt, icon if WINDOWS else None, status),
              (got_title, got_prompt, got_icon, got_status))
        check(name + ': nothing started', [], records(d, 0))
    print('start-up: a list without ";" watches and sends nothing', flush=True)
    d = folder('TargetFile=here.log*\nNetSendAdr=ops\nInterval=0.4\n', ['here.log'])
    program = start(d)
    time.sleep(2)  # passes without pause; any call would show
    check('no recipient', '', stop(program))
    check('no recipient: nothing started', [], records(d, 0))


def watching():
    print('watching: %d passes over %d files' % (len(WATCHED[0][1]), len(WATCHED)), flush=True)
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
    print('hostile paths', flush=True)
    rows = [(path, notice) for path, notice, windows in PATHS if windows or not WINDOWS]
    d = folder('TargetFile=%s*\nNetSendAdr=ops;\n' % '*'.join(p for p, _ in rows), [p for p, _ in rows])
    program = start(d)
    calls = records(d, len(rows))
    stop(program)
    check('paths', sorted('[Send][ops][Filesize is NULL %s]' % n for _, n in rows), sorted(calls))
    check('nothing evaluated', False, os.path.exists(os.path.join(d, 'made')))


def pauses():
    print('pauses:', ', '.join(i for i, _ in PAUSES), flush=True)
    runs = []
    for interval, _ in PAUSES:
        d = folder('TargetFile=tick.log*\nNetSendAdr=ops;\nInterval=%s\n' % interval, ['tick.log'])
        runs.append((d, start(d), []))
    # The time between the second and third pass: the first includes start-up.
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and any(len(arrivals) < 3 for _, _, arrivals in runs):
        for d, _, arrivals in runs:
            if len(arrivals) < 3 and len(records(d, 0)) > len(arrivals):
                arrivals.append(time.monotonic())
        time.sleep(0.02)
    for (interval, seconds), (d, program, arrivals) in zip(PAUSES, runs):
        stop(program)
        gap = arrivals[2] - arrivals[1] if len(arrivals) == 3 else None
        check('Interval=%s: pause of %d s' % (interval, seconds), True,
              gap is not None and seconds - 0.1 < gap < seconds + 0.9)


def net_stand_in():
    """POSIX only: the shipped messenger prints the notice literally."""
    print('Net stand-in', flush=True)
    d = fresh()
    host = os.uname().nodename
    hostile = 'File does not exist /tmp/$(touch made) `touch made2`; "q" \'r\' \\ $HOME %s'
    usage = 'usage: Net Send <recipient> <text>\n'
    for arguments, status, out in [
            (['Send', 'nobody-here', hostile], 0, 'Message from %s to nobody-here: %s\n' % (host, hostile)),
            (['sEnD', 'ops', 'split', 'text'], 0, 'Message from %s to ops: split text\n' % host),
            (['Receive', 'ops', 'x'], 2, ''), (['Send'], 2, ''), ([], 2, '')]:
        run = subprocess.run([NET] + arguments, cwd=d, capture_output=True, text=True, timeout=10)
        check('Net %s' % arguments, (status, out, usage if status else ''), (run.returncode, run.stdout, run.stderr))
    check('Net ran nothing', [], os.listdir(d))


def storm():
    """POSIX only: notices without pause leave no zombie, no open file, no growth."""
    print('notice storm', flush=True)
    d = folder('TargetFile=same.log*\nNetSendAdr=a;b;c;\nInterval=0.1\n', messenger=False)
    set_length(d, 'same.log', 6)
    shutil.copy('/bin/true', os.path.join(d, 'Net'))
    program = start(d)
    proc = '/proc/%d/' % program.pid

    def resident_kb():
        with open(proc + 'status') as f:
            return next(int(line.split()[1]) for line in f if line.startswith('VmRSS:'))
    time.sleep(0.5)  # a load figure, not a synchronisation
    files, memory = len(os.listdir(proc + 'fd')), resident_kb()
    time.sleep(3)
    states = []
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open('/proc/%s/stat' % pid) as f:
                fields = f.read().rpartition(')')[2].split()
        except OSError:
            continue
        if fields[1] == str(program.pid):
            states.append(fields[0])
    check('zombies', 0, states.count('Z'))
    check('open files', files, len(os.listdir(proc + 'fd')))
    if not os.environ.get('SIZEGUARD_SANITIZED'):  # its allocator keeps freed memory a while
        check('resident memory within 64 kB of %d kB' % memory, True, resident_kb() <= memory + 64)
    check('storm: standard error', '', stop(program))


def rotation():
    """POSIX only: a log rotated, truncated and recreated without pause."""
    print('log rotation under fire', flush=True)
    d = folder('TargetFile=app.log*\nNetSendAdr=ops;\nInterval=0.1\n', ['app.log'])
    program = start(d)
    records(d, 1)  # watching has begun
    stop_rotating = threading.Event()

    def rotate():
        log, i = os.path.join(d, 'app.log'), 0
        while not stop_rotating.is_set():
            os.rename(log, log + '.1')
            set_length(d, 'app.log', i % 7)
            os.truncate(log, i % 3)
            os.remove(log)
            set_length(d, 'app.log', 5)
            i += 1
    rotating = threading.Thread(target=rotate)
    rotating.start()
    time.sleep(3)
    stop_rotating.set()
    rotating.join()
    check('rotation: standard error', '', stop(program))
    allowed = {'[Send][ops][%s app.log]' % n
               for n in ('File does not exist', 'Filesize is NULL', 'No Changes on file')}
    check('rotation: only the three notices', set(), set(records(d, 1)) - allowed)


def net_exe():
    """Windows only: Net.exe hands the text to msg.exe as one argument."""
    print('Net.exe and msg.exe', flush=True)
    d = fresh()
    shutil.copy(NET, d)
    net = [WINE, os.path.join(d, 'Net.exe')]
    check('without msg.exe', 1, subprocess.run(net + ['Send', 'ops', 'text'], capture_output=True).returncode)
    shutil.copy(RECORDER, os.path.join(d, 'msg.exe'))
    text = 'a "quoted" text \\ with\\\\ back\\slashes\\ and $(x) `y`; \'z\''
    check('msg.exe status', 0, subprocess.run(net + ['sEnD', '*', text]).returncode)
    subprocess.run(net + ['Send', 'ops', 'split', 'text'])
    check('wrong verb', 2, subprocess.run(net + ['Receive', 'ops', 'x'], capture_output=True).returncode)
    check('msg.exe calls', ['[*][%s]' % text, '[ops][split text]'], records(d, 2, name='msg'))


def host_only():
    if WINDOWS:
        net_exe()
    else:
        net_stand_in()
        storm()
        rotation()


for group in GROUPS or ['startup', 'watching', 'paths', 'pauses', 'host_only']:
    globals()[group]()
print('%s end to end: %s' % (HOST, 'FAILED: %d' % len(FAILURES) if FAILURES else 'passed'))
sys.exit(1 if FAILURES else 0)
