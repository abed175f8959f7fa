using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Net.Http;
using Mvfiles.Interop;
using static Mvfiles.Interop.Native;

namespace Mvfiles;

/// <summary>
/// A handle on the mvfiles library: transports, look-ups, writes and cache controls.
/// </summary>
/// <remarks>
/// <para>The library keeps one client state per process (origin, transport,
/// tables, write switch), so every <see cref="MvfilesClient"/> of a process
/// shares it. The library must be called from one thread at a time: every
/// member of this class takes one process-wide lock for the whole call, so
/// that a look-up and the copying of its table cannot interleave with
/// another thread's call. Calls are synchronous and may block on the
/// network for as long as the transport's timeouts allow.</para>
/// <para>Look-ups return immutable records whose texts are copied at once;
/// they stay valid whatever the library does next. Failures raise
/// <see cref="MvfilesException"/>; a .NET argument that cannot be handed to
/// the library (a NUL character, a lone surrogate) raises
/// <see cref="ArgumentException"/> before anything is called.</para>
/// </remarks>
public sealed unsafe class MvfilesClient : IDisposable
{
    private static readonly object Gate = new object();

    // The host transport the library currently refers to; kept reachable
    // here (its record, delegates and HttpClient) while it is installed.
    private static HttpClientTransport? s_installed;

    /// <summary>Directory of the corpus that ships beside this assembly (mvfiles/fixtures).</summary>
    public static string BundledCorpus =>
        System.IO.Path.Combine(AppContext.BaseDirectory, "mvfiles", "fixtures");

    /// <summary>The library's version text, such as "1.0.0".</summary>
    public static string Version
    {
        get { lock (Gate) return Utf8.CopyOrEmpty(mvfiles_version()); }
    }

    /// <summary>Message of the last operation that reports one; "" after a success.</summary>
    public string LastError
    {
        get { lock (Gate) return Utf8.CopyOrEmpty(mvfiles_last_error()); }
    }

    /// <summary>HTTP status of the last exchange; 0 when the last look-up sent nothing.</summary>
    public int LastHttpStatus
    {
        get { lock (Gate) return mvfiles_last_http_code(); }
    }

    /// <summary>Whether the library's write switch is on (only during an armed write).</summary>
    public bool WritesArmed
    {
        get { lock (Gate) return mvfiles_writes_armed() == 1; }
    }

    // Clients of the process not yet disposed; the last one to go shuts the
    // library down, never under another live client.
    private static int s_open;
    private bool _disposed;

    /// <summary>A handle on the process's one library state.</summary>
    public MvfilesClient()
    {
        lock (Gate) s_open++;
    }

    /// <summary>
    /// Ends this client. When it is the last client of the process not yet
    /// disposed, the library is shut down (see <see cref="Shutdown"/>);
    /// otherwise the shared state stays for the others. Disposing twice does
    /// nothing more.
    /// </summary>
    public void Dispose()
    {
        lock (Gate)
        {
            if (_disposed)
                return;
            _disposed = true;
            if (--s_open == 0)
            {
                mvfiles_shutdown();
                Released();
            }
        }
    }

    // ---- state and transports ------------------------------------------

    /// <summary>
    /// Sets the service origin every URL starts with; "https://" is put in
    /// front of a value without "http://" or "https://". Null or "" restores
    /// the default origin. An origin the library cannot use whole makes the
    /// next look-ups and writes fail with <see cref="MvfilesResult.Argument"/>.
    /// </summary>
    /// <param name="origin">The origin, such as "https://api.example.net", or null.</param>
    public void SetHost(string? origin)
    {
        fixed (byte* o = Utf8.Encode(origin, nameof(origin)))
            lock (Gate) mvfiles_set_host(o);
    }

    /// <summary>
    /// Installs the library's own HTTP transport (libcurl on Linux, WinHTTP
    /// on Windows), after setting <paramref name="origin"/> when given.
    /// </summary>
    /// <param name="origin">An origin for <see cref="SetHost"/>, or null to keep the current one.</param>
    /// <exception cref="MvfilesException"><see cref="MvfilesResult.Transport"/> when the build has no real transport.</exception>
    public void UseRealTransport(string? origin = null)
    {
        lock (Gate)
        {
            if (origin != null)
                SetHost(origin);
            Check(mvfiles_use_curl());
            Released();
        }
    }

