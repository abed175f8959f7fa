#!/usr/bin/env bash
# Uses the NuGet package the way a .NET host would: checks its contents,
# makes a fresh console project that takes it from BUILD-DIR as a local
# source, and runs it on linux-x64 against the bundled corpus. With
# MVFILES_DOTNET_WINE=1 and a Windows build it also publishes the host for
# win-x64 and runs it under Wine in that build's prefix (a report, not a
# requirement: Wine's support of the .NET runtime varies).
# Without the .NET SDK it says so and checks nothing.
# Usage: dotnet-consumer-check.sh BUILD-DIR [WINDOWS-BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(readlink -f "${1:?usage: dotnet-consumer-check.sh BUILD-DIR [WINDOWS-BUILD-DIR]}")
win_build=${2:-}
fail() { echo "consumer-check: $*" >&2; exit 1; }
if ! command -v dotnet >/dev/null; then
    echo "consumer-check: dotnet not found: the NuGet package is not checked"
    exit 0
fi
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
nupkg=$(ls "$build"/Mvfiles.*.nupkg)
version=$(basename "$nupkg" .nupkg)
version=${version#Mvfiles.}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "consumer-check: $(basename "$nupkg")"
unzip -Z1 "$nupkg" >"$work/contents"
expect="lib/net8.0/Mvfiles.Net.dll lib/net8.0/Mvfiles.Net.xml lib/netstandard2.0/Mvfiles.Net.dll
        lib/netstandard2.0/Mvfiles.Net.xml runtimes/linux-x64/native/libmvfiles.so README.md
        contentFiles/any/any/mvfiles/fixtures/getfiles.movie-multi.json"
if [ -n "$win_build" ]; then
    expect="$expect runtimes/win-x64/native/mvfiles.dll"
fi
for path in $expect; do
    grep -qx "$path" "$work/contents" || fail "$(basename "$nupkg") lacks $path"
done

echo "consumer-check: .NET host from the package"
# Its own package folder, so that an older package of the same version
# cached by an earlier run is never the one used.
export NUGET_PACKAGES=$work/packages
dotnet new console -o "$work/host" -n Host >/dev/null
cat >"$work/nuget.config" <<XML
<?xml version="1.0" encoding="utf-8"?>
<configuration><packageSources><add key="build" value="$build" /></packageSources></configuration>
XML
cat >"$work/host/Program.cs" <<'CS'
using Mvfiles;
Console.OutputEncoding = System.Text.Encoding.UTF8;
using var client = new MvfilesClient();
client.UseFake(); // the corpus the package brings
var files = client.Files("tt4154796");
Console.WriteLine($"mvfiles {MvfilesClient.Version}: {files.Count} files, {files[0].FileName}");
var movies = client.Playlists("Movies")[0];
Console.WriteLine($"{movies.Name}: {string.Join(",", movies.ImdbIds)}");
Console.WriteLine($"playable: {client.IsPlayable("tt4154796")}");
try { client.Files("tt0"); } catch (MvfilesException e) { Console.WriteLine($"{e.Code}: {e.Message}"); }
CS
dotnet add "$work/host" package Mvfiles --version "$version" >/dev/null
expected="mvfiles $version: 3 files, Avengers.Endgame.2019.2160p.UHD.BluRay.HEVC.HDR10.TrueHD.Atmos.7.1.mkv
Prison dramas: tt0111161,tt0120689,tt0068646
playable: True
Argument: imdb id must look like tt… (got 'tt0')"
out=$(env -u LD_LIBRARY_PATH dotnet run --project "$work/host")
echo "$out"
[ "$out" = "$expected" ] || fail "the .NET host printed something else"

if [ "${MVFILES_DOTNET_WINE:-0}" = 1 ] && [ -n "$win_build" ]; then
    echo "consumer-check: .NET host published for win-x64, run under Wine"
    dotnet publish "$work/host" -c Release -r win-x64 --self-contained -o "$work/win-x64" >/dev/null
    # Not through wine-run.sh: with Wine's mscoree left out, as the suites
    # run, the .NET runtime cannot load its own assemblies ("Could not load
    # file or assembly ... System.Runtime.dll. Module not found.").
    "$win_build/wine-run.sh" --init
    out=$(WINEPREFIX=$(readlink -f "$win_build")/wineprefix WINEDEBUG=-all \
          WINEDLLOVERRIDES='mshtml=;winedbg.exe=d' /usr/lib/wine/wine64 "$work/win-x64/Host.exe" \
          | tr -d '\r') || true
    "$win_build/wine-run.sh" --stop
    echo "$out"
    [ "$out" = "$expected" ] || fail "the win-x64 host printed something else under Wine"
fi
