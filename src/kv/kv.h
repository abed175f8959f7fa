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
#include "api/members.h"
#include "api/core.h"
#include "api/util.h"

// One row of a StartsWith answer. Every text points into g_sf.kv_doc, or is
// NULL when the element has no such string member.
struct mvfiles_kv_row {
    const char *key;
    const char *value;
    // The key's parts split at every "_", as the service sends them; the
    // table builders read some by position (KEY LAYOUTS in mvfiles.h).
    const char *p[10];
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

namespace mvfiles_kv_detail {

using namespace mvfiles_members;

// The twelve text members of a row, in the row's field order.
inline constexpr Name kRowNames[12] = {
    MVFILES_MEMBER("key", "Key"), MVFILES_MEMBER("value", "Value"), MVFILES_MEMBER("p0", "P0"),
    MVFILES_MEMBER("p1", "P1"),   MVFILES_MEMBER("p2", "P2"),       MVFILES_MEMBER("p3", "P3"),
    MVFILES_MEMBER("p4", "P4"),   MVFILES_MEMBER("p5", "P5"),       MVFILES_MEMBER("p6", "P6"),
    MVFILES_MEMBER("p7", "P7"),   MVFILES_MEMBER("p8", "P8"),       MVFILES_MEMBER("p9", "P9"),
};
static_assert(member_names_ok(kRowNames),
              "member name pairs must differ only in case, and no two names of a table"
              " may fold to the same text");

// The text of a member value, NULL when it is not a string.
inline const char *text_of(yyjson_val *v) noexcept {
    return unsafe_yyjson_is_str(v) ? unsafe_yyjson_get_str(v) : nullptr;
}

// Fills a row from an element object: the same choice as find_members makes
// (exact first name, then exact second, then the first with case folded;
// the earliest among equals), specialised on the three name lengths a row
// has. A member that is not a string leaves its field NULL.
inline void fill_row_ranked(mvfiles_kv_row *row, yyjson_val *obj) noexcept {
    yyjson_val *m[12];  // m[f] is set where rank[f] < 3
    uint8_t rank[12];
    std::memset(rank, 3, sizeof rank);
    yyjson_val *key = unsafe_yyjson_get_first(obj);
    for (size_t left = unsafe_yyjson_get_len(obj); left; left--, key = next_key(key + 1)) {
        const char *k = unsafe_yyjson_get_str(key);
        size_t slot;
        uint8_t r;
        switch (unsafe_yyjson_get_len(key)) {
        case 2: {
            // "p0".."p9" / "P0".."P9": folding "p" gives "P", the exact second form.
            unsigned d = static_cast<unsigned char>(k[1]) - '0';
            if (d > 9 || (k[0] != 'p' && k[0] != 'P')) continue;
            slot = 2 + d;
            r = k[0] == 'p' ? 0 : 1;
            break;
        }
        case 3:
            slot = 0;
            r = match_rank<3>(k, kRowNames[0]);
            break;
        case 5:
            slot = 1;
            r = match_rank<5>(k, kRowNames[1]);
            break;
        default:
            continue;
        }
        if (r < rank[slot]) {
            rank[slot] = r;
            m[slot] = key + 1;
        }
    }
    row->key = rank[0] < 3 ? text_of(m[0]) : nullptr;
    row->value = rank[1] < 3 ? text_of(m[1]) : nullptr;
    for (int d = 0; d < 10; d++) row->p[d] = rank[2 + d] < 3 ? text_of(m[2 + d]) : nullptr;
}

// The usual row names every member by its exact first name: then the
// earliest member of each name wins and nothing else can, and the fields are
// written as the members come. A member under another form of a row name
// hands the row to the ranked reader. Rows come by the hundred thousand.
inline void fill_row(mvfiles_kv_row *row, yyjson_val *obj) noexcept {
    row->key = row->value = nullptr;
    for (const char *&part : row->p) part = nullptr;
    uint32_t seen = 0;  // bit 0 key, 1 value, 2 + d part d
    yyjson_val *key = unsafe_yyjson_get_first(obj);
    for (size_t left = unsafe_yyjson_get_len(obj); left; left--) {
        const char *k = unsafe_yyjson_get_str(key);
        size_t len = unsafe_yyjson_get_len(key);
        yyjson_val *v = key + 1;
        key = next_key(v);
        if (len == 2) {
            unsigned d = static_cast<unsigned char>(k[1]) - '0';
            if (d > 9) continue;
            if (k[0] != 'p') {
                if (k[0] == 'P') return fill_row_ranked(row, obj);
                continue;
            }
            if (seen & (4u << d)) continue;
            seen |= 4u << d;
            row->p[d] = text_of(v);
        } else if (len == 3) {
            if (std::memcmp(k, "key", 3) != 0) {
                if (veltrona_same_ci(k, "key", 3)) return fill_row_ranked(row, obj);
                continue;
            }
            if (seen & 1u) continue;
            seen |= 1u;
            row->key = text_of(v);
        } else if (len == 5) {
            if (std::memcmp(k, "value", 5) != 0) {
                if (veltrona_same_ci(k, "value", 5)) return fill_row_ranked(row, obj);
                continue;
            }
            if (seen & 2u) continue;
            seen |= 2u;
            row->value = text_of(v);
        }
    }
}

}  // namespace mvfiles_kv_detail

inline void mvfiles_kv_fill_row(mvfiles_kv_row *row, yyjson_val *obj) noexcept {
    mvfiles_kv_detail::fill_row(row, obj);
}

// One parsed StartsWith answer and a row table with room for each of its
// elements, before the rows replace the held ones.
struct mvfiles_kv_answer {
    yyjson_doc *doc;
    yyjson_val *root;
    mvfiles_kv_row *rows;
    uint64_t size;  // the array's element count, at least 1
};

// GET and parse the rows whose keys begin with prefix and allocate their
// table. Results 0 to 8; on failure nothing is held and the key-value block
// is untouched.
mvfiles_result mvfiles_kv_request(const char *prefix, mvfiles_kv_answer *a) noexcept;

// Releases the held rows and every table built from them, then holds the
// first count rows of the answer under tag.
void mvfiles_kv_hold(const char *tag, const char *prefix, const mvfiles_kv_answer &a,
                     uint64_t count) noexcept;

// GET the rows whose keys begin with prefix and hold them under tag. On 0
// the previous rows and every table built from them are released. Results
// 0 to 8; on failure the key-value block is untouched.
mvfiles_result mvfiles_kv_fetch(const char *tag, const char *prefix) noexcept;

// 1 when the held rows were fetched under tag, are fresh, and the caller's
// table (table_count records) is not empty.
int mvfiles_kv_cached(const char *tag, uint64_t table_count) noexcept;

// The fetch of the tables whose records each come from one row (progress,
// subtitles, session index): the table is filled in the same pass as the
// rows, keep(record, row) filling the next record and answering whether it
// is kept, so that every row is read while its texts are still in the
// processor's caches rather than in a second pass over the whole answer.
// Results as mvfiles_kv_fetch. On 0 the rows are held and *table holds
// *kept records, or is NULL when the table could not be allocated (the rows
// are held all the same, as after a build that ran out of memory).
template <typename Record, typename Keep>
mvfiles_result mvfiles_kv_fetch_table(const char *tag, const char *prefix, Record **table,
                                      uint64_t *kept, Keep keep) noexcept {
    mvfiles_kv_answer a;
    if (mvfiles_result rc = mvfiles_kv_request(prefix, &a)) return rc;
    auto *t = a.size > SIZE_MAX / sizeof(Record)
                  ? nullptr
                  : static_cast<Record *>(std::malloc(a.size * sizeof(Record)));
    uint64_t count = 0, k = 0;
    size_t idx, max;
    yyjson_val *el;
    yyjson_arr_foreach(a.root, idx, max, el) {
        if (!yyjson_is_obj(el)) continue;
        mvfiles_kv_row &row = a.rows[count++];
        mvfiles_kv_fill_row(&row, el);
        if (t && keep(t[k], row)) k++;
    }
    mvfiles_kv_hold(tag, prefix, a, count);
    *table = t;
    *kept = k;
    return MVFILES_OK;
}

// The road shared by the progress, subtitle and session-index look-ups:
// answer from the held rows while their table (held in `table`, `count`
// records) is cached under tag, else fetch the rows of prefix with their
// table, let finish(table, kept) complete it, and hold it; oom_text names a
// table that could not be allocated or completed (finish returned false).
template <typename Record, typename Keep, typename Finish>
mvfiles_result mvfiles_kv_lookup(const char *tag, const char *prefix, Record *&table,
                                 uint64_t &count, Keep keep, Finish finish,
                                 const char *oom_text) noexcept {
    if (mvfiles_kv_cached(tag, count)) {
        mvfiles_set_err("");
        return MVFILES_OK;
    }
    Record *fresh;
    uint64_t kept;
    mvfiles_result rc = mvfiles_kv_fetch_table(tag, prefix, &fresh, &kept, keep);
    if (rc != MVFILES_OK) return rc;
    if (!fresh || !finish(fresh, kept)) {
        std::free(fresh);
        return mvfiles_fail(MVFILES_ERR_OOM, "%s", oom_text);
    }
    table = fresh;  // the rows' fetch released the previous table
    count = kept;
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
// left as it was). The subtitle builder rebuilds the table of one episode
// from the rows held.
int32_t mvfiles_index_playlists() noexcept;
int32_t mvfiles_index_subs(const char *imdb, int32_t season, int32_t episode) noexcept;

// Number readers for key parts: base 10, leading blanks and a sign, stops at
// the first other character; NULL or no digits give 0. The 32-bit reader
// saturates at the int32 range on every platform. A part is usually a few
// digits, read inline; anything else goes to mvfiles_part_read.
int64_t mvfiles_part_read(const char *s) noexcept;

inline int64_t mvfiles_part_i64(const char *s) noexcept {
    if (s) {
        uint64_t v = 0;
        size_t i = 0;
        for (; i < 18; i++) {
            unsigned d = static_cast<unsigned char>(s[i]) - unsigned{'0'};
            if (d > 9) break;
            v = v * 10 + d;
        }
        if (i > 0 && i < 18) return static_cast<int64_t>(v);
    }
    return mvfiles_part_read(s);
}

inline int32_t mvfiles_part_i32(const char *s) noexcept {
    int64_t v = mvfiles_part_i64(s);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

// Decimal number read the same way whatever LC_NUMERIC the host set; NULL
// gives 0.0. The usual shape of a wire value is read inline; everything
// else goes to mvfiles_parse_double_slow.
double mvfiles_parse_double_slow(const char *s) noexcept;

inline double mvfiles_parse_double(const char *s) noexcept {
#if !defined(_WIN32)
    // "-?digits(.digits)?" and nothing after it, with at most 15 digits in
    // all: the digits form an integer below 2^53 and the fraction at most
    // 10^15, both exact doubles, so one division gives the correctly
    // rounded value, which is what strtod gives too. Anything else (blanks,
    // '+', exponents, hex, inf, more digits, trailing text) is left to
    // strtod.
    static constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (s) {
        const char *r = s;
        bool neg = *r == '-';
        r += neg;
        uint64_t m = 0;
        int digits = 0, frac = 0;
        auto digit = [](const char *c) {
            return static_cast<unsigned>(static_cast<unsigned char>(*c)) - unsigned{'0'};
        };
        for (unsigned d; (d = digit(r)) <= 9; r++, digits++) m = m * 10 + d;
        if (*r == '.') {
            r++;
            for (unsigned d; (d = digit(r)) <= 9; r++, frac++) m = m * 10 + d;
        }
        if (*r == 0 && digits > 0 && (frac > 0 || r[-1] != '.') && digits + frac <= 15) {
            double v = static_cast<double>(m) / kPow10[frac];
            return neg ? -v : v;
        }
    }
#endif
    return mvfiles_parse_double_slow(s);
}

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
// arena. Copies the text of v into *out when v is a string member; an
// absent or non-string member leaves *out as it was. False only when a
// present text could not be copied.
inline bool mvfiles_kv_copy_text(char **out, yyjson_val *v, mvfiles_arena &arena) noexcept {
    if (!v || !yyjson_is_str(v)) return true;
    const char *text = unsafe_yyjson_get_str(v);
    *out = arena.copy(text, std::strlen(text));
    return *out != nullptr;
}

#endif
