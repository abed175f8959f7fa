// Watch progress: the positions saved for one user profile and title.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kv/kv.h"

namespace {

// Keys are RVD_Position_<user>_<profile>_<imdb>_<season>_<episode>_<duration>
// (KEY LAYOUTS in mvfiles.h), so the parts read here are p5 season, p6
// episode and p7 the duration in whole seconds; the value is the ratio.
bool position(mvfiles_progress &p, const mvfiles_kv_row &row) noexcept {
    p.key = row.key;
    p.updated = nullptr;
    p.value = mvfiles_parse_double(row.value);
    p.size = mvfiles_part_i64(row.p[7]);
    p.season = mvfiles_part_i32(row.p[5]);
    p.episode = mvfiles_part_i32(row.p[6]);
    return true;
}

}  // namespace

mvfiles_result mvfiles_get_progress(const char *user, int32_t profile, const char *imdb_id) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    if (!imdb_id || !*imdb_id) return mvfiles_fail(MVFILES_ERR_ARG, "imdbId required");
    char prefix[256];
    // A cut prefix would fetch the rows of another user or title.
    if (!mvfiles_text(prefix, sizeof prefix)
             .add("RVD_Position_")
             .add(user ? user : "")
             .add("_")
             .add(profile)
             .add("_")
             .add(imdb_id)
             .whole()) {
        return mvfiles_fail(MVFILES_ERR_ARG, "progress: key prefix too long (at most %zu bytes)",
                            sizeof prefix - 1);
    }
    char key[288];
    mvfiles_text(key, sizeof key).add("prog|").add(prefix);
    return mvfiles_kv_lookup(key, prefix, g_sf.progress, g_sf.progress_count, position,
                             [](mvfiles_progress *, uint64_t) { return true; }, "oom: progress");
}

int32_t mvfiles_progress_count(void) noexcept { return static_cast<int32_t>(g_sf.progress_count); }

const char *mvfiles_progress_key(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.progress_count) ? g_sf.progress[i].key : nullptr;
}

const char *mvfiles_progress_updated(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.progress_count) ? g_sf.progress[i].updated : nullptr;
}

double mvfiles_progress_value(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.progress_count) ? g_sf.progress[i].value : 0.0;
}

int64_t mvfiles_progress_size(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.progress_count) ? g_sf.progress[i].size : 0;
}

int32_t mvfiles_progress_season(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.progress_count) ? g_sf.progress[i].season : 0;
}

int32_t mvfiles_progress_episode(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.progress_count) ? g_sf.progress[i].episode : 0;
}
