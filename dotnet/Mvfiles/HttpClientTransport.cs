using System;
using System.Globalization;
using System.IO;
using System.IO.Compression;
using System.Linq;
using System.Net.Http;
using System.Runtime.InteropServices;
using System.Threading;
using System.Threading.Tasks;
using Mvfiles.Interop;

namespace Mvfiles;

/// A transport record whose request operation sends with a host's
/// HttpClient. The record lives in unmanaged memory and its two operations
/// are delegates held by this object, so the library's pointers stay valid
/// for as long as the object is reachable; the hub keeps it so while it is
/// installed and disposes of it once another transport replaced it.
///
/// Its operations run on the binding's worker, which has no
/// synchronisation context: waiting there for the client's tasks needs no
/// other thread than the pool's. The exchange is bounded by the library's
/// timeouts, the client's own Timeout (the body included), and the running
/// call's token and deadline.
internal sealed unsafe class HttpClientTransport : IDisposable
{
    private const uint IoMagic = 0x56544C48u;     // "VTLH"
    private const uint DecompressFlag = 1u;
    private const uint KeepRecvTimeoutFlag = 2u;
    private const int PieceSize = 64 * 1024;

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    private delegate int RequestFn(IntPtr userData, VeltronaRequest* req, int* status, IntPtr* err);
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    private delegate void FreeFn(IntPtr userData, IntPtr text);
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate int HeaderFn(IntPtr ctx, byte* name, byte* value);
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate int BodyFn(IntPtr ctx, byte* data, ulong len);

    private readonly HttpClient _http;
    private readonly Hub? _hub;
    private readonly RequestFn _request;
    private readonly FreeFn _free;
    private VeltronaHttp* _record;

    internal HttpClientTransport(HttpClient http, Hub? hub = null)
    {
        _http = http;
        _hub = hub;
        _request = Request;
        _free = Free;
        _record = (VeltronaHttp*)Marshal.AllocHGlobal(sizeof(VeltronaHttp));
        *_record = new VeltronaHttp
        {
            Size = (uint)sizeof(VeltronaHttp),
            Version = 1,
            Request = Marshal.GetFunctionPointerForDelegate(_request),
            Free = Marshal.GetFunctionPointerForDelegate(_free),
        };
    }

    /// The transport record, as the library sees it.
    internal VeltronaHttp* Record => _record;

    /// Hands the record to the library; the io record and its context are
    /// only read during the call.
    internal int Install()
    {
        var ctx = new VeltronaIoCtx { Magic = IoMagic, Size = (uint)sizeof(VeltronaIoCtx), Http = _record };
        var io = new VeltronaIo { Ctx = &ctx };
        return Native.mvfiles_set_io(&io);
    }

    public void Dispose()
    {
        if (_record != null)
            Marshal.FreeHGlobal((IntPtr)_record);
        _record = null;
    }

    private int Request(IntPtr userData, VeltronaRequest* req, int* status, IntPtr* err)
    {
        if (status == null || err == null)
            return -1;
        *status = 0;
        *err = IntPtr.Zero;
        try
        {
            if (req == null || req->Size < sizeof(VeltronaRequest) || req->Method == null || req->Url == null)
                return Fail(err, "bad request");
            string? failure = Exchange(req, status);
            return failure == null ? 0 : Fail(err, failure);
        }
        catch (Exception e)
        {
            // Nothing may unwind into the library.
            if (_hub != null)
                _hub.TransportError = e;
            return Fail(err, Describe(e));
        }
    }

    private static string Describe(Exception e)
    {
        if (e is UriFormatException)
            return "bad url: " + e.Message;
        if (e is FormatException)
            return "bad method";
        if (e is OperationCanceledException)
            return e.InnerException is TimeoutException ? "timed out" : "cancelled";
        if (e is AggregateException a && a.InnerExceptions.Count == 1)
            e = a.InnerExceptions[0];
        string text = e.Message;
        for (var inner = e.InnerException; inner != null; inner = inner.InnerException)
            text += ": " + inner.Message;
        return text;
    }

