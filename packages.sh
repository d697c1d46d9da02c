#!/bin/sh
# Installs, as root on Debian 12, the packages a part of sizeguard needs:
#   ./packages.sh run    build, run and package the program and Net
#   ./packages.sh test   and run every test
#   ./packages.sh ci     and what CI does beyond: fuzzing, package checks,
#                        a newcomer's fresh Debian
set -eu
# the compiler, the build tools; Net's libcurl and JSON; making the .deb
run="cmake ninja-build g++ libcurl4-openssl-dev nlohmann-json3-dev dpkg-dev file"
# GoogleTest; the end-to-end suite in Python and the real servers Net is
# tested against, and FUSE for a file that hangs; the 32-bit Windows
# programs, built (on Debian's curl source, fetched below) and tested under
# Wine (a 64-bit build under wine64 where the kernel cannot run 32-bit programs)
test="$run libgtest-dev libgmock-dev googletest python3 python3-aiosmtpd prometheus-alertmanager
      python3-fusepy fuse3 g++-mingw-w64-i686-posix patch wine wine32:i386 g++-mingw-w64-x86-64-posix wine64"
ci="$test clang libclang-rt-14-dev lintian debootstrap systemd systemd-container"
windows=
case "${1:-}" in
    run) set -- $run ;;
    test) set -- $test; windows=1 ;;
    ci) set -- $ci; windows=1 ;;
    *) echo "usage: $0 run|test|ci" >&2; exit 2 ;;
esac
export DEBIAN_FRONTEND=noninteractive
case " $* " in *:i386*) dpkg --add-architecture i386 ;; esac
apt-get update
apt-get install -y "$@"
# The tests start Alertmanager themselves, on loopback: not as a service of
# this machine, listening on every address.
if [ -d /run/systemd/system ] && systemctl is-enabled --quiet prometheus-alertmanager 2>/dev/null; then
    systemctl disable --now prometheus-alertmanager
fi
# Net.exe's libcurl is built from Debian's curl source, kept in
# /var/cache/sizeguard.
if [ -n "$windows" ]; then
    sh "$(dirname "$0")/packaging/windows/fetch_curl.sh" /var/cache/sizeguard
fi
