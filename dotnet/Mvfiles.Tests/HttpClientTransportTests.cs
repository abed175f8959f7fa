using System;
using System.Collections.Generic;
using System.IO;
using System.Net;
using System.Net.Http;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using System.Threading.Tasks;
using Mvfiles.Interop;
using Xunit;

namespace Mvfiles.Tests;

public sealed unsafe class HttpClientTransportTests : LoopbackTest
{
    public HttpClientTransportTests(Loopback loopback) : base(loopback) { }

    [Fact]
    public void Look_ups_go_through_the_host_client_and_its_failures_are_the_transports()
    {
        Client.SetHost(Origin);
        Client.UseHttpClient(new HttpClient());
        Assert.Equal("k-tt0111161", Assert.Single(Client.GetFiles("tt0111161")).Key);
        Assert.Equal(200, Client.LastHttpStatus);
        Assert.Empty(Client.GetFiles("tt7654321"));
        Assert.Equal(404, Client.LastHttpStatus);

        Client.SetHost("http://127.0.0.1:1"); // nothing listens there
        var e = Assert.Throws<MvfilesException>(() => Client.GetFiles("tt4154796"));
        Assert.Equal((MvfilesResult.Transport, 0), (e.Code, e.HttpStatus));
        Assert.StartsWith("transport: transport: httpclient: ", e.Message);
    }

    [Fact]
    public void The_request_is_sent_as_the_library_built_it()
    {
        HttpRequestMessage? seen = null;
        string? body = null;
        Client.UseHttpClient(new HttpClient(new Stub(req =>
        {
            (seen, body) = (req, req.Content!.ReadAsStringAsync().Result);
            return new MemoryStream(Encoding.UTF8.GetBytes("[{\"key\":\"k1\"}]"));
        })));
        Assert.Equal("k1", Assert.Single(Client.GetFilesByKeys(new[] { "k1", "k2" })).Key);
        Assert.Equal(("POST", "https://api.mvfiles.example/api/finder/getfiles", "[\"k1\",\"k2\"]"),
                     (seen!.Method.Method, seen.RequestUri!.ToString(), body));
        Assert.StartsWith("application/json", seen.Content!.Headers.ContentType!.ToString());
    }

    // The library's callbacks ask to stop past 32 MiB; the transport must
    // then stop reading, and the library fails the look-up.
    [Fact]
    public void A_body_over_the_bound_stops_the_reading_and_fails()
    {
        var large = new Told(new byte[40 << 20]);
        Client.UseHttpClient(new HttpClient(new Stub(_ => large)));
        var e = Assert.Throws<MvfilesException>(() => Client.GetFiles("tt0111161"));
        Assert.Equal((MvfilesResult.Transport, "transport: body exceeds 32 MB bound"), (e.Code, e.Message));
        Assert.InRange(large.ReadUpTo, 32 << 20, (32 << 20) + (1 << 20));
    }

    [Fact]
    public void Status_and_headers_come_first_in_order_then_the_body()
    {
        var x = Exchange(Origin + "/raw-headers?plain=1");
        Assert.Equal((0, 200, 4L), (x.Result, x.Status, x.Bytes));
        Assert.Equal((":status", "200"), x.Headers[0]);
        Assert.True(x.Headers.IndexOf(("X-First", "one")) < x.Headers.IndexOf(("X-Last", "last")));
        Assert.Contains(("X-Empty", ""), x.Headers);
    }

    [Theory]
    [InlineData(1, long.MaxValue, 1, 0L)]         // header callback stops: nothing more of either kind
    [InlineData(99, 1, -1, 65536L)]               // body callback stops after its first piece
    public void A_callback_that_asks_to_stop_ends_the_delivery(int headerStop, long bodyStop, int headers, long bytes)
    {
        var x = Exchange(Origin + "/large?n=1048576", headerStop, bodyStop);
        Assert.Equal((0, 200, 1), (x.Result, x.Status, headers < 0 ? 1 : x.Headers.Count));
        Assert.InRange(x.Bytes, bytes == 0 ? 0 : 1, bytes);
        Assert.Equal(bytes == 0 ? 0 : 1, x.Pieces);
    }

    [Fact]
    public void A_refused_record_fails_with_a_text_released_by_the_transport()
    {
        var x = Exchange(Origin, size: 111);
        Assert.Equal((-1, 0, "httpclient: bad request"), (x.Result, x.Status, x.Error));
    }

    // ---- calling the transport record as the library does ----------------

    private sealed class Delivery
    {
        public int Result, Status, Pieces;
        public long Bytes;
        public string? Error;
        public readonly List<(string, string)> Headers = new();
    }

    private static Delivery Exchange(string url, int headerStop = int.MaxValue, long bodyStop = long.MaxValue,
                                     uint size = 112)
    {
        var x = new Delivery();
        HttpClientTransport.HeaderFn onHeader = (_, name, value) =>
        {
            x.Headers.Add((Utf8.Copy(name)!, Utf8.Copy(value)!));
            return x.Headers.Count >= headerStop ? 1 : 0;
        };
        HttpClientTransport.BodyFn onBody = (_, data, len) =>
        {
            x.Pieces++;
            x.Bytes += (long)len;
            return x.Pieces >= bodyStop ? 1 : 0;
        };
        using var transport = new HttpClientTransport(new HttpClient());
        fixed (byte* u = Utf8.Encode(url, "url"), m = Utf8.Encode("GET", "method"))
        {
            var req = new VeltronaRequest
            {
                Size = size, Method = m, Url = u,
                OnHeader = Marshal.GetFunctionPointerForDelegate(onHeader),
                OnBody = Marshal.GetFunctionPointerForDelegate(onBody),
            };
            int status = -5;
            IntPtr err;
            var request = (delegate* unmanaged[Cdecl]<IntPtr, VeltronaRequest*, int*, IntPtr*, int>)transport.Record->Request;
            x.Result = request(IntPtr.Zero, &req, &status, &err);
            x.Status = status;
            x.Error = Utf8.Copy((byte*)err);
            if (err != IntPtr.Zero)
                ((delegate* unmanaged[Cdecl]<IntPtr, IntPtr, void>)transport.Record->Free)(IntPtr.Zero, err);
        }
        GC.KeepAlive(onHeader);
        GC.KeepAlive(onBody);
        return x;
    }

    // A handler answering 200 with the stream a test makes for each request.
    private sealed class Stub : HttpMessageHandler
    {
        private readonly Func<HttpRequestMessage, Stream> _answer;

        public Stub(Func<HttpRequestMessage, Stream> answer) => _answer = answer;

        protected override Task<HttpResponseMessage> SendAsync(HttpRequestMessage request, CancellationToken token) =>
            Task.FromResult(new HttpResponseMessage(HttpStatusCode.OK) { Content = new StreamContent(_answer(request)) });
    }

    // A body that tells how far it had been read when it was closed.
    private sealed class Told(byte[] data) : MemoryStream(data)
    {
        public long ReadUpTo;

        protected override void Dispose(bool disposing)
        {
            if (CanRead)
                ReadUpTo = Position;
            base.Dispose(disposing);
        }
    }
}
