using System;
using System.Collections.Generic;
using System.Linq;
using System.Net.Http;
using System.Runtime.InteropServices;
using System.Threading;
using System.Threading.Tasks;
using Mvfiles.Interop;
using static Mvfiles.Interop.Native;

namespace Mvfiles;

/// <summary>
/// A handle on the mvfiles library: transports, look-ups, writes and cache controls.
/// </summary>
/// <remarks>
/// <para>The library keeps one client state per process (origin, transport,
/// tables, write switch), so every <see cref="MvfilesClient"/> of a process
/// shares it, whichever copy of this assembly made it (each plug-in load
/// context, or AppDomain, may bring its own). Every call is queued to one
/// worker thread that alone calls the library, in order; the synchronous
/// members wait for their turn, the <c>...Async</c> ones hold no thread
/// while they wait.</para>
/// <para>A <see cref="CancellationToken"/> takes a queued call out of the
/// queue at once. A call in flight through <see cref="UseHttpClient"/> is
/// aborted with its request. A call in flight through the library's own
/// transports (<see cref="UseRealTransport"/>, <see cref="UseFake"/>) cannot
/// be stopped: cancelling it abandons the wait, the call ends on the worker
/// within the transport's own timeouts, and its result is dropped.</para>
/// <para>Look-ups return immutable records that compare by value and stay
/// valid whatever the library does next; nothing found gives an empty list.
/// Failures raise <see cref="MvfilesException"/>; a .NET argument that
/// cannot be handed to the library (a NUL character, a lone surrogate)
/// raises <see cref="ArgumentException"/> before anything is queued.</para>
/// </remarks>
public sealed unsafe class MvfilesClient : IMvfilesClient
{
    private static readonly Hub Shared = Hub.Instance;
    private static string? s_version;

    // The last file list this copy of the binding read, and the generation
    // of the library's file table it was read from.
    private static WeakReference<IReadOnlyList<FileEntry>>? s_files;
    private static long s_filesEpoch = -1;

    private int _disposed;

    /// <summary>A handle on the process's one library state.</summary>
    public MvfilesClient() => Shared.Open();

    /// <summary>Directory of the corpus that ships beside this assembly (mvfiles/fixtures).</summary>
    public static string BundledCorpus =>
        System.IO.Path.Combine(AppContext.BaseDirectory, "mvfiles", "fixtures");

    /// <summary>The library's version text, such as "1.0.0". A constant of the library: read
    /// without waiting for other calls.</summary>
    public static string Version => s_version ??= Utf8.CopyOrEmpty(mvfiles_version());

    /// <inheritdoc/>
    public string LastError => Call(() => Utf8.CopyOrEmpty(mvfiles_last_error()));

    /// <inheritdoc/>
    public int LastHttpStatus => Call(() => mvfiles_last_http_code());

    /// <inheritdoc/>
    public bool WritesArmed => Call(() => mvfiles_writes_armed() == 1);

    /// <inheritdoc/>
    public TimeSpan Timeout
    {
        get => _timeout;
        set
        {
            if ((value <= TimeSpan.Zero || value > LongestTimeout) && value != System.Threading.Timeout.InfiniteTimeSpan)
                throw new ArgumentOutOfRangeException(
                    nameof(value), value,
                    $"the timeout must be positive and at most {LongestTimeout.TotalMilliseconds} ms, or infinite");
            _timeout = value;
        }
    }

    private TimeSpan _timeout = System.Threading.Timeout.InfiniteTimeSpan;

    // Each call's deadline is a CancellationTokenSource, whose timer takes
    // at most int.MaxValue ms (2^32 - 2 ms on .NET 8); a longer timeout
    // would make every call fail.
#if NET8_0_OR_GREATER
    private static readonly TimeSpan LongestTimeout = TimeSpan.FromMilliseconds(uint.MaxValue - 1);
#else
    private static readonly TimeSpan LongestTimeout = TimeSpan.FromMilliseconds(int.MaxValue);
#endif