    /// <summary>
    /// Installs the offline fixture backend, which answers every read route
    /// from one file per route of a corpus directory.
    /// </summary>
    /// <param name="corpusDirectory">The corpus; null for <see cref="BundledCorpus"/>.</param>
    /// <exception cref="MvfilesException"><see cref="MvfilesResult.Argument"/> when the library refuses the directory.</exception>
    public void UseFake(string? corpusDirectory = null)
    {
        string dir = corpusDirectory ?? BundledCorpus;
        fixed (byte* d = Utf8.Encode(dir, nameof(corpusDirectory)))
            lock (Gate)
            {
                int r = mvfiles_fake_corpus(d);
                if (r != 0)
                    throw new MvfilesException((MvfilesResult)r, "corpus path over 511 bytes");
                Check(mvfiles_use_fake());
                Released();
            }
    }

    /// <summary>
    /// Installs <paramref name="http"/> as the library's transport: every
    /// request of the library is sent with it, so its handlers (proxy,
    /// authentication, logging) apply. The calling thread waits for each
    /// exchange, and the status, headers and body reach the library on that
    /// thread. The client must stay usable while installed; it is not
    /// disposed here.
    /// </summary>
    /// <remarks>Redirects and credentials are the client's own business: for
    /// the library's behaviour, build it with a handler that does not follow
    /// redirects. The connect timeout of a request cannot be set per request
    /// and is covered by its send timeout. A handler must not call the
    /// library: it runs while the calling thread holds the binding's lock.</remarks>
    /// <param name="http">The client to send with.</param>
    /// <exception cref="MvfilesException">When the library refuses the transport.</exception>
    public void UseHttpClient(HttpClient http)
    {
        if (http is null)
            throw new ArgumentNullException(nameof(http));
        var transport = new HttpClientTransport(http);
        lock (Gate)
        {
            try
            {
                Check(transport.Install());
            }
            catch
            {
                transport.Dispose();
                throw;
            }
            Released();
            s_installed = transport;
        }
    }

    /// <summary>
    /// Releases every table, forgets the transport and disarms writes, at
    /// once and for every client of the process. The origin, the
    /// time-to-live values and the fixture backend's directory and mode stay.
    /// </summary>
    public void Shutdown()
    {
        lock (Gate)
        {
            mvfiles_shutdown();
            Released();
        }
    }

    // The library no longer refers to the previous host transport.
    private static void Released()
    {
        s_installed?.Dispose();
        s_installed = null;
    }

    /// <summary>
    /// The library's stable hash of a text, 0..2147483647, the same on every
    /// run and machine ("" gives 371857150). Subtitle ids are made with it.
    /// </summary>
    /// <param name="text">The text to hash.</param>
    public static int StableHash(string text)
    {
        fixed (byte* t = Utf8.Encode(text ?? throw new ArgumentNullException(nameof(text)), nameof(text)))
            lock (Gate) return mvfiles_stable_hash(t);
    }

    private void Check(int result)
    {
        if (result != 0)
            throw Failure((MvfilesResult)result);
    }

    private static MvfilesException Failure(MvfilesResult code) =>
        new MvfilesException(code, Utf8.CopyOrEmpty(mvfiles_last_error()), mvfiles_last_http_code());

    private static IReadOnlyList<T> Rows<T>(int count, Func<int, T> make)
    {
        var rows = new T[Math.Max(count, 0)];
        for (int i = 0; i < rows.Length; i++)
            rows[i] = make(i);
        return Array.AsReadOnly(rows);
    }

    private static string? T(byte* text) => Utf8.Copy(text);

    private static bool? Flag(int value) => value < 0 ? null : value == 1;

    // A season, episode, content source or list id that the library gives
    // as negative when there is none.
    private static int? Number(int value) => value < 0 ? null : value;
    private static long? Number(long value) => value < 0 ? null : value;

    // ---- file catalogue --------------------------------------------------

