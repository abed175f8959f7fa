// Playlists: type words, the two value formats, the joined ids and the
// index checks of the getters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/core.h"
#include "mvfiles.h"
#include "support/kv_rows.h"
#include "support/service.h"

namespace {

using mvtest::quote;
using mvtest::rows;
const auto row = mvtest::plain_row;

class Playlists : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://127.0.0.1:9");
        svc.install();
    }

    // Loads one Movies row holding value.
    void load(const char *value) {
        svc.push(mvtest::Answer::json("[" + row("RVD_MoviesPlaylist_1", value) + "]"));
        ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
        ASSERT_EQ(mvfiles_playlist_count(), 1);
    }

    mvtest::Service svc;
};

TEST_F(Playlists, TypeWordIsCheckedBeforeAnyRequest) {
    const struct {
        const char *type;
        const char *message;
    } cases[] = {
        {nullptr, "type required (Production | Movies | Series)"},
        {"", "type required (Production | Movies | Series)"},
        {"movies", "type must be Production, Movies or Series (got 'movies')"},
        {"Series ", "type must be Production, Movies or Series (got 'Series ')"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(mvfiles_get_playlists(nullptr, nullptr, c.type), 6);
        EXPECT_STREQ(mvfiles_last_error(), c.message);
    }
    EXPECT_EQ(svc.count(), 0u);
}

TEST_F(Playlists, EachTypeFetchesItsPrefix) {
    const struct {
        const char *type, *prefix;
    } cases[] = {{"Production", "RVD_ProductionPlaylist"},
                 {"Movies", "RVD_MoviesPlaylist"},
                 {"Series", "RVD_SeriesPlaylist"}};
    for (const auto &c : cases) {
        svc.push(mvtest::Answer::json("[" + row(std::string(c.prefix) + "_1", "tt1") + "]"));
        ASSERT_EQ(mvfiles_get_playlists("ignored", "ignored", c.type), 0);
        EXPECT_EQ(svc.last().url, std::string("http://127.0.0.1:9/api/KeyValue/StartsWith?k=") + c.prefix);
        EXPECT_EQ(g_sf.kv_tag, std::string("plays|") + c.type);
        EXPECT_STREQ(g_sf.kv_prefix, c.prefix);
    }
}

struct ValueCase {
    const char *name;
    const char *value;
    int64_t id;
    const char *list_name, *logo, *origin;
    std::vector<std::string> ids;
    const char *joined;  // NULL when there are no ids
};

TEST_F(Playlists, ValuesOfBothFormats) {
    const ValueCase cases[] = {
        {"object, non-string ids skipped",
         "{\"Id\":7,\"Name\":\"Top\",\"LogoPath\":\"/l.png\",\"OriginCountry\":\"US\","
         "\"IMDbIds\":[\"tt0111161\",5,\"tt0944947\",null]}",
         7, "Top", "/l.png", "US", {"tt0111161", "tt0944947"}, "tt0111161,tt0944947"},
        {"object, second key names",
         "{\"id\":3,\"name\":\"n\",\"logoPath\":\"/x\",\"originCountry\":\"FR\",\"imdbIds\":[\"a\"]}",
         3, "n", "/x", "FR", {"a"}, "a"},
        {"object without id", "{\"Name\":\"x\"}", 0, "x", nullptr, nullptr, {}, nullptr},
        {"object with a text id", "{\"Id\":\"7\"}", 0, nullptr, nullptr, nullptr, {}, nullptr},
        {"object with an empty id array", "{\"Id\":2,\"IMDbIds\":[]}", 2, nullptr, nullptr, nullptr, {}, nullptr},
        {"object whose id list is text", "{\"Id\":4,\"IMDbIds\":\"tt1,tt2\"}", 4, nullptr, nullptr, nullptr, {},
         nullptr},
        {"invalid JSON", "{\"Id\":9,\"Name\":", -1, nullptr, nullptr, nullptr, {}, nullptr},
        {"comma list with blanks, empty piece, trailing comma", "tt0111161, tt0944947,,tt4154796,", -1,
         nullptr, nullptr, nullptr, {"tt0111161", "tt0944947", "", "tt4154796"},
         "tt0111161,tt0944947,,tt4154796"},
        {"trailing blanks stay", "tt1 ,  tt2  ", -1, nullptr, nullptr, nullptr, {"tt1 ", "tt2  "}, "tt1 ,tt2  "},
        {"blank then comma at the end", "tt1, ", -1, nullptr, nullptr, nullptr, {"tt1", ""}, "tt1,"},
        {"a lone comma", ",", -1, nullptr, nullptr, nullptr, {""}, ""},
        {"blank before {", " {\"Id\":1,\"Name\":\"x\"}", -1, nullptr, nullptr, nullptr,
         {"{\"Id\":1", "\"Name\":\"x\"}"}, "{\"Id\":1,\"Name\":\"x\"}"},
        {"empty value", "", -1, nullptr, nullptr, nullptr, {}, nullptr},
        {"null value", nullptr, -1, nullptr, nullptr, nullptr, {}, nullptr},
    };
    for (const ValueCase &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.value);
        EXPECT_STREQ(mvfiles_playlist_key(0), "RVD_MoviesPlaylist_1");
        if (c.value)
            EXPECT_STREQ(mvfiles_playlist_value(0), c.value);
        else
            EXPECT_EQ(mvfiles_playlist_value(0), nullptr);
        EXPECT_EQ(mvfiles_playlist_id(0), c.id);
        auto same = [](const char *got, const char *want) {
            return want ? (got && std::strcmp(got, want) == 0) : got == nullptr;
        };
        EXPECT_TRUE(same(mvfiles_playlist_name(0), c.list_name));
        EXPECT_TRUE(same(mvfiles_playlist_logo(0), c.logo));
        EXPECT_TRUE(same(mvfiles_playlist_origin(0), c.origin));
        ASSERT_EQ(mvfiles_playlist_imdb_count(0), static_cast<int32_t>(c.ids.size()));
        for (size_t j = 0; j < c.ids.size(); j++)
            EXPECT_EQ(mvfiles_playlist_imdb(0, static_cast<int32_t>(j)), c.ids[j]);
        EXPECT_EQ(mvfiles_playlist_imdb(0, static_cast<int32_t>(c.ids.size())), nullptr);
        EXPECT_EQ(mvfiles_playlist_imdb(0, -1), nullptr);
        EXPECT_TRUE(same(mvfiles_playlist_imdbids(0), c.joined));
        mvfiles_kv_free();
    }
}

