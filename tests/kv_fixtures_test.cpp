// The bundled key-value fixtures are accepted by the look-ups that read them
// through the offline backend, and their rows are well formed.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <string>

#include "api/core.h"
#include "kv/kv.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

const char *const kKvFixtures[] = {
    "playlists.movies.json",        "playlists.series.json",          "playlists.production.json",
    "externalsubs.tt0111161.json",  "externalsubs.tt0944947.json",    "position.rows.json",
    "playbacksessions.rows.json",   "storages.onedrives.rows.json",   "storages.onedrivesitems.rows.json",
};

class KvFixtures : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        ASSERT_EQ(mvfiles_fake_corpus(MVFILES_FIXTURES_DIR), 0);
        ASSERT_EQ(mvfiles_use_fake(), 0);
    }
};

TEST_F(KvFixtures, RowsCarryTheirKeyParts) {
    for (const char *name : kKvFixtures) {
        SCOPED_TRACE(name);
        std::string path = std::string(MVFILES_FIXTURES_DIR) + "/" + name;
        yyjson_doc *doc = yyjson_read_file(path.c_str(), 0, nullptr, nullptr);
        ASSERT_NE(doc, nullptr);
        yyjson_val *root = yyjson_doc_get_root(doc);
        ASSERT_TRUE(yyjson_is_arr(root));
        EXPECT_GT(yyjson_arr_size(root), 0u);
        size_t idx, max;
        yyjson_val *el;
        yyjson_arr_foreach(root, idx, max, el) {
            const char *key = yyjson_get_str(yyjson_obj_get(el, "key"));
            ASSERT_NE(key, nullptr);
            EXPECT_TRUE(yyjson_is_str(yyjson_obj_get(el, "value"))) << key;
            std::string joined;
            for (int p = 0; p < 10; p++) {
                const char *part = yyjson_get_str(yyjson_obj_get(el, ("p" + std::to_string(p)).c_str()));
                if (!part) break;
                joined += (p ? "_" : "") + std::string(part);
            }
            EXPECT_EQ(joined, key);
        }
        yyjson_doc_free(doc);
    }
}

TEST_F(KvFixtures, EveryLookUpAcceptsItsFixture) {
    for (const char *type : {"Movies", "Series", "Production"}) {
        SCOPED_TRACE(type);
        ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, type), 0) << mvfiles_last_error();
        ASSERT_GT(mvfiles_playlist_count(), 1);
        bool object = false, list = false;
        for (int32_t i = 0; i < mvfiles_playlist_count(); i++) {
            EXPECT_GT(mvfiles_playlist_imdb_count(i), 0);
            if (mvfiles_playlist_id(i) > 0 && mvfiles_playlist_name(i) && mvfiles_playlist_logo(i) &&
                mvfiles_playlist_origin(i))
                object = true;
            if (mvfiles_playlist_id(i) == -1) list = true;
        }
        EXPECT_TRUE(object && list);
    }

    ASSERT_EQ(mvfiles_get_progress("u42", 0, "tt0111161"), 0) << mvfiles_last_error();
    ASSERT_GT(mvfiles_progress_count(), 0);
    EXPECT_EQ(mvfiles_progress_value(0), 0.25);
    EXPECT_EQ(mvfiles_progress_size(0), 8520);

    const struct {
        const char *imdb;
        int32_t season, episode, kept;
    } subs[] = {{"tt0111161", -1, -1, 3}, {"tt0944947", 1, 1, 3}, {"tt0944947", 2, 1, 1}};
    for (const auto &s : subs) {
        SCOPED_TRACE(s.imdb);
        ASSERT_EQ(mvfiles_get_external_subtitles(s.imdb, s.season, s.episode), 0) << mvfiles_last_error();
        ASSERT_EQ(mvfiles_sub_count(), s.kept);
        int children = 0;
        for (int32_t i = 0; i < mvfiles_sub_count(); i++) children += mvfiles_sub_is_child(i);
        EXPECT_EQ(children, s.kept > 1 ? 1 : 0);
    }

    ASSERT_EQ(mvfiles_get_session_index(nullptr), 0) << mvfiles_last_error();
    ASSERT_EQ(mvfiles_sessionix_count(), 3);
    EXPECT_STREQ(mvfiles_sessionix_sessionkey(0), "ps-7f3a91");

    ASSERT_EQ(mvfiles_get_storages(), 0) << mvfiles_last_error();
    ASSERT_EQ(mvfiles_storage_count(), 2);
    EXPECT_STREQ(mvfiles_storage_email(0), "ana@mail.example");
    EXPECT_EQ(mvfiles_storage_total(0), mvfiles_storage_used(0) + mvfiles_storage_remaining(0));

    // The drive-item rows answer their own, longer prefix.
    ASSERT_EQ(mvfiles_kv_fetch("items", "RVD_ONEDRIVESITEMS"), 0) << mvfiles_last_error();
    ASSERT_EQ(mvfiles_storages_project(), 0);
    EXPECT_EQ(mvfiles_storage_count(), 1);
}

}  // namespace
