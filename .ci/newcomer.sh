#!/usr/bin/env bash
# The newcomer's path, on a fresh minimal Debian 12: the README's first
# command (install, build, run the example); then its service section: the
# Debian package made and installed, configured, run by hand, reinstalled
# over the edited settings, and enabled under systemd, with a mail recipient
# and an Alertmanager URL whose servers run out here, on loopback; last, the
# README's second command (install, run every test).
# Usage (as root, with debootstrap and systemd-nspawn): .ci/newcomer.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /var/tmp/newcomer.XXXXXX)
# The root lives in memory: quicker to make, and gone at once afterwards.
mount -t tmpfs -o size=12g,mode=755 newcomer "$work"
root=$work/root
started=$SECONDS

step() { echo "newcomer [$((SECONDS - started)) s]: $*"; }
root_command=(chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin
    LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive)
in_root() { "${root_command[@]}" "$@"; }
# The installed settings may hold a mail password: root and the service's
# group read them, no one else.
private_settings() {
    local mode
    mode=$(in_root stat -c '%a %U %G' /etc/sizeguard/Sizeguard.ini)
    echo "  | /etc/sizeguard/Sizeguard.ini: $mode"
    [ "$mode" = "640 root sizeguard" ]
}

servers=()
cleanup() {
    set +e
    [ ${#servers[@]} -eq 0 ] || { kill "${servers[@]}"; wait "${servers[@]}"; } 2>/dev/null
    umount "$root/proc" 2>/dev/null
    umount "$work" && rmdir "$work" || echo "newcomer: $work is still mounted" >&2
}
trap cleanup EXIT

# expect_notice SECONDS TEXT COMMAND...: COMMAND's output must show TEXT
# within SECONDS, delivered: on Net's "Message from" line, since a report
# that a messenger cannot start names the notice too. COMMAND is ended
# either way.
expect_notice() {
    local seconds=$1 text=$2 line found=
    shift 2
    local deadline=$((SECONDS + seconds))
    exec 3< <(exec timeout -k 5 "$seconds" "$@" 2>&1)
    local pid=$!
    while [ "$SECONDS" -lt "$deadline" ] &&
          IFS= read -r -t $((deadline - SECONDS)) line <&3; do
        echo "  | $line"
        if [[ $line == "Message from "*"$text"* ]]; then found=1; break; fi
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    exec 3<&-
    [ -n "$found" ] || { echo "newcomer: no \"$text\" within $seconds s" >&2; return 1; }
}

# readme_line TEXT: the README's first command line holding TEXT.
readme_line() {
    local line
    line=$(grep -m 1 -e "^    .*$1" "$repo/README.md" | sed 's/^ *//')
    [ -n "$line" ] || { echo "newcomer: no \"$1\" in the README" >&2; return 1; }
    echo "$line"
}
# in_clone COMMAND: a README command, run in the clone.
in_clone() { in_root sh -c "cd /root/sizeguard && $1"; }

run=$(readme_line "packages.sh run")
tests=$(readme_line "packages.sh test")
make_deb=$(readme_line "--preset deb")
install_deb=$(readme_line "dpkg -i")
enable=$(readme_line "systemctl enable")

mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources 2>/dev/null | sed 's/#.*//' |
    grep -Eo 'https?://[^ ]+/debian/?( |$)' | grep -vm 1 security || true)
[ -n "$mirror" ] || { echo "newcomer: no Debian mirror in this machine's apt sources" >&2; exit 1; }
step "a minimal Debian 12 from $mirror"
timeout 900 debootstrap --variant=minbase bookworm "$root" $mirror
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
echo 'APT::Get::Assume-Yes "true";' > "$root/etc/apt/apt.conf.d/90newcomer"

step "a clone; $run"
git clone -q "$repo" "$root/root/sizeguard"
expect_notice 1200 "No Changes on file demo.log" \
    "${root_command[@]}" sh -c "cd /root/sizeguard && $run"

step "$make_deb; $install_deb"
in_clone "timeout 900 $make_deb"
in_clone "$install_deb" </dev/null
in_root id sizeguard
test -s "$root/lib/systemd/system/sizeguard.service"
private_settings
in_root apt-get -q install man-db >/dev/null
in_root man sizeguard | grep -A 3 '^EXIT STATUS'

step "the installed program, as its service runs it, watching an edited settings file"
echo "data" > "$root/var/tmp/watched.log"
sed -i 's|^TargetFile=.*|TargetFile=/var/tmp/watched.log*|; s|^Interval=.*|Interval=1|' \
    "$root/etc/sizeguard/Sizeguard.ini"
expect_notice 10 "No Changes on file /var/tmp/watched.log" \
    chroot --userspec=sizeguard:tty --groups=sizeguard "$root" /usr/sbin/sizeguard

step "reinstalled: the edited settings stay"
in_clone "$install_deb" </dev/null
grep -q '^TargetFile=/var/tmp/watched.log\*' "$root/etc/sizeguard/Sizeguard.ini"
step "mail and Alertmanager servers out here, on loopback"
port() { /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
smtp=$(port)
am=http://127.0.0.1:$(port)
mkdir "$work/am"
printf 'route:\n  receiver: none\nreceivers:\n  - name: none\n' > "$work/am/am.yml"
/usr/bin/python3 -m aiosmtpd -n -l "127.0.0.1:$smtp" -c aiosmtpd.handlers.Mailbox "$work/mail" \
    >"$work/smtp.log" 2>&1 &
servers+=($!)
prometheus-alertmanager --web.listen-address="${am#http://}" --cluster.listen-address= \
    --storage.path="$work/am" --config.file="$work/am/am.yml" >"$work/am.log" 2>&1 &
servers+=($!)
# alerts: the alerts Alertmanager lists, one "alertname path instance startsAt" line each.
alerts() {
    /usr/bin/python3 -c 'import json, sys, urllib.request
for a in json.load(urllib.request.urlopen(sys.argv[1] + "/api/v2/alerts", timeout=5)):
    print(a["labels"]["alertname"], a["labels"].get("path"), a["labels"]["instance"], a["startsAt"])' "$am"
}
# wait_for SECONDS WHAT COMMAND...: COMMAND succeeds within SECONDS.
wait_for() {
    local deadline=$((SECONDS + $1)) what=$2
    shift 2
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || { echo "newcomer: no $what within $1 s" >&2; return 1; }
        sleep 0.2
    done
}
wait_for 30 "mail server" test -d "$work/mail/new"
wait_for 30 Alertmanager alerts

step "the service under systemd, enabled as the README says"
in_root apt-get -q install systemd systemd-sysv bsdextrautils >/dev/null
in_root useradd --create-home ops
rm "$root/var/tmp/watched.log"
sed -i "s|^NetSendAdr=.*|NetSendAdr=*;ops;ops@example.com;$am/api/v2/alerts;|; s|^Interval=.*|Interval=2|" \
    "$root/etc/sizeguard/Sizeguard.ini"
printf '[Net]\nMailServer=smtp://127.0.0.1:%s\n' "$smtp" >> "$root/etc/sizeguard/Sizeguard.ini"
private_settings
# Nothing runs in the root until it boots: enabled now, started at boot.
in_root ${enable/--now /}
# Inside: a terminal where "ops" allows messages; the watched file comes
# back after the first start has failed; then what the service did.
cat > "$root/root/check.sh" <<'INSIDE'
#!/bin/sh
(echo "mesg y"; sleep 300) | script -qfc "login -f ops" /root/tty.txt >/dev/null 2>&1 &
until journalctl -q -u sizeguard | grep -q "Target does not exist"; do sleep 1; done
echo "  | the first start failed; the file is back" >> /root/progress
echo data > /var/tmp/watched.log
waited=0
until grep -aq "to ops: No Changes" /root/tty.txt; do
    sleep 1
    waited=$((waited + 1))
    [ $((waited % 10)) -ne 0 ] || echo "  | $waited s waiting for the restart and a notice" >> /root/progress
done
# Mail and Alertmanager are checked from outside, which says when it is done.
until [ -e /root/done ] || [ "$waited" -gt 120 ]; do sleep 1; waited=$((waited + 1)); done
journalctl -q -u sizeguard > /root/journal.txt
pid=$(systemctl show -P MainPID sizeguard)
grep -E '^(CapEff|NoNewPrivs)' "/proc/$pid/status" > /root/process.txt
stat -c '%U %G' "/proc/$pid" >> /root/process.txt
systemctl poweroff
INSIDE
cat > "$root/etc/systemd/system/newcomer-check.service" <<'INSIDE'
[Service]
Type=oneshot
ExecStart=/bin/sh /root/check.sh
[Install]
WantedBy=multi-user.target
INSIDE
in_root systemctl enable newcomer-check
umount "$root/proc"
touch "$root/root/progress"
tail -f "$root/root/progress" &
tailer=$!
timeout -k 10 240 systemd-nspawn -q -D "$root" -b --register=no --keep-unit --console=pipe \
    </dev/null >"$work/boot.log" 2>&1 &
container=$!
# mail: the subject and date of the first mail, once there is one.
mail() {
    local first
    first=$(ls "$work/mail/new" | head -n 1)
    [ -n "$first" ] && /usr/bin/python3 -c 'import email, email.policy, sys
m = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
print(m["subject"], m["date"].datetime.timestamp())' "$work/mail/new/$first"
}
firing() { alerts | grep "^FileNotGrowing /var/tmp/watched.log "; }
grow() { echo more >> "$root/var/tmp/watched.log"; ! firing >/dev/null; }
# Both reached by the same notice (the alert starts at the mail's date),
# and the alert resolves by itself once the file grows again.
delivered() {
    wait_for 150 "mail" mail && wait_for 10 "alert" firing || return 1
    echo "  | mail: $(mail)"
    echo "  | alert: $(firing)"
    mail | grep -q "^No Changes on file /var/tmp/watched.log " || return 1
    /usr/bin/python3 -c 'import datetime, sys
started = datetime.datetime.fromisoformat(sys.argv[2].rstrip("Z") + "+00:00").timestamp()
sys.exit(abs(started - float(sys.argv[1])) >= 2)' "$(mail | awk '{print $NF}')" "$(firing | awk '{print $NF}')" ||
        { echo "newcomer: the mail and the alert come from different notices" >&2; return 1; }
    step "the file grows again: the alert resolves by itself"
    wait_for 40 "resolution" grow
}
reached=
if delivered; then reached=1; fi
touch "$root/root/done"
wait "$container" || true
kill "$tailer"
cat "$root/root/process.txt"
grep -E "Target does not exist|Scheduled restart" "$root/root/journal.txt"
grep -m 2 "No Changes" "$root/root/journal.txt"
grep -a -m 2 "No Changes" "$root/root/tty.txt"
grep -qx "CapEff:.0000000000000000" "$root/root/process.txt"
grep -qx "NoNewPrivs:.1" "$root/root/process.txt"
grep -qx "sizeguard tty" "$root/root/process.txt"
grep -q "to ops@example.com: No Changes on file /var/tmp/watched.log" "$root/root/journal.txt"
! grep -E "Net: |ended with status|ended by signal" "$root/root/journal.txt" || exit 1
[ -n "$reached" ]
grep -q "Scheduled restart job" "$root/root/journal.txt"
grep -aq "to \*: No Changes on file /var/tmp/watched.log" "$root/root/tty.txt"
grep -aq "to ops: No Changes on file /var/tmp/watched.log" "$root/root/tty.txt"

step "$tests"
mount -t proc proc "$root/proc"
in_clone "timeout 3600 sh -c '$tests'"
step "passed"
