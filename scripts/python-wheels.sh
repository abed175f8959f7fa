#!/usr/bin/env bash
# Builds the Python binding's wheels into BUILD-DIR: the Linux one with
# the shipped library (BUILD-DIR/shipped/libmvfiles.so: stripped, yyjson
# linked in) and the compiled table reader
# (mvfiles-<version>-cp38-abi3-linux_x86_64.whl), and, when the Windows build
# has its DLL, the Windows one with WINDOWS-BUILD-DIR/tools/mvfiles.dll,
# read through ctypes (mvfiles-<version>-py3-none-win_amd64.whl).
# Usage: python-wheels.sh BUILD-DIR [WINDOWS-BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(readlink -f "${1:?usage: python-wheels.sh BUILD-DIR [WINDOWS-BUILD-DIR]}")
win_build=${2:-}
library=$build/shipped/libmvfiles.so
[ -f "$library" ] || { echo "python-wheels: $library not built" >&2; exit 1; }
ext=$build/python/mvfiles/_tables.abi3.so
[ -f "$ext" ] || ext=
rm -f "$build"/mvfiles-*.whl
wheel() {
    (cd python && env "$@" /usr/bin/python3 -m pip wheel -q --no-index --no-build-isolation \
        --no-deps -w "$build" .)
}
wheel MVFILES_WHEEL_LIBRARY="$library" MVFILES_WHEEL_EXTENSION="$ext"
if [ -n "$win_build" ] && [ -f "$win_build/tools/mvfiles.dll" ]; then
    wheel MVFILES_WHEEL_LIBRARY="$(readlink -f "$win_build/tools/mvfiles.dll")" \
          MVFILES_WHEEL_EXTENSION= MVFILES_WHEEL_PLATFORM=win_amd64
else
    echo "python-wheels: no Windows build: no win_amd64 wheel"
fi
ls "$build"/mvfiles-*.whl | sed 's/^/python-wheels: /'