TEST_F(Playlists, RowsKeepTheServiceOrderAndOutOfRangeIndexesAreSafe) {
    svc.push(mvtest::Answer::json("[" + row("RVD_MoviesPlaylist_2", "{\"Id\":2}") + ",5," +
                                  row("RVD_MoviesPlaylist_10", "tt1") + "]"));
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    ASSERT_EQ(mvfiles_playlist_count(), 2);
    EXPECT_STREQ(mvfiles_playlist_key(0), "RVD_MoviesPlaylist_2");
    EXPECT_STREQ(mvfiles_playlist_key(1), "RVD_MoviesPlaylist_10");
    for (int32_t i : {-1, 2, INT32_MIN}) {
        EXPECT_EQ(mvfiles_playlist_key(i), nullptr);
        EXPECT_EQ(mvfiles_playlist_id(i), -1);
        EXPECT_EQ(mvfiles_playlist_imdb(i, 0), nullptr);
        EXPECT_EQ(mvfiles_playlist_imdbids(i), nullptr);
    }
}

TEST_F(Playlists, JoinedIdsKeepOnlyWholeIdsThatFit) {
    // 2000 ids of 9 characters: 819 ids and 818 commas make 8189 characters.
    std::string list;
    for (int k = 0; k < 2000; k++) {
        char id[16];
        std::snprintf(id, sizeof id, "tt%07d", k);
        list += (k ? "," : "") + std::string(id);
    }
    load(list.c_str());
    ASSERT_EQ(mvfiles_playlist_imdb_count(0), 2000);
    std::string joined = mvfiles_playlist_imdbids(0);
    EXPECT_EQ(joined.size(), 8189u);
    EXPECT_EQ(joined, list.substr(0, 8189));
    mvfiles_kv_free();

    const struct {
        size_t first, second;  // id lengths
        size_t joined;         // length of the result
    } edges[] = {{8189, 1, 8189}, {8190, 1, 0}, {8186, 1, 8188}, {8188, 1, 8190}};
    for (const auto &e : edges) {
        std::string v = std::string(e.first, 'a') + "," + std::string(e.second, 'b');
        load(v.c_str());
        EXPECT_EQ(std::strlen(mvfiles_playlist_imdbids(0)), e.joined) << e.first;
        mvfiles_kv_free();
    }
}

TEST_F(Playlists, AnswerWithoutObjectRowsIsNeverCached) {
    svc.fallback = mvtest::Answer::json("[1,\"x\"]");
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Series"), 0);
    EXPECT_EQ(mvfiles_playlist_count(), 0);
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Series"), 0);
    EXPECT_EQ(svc.count(), 2u);
}

}  // namespace