    /// <summary>
    /// Files of one IMDb title ("tt", either case, and 5 to 10 digits),
    /// optionally of one season and episode of a series (once either is
    /// given both are sent). Answered from the library's table, without a
    /// request, while the same query is within the files time-to-live.
    /// </summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, or null for none.</param>
    /// <param name="episode">Episode, or null for none.</param>
    /// <returns>The files, in the service's order.</returns>
    /// <exception cref="MvfilesException">NoTransport, Argument (malformed id), Transport, NotFound (HTTP 404),
    /// Http, Empty (empty body or array), Json or OutOfMemory.</exception>
    public IReadOnlyList<FileEntry> Files(string imdbId, int? season = null, int? episode = null)
    {
        fixed (byte* id = Utf8.Encode(imdbId, nameof(imdbId)))
            lock (Gate)
            {
                Check(mvfiles_get_by_imdb(id, season ?? -1, episode ?? -1));
                return ReadFiles();
            }
    }

    /// <summary>
    /// Files with the given keys (1 to 4096, none empty), POSTed to the
    /// service; never answered from the cache. The offline fixture backend
    /// always refuses it with <see cref="MvfilesResult.Http"/> (HTTP 405).
    /// </summary>
    /// <param name="keys">The file keys.</param>
    /// <returns>The files, in the service's order.</returns>
    /// <exception cref="MvfilesException">As <see cref="Files"/>; Argument for no keys, an empty key or more than 4096.</exception>
    public IReadOnlyList<FileEntry> FilesByKeys(IEnumerable<string> keys)
    {
        if (keys is null)
            throw new ArgumentNullException(nameof(keys));
        byte[][] encoded = keys.Select(k => Utf8.Encode(k ?? throw new ArgumentException("a key is null", nameof(keys)), nameof(keys))!).ToArray();
        var handles = new System.Runtime.InteropServices.GCHandle[encoded.Length];
        var pointers = new byte*[encoded.Length];
        try
        {
            for (int i = 0; i < encoded.Length; i++)
            {
                handles[i] = System.Runtime.InteropServices.GCHandle.Alloc(encoded[i], System.Runtime.InteropServices.GCHandleType.Pinned);
                pointers[i] = (byte*)handles[i].AddrOfPinnedObject();
            }
            fixed (byte** p = pointers)
                lock (Gate)
                {
                    Check(mvfiles_get_by_keys(p, (ulong)pointers.Length));
                    return ReadFiles();
                }
        }
        finally
        {
            foreach (var h in handles)
                if (h.IsAllocated)
                    h.Free();
        }
    }

    private static IReadOnlyList<FileEntry> ReadFiles() => Rows(mvfiles_count(), i =>
    {
        var entries = Rows(mvfiles_entry_count(i), e => new AccessEntry(
            T(mvfiles_entry_uri(i, e)), T(mvfiles_entry_url(i, e)), mvfiles_entry_is_active(i, e) == 1,
            Number(mvfiles_entry_content_source(i, e))));
        return new FileEntry(
            i, T(mvfiles_key(i)), T(mvfiles_imdb(i)), T(mvfiles_parent_key(i)), T(mvfiles_filename(i)),
            T(mvfiles_path(i)), T(mvfiles_extension(i)), T(mvfiles_subtitle_languages(i)),
            T(mvfiles_subtitle_language_titles(i)), T(mvfiles_created(i)), T(mvfiles_record_updated(i)),
            mvfiles_size(i), mvfiles_duration_seconds(i), Number(mvfiles_season(i)),
            Number(mvfiles_episode(i)), Flag(mvfiles_is_hdr(i)), Flag(mvfiles_is_hevc(i)),
            Flag(mvfiles_is_dolby(i)), mvfiles_subtitle_count(i), mvfiles_audio_channels(i),
            mvfiles_video_width(i), mvfiles_video_height(i), entries, T(mvfiles_file_json(i)));
    });