    private static int Fail(IntPtr* err, string message)
    {
        byte[] text = System.Text.Encoding.UTF8.GetBytes("httpclient: " + message + "\0");
        *err = Marshal.AllocHGlobal(text.Length);
        Marshal.Copy(text, 0, *err, text.Length);
        return -1;
    }

    private static void Free(IntPtr userData, IntPtr text)
    {
        if (text != IntPtr.Zero)
            Marshal.FreeHGlobal(text);
    }

    // One exchange; null on success, else the failure's text. A failure
    // after a cancellation is told by what cancelled it.
    private string? Exchange(VeltronaRequest* req, int* status)
    {
        CancellationToken caller = _hub?.CallToken ?? default, deadline = _hub?.CallDeadline ?? default;
        using var timeouts = new CancellationTokenSource();
        using var whole = new CancellationTokenSource();
        if (_http.Timeout != System.Threading.Timeout.InfiniteTimeSpan)
            whole.CancelAfter(_http.Timeout);
        using var linked = CancellationTokenSource.CreateLinkedTokenSource(caller, deadline, timeouts.Token, whole.Token);
        _hub?.EnterTransport();
        try
        {
            Exchange(req, status, timeouts, linked.Token);
            return null;
        }
        catch (Exception e) when (linked.IsCancellationRequested)
        {
            *status = 0;
            bool cancelled = caller.IsCancellationRequested;
            if (_hub != null)
                _hub.TransportError = cancelled ? e : new TimeoutException("the HTTP exchange timed out", e);
            return cancelled ? "cancelled" : "timed out";
        }
        finally
        {
            _hub?.LeaveTransport();
        }
    }

    private void Exchange(VeltronaRequest* req, int* status, CancellationTokenSource timeouts, CancellationToken token)
    {
        int sendMs = req->TimeoutMs > 0 ? req->TimeoutMs : 60000;
        int connectMs = req->ConnectTimeoutMs > 0 ? req->ConnectTimeoutMs : 15000;
        int recvMs = (req->Flags & KeepRecvTimeoutFlag) != 0 ? sendMs
                   : req->RecvTimeoutMs > 0 ? req->RecvTimeoutMs : 60000;

        using var message = BuildMessage(req);
        // HttpClient has no per-request connect timeout: connecting and
        // sending share one deadline until the response head arrives.
        timeouts.CancelAfter(connectMs + sendMs);
        using var response = _http.SendAsync(message, HttpCompletionOption.ResponseHeadersRead, token)
                                  .GetAwaiter().GetResult();
        // A body stream that does not watch the token is stopped by closing the response.
        using var abort = token.Register(response.Dispose);
        *status = (int)response.StatusCode;

        var onHeader = req->OnHeader == IntPtr.Zero ? null : Marshal.GetDelegateForFunctionPointer<HeaderFn>(req->OnHeader);
        var onBody = req->OnBody == IntPtr.Zero ? null : Marshal.GetDelegateForFunctionPointer<BodyFn>(req->OnBody);
        if (onHeader != null)
        {
            if (Deliver(onHeader, req->CbCtx, ":status", ((int)response.StatusCode).ToString(CultureInfo.InvariantCulture)))
                return;
            foreach (var header in response.Headers.Concat(response.Content.Headers))
                foreach (string value in header.Value)
                    if (Deliver(onHeader, req->CbCtx, header.Key, value.TrimStart(' ', '\t')))
                        return;
        }
        if (onBody == null)
            return;

        Stream body = response.Content.ReadAsStreamAsync().GetAwaiter().GetResult();
        if ((req->Flags & DecompressFlag) != 0)
            body = Decoded(body, response.Content.Headers.ContentEncoding.LastOrDefault());
        using (body)
        {
            var piece = new byte[PieceSize];
            fixed (byte* p = piece)
                while (true)
                {
                    timeouts.CancelAfter(recvMs);
                    int n = body.ReadAsync(piece, 0, piece.Length, token).GetAwaiter().GetResult();
                    token.ThrowIfCancellationRequested();
                    if (n == 0 || onBody(req->CbCtx, p, (ulong)n) != 0)
                        return;
                }
        }
    }

