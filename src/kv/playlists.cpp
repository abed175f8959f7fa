// Playlists: the look-up of one playlist type, the table built from its
// rows, and the getters.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/members.h"
#include "api/util.h"
#include "kv/kv.h"

namespace {

struct playlist_type {
    const char *word;
    const char *prefix;
};

const playlist_type k_types[] = {
    {"Production", "RVD_ProductionPlaylist"},
    {"Movies", "RVD_MoviesPlaylist"},
    {"Series", "RVD_SeriesPlaylist"},
};

// Shared by every call of mvfiles_playlist_imdbids.
char s_ids[8192];

// Room for n id pointers, all NULL; NULL when memory ran out.
char **new_id_list(size_t n, mvfiles_arena &arena) {
    if (n > SIZE_MAX / sizeof(char *)) return nullptr;
    void *p = arena.take(n * sizeof(char *));
    if (p) std::memset(p, 0, n * sizeof(char *));
    return static_cast<char **>(p);
}

// The members of a playlist object, read in one pass over it.
using namespace mvfiles_members;
enum PlaylistMember { P_ID, P_NAME, P_LOGO, P_ORIGIN, P_IDS, P_COUNT };
constexpr Name kPlaylistNames[P_COUNT] = {
    MVFILES_MEMBER("Id", "id"),
    MVFILES_MEMBER("Name", "name"),
    MVFILES_MEMBER("LogoPath", "logoPath"),
    MVFILES_MEMBER("OriginCountry", "originCountry"),
    MVFILES_MEMBER("IMDbIds", "imdbIds"),
};
static_assert(member_names_ok(kPlaylistNames),
              "member name pairs must differ only in case, and no two names of a table"
              " may fold to the same text");
constexpr ByLength kPlaylistByLen = group_by_length(kPlaylistNames);

// Kept from answer to answer: playlist objects list their members alike.
Layout s_layout;

// A value that is a JSON object text. False when memory ran out.
bool fill_from_object(mvfiles_playlist *p, mvfiles_arena &arena) {
    yyjson_read_err err;
    yyjson_doc *doc =
        yyjson_read_opts(const_cast<char *>(p->value), std::strlen(p->value), 0, nullptr, &err);
    if (!doc) return err.code != YYJSON_READ_ERROR_MEMORY_ALLOCATION;
    yyjson_val *root = yyjson_doc_get_root(doc);
    bool ok = true;
    if (root && yyjson_is_obj(root)) {
        Found<P_COUNT> m;
        find_members(root, kPlaylistNames, kPlaylistByLen, s_layout, m);
        mvfiles_val_i64(m[P_ID], &p->id);
        ok = mvfiles_kv_copy_text(&p->name, m[P_NAME], arena) &&
             mvfiles_kv_copy_text(&p->logo, m[P_LOGO], arena) &&
             mvfiles_kv_copy_text(&p->origin, m[P_ORIGIN], arena);
        yyjson_val *ids = ok ? m[P_IDS] : nullptr;
        if (ids && yyjson_is_arr(ids)) {
            size_t n = yyjson_arr_size(ids);
            p->imdb_ids = new_id_list(n ? n : 1, arena);
            if (!p->imdb_ids) {
                ok = false;
            } else {
                size_t idx, max;
                yyjson_val *el;
                yyjson_arr_foreach(ids, idx, max, el) {
                    if (!yyjson_is_str(el)) continue;
                    char *copy = arena.copy(unsafe_yyjson_get_str(el), unsafe_yyjson_get_len(el));
                    if (!copy) {
                        ok = false;
                        break;
                    }
                    p->imdb_ids[p->imdb_count++] = copy;
                }
            }
        }
    }
    yyjson_doc_free(doc);
    return ok;
}

// How many bytes of s[0..n) are c: eight at a time, each byte's match
// turned into its lowest bit and the eight bits summed by one multiply.
size_t count_byte(const char *s, size_t n, char c) {
    const uint64_t ones = UINT64_C(0x0101010101010101), low7 = UINT64_C(0x7F7F7F7F7F7F7F7F);
    const uint64_t pattern = ones * static_cast<unsigned char>(c);
    size_t count = 0, i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, s + i, 8);
        w ^= pattern;  // a matching byte is now 0
        uint64_t zero = ~(((w & low7) + low7) | w | low7);  // its high bit set
        count += static_cast<size_t>(((zero >> 7) * ones) >> 56);
    }
    for (; i < n; i++) count += s[i] == c;
    return count;
}

// Any other non-empty value: ids separated by ",", each without its leading
// spaces; a comma at the very end adds nothing. The value is copied once
// and each comma of the copy ends an id. False when memory ran out.
bool fill_from_list(mvfiles_playlist *p, mvfiles_arena &arena) {
    size_t len = std::strlen(p->value);
    char *ids = arena.copy(p->value, len);
    if (!ids) return false;
    p->imdb_ids = new_id_list(count_byte(ids, len, ',') + 1, arena);
    if (!p->imdb_ids) return false;
    char *const end = ids + len;
    for (char *start = ids;;) {
        auto *comma = static_cast<char *>(std::memchr(start, ',', static_cast<size_t>(end - start)));
        char *stop = comma ? comma : end;
        while (start < stop && *start == ' ') start++;
        *stop = 0;
        p->imdb_ids[p->imdb_count++] = start;
        if (!comma || comma + 1 == end) break;
        start = comma + 1;
    }
    return true;
}

}  // namespace

