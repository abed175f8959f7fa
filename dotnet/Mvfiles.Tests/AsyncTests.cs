using System;
using System.IO;
using System.Net;
using System.Net.Http;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace Mvfiles.Tests;

public sealed class AsyncTests : ClientTest
{
    // A handler whose answers begin at once and whose body then stalls
    // until its request is aborted.
    private sealed class Stalled : HttpMessageHandler
    {
        public readonly TaskCompletionSource<bool> Sent = new(TaskCreationOptions.RunContinuationsAsynchronously);
        public Func<Task>? Inside;

        protected override async Task<HttpResponseMessage> SendAsync(HttpRequestMessage request, CancellationToken token)
        {
            if (Inside != null)
                await Inside();
            Sent.TrySetResult(true);
            return new HttpResponseMessage(HttpStatusCode.OK) { Content = new StreamContent(new Stall()) };
        }
    }

    private sealed class Stall : MemoryStream
    {
        public override async Task<int> ReadAsync(byte[] buffer, int offset, int count, CancellationToken token)
        {
            await Task.Yield();  // resumes on whatever context the reader has
            await Task.Delay(System.Threading.Timeout.Infinite, token);
            return 0;
        }
    }

    [Fact]
    public async Task A_token_removes_a_queued_call_at_once_and_aborts_an_HttpClient_call_in_flight()
    {
        var stalled = new Stalled();
        Client.UseHttpClient(new HttpClient(stalled));
        using var first = new CancellationTokenSource();
        using var second = new CancellationTokenSource();
        var inFlight = Client.GetFilesAsync("tt0111161", cancellationToken: first.Token);
        await stalled.Sent.Task;
        var queued = Client.GetPlaylistsAsync(PlaylistType.Movies, second.Token);
        second.Cancel();
        Assert.Equal(second.Token, (await Assert.ThrowsAnyAsync<OperationCanceledException>(() => queued)).CancellationToken);
        Assert.False(inFlight.IsCompleted);
        first.Cancel();
        Assert.Equal(first.Token, (await Assert.ThrowsAnyAsync<OperationCanceledException>(() => inFlight)).CancellationToken);
        Assert.StartsWith("transport: transport: httpclient: cancelled", Client.LastError); // the native call returned
    }

    [Theory]
    [InlineData(true)]      // the client's own Timeout
    [InlineData(false)]     // HttpClient.Timeout, the body included
    public void A_timeout_bounds_a_stalled_body(bool clientTimeout)
    {
        var http = new HttpClient(new Stalled());
        if (clientTimeout)
            Client.Timeout = TimeSpan.FromMilliseconds(300);
        else
            http.Timeout = TimeSpan.FromMilliseconds(300);
        Client.UseHttpClient(http);
        var e = Assert.Throws<MvfilesException>(() => Client.GetFiles("tt0111161"));
        Assert.Equal((MvfilesResult.Transport, "transport: transport: httpclient: timed out"), (e.Code, e.Message));
        Assert.IsType<TimeoutException>(e.InnerException);
    }

    // Neither a caller on a single-threaded context nor a handler that
    // calls the library may wait for ever.
    [Fact]
    public void A_UI_thread_and_a_handler_calling_the_client_never_deadlock()
    {
        Exception? before = null, after = null;
        var handler = new Stalled();
        handler.Inside = async () =>
        {
            before = Record(() => Client.LastError);
            await Task.Yield();
            after = Record(() => Client.LastError);
        };
        Client.UseHttpClient(new HttpClient(handler) { Timeout = TimeSpan.FromSeconds(1) });
        var ui = new Thread(() =>
        {
            SynchronizationContext.SetSynchronizationContext(new SingleThreaded());
            Assert.Throws<MvfilesException>(() => Client.GetFiles("tt0111161"));
        });
        ui.Start();
        Assert.True(ui.Join(TimeSpan.FromSeconds(30)));
        Assert.IsType<InvalidOperationException>(before);
        Assert.IsType<InvalidOperationException>(after);
    }

    private static Exception? Record(Func<object> call)
    {
        try { call(); return null; }
        catch (Exception e) { return e; }
    }

    // A context whose posts run only when its thread pumps them, which a
    // thread blocked in a synchronous call never does.
    private sealed class SingleThreaded : SynchronizationContext
    {
        public override void Post(SendOrPostCallback d, object? state) { }
    }

    [Fact]
    public void A_disposed_client_refuses_every_member()
    {
        var client = new MvfilesClient();
        client.Dispose();
        Assert.Throws<ObjectDisposedException>(() => client.LastError);
        Assert.Throws<ObjectDisposedException>(() => { _ = client.GetFilesAsync("tt0111161"); });
    }
}
