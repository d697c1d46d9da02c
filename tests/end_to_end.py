#!/usr/bin/env python3
"""The real programs, each run in folders of its own with a recording
messenger: one unittest case a scenario and a ctest entry, tables as
subtests, on POSIX and under Wine alike. Every wait has a deadline.

    end_to_end.py --list HOST
    end_to_end.py posix SIZEGUARD NET [CLASS.test_name...]
    end_to_end.py windows WINE SIZEGUARD.EXE NET.EXE PROBE.EXE [CLASS.test_name...]
"""
import datetime
import email
import email.policy
import http.server
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.request
from pathlib import Path
from xml.etree import ElementTree

HOST = sys.argv[2] if sys.argv[1] == '--list' else sys.argv[1]
WINDOWS = HOST == 'windows'
if sys.argv[1] == 'windows':
    WINE, (PROGRAM, NET, PROBE) = sys.argv[2], map(os.path.abspath, sys.argv[3:6])
    del sys.argv[1:6]
elif sys.argv[1] == 'posix':
    PROGRAM, NET = map(os.path.abspath, sys.argv[2:4])
    del sys.argv[1:4]

# Start-up errors: settings (None: no file), files beside the program, then
# the box: title, prompt, icon; and the status.
GOOD = 'TargetFile=here.log*\nNetSendAdr=ops;\n'
A_FOLDER, A_FIFO = '<a folder>', '<a FIFO>'  # in place of the settings file
LONG = 'x' * 200 + '\\' + 'y' * 69  # beyond the Windows program's reach
STARTUP = [
    ('no settings file', None, '', 'Sorry', 'no ini file', 0, 1),
    ('settings file a folder', A_FOLDER, '', 'Sorry', 'no target file given', 0, 1),
    ('settings file a FIFO', A_FIFO, '', 'Sorry', 'no target file given', 0, 1),
    ('no target', 'NetSendAdr=ops;\n', '', 'Sorry', 'no target file given', 0, 1),  # read first
    ('single star', 'TargetFile=*\n', '', 'Target does not exist', '', 1, 1),
    ('first missing target', 'TargetFile=here.log*gone.log*lost.log*\n', 'here.log',  # before
     'Target does not exist', 'gone.log', 1, 1),  # the recipients are read
    ('no recipients', 'TargetFile=here.log*\nInterval=1e9\n', 'here.log', 'Sorry',  # read first
     "no target for 'Net Send' given", 0, 1),
    ('1 MB value', 'TargetFile=' + 'v' * 2**20 + '\n', '', 'Target does not exist', 'v' * 1023, 1, 1),
    ('interval overflow', GOOD + 'Interval=1e9\n', 'here.log', 'sizeguard', 'overflow: Interval "1e9"', 1, 2),
    ('a cut list of targets', 'TargetFile=%s\n' % ('here.log*' * 113 + 'x' * 20 + 'lost.log*'), 'here.log',
     'Sorry', "no target for 'Net Send' given", 0, 1),
    ('no messenger, values cut', 'TargetFile=here.log*\nNetSendAdr=ops;%s;\nSendMessage=%s\n' % (
     'r' * 1030, 'm' * 1100), 'here.log', 'sizeguard', 'cannot start Net Send ops "%s [ Filesize is NULL '
     'here.log ]": Net: %s' % ('m' * 1023, 'File not found' if WINDOWS else 'No such file or directory'), 1, 2),
    ('a loop of links', 'TargetFile=loop.log*\n', '', 'Target does not exist', 'loop.log', 1, 1),
    ('270 characters', 'TargetFile=%s*\n' % LONG, LONG, 'Target does not exist', LONG, 1, 1),
]
# What is reported before the box (%s: the folder; POSIX, Windows where they differ).
SAID = {
    '270 characters': ['cannot examine %s: longer than the 259 characters this program can examine' % LONG],
    'settings file a folder': [('cannot examine %s/Sizeguard.ini: Is a directory',
                                'cannot examine %s\\Sizeguard.ini: Access denied')],
    'settings file a FIFO': ['cannot examine %s/Sizeguard.ini: not a regular file'],
    '1 MB value': ['TargetFile is longer than 1023 characters and is cut there: 1047553 characters are '
                   'lost, from "%s..."; the first 1023 are watched as one path' % ('v' * 40),
                   'cannot examine %s: File name too long' % ('v' * 1023)],
    'a loop of links': ['cannot examine loop.log: Too many levels of symbolic links'],
    'a cut list of targets': ['TargetFile is longer than 1023 characters and is cut there: 23 characters are '
                              'lost, from "%s"; 113 files are watched, and not the text after the last "*": '
                              '"xxxxxx"' % ('x' * 14 + 'lost.log*')],
    'no messenger, values cut': [
        (None, "no Net.exe in %s: notices would start Windows' own net.exe, which delivers none"),
        'NetSendAdr is longer than 1023 characters and is cut there: 12 characters are lost, from "%s;"' % ('r' * 11),
        'SendMessage is longer than 1023 characters and is cut there: 77 characters are lost, from "%s..."'
        % ('m' * 40)],
}

