#!/usr/bin/env python3
"""The real program, each run in a folder of its own with a recording messenger.
One unittest case per scenario, each a ctest entry; tables run as subtests,
against either program (the Windows one's boxes read by the probe). Waits are
bounded.

    end_to_end.py --list HOST
    end_to_end.py posix SIZEGUARD NET [CLASS.test_name...]
    end_to_end.py windows WINE SIZEGUARD.EXE NET.EXE RECORDER.EXE PROBE.EXE [CLASS.test_name...]
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

HOST, WINDOWS = sys.argv[1], sys.argv[1] == 'windows'
if sys.argv[1] == '--list':
    HOST, WINDOWS = sys.argv[2], sys.argv[2] == 'windows'
elif WINDOWS:
    WINE = sys.argv[2]
    PROGRAM, NET, RECORDER, PROBE = map(os.path.abspath, sys.argv[3:7])
    del sys.argv[1:7]
else:
    PROGRAM, NET = map(os.path.abspath, sys.argv[2:4])
    del sys.argv[1:4]

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
    ('no messenger', GOOD, 'here.log', 'sizeguard', 'cannot start Net Send ops "Filesize is NULL '
     'here.log": Net: ' + ('File not found' if WINDOWS else 'No such file or directory'), 1, 2),
    ('a loop of links', 'TargetFile=loop.log*\n', '', 'Target does not exist', 'loop.log', 1, 1),
]
# What is reported before the box (%s: the folder; POSIX, Windows where they differ).
SAID = {
    'settings file a folder': [('cannot examine %s/Sizeguard.ini: Is a directory',
                                'cannot examine %s\\Sizeguard.ini: Access denied')],
    'settings file a FIFO': ['cannot examine %s/Sizeguard.ini: not a regular file'],
    '1 MB value': ['TargetFile is longer than 1023 characters and is cut there: 1047553 characters are '
                   'lost, from "%s..."; the first 1023 are watched as one path' % ('v' * 40),
                   'cannot examine %s: File name too long' % ('v' * 1023)],
    'a loop of links': ['cannot examine loop.log: Too many levels of symbolic links'],
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
    ('tick.log', [0, 0, 0, 0], 'EEEE'),  # every pass says something
]
NOTICES = {'E': 'Srv 1 [ Filesize is NULL %s ]', 'C': 'Srv 1 [ No Changes on file %s ]',
           'M': 'File does not exist %s'}

# Watched paths that reach the messenger as text, never evaluated.
PATHS = ['a b.log', '$(touch made).log', '`touch made`.log', 'x;touch made.log',
         "it's %s %n.log", 'caf\xe9 \xff.log', 'sub\\x.log',  # a backslash separates
         'a folder/']  # holds no data
# POSIX only, Windows has no quotes in names: a quote takes part in the splitting.
QUOTED = ('say "hi".log', 'say hi.log')


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


# A POSIX Net that appends its arguments to Net.calls beside it, one write
# per call so that calls never mix.
RECORDER_SCRIPT = '#!/bin/sh\nprintf "%s\\n" "$(printf "[%s]" "$@")" >> "${0%/*}/Net.calls"\n'


def write_messenger(d, script=RECORDER_SCRIPT, mode=0o755):
    Path(d, 'Net').write_text(script)
    Path(d, 'Net').chmod(mode)


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


def said(program):
    """What a program started by Case.start has said on standard error so far."""
    return Path(program.folder, 'stderr').read_bytes().decode('latin-1')


# Wine shows the strings of warning and error events on its debug channel.
EVENTS = '-all,err+eventlog,warn+eventlog'


def reports(stderr):
    """The report lines in a program's standard error: on POSIX without their
    "sizeguard: ", on Windows the texts of the events, where Wine cuts a long
    one short with "..." at the end."""
    text = stderr.decode('latin-1') if isinstance(stderr, bytes) else stderr
    if not WINDOWS:
        return [line[len('sizeguard: '):] if line.startswith('sizeguard: ') else line
                for line in text.splitlines()]
    found = []
    for event in re.findall(r':(?:err|warn):eventlog:ReportEventW L"(.*)"(\.\.\.)?$', text, re.M):
        found.append(re.sub(r'\\([0-9a-f]{4}|.)', lambda m: chr(int(m[1], 16)) if len(m[1]) == 4 else
                            {'n': '\n', 'r': '\r', 't': '\t'}.get(m[1], m[1]), event[0]) + event[1])
    return found


def cut_like(expected, reported):
    """The expected lines, each cut as Wine cut the reported one."""
    return [e[:len(r) - 3] + '...' if r.endswith('...') and not e.endswith('...') else e
            for e, r in zip(expected, reported)] + expected[len(reported):]


def until(condition, seconds=20):
    """Waits for the condition; its last value."""
    deadline = time.monotonic() + seconds
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.02)
    return condition()


def records(d, count, seconds=20, name='Net'):
    """The messenger's calls, once there are at least `count`."""
    calls, deadline = Path(d, name + '.calls'), time.monotonic() + seconds
    while True:
        lines = calls.read_bytes().decode('latin-1').splitlines() if calls.exists() else []
        if len(lines) >= count or time.monotonic() > deadline:
            return lines
        time.sleep(0.02)


