#!/usr/bin/env bash
# Installs what building and testing mvfiles needs, with apt only.
# Idempotent: when everything is present it only checks and exits.
#
#   setup.sh            the Linux build, the tests and the CLI
#   setup.sh --windows  also the Windows cross-build and its tests: MinGW-w64,
#                       Wine, clang (header check) and yyjson's source package,
#                       fetched into $MVFILES_CACHE_DIR/yyjson (default
#                       /var/cache/mvfiles/yyjson), outside the source tree.
#   setup.sh --bench    also the JSON parsers the benchmarks compare against
#                       (the library never links them)
set -euo pipefail

windows=0
bench=0
case "${1:-}" in
    "") ;;
    --windows) windows=1 ;;
    --bench) bench=1 ;;
    *) echo "usage: setup.sh [--windows | --bench]" >&2; exit 2 ;;
esac

BASE_PKGS=(cmake g++ make pkg-config libcurl4-openssl-dev libgtest-dev
           python3 openssl locales
           clang libclang-rt-14-dev valgrind)  # libFuzzer builds and memcheck
# `make package` (dpkg-shlibdeps reads the binaries), the Python binding's
# tests and `make abi-check` (abidw, abidiff).
BASE_PKGS+=(dpkg-dev file python3-pytest abigail-tools)
# `make consumer-check` installs the Debian package in a stock bookworm root.
BASE_PKGS+=(debootstrap)
# The .NET package's check as a .NET Framework program: mono and the
# assembly of HttpClient, which Debian ships apart from the runtime.
BASE_PKGS+=(mono-runtime libmono-system-net-http4.0-cil)
# The Python binding's compiled table reader, its wheels and `pip install ./python`.
BASE_PKGS+=(python3-dev python3-setuptools python3-wheel python3-venv python3-pip)
# Benchmarks only: bare parses of the same answer by other parsers.
BENCH_PKGS=(libsimdjson-dev rapidjson-dev nlohmann-json3-dev)
TRIXIE_PKG=libyyjson-dev
SRC_FILE=/etc/apt/sources.list.d/mvfiles-trixie.sources
DEBSRC_FILE=/etc/apt/sources.list.d/mvfiles-trixie-src.sources
PIN_FILE=/etc/apt/preferences.d/mvfiles-trixie

WIN_PKGS=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine clang googletest xz-utils)
# The shipped DLL: lld links it (its PDB) through clang 14's driver; llvm's
# dlltool makes the import library for MSVC hosts.
WIN_PKGS+=(clang-14 lld-14 llvm-14)
# yyjson for the Windows target: the same 0.10.0 as on Linux, built from
# Debian's source package. Only the upstream tarball is used, and it is
# judged by its digest, not by apt's exit status.
YYJSON_TARBALL=yyjson_0.10.0+ds.orig.tar.xz
YYJSON_SHA256=ae6fde69a193e10afab426ef13f113d6903446405f9db9ee98bfb572bd6c961a
YYJSON_CACHE="${MVFILES_CACHE_DIR:-/var/cache/mvfiles}/yyjson"
YYJSON_DIR="$YYJSON_CACHE/yyjson-0.10.0"

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

yyjson_src_ok() {
    [ -f "$YYJSON_DIR/src/yyjson.c" ] && [ -f "$YYJSON_DIR/src/yyjson.h" ]
}

tarball_ok() {
    [ -f "$YYJSON_CACHE/$YYJSON_TARBALL" ] &&
        echo "$YYJSON_SHA256  $YYJSON_CACHE/$YYJSON_TARBALL" | sha256sum -c --status -
}

wanted=("${BASE_PKGS[@]}")
[ $windows -eq 1 ] && wanted+=("${WIN_PKGS[@]}")
[ $bench -eq 1 ] && wanted+=("${BENCH_PKGS[@]}")
missing=()
for p in "${wanted[@]}"; do installed "$p" || missing+=("$p"); done

if [ ${#missing[@]} -eq 0 ] && yyjson_ok && { [ $windows -eq 0 ] || yyjson_src_ok; }; then
    exit 0
fi

# The mirror URI of the machine's own Debian sources (the main archive, not
# the security one), from deb822 files or the one-line sources.list format.
mirror_uri() {
    local f uri
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$SRC_FILE" ] && [ "$f" != "$DEBSRC_FILE" ] || continue
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

# Writes a trixie sources file of the given type (deb or deb-src) on the
# machine's own mirror, once.
trixie_source() {
    local type=$1 file=$2 uri keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    [ -f "$file" ] && return 0
    uri=$(mirror_uri) || die "cannot find the Debian mirror URI in the apt sources"
    [ -f "$keyring" ] || die "missing $keyring (package debian-archive-keyring)"
    printf 'Types: %s\nURIs: %s\nSuites: trixie\nComponents: main\nSigned-By: %s\n' \
        "$type" "$uri" "$keyring" | as_root tee "$file" >/dev/null
    updated=0
}

if ! yyjson_ok; then
    trixie_source deb "$SRC_FILE"
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

if [ $windows -eq 1 ] && ! yyjson_src_ok; then
    if ! tarball_ok; then
        trixie_source deb-src "$DEBSRC_FILE"
        apt_update
        as_root mkdir -p "$YYJSON_CACHE"
        # The .dsc or the Debian diff may be refused while the upstream
        # tarball is served; the digest below decides.
        (cd "$YYJSON_CACHE" && as_root apt-get source -qq --download-only yyjson/trixie) >/dev/null 2>&1 || true
        tarball_ok || die "could not fetch $YYJSON_TARBALL with SHA-256 $YYJSON_SHA256 into $YYJSON_CACHE"
    fi
    as_root rm -rf "$YYJSON_DIR"
    as_root mkdir -p "$YYJSON_DIR"
    as_root tar -xJf "$YYJSON_CACHE/$YYJSON_TARBALL" -C "$YYJSON_DIR" --strip-components=1 \
        || die "could not unpack $YYJSON_TARBALL"
    yyjson_src_ok || die "$YYJSON_TARBALL holds no src/yyjson.c"
fi
exit 0