    /// <summary>
    /// Ends this client at once, without waiting for queued calls. When it is
    /// the last client of the process not yet disposed, the library is shut
    /// down after the calls queued before (see <see cref="Shutdown"/>);
    /// otherwise the shared state stays for the others. Disposing twice does
    /// nothing more; any other member then throws <see cref="ObjectDisposedException"/>.
    /// </summary>
    public void Dispose()
    {
        if (Interlocked.Exchange(ref _disposed, 1) == 0)
            Shared.Close(ShutdownNow);
    }

    // ---- the queue ---------------------------------------------------------

    private static void ThrowIfReentrant()
    {
        if (Shared.WouldDeadlock)
            throw new InvalidOperationException(
                "mvfiles cannot be called from inside its own transport (an HttpClient handler) or worker");
    }

    private Task<T> Queue<T>(Func<T> work, CancellationToken cancellationToken)
    {
        if (_disposed != 0)
            throw new ObjectDisposedException(nameof(MvfilesClient));
        return Enqueue(work, _timeout, cancellationToken);
    }

    private static Task<T> Enqueue<T>(Func<T> work, TimeSpan timeout, CancellationToken cancellationToken)
    {
        ThrowIfReentrant();
        if (cancellationToken.IsCancellationRequested)
            return Task.FromCanceled<T>(cancellationToken);
        var done = new TaskCompletionSource<T>(TaskCreationOptions.RunContinuationsAsynchronously);
        var registration = cancellationToken.Register(() => done.TrySetCanceled(cancellationToken));
        Shared.Post(() =>
        {
            try
            {
                if (done.Task.IsCompleted)
                    return;  // cancelled while queued
                using var limit = timeout == System.Threading.Timeout.InfiniteTimeSpan
                    ? null : new CancellationTokenSource(timeout);
                Shared.BeginCall(cancellationToken, limit?.Token ?? default);
                try
                {
                    done.TrySetResult(work());
                }
                finally
                {
                    Shared.EndCall();
                }
            }
            catch (Exception e)
            {
                if (cancellationToken.IsCancellationRequested)
                    done.TrySetCanceled(cancellationToken);
                else
                    done.TrySetException(e);
            }
            finally
            {
                registration.Dispose();
            }
        });
        return done.Task;
    }

    private T Call<T>(Func<T> work) => Queue(work, default).GetAwaiter().GetResult();

    private void Call(Action work) => Call(() => { work(); return 0; });

    // ---- state and transports ------------------------------------------

    /// <inheritdoc/>
    public void SetHost(string? origin)
    {
        byte[]? o = Utf8.Encode(origin, nameof(origin));
        Call(() => { fixed (byte* p = o) mvfiles_set_host(p); });
    }

    /// <inheritdoc/>
    public void SetHost(Uri origin) => SetHost(Origin(origin));

    // The form the library takes: scheme, host, port and path, without a
    // trailing "/" (the library puts "/api/..." after it).
    internal static string Origin(Uri origin)
    {
        if (origin is null)
            throw new ArgumentNullException(nameof(origin));
        if (!origin.IsAbsoluteUri)
            throw new ArgumentException("the origin must be an absolute URI", nameof(origin));
        if (origin.UserInfo.Length > 0)
            throw new ArgumentException("the origin must not carry user information", nameof(origin));
        return origin.GetComponents(UriComponents.SchemeAndServer | UriComponents.Path, UriFormat.UriEscaped)
                     .TrimEnd('/');
    }

    /// <inheritdoc/>
    public void UseRealTransport(string? origin = null)
    {
        byte[]? o = Utf8.Encode(origin, nameof(origin));
        Call(() =>
        {
            if (o != null)
                fixed (byte* p = o) mvfiles_set_host(p);
            Check(mvfiles_use_curl());
            Installed(null);
        });
    }

    /// <inheritdoc/>
    public void UseFake(string? corpusDirectory = null)
    {
        byte[] d = Utf8.Encode(corpusDirectory ?? BundledCorpus, nameof(corpusDirectory))!;
        Call(() =>
        {
            fixed (byte* p = d)
            {
                int r = mvfiles_fake_corpus(p);
                if (r != 0)
                    throw new MvfilesException((MvfilesResult)r, "corpus path over 511 bytes");
            }
            Check(mvfiles_use_fake());
            Installed(null);
        });
    }

