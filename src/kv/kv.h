// Key-value user data: the rows of one StartsWith answer and the five
// tables built from them (playlists, progress, subtitles, session index,
// storages). One row table is held at a time, in the key-value block of g_sf.
#ifndef MVFILES_KV_KV_H
#define MVFILES_KV_KV_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "api/arena.h"
#include "api/core.h"
#include "api/util.h"

// One row of a StartsWith answer. Every text points into g_sf.kv_doc, or is
// NULL when the element has no such string member.
struct mvfiles_kv_row {
    const char *key;
    const char *value;
    // The key's parts split at every "_", as the service sends them; the
    // table builders read some by position (KEY LAYOUTS in mvfiles.h).
    const char *p0, *p1, *p2, *p3, *p4, *p5, *p6, *p7, *p8, *p9;
};

struct mvfiles_playlist {
    const char *key;    // borrowed from kv_doc
    const char *value;  // borrowed from kv_doc
    char *name;         // owned copies, NULL when absent
    char *logo;
    char *origin;
    int64_t id;         // 0 for an object without a numeric id, -1 for a non-object value
    char **imdb_ids;    // owned, imdb_count owned texts; NULL when none
    uint64_t imdb_count;
};

struct mvfiles_progress {
    const char *key;
    const char *updated;  // never filled
    double value;
    int64_t size;
    int32_t season;
    int32_t episode;
};

struct mvfiles_subtitle {
    const char *key;
    const char *uri;
    const char *label;     // points into key, after the episode prefix
    const char *filename;
    const char *updated;   // never filled
    int64_t id;            // stable hash of the key
    int64_t parent_id;
    int32_t enabled;       // never filled
    int32_t is_child;
};

struct mvfiles_sessionix {
    const char *key;
    const char *user;
    const char *imdb;
    const char *sessionkey;
    int32_t profile;
    int32_t season;
    int32_t episode;
    int64_t size;
};

struct mvfiles_storage {
    char *email;  // five owned copies, NULL when absent
    char *name;
    char *id;
    char *state;
    char *type;
    int64_t total;
    int64_t used;
    int64_t remaining;
    int32_t files_count;  // never filled
};

// The index check of every key-value getter: true when i names one of the
// count records of the getter's table.
inline bool mvfiles_kv_index_ok(int32_t i, uint64_t count) noexcept {
    return i >= 0 && static_cast<uint64_t>(i) < count;
}

// GET the rows whose keys begin with prefix and hold them under tag. On 0
// the previous rows and every table built from them are released. Results
// 0 to 8; on failure the key-value block is untouched.
mvfiles_result mvfiles_kv_fetch(const char *tag, const char *prefix) noexcept;

// 1 when the held rows were fetched under tag, are fresh, and the caller's
// table (table_count records) is not empty.
int mvfiles_kv_cached(const char *tag, uint64_t table_count) noexcept;

// The road shared by the progress, subtitle and session-index look-ups:
// answer from the held rows while their table is cached under tag, else
// fetch the rows of prefix and build the table; oom_text names a build that
// ran out of memory.
template <typename Build>
mvfiles_result mvfiles_kv_lookup(const char *tag, const char *prefix, uint64_t table_count,
                                 Build build, const char *oom_text) noexcept {
    if (mvfiles_kv_cached(tag, table_count)) {
        mvfiles_set_err("");
        return MVFILES_OK;
    }
    mvfiles_result rc = mvfiles_kv_fetch(tag, prefix);
    if (rc != MVFILES_OK) return rc;
    if (build() != 0) return mvfiles_fail(MVFILES_ERR_OOM, "%s", oom_text);
    return MVFILES_OK;
}

// The start of every table builder: a table with room for one record per
// held row, and at least one so that an empty answer is never taken for a
// failed allocation; NULL when memory runs out. Zeroed unless the builder
// writes every field of every record it keeps (`zeroed` false).
template <typename Record>
Record *mvfiles_kv_new_table(bool zeroed = true) noexcept {
    uint64_t n = g_sf.kv_count;
    if (n == 0) n = 1;
    if (zeroed) return static_cast<Record *>(std::calloc(n, sizeof(Record)));
    if (n > SIZE_MAX / sizeof(Record)) return nullptr;
    return static_cast<Record *>(std::malloc(n * sizeof(Record)));
}

// Builders over kv_rows: 0, or -1 when memory runs out (the table is then
// left as it was).
int32_t mvfiles_index_playlists() noexcept;
int32_t mvfiles_index_progress() noexcept;
int32_t mvfiles_index_subs(const char *imdb, int32_t season, int32_t episode) noexcept;
int32_t mvfiles_index_sessionix() noexcept;

// Number readers for key parts: base 10, leading blanks and a sign, stops at
// the first other character; NULL or no digits give 0. The 32-bit reader
// saturates at the int32 range on every platform.
int32_t mvfiles_part_i32(const char *s) noexcept;
int64_t mvfiles_part_i64(const char *s) noexcept;

// Decimal number read the same way whatever LC_NUMERIC the host set; NULL
// gives 0.0.
double mvfiles_parse_double(const char *s) noexcept;

// The GetAuth check followed by the drive-row fetch and projection.
mvfiles_result mvfiles_storages_fetch() noexcept;
// Builds the storage table from kv_rows: 0, or -1 when memory runs out
// (the previous storage table then stays).
int32_t mvfiles_storages_project() noexcept;

// Table releases used by mvfiles_kv_free and by the builders that replace
// a table: the records' texts live in the arena (a block chain), released
// whole with the table. NULL does nothing.
void mvfiles_playlists_release(mvfiles_playlist *table, void *arena) noexcept;
void mvfiles_storages_release(mvfiles_storage *table, void *arena) noexcept;

// The texts of playlist and storage records, copied into the table's
// arena. Copies the text member a/b of obj (found as mvfiles_js finds it)
// into *out; an absent or non-string member leaves *out as it was. False
// only when a present text could not be copied.
inline bool mvfiles_kv_copy_text(char **out, yyjson_val *obj, const char *a, const char *b,
                                 mvfiles_arena &arena) noexcept {
    const char *text = nullptr;
    if (!mvfiles_js(&text, obj, a, b)) return true;
    *out = arena.copy(text, std::strlen(text));
    return *out != nullptr;
}

#endif
