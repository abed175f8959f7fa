using System;
using System.Collections.Generic;
using System.Text;

namespace Mvfiles;

// Every record holds copies: it stays valid whatever the library does next.
// A text is null where the service left the member out or sent another type.
// Records compare by value, their lists included.

/// <summary>One access entry of a file.</summary>
/// <param name="Uri">The entry's URI, or null.</param>
/// <param name="Url">The entry's URL, or null.</param>
/// <param name="IsActive">Whether the entry is active (false when not stated).</param>
/// <param name="ContentSource">The integer accessSource.contentSource; null when missing or not an integer.</param>
public sealed record AccessEntry(string? Uri, string? Url, bool IsActive, int? ContentSource);

/// <summary>One file of the catalogue, in the service's order.</summary>
/// <param name="Index">Zero-based position in the answer.</param>
/// <param name="Key">The file's key.</param>
/// <param name="ImdbId">IMDb id of the title.</param>
/// <param name="ParentKey">Key of the parent record.</param>
/// <param name="FileName">File name.</param>
/// <param name="Path">Path on the service.</param>
/// <param name="Extension">Extension as sent, such as ".mkv".</param>
/// <param name="SubtitleLanguages">Subtitle languages, comma-separated.</param>
/// <param name="SubtitleLanguageTitles">Titles of those languages, comma-separated.</param>
/// <param name="Created">Creation time as sent.</param>
/// <param name="RecordUpdated">Update time as sent.</param>
/// <param name="Size">Size in bytes; 0 when missing (reals truncated, huge values saturated).</param>
/// <param name="DurationSeconds">Duration in seconds; 0 when missing.</param>
/// <param name="Season">Season; null when missing, not a number or below -1.</param>
/// <param name="Episode">Episode; null when missing, not a number or below -1.</param>
/// <param name="Hdr">HDR flag; null when missing or not a boolean.</param>
/// <param name="Hevc">HEVC flag; null when missing or not a boolean.</param>
/// <param name="DolbyAtmos">Dolby Atmos flag; null when missing or not a boolean.</param>
/// <param name="SubtitleCount">Number of subtitles; 0 when missing.</param>
/// <param name="AudioChannels">Audio channels; 0 when missing.</param>
/// <param name="VideoWidth">Video width in pixels; 0 when missing.</param>
/// <param name="VideoHeight">Video height in pixels; 0 when missing.</param>
/// <param name="Entries">The file's access entries.</param>
public sealed record FileEntry(
    int Index, string? Key, string? ImdbId, string? ParentKey, string? FileName, string? Path,
    string? Extension, string? SubtitleLanguages, string? SubtitleLanguageTitles, string? Created,
    string? RecordUpdated, long Size, long DurationSeconds, int? Season, int? Episode, bool? Hdr,
    bool? Hevc, bool? DolbyAtmos, int SubtitleCount, int AudioChannels, int VideoWidth,
    int VideoHeight, IReadOnlyList<AccessEntry> Entries)
{
    private readonly Utf8Text? _json;

    internal FileEntry(int index, string? key, string? imdbId, string? parentKey, string? fileName,
                       string? path, string? extension, string? subtitleLanguages,
                       string? subtitleLanguageTitles, string? created, string? recordUpdated, long size,
                       long durationSeconds, int? season, int? episode, bool? hdr, bool? hevc,
                       bool? dolbyAtmos, int subtitleCount, int audioChannels, int videoWidth,
                       int videoHeight, IReadOnlyList<AccessEntry> entries, Utf8Text? json)
        : this(index, key, imdbId, parentKey, fileName, path, extension, subtitleLanguages,
               subtitleLanguageTitles, created, recordUpdated, size, durationSeconds, season, episode, hdr,
               hevc, dolbyAtmos, subtitleCount, audioChannels, videoWidth, videoHeight, entries)
        => _json = json;

    /// <summary>The file as compact JSON: every member the service sent, in its order, numbers
    /// written again from their values (1E6 as 1000000.0); null only when the library ran out
    /// of memory. Copied with the file; made into a text when first read.</summary>
    public string? Json => _json?.Text;
}

/// A UTF-8 text kept as a slice of a shared buffer and decoded when first
/// read; two equal when their bytes are.
internal sealed class Utf8Text : IEquatable<Utf8Text>
{
    private readonly byte[] _buffer;
    private readonly int _offset, _length;
    private string? _text;

    internal Utf8Text(byte[] buffer, int offset, int length)
    {
        _buffer = buffer;
        _offset = offset;
        _length = length;
    }

    internal string Text => _text ??= Encoding.UTF8.GetString(_buffer, _offset, _length);

    public bool Equals(Utf8Text? other)
    {
        if (other is null || other._length != _length)
            return false;
        for (int i = 0; i < _length; i++)
            if (_buffer[_offset + i] != other._buffer[other._offset + i])
                return false;
        return true;
    }

    public override bool Equals(object? obj) => obj is Utf8Text other && Equals(other);

    public override int GetHashCode() => _length;
}

