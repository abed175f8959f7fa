using System;
using System.Collections;
using System.Collections.Generic;
using System.Runtime.Loader;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace Mvfiles.Tests;

public sealed class HostTests : ClientTest
{
    // A plug-in host loads each plug-in, and so each copy of the binding,
    // in a load context of its own; the native state is still one.
    [Fact]
    public async Task Two_load_contexts_calling_at_once_share_one_state()
    {
        var plugin = new AssemblyLoadContext("plug-in");
        var type = plugin.LoadFromAssemblyPath(typeof(MvfilesClient).Assembly.Location).GetType("Mvfiles.MvfilesClient")!;
        Assert.NotEqual(typeof(MvfilesClient), type);
        dynamic other = Activator.CreateInstance(type)!;
        using var start = new Barrier(2);
        void Run(Func<string, IEnumerable> files, string id, int count, string prefix)
        {
            start.SignalAndWait();
            for (int i = 0; i < 3000; i++)
            {
                int n = 0;
                foreach (dynamic f in files(id))
                {
                    Assert.StartsWith(prefix, (string)f.FileName);
                    n++;
                }
                Assert.Equal(count, n);
            }
        }
        await Task.WhenAll(
            Task.Factory.StartNew(() => Run(id => Client.GetFiles(id), "tt4154796", 3, "Avengers"), TaskCreationOptions.LongRunning),
            Task.Factory.StartNew(() => Run(id => (IEnumerable)other.GetFiles(id, null, null), "tt0111161", 1, "The.Shawshank"),
                                  TaskCreationOptions.LongRunning));
        other.Dispose();
        Assert.Single(Client.GetFiles("tt0111161"));
    }

    public static IEnumerable<object[]> NothingFound => new[]
    {
        Nothing(FakeMode.Http404, c => c.GetFiles("tt0111161")),
        Nothing(FakeMode.EmptyBody, c => c.GetFiles("tt0111161")),
        Nothing(FakeMode.Http404, c => c.GetPlaylists(PlaylistType.Series)),
        Nothing(FakeMode.Http404, c => c.GetProgress("tt0111161", "u42")),
        Nothing(FakeMode.Http404, c => c.GetExternalSubtitles("tt0111161")),
        Nothing(FakeMode.EmptyBody, c => c.GetSessionIndex()),
        Nothing(FakeMode.Http404, c => c.GetStorages()),
        Nothing(FakeMode.EmptyBody, c => c.GetPlaybackSessions("x")),
    };

    private static object[] Nothing(FakeMode mode, Func<MvfilesClient, IEnumerable> call) => new object[] { mode, call };

    [Theory]
    [MemberData(nameof(NothingFound))]
    public void Nothing_found_is_an_empty_list(FakeMode mode, Func<MvfilesClient, IEnumerable> call)
    {
        Client.SetFakeMode(mode);
        Assert.Empty(call(Client));
    }

    [Fact]
    public void A_repeat_from_the_table_is_the_list_read_before_and_a_new_copy_equals_it()
    {
        var first = Client.GetFiles("tt4154796");
        Assert.Same(first, Client.GetFiles("tt4154796"));
        Client.GetFiles("tt0111161");   // replaces the table
        var again = Client.GetFiles("tt4154796");
        Assert.NotSame(first, again);
        Assert.Equal(first, again);
        Assert.True(first[0] == again[0] && first.Equals(again));
        Assert.Equal(first[0].GetHashCode(), again[0].GetHashCode());
    }

    [Theory]
    [InlineData("http://127.0.0.1:8080/base/", "GET http://127.0.0.1:8080/base/api/finder/getfiles?")]
    [InlineData("https://[::1]/", "GET https://[::1]/api/finder/getfiles?")]
    public void An_origin_from_a_Uri_keeps_no_trailing_slash(string origin, string request)
    {
        Client.SetHost(new Uri(origin));
        Client.GetFiles("tt0111161");
        Assert.StartsWith(request, Client.GetFakeStats().LastUrl);
        Assert.Throws<ArgumentException>(() => Client.SetHost(new Uri("/base", UriKind.Relative)));
    }
}
