using System;
using System.Collections.Generic;
using Xunit;

namespace Mvfiles.Tests;

public sealed class FailureTests : ClientTest
{
    public static IEnumerable<object[]> Cases => new[]
    {
        Case(FakeMode.Http500, c => c.GetFiles("tt0111161"), MvfilesResult.Http, 500, "HTTP 500"),
        Case(FakeMode.Http500, c => c.GetPlaylists(PlaylistType.Series), MvfilesResult.Http, 500, "HTTP 500"),
        Case(FakeMode.TransportFailure, c => c.IsPlayable("tt0111161"), MvfilesResult.Transport, 0,
             "transport: transport: fake: injected transport failure"),
        Case(FakeMode.InvalidJson, c => c.GetPlaybackSessions("x"), MvfilesResult.Json, 200, "sessions: invalid JSON"),
        Case(FakeMode.Normal, c => c.GetFilesByKeys(new[] { "k1" }), MvfilesResult.Http, 405,
             "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)"),
        Case(FakeMode.Normal, c => c.GetFiles("abc"), MvfilesResult.Argument, 0, "imdb id must look like tt… (got 'abc')"),
        Case(FakeMode.Normal, c => c.GetProgress(""), MvfilesResult.Argument, 0, "imdbId required"),
        Case(FakeMode.Normal, c => { c.Shutdown(); return c.GetStorages(); }, MvfilesResult.NoTransport, 0,
             "no transport installed (mvfiles_use_curl / mvfiles_set_io)"),
        Case(FakeMode.Null, c => c.GetStorages(), MvfilesResult.Json, 200, "storages: GetAuth JSON invalid"),
    };

    private static object[] Case(FakeMode mode, Func<MvfilesClient, object> call, MvfilesResult code, int http,
                                 string message) => new object[] { mode, call, code, http, message };

    [Theory]
    [MemberData(nameof(Cases))]
    public void Failures_raise_one_exception_type(FakeMode mode, Func<MvfilesClient, object> call,
                                                  MvfilesResult code, int http, string message)
    {
        Client.SetFakeMode(mode);
        var e = Assert.Throws<MvfilesException>(() => call(Client));
        Assert.Equal((code, http, message), (e.Code, e.HttpStatus, e.Message));
    }

    public static IEnumerable<object[]> Refused => new[]
    {
        Refusal(c => c.GetFiles("tt0111161\0"), typeof(ArgumentException)),        // a NUL would cut the text short
        Refusal(c => c.GetFiles("tt0111161\uD800"), typeof(ArgumentException)),    // a lone surrogate has no UTF-8 form
        Refusal(c => c.GetPlaylists((PlaylistType)9), typeof(ArgumentOutOfRangeException)),
        Refusal(c => c.HasCachedTable((CacheFamily)9), typeof(ArgumentOutOfRangeException)),
        Refusal(c => c.Timeout = TimeSpan.FromDays(60), typeof(ArgumentOutOfRangeException)),  // past the timers
    };

    private static object[] Refusal(Action<MvfilesClient> call, Type refused) => new object[] { call, refused };

    [Theory]
    [MemberData(nameof(Refused))]
    public void Arguments_the_library_cannot_take_are_refused_before_the_call(Action<MvfilesClient> call, Type refused)
    {
        Assert.Throws(refused, () => call(Client));
        Assert.Equal(0, Client.GetFakeStats().Calls);
    }
}
