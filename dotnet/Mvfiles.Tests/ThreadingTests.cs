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
                var files = client.Files(id);
                Assert.Equal(count, files.Count);
                Assert.All(files, f => Assert.StartsWith(prefix, f.FileName));
            }
        }
        var other = new MvfilesClient();
        await Task.WhenAll(Task.Factory.StartNew(() => Run(Client, "tt4154796", 3, "Avengers"), TaskCreationOptions.LongRunning),
                           Task.Factory.StartNew(() => Run(other, "tt0111161", 1, "The.Shawshank"), TaskCreationOptions.LongRunning));
        Assert.Equal(4000, Client.FakeStats().Calls);
    }
}
