using System.Linq;
using Xunit;

namespace Mvfiles.Tests;

public sealed class FilesTests : LoopbackTest
{
    public FilesTests(Loopback loopback) : base(loopback) { }

    [Fact]
    public void Records_map_types_and_outlive_the_tables_they_came_from()
    {
        var films = Client.GetFiles("tt4154796");
        var series = Client.GetFiles("tt0944947", 1, 1);
        Client.GetProgress("tt0111161", "u42");
        Client.Shutdown(); // releases every table the texts came from
        Assert.Equal(new[] { 0, 1, 2 }, films.Select(f => f.Index));
        var f = films[0];
        Assert.StartsWith("Avengers.Endgame", f.FileName);
        Assert.EndsWith("日本語", f.SubtitleLanguageTitles);
        Assert.Equal((62345678901L, (int?)null, (bool?)true, (bool?)true), (f.Size, f.Season, f.Hdr, f.DolbyAtmos));
        Assert.Equal(new[] { (true, (int?)1), (false, (int?)2) }, f.Entries.Select(e => (e.IsActive, e.ContentSource)));
        Assert.StartsWith("{\"key\":\"a81c4f0b", f.Json);
        Assert.EndsWith("}]}", f.Json);
        Assert.Equal((1, 1, (bool?)false), (series[0].Season, series[0].Episode, series[0].Hdr));
    }

    [Fact]
    public void Missing_members_map_to_null()
    {
        Client.UseRealTransport(Origin);
        var f = Assert.Single(Client.GetFiles("tt0111161"));
        Assert.Equal(("k-tt0111161", (string?)null, (bool?)null, (int?)null, 0), (f.Key, f.ParentKey, f.Hdr, f.Season, f.VideoWidth));
        Assert.Null(f.Entries[0].ContentSource);
        Assert.Equal(200, Client.LastHttpStatus);
    }

    [Theory]
    [InlineData("tt4154796", true)]
    [InlineData("tt7654321", false)]    // the service knows no such title
    public void Playability(string imdbId, bool playable) => Assert.Equal(playable, Client.IsPlayable(imdbId));
}
