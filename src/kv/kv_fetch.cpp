// Key-value prefix fetch: one StartsWith GET, the row table it yields, and
// the release of the whole key-value block.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/members.h"
#include "api/request.h"
#include "api/util.h"
#include "kv/kv.h"

namespace {

using namespace mvfiles_members;

// The twelve text members of a row, in the row's field order.
constexpr Name kRowNames[12] = {
    MVFILES_MEMBER("key", "Key"), MVFILES_MEMBER("value", "Value"), MVFILES_MEMBER("p0", "P0"),
    MVFILES_MEMBER("p1", "P1"),   MVFILES_MEMBER("p2", "P2"),       MVFILES_MEMBER("p3", "P3"),
    MVFILES_MEMBER("p4", "P4"),   MVFILES_MEMBER("p5", "P5"),       MVFILES_MEMBER("p6", "P6"),
    MVFILES_MEMBER("p7", "P7"),   MVFILES_MEMBER("p8", "P8"),       MVFILES_MEMBER("p9", "P9"),
};
static_assert(pairs_fold_equal(kRowNames), "member name pairs must differ only in case");

// Fills a row in one pass over the element's members; a member that is not
// a string leaves its field NULL. The same choice as find_members makes
// (exact first name, then exact second, then the first with case folded;
// the earliest among equals), specialised on the three name lengths a row
// has: rows come by the hundred thousand.
void fill_row(mvfiles_kv_row *row, yyjson_val *obj) {
    yyjson_val *m[12] = {};
    uint8_t rank[12];
    std::memset(rank, 3, sizeof rank);
    yyjson_obj_iter it = yyjson_obj_iter_with(obj);
    yyjson_val *key;
    while ((key = yyjson_obj_iter_next(&it)) != nullptr) {
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
            m[slot] = yyjson_obj_iter_get_val(key);
        }
    }
    const char *text[12];
    for (int f = 0; f < 12; f++) text[f] = yyjson_is_str(m[f]) ? unsafe_yyjson_get_str(m[f]) : nullptr;
    row->key = text[0];
    row->value = text[1];
    row->p0 = text[2];
    row->p1 = text[3];
    row->p2 = text[4];
    row->p3 = text[5];
    row->p4 = text[6];
    row->p5 = text[7];
    row->p6 = text[8];
    row->p7 = text[9];
    row->p8 = text[10];
    row->p9 = text[11];
}

}  // namespace

mvfiles_result mvfiles_kv_fetch(const char *tag, const char *prefix) noexcept {
    if (mvfiles_result rc = mvfiles_require_transport(MVFILES_NO_TRANSPORT_MSG)) return rc;
    if (!prefix || !*prefix) return mvfiles_fail(MVFILES_ERR_ARG, "key prefix required");
    char *enc = mvfiles_url_encode(prefix);
    if (!enc) return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    char *url = mvfiles_format_url("%s/api/KeyValue/StartsWith?k=%s", g_sf.host, enc);
    std::free(enc);
    if (!url) return mvfiles_fail(MVFILES_ERR_OOM, "oom");

    char *body = nullptr;
    uint64_t len = 0;
    int32_t status = 0;
    char msg[256] = "";
    int32_t rc = mvfiles_http_get(url, nullptr, &body, &len, nullptr, &status, msg, sizeof msg);
    std::free(url);
    mvfiles_result judged =
        mvfiles_judge_response(rc, msg, status, &body, "no rows for prefix (HTTP 404)", nullptr);
    if (judged != MVFILES_OK) return judged;
    yyjson_doc *doc;
    mvfiles_result read = mvfiles_read_array(body, len, "keyvalue", "oom: kv rows", &doc);
    if (read != MVFILES_OK) return read;
    yyjson_val *root = yyjson_doc_get_root(doc);
    size_t n = yyjson_arr_size(root);
    if (n == 0) {
        yyjson_doc_free(doc);
        return mvfiles_fail(MVFILES_ERR_EMPTY, "keyvalue: no rows");
    }
    // Only the first `count` rows are ever read, and fill_row writes every
    // field of those, so the table is not zeroed.
    auto *rows = n > SIZE_MAX / sizeof(mvfiles_kv_row)
                     ? nullptr
                     : static_cast<mvfiles_kv_row *>(std::malloc(n * sizeof(mvfiles_kv_row)));
    if (!rows) {
        yyjson_doc_free(doc);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom: kv rows");
    }
    uint64_t count = 0;
    size_t idx, max;
    yyjson_val *el;
    yyjson_arr_foreach(root, idx, max, el) {
        if (!yyjson_is_obj(el)) continue;
        fill_row(&rows[count++], el);
    }

    mvfiles_kv_free();
    g_sf.kv_doc = doc;
    g_sf.kv_rows = rows;
    g_sf.kv_count = count;
    g_sf.kv_valid = 1;
    std::snprintf(g_sf.kv_tag, sizeof g_sf.kv_tag, "%s", tag ? tag : "");
    std::snprintf(g_sf.kv_prefix, sizeof g_sf.kv_prefix, "%s", prefix);
    if (g_sf.kv_ttl < 1) g_sf.kv_ttl = 900;
    g_sf.kv_time = mvfiles_now();
    mvfiles_set_err("");
    return MVFILES_OK;
}

int mvfiles_kv_cached(const char *tag, uint64_t table_count) noexcept {
    return g_sf.kv_valid == 1 && !mvfiles_cache_expired(g_sf.kv_time, g_sf.kv_ttl) &&
           std::strcmp(tag, g_sf.kv_tag) == 0 && table_count != 0;
}

void mvfiles_kv_free() noexcept {
    mvfiles_playlists_release(g_sf.playlists, g_sf.playlists_arena);
    g_sf.playlists = nullptr;
    g_sf.playlists_arena = nullptr;
    g_sf.playlist_count = 0;

    std::free(g_sf.progress);
    g_sf.progress = nullptr;
    g_sf.progress_count = 0;
    std::free(g_sf.subtitles);
    g_sf.subtitles = nullptr;
    g_sf.subtitle_count = 0;
    std::free(g_sf.sessionix);
    g_sf.sessionix = nullptr;
    g_sf.sessionix_count = 0;

    mvfiles_storages_release(g_sf.storages, g_sf.storages_arena);
    g_sf.storages = nullptr;
    g_sf.storages_arena = nullptr;
    g_sf.storage_count = 0;

    if (g_sf.kv_doc) yyjson_doc_free(g_sf.kv_doc);
    g_sf.kv_doc = nullptr;
    std::free(g_sf.kv_rows);
    g_sf.kv_rows = nullptr;
    g_sf.kv_count = 0;
    g_sf.kv_valid = 0;
}
