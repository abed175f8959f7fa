using System;
using System.Collections.Generic;
using System.Net.Http;
using System.Threading;
using System.Threading.Tasks;

namespace Mvfiles;

/// <summary>
/// The members of <see cref="MvfilesClient"/>, for hosts that substitute
/// the client in their tests. Look-ups give an empty list when nothing is
/// found (an empty answer, HTTP 404); every other failure raises
/// <see cref="MvfilesException"/>. Each <c>...Async</c> member is its
/// synchronous twin queued without holding a thread; its token removes a
/// queued call at once (see <see cref="MvfilesClient"/> for calls in flight)
/// and ends it with <see cref="OperationCanceledException"/>.
/// </summary>
public interface IMvfilesClient : IDisposable
{
    /// <summary>Message of the last operation that reports one; "" after a success.</summary>
    string LastError { get; }

    /// <summary>HTTP status of the last exchange; 0 when the last look-up sent nothing.</summary>
    int LastHttpStatus { get; }

    /// <summary>Whether the library's write switch is on (only during an armed write).</summary>
    bool WritesArmed { get; }

    /// <summary>
    /// Bound of each call of this client through <see cref="UseHttpClient"/>, from the moment
    /// the call starts on the worker; <see cref="Timeout.InfiniteTimeSpan"/> (the default)
    /// for none; one longer than the runtime's timers take (about 24.8 days, 49.7 on .NET 8)
    /// raises <see cref="ArgumentOutOfRangeException"/>. A call past it fails with
    /// <see cref="MvfilesResult.Transport"/> and a <see cref="TimeoutException"/> inside.
    /// The library's own transports keep their own timeouts. The HttpClient's own
    /// <see cref="HttpClient.Timeout"/> bounds each exchange too, its body included.
    /// </summary>
    TimeSpan Timeout { get; set; }

    /// <summary>
    /// Sets the service origin every URL starts with; "https://" is put in
    /// front of a value without "http://" or "https://". Null or "" restores
    /// the default origin. An origin the library cannot use whole makes the
    /// next look-ups and writes fail with <see cref="MvfilesResult.Argument"/>.
    /// </summary>
    /// <param name="origin">The origin, such as "https://api.example.net", or null.</param>
    void SetHost(string? origin);

    /// <summary>Sets the service origin from an absolute URI: its scheme, host, port and path
    /// (a trailing "/" left out).</summary>
    /// <param name="origin">The origin.</param>
    /// <exception cref="ArgumentException">A relative URI, or one with user information.</exception>
    void SetHost(Uri origin);

    /// <summary>
    /// Installs the library's own HTTP transport (libcurl on Linux, WinHTTP
    /// on Windows), after setting <paramref name="origin"/> when given.
    /// </summary>
    /// <param name="origin">An origin for <see cref="SetHost(string)"/>, or null to keep the current one.</param>
    /// <exception cref="MvfilesException"><see cref="MvfilesResult.Transport"/> when the build has no real transport.</exception>
    void UseRealTransport(string? origin = null);

    /// <summary>
    /// Installs the offline fixture backend, which answers every read route
    /// from one file per route of a corpus directory.
    /// </summary>
    /// <param name="corpusDirectory">The corpus; null for <see cref="MvfilesClient.BundledCorpus"/>.</param>
    /// <exception cref="MvfilesException"><see cref="MvfilesResult.Argument"/> when the library refuses the directory.</exception>
    void UseFake(string? corpusDirectory = null);

    /// <summary>
    /// Installs <paramref name="http"/> as the library's transport: every
    /// request of the library is sent with it, so its handlers (proxy,
    /// authentication, logging) apply. The exchange runs on the binding's
    /// worker, never on the caller's thread or synchronisation context. The
    /// client must stay usable while installed; it is not disposed here.
    /// </summary>
    /// <remarks>Redirects and credentials are the client's own business: for
    /// the library's behaviour, build it with a handler that does not follow
    /// redirects. The connect timeout of a request cannot be set per request
    /// and is covered by its send timeout. A handler must not call the
    /// library: such a call throws <see cref="InvalidOperationException"/>.</remarks>
    /// <param name="http">The client to send with.</param>
    /// <exception cref="MvfilesException">When the library refuses the transport.</exception>
    void UseHttpClient(HttpClient http);

    /// <summary>
    /// Releases every table, forgets the transport and disarms writes, at
    /// once and for every client of the process. The origin, the
    /// time-to-live values and the fixture backend's directory and mode stay.
    /// </summary>
    void Shutdown();

