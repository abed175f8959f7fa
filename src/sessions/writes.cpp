// The three write operations. Each is refused unless the host armed writes;
// none reads or changes a table or a cache entry.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/core.h"
#include "api/request.h"
#include "api/util.h"

namespace {

bool empty(const char *s) { return !s || !*s; }

// POSTs and judges the status; the response body is not needed.
mvfiles_result send_write(const char *url, const void *body, uint64_t body_len,
                          const char *content_type) {
    char *reply = nullptr;
    uint64_t reply_len = 0;
    int32_t status = 0;
    char msg[256];
    int32_t rc = mvfiles_http_post(url, body, body_len, content_type, &reply, &reply_len, &status,
                                   msg, sizeof msg);
    mvfiles_result judged = mvfiles_judge_response(rc, msg, status, &reply, nullptr, nullptr);
    std::free(reply);
    if (judged != MVFILES_OK) return judged;
    mvfiles_set_err("");
    return MVFILES_OK;
}

// "%.17g" with a '.' whatever LC_NUMERIC the host chose. printf puts the
// locale's decimal separator (one or more bytes) where '.' belongs and never
// groups digits under %g, so the one run of bytes that is not part of a
// number's spelling is that separator.
void format_ratio(char *out, size_t size, double v) {
    char raw[64];
    std::snprintf(raw, sizeof raw, "%.17g", v);
    size_t o = 0;
    bool dot = false;
    for (size_t i = 0; raw[i] && o + 1 < size;) {
        char c = raw[i];
        if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == 'e' || c == 'E') {
            out[o++] = c;
            i++;
            continue;
        }
        if (!dot) {
            out[o++] = '.';
            dot = true;
        }
        while (raw[i] && !((raw[i] >= '0' && raw[i] <= '9') || raw[i] == '-' || raw[i] == '+' ||
                           raw[i] == 'e' || raw[i] == 'E'))
            i++;
    }
    out[o] = 0;
}

// Truncation toward zero that stays defined for any finite duration.
long long whole_seconds(double d) {
    if (d >= 9223372036854775807.0) return 9223372036854775807LL;
    return static_cast<long long>(d);
}

}  // namespace

mvfiles_result mvfiles_save_progress(const char *user, int32_t profile, const char *imdb_id,
                                     int32_t season, int32_t episode, int64_t reserved,
                                     double position, double duration) noexcept {
    (void)reserved;
    if (!g_sf.writes_armed) {
        return mvfiles_fail(MVFILES_ERR_NOT_ARMED,
                            "NOT_ARMED: save_progress mutates a real user's watch position "
                            "(mvfiles_arm_writes(1) to enable)");
    }
    if (empty(user) || empty(imdb_id)) {
        return mvfiles_fail(MVFILES_ERR_ARG, "userId and imdbId required");
    }
    // Written so that NaN fails too; infinities would make no position.
    if (!(duration > 0) || !(position >= 0) || std::isinf(duration) || std::isinf(position)) {
        return mvfiles_fail(MVFILES_ERR_ARG, "duration must be > 0, position >= 0");
    }
    if (mvfiles_result rc = mvfiles_require_transport("no transport installed")) return rc;

    double ratio = position / duration;
    if (ratio > 1) ratio = 1;
    if (!(ratio > 0)) ratio = 0;  // also turns a -0 position into "0"

    // The layout the progress look-up reads by position (KEY LAYOUTS in
    // mvfiles.h).
    char key[256];
    int n = std::snprintf(key, sizeof key, "RVD_Position_%s_%d_%s_%d_%d_%lld", user, profile,
                          imdb_id, season, episode, whole_seconds(duration));
    if (n < 0 || static_cast<size_t>(n) >= sizeof key) {
        // A cut key would store the position under some other title's key.
        return mvfiles_fail(MVFILES_ERR_ARG, "save_progress: key too long (at most %zu bytes)",
                            sizeof key - 1);
    }
    char value[64];
    format_ratio(value, sizeof value, ratio);

    char *ekey = mvfiles_url_encode(key);
    char *evalue = ekey ? mvfiles_url_encode(value) : nullptr;
    if (!ekey || !evalue) {
        std::free(ekey);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    }
    char *url = mvfiles_format_url("%s/api/KeyValue?key=%s&value=%s", g_sf.host, ekey, evalue);
    std::free(ekey);
    std::free(evalue);
    if (!url) return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    mvfiles_result r = send_write(url, "", 0, "text/plain");
    std::free(url);
    return r;
}