    /// <inheritdoc/>
    public void UseHttpClient(HttpClient http)
    {
        if (http is null)
            throw new ArgumentNullException(nameof(http));
        Call(() =>
        {
            var transport = new HttpClientTransport(http, Shared);
            try
            {
                Check(transport.Install());
            }
            catch
            {
                transport.Dispose();
                throw;
            }
            Installed(transport);
        });
    }

    // The library refers to a new transport: the host transport it referred
    // to before is released. Installing a transport drops no table, but the
    // file table's generation moves on all the same.
    private static void Installed(HttpClientTransport? transport)
    {
        Shared.Keep(transport);
        Shared.FilesChanged();
    }

    /// <inheritdoc/>
    public void Shutdown() => Call(ShutdownNow);

    private static void ShutdownNow()
    {
        mvfiles_shutdown();
        Installed(null);
    }

    /// <summary>
    /// The library's stable hash of a text, 0..2147483647, the same on every
    /// run and machine ("" gives 371857150). Subtitle ids are made with it.
    /// </summary>
    /// <param name="text">The text to hash.</param>
    public static int StableHash(string text)
    {
        byte[] t = Utf8.EncodeRequired(text, nameof(text));
        return Enqueue(() => { fixed (byte* p = t) return mvfiles_stable_hash(p); },
                       System.Threading.Timeout.InfiniteTimeSpan, default).GetAwaiter().GetResult();
    }

    private static void Check(int result)
    {
        if (result != 0)
            throw Failure((MvfilesResult)result);
    }

    // A look-up that found nothing (an empty answer, HTTP 404) reads as an empty list.
    private static bool Found(int result)
    {
        if (result == (int)MvfilesResult.Empty || result == (int)MvfilesResult.NotFound)
            return false;
        Check(result);
        return true;
    }

    private static MvfilesException Failure(MvfilesResult code)
    {
        Exception? inner = code == MvfilesResult.Transport ? Shared.TransportError : null;
        return new MvfilesException(code, Utf8.CopyOrEmpty(mvfiles_last_error()), mvfiles_last_http_code(), inner);
    }

    private static IReadOnlyList<T> Rows<T>(int count, Func<int, T> make)
    {
        if (count <= 0)
            return ValueList<T>.Empty;
        var rows = new T[count];
        for (int i = 0; i < rows.Length; i++)
            rows[i] = make(i);
        return new ValueList<T>(rows);
    }

    private static string? T(byte* text) => Utf8.Copy(text);

    // A yes/no of the library that it gives as negative when unknown.
    internal static bool? Flag(int value) => value < 0 ? null : value == 1;

    // A season, episode, content source or list id that the library gives
    // as negative when there is none.
    internal static int? Number(int value) => value < 0 ? null : value;
    private static long? Number(long value) => value < 0 ? null : value;

    // ---- file catalogue --------------------------------------------------

    /// <inheritdoc/>
    public IReadOnlyList<FileEntry> GetFiles(string imdbId, int? season = null, int? episode = null) =>
        Call(FilesWork(imdbId, season, episode));

    /// <inheritdoc/>
    public Task<IReadOnlyList<FileEntry>> GetFilesAsync(string imdbId, int? season = null, int? episode = null,
                                                        CancellationToken cancellationToken = default) =>
        Queue(FilesWork(imdbId, season, episode), cancellationToken);

    private static Func<IReadOnlyList<FileEntry>> FilesWork(string imdbId, int? season, int? episode)
    {
        byte[] id = Utf8.EncodeRequired(imdbId, nameof(imdbId));
        return () =>
        {
            int r;
            fixed (byte* p = id)
                r = mvfiles_get_by_imdb(p, season ?? -1, episode ?? -1);
            return Found(r) ? FileTable() : ValueList<FileEntry>.Empty;
        };
    }

    /// <inheritdoc/>
    public IReadOnlyList<FileEntry> GetFilesByKeys(IEnumerable<string> keys) => Call(KeysWork(keys));

    /// <inheritdoc/>
    public Task<IReadOnlyList<FileEntry>> GetFilesByKeysAsync(IEnumerable<string> keys,
                                                              CancellationToken cancellationToken = default) =>
        Queue(KeysWork(keys), cancellationToken);