    /// <summary>
    /// Whether any file of the title (or of one episode) has an access
    /// entry. A title the service does not know, or answers empty for, is
    /// not playable. Replaces the file table like <see cref="Files"/>.
    /// </summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, or null for none.</param>
    /// <param name="episode">Episode, or null for none.</param>
    /// <exception cref="MvfilesException">Transport, Http, Json, Argument, NoTransport or OutOfMemory.</exception>
    public bool IsPlayable(string imdbId, int? season = null, int? episode = null)
    {
        fixed (byte* id = Utf8.Encode(imdbId, nameof(imdbId)))
            lock (Gate)
            {
                int r = mvfiles_is_playable_se(id, season ?? -1, episode ?? -1);
                if (r == 0 || r == 1)
                    return r == 1;
                throw Failure(r < 0 ? MvfilesResult.Transport : (MvfilesResult)r);
            }
    }

    // ---- key-value data --------------------------------------------------

    /// <summary>Rows of one playlist type: "Production", "Movies" or "Series" (exact case).</summary>
    /// <param name="type">The playlist type.</param>
    /// <exception cref="MvfilesException">Argument (unknown type), NoTransport, Transport, NotFound
    /// ("no rows for prefix (HTTP 404)"), Http, Empty, Json or OutOfMemory.</exception>
    public IReadOnlyList<Playlist> Playlists(string type)
    {
        fixed (byte* t = Utf8.Encode(type, nameof(type)))
            lock (Gate)
            {
                Check(mvfiles_get_playlists(null, null, t));
                return Rows(mvfiles_playlist_count(), i =>
                {
                    var ids = Rows(mvfiles_playlist_imdb_count(i), j => T(mvfiles_playlist_imdb(i, j)) ?? "");
                    return new Playlist(T(mvfiles_playlist_key(i)), T(mvfiles_playlist_value(i)),
                                        Number(mvfiles_playlist_id(i)), T(mvfiles_playlist_name(i)),
                                        T(mvfiles_playlist_logo(i)), T(mvfiles_playlist_origin(i)), ids);
                });
            }
    }

    /// <summary>
    /// Watch positions of a user profile for a title. The key prefix has no
    /// trailing "_", so rows of longer ids that begin with the given one come too.
    /// </summary>
    /// <param name="imdbId">The title's IMDb id (required).</param>
    /// <param name="user">User id, or null for an empty user part.</param>
    /// <param name="profile">Profile number.</param>
    /// <exception cref="MvfilesException">Argument ("imdbId required", a prefix over 255 bytes), then as <see cref="Playlists"/>.</exception>
    public IReadOnlyList<Progress> Progress(string imdbId, string? user = null, int profile = 0)
    {
        fixed (byte* id = Utf8.Encode(imdbId, nameof(imdbId)), u = Utf8.Encode(user, nameof(user)))
            lock (Gate)
            {
                Check(mvfiles_get_progress(u, profile, id));
                return Rows(mvfiles_progress_count(), i => new Progress(
                    T(mvfiles_progress_key(i)), mvfiles_progress_value(i), mvfiles_progress_size(i),
                    mvfiles_progress_season(i), mvfiles_progress_episode(i)));
            }
    }

    /// <summary>External subtitles of one episode of a title (-1, -1 for a film), in table order.</summary>
    /// <param name="imdbId">The title's IMDb id.</param>
    /// <param name="season">Season, -1 for a film.</param>
    /// <param name="episode">Episode, -1 for a film.</param>
    /// <returns>The subtitles kept; an empty list when none matches.</returns>
    /// <exception cref="MvfilesException">Argument ("imdb id required", a prefix over 127 bytes), then as <see cref="Playlists"/>.</exception>
    public IReadOnlyList<Subtitle> ExternalSubtitles(string imdbId, int season = -1, int episode = -1)
    {
        fixed (byte* id = Utf8.Encode(imdbId, nameof(imdbId)))
            lock (Gate)
            {
                Check(mvfiles_get_external_subtitles(id, season, episode));
                return Rows(mvfiles_sub_count(), i => new Subtitle(
                    T(mvfiles_sub_key(i)), T(mvfiles_sub_uri(i)), T(mvfiles_sub_label(i)),
                    T(mvfiles_sub_filename(i)), mvfiles_sub_id(i),
                    mvfiles_sub_is_child(i) == 1 ? mvfiles_sub_parent_id(i) : null));
            }
    }