# Length of each watched file before each pass (None: missing), and the
# notice it raises in that pass: - none, E empty, C no change, M missing.
WATCHED = [
    ('steady.log', [5, 5, 5, 5], '-CCC'),
    ('growing.log', [1, 2, 3, 4], '----'),
    ('shrinking.log', [9, 4, 4, 2], '--C-'),
    ('emptied.log', [3, 0, 0, 3], '-EEC'),   # an empty pass keeps the earlier length
    ('deleted.log', [3, None, 3, 4], '-MC-'),  # as does a missing one
    ('huge.log', [2**32, 2**33, 2**33, 2**32 + 7], '--C-'),  # 32 bits would say empty
]
NOTICES = {'E': 'Srv 1 [ Filesize is NULL %s ]', 'C': 'Srv 1 [ No Changes on file %s ]',
           'M': 'File does not exist %s'}

# Watched paths, empty at every pass, that reach the messenger as text, never
# evaluated; the backslash separates, and a folder holds no data. A quote
# takes part in the splitting (POSIX only: Windows has no quotes in names).
PATHS = ['a b.log', '$(touch made).log', '`touch made`.log', 'x;touch made.log', "it's %s %n.log",
         'caf\xe9 \xff.log', 'sub\\x.log', 'a folder/'] + ([] if WINDOWS else ['say "hi".log'])
WATCHED += [(path, [0, 0, 0, 0], 'EEEE') for path in PATHS]


def host_path(folder, name):
    """A name from the settings (8-bit text) as the host's file system sees it."""
    name = name.replace('\\', '/')
    if WINDOWS:
        return os.path.join(folder, name.encode('latin-1').decode('cp1252'))
    return os.path.join(folder.encode(), name.encode('latin-1'))


def set_length(folder, name, length):
    path = host_path(folder, name)
    if length is None:
        return os.remove(path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'ab') as f:
        f.truncate(length)  # sparse beyond what was written


def write_program(d, script, mode=0o755, name='Net'):
    Path(d, name).write_text(script)
    Path(d, name).chmod(mode)


def children(pid):
    """Each child of a process but the watchdog's helper, which looks at files."""
    kids = Path('/proc', str(pid), 'task', str(pid), 'children').read_text().split()
    return [int(k) for k in kids if not Path('/proc', k, 'comm').read_text().startswith('sizeguard')]


def until(condition, seconds=20):
    """Waits for the condition; its last value."""
    deadline = time.monotonic() + seconds
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.02)
    return condition()


def records(d, count, seconds=20, name='Net'):
    """The messenger's calls, once there are at least `count`."""
    calls = Path(d, name + '.calls')
    read = lambda: calls.read_bytes().decode('latin-1').splitlines() if calls.exists() else []
    until(lambda: len(read()) >= count, seconds)
    return read()


def said(program):
    """Its standard error so far, but for LeakSanitizer's word, on a loaded machine, of a thread gone."""
    text = Path(program.folder, 'stderr').read_bytes().decode('latin-1')
    return re.sub(r'==\d+==Unable to get registers from thread \d+\.\n', '', text)


# Wine shows the texts of warning and error events on its debug channel.
EVENTS = '-all,err+eventlog,warn+eventlog'


def wine_run(arguments, d):
    """A Windows program run to its end, its output through files: an explorer.exe it starts for the
    desktop inherits its pipes and holds them while any other test's program stays on that desktop."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        run = subprocess.run([WINE, *arguments], cwd=d, stdout=out, stderr=err, timeout=60,
                             env=dict(os.environ, WINEDEBUG=EVENTS))
        out.seek(0), err.seek(0)
        run.stdout, run.stderr = out.read(), err.read()
    return run


def reports(text):
    """Report lines: on POSIX without "sizeguard: "; on Windows the events (long ones cut "...")."""
    text = text.decode('latin-1') if isinstance(text, bytes) else text
    if not WINDOWS:
        return [line.replace('sizeguard: ', '', 1) for line in text.splitlines()]
    unescape = lambda m: chr(int(m[1], 16)) if len(m[1]) == 4 else {'n': '\n', 't': '\t'}.get(m[1], m[1])
    return [re.sub(r'\\([0-9a-f]{4}|.)', unescape, event) + cut for event, cut in
            re.findall(r':(?:err|warn):eventlog:ReportEventW L"(.*)"(\.\.\.)?$', text, re.M)]


class Case(unittest.TestCase):
    """Folders and programs of one scenario, removed and ended however it ends."""
    hosts = ('posix', 'windows')

    def fresh(self):
        # On POSIX in a folder whose name holds a backslash, which must not part it.
        d = tempfile.mkdtemp(prefix='sizeguard-e2e-' if WINDOWS else 'sizeguard\\e2e-')
        self.addCleanup(shutil.rmtree, d, True)
        return d

    def folder(self, settings, files=(), messenger=True):
        """The program, its settings (Windows line ends), empty files, a messenger that records."""
        d = self.fresh()
        shutil.copy(PROGRAM, d)
        if messenger and WINDOWS:
            shutil.copy(PROBE, os.path.join(d, 'Net.exe'))  # recording under that name
        elif messenger:  # one write a call, so that calls side by side never mix
            write_program(d, '#!/bin/sh\nprintf "%s\\n" "$(printf "[%s]" "$@")" >> "${0%/*}/Net.calls"\n')
        ini = os.path.join(d, 'Sizeguard.ini')
        if settings == A_FOLDER:
            os.mkdir(ini)
        elif settings == A_FIFO:
            os.mkfifo(ini)
        elif settings is not None:
            Path(ini).write_bytes(('[General]\n' + settings).replace('\n', '\r\n').encode('latin-1'))
        for name in files:
            os.makedirs(host_path(d, name)) if name.endswith('/') else set_length(d, name, 0)
        return d

    def start(self, d, env=None, prefix=()):
        """The program watching in d; its output to files: Wine's programs may hold a pipe."""
        with open(os.path.join(d, 'stderr'), 'wb') as stderr, open(os.path.join(d, 'stdout'), 'wb') as stdout:
            program = subprocess.Popen([WINE, 'sizeguard.exe'] if WINDOWS else [*prefix, './sizeguard'],
                                       cwd=d, env=env, stdout=stdout, stderr=stderr)
        program.folder = d
        self.addCleanup(lambda: program.poll() is None and program.kill())
        return program

    def stop(self, program):
        """Ends a program still watching and its messengers; what it said on standard error."""
        self.assertIsNone(program.poll(), 'still watching')
        if not WINDOWS:
            program.send_signal(signal.SIGSTOP)  # no new messenger from here on
            for child in children(program.pid):
                try:
                    os.kill(child, signal.SIGKILL)
                except ProcessLookupError:
                    pass  # ended meanwhile
        program.kill()
        program.wait(timeout=10)
        return said(program)

    def told(self, d):
        """How it refused to start: its reports (events on Windows), box (Windows) and status."""
        if not WINDOWS:
            run = subprocess.run(['./sizeguard'], cwd=d, capture_output=True, timeout=20)
            return reports(run.stderr), None, None, None, str(run.returncode)
        run = wine_run([PROBE, 'sizeguard.exe'], d)
        box = dict(line.split('=', 1) for line in run.stdout.decode('latin-1').splitlines())
        self.assertEqual(('OK', '1'), (box.get('buttons'), box.get('running')),
                         'a box with only OK, the program running behind it')
        return reports(run.stderr), box.get('title'), box.get('text'), int(box.get('icon', -1)), box.get('status')