    private static Func<IReadOnlyList<FileEntry>> KeysWork(IEnumerable<string> keys)
    {
        if (keys is null)
            throw new ArgumentNullException(nameof(keys));
        byte[][] encoded = keys.Select(k => Utf8.Encode(k ?? throw new ArgumentException("a key is null", nameof(keys)), nameof(keys))!).ToArray();
        return () =>
        {
            var handles = new GCHandle[encoded.Length];
            var pointers = new byte*[encoded.Length];
            try
            {
                for (int i = 0; i < encoded.Length; i++)
                {
                    handles[i] = GCHandle.Alloc(encoded[i], GCHandleType.Pinned);
                    pointers[i] = (byte*)handles[i].AddrOfPinnedObject();
                }
                int r;
                fixed (byte** p = pointers)
                    r = mvfiles_get_by_keys(p, (ulong)pointers.Length);
                return Found(r) ? FileTable() : ValueList<FileEntry>.Empty;
            }
            finally
            {
                foreach (var h in handles)
                    if (h.IsAllocated)
                        h.Free();
            }
        };
    }

    // The records of the file table after a successful look-up. A look-up
    // answered from the table sends nothing (HTTP status 0) and leaves it as
    // it was: when no call changed it since this copy last read it, the list
    // read then is still its exact copy. Where other AppDomains call the
    // library past this hub, the table is always copied.
    private static IReadOnlyList<FileEntry> FileTable()
    {
        if (Shared.WholeProcess && mvfiles_last_http_code() == 0 && s_filesEpoch == Shared.FilesEpoch
            && s_files != null && s_files.TryGetTarget(out var kept))
            return kept;
        Shared.FilesChanged();
        var files = FileReader.Read();
        s_files = new WeakReference<IReadOnlyList<FileEntry>>(files);
        s_filesEpoch = Shared.FilesEpoch;
        return files;
    }

    /// <inheritdoc/>
    public bool IsPlayable(string imdbId, int? season = null, int? episode = null) =>
        Call(PlayableWork(imdbId, season, episode));

    /// <inheritdoc/>
    public Task<bool> IsPlayableAsync(string imdbId, int? season = null, int? episode = null,
                                      CancellationToken cancellationToken = default) =>
        Queue(PlayableWork(imdbId, season, episode), cancellationToken);

    private static Func<bool> PlayableWork(string imdbId, int? season, int? episode)
    {
        byte[] id = Utf8.EncodeRequired(imdbId, nameof(imdbId));
        return () =>
        {
            int r;
            fixed (byte* p = id)
                r = mvfiles_is_playable_se(p, season ?? -1, episode ?? -1);
            if (mvfiles_last_http_code() != 0)
                Shared.FilesChanged();
            if (r == 0 || r == 1)
                return r == 1;
            throw Failure(r < 0 ? MvfilesResult.Transport : (MvfilesResult)r);
        };
    }

    // ---- key-value data --------------------------------------------------

    private static readonly string[] PlaylistTypes = { "Production", "Movies", "Series" };

    /// <inheritdoc/>
    public IReadOnlyList<Playlist> GetPlaylists(PlaylistType type) => Call(PlaylistsWork(type));

    /// <inheritdoc/>
    public Task<IReadOnlyList<Playlist>> GetPlaylistsAsync(PlaylistType type,
                                                           CancellationToken cancellationToken = default) =>
        Queue(PlaylistsWork(type), cancellationToken);

    private static Func<IReadOnlyList<Playlist>> PlaylistsWork(PlaylistType type)
    {
        if ((uint)type >= PlaylistTypes.Length)
            throw new ArgumentOutOfRangeException(nameof(type), type, "not a playlist type");
        byte[] t = Utf8.Encode(PlaylistTypes[(int)type], nameof(type))!;
        return () =>
        {
            int r;
            fixed (byte* p = t)
                r = mvfiles_get_playlists(null, null, p);
            return !Found(r) ? ValueList<Playlist>.Empty : Rows(mvfiles_playlist_count(), i =>
            {
                var ids = Rows(mvfiles_playlist_imdb_count(i), j => T(mvfiles_playlist_imdb(i, j)) ?? "");
                return new Playlist(T(mvfiles_playlist_key(i)), T(mvfiles_playlist_value(i)),
                                    Number(mvfiles_playlist_id(i)), T(mvfiles_playlist_name(i)),
                                    T(mvfiles_playlist_logo(i)), T(mvfiles_playlist_origin(i)), ids);
            });
        };
    }