class Case(unittest.TestCase):
    """Folders and programs of one scenario, removed and ended however it ends."""
    hosts = ('posix', 'windows')

    def fresh(self):
        d = tempfile.mkdtemp(prefix='sizeguard-e2e-')
        self.addCleanup(shutil.rmtree, d, True)
        return d

    def folder(self, settings, files=(), messenger=True):
        """A fresh folder with a copy of the program, a messenger (True: one
        that records; or the text of a POSIX one) and the settings, with CRLF
        line ends as a Windows editor writes them."""
        d = self.fresh()
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
            if name.endswith('/'):
                os.makedirs(host_path(d, name))
            else:
                set_length(d, name, 0)
        return d

    def start(self, d, env=None, prefix=()):
        """The program, watching in folder d; its standard error goes to d/stderr."""
        command = [WINE, 'sizeguard.exe'] if WINDOWS else [*prefix, './sizeguard']
        # A file, not a pipe: Wine's own programs may hold a pipe open long after.
        with open(os.path.join(d, 'stderr'), 'wb') as stderr:
            program = subprocess.Popen(command, cwd=d, env=env, stdout=subprocess.DEVNULL, stderr=stderr)
        program.folder = d
        self.addCleanup(lambda: program.poll() is None and program.kill())
        return program

    def stop(self, program):
        """Ends a program that should still be watching, and the messengers it
        left running; its standard error."""
        self.assertIsNone(program.poll(), 'still watching')
        if not WINDOWS:
            program.send_signal(signal.SIGSTOP)  # no new messenger from here on
            for child, _ in children(program.pid):
                try:
                    os.kill(child, signal.SIGKILL)
                except ProcessLookupError:
                    pass  # ended meanwhile
        program.kill()
        program.wait(timeout=10)
        return said(program)

    def told(self, d, prefix=()):
        """How the program refused to start: what it reported (POSIX: on
        standard error; Windows: in the event log), the box (Windows: title,
        prompt, icon) and the status."""
        if not WINDOWS:
            run = subprocess.run([*prefix, './sizeguard'], cwd=d, capture_output=True, timeout=20)
            return reports(run.stderr), None, None, None, str(run.returncode)
        run = subprocess.run([WINE, PROBE, 'sizeguard.exe'], cwd=d, capture_output=True, timeout=60,
                             env=dict(os.environ, WINEDEBUG=EVENTS))
        box = dict(line.split('=', 1) for line in run.stdout.decode('latin-1').splitlines())
        self.assertEqual(('OK', '1'), (box.get('buttons'), box.get('running')),
                         'a box with only OK, the program running behind it')
        return (reports(run.stderr), box.get('title'), box.get('text'), int(box.get('icon', -1)),
                box.get('status'))