void mvfiles_playlists_release(mvfiles_playlist *table, void *arena) noexcept {
    mvfiles_arena_free(arena);
    std::free(table);
}

int32_t mvfiles_index_playlists() noexcept {
    uint64_t n = g_sf.kv_count;
    auto *table = mvfiles_kv_new_table<mvfiles_playlist>();
    if (!table) return -1;
    // The records' texts and id lists all live in one arena.
    mvfiles_arena arena;
    for (uint64_t i = 0; i < n; i++) {
        const mvfiles_kv_row &row = g_sf.kv_rows[i];
        mvfiles_playlist *p = &table[i];
        p->key = row.key;
        p->value = row.value;
        p->id = -1;
        if (!p->value || !*p->value) continue;
        bool ok = p->value[0] == '{' ? fill_from_object(p, arena) : fill_from_list(p, arena);
        if (!ok) {
            // Never hand out a table with fields that silently went missing.
            mvfiles_playlists_release(table, arena.head);
            return -1;
        }
    }
    mvfiles_playlists_release(g_sf.playlists, g_sf.playlists_arena);
    g_sf.playlists = table;
    g_sf.playlists_arena = arena.head;
    g_sf.playlist_count = n;
    return 0;
}

mvfiles_result mvfiles_get_playlists(const char *, const char *, const char *type) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    if (!type || !*type) {
        return mvfiles_fail(MVFILES_ERR_ARG, "type required (Production | Movies | Series)");
    }
    const char *prefix = nullptr;
    for (const playlist_type &t : k_types)
        if (std::strcmp(type, t.word) == 0) prefix = t.prefix;
    if (!prefix) {
        char shown[256];
        return mvfiles_fail(MVFILES_ERR_ARG, "type must be Production, Movies or Series (got '%s')",
                            mvfiles_echo(shown, sizeof shown, type));
    }
    char key[160];
    std::snprintf(key, sizeof key, "plays|%s", type);
    if (mvfiles_kv_cached(key, g_sf.playlist_count) && std::strcmp(prefix, g_sf.kv_prefix) == 0) {
        mvfiles_set_err("");
        return MVFILES_OK;
    }
    mvfiles_result rc = mvfiles_kv_fetch(type, prefix);
    if (rc != MVFILES_OK) return rc;
    if (mvfiles_index_playlists() != 0) return mvfiles_fail(MVFILES_ERR_OOM, "oom: playlists");
    // Only a table that was built counts as cached.
    std::snprintf(g_sf.kv_tag, sizeof g_sf.kv_tag, "%s", key);
    return MVFILES_OK;
}

int32_t mvfiles_playlist_count(void) noexcept { return static_cast<int32_t>(g_sf.playlist_count); }

const char *mvfiles_playlist_key(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.playlist_count) ? g_sf.playlists[i].key : nullptr;
}

const char *mvfiles_playlist_value(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.playlist_count) ? g_sf.playlists[i].value : nullptr;
}

int64_t mvfiles_playlist_id(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.playlist_count) ? g_sf.playlists[i].id : -1;
}

const char *mvfiles_playlist_name(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.playlist_count) ? g_sf.playlists[i].name : nullptr;
}

const char *mvfiles_playlist_logo(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.playlist_count) ? g_sf.playlists[i].logo : nullptr;
}

const char *mvfiles_playlist_origin(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.playlist_count) ? g_sf.playlists[i].origin : nullptr;
}

int32_t mvfiles_playlist_imdb_count(int32_t i) noexcept {
    if (!mvfiles_kv_index_ok(i, g_sf.playlist_count)) return 0;
    return static_cast<int32_t>(g_sf.playlists[i].imdb_count);
}

const char *mvfiles_playlist_imdb(int32_t i, int32_t j) noexcept {
    if (!mvfiles_kv_index_ok(i, g_sf.playlist_count) || j < 0) return nullptr;
    const mvfiles_playlist &p = g_sf.playlists[i];
    return static_cast<uint64_t>(j) < p.imdb_count ? p.imdb_ids[j] : nullptr;
}

const char *mvfiles_playlist_imdbids(int32_t i) noexcept {
    if (!mvfiles_kv_index_ok(i, g_sf.playlist_count)) return nullptr;
    const mvfiles_playlist &p = g_sf.playlists[i];
    if (p.imdb_count == 0) return nullptr;
    size_t len = 0;
    s_ids[0] = 0;
    for (uint64_t k = 0; k < p.imdb_count; k++) {
        size_t n = std::strlen(p.imdb_ids[k]);
        if (len + n + 2 > sizeof s_ids - 1) break;  // only whole ids, in order
        if (k) s_ids[len++] = ',';
        std::memcpy(s_ids + len, p.imdb_ids[k], n);
        len += n;
    }
    s_ids[len] = 0;
    return s_ids;
}