    /// <inheritdoc/>
    public IReadOnlyList<Progress> GetProgress(string imdbId, string? user = null, int profile = 0) =>
        Call(ProgressWork(imdbId, user, profile));

    /// <inheritdoc/>
    public Task<IReadOnlyList<Progress>> GetProgressAsync(string imdbId, string? user = null, int profile = 0,
                                                          CancellationToken cancellationToken = default) =>
        Queue(ProgressWork(imdbId, user, profile), cancellationToken);

    private static Func<IReadOnlyList<Progress>> ProgressWork(string imdbId, string? user, int profile)
    {
        byte[]? id = Utf8.Encode(imdbId, nameof(imdbId)), u = Utf8.Encode(user, nameof(user));
        return () =>
        {
            int r;
            fixed (byte* pid = id, pu = u)
                r = mvfiles_get_progress(pu, profile, pid);
            return !Found(r) ? ValueList<Progress>.Empty : Rows(mvfiles_progress_count(), i => new Progress(
                T(mvfiles_progress_key(i)), mvfiles_progress_value(i), mvfiles_progress_size(i),
                mvfiles_progress_season(i), mvfiles_progress_episode(i)));
        };
    }

    /// <inheritdoc/>
    public IReadOnlyList<Subtitle> GetExternalSubtitles(string imdbId, int season = -1, int episode = -1) =>
        Call(SubtitlesWork(imdbId, season, episode));

    /// <inheritdoc/>
    public Task<IReadOnlyList<Subtitle>> GetExternalSubtitlesAsync(string imdbId, int season = -1, int episode = -1,
                                                                   CancellationToken cancellationToken = default) =>
        Queue(SubtitlesWork(imdbId, season, episode), cancellationToken);

    private static Func<IReadOnlyList<Subtitle>> SubtitlesWork(string imdbId, int season, int episode)
    {
        byte[]? id = Utf8.Encode(imdbId, nameof(imdbId));
        return () =>
        {
            int r;
            fixed (byte* p = id)
                r = mvfiles_get_external_subtitles(p, season, episode);
            return !Found(r) ? ValueList<Subtitle>.Empty : Rows(mvfiles_sub_count(), i => new Subtitle(
                T(mvfiles_sub_key(i)), T(mvfiles_sub_uri(i)), T(mvfiles_sub_label(i)),
                T(mvfiles_sub_filename(i)), mvfiles_sub_id(i),
                mvfiles_sub_is_child(i) == 1 ? mvfiles_sub_parent_id(i) : null));
        };
    }

    /// <inheritdoc/>
    public IReadOnlyList<SessionIndexEntry> GetSessionIndex(string? user = null) => Call(SessionIndexWork(user));

    /// <inheritdoc/>
    public Task<IReadOnlyList<SessionIndexEntry>> GetSessionIndexAsync(string? user = null,
                                                                       CancellationToken cancellationToken = default) =>
        Queue(SessionIndexWork(user), cancellationToken);

    private static Func<IReadOnlyList<SessionIndexEntry>> SessionIndexWork(string? user)
    {
        byte[]? u = Utf8.Encode(user, nameof(user));
        return () =>
        {
            int r;
            fixed (byte* p = u)
                r = mvfiles_get_session_index(p);
            return !Found(r) ? ValueList<SessionIndexEntry>.Empty : Rows(mvfiles_sessionix_count(), i => new SessionIndexEntry(
                T(mvfiles_sessionix_key(i)), T(mvfiles_sessionix_user(i)), T(mvfiles_sessionix_imdb(i)),
                T(mvfiles_sessionix_sessionkey(i)), mvfiles_sessionix_profile(i),
                mvfiles_sessionix_season(i), mvfiles_sessionix_episode(i), mvfiles_sessionix_size(i)));
        };
    }

    /// <inheritdoc/>
    public IReadOnlyList<Storage> GetStorages() => Call(StoragesWork);

    /// <inheritdoc/>
    public Task<IReadOnlyList<Storage>> GetStoragesAsync(CancellationToken cancellationToken = default) =>
        Queue(StoragesWork, cancellationToken);