class Startup(Case):
    def test_errors(self):
        for name, settings, files, title, prompt, icon, status in STARTUP:
            if WINDOWS and settings == A_FIFO:
                continue  # no such thing there
            if WINDOWS and name == 'a loop of links':
                continue  # Wine sees the link as a file
            with self.subTest(name):
                d = self.folder(settings, files.split(), messenger=name != 'no messenger')
                if name == 'a loop of links':
                    os.symlink('loop.log', os.path.join(d, 'loop.log'))
                box = (title, prompt, icon) if WINDOWS else (None, None, None)
                reported, *rest = self.told(d)
                expected = [(line if isinstance(line, str) else line[WINDOWS]).replace(
                    '%s', 'Z:' + d.replace('/', '\\') if WINDOWS else d) for line in SAID.get(name, [])]
                expected.append(prompt if title == 'sizeguard' else title + ': ' + prompt)
                self.assertEqual((cut_like(expected, reported), *box, str(status)), (reported, *rest))
                self.assertEqual([], records(d, 0), 'nothing started')

    def test_list_without_semicolon_sends_nothing(self):
        d = self.folder('TargetFile=here.log*\nNetSendAdr=ops\nInterval=0.4\n', ['here.log'])
        program = self.start(d)
        time.sleep(2)  # passes without pause; any call would show
        self.assertEqual(('', []), (self.stop(program), records(d, 0)))


    def test_cut_values_said(self):
        """Values cut at 1023 characters: what is lost is said, and the
        watching goes on with what was read."""
        targets = 'tick.log*' + 'here.log*' * 112 + 'x' * 20 + 'lost.log*'
        d = self.folder('TargetFile=%s\nNetSendAdr=ops;%s;\nInterval=10\nSendMessage=%s\n'
                        % (targets, 'r' * 1030, 'm' * 1100), ['tick.log'])
        set_length(d, 'here.log', 5)
        program = self.start(d)
        self.assertTrue(records(d, 1), 'watching')
        cut = 'sizeguard: %s is longer than 1023 characters and is cut there: %d characters are lost, from "%s"'
        self.assertEqual([
            cut % ('TargetFile', 23, 'x' * 14 + 'lost.log*') + '; 113 files are watched, and not the '
            'text after the last "*": "xxxxxx"',
            cut % ('NetSendAdr', 12, 'r' * 11 + ';'),
            cut % ('SendMessage', 77, 'm' * 40 + '...')], self.stop(program).splitlines())


class Refusals(Case):
    def test_messenger_held_open(self):
        """While the messenger is being written or scanned, held open, it
        cannot start: the watching goes on, and the notice arrives once it is
        let go."""
        d = self.folder('TargetFile=here.log*\nNetSendAdr=ops;\nInterval=1\n', ['here.log'])
        if WINDOWS:
            holder = subprocess.Popen([WINE, PROBE, '--hold', 'Net.exe'], cwd=d, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE)
            self.addCleanup(holder.kill)
            self.assertEqual(b'held', holder.stdout.readline().strip())
            reason = 'Net: File not found'  # Wine's word for a sharing violation
        else:
            holder = open(os.path.join(d, 'Net'), 'r+b')
            reason = d + '/Net: Text file busy'
        program = self.start(d)
        self.assertTrue(until(lambda: 'cannot start' in said(program)))
        self.assertEqual([], records(d, 0))
        (holder.stdin if WINDOWS else holder).close()
        self.assertTrue(records(d, 1), 'delivered once let go')
        self.assertEqual(['sizeguard: cannot start messengers for now (%s); trying again until they '
                          'start' % reason, 'sizeguard: messengers start again'], self.stop(program).splitlines())


class Watching(Case):
    def test_passes(self):
        names = [name for name, _, _ in WATCHED]
        d = self.folder('TargetFile=%s*\nNetSendAdr=ops;dev;\nInterval=2\nSendMessage=Srv 1\n'
                        % '*'.join(names), names)
        seen = 0
        for n in range(len(WATCHED[0][1])):
            expected = []
            for name, lengths, notices in WATCHED:
                set_length(d, name, lengths[n])
                if notices[n] != '-':
                    expected += ['[Send][%s][%s]' % (r, NOTICES[notices[n]] % name) for r in ('ops', 'dev')]
            if n == 0:
                program = self.start(d)
            # The messengers run side by side: within a pass, calls come in any order.
            calls = records(d, seen + len(expected))
            self.assertEqual(sorted(expected), sorted(calls[seen:]), 'pass %d' % (n + 1))
            seen = len(calls)
        self.assertEqual('', self.stop(program))

    def test_hostile_paths(self):
        rows = [(path, path) for path in PATHS] + ([] if WINDOWS else [QUOTED])
        d = self.folder('TargetFile=%s*\nNetSendAdr=ops;\n' % '*'.join(p for p, _ in rows),
                        [p for p, _ in rows])
        program = self.start(d)
        calls = records(d, len(rows))
        self.stop(program)
        self.assertEqual(sorted('[Send][ops][Filesize is NULL %s]' % n for _, n in rows), sorted(calls))
        self.assertFalse(os.path.exists(os.path.join(d, 'made')), 'nothing evaluated')


