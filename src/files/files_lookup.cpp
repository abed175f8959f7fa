// File look-ups: by IMDb id (answered from the table while it is fresh) and
// by file keys.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/core.h"
#include "api/request.h"
#include "api/util.h"
#include "files/files.h"

namespace {

// Shared tail of both fetches once a 2xx answer arrived: parse, check the
// root, index. Takes ownership of body. On success the document is stored
// and the caller writes the cache key.
mvfiles_result take_answer(char *body, uint64_t len) {
    yyjson_doc *doc;
    mvfiles_result read = mvfiles_read_array(body, len, "getfiles", "oom: indexing files", &doc);
    if (read != MVFILES_OK) return read;
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (yyjson_arr_size(root) == 0) {
        yyjson_doc_free(doc);
        return mvfiles_fail(MVFILES_ERR_EMPTY, "getfiles: no files (empty array)");
    }
    if (mvfiles_files_index(root) != 0) {
        yyjson_doc_free(doc);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom: indexing files");
    }
    g_sf.files_doc = doc;
    return MVFILES_OK;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The cache key of a look-up by IMDb id, "files|<id>|<season>|<episode>",
// cut to fit as snprintf would; true when it was not cut.
bool files_key(char *key, size_t size, const char *id, int32_t season, int32_t episode) {
    mvfiles_text t(key, size);
    t.add("files|").add(id).add("|").add(season).add("|").add(episode);
    return t.whole();
}

}  // namespace

mvfiles_result mvfiles_files_fetch(const char *id, int32_t season, int32_t episode) noexcept {
    if (mvfiles_result rc = mvfiles_require_transport(MVFILES_NO_TRANSPORT_MSG)) return rc;
    if (!id || !*id) return mvfiles_fail(MVFILES_ERR_ARG, "imdb id required");
    size_t n = std::strlen(id);
    if (n < 7 || n > 12 || (id[0] != 't' && id[0] != 'T')) {
        char shown[256];
        return mvfiles_fail(MVFILES_ERR_ARG, "imdb id must look like tt\xE2\x80\xA6 (got '%s')",
                            mvfiles_echo(shown, sizeof shown, id));
    }
    bool digits = id[1] == 't' || id[1] == 'T';
    for (size_t i = 2; digits && i < n; i++) digits = is_digit(id[i]);
    if (!digits) return mvfiles_fail(MVFILES_ERR_ARG, "imdb id must be tt+digits");

    // The id has at most 12 bytes, so its URL fits on the stack.
    char enc[3 * 12 + 1];
    mvfiles_url_encode_to(enc, id, n);
    // With neither number the key holds -1 for both.
    char key[sizeof g_sf.files_key];
    bool either = season >= 0 || episode >= 0;
    files_key(key, sizeof key, id, either ? season : -1, either ? episode : -1);
    char url[sizeof g_sf.host + 128];
    mvfiles_text u(url, sizeof url);
    u.add(g_sf.host).add("/api/finder/getfiles?id=").add(enc);
    // Once either number is given both parameters are sent, the other one
    // with an empty value.
    if (either) {
        u.add("&s=");
        if (season >= 0) u.add(season);
        u.add("&e=");
        if (episode >= 0) u.add(episode);
    }

    char msg[256];
    char *body = nullptr;
    uint64_t len = 0;
    int32_t status = 0;
    int32_t rc = mvfiles_http_get(url, nullptr, &body, &len, nullptr, &status, msg, sizeof msg);
    mvfiles_result judged =
        mvfiles_judge_response(rc, msg, status, &body, "no files for this id (HTTP 404)", nullptr);
    if (judged != MVFILES_OK) return judged;
    mvfiles_result r = take_answer(body, len);
    if (r != MVFILES_OK) return r;
    std::memcpy(g_sf.files_key, key, sizeof key);
    mvfiles_set_err("");
    return MVFILES_OK;
}

mvfiles_result mvfiles_get_by_imdb(const char *imdb_id, int32_t season, int32_t episode) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    if (g_sf.files_valid) {
        char key[sizeof g_sf.files_key];
        // A key that had to be cut never answers from the table.
        if (files_key(key, sizeof key, imdb_id ? imdb_id : "", season, episode) &&
            std::strcmp(key, g_sf.files_key) == 0 &&
            !mvfiles_cache_expired(g_sf.files_time, g_sf.files_ttl)) {
            mvfiles_set_err("");
            return MVFILES_OK;
        }
    }
    return mvfiles_files_fetch(imdb_id, season, episode);
}

mvfiles_result mvfiles_files_fetch_keys(const char *const *keys, uint64_t count) noexcept {
    if (mvfiles_result rc = mvfiles_require_transport(MVFILES_NO_TRANSPORT_MSG)) return rc;
    if (!keys || count == 0) return mvfiles_fail(MVFILES_ERR_ARG, "keys required");
    for (uint64_t i = 0; i < count; i++) {
        if (!keys[i] || !*keys[i]) {
            return mvfiles_fail(MVFILES_ERR_ARG, "keys[%zu] empty", static_cast<size_t>(i));
        }
    }
    if (count > 4096) return mvfiles_fail(MVFILES_ERR_ARG, "too many keys (max 4096)");
    // Only after the empty-key and count checks, whose texts callers know:
    // the JSON writer refuses such a key, and it is the caller's, not memory.
    for (uint64_t i = 0; i < count; i++) {
        if (!mvfiles_utf8_valid(keys[i], std::strlen(keys[i]))) {
            return mvfiles_fail(MVFILES_ERR_ARG, "keys[%zu] not valid UTF-8", static_cast<size_t>(i));
        }
    }

    yyjson_mut_doc *mdoc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *arr = mdoc ? yyjson_mut_arr(mdoc) : nullptr;
    bool ok = arr != nullptr;
    for (uint64_t i = 0; ok && i < count; i++) ok = yyjson_mut_arr_add_strcpy(mdoc, arr, keys[i]);
    if (!ok) {
        yyjson_mut_doc_free(mdoc);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    }
    yyjson_mut_doc_set_root(mdoc, arr);
    size_t json_len = 0;
    char *json = yyjson_mut_write_opts(mdoc, 0, nullptr, &json_len, nullptr);
    yyjson_mut_doc_free(mdoc);
    if (!json) return mvfiles_fail(MVFILES_ERR_OOM, "oom: serializing keys");
    char *url = mvfiles_format_url("%s/api/finder/getfiles", g_sf.host);
    if (!url) {
        std::free(json);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    }

    char msg[256];
    char *body = nullptr;
    uint64_t len = 0;
    int32_t status = 0;
    int32_t rc = mvfiles_http_post(url, json, json_len, "application/json", &body, &len, &status,
                                   msg, sizeof msg);
    std::free(url);
    std::free(json);
    mvfiles_result judged =
        mvfiles_judge_response(rc, msg, status, &body, "no files for these keys (HTTP 404)",
                               "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)");
    if (judged != MVFILES_OK) return judged;
    mvfiles_result r = take_answer(body, len);
    if (r != MVFILES_OK) return r;
    std::snprintf(g_sf.files_key, sizeof g_sf.files_key, "keys|%zu", static_cast<size_t>(count));
    mvfiles_set_err("");
    return MVFILES_OK;
}

mvfiles_result mvfiles_get_by_keys(const char *const *keys, uint64_t count) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    return mvfiles_files_fetch_keys(keys, count);
}
