#!/usr/bin/env bash
# Uses a built and packaged mvfiles the way a consumer would: installs it
# into a temporary prefix, builds the minimal host of tests/consumer through
# pkg-config (which sees no other package's .pc file) and through
# find_package and runs both on the installed corpus as each names it, runs
# the installed program and the Python tests against the installed binding
# (which must find its library and corpus by itself), finds the manual
# pages, and checks the Debian package's contents.
# With a Windows build tree as well, it checks the Windows zip's contents and
# builds the same host through the zip's CMake package with MinGW, and a
# runtime-free one with clang for the MSVC target, then runs both under
# Wine. It also checks the NuGet package's native libraries and licence.
# Usage: consumer-check.sh BUILD-DIR [WINDOWS-BUILD-DIR] (both packaged).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-pkg}
win_build=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "consumer-check: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name mvfiles.pc)
[ -n "$pc" ] || fail "no mvfiles.pc installed"
libdir=$(dirname "$(dirname "$pc")")
corpus=$prefix/share/mvfiles/fixtures
grep -qx "prefix=$prefix" "$pc" || fail "mvfiles.pc does not name the prefix installed to"

echo "consumer-check: pkg-config host"
# Only mvfiles.pc on the search path: the headers need no other package.
pkgconf() { env -u PKG_CONFIG_PATH PKG_CONFIG_LIBDIR="$(dirname "$pc")" pkg-config "$@"; }
flags=$(pkgconf --cflags --libs mvfiles) || fail "pkg-config --cflags --libs mvfiles failed"
fixtures=$(pkgconf --variable=fixturesdir mvfiles)
[ "$fixtures" = "$corpus" ] || fail "fixturesdir does not name $corpus"
# shellcheck disable=SC2086
cc -std=c99 -Wall -Wextra -Wpedantic -Werror tests/consumer/host.c $flags -o "$work/host-pc"
LD_LIBRARY_PATH=$libdir "$work/host-pc" "$fixtures"

echo "consumer-check: find_package host (MVFILES_FIXTURES_DIR)"
cmake -S tests/consumer -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/host"

echo "consumer-check: installed program and manual pages"
"$prefix/bin/mvfiles" playlists Movies >/dev/null
if command -v man >/dev/null; then
    for page in "1 mvfiles" "3 mvfiles"; do
        # shellcheck disable=SC2086
        MANPATH=$prefix/share/man man -w $page >/dev/null || fail "man $page not found"
        MANWIDTH=80 MANPATH=$prefix/share/man man --warnings $page 2>"$work/man.err" >/dev/null
        [ ! -s "$work/man.err" ] || { cat "$work/man.err" >&2; fail "man $page: warnings"; }
    done
fi

echo "consumer-check: Python binding"
pypath=$(find "$prefix" -type d -name dist-packages)
PYTHONPATH=$pypath /usr/bin/python3 -c 'import mvfiles, sys; sys.exit(not mvfiles.__file__.startswith(sys.argv[1]))' \
    "$prefix" || fail "the Python tests would not use the installed binding"
env -u MVFILES_LIBRARY PYTHONPATH="$pypath" MVFILES_TEST_FIXTURES="$corpus" \
    PYTHONDONTWRITEBYTECODE=1 pytest-3 -q -p no:cacheprovider python/tests