class Startup(Case):
    def test_errors(self):
        for name, settings, files, title, prompt, icon, status in STARTUP:
            if name in (('settings file a FIFO', 'a loop of links') if WINDOWS else ('270 characters',)):
                continue  # none there; Wine sees the link as a file; no such limit
            with self.subTest(name):
                d = self.folder(settings, files.split(), messenger=not name.startswith('no messenger'))
                if name == 'a loop of links':
                    os.symlink('loop.log', os.path.join(d, 'loop.log'))
                reported, *rest = self.told(d)
                expected = [line.replace('%s', 'Z:' + d.replace('/', '\\') if WINDOWS else d) for line in (
                    line if isinstance(line, str) else line[WINDOWS] for line in SAID.get(name, [])) if line]
                expected.append(prompt if title == 'sizeguard' else title + ': ' + prompt)
                # as Wine cuts them
                expected = [e[:len(r) - 3] + '...' if r.endswith('...') else e
                            for e, r in zip(expected, reported)] + expected[len(reported):]
                box = (title, prompt, icon) if WINDOWS else (None, None, None)
                self.assertEqual((expected, *box, str(status)), (reported, *rest))
                self.assertEqual([], records(d, 0), 'nothing started')


class Watching(Case):
    def test_passes(self):
        names = [name for name, _, _ in WATCHED]
        d = self.folder('TargetFile=%s*\nNetSendAdr=ops;dev;\nInterval=2\nSendMessage=Srv 1\n'
                        % '*'.join(names), names)
        seen = 0
        for n in range(len(WATCHED[0][1])):
            expected = []
            for name, lengths, notices in WATCHED:
                if not name.endswith('/'):
                    set_length(d, name, lengths[n])
                if notices[n] != '-':
                    expected += ['[Send][%s][%s]' % (r, NOTICES[notices[n]] % name.replace('"', ''))
                                 for r in ('ops', 'dev')]
            program = self.start(d) if n == 0 else program
            # The messengers run side by side: within a pass, calls come in any order.
            calls = records(d, seen + len(expected))
            self.assertEqual(sorted(expected), sorted(calls[seen:]), 'pass %d' % (n + 1))
            seen = len(calls)
        # A second watchdog for the same folder ends at once, leaving the first watching.
        line = 'another sizeguard is already watching for %s; this one ends' % (
            'Z:%s\\Sizeguard.ini' % d.replace('/', '\\') if WINDOWS else d + '/Sizeguard.ini')
        self.assertEqual(([line], *(('sizeguard', line, 1) if WINDOWS else (None,) * 3), '1'), self.told(d))
        self.assertEqual('', self.stop(program))
        self.assertFalse(os.path.exists(os.path.join(d, 'made')), 'nothing evaluated')

    def test_messenger_held_open(self):
        """Net held open (written, scanned): the watching goes on, the notice comes once let go."""
        d = self.folder('TargetFile=here.log*\nNetSendAdr=ops;\nInterval=1\n', ['here.log'])
        if WINDOWS:
            holder = subprocess.Popen([WINE, PROBE, '--hold', 'Net.exe'], cwd=d, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE)
            self.addCleanup(holder.kill)
            self.assertEqual(b'held', holder.stdout.readline().strip())
            reason, letGo = 'Net: File not found', holder.stdin.close  # Wine's word for a sharing violation
        else:
            reason, letGo = d + '/Net: Text file busy', open(os.path.join(d, 'Net'), 'r+b').close
        program = self.start(d)
        self.assertTrue(until(lambda: 'cannot start' in said(program)))
        self.assertEqual([], records(d, 0))
        letGo()
        self.assertTrue(records(d, 1), 'delivered once let go')
        self.assertEqual(['sizeguard: cannot start messengers for now (%s); trying again until they start'
                          % reason, 'sizeguard: messengers start again'], self.stop(program).splitlines())