def usage(pid):
    """Open files and resident kB of a process."""
    with open('/proc/%d/status' % pid) as f:
        memory = next(int(line.split()[1]) for line in f if line.startswith('VmRSS:'))
    return len(os.listdir('/proc/%d/fd' % pid)), memory


class Messengers(Case):
    """POSIX only: how the host starts, collects and reports its messengers."""
    hosts = ('posix',)

    def test_on_path(self):
        """Without a Net beside the program, the one on PATH."""
        d, bin = self.folder(GOOD, ['here.log'], messenger=False), self.fresh()
        write_messenger(bin)
        program = self.start(d, dict(os.environ, PATH=bin + ':' + os.environ['PATH']))
        self.assertEqual(['[Send][ops][Filesize is NULL here.log]'], records(bin, 1))
        self.assertEqual('', self.stop(program))

    def test_storm(self):
        """Notices without pause: messengers keep running to their end, well
        beyond the 64 that could run if none were collected, with no file
        left open and no growth."""
        d = self.folder('TargetFile=same.log*\nNetSendAdr=a;b;c;\nInterval=0.1\n')
        set_length(d, 'same.log', 6)
        program = self.start(d)
        records(d, 64)
        files, memory = usage(program.pid)
        self.assertGreaterEqual(len(records(d, 640, seconds=40)), 640, 'messengers collected')
        now = usage(program.pid)
        self.assertEqual(files, now[0], 'open files')
        if not os.environ.get('SIZEGUARD_SANITIZED'):  # its allocator keeps freed memory a while
            self.assertLessEqual(now[1], memory + 64, 'resident memory')
        # Under load 64 messengers may be running at some moment: said, not a fault.
        self.assertEqual('', re.sub('sizeguard: 64 messengers still running; .*\n', '', self.stop(program)))

    def test_rotation(self):
        """A log rotated, truncated and recreated without pause."""
        d = self.folder('TargetFile=app.log*\nNetSendAdr=ops;\nInterval=0.1\n', ['app.log'])
        program = self.start(d)
        records(d, 1)  # watching has begun
        log, i, deadline = os.path.join(d, 'app.log'), 0, time.monotonic() + 3
        while time.monotonic() < deadline:
            os.rename(log, log + '.1')
            set_length(d, 'app.log', i % 7)
            os.truncate(log, i % 3)
            os.remove(log)
            set_length(d, 'app.log', 5)
            i += 1
        self.assertEqual('', self.stop(program))
        allowed = {'[Send][ops][%s app.log]' % n
                   for n in ('File does not exist', 'Filesize is NULL', 'No Changes on file')}
        self.assertEqual(set(), set(records(d, 1)) - allowed, 'only the three notices')

    @unittest.skipIf(os.geteuid() != 0, 'needs root, to run as an unprivileged user')
    def test_reasons_said(self):
        """A path the user may not examine is not said to be missing: the
        reason comes before the box at start, and beside the notice, once a
        minute, while watching; so for an unreadable settings file."""
        d = self.folder('TargetFile=tick.log*secret/x.log*\nNetSendAdr=ops;\nInterval=1\n', ['tick.log'])
        set_length(d, 'secret/x.log', 5)
        os.chmod(d, 0o777)
        as_nobody = ['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups']
        os.chmod(os.path.join(d, 'secret'), 0)
        reason = 'cannot examine secret/x.log: Permission denied'
        self.assertEqual(([reason, 'Target does not exist: secret/x.log'], None, None, None, '1'),
                         self.told(d, as_nobody))
        os.chmod(os.path.join(d, 'secret'), 0o755)
        program = self.start(d, prefix=as_nobody)
        records(d, 1)  # the first pass is over
        os.chmod(os.path.join(d, 'secret'), 0)
        missing = '[Send][ops][File does not exist secret/x.log]'
        self.assertTrue(until(lambda: records(d, 0).count(missing) >= 2), 'a notice at each pass')
        self.assertEqual('sizeguard: %s\n' % reason, self.stop(program))
        os.chmod(os.path.join(d, 'Sizeguard.ini'), 0)
        self.assertEqual((['cannot examine %s/Sizeguard.ini: Permission denied' % d,
                           'Sorry: no target file given'], None, None, None, '1'), self.told(d, as_nobody))

    def test_failing(self):
        """A line for each failed messenger, collected within the second; a
        script without #! on PATH runs; a Net beside the program that cannot
        be executed is said to be so, not passed over."""
        d, bin = self.folder('TargetFile=here.log*\nNetSendAdr=ops;dev;\nInterval=10\n', ['here.log'],
                             messenger=False), self.fresh()
        write_messenger(bin, '[ "$2" = ops ] && exit 3\nkill -PIPE $$\n')  # no #!
        program = self.start(d, dict(os.environ, PATH=bin + ':' + os.environ['PATH']))
        time.sleep(1.5)  # the pause dispatches events once a second
        self.assertEqual([], children(program.pid), 'failed deliveries collected')
        self.assertEqual([
            'sizeguard: Net Send dev "Filesize is NULL here.log" ended by signal 13 (Broken pipe)',
            'sizeguard: Net Send ops "Filesize is NULL here.log" ended with status 3'],
            sorted(self.stop(program).splitlines()))
        write_messenger(d, '#!/bin/sh\n', 0o644)
        run = subprocess.run(['./sizeguard'], cwd=d, capture_output=True, timeout=20)
        self.assertEqual((2, 'sizeguard: cannot start Net Send ops "Filesize is NULL here.log": '
                          '%s/Net: Permission denied\n' % d), (run.returncode, run.stderr.decode()),
                         'not executable')

    def test_backslash_folder(self):
        """The program's folder name is used as it stands, backslash and all;
        a decoy lies where turning it into a slash would lead."""
        d = self.fresh()
        os.makedirs(os.path.join(d, 'a', 'b'))
        Path(d, 'a', 'b', 'Sizeguard.ini').write_text('[General]\n')
        shutil.copytree(self.folder('TargetFile=gone.log*\n'), os.path.join(d, 'a\\b'))
        run = subprocess.run(['a\\b/sizeguard'], cwd=d, capture_output=True, timeout=20)
        self.assertEqual((1, b'Target does not exist: gone.log\n'), (run.returncode, run.stderr))


