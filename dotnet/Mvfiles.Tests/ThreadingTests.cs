using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace Mvfiles.Tests;

public sealed class ThreadingTests : ClientTest
{
    // Each look-up builds the one file table that the other thread's copy
    // reads from: without the binding's lock the copies would mix answers.
    [Fact]
    public async Task Two_threads_calling_at_once_each_get_their_own_answer()
    {
        using var start = new Barrier(2);
        void Run(MvfilesClient client, string id, int count, string prefix)
        {
            start.SignalAndWait();
            for (int i = 0; i < 2000; i++)
            {
                client.ClearCache();
                var files = client.GetFiles(id);
                Assert.Equal(count, files.Count);
                Assert.All(files, f => Assert.StartsWith(prefix, f.FileName));
            }
        }
        using var other = new MvfilesClient();
        await Task.WhenAll(Task.Factory.StartNew(() => Run(Client, "tt4154796", 3, "Avengers"), TaskCreationOptions.LongRunning),
                           Task.Factory.StartNew(() => Run(other, "tt0111161", 1, "The.Shawshank"), TaskCreationOptions.LongRunning));
        Assert.Equal(4000, Client.GetFakeStats().Calls);
    }

    // Every client shares the one state: disposing one leaves it to the others.
    [Fact]
    public void The_last_client_disposed_shuts_the_library_down()
    {
        var other = new MvfilesClient();
        other.Dispose();
        other.Dispose();
        Assert.Single(Client.GetFiles("tt0111161"));
        Client.Dispose();
        using var late = new MvfilesClient();
        Assert.Equal(MvfilesResult.NoTransport, Assert.Throws<MvfilesException>(() => late.GetFiles("tt0111161")).Code);
    }
}
