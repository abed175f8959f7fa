using System.Linq;
using Xunit;

namespace Mvfiles.Tests;

public sealed class KeyValueTests : ClientTest
{
    [Fact]
    public void Each_table_reads_into_records_that_outlive_the_next_look_up()
    {
        var movies = Client.GetPlaylists(PlaylistType.Movies);
        var subs = Client.GetExternalSubtitles("tt0944947", 1, 1);
        var index = Client.GetSessionIndex()[0];
        var storage = Client.GetStorages()[0];
        var session = Client.GetPlaybackSessions("any")[0];
        var progress = Client.GetProgress("tt0111161", "u42");

        Assert.Equal((101L, "Prison dramas"), (movies[0].Id, movies[0].Name));
        Assert.Equal(new[] { "tt0111161", "tt0120689", "tt0068646" }, movies[0].ImdbIds);
        Assert.Equal(subs[0].Id, subs[1].ParentId);
        Assert.Null(subs[0].ParentId);
        Assert.Equal(("u42", 2147483648L, "ps-7f3a91"), (index.User, index.Size, index.SessionKey));
        Assert.Equal(274877906944L, storage.Used);
        Assert.Equal(session.Value!.Select(c => (bool?)(c == '1')), session.Bits);
        Assert.Equal(("RVD_Position_u42_0_tt0111161_-1_-1_8520", -1, 8520L),
                     (progress[0].Key, progress[0].Season, progress[0].Size));
    }
}