# Real servers for the messengers, on free loopback ports, started by the
# test and ended with it: Debian's aiosmtpd (in Debian's own python3) and
# Alertmanager, and a chat service's webhook played here.
DEBIAN_PYTHON = '/usr/bin/python3'
NET_SECONDS = int(os.environ.get('SIZEGUARD_NET_SECONDS', '30'))
os.environ['no_proxy'] = os.environ['NO_PROXY'] = '127.0.0.1'


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


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
        """Its port, and a function giving the mails once there are `count`."""
        port, box = free_port(), os.path.join(self.fresh(), 'box')  # made by the server
        self.serve([DEBIAN_PYTHON, '-m', 'aiosmtpd', '-n', '-l', '127.0.0.1:%d' % port,
                    '-c', 'aiosmtpd.handlers.Mailbox', box], lambda: os.path.isdir(box + '/new'))

        def mails(count):
            names = until(lambda: len(os.listdir(box + '/new')) >= count and os.listdir(box + '/new'))
            return [email.message_from_bytes(Path(box, 'new', n).read_bytes(), policy=email.policy.default)
                    for n in names or []]
        return port, mails

    def alertmanager(self):
        """The URL recipients post to, and the alerts it lists."""
        d, port = self.fresh(), free_port()
        Path(d, 'am.yml').write_text('route:\n  receiver: none\nreceivers:\n  - name: none\n')
        url = 'http://127.0.0.1:%d' % port
        self.serve(['prometheus-alertmanager', '--web.listen-address=127.0.0.1:%d' % port,
                    '--cluster.listen-address=', '--storage.path=' + d, '--config.file=' + d + '/am.yml'],
                   lambda: answers(url + '/-/ready'))
        return url + '/api/v2/alerts'

    def chat(self):
        """A webhook's address, and the bodies posted to it: under /hook it
        answers 200, under /fail 500, under /hang never."""
        posts, hanging = [], threading.Event()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                posts.append((self.path, self.headers['Content-Type'],
                              json.loads(self.rfile.read(int(self.headers['Content-Length'])))))
                if self.path == '/hang':
                    hanging.wait()
                    return
                self.send_response(500 if self.path == '/fail' else 200)
                self.end_headers()
                self.wfile.write(b'it\nbroke' if self.path == '/fail' else b'ok')

            def log_message(self, *_):
                pass
        server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        for end in (server.server_close, server.shutdown, hanging.set):
            self.addCleanup(end)
        return 'http://127.0.0.1:%d' % server.server_port, posts


