/*
 * mvfiles.h - client library for the mvfiles catalogue service.
 *
 * Every export is synchronous and runs on the caller's thread; call the
 * library from one thread at a time. Operations that can fail return an
 * mvfiles_result and leave a message in mvfiles_last_error() (empty after a
 * success). Look-ups replace an in-memory table that the scalar getters read
 * by zero-based index; a text returned by a getter stays valid until its
 * table is replaced or released, unless stated otherwise. Out-of-range
 * indexes are never errors: getters return NULL for texts and the fixed
 * number given with each getter.
 *
 * Plain C; compiles as C99 and C++.
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

#ifdef __cplusplus
#  define MVFILES_NOEXCEPT noexcept
extern "C" {
#else
#  define MVFILES_NOEXCEPT
#endif

/* Result of every operation that can fail. */
typedef int32_t mvfiles_result;
#define MVFILES_OK              0  /* success */
#define MVFILES_ERR_TRANSPORT   1  /* no HTTP response; unusable transport */
#define MVFILES_ERR_HTTP        2  /* HTTP status outside 200-299 */
#define MVFILES_ERR_JSON        3  /* body not JSON, or root of the wrong kind */
#define MVFILES_ERR_EMPTY       4  /* empty body or empty answer */
#define MVFILES_ERR_NOT_FOUND   5  /* HTTP 404: nothing found */
#define MVFILES_ERR_ARG         6  /* invalid argument */
#define MVFILES_ERR_NO_TRANSPORT 7 /* no transport installed */
#define MVFILES_ERR_OOM         8  /* out of memory */
#define MVFILES_ERR_NOT_ARMED   9  /* write attempted while writes are disarmed */

/* ---- Client state, transports, errors ---------------------------------- */

/* Constant version text "1.0.0". */
MVFILES_API const char *mvfiles_version(void) MVFILES_NOEXCEPT;

/* Sets the service origin. A value without "http://" or "https://" gets
 * "https://" in front; NULL or "" restores the default origin. At most 255
 * bytes are kept. */
MVFILES_API void mvfiles_set_host(const char *origin) MVFILES_NOEXCEPT;

/* Installs the transport carried by a host's io record; NULL uninstalls.
 * Returns 0, or 1 when the record carries no valid transport (the previous
 * transport then stays installed). The host keeps the records alive. */
MVFILES_API mvfiles_result mvfiles_set_io(const veltrona_io *io) MVFILES_NOEXCEPT;

/* Installs the library's real HTTP transport. 0, or 1 when none exists. */
MVFILES_API mvfiles_result mvfiles_use_curl(void) MVFILES_NOEXCEPT;

/* Message of the last operation; never NULL; valid until the next operation. */
MVFILES_API const char *mvfiles_last_error(void) MVFILES_NOEXCEPT;

/* HTTP status of the last exchange; 0 when there was none. */
MVFILES_API int32_t mvfiles_last_http_code(void) MVFILES_NOEXCEPT;

/* Releases every table, forgets the transport, disarms writes, clears the
 * last error and HTTP code. The origin and time-to-live values survive. */
MVFILES_API void mvfiles_shutdown(void) MVFILES_NOEXCEPT;

/* Arms (1) or disarms (0) the three write operations: 0, or 6 for any
 * other value. Leaves a message in the last-error text even on success. */
MVFILES_API mvfiles_result mvfiles_arm_writes(int32_t arm) MVFILES_NOEXCEPT;

/* 1 while writes are armed, else 0. */
MVFILES_API int32_t mvfiles_writes_armed(void) MVFILES_NOEXCEPT;

/* Stable non-negative 32-bit hash of a UTF-8 text (0 for NULL or malformed
 * UTF-8); the same on every run and machine. */
MVFILES_API int32_t mvfiles_stable_hash(const char *text) MVFILES_NOEXCEPT;

/* ---- Response cache ------------------------------------------------------ */

/* Time-to-live in seconds of the files, kv and sessions tables; values of 0
 * or less leave that family unchanged. Applies to held tables too. */
MVFILES_API void mvfiles_cache_set_ttl(int32_t files, int32_t kv, int32_t sessions) MVFILES_NOEXCEPT;

/* Drops the files, kv and sessions tables. */
MVFILES_API void mvfiles_cache_clear(void) MVFILES_NOEXCEPT;

/* Drops a family's table ("files", "kv", "sessions", or "*" for all) when the
 * key is NULL, empty or equal to the family's stored key. 0, or 6 for a NULL
 * or unknown family. */
MVFILES_API mvfiles_result mvfiles_cache_invalidate(const char *family, const char *key) MVFILES_NOEXCEPT;

/* Sets *present (when given) to 1 when the family holds a fresh table ("*":
 * any table, fresh or not). The key is not consulted. 0, or 6 for a NULL or
 * unknown family. */
MVFILES_API mvfiles_result mvfiles_cache_has(const char *family, const char *key, int32_t *present) MVFILES_NOEXCEPT;

/* ---- File catalogue ------------------------------------------------------ */

