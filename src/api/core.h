// Client state shared by every module of the library: the global record
// g_sf, error reporting, the look-up prologue and the table releases that
// the core calls in the files, key-value and sessions modules.
#ifndef MVFILES_API_CORE_H
#define MVFILES_API_CORE_H

#include <cstdint>
#include <yyjson.h>

#include "api/printf_check.h"
#include "mvfiles.h"
#include "veltrona_http.h"

struct mvfiles_file;       // src/files/files.h
struct mvfiles_kv_row;     // src/kv/kv.h
struct mvfiles_playlist;   // src/kv/kv.h
struct mvfiles_progress;   // src/kv/kv.h
struct mvfiles_subtitle;   // src/kv/kv.h
struct mvfiles_sessionix;  // src/kv/kv.h
struct mvfiles_storage;    // src/kv/kv.h
struct mvfiles_session;    // src/sessions/sessions.h

struct mvfiles_state {
    // client
    const veltrona_http *transport;
    int32_t transport_set;
    char host[256];
    char last_error[256];
    int32_t last_http_code;
    int32_t writes_armed;
    // Why the origin last given to mvfiles_set_host was refused (a constant
    // text); NULL while the origin in host is the one in force.
    const char *origin_fault;

    // files block
    yyjson_doc *files_doc;
    mvfiles_file *files;
    void *files_blocks;  // the blocks the records and their entry columns live in
    uint64_t file_count;
    char files_key[192];
    int64_t files_time;
    int32_t files_ttl;
    int32_t files_valid;

    // key-value block
    yyjson_doc *kv_doc;
    mvfiles_kv_row *kv_rows;
    uint64_t kv_count;
    char kv_tag[288];
    char kv_prefix[256];
    int64_t kv_time;
    int32_t kv_ttl;
    int32_t kv_valid;
    mvfiles_playlist *playlists;
    void *playlists_arena;  // the blocks the playlist texts and id lists live in
    uint64_t playlist_count;
    mvfiles_progress *progress;
    uint64_t progress_count;
    mvfiles_subtitle *subtitles;
    uint64_t subtitle_count;
    mvfiles_sessionix *sessionix;
    uint64_t sessionix_count;
    mvfiles_storage *storages;
    void *storages_arena;  // the blocks the storage texts live in
    uint64_t storage_count;

    // sessions block
    yyjson_doc *sessions_doc;
    mvfiles_session *sessions;
    uint64_t session_count;
    char sessions_key[512];
    int64_t sessions_time;
    int32_t sessions_ttl;
    int32_t sessions_valid;
};

extern mvfiles_state g_sf;

// The origin used until the host sets one.
extern const char *const MVFILES_DEFAULT_ORIGIN;

// Message shared by every fetch that finds no transport installed.
#define MVFILES_NO_TRANSPORT_MSG "no transport installed (mvfiles_use_curl / mvfiles_set_io)"

// The guard of every operation that needs a transport: MVFILES_OK when one
// is installed and the origin is usable, else MVFILES_ERR_NO_TRANSPORT with
// the caller's own text as the last error, or as mvfiles_require_origin.
mvfiles_result mvfiles_require_transport(const char *text) noexcept;

// MVFILES_OK, or MVFILES_ERR_ARG "invalid origin: ..." while the origin last
// given to mvfiles_set_host was refused.
mvfiles_result mvfiles_require_origin() noexcept;

// Replaces the last-error text (at most 255 bytes kept); "" empties it.
void mvfiles_set_err(const char *fmt, ...) noexcept MVFILES_PRINTF_LIKE(1, 2);

// The one way a failing branch ends: sets the last-error text as
// mvfiles_set_err does and returns code, so that it reads
// `return mvfiles_fail(MVFILES_ERR_OOM, "oom");`.
mvfiles_result mvfiles_fail(mvfiles_result code, const char *fmt, ...) noexcept
    MVFILES_PRINTF_LIKE(2, 3);

// Writes the default origin into g_sf.host when it is empty.
void mvfiles_default_origin_check() noexcept;

// Run first by every exported look-up: default origin, empty last error,
// last HTTP code 0; then the origin's guard (mvfiles_require_origin), whose
// failure the look-up returns at once.
mvfiles_result mvfiles_lookup_prologue() noexcept;

// Current calendar time in whole seconds since the epoch (the cache clock).
int64_t mvfiles_now() noexcept;

// Table releases, defined by their modules; each may be repeated safely.
// Whether the installed transport is the fixture backend: its "oom" texts
// are the library's own allocation failures (result 8), where any other
// transport's failure is a transport failure (result 1).
bool mvfiles_transport_is_fixture() noexcept;

void mvfiles_files_free() noexcept;
void mvfiles_kv_free() noexcept;
void mvfiles_sessions_free() noexcept;
// The last text of mvfiles_file_json; only for unloading, since that text
// otherwise stays valid until the next call.
void mvfiles_file_json_free() noexcept;

// Releases the file, key-value and sessions tables, in that order: the one
// "release every table" step of shutdown and the cache clear.
void mvfiles_free_all() noexcept;

// Everything the library holds on the heap (the tables and the last
// one-file JSON text), for a module being unloaded from a running process.
void mvfiles_release_for_unload() noexcept;

#endif