class Deliveries(Case, Receivers):
    """POSIX only: the real watchdog with the real Net beside it."""
    hosts = ('posix',)

    def test_mail_alertmanager_and_chat(self):
        """Each reached by its recipient's form; the path is not UTF-8."""
        smtp, mails = self.mail_server()
        alerts, (chat, posts) = self.alertmanager(), self.chat()
        d = self.folder('TargetFile=caf\xe9.log*\nNetSendAdr=ops@example.com;%s;%s/hook;\nInterval=1\n'
                        'SendMessage=Srv 1\n[Net]\nMailServer=smtp://127.0.0.1:%d\n' % (alerts, chat, smtp),
                        messenger=False)
        shutil.copy(NET, d)
        set_length(d, 'caf\xe9.log', 5)
        program = self.start(d)
        notice = 'Srv 1 [ No Changes on file caf\xe9.log ]'
        mail = mails(1)[0]
        self.assertEqual((notice, 'ops@example.com'), (mail['subject'], mail['to']))
        self.assertIn(notice + '\n\nHost: ' + os.uname().nodename, mail.get_body().get_content())
        listed = until(lambda: answers(alerts))[0]
        self.assertEqual(({'alertname': 'FileNotGrowing', 'path': 'caf\xe9.log', 'instance': os.uname().nodename},
                          {'summary': notice}), (listed['labels'], listed['annotations']))
        self.assertLess(time.time(), datetime.datetime.fromisoformat(listed['endsAt'].replace('Z', '+00:00')).timestamp())
        self.assertEqual(('/hook', 'application/json', {'text': notice}), until(lambda: posts)[0])
        self.assertEqual('', self.stop(program))
        # A log-in never goes in clear: without STARTTLS, nothing is sent.
        with open(os.path.join(d, 'Sizeguard.ini'), 'a') as f:
            f.write('MailUser=u\nMailPassword=p\n')
        run = subprocess.run([os.path.join(d, 'Net'), 'Send', 'ops@example.com', 'x'], capture_output=True, timeout=20)
        self.assertEqual((1, b'Net: ops@example.com: smtp://127.0.0.1:%d: STARTTLS not supported.\n' % smtp),
                         (run.returncode, run.stderr))
        # By hand, a text of one's own is an alert all the same.
        run = subprocess.run([os.path.join(d, 'Net'), 'Send', alerts, 'disk full'], capture_output=True, timeout=20)
        self.assertEqual(0, run.returncode, run.stderr)
        self.assertTrue(until(lambda: [a for a in answers(alerts) if a['labels']['alertname'] == 'SizeguardNotice'
                                          and a['annotations']['summary'] == 'disk full']))

    def test_failures(self):
        """A closed SMTP port, a server that answers 500 and one that never
        answers: each a reason from Net, status 1 and the watchdog's report,
        within the bound."""
        (chat, posts), closed = self.chat(), free_port()
        d = self.folder('TargetFile=here.log*\nNetSendAdr=ops@example.com;%s/fail;%s/hang;\nInterval=60\n'
                        '[Net]\nMailServer=smtp://127.0.0.1:%d\n' % (chat, chat, closed), ['here.log'],
                        messenger=False)
        shutil.copy(NET, d)
        program, started = self.start(d), time.monotonic()
        self.assertTrue(until(lambda: len(posts) == 2), 'both servers reached')
        self.assertTrue(until(lambda: not children(program.pid), NET_SECONDS + 10), 'every Net ended')
        self.assertLess(time.monotonic() - started, NET_SECONDS + 3)  # collected within a second
        lines = []
        for recipient, reason in [
                ('ops@example.com', 'cannot connect to smtp://127.0.0.1:%d: Connection refused' % closed),
                (chat + '/fail', 'answered 500: it broke'),
                (chat + '/hang', 'no answer within %d s' % NET_SECONDS)]:
            lines += ['Net: %s: %s' % (recipient, reason),
                      'sizeguard: Net Send %s "Filesize is NULL here.log" ended with status 1' % recipient]
        self.assertEqual(sorted(lines), sorted(self.stop(program).splitlines()))

    def test_by_hand(self):
        """Argument rules, and the line that is the delivery for a user or "*"."""
        d = self.fresh()
        line = 'Message from %s to %%s: %%s\n' % os.uname().nodename
        hostile = 'File does not exist /tmp/$(touch made) `touch made2`; "q" \'r\' \\ $HOME %s'
        usage = 'usage: Net Send <recipient> <text>\n'
        for arguments, status, out, err in [
                (['Send', 'nobody-here', hostile], 0, line % ('nobody-here', hostile), ''),
                (['sEnD', 'ops', 'split', 'text'], 0, line % ('ops', 'split text'), ''),
                (['Send', 'a b@example.com', 'x'], 1, line % ('a b@example.com', 'x'),
                 'Net: a b@example.com: not a mail address\n'),
                (['Receive', 'ops', 'x'], 2, '', usage), (['Send', '', 'x'], 2, '', usage), ([], 2, '', usage)]:
            run = subprocess.run([NET] + arguments, cwd=d, capture_output=True, text=True, timeout=10)
            self.assertEqual((status, out, err), (run.returncode, run.stdout, run.stderr), 'Net %s' % arguments)
        self.assertEqual([], os.listdir(d), 'Net ran nothing')
        with open('/dev/full', 'w') as full:
            run = subprocess.run([NET, 'Send', 'ops', 'x'], stdout=full, capture_output=False,
                                 stderr=subprocess.PIPE, timeout=10)
        self.assertEqual((1, b'Net: ops: cannot write on standard output: No space left on device\n'),
                         (run.returncode, run.stderr))


