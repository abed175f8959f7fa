#!/usr/bin/env bash
# Builds the NuGet package Mvfiles.<version>.nupkg into BUILD-DIR: the
# binding's assemblies (net8.0 and netstandard2.0, with their XML
# documentation), BUILD-DIR's libmvfiles.so as the linux-x64 native
# library, WINDOWS-BUILD-DIR/tools/mvfiles.dll as the win-x64 one when that
# build has it, the bundled corpus and the README. Without the .NET SDK it
# says so and makes nothing.
# Usage: dotnet-pack.sh BUILD-DIR [WINDOWS-BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: dotnet-pack.sh BUILD-DIR [WINDOWS-BUILD-DIR]}
win_build=${2:-}
if ! command -v dotnet >/dev/null; then
    echo "dotnet-pack: dotnet not found: no NuGet package made"
    exit 0
fi
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
version=$(sed -n 's/^project(mvfiles VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -f "$build/libmvfiles.so" ] || { echo "dotnet-pack: $build/libmvfiles.so not built" >&2; exit 1; }
# The packed files keep their names: the versioned library is copied
# under the name the loader asks for.
native=$(readlink -f "$build")/dotnet/native
mkdir -p "$native"
cp -L "$build/libmvfiles.so" "$native/libmvfiles.so"
args=(-p:Version="$version" -p:MvfilesNativeLinux="$native/libmvfiles.so")
if [ -n "$win_build" ] && [ -f "$win_build/tools/mvfiles.dll" ]; then
    args+=(-p:MvfilesNativeWindows="$(readlink -f "$win_build/tools/mvfiles.dll")")
else
    echo "dotnet-pack: no Windows build: the package has no win-x64 library"
fi
rm -f "$build"/Mvfiles.*.nupkg
dotnet pack dotnet/Mvfiles/Mvfiles.csproj -c Release --artifacts-path "$build/dotnet" \
    -o "$build" "${args[@]}"
echo "dotnet-pack: $build/Mvfiles.$version.nupkg"
