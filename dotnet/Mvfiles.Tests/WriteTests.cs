using Xunit;

namespace Mvfiles.Tests;

public sealed class WriteTests : LoopbackTest
{
    public WriteTests(Loopback loopback) : base(loopback) { }

    [Fact]
    public void Writes_run_only_armed_and_disarm_after_the_call()
    {
        var e = Assert.Throws<MvfilesException>(() => Client.DownloadMagnet(false, "u42", "magnet:?xt=x"));
        Assert.Equal(MvfilesResult.NotArmed, e.Code);
        Assert.Equal(0, Client.GetFakeStats().Calls);

        // The fixture backend has no write routes.
        e = Assert.Throws<MvfilesException>(() => Client.SaveProgress(true, "u42", 0, "tt0111161", -1, -1, 30, 120));
        Assert.Equal(MvfilesResult.Transport, e.Code);
        Assert.False(Client.WritesArmed);

        Client.UseRealTransport(Origin);
        Client.SaveProgress(true, "u42", 0, "tt0111161", -1, -1, 30, 120);
        Assert.Equal(200, Client.LastHttpStatus);
        Assert.False(Client.WritesArmed);
    }
}