    /// <summary>Playback-session index rows of a user, or of every user for null.</summary>
    /// <param name="user">User id, or null. The prefix has no trailing "_": "ab" also lists "abc".</param>
    /// <exception cref="MvfilesException">Argument (a prefix over 255 bytes), then as <see cref="Playlists"/>.</exception>
    public IReadOnlyList<SessionIndexEntry> SessionIndex(string? user = null)
    {
        fixed (byte* u = Utf8.Encode(user, nameof(user)))
            lock (Gate)
            {
                Check(mvfiles_get_session_index(u));
                return Rows(mvfiles_sessionix_count(), i => new SessionIndexEntry(
                    T(mvfiles_sessionix_key(i)), T(mvfiles_sessionix_user(i)), T(mvfiles_sessionix_imdb(i)),
                    T(mvfiles_sessionix_sessionkey(i)), mvfiles_sessionix_profile(i),
                    mvfiles_sessionix_season(i), mvfiles_sessionix_episode(i), mvfiles_sessionix_size(i)));
            }
    }

    /// <summary>The user's cloud storages; two requests every call, never answered from the cache.</summary>
    /// <exception cref="MvfilesException">NoTransport, Transport, NotFound, Http (the authorisation step
    /// answered anything but 200), Json, Empty or OutOfMemory.</exception>
    public IReadOnlyList<Storage> Storages()
    {
        lock (Gate)
        {
            Check(mvfiles_get_storages());
            return Rows(mvfiles_storage_count(), i => new Storage(
                T(mvfiles_storage_id(i)), T(mvfiles_storage_type(i)), T(mvfiles_storage_email(i)),
                T(mvfiles_storage_name(i)), T(mvfiles_storage_state(i)), mvfiles_storage_total(i),
                mvfiles_storage_used(i), mvfiles_storage_remaining(i)));
        }
    }

    /// <summary>Playback-session rows by their ids; the text is sent as it is.</summary>
    /// <param name="ids">The ids text (not empty).</param>
    /// <returns>The rows; an empty list for an empty answer array.</returns>
    /// <exception cref="MvfilesException">NoTransport, Argument, Transport, Http (404 included), Empty, Json or OutOfMemory.</exception>
    public IReadOnlyList<PlaybackSession> PlaybackSessions(string ids)
    {
        fixed (byte* t = Utf8.Encode(ids, nameof(ids)))
            lock (Gate)
            {
                Check(mvfiles_get_playback_sessions(t));
                return Rows(mvfiles_session_count(), i =>
                {
                    byte* value = mvfiles_session_value(i);
                    var bits = Rows(Utf8.Length(value), p => Flag(mvfiles_session_bit(i, p)));
                    return new PlaybackSession(T(mvfiles_session_id(i)), T(mvfiles_session_created(i)),
                                               T(value), bits);
                });
            }
    }

    // ---- writes ----------------------------------------------------------

    // The library's write switch is on only for the duration of one armed
    // call, and off again whatever the call did.
    private void Write(bool arm, Func<int> send)
    {
        lock (Gate)
        {
            mvfiles_arm_writes(arm ? 1 : 0);
            try
            {
                Check(send());
            }
            finally
            {
                if (arm)
                    mvfiles_arm_writes(0);
            }
        }
    }

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
    public void SaveProgress(bool arm, string user, int profile, string imdbId, int season, int episode,
                             double position, double duration)
    {
        fixed (byte* u = Utf8.Encode(user, nameof(user)), id = Utf8.Encode(imdbId, nameof(imdbId)))
        {
            byte* pu = u, pid = id;
            Write(arm, () => mvfiles_save_progress(pu, profile, pid, season, episode, 0, position, duration));
        }
    }

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
    public void UpdatePlaybackSession(bool arm, string key, string base64Body, string? position = null,
                                      string? duration = null)
    {
        fixed (byte* k = Utf8.Encode(key, nameof(key)), b = Utf8.Encode(base64Body, nameof(base64Body)),
               p = Utf8.Encode(position, nameof(position)), d = Utf8.Encode(duration, nameof(duration)))
        {
            byte* pk = k, pb = b, pp = p, pd = d;
            Write(arm, () => mvfiles_update_playback_session(pk, pb, pp, pd));
        }
    }

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
    public void DownloadMagnet(bool arm, string user, string? magnet, string? storageId = null,
                               string? downloaderId = null, string? extension = null, string? tkey = null)
    {
        fixed (byte* u = Utf8.Encode(user, nameof(user)), m = Utf8.Encode(magnet, nameof(magnet)),
               s = Utf8.Encode(storageId, nameof(storageId)), d = Utf8.Encode(downloaderId, nameof(downloaderId)),
               e = Utf8.Encode(extension, nameof(extension)), t = Utf8.Encode(tkey, nameof(tkey)))
        {
            byte* pu = u, pm = m, ps = s, pd = d, pe = e, pt = t;
            Write(arm, () => mvfiles_download_magnet(pu, pm, ps, pd, pe, pt));
        }
    }