class NetExe(Case, Receivers):
    """Windows only: Net.exe, a GUI program, run as the watchdog runs it."""
    hosts = ('windows',)

    def net(self, d, *arguments):
        """Its status and the events it reported."""
        run = subprocess.run([WINE, os.path.join(d, 'Net.exe'), *arguments], capture_output=True, timeout=60,
                             env=dict(os.environ, WINEDEBUG=EVENTS, LANG='C.UTF-8'))
        return run.returncode, reports(run.stderr)

    def test_msg_exe(self):
        """Names go to msg.exe as one argument; where there is none, that is
        said plainly; mail is refused."""
        d = self.fresh()
        shutil.copy(NET, d)
        self.assertEqual((1, ['Net: ops: msg.exe not found: this Windows edition cannot show messages; '
                              'use a URL recipient']), self.net(d, 'Send', 'ops', 'text'))
        self.assertEqual((1, ['Net: ops@example.com: mail is not delivered on Windows; use a URL recipient']),
                         self.net(d, 'Send', 'ops@example.com', 'x'))
        Path(d, 'msg.exe').write_text('not a program')  # found, but failing: the first error is said
        status, events = self.net(d, 'Send', 'ops', 'text')
        self.assertEqual(1, status)
        self.assertRegex(events[0], r'^Net: ops: cannot start msg\.exe: .*msg\.exe')
        shutil.copy(RECORDER, os.path.join(d, 'msg.exe'))
        text = 'a "quoted" text \\ with\\\\ back\\slashes\\ and $(x) `y`; \'z\''
        self.assertEqual([(0, []), (0, []), (2, ['usage: Net Send <recipient> <text>'])],
                         [self.net(d, 'sEnD', '*', text), self.net(d, 'Send', 'ops', 'split', 'text'),
                          self.net(d, 'Receive', 'ops', 'x')])
        self.assertEqual(['[*][%s]' % text, '[ops][split text]'], records(d, 2, name='msg'))

    def test_posts(self):
        """URLs get the same bodies as on POSIX, from text in the system's code page."""
        alerts, (chat, posts) = self.alertmanager(), self.chat()
        d = self.folder('Interval=2\nSendMessage=Srv 1\n', messenger=False)
        shutil.copy(NET, d)
        notice = 'Srv 1 [ Filesize is NULL C:\\caf\xe9.log ]'
        self.assertEqual([(0, []), (0, []), (1, ['Net: %s/fail: answered 500: it broke' % chat])],
                         [self.net(d, 'Send', url, notice) for url in (alerts, chat + '/hook', chat + '/fail')])
        listed = until(lambda: answers(alerts))[0]
        self.assertEqual({'alertname': 'FileEmpty', 'path': 'C:\\caf\xe9.log', 'instance': os.uname().nodename},
                         listed['labels'])
        self.assertEqual(('/hook', 'application/json', {'text': notice}), posts[0])