    private static IReadOnlyList<Storage> StoragesWork() =>
        !Found(mvfiles_get_storages()) ? ValueList<Storage>.Empty : Rows(mvfiles_storage_count(), i => new Storage(
            T(mvfiles_storage_id(i)), T(mvfiles_storage_type(i)), T(mvfiles_storage_email(i)),
            T(mvfiles_storage_name(i)), T(mvfiles_storage_state(i)), mvfiles_storage_total(i),
            mvfiles_storage_used(i), mvfiles_storage_remaining(i)));

    /// <inheritdoc/>
    public IReadOnlyList<PlaybackSession> GetPlaybackSessions(string ids) => Call(SessionsWork(ids));

    /// <inheritdoc/>
    public Task<IReadOnlyList<PlaybackSession>> GetPlaybackSessionsAsync(string ids,
                                                                         CancellationToken cancellationToken = default) =>
        Queue(SessionsWork(ids), cancellationToken);

    private static Func<IReadOnlyList<PlaybackSession>> SessionsWork(string ids)
    {
        byte[]? t = Utf8.Encode(ids, nameof(ids));
        return () =>
        {
            int r;
            fixed (byte* p = t)
                r = mvfiles_get_playback_sessions(p);
            return !Found(r) ? ValueList<PlaybackSession>.Empty : Rows(mvfiles_session_count(), i =>
            {
                byte* value = mvfiles_session_value(i);
                var bits = Rows(Utf8.Length(value), b => Flag(mvfiles_session_bit(i, b)));
                return new PlaybackSession(T(mvfiles_session_id(i)), T(mvfiles_session_created(i)), T(value), bits);
            });
        };
    }

    // ---- writes ----------------------------------------------------------