/* Files of one IMDb title ("tt" and 5 to 10 digits), optionally narrowed to a
 * season and an episode (negative for none). Answered from the file table
 * when the same query was answered within its time-to-live.
 * Results 0 to 8. */
MVFILES_API mvfiles_result mvfiles_get_by_imdb(const char *imdb_id, int32_t season, int32_t episode) MVFILES_NOEXCEPT;

/* Files with the given keys (1 to 4096 non-empty texts). Results 0 to 8. */
MVFILES_API mvfiles_result mvfiles_get_by_keys(const char *const *keys, uint64_t count) MVFILES_NOEXCEPT;

/* 1 when a file of the title carries an access entry, 0 when none does or
 * nothing was found, -1 when the look-up failed in the transport, otherwise
 * the look-up's result code. Replaces the file table like a look-up. */
MVFILES_API int32_t mvfiles_is_playable_se(const char *imdb_id, int32_t season, int32_t episode) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_playable(const char *imdb_id) MVFILES_NOEXCEPT;

/* Number of files in the table (0 when there is none). */
MVFILES_API int32_t mvfiles_count(void) MVFILES_NOEXCEPT;

/* File texts; NULL out of range or when the file did not carry the member. */
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

/* Size in bytes and duration in seconds; 0 out of range. */
MVFILES_API int64_t mvfiles_size(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_duration_seconds(int32_t i) MVFILES_NOEXCEPT;

/* Season and episode (-1 when absent); flags 1, 0 or -1 (unknown); counts
 * and video size (0 when absent). All give -1 out of range. */
MVFILES_API int32_t mvfiles_season(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_episode(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_hdr(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_hevc(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_is_dolby(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_subtitle_count(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_audio_channels(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_video_width(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_video_height(int32_t i) MVFILES_NOEXCEPT;

/* Access entries of file i: count (0 out of range), uri and url texts (NULL),
 * active flag 1 or 0 and content source (-1 out of range or unknown). */
MVFILES_API int32_t mvfiles_entry_count(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_entry_uri(int32_t i, int32_t e) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_entry_url(int32_t i, int32_t e) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_entry_is_active(int32_t i, int32_t e) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_entry_content_source(int32_t i, int32_t e) MVFILES_NOEXCEPT;

/* File i as compact JSON, members in the service's order, never cut; NULL
 * out of range or out of memory. Valid until the next call. */
MVFILES_API const char *mvfiles_file_json(int32_t i) MVFILES_NOEXCEPT;

/* ---- Playlists ------------------------------------------------------------ */

/* Rows of one playlist type: "Production", "Movies" or "Series". The two
 * leading arguments are reserved and not read. Results 0 to 8. */
MVFILES_API mvfiles_result mvfiles_get_playlists(const char *reserved1, const char *reserved2, const char *type) MVFILES_NOEXCEPT;

MVFILES_API int32_t mvfiles_playlist_count(void) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_value(int32_t i) MVFILES_NOEXCEPT;
/* List id: from a JSON value (0 when it has none), -1 for other values and out of range. */
MVFILES_API int64_t mvfiles_playlist_id(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_name(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_logo(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_origin(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_playlist_imdb_count(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_playlist_imdb(int32_t i, int32_t j) MVFILES_NOEXCEPT;
/* The ids that fit whole into 8190 characters, joined with ","; NULL out of
 * range or without ids. Valid until the next call. */
MVFILES_API const char *mvfiles_playlist_imdbids(int32_t i) MVFILES_NOEXCEPT;

/* ---- Watch progress, external subtitles, session index -------------------- */

/* Watch positions of a user profile for a title (user NULL or "" for an
 * empty user part). Results 0 to 8 (6 also for ids too long for the key
 * prefix: nothing is sent then). */
MVFILES_API mvfiles_result mvfiles_get_progress(const char *user, int32_t profile, const char *imdb_id) MVFILES_NOEXCEPT;

MVFILES_API int32_t mvfiles_progress_count(void) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_progress_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_progress_updated(int32_t i) MVFILES_NOEXCEPT;   /* always NULL */
MVFILES_API double mvfiles_progress_value(int32_t i) MVFILES_NOEXCEPT;          /* 0.0 out of range */
MVFILES_API int64_t mvfiles_progress_size(int32_t i) MVFILES_NOEXCEPT;          /* 0 out of range */
MVFILES_API int32_t mvfiles_progress_season(int32_t i) MVFILES_NOEXCEPT;        /* 0 out of range */
MVFILES_API int32_t mvfiles_progress_episode(int32_t i) MVFILES_NOEXCEPT;       /* 0 out of range */

/* External subtitles of one episode of a title. Results 0 to 8. */
MVFILES_API mvfiles_result mvfiles_get_external_subtitles(const char *imdb_id, int32_t season, int32_t episode) MVFILES_NOEXCEPT;

MVFILES_API int32_t mvfiles_sub_count(void) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_uri(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_label(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_filename(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sub_updated(int32_t i) MVFILES_NOEXCEPT;        /* always NULL */
MVFILES_API int64_t mvfiles_sub_id(int32_t i) MVFILES_NOEXCEPT;                 /* stable hash of the key; 0 out of range */
MVFILES_API int64_t mvfiles_sub_parent_id(int32_t i) MVFILES_NOEXCEPT;          /* 0 when none */
MVFILES_API int32_t mvfiles_sub_enabled(int32_t i) MVFILES_NOEXCEPT;            /* always 0 */
MVFILES_API int32_t mvfiles_sub_is_child(int32_t i) MVFILES_NOEXCEPT;           /* 1 when a parent was found */

/* Playback-session index rows of one user (NULL or "" for all users).
 * Results 0 to 8 (6: a user id too long for the key prefix). */
MVFILES_API mvfiles_result mvfiles_get_session_index(const char *user) MVFILES_NOEXCEPT;

MVFILES_API int32_t mvfiles_sessionix_count(void) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sessionix_key(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sessionix_user(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sessionix_imdb(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_sessionix_sessionkey(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_sessionix_profile(int32_t i) MVFILES_NOEXCEPT;      /* 0 out of range */
MVFILES_API int32_t mvfiles_sessionix_season(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_sessionix_episode(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_sessionix_size(int32_t i) MVFILES_NOEXCEPT;

/* ---- Storages ------------------------------------------------------------ */

/* Checks GetAuth, then reads the user's cloud drives. Never cached.
 * Results 0 to 5, 7, 8. */
MVFILES_API mvfiles_result mvfiles_get_storages(void) MVFILES_NOEXCEPT;

MVFILES_API int32_t mvfiles_storage_count(void) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_email(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_name(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_id(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_state(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_storage_type(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int32_t mvfiles_storage_files_count(int32_t i) MVFILES_NOEXCEPT;    /* always 0 */
MVFILES_API int64_t mvfiles_storage_total(int32_t i) MVFILES_NOEXCEPT;          /* 0 out of range */
MVFILES_API int64_t mvfiles_storage_used(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_storage_remaining(int32_t i) MVFILES_NOEXCEPT;

/* ---- Playback sessions ----------------------------------------------------- */

/* Session rows by their ids (the text is sent as it is). Results 0 to 8. */
MVFILES_API mvfiles_result mvfiles_get_playback_sessions(const char *ids) MVFILES_NOEXCEPT;

MVFILES_API int32_t mvfiles_session_count(void) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_session_id(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_session_created(int32_t i) MVFILES_NOEXCEPT;
MVFILES_API const char *mvfiles_session_value(int32_t i) MVFILES_NOEXCEPT;
/* Flag at a position of the row's value: 1 for "1", 0 for "0", else -1. */
MVFILES_API int32_t mvfiles_session_bit(int32_t i, int32_t position) MVFILES_NOEXCEPT;

/* ---- Writes (refused with 9 unless mvfiles_arm_writes(1)) ------------------ */

/* Saves a watch position as position/duration (0..1). The sixth argument is
 * not read. Results 0, 1, 2, 6, 7, 8, 9. */
MVFILES_API mvfiles_result mvfiles_save_progress(const char *user, int32_t profile, const char *imdb_id,
                                                 int32_t season, int32_t episode, int64_t reserved,
                                                 double position, double duration) MVFILES_NOEXCEPT;

/* Overwrites a playback-session row with a base64 body; position and
 * duration travel only when both are non-empty. Results 0, 1, 2, 6, 7, 8, 9. */
MVFILES_API mvfiles_result mvfiles_update_playback_session(const char *key, const char *base64_body,
                                                           const char *position, const char *duration) MVFILES_NOEXCEPT;

/* Queues a download by magnet or tkey. Results 0, 1, 2, 6, 7, 8, 9. */
MVFILES_API mvfiles_result mvfiles_download_magnet(const char *user, const char *magnet, const char *storage_id,
                                                   const char *downloader_id, const char *extension,
                                                   const char *tkey) MVFILES_NOEXCEPT;

/* ---- Offline fixture backend ---------------------------------------------- */

/* Installs the offline fixture backend as the transport; always 0. */
MVFILES_API mvfiles_result mvfiles_use_fake(void) MVFILES_NOEXCEPT;
/* Corpus directory of the fixture backend: 0, or 6 for NULL ("" keeps it). */
MVFILES_API mvfiles_result mvfiles_fake_corpus(const char *dir) MVFILES_NOEXCEPT;
/* Failure mode 0 (route) to 6 (1 transport failure, 2 HTTP 500, 3 HTTP 404,
 * 4 invalid JSON, 5 empty body, 6 "null"): 0, or 6 outside 0..6. */
MVFILES_API mvfiles_result mvfiles_fake_mode(int32_t mode) MVFILES_NOEXCEPT;
MVFILES_API int64_t mvfiles_fake_calls(void) MVFILES_NOEXCEPT;       /* requests received */
MVFILES_API int64_t mvfiles_fake_fail_count(void) MVFILES_NOEXCEPT;  /* routing failures */
/* "GET " or "POST " and the URL of the last request; changes at the next one. */
MVFILES_API const char *mvfiles_fake_last_url(void) MVFILES_NOEXCEPT;
/* Clears the statistics; mode and directory stay. */
MVFILES_API void mvfiles_fake_reset(void) MVFILES_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* MVFILES_H */