class WindowsAdministration(Case):
    """Windows only: what administrators meet: the event log, folders named
    outside the code page, the task that starts the program."""
    hosts = ('windows',)

    def test_failed_delivery_in_the_event_log(self):
        d = self.folder(GOOD + 'Interval=10\n', ['here.log'], messenger=False)
        shutil.copy(NET, d)  # without msg.exe: every delivery fails
        program = self.start(d, dict(os.environ, WINEDEBUG=EVENTS))
        failed = 'Net Send ops "Filesize is NULL here.log" ended with status 1'
        self.assertTrue(until(lambda: failed in reports(said(program))), reports(said(program)))
        self.stop(program)

    def test_folder_named_outside_the_code_page(self):
        d = os.path.join(self.folder('TargetFile=gone.log*\n'), '\u041c\u043e\u043d\u0438\u0442\u043e\u0440')
        shutil.copytree(os.path.dirname(d), d)
        self.assertEqual((['Target does not exist: gone.log'], 'Target does not exist', 'gone.log', 1, '1'),
                         self.told(d))

    def test_task_definition(self):
        packaging = Path(__file__).resolve().parent.parent / 'packaging' / 'windows'
        task = ElementTree.parse(packaging / 'sizeguard-task.xml').getroot()
        ns = {'t': 'http://schemas.microsoft.com/windows/2004/02/mit/task'}
        found = {path: task.findtext(path, namespaces=ns) for path in [
            't:Triggers/t:LogonTrigger/t:Repetition/t:Interval',
            't:Triggers/t:LogonTrigger/t:Repetition/t:Duration',  # none: for ever
            't:Settings/t:MultipleInstancesPolicy', 't:Settings/t:ExecutionTimeLimit',
            't:Settings/t:DisallowStartIfOnBatteries', 't:Principals/t:Principal/t:LogonType',
            't:Actions/t:Exec/t:Command', 't:Actions/t:Exec/t:WorkingDirectory']}
        self.assertEqual(['PT1M', None, 'IgnoreNew', 'PT0S', 'false', 'InteractiveToken',
                          'C:\\sizeguard\\sizeguard.exe', 'C:\\sizeguard'], list(found.values()))
        readme = (packaging / 'README.txt').read_text()
        for command in ('schtasks /create /tn sizeguard /xml C:\\sizeguard\\sizeguard-task.xml',
                        'schtasks /delete /tn sizeguard /f'):
            self.assertIn(command, readme)


def scenarios():
    """Every scenario that runs on this host, as CLASS.test_name."""
    found = []
    for case in Case.__subclasses__():
        if HOST in case.hosts:
            found += ['%s.%s' % (case.__name__, name) for name in unittest.TestLoader().getTestCaseNames(case)]
    return found


if __name__ == '__main__':
    if sys.argv[1] == '--list':
        print('\n'.join(scenarios()))
    else:
        unittest.main(argv=sys.argv[:1] + (sys.argv[1:] or scenarios()), verbosity=2)