EXAMINE_SECONDS = int(os.environ.get('SIZEGUARD_EXAMINE_SECONDS', '5'))
FUSE_SERVER = '''
import os, stat, sys, time, fusepy
class Hanging(fusepy.Operations):  # hang.log, 5 bytes: its looks wait while the file argv[2] exists
    def getattr(self, path, fh=None):
        while path == '/hang.log' and os.path.exists(sys.argv[2]):
            time.sleep(0.05)
        return {'st_mode': stat.S_IFDIR | 0o755} if path == '/' else {'st_mode': stat.S_IFREG | 0o644, 'st_size': 5}
fusepy.FUSE(Hanging(), sys.argv[1], foreground=True, attr_timeout=0, entry_timeout=0, negative_timeout=0)
'''


def usage(pid):
    """Open files but pipes, pipes (one a messenger running), and resident kB of a process."""
    memory = re.search(r'VmRSS:\s*(\d+)', Path('/proc/%d/status' % pid).read_text())[1]
    kinds = []
    for f in os.listdir('/proc/%d/fd' % pid):
        try:
            kinds.append(os.readlink('/proc/%d/fd/%s' % (pid, f)).startswith('pipe:'))
        except OSError:
            pass  # closed meanwhile
    return kinds.count(False), kinds.count(True), int(memory)


class Messengers(Case):
    """POSIX only: how the host starts, collects and reports its messengers."""
    hosts = ('posix',)

    def test_storm_and_rotation(self):
        """No pause, a log rotated under it: messengers collected (beyond 64), no leak, three notices."""
        d = self.folder('TargetFile=same.log*app.log*\nNetSendAdr=a;b;c;\nInterval=0.1\n', ['app.log'])
        set_length(d, 'same.log', 6)
        program = self.start(d)
        records(d, 64)
        files, _, memory = usage(program.pid)
        log, i = os.path.join(d, 'app.log'), 0
        while len(records(d, 0)) < 640 and i < 100000:
            os.rename(log, log + '.1')
            set_length(d, 'app.log', i % 7)
            os.truncate(log, i % 3)
            os.remove(log)
            set_length(d, 'app.log', 5)
            i += 1
        self.assertGreaterEqual(len(records(d, 640, seconds=40)), 640, 'messengers collected')
        now = usage(program.pid)
        self.assertEqual(files, now[0], 'open files')
        self.assertLessEqual(now[1], 64, 'pipes of messengers collected')
        if not os.environ.get('SIZEGUARD_SANITIZED'):  # its allocator keeps freed memory a while
            self.assertLessEqual(now[2], memory + 64, 'resident memory')
        # Under load 64 messengers may be running at some moment: said, not a fault.
        self.assertEqual('', re.sub('sizeguard: 64 messengers still running; .*\n', '', self.stop(program)))
        notices = {'[Send][%s][%s %s]' % (r, n, f) for r in 'abc' for f in ('same.log', 'app.log') for n in
                   ('File does not exist', 'Filesize is NULL', 'No Changes on file')}
        self.assertEqual(set(), set(records(d, 0)) - notices)

    @unittest.skipIf(os.geteuid() != 0, 'needs root, to run as an unprivileged user')
    def test_reasons_said(self):
        """A path it may not examine: the reason beside the missing-file notice, once a minute."""
        d = self.folder('TargetFile=tick.log*secret/x.log*\nNetSendAdr=ops;\nInterval=1\n', ['tick.log'])
        set_length(d, 'secret/x.log', 5)
        os.chmod(d, 0o777)
        as_nobody = ['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups']
        reason = 'cannot examine secret/x.log: Permission denied'
        program = self.start(d, prefix=as_nobody)
        records(d, 1)  # the first pass is over
        os.chmod(os.path.join(d, 'secret'), 0)
        missing = '[Send][ops][File does not exist secret/x.log]'
        self.assertTrue(until(lambda: records(d, 0).count(missing) >= 2), 'a notice at each pass')
        self.assertEqual('sizeguard: %s\n' % reason, self.stop(program))

    @unittest.skipIf(not os.path.exists('/dev/fuse'), 'no /dev/fuse: no FUSE file system to hang')
    def test_hung_file(self):
        """A file on FUSE that hangs: said before the box; while watching: missing, said once, the other on time."""
        d = self.folder('TargetFile=tick.log*mnt/hang.log*\nNetSendAdr=ops;\nInterval=1\n', ['tick.log'])
        hanging, mount = os.path.join(d, 'hanging'), os.path.join(d, 'mnt')
        os.mkdir(mount)
        server = subprocess.Popen(['/usr/bin/python3', '-c', FUSE_SERVER, mount, hanging], stderr=subprocess.PIPE)
        self.addCleanup(lambda: subprocess.run(['fusermount3', '-u', '-z', mount]) and server.kill())
        self.assertTrue(until(lambda: os.path.ismount(mount) or server.poll() is not None) and server.poll() is None,
                        server.stderr.read().decode() if server.poll() is not None else 'not mounted')
        reason = 'cannot examine mnt/hang.log: no answer within %d s' % EXAMINE_SECONDS
        Path(hanging).touch()
        self.assertEqual(([reason, 'Target does not exist: mnt/hang.log'], None, None, None, '1'), self.told(d))
        os.remove(hanging)
        program = self.start(d)
        records(d, 1)  # the first pass is over: hang.log answered
        Path(hanging).touch()
        tick, missing = '[Send][ops][Filesize is NULL tick.log]', '[Send][ops][File does not exist mnt/hang.log]'
        self.assertTrue(until(lambda: records(d, 0).count(missing) >= 3 and records(d, 0).count(tick) >= 4))
        os.remove(hanging)
        self.assertTrue(until(lambda: '[Send][ops][No Changes on file mnt/hang.log]' in records(d, 0)))
        self.assertEqual('sizeguard: %s\n' % reason, self.stop(program))

    def test_failing(self):
        """A failure one line with the start of its standard error, however long; settings handed on unedited; no
        zombie; a #!-less script on PATH runs; a Net beside that cannot run is fatal, not passed over."""
        d, bin = self.folder('TargetFile=here.log*\nNetSendAdr=ops;dev;\nInterval=3\nSendMessage=Srv 1\n',
                             ['here.log'], messenger=False), self.fresh()
        write_program(bin, '[ "$2" = ops ] && { echo "$SIZEGUARD_INTERVAL_MS ms, $SIZEGUARD_SEND_MESSAGE" >&2\n'
                        'head -c 100000 /dev/zero >&2; exit 3; }\nkill -PIPE $$\n')  # no #!
        program = self.start(d, dict(os.environ, PATH=bin + ':' + os.environ['PATH']))
        ops = 'sizeguard: Net Send ops "Srv 1 [ Filesize is NULL here.log ]" ended with status 3: 3000 ms, Srv 1'
        self.assertTrue(until(lambda: ops in said(program)))
        Path(d, 'Sizeguard.ini').write_text(Path(d, 'Sizeguard.ini').read_text().replace('3', '1').replace('Srv 1', 'Srv 2'))
        self.assertTrue(until(lambda: said(program).count(ops) >= 2 and not children(program.pid)),
                        'failed deliveries collected')
        self.assertEqual({'sizeguard: Net Send dev "Srv 1 [ Filesize is NULL here.log ]" ended by signal 13 (Broken pipe)',
                          ops}, set(self.stop(program).splitlines()))
        write_program(d, '#!/bin/sh\n', 0o644)
        run = subprocess.run(['./sizeguard'], cwd=d, capture_output=True, timeout=20)
        self.assertEqual((2, 'sizeguard: cannot start Net Send ops "Srv 2 [ Filesize is NULL here.log ]": %s/Net: '
                          'Permission denied\n' % d), (run.returncode, run.stderr.decode()), 'not executable')