    private static HttpRequestMessage BuildMessage(VeltronaRequest* req)
    {
        var method = new HttpMethod(Utf8.Copy(req->Method)!);
        var message = new HttpRequestMessage(method, new Uri(Utf8.Copy(req->Url)!, UriKind.Absolute));
        ByteArrayContent? content = null;
        if (req->Body != null && req->BodyLen > 0)
        {
            var bytes = new byte[checked((int)req->BodyLen)];
            Marshal.Copy((IntPtr)req->Body, bytes, 0, bytes.Length);
            content = new ByteArrayContent(bytes);
        }
        for (ulong i = 0; req->Headers != null && i < req->HeaderCount; i++)
        {
            string? line = Utf8.Copy(req->Headers[i]);
            int colon = line?.IndexOf(':') ?? -1;
            if (line == null || colon <= 0)
                continue;
            string name = line.Substring(0, colon).Trim(), value = line.Substring(colon + 1).Trim();
            // Content headers (Content-Type, ...) belong to the body.
            if (!message.Headers.TryAddWithoutValidation(name, value))
                (content ??= new ByteArrayContent(Array.Empty<byte>())).Headers.TryAddWithoutValidation(name, value);
        }
        if ((req->Flags & DecompressFlag) != 0 && !message.Headers.AcceptEncoding.Any())
            message.Headers.TryAddWithoutValidation("Accept-Encoding", "gzip, deflate");
        message.Content = content;
        return message;
    }

    // A body the handler left encoded is decoded here when the request asked for it.
    private static Stream Decoded(Stream body, string? encoding) => encoding?.ToLowerInvariant() switch
    {
        "gzip" => new GZipStream(body, CompressionMode.Decompress),
        "deflate" => new DeflateStream(body, CompressionMode.Decompress),
        _ => body,
    };

    // Calls the header callback; true when it asks to stop.
    private static bool Deliver(HeaderFn onHeader, IntPtr ctx, string name, string value)
    {
        fixed (byte* n = Utf8.Encode(name, nameof(name)), v = Utf8.Encode(value, nameof(value)))
            return onHeader(ctx, n, v) != 0;
    }
}

// The records of the transport ABI, laid out as the library's header has them.

[StructLayout(LayoutKind.Sequential)]
internal unsafe struct VeltronaHttp
{
    public uint Size;
    public uint Version;
    public IntPtr UserData;
    public IntPtr Request;
    public IntPtr Free;
}

[StructLayout(LayoutKind.Sequential)]
internal unsafe struct VeltronaRequest
{
    public uint Size;
    public byte* Method;
    public byte* Url;
    public byte** Headers;
    public ulong HeaderCount;
    public byte* Body;
    public ulong BodyLen;
    public byte* User;
    public byte* Password;
    public int TimeoutMs;
    public int ConnectTimeoutMs;
    public uint Flags;
    public int RecvTimeoutMs;
    public IntPtr OnHeader;
    public IntPtr OnBody;
    public IntPtr CbCtx;
}

[StructLayout(LayoutKind.Sequential)]
internal unsafe struct VeltronaIoCtx
{
    public uint Magic;
    public uint Size;
    public VeltronaHttp* Http;
    public ulong UserData;
}

[StructLayout(LayoutKind.Sequential)]
internal unsafe struct VeltronaIo
{
    public VeltronaIoCtx* Ctx;
    public IntPtr Get;
    public IntPtr Post;
    public IntPtr Free;
}