mvfiles_result mvfiles_update_playback_session(const char *key, const char *base64_body,
                                               const char *position,
                                               const char *duration) noexcept {
    if (!g_sf.writes_armed) {
        return mvfiles_fail(MVFILES_ERR_NOT_ARMED,
                            "NOT_ARMED: update_playback_session overwrites a real session row "
                            "(mvfiles_arm_writes(1) to enable)");
    }
    if (empty(key) || empty(base64_body)) {
        return mvfiles_fail(MVFILES_ERR_ARG, "key and base64 required");
    }
    if (mvfiles_result rc = mvfiles_require_transport("no transport installed")) return rc;

    char *ekey = mvfiles_url_encode(key);
    if (!ekey) return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    // Position and duration travel together or not at all; once the caller
    // gave both, failing to encode them fails the call rather than silently
    // writing the row without them.
    char *epos = nullptr, *edur = nullptr;
    if (!empty(position) && !empty(duration)) {
        epos = mvfiles_url_encode(position);
        edur = epos ? mvfiles_url_encode(duration) : nullptr;
        if (!edur) {
            std::free(ekey);
            std::free(epos);
            return mvfiles_fail(MVFILES_ERR_OOM, "oom");
        }
    }
    char *url = epos ? mvfiles_format_url(
                           "%s/api/AAA/UpdatePlaybackSession?key=%s&position=%s&duration=%s",
                           g_sf.host, ekey, epos, edur)
                     : mvfiles_format_url("%s/api/AAA/UpdatePlaybackSession?key=%s", g_sf.host,
                                          ekey);
    std::free(ekey);
    std::free(epos);
    std::free(edur);
    if (!url) return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    mvfiles_result r = send_write(url, base64_body, std::strlen(base64_body), "text/plain");
    std::free(url);
    return r;
}

mvfiles_result mvfiles_download_magnet(const char *user, const char *magnet,
                                       const char *storage_id, const char *downloader_id,
                                       const char *extension, const char *tkey) noexcept {
    if (!g_sf.writes_armed) {
        return mvfiles_fail(MVFILES_ERR_NOT_ARMED,
                            "NOT_ARMED: download_magnet queues a real download "
                            "(mvfiles_arm_writes(1) to enable)");
    }
    if (empty(user) || (empty(magnet) && empty(tkey))) {
        return mvfiles_fail(MVFILES_ERR_ARG, "userId and (magnet or tkey) required");
    }
    const struct {
        const char *name, *value;
    } members[] = {{"userId", user},           {"magnet", magnet},
                   {"storageId", storage_id},  {"downloaderId", downloader_id},
                   {"extension", extension},   {"tkey", tkey}};
    // The JSON writer refuses such a text; it is the caller's, not memory.
    for (const auto &m : members) {
        if (m.value && !mvfiles_utf8_valid(m.value, std::strlen(m.value)))
            return mvfiles_fail(MVFILES_ERR_ARG, "%s not valid UTF-8", m.name);
    }
    if (mvfiles_result rc = mvfiles_require_transport("no transport installed")) return rc;

    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *obj = doc ? yyjson_mut_obj(doc) : nullptr;
    if (!obj) {
        yyjson_mut_doc_free(doc);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    }
    yyjson_mut_doc_set_root(doc, obj);
    for (const auto &m : members) {
        // A member that cannot be added would queue a different download.
        if (m.value && !yyjson_mut_obj_add_strcpy(doc, obj, m.name, m.value)) {
            yyjson_mut_doc_free(doc);
            return mvfiles_fail(MVFILES_ERR_OOM, "oom");
        }
    }
    size_t json_len = 0;
    char *json = yyjson_mut_write_opts(doc, 0, nullptr, &json_len, nullptr);
    yyjson_mut_doc_free(doc);
    if (!json) return mvfiles_fail(MVFILES_ERR_OOM, "oom: serializing request");
    char *url = mvfiles_format_url("%s/api/AAA/DownloadMagnet", g_sf.host);
    if (!url) {
        std::free(json);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    }
    mvfiles_result r = send_write(url, json, json_len, "application/json");
    std::free(json);
    std::free(url);
    return r;
}
