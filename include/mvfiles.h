/*
 * mvfiles.h - client library for the mvfiles catalogue service.
 *
 * The library looks up playable video files by IMDb title id and reads the
 * user's key-value data (playlists, watch positions, external subtitles,
 * playback sessions, cloud storages) from one web service. Plain C; compiles
 * as C99 and C++. Link with -lmvfiles (pkg-config mvfiles, or the CMake
 * target mvfiles::mvfiles).
 *
 * MODEL
 *   Every export is synchronous and runs on the caller's thread; the library
 *   starts no threads and takes no locks, so call it from one thread at a
 *   time. A host installs a transport (mvfiles_use_curl, mvfiles_use_fake or
 *   mvfiles_set_io), optionally sets the origin (mvfiles_set_host), then runs
 *   look-ups. A successful look-up replaces one in-memory table, which the
 *   getters read by zero-based index; a failed look-up leaves every table as
 *   it was, but for one case: a key-value look-up whose rows arrived and
 *   whose table then could not be built (MVFILES_ERR_OOM) holds the new rows
 *   with an empty table, the other key-value tables emptied (see [kv]).
 *   Tables double as caches: a repeated look-up within its family's
 *   time-to-live is answered from the table without a request. Ages are
 *   read from the calendar clock; a table stamped later than the present
 *   time (the clock was set back) counts as too old and is fetched again.
 *
 * RESULTS
 *   Operations that can fail return an mvfiles_result and leave a message in
 *   mvfiles_last_error(): empty after a success (mvfiles_arm_writes leaves
 *   its own), set after a failure. mvfiles_last_http_code() holds the status
 *   of the last exchange (0 when the call sent nothing). Every look-up starts
 *   by emptying both. The message is always valid UTF-8: a message cut to
 *   255 bytes ends at the last whole character, a byte that starts no
 *   character is shown as "\xNN", and where a message quotes an argument
 *   ("... (got '%s')") its backslashes are shown as "\\" and its control
 *   bytes as "\r", "\n", "\t" or "\xNN"; a cut never ends inside one of
 *   these escapes. Results are as documented for each export, whatever a
 *   transport's failure text says: a host transport's or the real
 *   transport's failure is MVFILES_ERR_TRANSPORT even when its text begins
 *   with "oom"; only the fixture backend's own lack of memory gives
 *   MVFILES_ERR_OOM.
 *
 * GETTERS
 *   Getters never fail: an index outside 0..count-1, or no table at all,
 *   gives NULL for a text and the fixed number named with each getter. A
 *   member the service left out (or sent with another JSON type) gives NULL
 *   for a text and the "missing" number named with each getter.
 *
 * TEXT LIFETIMES
 *   Every text the library returns belongs to the library: never free or
 *   change it, and copy it if it must outlive the rule below. Each getter
 *   names its rule:
 *
 *   [files]    Valid until the file table is replaced or dropped: the next
 *              mvfiles_get_by_imdb, mvfiles_get_by_keys, mvfiles_is_playable
 *              or mvfiles_is_playable_se that fetches a new table (one that is
 *              answered from the current table or fails does not), and
 *              mvfiles_cache_clear, mvfiles_cache_invalidate("files", key)
 *              with key NULL, "" or the table's key, mvfiles_cache_invalidate
 *              ("*", ...) and mvfiles_shutdown.
 *   [kv]       Valid until the key-value rows are replaced or dropped: the
 *              next key-value look-up of any kind (mvfiles_get_playlists,
 *              mvfiles_get_progress, mvfiles_get_external_subtitles,
 *              mvfiles_get_session_index, mvfiles_get_storages) whose row
 *              request succeeds, even when it then fails with
 *              MVFILES_ERR_OOM while building its table, and
 *              mvfiles_cache_clear, mvfiles_cache_invalidate("kv", key) with
 *              key NULL, "" or the rows' key, mvfiles_cache_invalidate("*",
 *              ...) and mvfiles_shutdown. One key-value table is held at a
 *              time: rows fetched for one kind empty the other four tables.
 *   [sessions] Valid until the session table is replaced or dropped: the
 *              next mvfiles_get_playback_sessions that fetches a new table,
 *              and mvfiles_cache_clear, mvfiles_cache_invalidate("sessions",
 *              key) with key NULL, "" or the table's key,
 *              mvfiles_cache_invalidate("*", ...) and mvfiles_shutdown.
 *   A few getters return a buffer of their own; their comments say which
 *   call overwrites it.
 *
 * KEY LAYOUTS
 *   Key-value rows carry keys made of parts joined by "_". The service sends
 *   each row with its parts p0..p9 (split at every "_"), and the library
 *   reads some of them by position:
 *
 *     watch position   RVD_Position_<user>_<profile>_<imdb>_<season>_<episode>_<duration>
 *                      p2 user, p3 profile, p4 IMDb id, p5 season, p6 episode,
 *                      p7 duration in whole seconds (mvfiles_progress_size)
 *     external subtitle RVD_ExternalSubtitle_<imdb>_<season>_<episode>_<label>
 *                      p2 IMDb id, p3 season, p4 episode, p5 the label's
 *                      first part, taken as the file name (mvfiles_sub_filename)
 *     session index    VELTRONA_PlaybackSession_<user>_<profile>_<imdb>_<season>_<episode>_<size>_<session key>
 *                      p2 user, p3 profile, p4 IMDb id, p5 season, p6 episode,
 *                      p7 size, p8 session key
 *
 *   A user id or label that itself holds "_" shifts every later part. Number
 *   parts read like strtol in base 10: leading blanks and a sign, up to the
 *   first other character; no digits or no part give 0; 32-bit values
 *   saturate. A film's season and episode are written as -1.
 */
