#!/usr/bin/env bash
# Builds the NuGet package Mvfiles.<version>.nupkg into BUILD-DIR: the
# binding's assemblies (net8.0, netstandard2.0 and net462, with their XML
# documentation), the shipped native libraries, the bundled corpus, the
# README, the licence (MIT) and the third-party notices. The linux-x64
# library is BUILD-DIR/shipped/libmvfiles.so (stripped, yyjson linked in),
# the win-x64 one WINDOWS-BUILD-DIR/tools/mvfiles.dll, the very file of the
# Windows zip, when that build has it. Their symbols go beside the package,
# in Mvfiles.<version>.native-symbols.zip (libmvfiles.so.debug,
# mvfiles.pdb). Without the .NET SDK it says so and makes nothing.
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
shipped=$(readlink -f "$build")/shipped
[ -f "$shipped/libmvfiles.so" ] || {
    echo "dotnet-pack: $shipped/libmvfiles.so not built (configure $build with MVFILES_YYJSON_SOURCE_DIR)" >&2
    exit 1
}
args=(-p:Version="$version" -p:MvfilesNativeLinux="$shipped/libmvfiles.so")
symbols=$(readlink -f "$build")/dotnet/native-symbols
rm -rf "$symbols"
mkdir -p "$symbols/linux-x64"
cp "$shipped/libmvfiles.so.debug" "$symbols/linux-x64/"
if [ -n "$win_build" ] && [ -f "$win_build/tools/mvfiles.dll" ]; then
    args+=(-p:MvfilesNativeWindows="$(readlink -f "$win_build/tools/mvfiles.dll")")
    mkdir -p "$symbols/win-x64"
    cp "$win_build/tools/mvfiles.pdb" "$symbols/win-x64/"
else
    echo "dotnet-pack: no Windows build: the package has no win-x64 library"
fi
rm -f "$build"/Mvfiles.*.native-symbols.zip
(cd "$symbols" && cmake -E tar cf "../../Mvfiles.$version.native-symbols.zip" --format=zip -- *)
rm -f "$build"/Mvfiles.*.nupkg
dotnet pack dotnet/Mvfiles/Mvfiles.csproj -c Release --artifacts-path "$build/dotnet" \
    -o "$build" "${args[@]}"
echo "dotnet-pack: $build/Mvfiles.$version.nupkg"
