// Key-value prefix fetch: one StartsWith GET, the row table it yields, and
// the release of the whole key-value block.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/request.h"
#include "api/util.h"
#include "kv/kv.h"

namespace {

struct part_names {
    const char *mvfiles_kv_row::*field;
    const char *a;
    const char *b;
};

const part_names k_members[] = {
    {&mvfiles_kv_row::key, "key", "Key"},   {&mvfiles_kv_row::value, "value", "Value"},
    {&mvfiles_kv_row::p0, "p0", "P0"},      {&mvfiles_kv_row::p1, "p1", "P1"},
    {&mvfiles_kv_row::p2, "p2", "P2"},      {&mvfiles_kv_row::p3, "p3", "P3"},
    {&mvfiles_kv_row::p4, "p4", "P4"},      {&mvfiles_kv_row::p5, "p5", "P5"},
    {&mvfiles_kv_row::p6, "p6", "P6"},      {&mvfiles_kv_row::p7, "p7", "P7"},
    {&mvfiles_kv_row::p8, "p8", "P8"},      {&mvfiles_kv_row::p9, "p9", "P9"},
};

void fill_row(mvfiles_kv_row *row, yyjson_val *obj) {
    for (const part_names &m : k_members) {
        const char *text = nullptr;
        mvfiles_js(&text, obj, m.a, m.b);
        row->*m.field = text;
    }
}

}  // namespace

mvfiles_result mvfiles_kv_fetch(const char *tag, const char *prefix) noexcept {
    if (!g_sf.transport_set) {
        mvfiles_set_err(MVFILES_NO_TRANSPORT_MSG);
        return MVFILES_ERR_NO_TRANSPORT;
    }
    if (!prefix || !*prefix) {
        mvfiles_set_err("key prefix required");
        return MVFILES_ERR_ARG;
    }
    char *enc = mvfiles_url_encode(prefix);
    if (!enc) {
        mvfiles_set_err("oom");
        return MVFILES_ERR_OOM;
    }
    size_t url_size = std::strlen(g_sf.host) + std::strlen(enc) + 96;
    char *url = static_cast<char *>(std::malloc(url_size));
    if (!url) {
        std::free(enc);
        mvfiles_set_err("oom");
        return MVFILES_ERR_OOM;
    }
    std::snprintf(url, url_size, "%s/api/KeyValue/StartsWith?k=%s", g_sf.host, enc);
    std::free(enc);

    char *body = nullptr;
    uint64_t len = 0;
    int32_t status = 0;
    char msg[256] = "";
    int32_t rc = mvfiles_http_get(url, nullptr, &body, &len, nullptr, &status, msg, sizeof msg);
    std::free(url);
    if (rc != 0) {
        mvfiles_set_err("transport: %s", msg);
        return MVFILES_ERR_TRANSPORT;
    }
    if (status == 404) {
        std::free(body);
        mvfiles_set_err("no rows for prefix (HTTP 404)");
        return MVFILES_ERR_NOT_FOUND;
    }
    if (status < 200 || status > 299) {
        std::free(body);
        mvfiles_set_err("HTTP %ld", static_cast<long>(status));
        return MVFILES_ERR_HTTP;
    }
    if (!body || len == 0) {
        std::free(body);
        mvfiles_set_err("empty body");
        return MVFILES_ERR_EMPTY;
    }

    yyjson_read_err err;
    yyjson_doc *doc = yyjson_read_opts(body, static_cast<size_t>(len), 0, nullptr, &err);
    std::free(body);
    if (!doc) {
        // A valid answer that could not be parsed for lack of memory is not
        // "invalid JSON": the host may retry it.
        if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
            mvfiles_set_err("oom: kv rows");
            return MVFILES_ERR_OOM;
        }
        mvfiles_set_err("keyvalue: invalid JSON");
        return MVFILES_ERR_JSON;
    }
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (!root || !yyjson_is_arr(root)) {
        yyjson_doc_free(doc);
        mvfiles_set_err("keyvalue: root is not an array");
        return MVFILES_ERR_JSON;
    }
    size_t n = yyjson_arr_size(root);
    if (n == 0) {
        yyjson_doc_free(doc);
        mvfiles_set_err("keyvalue: no rows");
        return MVFILES_ERR_EMPTY;
    }
    auto *rows = static_cast<mvfiles_kv_row *>(std::calloc(n, sizeof(mvfiles_kv_row)));
    if (!rows) {
        yyjson_doc_free(doc);
        mvfiles_set_err("oom: kv rows");
        return MVFILES_ERR_OOM;
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
    mvfiles_playlists_release(g_sf.playlists, g_sf.playlist_count);
    g_sf.playlists = nullptr;
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

    mvfiles_storages_release(g_sf.storages, g_sf.storage_count);
    g_sf.storages = nullptr;
    g_sf.storage_count = 0;

    if (g_sf.kv_doc) yyjson_doc_free(g_sf.kv_doc);
    g_sf.kv_doc = nullptr;
    std::free(g_sf.kv_rows);
    g_sf.kv_rows = nullptr;
    g_sf.kv_count = 0;
    g_sf.kv_valid = 0;
}
