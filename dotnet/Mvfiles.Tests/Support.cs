using System;
using System.Diagnostics;
using System.IO;
using Xunit;

// The library has one state per process: its tests run one at a time.
[assembly: CollectionBehavior(DisableTestParallelization = true)]

namespace Mvfiles.Tests;

/// A client on the bundled corpus (found beside the binding's assembly),
/// normal mode, empty caches; shut down after each test.
public abstract class ClientTest : IDisposable
{
    protected readonly MvfilesClient Client = new MvfilesClient();

    protected ClientTest()
    {
        Client.SetFakeMode(FakeMode.Normal);
        Client.SetHost((string?)null);
        Client.ClearCache();
        Client.ResetFakeStats();
        Client.UseFake();
    }

    public void Dispose() => Client.Dispose();
}

/// A ClientTest that also has the loopback server of its class.
public abstract class LoopbackTest : ClientTest, IClassFixture<Loopback>
{
    protected readonly string Origin;

    protected LoopbackTest(Loopback loopback) => Origin = loopback.Origin;
}

/// tests/loopback_server.py, started once per test class that asks for it.
public sealed class Loopback : IDisposable
{
    private readonly Process _server;

    public Loopback()
    {
        string root = SourceRoot();
        // Without a corpus: one built-in file that leaves most members out.
        string script = Path.Combine(root, "tests", "loopback_server.py");
        var start = new ProcessStartInfo("python3", $"\"{script}\" --lifetime 120")
        {
            RedirectStandardInput = true, RedirectStandardOutput = true, UseShellExecute = false,
        };
        _server = Process.Start(start)!;
        string line = _server.StandardOutput.ReadLine() ?? throw new InvalidOperationException("loopback server did not start");
        Origin = "http://127.0.0.1:" + line.Split(' ')[0].Split('=')[1];
    }

    public string Origin { get; }

    // The server leaves when its stdin closes.
    public void Dispose()
    {
        _server.StandardInput.Close();
        if (!_server.WaitForExit(10000))
            _server.Kill();
        _server.Dispose();
    }

    // MVFILES_SOURCE_DIR from CTest, else the checkout this build sits in.
    private static string SourceRoot()
    {
        string? dir = Environment.GetEnvironmentVariable("MVFILES_SOURCE_DIR");
        for (dir ??= AppContext.BaseDirectory; dir != null; dir = Path.GetDirectoryName(dir))
            if (File.Exists(Path.Combine(dir, "tests", "loopback_server.py")))
                return dir;
        throw new InvalidOperationException("tests/loopback_server.py not found; set MVFILES_SOURCE_DIR");
    }
}