    // ---- cache and fixture controls --------------------------------------

    /// <summary>Sets the time-to-live in seconds of each family's table; 0 or less leaves that family unchanged.</summary>
    /// <param name="files">Files table (300 s by default).</param>
    /// <param name="kv">Key-value table (900 s by default).</param>
    /// <param name="sessions">Playback-session table (60 s by default).</param>
    public void SetCacheTtl(int files = 0, int kv = 0, int sessions = 0)
    {
        lock (Gate) mvfiles_cache_set_ttl(files, kv, sessions);
    }

    /// <summary>Drops the files, kv and sessions tables.</summary>
    public void ClearCache()
    {
        lock (Gate) mvfiles_cache_clear();
    }

    /// <summary>Drops a family's table ("files", "kv", "sessions"; "*" for all three) when
    /// <paramref name="key"/> is null or the table's key.</summary>
    /// <param name="family">The family, exact case.</param>
    /// <param name="key">The table key, such as "files|tt0111161|-1|-1", or null.</param>
    /// <exception cref="MvfilesException">Argument for an unknown family.</exception>
    public void InvalidateCache(string family, string? key = null)
    {
        fixed (byte* f = Utf8.Encode(family, nameof(family)), k = Utf8.Encode(key, nameof(key)))
            lock (Gate)
                CheckFamily(mvfiles_cache_invalidate(f, k), family);
    }

    /// <summary>Whether a family holds a table within its time-to-live ("*": any table, fresh or not).</summary>
    /// <param name="family">The family, exact case.</param>
    /// <exception cref="MvfilesException">Argument for an unknown family.</exception>
    public bool HasCachedTable(string family)
    {
        int present = 0;
        fixed (byte* f = Utf8.Encode(family, nameof(family)))
            lock (Gate)
                CheckFamily(mvfiles_cache_has(f, null, &present), family);
        return present == 1;
    }

    // The cache controls write no last-error text: the binding words it.
    private static void CheckFamily(int result, string? family)
    {
        if (result != 0)
            throw new MvfilesException((MvfilesResult)result, $"unknown cache family '{family}'");
    }

    /// <summary>Sets the failure mode of the offline fixture backend, in force until changed.</summary>
    /// <param name="mode">The mode.</param>
    /// <exception cref="MvfilesException">Argument for a value outside the enumeration.</exception>
    public void SetFakeMode(FakeMode mode)
    {
        lock (Gate)
        {
            int r = mvfiles_fake_mode((int)mode);
            if (r != 0)
                throw new MvfilesException((MvfilesResult)r, $"fake mode must be 0 to 6 (got {(int)mode})");
        }
    }

    /// <summary>Requests, routing failures and the last request of the fixture backend.</summary>
    public FakeStats FakeStats()
    {
        lock (Gate)
            return new FakeStats(mvfiles_fake_calls(), mvfiles_fake_fail_count(),
                                 Utf8.CopyOrEmpty(mvfiles_fake_last_url()));
    }

    /// <summary>Clears the fixture backend's statistics; its mode and directory stay.</summary>
    public void ResetFakeStats()
    {
        lock (Gate) mvfiles_fake_reset();
    }
}
