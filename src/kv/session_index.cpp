// Playback-session index: one row per session, every fact carried in the key.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kv/kv.h"

namespace {

// Keys are VELTRONA_PlaybackSession_<user>_<profile>_<imdb>_<season>_<episode>_
// <size>_<session key> (KEY LAYOUTS in mvfiles.h): p2 user, p3 profile, p4
// IMDb id, p5 season, p6 episode, p7 size, p8 session key.
bool session(mvfiles_sessionix &s, const mvfiles_kv_row &row) noexcept {
    s.key = row.key;
    s.user = row.p[2];
    s.imdb = row.p[4];
    s.sessionkey = row.p[8];
    s.profile = mvfiles_part_i32(row.p[3]);
    s.season = mvfiles_part_i32(row.p[5]);
    s.episode = mvfiles_part_i32(row.p[6]);
    s.size = mvfiles_part_i64(row.p[7]);
    return true;
}

}  // namespace

mvfiles_result mvfiles_get_session_index(const char *user) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    char prefix[256];
    mvfiles_text p(prefix, sizeof prefix);
    p.add("VELTRONA_PlaybackSession");
    if (user && *user) p.add("_").add(user);
    // A cut prefix would list the sessions of other users.
    if (!p.whole()) {
        return mvfiles_fail(MVFILES_ERR_ARG,
                            "session index: key prefix too long (at most %zu bytes)",
                            sizeof prefix - 1);
    }
    char key[288];
    mvfiles_text(key, sizeof key).add("sessix|").add(prefix);
    return mvfiles_kv_lookup(key, prefix, g_sf.sessionix, g_sf.sessionix_count, session,
                             [](mvfiles_sessionix *, uint64_t) { return true; }, "oom: session index");
}

int32_t mvfiles_sessionix_count(void) noexcept {
    return static_cast<int32_t>(g_sf.sessionix_count);
}

const char *mvfiles_sessionix_key(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].key : nullptr;
}

const char *mvfiles_sessionix_user(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].user : nullptr;
}

const char *mvfiles_sessionix_imdb(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].imdb : nullptr;
}

const char *mvfiles_sessionix_sessionkey(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].sessionkey : nullptr;
}

int32_t mvfiles_sessionix_profile(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].profile : 0;
}

int32_t mvfiles_sessionix_season(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].season : 0;
}

int32_t mvfiles_sessionix_episode(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].episode : 0;
}

int64_t mvfiles_sessionix_size(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.sessionix_count) ? g_sf.sessionix[i].size : 0;
}
