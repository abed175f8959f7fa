using System;

namespace Mvfiles;

/// <summary>Result codes of the library's operations.</summary>
public enum MvfilesResult
{
    /// <summary>Success.</summary>
    Ok = 0,
    /// <summary>No HTTP response (connection failed, body over 32 MiB), or an unusable transport.</summary>
    Transport = 1,
    /// <summary>HTTP status outside 200-299 other than 404 (for the playback sessions, 404 too).</summary>
    Http = 2,
    /// <summary>The body is not JSON, or its root is of the wrong kind.</summary>
    Json = 3,
    /// <summary>Empty body or empty answer.</summary>
    Empty = 4,
    /// <summary>HTTP 404: nothing found.</summary>
    NotFound = 5,
    /// <summary>Invalid argument; nothing was sent.</summary>
    Argument = 6,
    /// <summary>No transport installed.</summary>
    NoTransport = 7,
    /// <summary>The library ran out of memory.</summary>
    OutOfMemory = 8,
    /// <summary>A write was attempted while writes are disarmed.</summary>
    NotArmed = 9,
}

/// <summary>
/// A library operation failed. <see cref="Exception.Message"/> is the
/// library's own message (its last-error text). For a transport failure
/// through <see cref="MvfilesClient.UseHttpClient"/>,
/// <see cref="Exception.InnerException"/> is the HttpClient's exception.
/// </summary>
public sealed class MvfilesException : Exception
{
    /// <summary>Creates an exception for a failed operation.</summary>
    /// <param name="code">The operation's result.</param>
    /// <param name="message">The library's message.</param>
    /// <param name="httpStatus">HTTP status of the last exchange, 0 when there was none.</param>
    /// <param name="innerException">The host transport's exception behind a transport failure, or null.</param>
    public MvfilesException(MvfilesResult code, string message, int httpStatus = 0, Exception? innerException = null)
        : base(message.Length > 0 ? message : code.ToString(), innerException)
    {
        Code = code;
        HttpStatus = httpStatus;
    }

    /// <summary>The operation's result code.</summary>
    public MvfilesResult Code { get; }

    /// <summary>HTTP status of the last exchange; 0 when the call sent nothing or got no answer.</summary>
    public int HttpStatus { get; }

    /// <inheritdoc/>
    public override string ToString() => $"MvfilesException: {Code} (HTTP {HttpStatus}): {Message}";
}
