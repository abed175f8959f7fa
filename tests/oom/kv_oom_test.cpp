// Every allocation of every key-value look-up is failed in turn: each run
// ends with its documented result, leaks nothing, and either leaves the
// previous table intact or (when only the new table could not be built)
// holds the new rows with an empty table.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "api/core.h"
#include "kv/kv.h"
#include "mvfiles.h"
#include "support/failalloc.h"

namespace {

// A transport that allocates nothing: static bodies chosen by URL.
struct Plain {
    const char *auth = "eyJvayI6dHJ1ZX0=";  // {"ok":true}
    const char *rows = "[]";
};
Plain g_plain;

int32_t plain_request(void *, const veltrona_http_request *req, int32_t *status, char **err) {
    *err = nullptr;
    *status = 200;
    const char *body = std::strstr(req->url, "GetAuth") ? g_plain.auth : g_plain.rows;
    if (req->on_header && req->on_header(req->cb_ctx, ":status", "200") != 0) return 0;
    if (req->on_body && *body) req->on_body(req->cb_ctx, body, std::strlen(body));
    return 0;
}

veltrona_http g_http = {VELTRONA_HTTP_SIZE, VELTRONA_HTTP_VERSION, nullptr, plain_request, nullptr};
veltrona_io_ctx g_ctx = {VELTRONA_IO_MAGIC, VELTRONA_IO_CTX_SIZE, &g_http, 0};
veltrona_io g_io = {&g_ctx, nullptr, nullptr, nullptr};

const char kPlaylistRows[] =
    "[{\"key\":\"RVD_MoviesPlaylist_1\",\"value\":\"{\\\"Id\\\":1,\\\"Name\\\":\\\"Night\\\","
    "\\\"LogoPath\\\":\\\"/n.png\\\",\\\"OriginCountry\\\":\\\"US\\\",\\\"IMDbIds\\\":[\\\"tt0111161\\\","
    "\\\"tt0944947\\\"]}\"},"
    "{\"key\":\"RVD_MoviesPlaylist_2\",\"value\":\"tt1, tt2,,tt3,\"},"
    "{\"key\":\"RVD_MoviesPlaylist_3\",\"value\":\"{broken\"}]";
const char kPositionRows[] =
    "[{\"key\":\"RVD_Position_u_0_tt1_1_2_5400\",\"value\":\"0.25\",\"p5\":\"1\",\"p6\":\"2\",\"p7\":\"5400\"},"
    "{\"key\":\"RVD_Position_u_0_tt1_1_3_5400\",\"value\":null,\"p5\":\"1\",\"p6\":\"3\",\"p7\":\"5400\"}]";
const char kSubRows[] =
    "[{\"key\":\"RVD_ExternalSubtitle_tt1_1_1_en.srt\",\"value\":\"h/a/en.srt\",\"p5\":\"en.srt\"},"
    "{\"key\":\"RVD_ExternalSubtitle_tt1_1_1_en.srt_f\",\"value\":\"h/a/en.f.srt\",\"p5\":\"en.srt\"},"
    "{\"key\":\"RVD_ExternalSubtitle_tt1_1_2_de.srt\",\"value\":\"h/b/de.srt\",\"p5\":\"de.srt\"}]";
const char kSessionRows[] =
    "[{\"key\":\"VELTRONA_PlaybackSession_u_0_tt1_1_1_99_sk\",\"p2\":\"u\",\"p3\":\"0\",\"p4\":\"tt1\","
    "\"p5\":\"1\",\"p6\":\"1\",\"p7\":\"99\",\"p8\":\"sk\"}]";
const char kDriveRows[] =
    "[{\"key\":\"RVD_ONEDRIVES_d1\",\"value\":\"{\\\"id\\\":\\\"d1\\\",\\\"driveType\\\":\\\"personal\\\","
    "\\\"owner\\\":{\\\"user\\\":{\\\"email\\\":\\\"a@x.example\\\",\\\"displayName\\\":\\\"Ana\\\"}},"
    "\\\"quota\\\":{\\\"total\\\":10,\\\"used\\\":4,\\\"remaining\\\":6,\\\"state\\\":\\\"normal\\\"}}\"},"
    "{\"key\":\"RVD_ONEDRIVES_d2\",\"value\":\"[1]\"},"
    "{\"key\":\"RVD_ONEDRIVESITEMS_d1\",\"value\":\"{\\\"id\\\":\\\"i1\\\"}\"}]";

struct Scenario {
    const char *name;
    const char *preload_rows;            // the table held before the look-up
    std::function<mvfiles_result()> preload;
    const char *rows;
    std::function<mvfiles_result()> run;
    const char *table_oom;               // the builder's message
    std::function<void()> verify;        // the complete table after a success
    std::function<uint64_t()> count;     // length of the look-up's own table
    std::function<void()> verify_previous;
};

void verify_playlists() {
    ASSERT_EQ(mvfiles_playlist_count(), 3);
    EXPECT_EQ(mvfiles_playlist_id(0), 1);
    EXPECT_STREQ(mvfiles_playlist_name(0), "Night");
    EXPECT_STREQ(mvfiles_playlist_logo(0), "/n.png");
    EXPECT_STREQ(mvfiles_playlist_origin(0), "US");
    EXPECT_STREQ(mvfiles_playlist_imdbids(0), "tt0111161,tt0944947");
    EXPECT_STREQ(mvfiles_playlist_imdbids(1), "tt1,tt2,,tt3");
    EXPECT_EQ(mvfiles_playlist_id(2), -1);
    EXPECT_STREQ(g_sf.kv_tag, "plays|Movies");
}

void verify_progress() {
    ASSERT_EQ(mvfiles_progress_count(), 2);
    EXPECT_EQ(mvfiles_progress_value(0), 0.25);
    EXPECT_EQ(mvfiles_progress_episode(1), 3);
    EXPECT_EQ(mvfiles_progress_size(1), 5400);
}

void verify_subs() {
    ASSERT_EQ(mvfiles_sub_count(), 2);
    EXPECT_STREQ(mvfiles_sub_label(1), "en.srt_f");
    EXPECT_EQ(mvfiles_sub_is_child(1), 1);
    EXPECT_EQ(mvfiles_sub_id(0), mvfiles_stable_hash("RVD_ExternalSubtitle_tt1_1_1_en.srt"));
    EXPECT_EQ(mvfiles_sub_parent_id(1), mvfiles_sub_id(0));
}

void verify_sessionix() {
    ASSERT_EQ(mvfiles_sessionix_count(), 1);
    EXPECT_STREQ(mvfiles_sessionix_sessionkey(0), "sk");
    EXPECT_EQ(mvfiles_sessionix_size(0), 99);
}

void verify_storages() {
    ASSERT_EQ(mvfiles_storage_count(), 2);
    EXPECT_STREQ(mvfiles_storage_email(0), "a@x.example");
    EXPECT_STREQ(mvfiles_storage_name(0), "Ana");
    EXPECT_STREQ(mvfiles_storage_state(0), "normal");
    EXPECT_STREQ(mvfiles_storage_type(0), "personal");
    EXPECT_EQ(mvfiles_storage_remaining(0), 6);
    EXPECT_STREQ(mvfiles_storage_id(1), "i1");
}

mvfiles_result load_movies() { return mvfiles_get_playlists(nullptr, nullptr, "Movies"); }

void movies_intact() {
    ASSERT_EQ(mvfiles_playlist_count(), 3);
    EXPECT_STREQ(mvfiles_playlist_name(0), "Night");
    EXPECT_STREQ(mvfiles_playlist_imdb(0, 1), "tt0944947");
    EXPECT_STREQ(g_sf.kv_tag, "plays|Movies");
}

std::vector<Scenario> scenarios() {
    return {
        {"playlists", kPositionRows, [] { return mvfiles_get_progress("u", 0, "tt1"); }, kPlaylistRows,
         load_movies, "oom: playlists", verify_playlists, [] { return g_sf.playlist_count; },
         [] {
             ASSERT_EQ(mvfiles_progress_count(), 2);
             EXPECT_EQ(mvfiles_progress_value(0), 0.25);
         }},
        {"progress", kPlaylistRows, load_movies, kPositionRows, [] { return mvfiles_get_progress("u", 0, "tt1"); },
         "oom: progress", verify_progress, [] { return g_sf.progress_count; }, movies_intact},
        {"subtitles", kPlaylistRows, load_movies, kSubRows,
         [] { return mvfiles_get_external_subtitles("tt1", 1, 1); }, "oom: subtitles", verify_subs,
         [] { return g_sf.subtitle_count; }, movies_intact},
        {"session index", kPlaylistRows, load_movies, kSessionRows, [] { return mvfiles_get_session_index("u"); },
         "oom: session index", verify_sessionix, [] { return g_sf.sessionix_count; }, movies_intact},
        {"storages", kPlaylistRows, load_movies, kDriveRows, [] { return mvfiles_get_storages(); },
         "oom: storages", verify_storages, [] { return g_sf.storage_count; }, movies_intact},
    };
}

class KvOom : public ::testing::TestWithParam<int> {};

TEST_P(KvOom, EveryAllocationOfTheLookUpMayFail) {
    const Scenario s = scenarios()[GetParam()];
    SCOPED_TRACE(s.name);
    auto preload = [&] {
        mvfiles_kv_free();
        g_plain.rows = s.preload_rows;
        ASSERT_EQ(s.preload(), 0);
        g_plain.rows = s.rows;
    };
    mvfiles_shutdown();
    mvfiles_set_host("http://127.0.0.1:9");
    ASSERT_EQ(mvfiles_set_io(&g_io), 0);
    preload();

    // Captured inside the armed run without allocating.
    char prev_tag[sizeof g_sf.kv_tag];
    const void *prev_doc = nullptr;
    int failures = 0, table_failures = 0;
    long runs = mvtest::failalloc_sweep(
        [&] {
            std::memcpy(prev_tag, g_sf.kv_tag, sizeof prev_tag);
            prev_doc = g_sf.kv_doc;
            return s.run();
        },
        [&](long k, mvfiles_result rc, bool tripped) {
            SCOPED_TRACE("allocation " + std::to_string(k));
            std::string msg = mvfiles_last_error();
            if (!tripped) {
                ASSERT_EQ(rc, 0) << msg;
                s.verify();
                return;
            }
            ASSERT_NE(rc, 0) << "a failed allocation was reported as success";
            failures++;
            if (msg == s.table_oom) {
                // The new rows are held, the table is empty and is not cached.
                EXPECT_EQ(rc, 8);
                EXPECT_STRNE(g_sf.kv_tag, prev_tag);
                EXPECT_EQ(g_sf.kv_valid, 1);
                EXPECT_EQ(s.count(), 0u);
                if (std::strcmp(s.name, "playlists") == 0) {
                    EXPECT_STREQ(g_sf.kv_tag, "Movies");
                }
                table_failures++;
                return;
            }
            if (rc == 1)
                EXPECT_EQ(msg, "transport: oom: response body");
            else
                EXPECT_TRUE(rc == 8 && (msg == "oom" || msg == "oom: kv rows")) << rc << " " << msg;
            EXPECT_STREQ(g_sf.kv_tag, prev_tag);
            EXPECT_EQ(g_sf.kv_doc, prev_doc);
            s.verify_previous();
        },
        preload);
    RecordProperty("runs", static_cast<int>(runs));
    EXPECT_GT(runs, 3);
    EXPECT_GT(failures, 0);
    EXPECT_GT(table_failures, 0);
    mvfiles_shutdown();
}

INSTANTIATE_TEST_SUITE_P(AllLookUps, KvOom, ::testing::Range(0, 5));

// The fixture backend reports a failed allocation as one, never as a
// missing fixture.
TEST(FixtureOom, ReportedAsOutOfMemory) {
    mvfiles_shutdown();
    mvfiles_fake_corpus(MVFILES_FIXTURES_DIR);
    mvfiles_use_fake();
    ASSERT_EQ(mvfiles_get_progress("u", 0, "tt0111161"), 0);  // the C library's first-use blocks
    mvfiles_kv_free();
    int oom_fixture = 0;
    auto check = [&](long, mvfiles_result rc, bool) {
        std::string msg = mvfiles_last_error();
        EXPECT_EQ(msg.find("fixture missing"), std::string::npos) << msg;
        oom_fixture += msg == "oom: fixture" && rc == 8;
    };
    mvtest::failalloc_sweep([] { return mvfiles_get_progress("u", 0, "tt0111161"); }, check, mvfiles_kv_free);
    EXPECT_GT(oom_fixture, 0);
    mvfiles_shutdown();
}

}  // namespace
