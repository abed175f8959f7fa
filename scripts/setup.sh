#!/usr/bin/env bash
# Installs what building and testing mvfiles needs, with apt only.
# Idempotent: when everything is present it only checks and exits.
set -euo pipefail

BASE_PKGS=(cmake g++ make pkg-config libcurl4-openssl-dev libgtest-dev libbenchmark-dev
           python3 openssl locales
           clang libclang-rt-14-dev valgrind)  # libFuzzer builds and memcheck
TRIXIE_PKG=libyyjson-dev
SRC_FILE=/etc/apt/sources.list.d/mvfiles-trixie.sources
PIN_FILE=/etc/apt/preferences.d/mvfiles-trixie

die() { echo "setup.sh: $*" >&2; exit 1; }

if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
elif command -v sudo >/dev/null 2>&1; then
    SUDO=(sudo)
else
    die "need root or sudo to install packages"
fi
as_root() { "${SUDO[@]}" "$@"; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

yyjson_ok() {
    installed "$TRIXIE_PKG" || return 1
    local v
    v=$(dpkg-query -W -f='${Version}' "$TRIXIE_PKG" 2>/dev/null)
    case "$v" in 0.10.*) return 0 ;; *) return 1 ;; esac
}

missing=()
for p in "${BASE_PKGS[@]}"; do installed "$p" || missing+=("$p"); done

if [ ${#missing[@]} -eq 0 ] && yyjson_ok; then
    exit 0
fi

# The mirror URI of the machine's own Debian sources (the main archive, not
# the security one), from deb822 files or the one-line sources.list format.
mirror_uri() {
    local f uri
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$SRC_FILE" ] || continue
        uri=$(awk '
            /^[[:space:]]*$/ { if (u != "" && s ~ /(bookworm|trixie|stable)( |$)/ && u !~ /security/) { print u; exit } u=""; s=""; next }
            /^URIs:/   { u=$2 }
            /^Suites:/ { $1=""; s=$0 }
            END { if (u != "" && s ~ /(bookworm|trixie|stable)( |$)/ && u !~ /security/) print u }' "$f" | head -n1)
        [ -n "$uri" ] && { echo "$uri"; return 0; }
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        uri=$(awk '$1=="deb" && $0 !~ /security/ && ($3 ~ /^(bookworm|stable)$/) {
                     for (i=2;i<=NF;i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' "$f" | head -n1)
        [ -n "$uri" ] && { echo "$uri"; return 0; }
    done
    return 1
}

updated=0
apt_update() { [ $updated -eq 1 ] || { as_root apt-get update -qq || die "apt-get update failed"; updated=1; }; }

if [ ${#missing[@]} -gt 0 ]; then
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        || die "could not install: ${missing[*]}"
fi

if ! yyjson_ok; then
    if [ ! -f "$SRC_FILE" ]; then
        uri=$(mirror_uri) || die "cannot find the Debian mirror URI in the apt sources"
        keyring=/usr/share/keyrings/debian-archive-keyring.gpg
        [ -f "$keyring" ] || die "missing $keyring (package debian-archive-keyring)"
        printf 'Types: deb\nURIs: %s\nSuites: trixie\nComponents: main\nSigned-By: %s\n' \
            "$uri" "$keyring" | as_root tee "$SRC_FILE" >/dev/null
    fi
    if [ ! -f "$PIN_FILE" ]; then
        # Priority 100: nothing comes from trixie unless asked for by name.
        printf 'Package: *\nPin: release n=trixie\nPin-Priority: 100\n' | as_root tee "$PIN_FILE" >/dev/null
    fi
    updated=0
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$TRIXIE_PKG/trixie" \
        || die "could not install $TRIXIE_PKG from trixie"
    yyjson_ok || die "yyjson 0.10.x required, found $(dpkg-query -W -f='${Version}' "$TRIXIE_PKG" 2>/dev/null || echo none)"
fi
exit 0