    // The library's write switch is on only for the duration of one armed
    // call, and off again whatever the call did.
    private static Func<int> Write(bool arm, Func<int> send) => () =>
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
        return 0;
    };

    /// <inheritdoc/>
    public void SaveProgress(bool arm, string user, int profile, string imdbId, int season, int episode,
                             double position, double duration) =>
        Call(SaveProgressWork(arm, user, profile, imdbId, season, episode, position, duration));

    /// <inheritdoc/>
    public Task SaveProgressAsync(bool arm, string user, int profile, string imdbId, int season, int episode,
                                  double position, double duration, CancellationToken cancellationToken = default) =>
        Queue(SaveProgressWork(arm, user, profile, imdbId, season, episode, position, duration), cancellationToken);

    private static Func<int> SaveProgressWork(bool arm, string user, int profile, string imdbId, int season,
                                              int episode, double position, double duration)
    {
        byte[]? u = Utf8.Encode(user, nameof(user)), id = Utf8.Encode(imdbId, nameof(imdbId));
        return Write(arm, () =>
        {
            fixed (byte* pu = u, pid = id)
                return mvfiles_save_progress(pu, profile, pid, season, episode, 0, position, duration);
        });
    }

    /// <inheritdoc/>
    public void UpdatePlaybackSession(bool arm, string key, string base64Body, string? position = null,
                                      string? duration = null) =>
        Call(UpdateSessionWork(arm, key, base64Body, position, duration));

    /// <inheritdoc/>
    public Task UpdatePlaybackSessionAsync(bool arm, string key, string base64Body, string? position = null,
                                           string? duration = null, CancellationToken cancellationToken = default) =>
        Queue(UpdateSessionWork(arm, key, base64Body, position, duration), cancellationToken);

    private static Func<int> UpdateSessionWork(bool arm, string key, string base64Body, string? position,
                                               string? duration)
    {
        byte[]? k = Utf8.Encode(key, nameof(key)), b = Utf8.Encode(base64Body, nameof(base64Body)),
                p = Utf8.Encode(position, nameof(position)), d = Utf8.Encode(duration, nameof(duration));
        return Write(arm, () =>
        {
            fixed (byte* pk = k, pb = b, pp = p, pd = d)
                return mvfiles_update_playback_session(pk, pb, pp, pd);
        });
    }

    /// <inheritdoc/>
    public void DownloadMagnet(bool arm, string user, string? magnet, string? storageId = null,
                               string? downloaderId = null, string? extension = null, string? tkey = null) =>
        Call(MagnetWork(arm, user, magnet, storageId, downloaderId, extension, tkey));

    /// <inheritdoc/>
    public Task DownloadMagnetAsync(bool arm, string user, string? magnet, string? storageId = null,
                                    string? downloaderId = null, string? extension = null, string? tkey = null,
                                    CancellationToken cancellationToken = default) =>
        Queue(MagnetWork(arm, user, magnet, storageId, downloaderId, extension, tkey), cancellationToken);

    private static Func<int> MagnetWork(bool arm, string user, string? magnet, string? storageId,
                                        string? downloaderId, string? extension, string? tkey)
    {
        byte[]? u = Utf8.Encode(user, nameof(user)), m = Utf8.Encode(magnet, nameof(magnet)),
                s = Utf8.Encode(storageId, nameof(storageId)), d = Utf8.Encode(downloaderId, nameof(downloaderId)),
                e = Utf8.Encode(extension, nameof(extension)), t = Utf8.Encode(tkey, nameof(tkey));
        return Write(arm, () =>
        {
            fixed (byte* pu = u, pm = m, ps = s, pd = d, pe = e, pt = t)
                return mvfiles_download_magnet(pu, pm, ps, pd, pe, pt);
        });
    }

    // ---- cache and fixture controls --------------------------------------

    private static readonly string[] Families = { "files", "kv", "sessions", "*" };

    /// <inheritdoc/>
    public void SetCacheTtl(TimeSpan? files = null, TimeSpan? keyValue = null, TimeSpan? sessions = null)
    {
        int f = Seconds(files, nameof(files)), k = Seconds(keyValue, nameof(keyValue)),
            s = Seconds(sessions, nameof(sessions));
        Call(() => mvfiles_cache_set_ttl(f, k, s));
    }

    // Whole seconds, rounded up so that a short time-to-live never becomes
    // "unchanged"; 0 (unchanged) for null.
    private static int Seconds(TimeSpan? ttl, string name)
    {
        if (ttl is not TimeSpan t)
            return 0;
        if (t <= TimeSpan.Zero)
            throw new ArgumentOutOfRangeException(name, t, "a time-to-live must be positive");
        return (int)Math.Min(int.MaxValue, Math.Ceiling(t.TotalSeconds));
    }

    /// <inheritdoc/>
    public void ClearCache() => Call(() =>
    {
        mvfiles_cache_clear();
        Shared.FilesChanged();
    });

    /// <inheritdoc/>
    public void InvalidateCache(CacheFamily family, string? key = null)
    {
        byte[] f = Utf8.Encode(Family(family), nameof(family))!;
        byte[]? k = Utf8.Encode(key, nameof(key));
        Call(() =>
        {
            fixed (byte* pf = f, pk = k)
                Check(mvfiles_cache_invalidate(pf, pk));
            if (family == CacheFamily.Files || family == CacheFamily.All)
                Shared.FilesChanged();
        });
    }

    /// <inheritdoc/>
    public bool HasCachedTable(CacheFamily family)
    {
        byte[] f = Utf8.Encode(Family(family), nameof(family))!;
        return Call(() =>
        {
            int present = 0;
            fixed (byte* pf = f)
                Check(mvfiles_cache_has(pf, null, &present));
            return present == 1;
        });
    }

    private static string Family(CacheFamily family) => (uint)family < Families.Length
        ? Families[(int)family]
        : throw new ArgumentOutOfRangeException(nameof(family), family, "not a cache family");

    /// <inheritdoc/>
    public void SetFakeMode(FakeMode mode) => Call(() =>
    {
        int r = mvfiles_fake_mode((int)mode);
        if (r != 0)
            throw new MvfilesException((MvfilesResult)r, $"fake mode must be 0 to 6 (got {(int)mode})");
    });

    /// <inheritdoc/>
    public FakeStats GetFakeStats() => Call(() =>
        new FakeStats(mvfiles_fake_calls(), mvfiles_fake_fail_count(), Utf8.CopyOrEmpty(mvfiles_fake_last_url())));

    /// <inheritdoc/>
    public void ResetFakeStats() => Call(() => mvfiles_fake_reset());
}
