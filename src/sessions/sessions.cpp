// Playback sessions: the POST-only fetch by ids, the table and its getters.
#include "sessions/sessions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/members.h"
#include "api/request.h"
#include "api/util.h"

namespace {

using namespace mvfiles_members;

// The three texts of a session, read in one pass over each element.
enum SessionMember { S_ID, S_CREATED, S_VALUE, S_COUNT };
constexpr Name kSessionNames[S_COUNT] = {
    MVFILES_MEMBER("id", "Id"),
    MVFILES_MEMBER("created", "Created"),
    MVFILES_MEMBER("value", "Value"),
};
static_assert(member_names_ok(kSessionNames),
              "member name pairs must differ only in case, and no two names of a table"
              " may fold to the same text");
constexpr ByLength kSessionByLen = group_by_length(kSessionNames);

// Kept from answer to answer: sessions list their members as the ones before.
Layout s_layout;

const char *text_of(yyjson_val *v) { return yyjson_is_str(v) ? unsafe_yyjson_get_str(v) : nullptr; }

// Cache key of a sessions read. Returns false when the key had to be cut:
// a cut key would let two id lists that share their first 507 bytes answer
// for each other, so it never takes part in a cache comparison.
bool sessions_cache_key(char (&key)[sizeof g_sf.sessions_key], const char *ids) {
    return mvfiles_text(key, sizeof key).add("sess|").add(ids ? ids : "").whole();
}

const mvfiles_session *row(int32_t i) {
    if (!g_sf.sessions_valid || i < 0 || static_cast<uint64_t>(i) >= g_sf.session_count)
        return nullptr;
    return &g_sf.sessions[i];
}

}  // namespace

void mvfiles_sessions_free() noexcept {
    std::free(g_sf.sessions);
    g_sf.sessions = nullptr;
    g_sf.session_count = 0;
    if (g_sf.sessions_doc) yyjson_doc_free(g_sf.sessions_doc);
    g_sf.sessions_doc = nullptr;
    g_sf.sessions_valid = 0;
}

mvfiles_result mvfiles_sessions_fetch(const char *ids) noexcept {
    if (mvfiles_result rc = mvfiles_require_transport(MVFILES_NO_TRANSPORT_MSG)) return rc;
    if (!ids || !*ids) return mvfiles_fail(MVFILES_ERR_ARG, "session ids required");

    char *url = mvfiles_concat({g_sf.host, "/api/AAA/GetPlaybackSessions"});
    if (!url) return mvfiles_fail(MVFILES_ERR_OOM, "oom");

    char *body = nullptr;
    uint64_t body_len = 0;
    int32_t status = 0;
    char msg[256];
    int32_t rc = mvfiles_http_post(url, ids, std::strlen(ids), "text/plain", &body, &body_len,
                                   &status, msg, sizeof msg);
    std::free(url);
    mvfiles_result judged = mvfiles_judge_response(
        rc, msg, status, &body, nullptr, "sessions: HTTP 405 (GET is not allowed, POST-only)");
    if (judged != MVFILES_OK) return judged;
    yyjson_doc *doc;
    mvfiles_result read = mvfiles_read_array(body, body_len, "sessions", "oom: sessions", &doc);
    if (read != MVFILES_OK) return read;
    yyjson_val *root = yyjson_doc_get_root(doc);

    size_t n = yyjson_arr_size(root);
    auto *rows = static_cast<mvfiles_session *>(std::calloc(n ? n : 1, sizeof(mvfiles_session)));
    if (!rows) {
        yyjson_doc_free(doc);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom: sessions");
    }
    size_t count = 0;
    size_t idx, max;
    yyjson_val *el;
    yyjson_arr_foreach(root, idx, max, el) {
        if (!yyjson_is_obj(el)) continue;
        mvfiles_session &r = rows[count++];
        Found<S_COUNT> m;
        find_members(el, kSessionNames, kSessionByLen, s_layout, m);
        r.id = text_of(m[S_ID]);
        r.created = text_of(m[S_CREATED]);
        r.value = text_of(m[S_VALUE]);
    }

    mvfiles_sessions_free();
    g_sf.sessions_doc = doc;
    g_sf.sessions = rows;
    g_sf.session_count = count;
    g_sf.sessions_valid = 1;
    if (g_sf.sessions_ttl <= 0) g_sf.sessions_ttl = 60;
    g_sf.sessions_time = mvfiles_now();
    // A key that did not fit is not kept: no read could match it safely.
    if (!sessions_cache_key(g_sf.sessions_key, ids)) g_sf.sessions_key[0] = 0;
    mvfiles_set_err("");
    return MVFILES_OK;
}

mvfiles_result mvfiles_get_playback_sessions(const char *ids) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    char key[sizeof g_sf.sessions_key];
    bool whole = sessions_cache_key(key, ids);
    if (whole && g_sf.sessions_valid &&
        !mvfiles_cache_expired(g_sf.sessions_time, g_sf.sessions_ttl) &&
        std::strcmp(key, g_sf.sessions_key) == 0) {
        mvfiles_set_err("");
        return MVFILES_OK;
    }
    return mvfiles_sessions_fetch(ids);
}

int32_t mvfiles_session_count(void) noexcept {
    if (!g_sf.sessions_valid) return 0;
    return g_sf.session_count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(g_sf.session_count);
}

const char *mvfiles_session_id(int32_t i) noexcept {
    const mvfiles_session *r = row(i);
    return r ? r->id : nullptr;
}

const char *mvfiles_session_created(int32_t i) noexcept {
    const mvfiles_session *r = row(i);
    return r ? r->created : nullptr;
}

const char *mvfiles_session_value(int32_t i) noexcept {
    const mvfiles_session *r = row(i);
    return r ? r->value : nullptr;
}

int32_t mvfiles_session_bit(int32_t i, int32_t position) noexcept {
    const mvfiles_session *r = row(i);
    if (!r || position < 0 || !r->value) return -1;
    if (static_cast<size_t>(position) >= std::strlen(r->value)) return -1;
    char c = r->value[position];
    return c == '1' ? 1 : c == '0' ? 0 : -1;
}