# Real servers for the messengers, on free loopback ports, started by the
# test and ended with it: Debian's aiosmtpd (in Debian's own python3) and
# Alertmanager, and a chat service's webhook played here.
NET_SECONDS = int(os.environ.get('SIZEGUARD_NET_SECONDS', '30'))
E = '...' if WINDOWS else '\u2026'.encode().decode('latin-1')  # what lines say in place of secrets
os.environ['no_proxy'] = os.environ['NO_PROXY'] = '127.0.0.1'


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def listening(port):
    with socket.socket() as s:
        return s.connect_ex(('127.0.0.1', port)) == 0


def answers(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as response:
            return json.load(response) if response.headers.get_content_type() == 'application/json' else True
    except OSError:
        return None


class Receivers:
    def serve(self, command, ready):
        log = os.path.join(self.fresh(), 'log')
        with open(log, 'w') as out:
            server = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT)
        self.addCleanup(lambda: server.kill() or server.wait())
        self.assertTrue(until(lambda: ready() or server.poll() is not None) and server.poll() is None,
                        '%s is not ready: %s' % (command[0], Path(log).read_text()))

    def mail_server(self):
        """Its port, and the mails once there are `count`."""
        port, box = free_port(), os.path.join(self.fresh(), 'box')  # made by the server
        self.serve(['/usr/bin/python3', '-m', 'aiosmtpd', '-n', '-l', '127.0.0.1:%d' % port,
                    '-c', 'aiosmtpd.handlers.Mailbox', box], lambda: os.path.isdir(box + '/new'))

        def mails(count):
            names = until(lambda: len(os.listdir(box + '/new')) >= count and os.listdir(box + '/new'))
            return [email.message_from_bytes(Path(box, 'new', n).read_bytes(), policy=email.policy.default)
                    for n in names or []]
        return port, mails

    def alertmanager(self):
        """The URL recipients post to, and where the alerts are listed."""
        d, port = self.fresh(), free_port()
        Path(d, 'am.yml').write_text('route:\n  receiver: none\nreceivers:\n  - name: none\n')
        self.serve(['prometheus-alertmanager', '--web.listen-address=127.0.0.1:%d' % port,
                    '--cluster.listen-address=', '--storage.path=' + d, '--config.file=' + d + '/am.yml'],
                   lambda: answers('http://127.0.0.1:%d/-/ready' % port))
        return 'http://127.0.0.1:%d/api/v2/alerts' % port

    def chat(self):
        """A webhook and what is posted: /hook... answers 200, /fail... 500, /hang never."""
        posts, hanging = [], threading.Event()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                posts.append((self.path, self.headers['Content-Type'],
                              json.loads(self.rfile.read(int(self.headers['Content-Length'])))))
                if self.path == '/hang':
                    return hanging.wait()
                self.send_response(500 if self.path.startswith('/fail') else 200)
                self.end_headers()
                self.wfile.write(b'it\nbroke' if self.path.startswith('/fail') else b'ok')

            def log_message(self, *_):
                pass
        server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        for end in (server.server_close, server.shutdown, hanging.set):
            self.addCleanup(end)
        return 'http://127.0.0.1:%d' % server.server_port, posts


