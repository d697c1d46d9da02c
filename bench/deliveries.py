#!/usr/bin/env python3
"""Time from a notice (Net started) to the mail accepted and to the alert
listed by Alertmanager, median of RUNS; Net's size and resident memory.
Debian's aiosmtpd and Alertmanager are started on free loopback ports; time(1)
measures the memory.

    bench/deliveries.py NET [RUNS]      (NET: build/Net)
"""
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

net, runs = os.path.abspath(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) > 2 else 20
os.environ['no_proxy'] = '127.0.0.1'
work = tempfile.mkdtemp(prefix='sizeguard-bench-')
servers = []


def port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def alerts(url, path):
    query = urllib.parse.quote('path="%s"' % path)
    try:
        return json.load(urllib.request.urlopen(url + '?filter=' + query, timeout=5))
    except OSError:
        return None


def timed(arguments):
    """When Net started, how long it ran, and its resident kB at the most
    (measured by time(1): a child of this process would count its size)."""
    start = time.monotonic()
    subprocess.run(['/usr/bin/time', '-f', '%M', '-o', work + '/rss', os.path.join(work, 'Net'), 'Send',
                    *arguments], stdout=subprocess.DEVNULL, check=True)
    seconds = time.monotonic() - start
    with open(work + '/rss') as f:
        return start, seconds, int(f.read().split()[-1])


try:
    smtp, am = port(), port()
    url = 'http://127.0.0.1:%d/api/v2/alerts' % am
    with open(os.path.join(work, 'am.yml'), 'w') as f:
        f.write('route:\n  receiver: none\nreceivers:\n  - name: none\n')
    servers.append(subprocess.Popen(['/usr/bin/python3', '-m', 'aiosmtpd', '-n', '-l', '127.0.0.1:%d' % smtp,
                                     '-c', 'aiosmtpd.handlers.Mailbox', work + '/mail']))
    servers.append(subprocess.Popen(['prometheus-alertmanager', '--web.listen-address=127.0.0.1:%d' % am,
                                     '--cluster.listen-address=', '--storage.path=' + work, '--log.level=warn',
                                     '--config.file=' + work + '/am.yml']))
    shutil.copy(net, work)
    with open(os.path.join(work, 'Sizeguard.ini'), 'w') as f:
        f.write('[General]\nInterval=60\n[Net]\nMailServer=smtp://127.0.0.1:%d\n' % smtp)
    deadline = time.monotonic() + 30
    while alerts(url, '') is None or not os.path.isdir(work + '/mail/new'):
        assert time.monotonic() < deadline, 'servers not ready'
        time.sleep(0.05)

    mailed, listed, memory = [], [], []
    for i in range(runs):
        _, seconds, kb = timed(['ops@example.com', 'No Changes on file /bench/%d.log' % i])
        mailed.append(seconds)
        memory.append(kb)
        path = '/bench/alert-%d.log' % i
        start, _, kb = timed([url, 'No Changes on file ' + path])
        while not alerts(url, path):
            time.sleep(0.002)
        listed.append(time.monotonic() - start)
        memory.append(kb)
    assert len(os.listdir(work + '/mail/new')) == runs
    print('notice to mail accepted:  median %.1f ms (%.1f-%.1f) of %d'
          % (statistics.median(mailed) * 1e3, min(mailed) * 1e3, max(mailed) * 1e3, runs))
    print('notice to alert listed:   median %.1f ms (%.1f-%.1f) of %d'
          % (statistics.median(listed) * 1e3, min(listed) * 1e3, max(listed) * 1e3, runs))
    print('Net: %d bytes, resident %d-%d kB' % (os.path.getsize(net), min(memory), max(memory)))
finally:
    for server in servers:
        server.kill()
        server.wait()
    shutil.rmtree(work, True)
