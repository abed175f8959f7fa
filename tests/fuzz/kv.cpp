// A key-value answer through each of the five look-ups built on it, every
// getter, and the joined playlist ids checked against a plain join.
#include <cstring>

#include "fuzz/fuzz.h"
#include "mvfiles.h"

using namespace mvfuzz;

namespace {

void check(int32_t rc) { MVFUZZ_CHECK(rc == MVFILES_OK || rc == MVFILES_ERR_JSON || rc == MVFILES_ERR_EMPTY); }

// The ids that fit whole into 8190 characters, in order.
const char *check_joined(int32_t i) {
    std::string joined;
    int32_t ids = mvfiles_playlist_imdb_count(i);
    for (int32_t j = 0; j < ids && joined.size() + std::strlen(mvfiles_playlist_imdb(i, j)) + 2 <= 8191; j++)
        joined += (j ? "," : "") + std::string(mvfiles_playlist_imdb(i, j));
    const char *all = mvfiles_playlist_imdbids(i);
    MVFUZZ_CHECK(ids > 0 ? all && joined == all : !all);
    MVFUZZ_CHECK(!mvfiles_playlist_imdb(i, ids) && !mvfiles_playlist_imdb(i, -1));
    return all;
}

}  // namespace

void mvfuzz_read_storages() {
    read_rows(mvfiles_storage_count(), mvfiles_storage_email, mvfiles_storage_name, mvfiles_storage_id,
              mvfiles_storage_state, mvfiles_storage_type, mvfiles_storage_files_count, mvfiles_storage_total,
              mvfiles_storage_used, mvfiles_storage_remaining);
}

int mvfuzz_kv(const uint8_t *data, size_t size) {
    std::string rows(reinterpret_cast<const char *>(data), size);
    answer = [&](const std::string &url) {
        return Reply{"200", 200, {}, url.find("GetAuth") != std::string::npos ? "e30=" : rows};  // e30= is {}
    };
    fresh_client();
    check(mvfiles_get_playlists(nullptr, nullptr, "Movies"));
    int32_t n = mvfiles_playlist_count();
    read_rows(n, mvfiles_playlist_key, mvfiles_playlist_value, mvfiles_playlist_id, mvfiles_playlist_name,
              mvfiles_playlist_logo, mvfiles_playlist_origin, check_joined);
    check(mvfiles_get_progress("u", 0, "tt0111161"));
    read_rows(mvfiles_progress_count(), mvfiles_progress_key, mvfiles_progress_updated, mvfiles_progress_value,
              mvfiles_progress_size, mvfiles_progress_season, mvfiles_progress_episode);
    check(mvfiles_get_external_subtitles("tt0944947", 1, 1));
    read_rows(mvfiles_sub_count(), mvfiles_sub_uri, mvfiles_sub_label, mvfiles_sub_filename, mvfiles_sub_updated,
              mvfiles_sub_parent_id, mvfiles_sub_enabled, mvfiles_sub_is_child);
    for (int32_t i = -1; i <= mvfiles_sub_count(); i++)
        MVFUZZ_CHECK(mvfiles_sub_id(i) == (mvfiles_sub_key(i) ? mvfiles_stable_hash(mvfiles_sub_key(i)) : 0));
    check(mvfiles_get_session_index("u"));
    read_rows(mvfiles_sessionix_count(), mvfiles_sessionix_key, mvfiles_sessionix_user, mvfiles_sessionix_imdb,
              mvfiles_sessionix_sessionkey, mvfiles_sessionix_profile, mvfiles_sessionix_season,
              mvfiles_sessionix_episode, mvfiles_sessionix_size);
    check(mvfiles_get_storages());
    mvfuzz_read_storages();
    return 0;
}