class Deliveries(Case, Receivers):
    """The real watchdog with the real Net beside it, on both hosts."""

    def net(self, d, *arguments, **env):
        """Net run in d: its status and reports (events on Windows)."""
        run = subprocess.run(([WINE] if WINDOWS else []) + [os.path.join(d, os.path.basename(NET)), 'Send', *arguments],
                             capture_output=True, timeout=60, env=dict(os.environ, WINEDEBUG=EVENTS, **env))
        return run.returncode, reports(run.stderr)

    def watching(self, d, *seen):
        """The watchdog in d until it has reported each of `seen`; all it reported."""
        program = self.start(d, dict(os.environ, WINEDEBUG=EVENTS))
        self.assertTrue(until(lambda: set(seen) <= set(reports(said(program))), NET_SECONDS + 20),
                        reports(said(program)))
        return sorted(set(reports(self.stop(program))))

    def test_deliveries(self):
        """Each recipient by its form, by name too, the path not UTF-8; answers 500, none, a closed port, a log-in
        in clear: each a reason and status 1, within the bound, reported; no line says a token or named address."""
        (smtp, mails), alerts, (chat, posts) = self.mail_server(), self.alertmanager(), self.chat()
        settings = 'TargetFile=caf\xe9.log*\nNetSendAdr=%s;\nInterval=1\nSendMessage=Srv 1\n[Net]\nMailServer=smtp://127.0.0.1:%d\n'
        recipients = 'oncall;%s;%s/hook/xoxb-inline?k=xoxb-query;chat;%s/hang' % (alerts, chat, chat)
        d = self.folder(settings % (recipients, smtp) + '[Recipients]\nchat=%s/fail/xoxb-named\n'
                        'oncall=team+s3cret@example.com\n' % chat, messenger=False)
        shutil.copy(NET, d)
        set_length(d, 'caf\xe9.log', 5)
        notice, host, started = 'Srv 1 [ No Changes on file caf\xe9.log ]', os.uname().nodename, time.monotonic()
        hang = 'Net Send %s/%s "%s" ended with status 1: no answer within %d s' % (chat, E, notice, NET_SECONDS)
        # The first notice comes at the second pass; the pause collects it within a second.
        self.assertEqual(['Net Send chat "%s" ended with status 1: answered 500: it broke' % notice, hang],
                         self.watching(d, hang))
        self.assertLess(time.monotonic() - started, NET_SECONDS + (12 if WINDOWS else 4), 'the bound holds')
        mail = mails(1)[0]
        self.assertEqual((notice, 'team+s3cret@example.com'), (mail['subject'], mail['to']))
        self.assertIn(notice + '\n\nHost: ' + host, mail.get_body().get_content())
        listed = until(lambda: answers(alerts))[0]
        self.assertEqual(({'alertname': 'FileNotGrowing', 'path': 'caf\xe9.log', 'instance': host},
                          {'summary': notice}), (listed['labels'], listed['annotations']))
        for path in ('/hook/xoxb-inline?k=xoxb-query', '/fail/xoxb-named'):
            self.assertIn((path, 'application/json', {'text': notice}), posts)
        lines = Path(d, 'stdout').read_bytes() + Path(d, 'stderr').read_bytes()
        self.assertEqual([], [secret for secret in (b'xoxb', b's3cret') if secret in lines])
        self.assertTrue(WINDOWS or b' to oncall: Srv 1' in lines, 'the record names the recipient')
        tls = 'ops@example.com: smtp://%s127.0.0.1:%d: STARTTLS not supported.'
        for server, recipient, reason in [  # a log-in never goes in clear, nor is it said
                ('smtp://127.0.0.1:%d\nMailUser=u\nMailPassword=pw' % smtp, 'ops@example.com', tls % ('', smtp)),
                ('smtp://u:pw@127.0.0.1:%d' % smtp, 'ops@example.com', tls % (E + '@', smtp)),
                ('', chat.replace('//', '//u:pw@') + '/x', '%s/%s: refused to post a log-in over http://: it would '
                 'travel in clear; use https://' % (chat.replace('//', '//%s@' % E), E))]:
            Path(d, 'Sizeguard.ini').write_text('[Net]\nMailServer=%s\n' % server)
            self.assertEqual((1, ['Net: ' + reason]), self.net(d, recipient, 'x'))
        # by address: a messenger of the stopped watchdog may still deliver
        self.assertEqual([], [m['to'] for m in mails(1) if m['to'] == 'ops@example.com'], 'none sent without TLS')
        closed = free_port()
        Path(d, 'Sizeguard.ini').write_text(settings % ('x', closed))
        self.assertEqual((1, ['Net: ops@example.com: cannot connect to smtp://127.0.0.1:%d: Connection refused'
                              % closed]), self.net(d, 'ops@example.com', 'x'))
        # The Interval and SendMessage the watchdog hands over count, not the file's.
        self.assertEqual((0, []), self.net(d, alerts, 'Srv 9 [ Filesize is NULL x ]', SIZEGUARD_INTERVAL_MS='60000',
                                           SIZEGUARD_SEND_MESSAGE='Srv 9'))
        at = lambda a, key: datetime.datetime.fromisoformat(a[key].replace('Z', '+00:00')).timestamp()
        self.assertTrue(until(lambda: [a for a in answers(alerts) if a['labels'].get('path') == 'x' and
                                       round(at(a, 'endsAt') - at(a, 'startsAt')) == 180]), answers(alerts))