#ifndef MVFILES_H
#define MVFILES_H

#include <stdint.h>
#include "veltrona_http.h"

#if defined(_WIN32)
#  if defined(MVFILES_BUILDING)
#    define MVFILES_API __declspec(dllexport)
#  else
#    define MVFILES_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define MVFILES_API __attribute__((visibility("default")))
#else
#  define MVFILES_API
#endif

/* noexcept from C++11 on; MSVC 2015 and later have it too, even where
 * __cplusplus still reports 199711L (no /Zc:__cplusplus). */
#if defined(__cplusplus) && (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1900))
#  define MVFILES_NOEXCEPT noexcept
#else
#  define MVFILES_NOEXCEPT
#endif
#ifdef __cplusplus
extern "C" {
#endif

/* Result of every operation that can fail. */
typedef int32_t mvfiles_result;
#define MVFILES_OK              0  /* success */
#define MVFILES_ERR_TRANSPORT   1  /* no HTTP response, body over 32 MiB; unusable transport */
#define MVFILES_ERR_HTTP        2  /* HTTP status outside 200-299 ("HTTP 500") */
#define MVFILES_ERR_JSON        3  /* body not JSON, or root of the wrong kind */
#define MVFILES_ERR_EMPTY       4  /* empty body or empty answer */
#define MVFILES_ERR_NOT_FOUND   5  /* HTTP 404: nothing found */
#define MVFILES_ERR_ARG         6  /* invalid argument or refused origin; nothing was sent */
#define MVFILES_ERR_NO_TRANSPORT 7 /* no transport installed */
#define MVFILES_ERR_OOM         8  /* out of memory ("oom" or "oom: ...") */
#define MVFILES_ERR_NOT_ARMED   9  /* write attempted while writes are disarmed */

/* ---- Client state, transports, errors ---------------------------------- */

/* The version text "1.0.0"; a constant, valid for the life of the library. */
MVFILES_API const char *mvfiles_version(void) MVFILES_NOEXCEPT;

/* Sets the service origin every URL starts with. A value that does not
 * begin with "http://" or "https://" (exact case) gets "https://" in front;
 * NULL or "" restores the default "https://api.mvfiles.example". The value
 * is not trimmed, and a port, a path prefix, a trailing slash, a bracketed
 * IPv6 address and a non-ASCII host name in UTF-8 are kept as given. An
 * origin is used whole or not at all: one over 255 bytes (with "https://"
 * in front when added), holding a space, a control byte (below 0x21,
 * 0x7F), '#', '?' or '\', or not valid UTF-8 is not stored; nor is one
 * whose authority (after the scheme, up to the first '/') is not a
 * non-empty host name or a bracketed IPv6 address followed by at most one
 * ":port" of 1 to 65535: so "https://", "HTTPS://x" and "ftp://x" (which
 * would name the host "HTTPS" or "ftp"), "https:/x" and a user part
 * ("https://a@b") are refused. The origin held before stays, unused:
 * every look-up and write then fails with MVFILES_ERR_ARG ("invalid origin:
 * over 255 bytes", "... holds '#'", "... no host name", "... holds '@'",
 * "... port must be 1 to 65535", "... bad IPv6 literal", "... scheme must
 * be http:// or https://"), sends nothing and touches no
 * table (a table that would answer from the cache included), until a usable
 * origin, NULL or "" is set. The refusal survives mvfiles_shutdown, like
 * the origin. Writes no last-error text. */
MVFILES_API void mvfiles_set_host(const char *origin) MVFILES_NOEXCEPT;

/* Installs the transport carried by a host's io record (veltrona_http.h):
 * MVFILES_OK, last error emptied; or MVFILES_ERR_TRANSPORT when the record,
 * its context or its transport is not valid ("io carries no fleet
 * transport ..."), the previous transport staying installed. NULL
 * uninstalls and returns MVFILES_OK without touching the last error. Only
 * the veltrona_http record found in the context is kept: it, and whatever
 * its user_data refers to, must stay alive while installed; the io record
 * and its context are not used after the call. */
MVFILES_API mvfiles_result mvfiles_set_io(const veltrona_io *io) MVFILES_NOEXCEPT;

/* Installs the library's real HTTP transport (libcurl on Linux, WinHTTP on
 * Windows): MVFILES_OK, last error emptied; MVFILES_ERR_TRANSPORT "no real
 * transport available in this build" when none exists. Its timeouts are
 * idle timeouts, and once a request is sent every 60 s must bring at least
 * 1 KiB of the answer (head or body) or its end: otherwise the look-up
 * fails with MVFILES_ERR_TRANSPORT and the receive-timeout text
 * ("transport: WinHttpReceiveResponse failed: ..." or "transport:
 * WinHttpReadData failed: ...", 28 on Linux, 12002 on Windows). On both,
 * an answer whose body ends before its Content-Length is a transport
 * failure, never a short success: "WinHttpReadData failed: 18" from
 * libcurl; from WinHTTP its own read failure, or "WinHttpReadData failed:
 * 12030" where it ends such a body quietly. */
MVFILES_API mvfiles_result mvfiles_use_curl(void) MVFILES_NOEXCEPT;

/* Message of the last operation that reports one; never NULL, "" after a
 * success. The pointer stays valid; the text is rewritten by the next
 * look-up, write, mvfiles_is_playable(_se), mvfiles_set_io (not NULL),
 * mvfiles_use_curl, mvfiles_use_fake, mvfiles_arm_writes or
 * mvfiles_shutdown. Getters, cache and fixture controls and
 * mvfiles_set_host leave it alone. At most 255 bytes, UTF-8. */
MVFILES_API const char *mvfiles_last_error(void) MVFILES_NOEXCEPT;

/* HTTP status of the last exchange; 0 after a look-up answered from a
 * table or stopped before sending, and after mvfiles_shutdown. A write that
 * stops before sending leaves the previous value. */
MVFILES_API int32_t mvfiles_last_http_code(void) MVFILES_NOEXCEPT;

/* Releases every table (invalidating [files], [kv] and [sessions] texts),
 * forgets the transport, disarms writes, sets the last HTTP code to 0 and
 * empties the last error. The origin, the time-to-live values and the
 * fixture backend's directory and mode survive. On Windows, FreeLibrary of
 * the DLL releases the tables too, so a host that skips this call before
 * unloading leaks nothing. */
MVFILES_API void mvfiles_shutdown(void) MVFILES_NOEXCEPT;

/* Arms (1) or disarms (0) the three write operations: MVFILES_OK, leaving
 * the message "writes ARMED — production mutations possible" or "writes
 * disarmed"; MVFILES_ERR_ARG "arm must be 0 or 1" for any other value, the
 * switch unchanged. */
MVFILES_API mvfiles_result mvfiles_arm_writes(int32_t arm) MVFILES_NOEXCEPT;

/* 1 while writes are armed, else 0. */
MVFILES_API int32_t mvfiles_writes_armed(void) MVFILES_NOEXCEPT;

/* Stable non-negative 32-bit hash of a UTF-8 text, 0..2147483647, the same
 * on every run and machine ("" gives 371857150); 0 for NULL or structurally
 * malformed UTF-8 (a stray continuation byte, a byte 0xF8-0xFF, a sequence
 * cut short). Overlong forms and surrogates are decoded arithmetically and
 * hashed like any character. Used for mvfiles_sub_id. */
MVFILES_API int32_t mvfiles_stable_hash(const char *text) MVFILES_NOEXCEPT;

/* ---- Response cache ------------------------------------------------------ */
/* Three families, each caching its current table: "files" (file table,
 * 300 s by default), "kv" (the key-value rows and the table built from them,
 * 900 s) and "sessions" (playback sessions, 60 s). Family names are exact and
 * case-sensitive. None of these calls writes the last error. Table keys,
 * for mvfiles_cache_invalidate: "files|<id>|<season>|<episode>" (with
 * "-1|-1" for both negative) or "keys|<count>"; "plays|<type>",
 * "prog|<prefix>", "subs|<id>|<season>|<episode>", "sessix|<prefix>" or
 * "storages"; "sess|<ids>". */

/* Sets the time-to-live in seconds of the files, kv and sessions tables;
 * a value of 0 or less leaves that family unchanged. Held tables are judged
 * by the new value. Survives mvfiles_shutdown. */
MVFILES_API void mvfiles_cache_set_ttl(int32_t files, int32_t kv, int32_t sessions) MVFILES_NOEXCEPT;

/* Drops the files, kv and sessions tables: invalidates [files], [kv] and
 * [sessions] texts. */
MVFILES_API void mvfiles_cache_clear(void) MVFILES_NOEXCEPT;

/* Drops a family's table ("files", "kv", "sessions"; "*" drops all three)
 * when key is NULL, "" or equal to the table's key (above), invalidating
 * that family's texts. MVFILES_OK whether or not a table was dropped;
 * MVFILES_ERR_ARG for a NULL or unknown family. */
MVFILES_API mvfiles_result mvfiles_cache_invalidate(const char *family, const char *key) MVFILES_NOEXCEPT;

/* Sets *present (when not NULL) to 1 when the family holds a table within
 * its time-to-live, else 0 (a table stamped later than the present time,
 * as after the clock was set back, is past its time-to-live and fetched
 * again); for "*", 1 when any family holds a table, fresh
 * or not. The key is not consulted. MVFILES_OK, or MVFILES_ERR_ARG for a
 * NULL or unknown family (*present then 0). */
MVFILES_API mvfiles_result mvfiles_cache_has(const char *family, const char *key, int32_t *present) MVFILES_NOEXCEPT;

/* ---- File catalogue ------------------------------------------------------ */

/* Files of one IMDb title: "tt" (either case) and 5 to 10 digits. season and
 * episode narrow a series; negative means none, and once either is 0 or more
 * both are sent, the other empty. GET /api/finder/getfiles. Answered from
 * the file table, without a request and even without a transport, when the
 * same id (byte for byte), season and episode built it within the files
 * time-to-live (-1, -1 for "none"; other negative values always fetch).
 * Results: MVFILES_OK; MVFILES_ERR_NO_TRANSPORT (tested before the id);
 * MVFILES_ERR_ARG (id NULL, empty or malformed; a refused origin, tested
 * first, see mvfiles_set_host); MVFILES_ERR_TRANSPORT;
 * MVFILES_ERR_NOT_FOUND (HTTP 404); MVFILES_ERR_HTTP (other status outside
 * 200-299); MVFILES_ERR_EMPTY (empty body or empty array); MVFILES_ERR_JSON
 * (not JSON, root not an array); MVFILES_ERR_OOM. A success replaces the
 * file table: see [files]. */
MVFILES_API mvfiles_result mvfiles_get_by_imdb(const char *imdb_id, int32_t season, int32_t episode) MVFILES_NOEXCEPT;

/* Files with the given keys, POSTed as a JSON array to /api/finder/getfiles;
 * never answered from the cache. Results as mvfiles_get_by_imdb, with
 * MVFILES_ERR_ARG for, in this order, keys NULL or count 0 ("keys
 * required"), a NULL or empty key ("keys[N] empty", the first one), more
 * than 4096 keys ("too many keys (max 4096)") and a key that is not valid
 * UTF-8 ("keys[N] not valid UTF-8"), and MVFILES_ERR_HTTP "getfiles POST: HTTP
 * 405 (server is GET-only, SPEC D3)" for a 405 (the offline fixture backend
 * always answers 405). A success replaces the file table: see [files]. */
MVFILES_API mvfiles_result mvfiles_get_by_keys(const char *const *keys, uint64_t count) MVFILES_NOEXCEPT;

/* Runs mvfiles_get_by_imdb (season and episode -1 for mvfiles_is_playable)
 * and returns 1 when a file of the table has an access entry, whatever its
 * flags; 0 when none has, or the look-up gave MVFILES_ERR_EMPTY or
 * MVFILES_ERR_NOT_FOUND; -1 when it gave MVFILES_ERR_TRANSPORT (the last
 * error then begins with "transport: "); otherwise the look-up's result:
 * MVFILES_ERR_HTTP, MVFILES_ERR_JSON, MVFILES_ERR_ARG,
 * MVFILES_ERR_NO_TRANSPORT or MVFILES_ERR_OOM. Replaces the file table like
 * the look-up, which stays readable afterwards: see [files]. */
MVFILES_API int32_t mvfiles_is_playable_se(const char *imdb_id, int32_t season, int32_t episode) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_playable(const char *imdb_id) MVFILES_NOEXCEPT;

/* Number of files in the table, in the service's order; 0 without a table. */
MVFILES_API int32_t mvfiles_count(void) MVFILES_NOEXCEPT;

/* File texts, borrowed from the answer [files]: key, IMDb id, parent key,
 * file name, path, extension (as sent, e.g. ".mkv"), subtitle languages and
 * their titles (comma-separated), creation and update times. NULL when the
 * member is missing or not a string, and out of range. */
MVFILES_API const char *mvfiles_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_imdb(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_parent_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_filename(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_path(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_extension(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_subtitle_languages(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_subtitle_language_titles(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_created(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_record_updated(int32_t i) MVFILES_NOEXCEPT;

/* Size in bytes and duration in seconds: 0 when missing or not a number
 * (reals are truncated, huge values saturate); 0 out of range. */
MVFILES_API int64_t mvfiles_size(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_duration_seconds(int32_t i) MVFILES_NOEXCEPT;

/* Season and episode: -1 when missing, not a number or below -1.
 * HDR, HEVC and Dolby Atmos flags: 1 true, 0 false, -1 when missing or not
 * a JSON boolean. Subtitle count, audio channels, video width and height:
 * 0 when missing or not a number. All nine give -1 out of range. */
MVFILES_API int32_t mvfiles_season(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_episode(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_hdr(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_hevc(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_dolby(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_subtitle_count(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_audio_channels(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_video_width(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_video_height(int32_t i) MVFILES_NOEXCEPT;

/* Access entries of file i (the object elements of its "entries" array),
 * indexed by e. mvfiles_entry_count: 0 without entries and out of range.
 * mvfiles_entry_uri, mvfiles_entry_url [files]: NULL when missing and out
 * of range. mvfiles_entry_is_active: 1 or 0 (0 when missing); -1 out of
 * range. mvfiles_entry_content_source: the integer accessSource.contentSource
 * (its low 32 bits); -1 when missing or not an integer, and out of range. */
MVFILES_API int32_t mvfiles_entry_count(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_entry_uri(int32_t i, int32_t e) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_entry_url(int32_t i, int32_t e) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_entry_is_active(int32_t i, int32_t e) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_entry_content_source(int32_t i, int32_t e) MVFILES_NOEXCEPT;

/* File i as compact JSON: every member the service sent, in its order,
 * with the names, strings, booleans and nulls as sent; numbers are written
 * again from their values (an integer as an integer, any other number in
 * its shortest round-trip form: 1E6 comes back as 1000000.0, 1.50 as 1.5).
 * Never cut. NULL out of range or out of memory (nothing reported).
 * A buffer of its own: valid until the next mvfiles_file_json call that
 * returns a text; replacing or dropping the file table does not touch it. */
MVFILES_API const char *mvfiles_file_json(int32_t i) MVFILES_NOEXCEPT;

/* ---- Playlists ------------------------------------------------------------ */

/* Rows of one playlist type, "Production", "Movies" or "Series" (exact case),
 * read from the key-value rows under "RVD_<type>Playlist". The two leading
 * arguments are not read. Answered from the table when the same type built
 * it within the kv time-to-live and it has rows. Results: MVFILES_OK (also
 * for an answer without object rows: count 0, never cached); MVFILES_ERR_ARG
 * (type NULL, empty or unknown); MVFILES_ERR_NO_TRANSPORT;
 * MVFILES_ERR_TRANSPORT; MVFILES_ERR_NOT_FOUND (HTTP 404, "no rows for
 * prefix (HTTP 404)"); MVFILES_ERR_HTTP; MVFILES_ERR_EMPTY (empty body,
 * "keyvalue: no rows" for an empty array); MVFILES_ERR_JSON;
 * MVFILES_ERR_OOM ("oom: kv rows", "oom: playlists"). See [kv]. */
MVFILES_API mvfiles_result mvfiles_get_playlists(const char *reserved1, const char *reserved2, const char *type) MVFILES_NOEXCEPT;

/* Number of playlist rows; 0 without a table. */
MVFILES_API int32_t mvfiles_playlist_count(void) MVFILES_NOEXCEPT;
/* The row's key and raw value [kv]; NULL when missing and out of range. */
MVFILES_API const char *mvfiles_playlist_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_value(int32_t i) MVFILES_NOEXCEPT;
/* List id: when the value is a JSON object text, its "Id" number (0 when it
 * has none); -1 for any other value (a comma list, empty, invalid JSON) and
 * out of range. */
MVFILES_API int64_t mvfiles_playlist_id(int32_t i) MVFILES_NOEXCEPT;
/* Name, logo path and origin country of a JSON object value [kv]; NULL when
 * missing, for any other value, and out of range. */
MVFILES_API const char *mvfiles_playlist_name(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_logo(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_origin(int32_t i) MVFILES_NOEXCEPT;
/* Number of IMDb ids of row i: the string elements of the object's
 * "IMDbIds" array, or the pieces of a comma-separated value (leading blanks
 * removed, empty pieces kept, a final comma adds none); 0 out of range. */
MVFILES_API int32_t mvfiles_playlist_imdb_count(int32_t i) MVFILES_NOEXCEPT;
/* The j-th IMDb id of row i [kv]; NULL when i or j is out of range. */
MVFILES_API const char *mvfiles_playlist_imdb(int32_t i, int32_t j) MVFILES_NOEXCEPT;
/* The ids of row i that fit whole into 8190 characters, in order, joined
 * with ","; NULL out of range or without ids. A buffer of its own: valid
 * until the next mvfiles_playlist_imdbids call that returns a text. */
MVFILES_API const char *mvfiles_playlist_imdbids(int32_t i) MVFILES_NOEXCEPT;

/* ---- Watch progress, external subtitles, session index -------------------- */

/* Watch positions of a user profile for a title: the rows under the prefix
 * "RVD_Position_<user>_<profile>_<imdb>" (see KEY LAYOUTS; user NULL or ""
 * leaves that part empty). The prefix has no trailing "_", so the rows of
 * longer ids that begin with the given one (tt01111610 for tt0111161) come
 * too. Answered from the table when the same prefix built it within the kv
 * time-to-live and it has rows. Results: MVFILES_OK; MVFILES_ERR_ARG
 * ("imdbId required" for an imdb NULL or empty, tested first; a prefix
 * longer than 255 bytes, nothing sent); then as mvfiles_get_playlists, with
 * "oom: progress". See [kv]. */
MVFILES_API mvfiles_result mvfiles_get_progress(const char *user, int32_t profile, const char *imdb_id) MVFILES_NOEXCEPT;

/* Number of position rows (every row of the answer); 0 without a table. */
MVFILES_API int32_t mvfiles_progress_count(void) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_progress_key(int32_t i) MVFILES_NOEXCEPT;      /* [kv]; NULL when missing, out of range */
MVFILES_API const char *mvfiles_progress_updated(int32_t i) MVFILES_NOEXCEPT;  /* always NULL */
/* Watched fraction: the row's value read as a decimal number with a "."
 * whatever the process locale; 0.0 when missing and out of range. */
MVFILES_API double mvfiles_progress_value(int32_t i) MVFILES_NOEXCEPT;
/* Duration in whole seconds (p7), season (p5), episode (p6): 0 when the
 * part is missing and out of range. */
MVFILES_API int64_t mvfiles_progress_size(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_progress_season(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_progress_episode(int32_t i) MVFILES_NOEXCEPT;

/* External subtitles of one episode (-1, -1 for a film): every row under
 * "RVD_ExternalSubtitle_<imdb>" is fetched and those whose key begins with
 * "RVD_ExternalSubtitle_<imdb>_<season>_<episode>_" are kept, in order.
 * Answered from the table when the same id, season and episode built it
 * within the kv time-to-live and it has rows. Results: MVFILES_OK (also
 * when no row is kept: count 0); MVFILES_ERR_ARG ("imdb id required"; a
 * prefix longer than 127 bytes, nothing sent); then as
 * mvfiles_get_playlists, with "oom: subtitles". See [kv]. */
MVFILES_API mvfiles_result mvfiles_get_external_subtitles(const char *imdb_id, int32_t season, int32_t episode) MVFILES_NOEXCEPT;

/* Number of kept subtitle rows; 0 without a table. */
MVFILES_API int32_t mvfiles_sub_count(void) MVFILES_NOEXCEPT;
/* Key; uri (the row's value); label (the rest of the key after the episode
 * prefix); file name (p5) [kv]: NULL when missing and out of range. */
MVFILES_API const char *mvfiles_sub_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_uri(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_label(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_filename(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_updated(int32_t i) MVFILES_NOEXCEPT;        /* always NULL */
MVFILES_API int64_t mvfiles_sub_id(int32_t i) MVFILES_NOEXCEPT;                 /* mvfiles_stable_hash of the key; 0 out of range */
/* A subtitle derives from another kept one whose uri differs and ends in a
 * path segment equal to its file name (the last such one in table order):
 * mvfiles_sub_parent_id gives that one's id, mvfiles_sub_is_child 1. Both 0
 * for a root subtitle and out of range. */
MVFILES_API int64_t mvfiles_sub_parent_id(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_sub_enabled(int32_t i) MVFILES_NOEXCEPT;            /* always 0 */
MVFILES_API int32_t mvfiles_sub_is_child(int32_t i) MVFILES_NOEXCEPT;

/* Playback-session index rows under "VELTRONA_PlaybackSession_<user>", or
 * "VELTRONA_PlaybackSession" for every user when user is NULL or "" (no
 * trailing "_": user "ab" also lists "abc"). Answered from the table when
 * the same prefix built it within the kv time-to-live and it has rows.
 * Results: MVFILES_OK; MVFILES_ERR_ARG (a prefix longer than 255 bytes,
 * nothing sent); then as mvfiles_get_playlists, with "oom: session index".
 * See [kv]. */
MVFILES_API mvfiles_result mvfiles_get_session_index(const char *user) MVFILES_NOEXCEPT;

/* Number of index rows (every row of the answer); 0 without a table. */
MVFILES_API int32_t mvfiles_sessionix_count(void) MVFILES_NOEXCEPT;
/* Key, user (p2), IMDb id (p4), session key (p8) [kv]: NULL when missing and
 * out of range. Profile (p3), season (p5), episode (p6), size (p7): 0 when
 * missing and out of range. */
MVFILES_API const char *mvfiles_sessionix_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sessionix_user(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sessionix_imdb(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sessionix_sessionkey(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_sessionix_profile(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_sessionix_season(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_sessionix_episode(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_sessionix_size(int32_t i) MVFILES_NOEXCEPT;

/* ---- Storages ------------------------------------------------------------ */

/* The user's cloud drives. First GET /api/APIFunction?name=GetAuth, which
 * must answer exactly 200 with base64 text of a JSON document (checked,
 * not kept); then the key-value rows under "RVD_ONEDRIVES" (which also
 * matches "RVD_ONEDRIVESITEMS..."), each value a JSON object describing a
 * drive. Never answered from the cache: two requests every call. Results:
 * MVFILES_OK; MVFILES_ERR_NO_TRANSPORT; MVFILES_ERR_TRANSPORT;
 * MVFILES_ERR_NOT_FOUND (GetAuth or the rows answered 404);
 * MVFILES_ERR_HTTP (GetAuth answered anything but 200, other 2xx included,
 * or the rows a status outside 200-299); MVFILES_ERR_JSON (GetAuth body not
 * base64, or not JSON once decoded, an empty body included; rows not JSON);
 * MVFILES_ERR_EMPTY (rows: empty body or empty array); MVFILES_ERR_OOM.
 * A failure at GetAuth leaves every table as it was. See [kv]. */
MVFILES_API mvfiles_result mvfiles_get_storages(void) MVFILES_NOEXCEPT;

/* Number of drives: rows whose value is a JSON object; 0 without a table. */
MVFILES_API int32_t mvfiles_storage_count(void) MVFILES_NOEXCEPT;
/* Owner's e-mail and display name (owner.user.email, .displayName), drive
 * id, quota state and drive type; copies owned by the table [kv]: NULL when
 * missing and out of range. */
MVFILES_API const char *mvfiles_storage_email(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_name(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_id(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_state(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_type(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_storage_files_count(int32_t i) MVFILES_NOEXCEPT;    /* always 0 */
/* Quota in bytes: total, used, remaining; 0 when missing and out of range. */
MVFILES_API int64_t mvfiles_storage_total(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_storage_used(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_storage_remaining(int32_t i) MVFILES_NOEXCEPT;

/* ---- Playback sessions ----------------------------------------------------- */

/* Session rows by their ids: the text is POSTed as it is ("text/plain") to
 * /api/AAA/GetPlaybackSessions. Answered from the table, before any other
 * check, when the same text built it within the sessions time-to-live (a
 * text too long for the 512-byte table key is always fetched). Results:
 * MVFILES_OK (also for an empty array: count 0); MVFILES_ERR_NO_TRANSPORT;
 * MVFILES_ERR_ARG (ids NULL or empty); MVFILES_ERR_TRANSPORT;
 * MVFILES_ERR_HTTP (any status outside 200-299, 404 included; "sessions:
 * HTTP 405 (GET is not allowed, POST-only)" for a 405); MVFILES_ERR_EMPTY
 * (empty body); MVFILES_ERR_JSON; MVFILES_ERR_OOM. See [sessions]. */
MVFILES_API mvfiles_result mvfiles_get_playback_sessions(const char *ids) MVFILES_NOEXCEPT;

/* Number of session rows (the object elements of the answer); 0 without a
 * table. */
MVFILES_API int32_t mvfiles_session_count(void) MVFILES_NOEXCEPT;
/* Id, creation time and value (a text of flag characters) [sessions]; NULL
 * when missing and out of range. */
MVFILES_API const char *mvfiles_session_id(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_session_created(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_session_value(int32_t i) MVFILES_NOEXCEPT;
/* Flag at a zero-based position of the row's value: 1 for "1", 0 for "0";
 * -1 for any other character, a missing value, a position outside the
 * value, and out of range. */
MVFILES_API int32_t mvfiles_session_bit(int32_t i, int32_t position) MVFILES_NOEXCEPT;

/* ---- Writes (refused with MVFILES_ERR_NOT_ARMED unless mvfiles_arm_writes(1)) */
/* The three writes change real data on the service. Checks run in this
 * order: armed, arguments, transport ("no transport installed"), origin
 * (MVFILES_ERR_ARG "invalid origin: ..." after a refused mvfiles_set_host);
 * nothing is sent when one fails. Any 2xx status is success; the body is discarded.
 * Writes neither read nor change a table: invalidate "kv" or "sessions" to
 * see their effect. They do not run the look-up prologue: the last HTTP
 * code keeps its previous value when they stop before sending. The offline
 * fixture backend has no write routes: armed writes give
 * MVFILES_ERR_TRANSPORT there. */

/* Saves a watch position: POST /api/KeyValue?key=...&value=... (empty body)
 * with the key RVD_Position_<user>_<profile>_<imdb>_<season>_<episode>_<d>,
 * d the duration truncated to whole seconds, and the value position/duration
 * clamped to 0..1 in "%.17g" form with a "." whatever the locale. The sixth
 * argument is not read. Results: MVFILES_OK; MVFILES_ERR_NOT_ARMED;
 * MVFILES_ERR_ARG (user or imdb NULL or empty; duration not above 0,
 * position below 0, either NaN or infinite; a key longer than 255 bytes);
 * MVFILES_ERR_NO_TRANSPORT; MVFILES_ERR_OOM; MVFILES_ERR_TRANSPORT;
 * MVFILES_ERR_HTTP. */
MVFILES_API mvfiles_result mvfiles_save_progress(const char *user, int32_t profile, const char *imdb_id,
                                                 int32_t season, int32_t episode, int64_t reserved,
                                                 double position, double duration) MVFILES_NOEXCEPT;

/* Overwrites a playback-session row: POST
 * /api/AAA/UpdatePlaybackSession?key=... with the base64 text as the body,
 * unchecked and unchanged; "&position=...&duration=..." are added only when
 * both are non-empty. Results: MVFILES_OK; MVFILES_ERR_NOT_ARMED;
 * MVFILES_ERR_ARG (key or body NULL or empty); MVFILES_ERR_NO_TRANSPORT;
 * MVFILES_ERR_OOM (also when position or duration cannot be encoded: never
 * sent without them); MVFILES_ERR_TRANSPORT; MVFILES_ERR_HTTP. */
MVFILES_API mvfiles_result mvfiles_update_playback_session(const char *key, const char *base64_body,
                                                           const char *position, const char *duration) MVFILES_NOEXCEPT;

/* Queues a download: POST /api/AAA/DownloadMagnet with the JSON object
 * {"userId","magnet","storageId","downloaderId","extension","tkey"}, one
 * member per argument that is not NULL ("" is sent as ""). Results:
 * MVFILES_OK; MVFILES_ERR_NOT_ARMED; MVFILES_ERR_ARG (user NULL or empty, or
 * both magnet and tkey NULL or empty; a text that is not valid UTF-8,
 * "magnet not valid UTF-8" naming its member); MVFILES_ERR_NO_TRANSPORT;
 * MVFILES_ERR_OOM; MVFILES_ERR_TRANSPORT; MVFILES_ERR_HTTP. */
MVFILES_API mvfiles_result mvfiles_download_magnet(const char *user, const char *magnet, const char *storage_id,
                                                   const char *downloader_id, const char *extension,
                                                   const char *tkey) MVFILES_NOEXCEPT;

/* ---- Offline fixture backend ---------------------------------------------- */
/* A transport that answers every read route from one file per route in a
 * corpus directory (the bundled corpus installs as share/mvfiles/fixtures), with
 * injectable failures and call statistics. A missing file fails the request
 * ("fake: ... fixture missing", MVFILES_ERR_TRANSPORT), one that cannot be
 * read for lack of memory too ("oom: fixture", which a look-up reports as
 * MVFILES_ERR_OOM); without a directory files are looked for under "/". None of these calls writes the last
 * error except mvfiles_use_fake. */

/* Installs the offline fixture backend as the transport, reading from the
 * directory given to mvfiles_fake_corpus. Always MVFILES_OK, last error
 * emptied. */
MVFILES_API mvfiles_result mvfiles_use_fake(void) MVFILES_NOEXCEPT;
/* Sets the corpus directory, effective from the next request: MVFILES_OK
 * ("" keeps the current directory), or MVFILES_ERR_ARG for NULL and for a
 * path over 511 bytes, the current directory kept (a path is never cut).
 * On Windows the path must be UTF-8 (an ANSI text gives MVFILES_ERR_ARG)
 * and file names are joined to it with '\', so the "\\?\" long-path form
 * works. Survives mvfiles_shutdown. */
MVFILES_API mvfiles_result mvfiles_fake_corpus(const char *dir) MVFILES_NOEXCEPT;
/* Failure mode, in force until changed: 0 normal routing; 1 transport
 * failure "fake: injected transport failure"; 2 HTTP 500; 3 HTTP 404; 4 200
 * with invalid JSON; 5 200 with an empty body; 6 200 with "null".
 * MVFILES_OK, or MVFILES_ERR_ARG outside 0..6 (the mode unchanged). */
MVFILES_API mvfiles_result mvfiles_fake_mode(int32_t mode) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_fake_calls(void) MVFILES_NOEXCEPT;       /* requests received */
MVFILES_API int64_t mvfiles_fake_fail_count(void) MVFILES_NOEXCEPT;  /* routing failures: missing file, write, unrouted URL */
/* "GET " or "POST " and the URL of the last request ("" before any, at most
 * 1023 bytes). A buffer of its own: overwritten by the next request through
 * the backend and by mvfiles_fake_reset. */
MVFILES_API const char *mvfiles_fake_last_url(void) MVFILES_NOEXCEPT;
/* Clears the statistics and the last URL; the mode and directory stay. */
MVFILES_API void mvfiles_fake_reset(void) MVFILES_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* MVFILES_H */
