#!/usr/bin/env bash
# Installs the Debian package with apt in a fresh Debian 12 root that knows
# only the bookworm suite, as a stock machine would, and runs the installed
# program there on the packaged corpus. The root (debootstrap, minbase, with
# apt's lists and the packages the .deb depends on already downloaded) is
# made once and kept as $MVFILES_CACHE_DIR/bookworm-root.tar, so that a
# rerun needs no network unless the mirror has moved on since.
# Needs root (or sudo) for debootstrap and chroot.
# Usage: stock-install-check.sh PACKAGE.deb
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(readlink -f "${1:?usage: stock-install-check.sh PACKAGE.deb}")
cache=${MVFILES_CACHE_DIR:-/var/cache/mvfiles}/bookworm-root.tar
fail() { echo "stock-install-check: $*" >&2; exit 1; }
if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
as_root() { "${SUDO[@]}" "$@"; }
work=$(mktemp -d)
root=$work/root
cleanup() {
    as_root umount "$root/proc" 2>/dev/null || true
    as_root rm -rf "$work"
}
trap cleanup EXIT
in_root() { as_root chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

if [ ! -f "$cache" ]; then
    # The machine's own mirror of the bookworm main archive, as apt sees it.
    mirror=$(apt-cache policy | awk '$3 == "bookworm/main" && $4 == "amd64" { print $2; exit }')
    [ -n "$mirror" ] || fail "the machine's apt sources name no bookworm main archive"
    echo "stock-install-check: making a bookworm root from $mirror (once)"
    as_root debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 \
        || { tail -20 "$work/debootstrap.log" >&2; fail "debootstrap failed"; }
    as_root cp /etc/resolv.conf "$root/etc/resolv.conf"
    # A throw-away root: dpkg need not sync every file it writes.
    echo force-unsafe-io | as_root tee "$root/etc/dpkg/dpkg.cfg.d/unsafe-io" >/dev/null
    in_root apt-get update -qq
    # What the package will ask for, fetched now; the check still lets apt
    # resolve the dependencies itself.
    in_root apt-get clean
    in_root apt-get install -y -qq --download-only libcurl4 >/dev/null
    as_root mkdir -p "$(dirname "$cache")"
    as_root tar -cf "$cache.tmp" -C "$root" .
    as_root mv "$cache.tmp" "$cache"
else
    as_root mkdir "$root"
    as_root tar -xf "$cache" -C "$root"
    as_root cp /etc/resolv.conf "$root/etc/resolv.conf"
fi
grep -rhs '^deb\|^Suites:' "$root/etc/apt/sources.list" "$root/etc/apt/sources.list.d" | grep -qv bookworm \
    && fail "the root knows another suite than bookworm"

as_root cp "$deb" "$root/tmp/"
# The program finds its corpus from its own path (/proc/self/exe).
as_root mount -t proc proc "$root/proc"
name=$(basename "$deb")
if ! in_root apt-get install -y -qq "./tmp/$name" >"$work/install.log" 2>&1; then
    # Lists older than the mirror's packages: refresh once.
    in_root apt-get update -qq
    in_root apt-get install -y -qq "./tmp/$name" >"$work/install.log" 2>&1 \
        || { cat "$work/install.log" >&2; fail "apt-get install ./$name failed in a stock bookworm root"; }
fi
in_root mvfiles files tt4154796 >"$work/files.out" || fail "mvfiles files tt4154796 failed in the stock root"
grep -q 'Avengers.Endgame' "$work/files.out" || fail "mvfiles files tt4154796 printed something else"
echo "stock-install-check: $name installs and runs on a stock Debian 12"