class NetByHand(Case, Receivers):
    """POSIX only, for the rules are the same source on both hosts."""
    hosts = ('posix',)

    def test_by_hand(self):
        """Argument rules, the recipients Net delivers to, and the line that is the delivery for a
        user or "*"; started by the watchdog (its settings handed), a failure is one bare line."""
        d, bin, host = self.fresh(), self.fresh(), os.uname().nodename
        write_program(bin, '#!/bin/sh\ncat > "${0%/*}/heard"\n', name='wall')
        line = 'Message from %s to %%s: %%s\n' % host
        hostile = 'File does not exist /tmp/$(touch made) `touch made2`; "q" \'r\' \\ $HOME %s'
        usage, refused = 'usage: Net Send <recipient> <text>\n', ': not a recipient Net delivers to ("*", a user ' \
            'name, NAME@DOMAIN or an http(s) URL)\n'
        handed, walls = dict(os.environ, SIZEGUARD_INTERVAL_MS='1000'), dict(os.environ, PATH=bin + ':' + os.environ['PATH'])
        for arguments, env, status, out, err in [
                (['Send', '*', hostile], walls, 0, line % ('*', hostile), ''),
                (['sEnD', 'nobody', 'split', 'text'], None, 0, line % ('nobody', 'split text'), ''),
                (['Send', 'a b@example.com', 'x'], None, 1, line % ('a b@example.com', 'x'),
                 'Net: a b@example.com: not a mail address\n'),
                (['Send', 'nosuchuser', 'x'], None, 1, '', 'Net: nosuchuser: no such user on %s\n' % host),
                (['Send', 'nosuchuser', 'x'], handed, 1, '', 'no such user on %s\n' % host),
                (['Send', 'htps://chat.example.com/x', 'x'], None, 1, '', 'Net: htps://chat.example.com/\u2026' + refused),
                (['Receive', 'ops', 'x'], None, 2, '', usage), (['Send', '', 'x'], None, 2, '', usage),
                ([], None, 2, '', usage)]:
            run = subprocess.run([NET] + arguments, cwd=d, capture_output=True, text=True, timeout=10, env=env)
            self.assertEqual((status, out, err), (run.returncode, run.stdout, run.stderr), 'Net %s' % arguments)
        self.assertEqual([], os.listdir(d), 'Net ran nothing')
        self.assertEqual(line % ('*', hostile), Path(bin, 'heard').read_text(), 'every terminal told through wall')
        with open('/dev/full', 'w') as full:
            run = subprocess.run([NET, 'Send', 'nobody', 'x'], stdout=full, stderr=subprocess.PIPE, timeout=20)
        self.assertEqual((1, b'Net: nobody: cannot write on standard output: No space left on device\n'),
                         (run.returncode, run.stderr))

    def test_bounds(self):
        """A mail server silent after the data or after QUIT, an output nobody reads, full or
        filling under a long line: each ends within the bound and a second, with its reason."""
        d, port = self.fresh(), free_port()
        Path(d, 'silent.py').write_text(
            'import asyncio\nclass Silent:\n    async def handle_DATA(self, server, session, envelope):\n'
            '        return "250 ok" if session.host_name == "quit" else await asyncio.sleep(60)\n'
            '    async def handle_QUIT(self, *_):\n        await asyncio.sleep(60)\n')
        self.serve(['env', 'PYTHONPATH=' + d, '/usr/bin/python3', '-m', 'aiosmtpd', '-n', '-l', '127.0.0.1:%d' % port,
                    '-c', 'silent.Silent'], lambda: listening(port))
        shutil.copy(NET, d)
        unread = 'cannot write on standard output within %d s: nobody reads it\n' % NET_SECONDS
        for silent, full, recipient, text, status, err in [  # the mail server greeted by the name of its silence
                ('data', False, 'ops@example.com', 'x', 1,
                 'Net: ops@example.com: no answer from smtp://127.0.0.1:%d/\u2026 within %d s\n' % (port, NET_SECONDS)),
                ('quit', False, 'ops@example.com', 'x', 0, ''),
                ('quit', True, 'ops@example.com', 'x', 0, 'Net: ops@example.com: ' + unread),
                ('quit', True, 'nobody', 'x', 1, 'Net: nobody: ' + unread),
                ('quit', False, 'nobody', 'x' * 70000, 1, 'Net: nobody: ' + unread)]:  # beyond the pipe's room
            Path(d, 'Sizeguard.ini').write_text('[Net]\nMailServer=smtp://127.0.0.1:%d/%s\n' % (port, silent))
            read, write = os.pipe()
            if full:  # what does not fit of one write is left unwritten
                os.set_blocking(write, False)
                os.write(write, b'x' * 2**20)
                os.set_blocking(write, True)
            started = time.monotonic()
            run = subprocess.run([os.path.join(d, 'Net'), 'Send', recipient, text], stdout=write,
                                 stderr=subprocess.PIPE, timeout=NET_SECONDS + 10)
            os.close(read), os.close(write)
            self.assertEqual((status, err), (run.returncode, run.stderr.decode()), (silent, full, recipient))
            self.assertLess(time.monotonic() - started, NET_SECONDS + 2.5, (silent, full, recipient))