    /// <summary>
    /// Files of one IMDb title ("tt", either case, and 5 to 10 digits),
    /// optionally of one season and episode of a series (once either is
    /// given both are sent). Answered from the library's table, without a
    /// request, while the same query is within the files time-to-live; such
    /// an answer is the list returned before when the table has not changed since.
    /// </summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, or null for none.</param>
    /// <param name="episode">Episode, or null for none.</param>
    /// <returns>The files, in the service's order; empty when there are none.</returns>
    /// <exception cref="MvfilesException">NoTransport, Argument (malformed id), Transport, Http, Json or OutOfMemory.</exception>
    IReadOnlyList<FileEntry> GetFiles(string imdbId, int? season = null, int? episode = null);

    /// <summary>Queued <see cref="GetFiles"/>.</summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, or null for none.</param>
    /// <param name="episode">Episode, or null for none.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<FileEntry>> GetFilesAsync(string imdbId, int? season = null, int? episode = null,
                                                 CancellationToken cancellationToken = default);

    /// <summary>
    /// Files with the given keys (1 to 4096, none empty), POSTed to the
    /// service; never answered from the cache. The offline fixture backend
    /// always refuses it with <see cref="MvfilesResult.Http"/> (HTTP 405).
    /// </summary>
    /// <param name="keys">The file keys.</param>
    /// <returns>The files, in the service's order; empty when there are none.</returns>
    /// <exception cref="MvfilesException">As <see cref="GetFiles"/>; Argument for no keys, an empty key or more than 4096.</exception>
    IReadOnlyList<FileEntry> GetFilesByKeys(IEnumerable<string> keys);

    /// <summary>Queued <see cref="GetFilesByKeys"/>.</summary>
    /// <param name="keys">The file keys.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<FileEntry>> GetFilesByKeysAsync(IEnumerable<string> keys,
                                                       CancellationToken cancellationToken = default);

    /// <summary>
    /// Whether any file of the title (or of one episode) has an access
    /// entry. A title the service does not know, or answers empty for, is
    /// not playable. Replaces the file table like <see cref="GetFiles"/>.
    /// </summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, or null for none.</param>
    /// <param name="episode">Episode, or null for none.</param>
    /// <exception cref="MvfilesException">Transport, Http, Json, Argument, NoTransport or OutOfMemory.</exception>
    bool IsPlayable(string imdbId, int? season = null, int? episode = null);

    /// <summary>Queued <see cref="IsPlayable"/>.</summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, or null for none.</param>
    /// <param name="episode">Episode, or null for none.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<bool> IsPlayableAsync(string imdbId, int? season = null, int? episode = null,
                               CancellationToken cancellationToken = default);

    /// <summary>Rows of one playlist type.</summary>
    /// <param name="type">The playlist type.</param>
    /// <exception cref="MvfilesException">NoTransport, Transport, Http, Json or OutOfMemory.</exception>
    IReadOnlyList<Playlist> GetPlaylists(PlaylistType type);

    /// <summary>Queued <see cref="GetPlaylists"/>.</summary>
    /// <param name="type">The playlist type.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<Playlist>> GetPlaylistsAsync(PlaylistType type, CancellationToken cancellationToken = default);

    /// <summary>
    /// Watch positions of a user profile for a title. The key prefix has no
    /// trailing "_", so rows of longer ids that begin with the given one come too.
    /// </summary>
    /// <param name="imdbId">The title's IMDb id (required).</param>
    /// <param name="user">User id, or null for an empty user part.</param>
    /// <param name="profile">Profile number.</param>
    /// <exception cref="MvfilesException">Argument ("imdbId required", a prefix over 255 bytes), then as <see cref="GetPlaylists"/>.</exception>
    IReadOnlyList<Progress> GetProgress(string imdbId, string? user = null, int profile = 0);

    /// <summary>Queued <see cref="GetProgress"/>.</summary>
    /// <param name="imdbId">The title's IMDb id (required).</param>
    /// <param name="user">User id, or null for an empty user part.</param>
    /// <param name="profile">Profile number.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<Progress>> GetProgressAsync(string imdbId, string? user = null, int profile = 0,
                                                   CancellationToken cancellationToken = default);

    /// <summary>External subtitles of one episode of a title (-1, -1 for a film), in table order.</summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, -1 for a film.</param>
    /// <param name="episode">Episode, -1 for a film.</param>
    /// <returns>The subtitles kept; an empty list when none matches.</returns>
    /// <exception cref="MvfilesException">Argument ("imdb id required", a prefix over 127 bytes), then as <see cref="GetPlaylists"/>.</exception>
    IReadOnlyList<Subtitle> GetExternalSubtitles(string imdbId, int season = -1, int episode = -1);

    /// <summary>Queued <see cref="GetExternalSubtitles"/>.</summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, -1 for a film.</param>
    /// <param name="episode">Episode, -1 for a film.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<Subtitle>> GetExternalSubtitlesAsync(string imdbId, int season = -1, int episode = -1,
                                                            CancellationToken cancellationToken = default);

    /// <summary>Playback-session index rows of a user, or of every user for null.</summary>
    /// <param name="user">User id, or null. The prefix has no trailing "_": "ab" also lists "abc".</param>
    /// <exception cref="MvfilesException">Argument (a prefix over 255 bytes), then as <see cref="GetPlaylists"/>.</exception>
    IReadOnlyList<SessionIndexEntry> GetSessionIndex(string? user = null);

    /// <summary>Queued <see cref="GetSessionIndex"/>.</summary>
    /// <param name="user">User id, or null.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<SessionIndexEntry>> GetSessionIndexAsync(string? user = null,
                                                                CancellationToken cancellationToken = default);

    /// <summary>The user's cloud storages; two requests every call, never answered from the cache.</summary>
    /// <exception cref="MvfilesException">NoTransport, Transport, Http (the authorisation step
    /// answered anything but 200), Json or OutOfMemory.</exception>
    IReadOnlyList<Storage> GetStorages();

    /// <summary>Queued <see cref="GetStorages"/>.</summary>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<Storage>> GetStoragesAsync(CancellationToken cancellationToken = default);

    /// <summary>Playback-session rows by their ids; the text is sent as it is.</summary>
    /// <param name="ids">The ids text (not empty).</param>
    /// <returns>The rows; an empty list for an empty answer.</returns>
    /// <exception cref="MvfilesException">NoTransport, Argument, Transport, Http (404 included), Json or OutOfMemory.</exception>
    IReadOnlyList<PlaybackSession> GetPlaybackSessions(string ids);

    /// <summary>Queued <see cref="GetPlaybackSessions"/>.</summary>
    /// <param name="ids">The ids text (not empty).</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task<IReadOnlyList<PlaybackSession>> GetPlaybackSessionsAsync(string ids,
                                                                  CancellationToken cancellationToken = default);

    /// <summary>
    /// WRITE: saves a watch position as position/duration (clamped to 0..1)
    /// under the user's key. Changes real data; runs only with
    /// <paramref name="arm"/> true, which arms writes for this call alone.
    /// </summary>
    /// <param name="arm">True to send; false fails with <see cref="MvfilesResult.NotArmed"/>.</param>
    /// <param name="user">User id (not empty).</param>
    /// <param name="profile">Profile number.</param>
    /// <param name="imdbId">The title's IMDb id (not empty).</param>
    /// <param name="season">Season, -1 for a film.</param>
    /// <param name="episode">Episode, -1 for a film.</param>
    /// <param name="position">Position in seconds, 0 or more.</param>
    /// <param name="duration">Duration in seconds, above 0.</param>
    /// <exception cref="MvfilesException">NotArmed, Argument, NoTransport, OutOfMemory, Transport or Http.</exception>
    void SaveProgress(bool arm, string user, int profile, string imdbId, int season, int episode,
                      double position, double duration);

    /// <summary>Queued <see cref="SaveProgress"/>.</summary>
    /// <param name="arm">True to send.</param>
    /// <param name="user">User id (not empty).</param>
    /// <param name="profile">Profile number.</param>
    /// <param name="imdbId">The title's IMDb id (not empty).</param>
    /// <param name="season">Season, -1 for a film.</param>
    /// <param name="episode">Episode, -1 for a film.</param>
    /// <param name="position">Position in seconds, 0 or more.</param>
    /// <param name="duration">Duration in seconds, above 0.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task SaveProgressAsync(bool arm, string user, int profile, string imdbId, int season, int episode,
                           double position, double duration, CancellationToken cancellationToken = default);

    /// <summary>
    /// WRITE: overwrites a playback-session row with a base64 body, sent
    /// unchanged; position and duration travel only when both are given.
    /// Changes real data; runs only with <paramref name="arm"/> true.
    /// </summary>
    /// <param name="arm">True to send; false fails with <see cref="MvfilesResult.NotArmed"/>.</param>
    /// <param name="key">The row's key (not empty).</param>
    /// <param name="base64Body">The new value (not empty).</param>
    /// <param name="position">Position text, or null.</param>
    /// <param name="duration">Duration text, or null.</param>
    /// <exception cref="MvfilesException">NotArmed, Argument, NoTransport, OutOfMemory, Transport or Http.</exception>
    void UpdatePlaybackSession(bool arm, string key, string base64Body, string? position = null,
                               string? duration = null);

    /// <summary>Queued <see cref="UpdatePlaybackSession"/>.</summary>
    /// <param name="arm">True to send.</param>
    /// <param name="key">The row's key (not empty).</param>
    /// <param name="base64Body">The new value (not empty).</param>
    /// <param name="position">Position text, or null.</param>
    /// <param name="duration">Duration text, or null.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task UpdatePlaybackSessionAsync(bool arm, string key, string base64Body, string? position = null,
                                    string? duration = null, CancellationToken cancellationToken = default);

    /// <summary>
    /// WRITE: queues a download by magnet link or tkey; one JSON member is
    /// sent per argument that is not null. Changes real data; runs only with
    /// <paramref name="arm"/> true.
    /// </summary>
    /// <param name="arm">True to send; false fails with <see cref="MvfilesResult.NotArmed"/>.</param>
    /// <param name="user">User id (not empty).</param>
    /// <param name="magnet">Magnet link; this or <paramref name="tkey"/> is required.</param>
    /// <param name="storageId">Storage id, or null.</param>
    /// <param name="downloaderId">Downloader id, or null.</param>
    /// <param name="extension">Extension, or null.</param>
    /// <param name="tkey">Tkey, or null.</param>
    /// <exception cref="MvfilesException">NotArmed, Argument, NoTransport, OutOfMemory, Transport or Http.</exception>
    void DownloadMagnet(bool arm, string user, string? magnet, string? storageId = null,
                        string? downloaderId = null, string? extension = null, string? tkey = null);

    /// <summary>Queued <see cref="DownloadMagnet"/>.</summary>
    /// <param name="arm">True to send.</param>
    /// <param name="user">User id (not empty).</param>
    /// <param name="magnet">Magnet link, or null.</param>
    /// <param name="storageId">Storage id, or null.</param>
    /// <param name="downloaderId">Downloader id, or null.</param>
    /// <param name="extension">Extension, or null.</param>
    /// <param name="tkey">Tkey, or null.</param>
    /// <param name="cancellationToken">Cancels the call.</param>
    Task DownloadMagnetAsync(bool arm, string user, string? magnet, string? storageId = null,
                             string? downloaderId = null, string? extension = null, string? tkey = null,
                             CancellationToken cancellationToken = default);

    /// <summary>Sets the time-to-live of each family's table, in whole seconds (rounded up);
    /// null leaves that family unchanged.</summary>
    /// <param name="files">Files table (5 minutes by default).</param>
    /// <param name="keyValue">Key-value table (15 minutes by default).</param>
    /// <param name="sessions">Playback-session table (1 minute by default).</param>
    /// <exception cref="ArgumentOutOfRangeException">A time-to-live of zero or less.</exception>
    void SetCacheTtl(TimeSpan? files = null, TimeSpan? keyValue = null, TimeSpan? sessions = null);

    /// <summary>Drops the files, key-value and sessions tables.</summary>
    void ClearCache();

    /// <summary>Drops a family's table when <paramref name="key"/> is null or the table's key.</summary>
    /// <param name="family">The family.</param>
    /// <param name="key">The table key, such as "files|tt0111161|-1|-1", or null.</param>
    void InvalidateCache(CacheFamily family, string? key = null);

    /// <summary>Whether a family holds a table within its time-to-live (<see cref="CacheFamily.All"/>: any table, fresh or not).</summary>
    /// <param name="family">The family.</param>
    bool HasCachedTable(CacheFamily family);

    /// <summary>Sets the failure mode of the offline fixture backend, in force until changed.</summary>
    /// <param name="mode">The mode.</param>
    /// <exception cref="MvfilesException">Argument for a value outside the enumeration.</exception>
    void SetFakeMode(FakeMode mode);

    /// <summary>Requests, routing failures and the last request of the fixture backend.</summary>
    FakeStats GetFakeStats();

    /// <summary>Clears the fixture backend's statistics; its mode and directory stay.</summary>
    void ResetFakeStats();
}
