// A key-value answer through each of the five look-ups built on it, every
// getter, and the joined playlist ids checked against a plain join.
#include <cstring>
#include <string>

#include "fuzz/fuzz.h"
#include "mvfiles.h"

namespace {

size_t sink = 0;
void text(const char *s) { sink += s ? std::strlen(s) : 0; }

bool known(int32_t rc) {
    return rc == MVFILES_OK || rc == MVFILES_ERR_JSON || rc == MVFILES_ERR_EMPTY;
}

void playlists() {
    MVFUZZ_CHECK(known(mvfiles_get_playlists(nullptr, nullptr, "Movies")));
    int32_t n = mvfiles_playlist_count();
    for (int32_t i = -1; i <= n; i++) {
        text(mvfiles_playlist_key(i));
        text(mvfiles_playlist_value(i));
        text(mvfiles_playlist_name(i));
        text(mvfiles_playlist_logo(i));
        text(mvfiles_playlist_origin(i));
        (void)mvfiles_playlist_id(i);
        // The ids that fit whole into 8190 characters, in order.
        int32_t ids = mvfiles_playlist_imdb_count(i);
        std::string joined;
        for (int32_t j = 0; j < ids; j++) {
            const char *id = mvfiles_playlist_imdb(i, j);
            MVFUZZ_CHECK(id != nullptr);
            if (joined.size() + std::strlen(id) + 2 > 8191) break;
            joined += (j ? "," : "") + std::string(id);
        }
        MVFUZZ_CHECK(mvfiles_playlist_imdb(i, ids) == nullptr && mvfiles_playlist_imdb(i, -1) == nullptr);
        const char *all = mvfiles_playlist_imdbids(i);
        MVFUZZ_CHECK(ids > 0 ? all && joined == all : all == nullptr);
    }
}

void progress() {
    MVFUZZ_CHECK(known(mvfiles_get_progress("u", 0, "tt0111161")));
    for (int32_t i = -1; i <= mvfiles_progress_count(); i++) {
        text(mvfiles_progress_key(i));
        MVFUZZ_CHECK(mvfiles_progress_updated(i) == nullptr);
        (void)mvfiles_progress_value(i);
        (void)mvfiles_progress_size(i);
        (void)mvfiles_progress_season(i);
        (void)mvfiles_progress_episode(i);
    }
}

void subtitles() {
    MVFUZZ_CHECK(known(mvfiles_get_external_subtitles("tt0944947", 1, 1)));
    for (int32_t i = -1; i <= mvfiles_sub_count(); i++) {
        text(mvfiles_sub_uri(i));
        text(mvfiles_sub_label(i));
        text(mvfiles_sub_filename(i));
        MVFUZZ_CHECK(mvfiles_sub_id(i) == (mvfiles_sub_key(i) ? mvfiles_stable_hash(mvfiles_sub_key(i)) : 0));
        MVFUZZ_CHECK(mvfiles_sub_updated(i) == nullptr && mvfiles_sub_enabled(i) == 0);
        (void)mvfiles_sub_parent_id(i);
        (void)mvfiles_sub_is_child(i);
    }
}

void session_index() {
    MVFUZZ_CHECK(known(mvfiles_get_session_index("u")));
    for (int32_t i = -1; i <= mvfiles_sessionix_count(); i++) {
        text(mvfiles_sessionix_key(i));
        text(mvfiles_sessionix_user(i));
        text(mvfiles_sessionix_imdb(i));
        text(mvfiles_sessionix_sessionkey(i));
        (void)mvfiles_sessionix_profile(i);
        (void)mvfiles_sessionix_season(i);
        (void)mvfiles_sessionix_episode(i);
        (void)mvfiles_sessionix_size(i);
    }
}

}  // namespace

// Reads the storage table; shared with the storages target.
void mvfuzz_read_storages() {
    for (int32_t i = -1; i <= mvfiles_storage_count(); i++) {
        text(mvfiles_storage_email(i));
        text(mvfiles_storage_name(i));
        text(mvfiles_storage_id(i));
        text(mvfiles_storage_state(i));
        text(mvfiles_storage_type(i));
        MVFUZZ_CHECK(mvfiles_storage_files_count(i) == 0);
        (void)mvfiles_storage_total(i);
        (void)mvfiles_storage_used(i);
        (void)mvfiles_storage_remaining(i);
    }
}

int mvfuzz_kv(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::string rows(reinterpret_cast<const char *>(data), size);
    host().answer = [&](const std::string &, const std::string &url) {
        Reply r;
        r.body = url.find("GetAuth") != std::string::npos ? "e30=" : rows;  // base64 of {}
        return r;
    };
    host().install();
    fresh_client();
    playlists();
    progress();
    subtitles();
    session_index();
    MVFUZZ_CHECK(known(mvfiles_get_storages()));
    mvfuzz_read_storages();
    return sink == SIZE_MAX;
}