/// <summary>One playlist row.</summary>
/// <param name="Key">The row's key.</param>
/// <param name="Value">The row's raw value.</param>
/// <param name="Id">The list id of a JSON object value (0 when it has none); null for any other value.</param>
/// <param name="Name">Name, from a JSON object value.</param>
/// <param name="Logo">Logo path, from a JSON object value.</param>
/// <param name="Origin">Origin country, from a JSON object value.</param>
/// <param name="ImdbIds">The IMDb ids: the object's "IMDbIds" strings, or the pieces of a comma-separated value.</param>
public sealed record Playlist(string? Key, string? Value, long? Id, string? Name, string? Logo,
                              string? Origin, IReadOnlyList<string> ImdbIds);

/// <summary>One saved watch position.</summary>
/// <param name="Key">The row's key.</param>
/// <param name="Value">Watched fraction; 0 when missing.</param>
/// <param name="Size">Duration in whole seconds, from the key; 0 when missing.</param>
/// <param name="Season">Season, from the key (-1 for a film); 0 when missing.</param>
/// <param name="Episode">Episode, from the key (-1 for a film); 0 when missing.</param>
public sealed record Progress(string? Key, double Value, long Size, int Season, int Episode);

/// <summary>One external subtitle.</summary>
/// <param name="Key">The row's key.</param>
/// <param name="Uri">The subtitle's URI (the row's value).</param>
/// <param name="Label">The rest of the key after the episode prefix.</param>
/// <param name="FileName">The label's first part, taken as the file name.</param>
/// <param name="Id">Stable hash of the key.</param>
/// <param name="ParentId">Id of the subtitle this one derives from; null for a root subtitle.</param>
public sealed record Subtitle(string? Key, string? Uri, string? Label, string? FileName, long Id,
                              long? ParentId);

/// <summary>One row of the playback-session index, read from the parts of its key.</summary>
/// <param name="Key">The row's key.</param>
/// <param name="User">User id.</param>
/// <param name="ImdbId">IMDb id.</param>
/// <param name="SessionKey">Session key.</param>
/// <param name="Profile">Profile; 0 when missing.</param>
/// <param name="Season">Season; 0 when missing.</param>
/// <param name="Episode">Episode; 0 when missing.</param>
/// <param name="Size">Size; 0 when missing.</param>
public sealed record SessionIndexEntry(string? Key, string? User, string? ImdbId, string? SessionKey,
                                       int Profile, int Season, int Episode, long Size);

/// <summary>One cloud storage of the user.</summary>
/// <param name="Id">Drive id.</param>
/// <param name="Type">Drive type.</param>
/// <param name="Email">Owner's e-mail.</param>
/// <param name="Name">Owner's display name.</param>
/// <param name="State">Quota state.</param>
/// <param name="Total">Quota in bytes; 0 when missing.</param>
/// <param name="Used">Bytes used; 0 when missing.</param>
/// <param name="Remaining">Bytes remaining; 0 when missing.</param>
public sealed record Storage(string? Id, string? Type, string? Email, string? Name, string? State,
                             long Total, long Used, long Remaining);

/// <summary>One playback-session row.</summary>
/// <param name="Id">Session id.</param>
/// <param name="Created">Creation time as sent.</param>
/// <param name="Value">The value, a text of flag characters.</param>
/// <param name="Bits">One flag per character of the value: true for "1", false for "0", null for anything else.</param>
public sealed record PlaybackSession(string? Id, string? Created, string? Value, IReadOnlyList<bool?> Bits);

/// <summary>Playlist types of the service.</summary>
public enum PlaylistType
{
    /// <summary>Production companies' lists.</summary>
    Production,
    /// <summary>Film lists.</summary>
    Movies,
    /// <summary>Series lists.</summary>
    Series,
}

/// <summary>The library's cache families, one table each.</summary>
public enum CacheFamily
{
    /// <summary>The file table.</summary>
    Files,
    /// <summary>The key-value table (playlists, progress, subtitles, session index, storages).</summary>
    KeyValue,
    /// <summary>The playback-session table.</summary>
    Sessions,
    /// <summary>All three families.</summary>
    All,
}

/// <summary>Statistics of the offline fixture backend.</summary>
/// <param name="Calls">Requests received.</param>
/// <param name="Failures">Routing failures: missing file, write, unrouted URL.</param>
/// <param name="LastUrl">"GET " or "POST " and the URL of the last request; "" before any.</param>
public sealed record FakeStats(long Calls, long Failures, string LastUrl);

/// <summary>Failure modes of the offline fixture backend.</summary>
public enum FakeMode
{
    /// <summary>Normal routing.</summary>
    Normal = 0,
    /// <summary>Transport failure "fake: injected transport failure".</summary>
    TransportFailure = 1,
    /// <summary>HTTP 500.</summary>
    Http500 = 2,
    /// <summary>HTTP 404.</summary>
    Http404 = 3,
    /// <summary>200 with invalid JSON.</summary>
    InvalidJson = 4,
    /// <summary>200 with an empty body.</summary>
    EmptyBody = 5,
    /// <summary>200 with "null".</summary>
    Null = 6,
}
