// The shared library exports exactly the documented mvfiles_ functions.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

// Every function of include/mvfiles.h, in the header's order.
const char *const kExports[] = {
    "mvfiles_version", "mvfiles_set_host", "mvfiles_set_io", "mvfiles_use_curl",
    "mvfiles_last_error", "mvfiles_last_http_code", "mvfiles_shutdown", "mvfiles_arm_writes",
    "mvfiles_writes_armed", "mvfiles_stable_hash",
    "mvfiles_cache_set_ttl", "mvfiles_cache_clear", "mvfiles_cache_invalidate", "mvfiles_cache_has",
    "mvfiles_get_by_imdb", "mvfiles_get_by_keys", "mvfiles_is_playable_se", "mvfiles_is_playable",
    "mvfiles_count", "mvfiles_key", "mvfiles_imdb", "mvfiles_parent_key", "mvfiles_filename",
    "mvfiles_path", "mvfiles_extension", "mvfiles_subtitle_languages",
    "mvfiles_subtitle_language_titles", "mvfiles_created", "mvfiles_record_updated", "mvfiles_size",
    "mvfiles_duration_seconds", "mvfiles_season", "mvfiles_episode", "mvfiles_is_hdr",
    "mvfiles_is_hevc", "mvfiles_is_dolby", "mvfiles_subtitle_count", "mvfiles_audio_channels",
    "mvfiles_video_width", "mvfiles_video_height", "mvfiles_entry_count", "mvfiles_entry_uri",
    "mvfiles_entry_url", "mvfiles_entry_is_active", "mvfiles_entry_content_source",
    "mvfiles_file_json",
    "mvfiles_get_playlists", "mvfiles_playlist_count", "mvfiles_playlist_key",
    "mvfiles_playlist_value", "mvfiles_playlist_id", "mvfiles_playlist_name", "mvfiles_playlist_logo",
    "mvfiles_playlist_origin", "mvfiles_playlist_imdb_count", "mvfiles_playlist_imdb",
    "mvfiles_playlist_imdbids",
    "mvfiles_get_progress", "mvfiles_progress_count", "mvfiles_progress_key",
    "mvfiles_progress_updated", "mvfiles_progress_value", "mvfiles_progress_size",
    "mvfiles_progress_season", "mvfiles_progress_episode",
    "mvfiles_get_external_subtitles", "mvfiles_sub_count", "mvfiles_sub_key", "mvfiles_sub_uri",
    "mvfiles_sub_label", "mvfiles_sub_filename", "mvfiles_sub_updated", "mvfiles_sub_id",
    "mvfiles_sub_parent_id", "mvfiles_sub_enabled", "mvfiles_sub_is_child",
    "mvfiles_get_session_index", "mvfiles_sessionix_count", "mvfiles_sessionix_key",
    "mvfiles_sessionix_user", "mvfiles_sessionix_imdb", "mvfiles_sessionix_sessionkey",
    "mvfiles_sessionix_profile", "mvfiles_sessionix_season", "mvfiles_sessionix_episode",
    "mvfiles_sessionix_size",
    "mvfiles_get_storages", "mvfiles_storage_count", "mvfiles_storage_email", "mvfiles_storage_name",
    "mvfiles_storage_id", "mvfiles_storage_state", "mvfiles_storage_type",
    "mvfiles_storage_files_count", "mvfiles_storage_total", "mvfiles_storage_used",
    "mvfiles_storage_remaining",
    "mvfiles_get_playback_sessions", "mvfiles_session_count", "mvfiles_session_id",
    "mvfiles_session_created", "mvfiles_session_value", "mvfiles_session_bit",
    "mvfiles_save_progress", "mvfiles_update_playback_session", "mvfiles_download_magnet",
    "mvfiles_use_fake", "mvfiles_fake_corpus", "mvfiles_fake_mode", "mvfiles_fake_calls",
    "mvfiles_fake_fail_count", "mvfiles_fake_last_url", "mvfiles_fake_reset",
};

// Defined symbols of the dynamic symbol table, as nm reads them.
std::set<std::string> dynamic_symbols(const char *path) {
    std::set<std::string> out;
    std::string cmd = std::string("nm -D --defined-only '") + path + "'";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char line[1024];
    while (std::fgets(line, sizeof line, p)) {
        char addr[64], type[8], name[512];
        if (std::sscanf(line, "%63s %7s %511s", addr, type, name) == 3) {
            std::string n(name);
            size_t at = n.find('@');  // strip symbol versions
            if (at != std::string::npos) n.resize(at);
            out.insert(n);
        }
    }
    pclose(p);
    return out;
}

TEST(Exports, ListHas113Functions) {
    std::set<std::string> expected(std::begin(kExports), std::end(kExports));
    EXPECT_EQ(expected.size(), 113u);
    EXPECT_EQ(sizeof kExports / sizeof kExports[0], 113u);
}

TEST(Exports, SharedLibraryExportsExactlyTheList) {
    std::set<std::string> expected(std::begin(kExports), std::end(kExports));
    std::set<std::string> got = dynamic_symbols(MVFILES_SHARED_LIB);
    ASSERT_FALSE(got.empty()) << "could not read " << MVFILES_SHARED_LIB;
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(),
                        std::back_inserter(missing));
    std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    std::string m, x;
    for (auto &s : missing) m += s + " ";
    for (auto &s : extra) x += s + " ";
    EXPECT_TRUE(missing.empty()) << "not exported: " << m;
    EXPECT_TRUE(extra.empty()) << "exported but not in the list: " << x;
}

}  // namespace
