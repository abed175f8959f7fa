using System;
using System.Collections.Generic;
using Xunit;

namespace Mvfiles.Tests;

public sealed class FailureTests : ClientTest
{
    public static IEnumerable<object[]> Cases => new[]
    {
        Case(FakeMode.Http500, c => c.Files("tt0111161"), MvfilesResult.Http, 500, "HTTP 500"),
        Case(FakeMode.Http404, c => c.Playlists("Series"), MvfilesResult.NotFound, 404, "no rows for prefix (HTTP 404)"),
        Case(FakeMode.TransportFailure, c => c.IsPlayable("tt0111161"), MvfilesResult.Transport, 0,
             "transport: transport: fake: injected transport failure"),
        Case(FakeMode.InvalidJson, c => c.PlaybackSessions("x"), MvfilesResult.Json, 200, "sessions: invalid JSON"),
        Case(FakeMode.Normal, c => c.FilesByKeys(new[] { "k1" }), MvfilesResult.Http, 405,
             "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)"),
        Case(FakeMode.Normal, c => c.Files("abc"), MvfilesResult.Argument, 0, "imdb id must look like tt… (got 'abc')"),
        Case(FakeMode.Normal, c => c.Playlists("movies"), MvfilesResult.Argument, 0,
             "type must be Production, Movies or Series (got 'movies')"),
        Case(FakeMode.Normal, c => { c.Shutdown(); return c.Storages(); }, MvfilesResult.NoTransport, 0,
             "no transport installed (mvfiles_use_curl / mvfiles_set_io)"),
        Case(FakeMode.Normal, c => c.HasCachedTable("KV"), MvfilesResult.Argument, 0, "unknown cache family 'KV'"),
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

    [Theory]
    [InlineData(0)]         // a NUL would cut the text short
    [InlineData(0xD800)]    // a lone surrogate has no UTF-8 form
    public void Texts_without_a_UTF8_form_are_refused_before_the_call(int character)
    {
        Assert.Throws<ArgumentException>(() => Client.Files("tt0111161" + (char)character));
        Assert.Equal(0, Client.FakeStats().Calls);
    }
}
