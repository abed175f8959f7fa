// Key-value prefix fetch: one StartsWith GET, the row table it yields, and
// the release of the whole key-value block.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/request.h"
#include "api/util.h"
#include "kv/kv.h"

mvfiles_result mvfiles_kv_request(const char *prefix, mvfiles_kv_answer *a) noexcept {
    if (mvfiles_result rc = mvfiles_require_transport(MVFILES_NO_TRANSPORT_MSG)) return rc;
    if (!prefix || !*prefix) return mvfiles_fail(MVFILES_ERR_ARG, "key prefix required");
    char *enc = mvfiles_url_encode(prefix);
    if (!enc) return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    char *url = mvfiles_concat({g_sf.host, "/api/KeyValue/StartsWith?k=", enc});
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
    // Only the first `count` rows are ever read, and the row reader writes
    // every field of those, so the table is not zeroed.
    auto *rows = n > SIZE_MAX / sizeof(mvfiles_kv_row)
                     ? nullptr
                     : static_cast<mvfiles_kv_row *>(std::malloc(n * sizeof(mvfiles_kv_row)));
    if (!rows) {
        yyjson_doc_free(doc);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom: kv rows");
    }
    *a = {doc, root, rows, n};
    return MVFILES_OK;
}

void mvfiles_kv_hold(const char *tag, const char *prefix, const mvfiles_kv_answer &a,
                     uint64_t count) noexcept {
    mvfiles_kv_free();
    g_sf.kv_doc = a.doc;
    g_sf.kv_rows = a.rows;
    g_sf.kv_count = count;
    g_sf.kv_valid = 1;
    mvfiles_text(g_sf.kv_tag, sizeof g_sf.kv_tag).add(tag ? tag : "");
    mvfiles_text(g_sf.kv_prefix, sizeof g_sf.kv_prefix).add(prefix);
    if (g_sf.kv_ttl < 1) g_sf.kv_ttl = 900;
    g_sf.kv_time = mvfiles_now();
    mvfiles_set_err("");
}

mvfiles_result mvfiles_kv_fetch(const char *tag, const char *prefix) noexcept {
    mvfiles_kv_answer a;
    if (mvfiles_result rc = mvfiles_kv_request(prefix, &a)) return rc;
    uint64_t count = 0;
    size_t idx, max;
    yyjson_val *el;
    yyjson_arr_foreach(a.root, idx, max, el) {
        if (yyjson_is_obj(el)) mvfiles_kv_fill_row(&a.rows[count++], el);
    }
    mvfiles_kv_hold(tag, prefix, a, count);
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