echo "consumer-check: Debian package"
deb=$(ls "$build"/mvfiles_*.deb)
dpkg-deb -c "$deb" >"$work/contents"
libpath=usr/${libdir#"$prefix"/}
for path in usr/bin/mvfiles usr/include/mvfiles.h usr/include/veltrona_http.h \
            "$libpath/libmvfiles.so.1.0.0" "$libpath/libmvfiles.so.1" "$libpath/libmvfiles.so" \
            "$libpath/pkgconfig/mvfiles.pc" "$libpath/cmake/mvfiles/mvfilesConfig.cmake" \
            "$libpath/cmake/mvfiles/mvfilesConfigVersion.cmake" \
            "$libpath/cmake/mvfiles/mvfilesTargets.cmake" \
            usr/share/mvfiles/fixtures/getfiles.movie-multi.json \
            usr/share/man/man1/mvfiles.1 usr/share/man/man3/mvfiles.3 \
            usr/lib/python3/dist-packages/mvfiles/client.py \
            usr/lib/python3/dist-packages/mvfiles/_installed.py; do
    grep -Eq " \./$path( -> |$)" "$work/contents" || fail "$deb lacks /$path"
done
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./$libpath/pkgconfig/mvfiles.pc" | grep -qx 'prefix=/usr' \
    || fail "the packaged mvfiles.pc does not name /usr"
# Self-contained: yyjson is inside the library, and Depends names only
# stock Debian 12 packages, which a fresh bookworm root proves.
! dpkg-deb -f "$deb" Depends | grep -q yyjson || fail "Depends names yyjson"
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./$libpath/libmvfiles.so.1.0.0" >"$work/deb.so"
# (Whole outputs to files: grep -q leaving early would fail a pipe.)
readelf -d "$work/deb.so" >"$work/deb.dynamic"
! grep -q 'NEEDED.*yyjson' "$work/deb.dynamic" || fail "the packaged library needs a yyjson library"
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/mvfiles/copyright >"$work/copyright"
grep -q '^License: Expat' "$work/copyright" || fail "$deb lacks the copyright file"
echo "consumer-check: $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
bash scripts/stock-install-check.sh "$deb"

if [ -n "$win_build" ]; then
    echo "consumer-check: Windows zip"
    zip=$(ls "$win_build"/mvfiles-*-win64.zip)
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/win"
    top=$(ls -d "$work"/win/mvfiles-*)
    for path in bin/mvfiles.dll bin/mvfiles.exe lib/libmvfiles.dll.a lib/mvfiles.def include/mvfiles.h \
                include/veltrona_http.h lib/cmake/mvfiles/mvfilesConfig.cmake \
                share/mvfiles/fixtures/getfiles.movie-multi.json \
                bin/mvfiles.pdb lib/mvfiles.lib LICENSE THIRD-PARTY-NOTICES.txt; do
        [ -f "$top/$path" ] || fail "$(basename "$zip") lacks $path"
    done
    [ "$(grep -c '^    mvfiles_' "$top/lib/mvfiles.def")" -eq 113 ] || fail "mvfiles.def does not name 113 exports"
    # The tested DLL is the shipped one.
    cmp -s "$top/bin/mvfiles.dll" "$win_build/tools/mvfiles.dll" || fail "the zip's mvfiles.dll is not the tested one"
    grep -q '^prefix=${pcfiledir}/' "$top/lib/pkgconfig/mvfiles.pc" || fail "the zip's mvfiles.pc is not relocatable"
    ! grep -q "$PWD\|_CPack_Packages" "$top/lib/pkgconfig/mvfiles.pc" || fail "the zip's mvfiles.pc names a build path"
    echo "consumer-check: find_package host for Windows, run under Wine"
    cmake -S tests/consumer -B "$work/cmake-win" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
          -Dmvfiles_DIR="$top/lib/cmake/mvfiles" >/dev/null
    cmake --build "$work/cmake-win" >/dev/null
    cp "$top/bin/mvfiles.dll" "$work/cmake-win/"
    "$win_build/wine-run.sh" "$work/cmake-win/host.exe"
    echo "consumer-check: find_package host for MSVC (clang, lld-link, mvfiles.lib), run under Wine"
    cmake -S tests/consumer -B "$work/cmake-msvc" -DCMAKE_TOOLCHAIN_FILE="$PWD/tests/consumer/msvc-target.cmake" \
          -Dmvfiles_DIR="$top/lib/cmake/mvfiles" >/dev/null
    cmake --build "$work/cmake-msvc" >/dev/null
    grep -rq '/lib/mvfiles\.lib' "$work/cmake-msvc/CMakeFiles/host.dir" || fail "the MSVC host does not link mvfiles.lib"
    cp "$top/bin/mvfiles.dll" "$work/cmake-msvc/"
    "$win_build/wine-run.sh" "$work/cmake-msvc/host.exe"
fi
bash scripts/dotnet-consumer-check.sh "$build" "$win_build"
nupkg=$(ls "$build"/Mvfiles.*.nupkg 2>/dev/null || true)
if [ -n "$nupkg" ]; then
    echo "consumer-check: native libraries and licence of $(basename "$nupkg")"
    unzip -Z1 "$nupkg" >"$work/nupkg.list"
    grep -qx THIRD-PARTY-NOTICES.txt "$work/nupkg.list" || fail "$(basename "$nupkg") lacks THIRD-PARTY-NOTICES.txt"
    unzip -p "$nupkg" '*.nuspec' >"$work/nuspec"
    grep -q '<license type="expression">MIT</license>' "$work/nuspec" \
        || fail "$(basename "$nupkg") has no MIT licence expression"
    unzip -p "$nupkg" runtimes/linux-x64/native/libmvfiles.so >"$work/nuget.so"
    readelf -d -S "$work/nuget.so" >"$work/nuget.elf"
    ! grep -q 'NEEDED.*yyjson' "$work/nuget.elf" || fail "the package's libmvfiles.so needs a yyjson library"
    ! grep -q '\.debug_info' "$work/nuget.elf" || fail "the package's libmvfiles.so is not stripped"
    if [ -n "$win_build" ]; then
        unzip -p "$nupkg" runtimes/win-x64/native/mvfiles.dll | cmp -s - "$top/bin/mvfiles.dll" \
            || fail "the package's mvfiles.dll is not the zip's"
    fi
fi
bash scripts/python-consumer-check.sh "$build" "$win_build"
echo "consumer-check: all passed"