class NetExe(Case):
    """Windows only: Net.exe hands names to msg.exe."""
    hosts = ('windows',)

    def net(self, d, *arguments):
        """Its status and the events it reported."""
        run = subprocess.run([WINE, os.path.join(d, 'Net.exe'), *arguments], capture_output=True, timeout=60,
                             env=dict(os.environ, WINEDEBUG=EVENTS, LANG='C.UTF-8'))
        return run.returncode, reports(run.stderr)

    def test_msg_exe(self):
        """Without msg.exe, said plainly in one event of the watchdog's, none of Net.exe's; a failing
        msg.exe named; names to msg.exe, the text one argument."""
        d = self.folder(GOOD + 'Interval=10\n', ['here.log'], messenger=False)
        shutil.copy(NET, d)
        program = self.start(d, dict(os.environ, WINEDEBUG=EVENTS))
        failed = ['Net Send ops "Filesize is NULL here.log" ended with status 1: msg.exe not found: this Windows '
                  'edition cannot show messages; use a mail or URL recipient']
        self.assertTrue(until(lambda: reports(said(program)) == failed), reports(said(program)))
        self.stop(program)
        Path(d, 'msg.exe').write_text('not a program')
        status, events = self.net(d, 'Send', 'ops', 'text')
        self.assertEqual(1, status)
        self.assertRegex(events[0], r'^Net: ops: cannot start msg\.exe: .*msg\.exe')
        shutil.copy(PROBE, os.path.join(d, 'msg.exe'))
        text = 'a "quoted" text \\ with\\\\ back\\slashes\\ and $(x) `y`; \'z\''
        self.assertEqual([(0, []), (0, [])], [self.net(d, 'sEnD', '*', text), self.net(d, 'Send', 'ops', 'split', 'text')])
        self.assertEqual(['[*][%s]' % text, '[ops][split text]'], records(d, 2, name='msg'))


class WindowsAdministration(Case):
    """Windows only: folders named outside the code page; the task that starts the program."""
    hosts = ('windows',)

    def test_folder_named_outside_the_code_page(self):
        d = os.path.join(self.folder('TargetFile=gone.log*\n'), '\u041c\u043e\u043d\u0438\u0442\u043e\u0440')
        shutil.copytree(os.path.dirname(d), d)
        self.assertEqual((['Target does not exist: gone.log'], 'Target does not exist', 'gone.log', 1, '1'),
                         self.told(d))

    def test_unseen(self):
        """In a window station nobody sees, no box waits for ever: an event, a line, status 1 at once."""
        run = wine_run([PROBE, '--unseen', 'sizeguard.exe'], self.folder(None))
        self.assertEqual((['status=1'], ['Sorry: no ini file'], True), (run.stdout.decode().split(), reports(
            run.stderr), 'Sorry: no ini file' in run.stderr.decode().splitlines()))

    def test_task_definitions(self):
        """Both tasks as Task Scheduler takes them (no encoding declared, or UTF-16 LE with its mark)."""
        packaging, ns = Path(__file__).resolve().parent.parent / 'packaging' / 'windows', {
            't': 'http://schemas.microsoft.com/windows/2004/02/mit/task'}
        for name, trigger, user, logon, account in [
                ('sizeguard-task.xml', 'LogonTrigger', 'USER', 'InteractiveToken', 'USER'),
                ('sizeguard-server-task.xml', 'BootTrigger', None, 'Password', 'ACCOUNT')]:
            with self.subTest(name):
                raw = (packaging / name).read_bytes()
                self.assertTrue(raw.startswith(b'\xff\xfe') or b'encoding' not in raw.partition(b'?>')[0])
                task = ElementTree.parse(packaging / name).getroot()
                found = [task.findtext('t:' + path.replace('/', '/t:'), namespaces=ns) for path in [
                    'Triggers/%s/Repetition/Interval' % trigger, 'Triggers/%s/Repetition/Duration' % trigger,
                    'Triggers/%s/UserId' % trigger, 'Settings/MultipleInstancesPolicy', 'Settings/ExecutionTimeLimit',
                    'Settings/DisallowStartIfOnBatteries', 'Principals/Principal/LogonType',
                    'Principals/Principal/UserId', 'Actions/Exec/Command', 'Actions/Exec/WorkingDirectory']]
                self.assertEqual(['PT1M', None, user, 'IgnoreNew', 'PT0S', 'false', logon, account,  # for ever
                                  'C:\\sizeguard\\sizeguard.exe', 'C:\\sizeguard'], found)

def scenarios():
    """Every scenario that runs on this host, as CLASS.test_name."""
    return ['%s.%s' % (case.__name__, name) for case in Case.__subclasses__() if HOST in case.hosts
            for name in unittest.TestLoader().getTestCaseNames(case)]


if __name__ == '__main__':
    if sys.argv[1] == '--list':
        print(';'.join(scenarios()))  # a CMake list
    else:
        unittest.main(argv=sys.argv[:1] + (sys.argv[1:] or scenarios()), verbosity=2)
