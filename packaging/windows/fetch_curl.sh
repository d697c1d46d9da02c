#!/bin/sh
# Fetches Debian's own curl source, with Debian's patches, into CACHE
# (default /var/cache/sizeguard): the Windows programs are built on it. The
# mirror is the machine's own, read from its apt sources; apt works in a
# private folder of CACHE, and the machine's sources stay as they are.
set -eu
cache=${1:-/var/cache/sizeguard}
. /etc/os-release
apt=$cache/apt
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/archives/partial"

# A deb-src line for each of the machine's Debian entries (those of this
# release's suites), in either form apt reads.
{
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] && sed -n "s/^[[:space:]]*deb[[:space:]]\+\(\(\[[^]]*\][[:space:]]*\)\?[^[:space:]]\+[[:space:]]\+$VERSION_CODENAME\([-[:space:]].*\|\)\)$/deb-src \1/p" "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && awk -v release="$VERSION_CODENAME" '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && uris != "")
                    for (i = split(suites, s, " "); i > 0; i--)
                        if (s[i] == release || index(s[i], release "-") == 1)
                            printf "deb-src %s%s %s %s\n", signed, uris, s[i], components
                types = uris = suites = components = signed = ""
            }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            { key = tolower($1); sub(/^[^:]*:[[:space:]]*/, "") }
            key == "types:" { types = $0 }
            key == "uris:" { uris = $0 }
            key == "suites:" { suites = $0 }
            key == "components:" { components = $0 }
            key == "signed-by:" { signed = "[signed-by=" $0 "] " }
            END { flush() }' "$file"
    done
} | sort -u >"$apt/sources.list.d/debian-source.list"
if [ ! -s "$apt/sources.list.d/debian-source.list" ]; then
    echo "$0: no Debian $VERSION_CODENAME entry in the apt sources" >&2
    exit 1
fi

private="-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$apt/sources.list.d
    -o Dir::State::Lists=$apt/lists -o Dir::Cache=$apt -o Dir::Cache::Archives=$apt/archives
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Sandbox::User=root"
apt-get $private -qq update
version=$(apt-cache $private showsrc curl | sed -n 's/^Version: //p' | sort -V | tail -n 1)
source=$cache/curl-$version
if [ ! -f "$source/debian/changelog" ]; then
    rm -rf "$source" "$cache/download"
    mkdir -p "$cache/download"
    # apt checks each file against the mirror's signed index; dpkg-source
    # lacks the uploaders' keys to check them again.
    (cd "$cache/download" && apt-get $private -qq source --download-only "curl=$version" &&
        dpkg-source --no-check -x --skip-patches ./*.dsc "$source.new" >/dev/null)
    # Debian's patches, less the last two, which only rename the library
    # for its other TLS flavours.
    (cd "$source.new" && grep -v '^#' debian/patches/series | grep -v '^9[0-9]_' |
        while read -r patch _; do
            [ -z "$patch" ] || patch -s -p1 <"debian/patches/$patch"
        done)
    rm -rf "$cache/download" "$cache"/curl_*.orig.tar.*
    mv "$source.new" "$source"
fi
ln -sfn "curl-$version" "$cache/curl"
echo "curl $version in $source"
