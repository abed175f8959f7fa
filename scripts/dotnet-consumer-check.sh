#!/usr/bin/env bash
# Uses the NuGet package the way a .NET host would: checks its contents,
# makes a fresh console project that takes it from BUILD-DIR as a local
# source, and runs it on linux-x64 against the bundled corpus; checks that a
# build for a runtime the package does not support fails and says why; and
# builds a net472 program from the package and runs it under mono (when
# mono is there), with a second AppDomain calling at the same time. With
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
        lib/netstandard2.0/Mvfiles.Net.xml lib/net462/Mvfiles.Net.dll runtimes/linux-x64/native/libmvfiles.so
        README.md icon.png build/Mvfiles.targets buildTransitive/Mvfiles.targets
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
var files = client.GetFiles("tt4154796");
Console.WriteLine($"mvfiles {MvfilesClient.Version}: {files.Count} files, {files[0].FileName}");
var movies = (await client.GetPlaylistsAsync(PlaylistType.Movies))[0];
Console.WriteLine($"{movies.Name}: {string.Join(",", movies.ImdbIds)}");
Console.WriteLine($"playable: {client.IsPlayable("tt4154796")}");
try { client.GetFiles("tt0"); } catch (MvfilesException e) { Console.WriteLine($"{e.Code}: {e.Message}"); }
CS
dotnet add "$work/host" package Mvfiles --version "$version" >/dev/null
expected="mvfiles $version: 3 files, Avengers.Endgame.2019.2160p.UHD.BluRay.HEVC.HDR10.TrueHD.Atmos.7.1.mkv
Prison dramas: tt0111161,tt0120689,tt0068646
playable: True
Argument: imdb id must look like tt… (got 'tt0')"
out=$(env -u LD_LIBRARY_PATH dotnet run --project "$work/host")
echo "$out"
[ "$out" = "$expected" ] || fail "the .NET host printed something else"

echo "consumer-check: a build for an unsupported runtime fails"
if out=$(dotnet build "$work/host" -r linux-musl-x64 -p:UseAppHost=false 2>&1); then
    fail "a linux-musl-x64 build of the host succeeded"
fi
grep -q "MVFILES001.*linux-x64 and win-x64 only" <<<"$out" || fail "the linux-musl-x64 build failed otherwise: $out"

if command -v mono >/dev/null; then
    echo "consumer-check: net472 host from the package, under mono, two AppDomains"
    mkdir "$work/fx"
    cat >"$work/fx/Fx.csproj" <<'XML'
<Project Sdk="Microsoft.NET.Sdk">
  <PropertyGroup>
    <OutputType>Exe</OutputType>
    <TargetFramework>net472</TargetFramework>
    <PlatformTarget>x64</PlatformTarget>
    <LangVersion>latest</LangVersion>
  </PropertyGroup>
</Project>
XML
    cat >"$work/fx/Program.cs" <<'CS'
using System;
using System.Threading.Tasks;
using Mvfiles;

// Each AppDomain brings its own copy of the binding, as plug-ins do.
public sealed class Plugin : MarshalByRefObject
{
    public string Run(string id, int count)
    {
        using (var client = new MvfilesClient())
        {
            client.UseFake();
            for (int i = 0; i < 2000; i++)
                if (client.GetFiles(id, null, i % 2 == 0 ? (int?)null : -2).Count != count)
                    return "a wrong answer";
            return client.GetFiles(id)[0].FileName.Split('.')[0];
        }
    }
}

static class Program
{
    static void Main()
    {
        var domain = AppDomain.CreateDomain("plug-in");
        var other = (Plugin)domain.CreateInstanceAndUnwrap(typeof(Plugin).Assembly.FullName, typeof(Plugin).FullName);
        using (var client = new MvfilesClient())
        {
            client.UseFake();
            Console.WriteLine("mvfiles " + MvfilesClient.Version + ": " + client.GetFiles("tt4154796").Count + " files");
            var there = Task.Run(() => other.Run("tt0111161", 1));
            Console.WriteLine("two domains: " + new Plugin().Run("tt4154796", 3) + ", " + there.Result);
            Console.WriteLine("after the other's client: " + client.GetPlaylistsAsync(PlaylistType.Movies).Result[0].Name);
        }
    }
}
CS
    dotnet add "$work/fx" package Mvfiles --version "$version" >/dev/null
    dotnet build "$work/fx" -c Release -o "$work/fx/out" >/dev/null || fail "the net472 host did not build"
    [ -f "$work/fx/out/libmvfiles.so" ] || fail "the package's targets did not put libmvfiles.so beside the net472 host"
    out=$(env -u LD_LIBRARY_PATH mono "$work/fx/out/Fx.exe")
    echo "$out"
    expected_fx="mvfiles $version: 3 files
two domains: Avengers, The
after the other's client: Prison dramas"
    [ "$out" = "$expected_fx" ] || fail "the net472 host printed something else under mono"

    echo "consumer-check: the same host on the package's netstandard2.0 build, under mono"
    # With the netstandard facade that the SDK gives .NET Framework 4.6.1
    # programs (Debian's mono-runtime has none).
    facade=$(find "$(dirname "$(readlink -f "$(command -v dotnet)")")/sdk" \
             -path '*/Microsoft.NET.Build.Extensions/net461/lib/netstandard.dll' | head -n 1)
    [ -n "$facade" ] || fail "the SDK has no netstandard facade for .NET Framework"
    cp "$facade" "$NUGET_PACKAGES/mvfiles/$version/lib/netstandard2.0/Mvfiles.Net.dll" "$work/fx/out/"
    out=$(env -u LD_LIBRARY_PATH mono "$work/fx/out/Fx.exe")
    echo "$out"
    [ "$out" = "$expected_fx" ] || fail "the netstandard2.0 build printed something else under mono"
else
    echo "consumer-check: mono not found: the net472 host is not run"
fi

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
