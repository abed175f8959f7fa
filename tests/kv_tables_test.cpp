// Watch progress, external subtitles and the session index: prefixes, the
// fields read from key parts, subtitle filtering and parent linking, the
// refused long prefixes and locale-independent values.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/core.h"
#include "mvfiles.h"
#include "support/kv_rows.h"
#include "support/platform.h"
#include "support/service.h"

namespace {

using mvtest::quote;
using mvtest::rows;
const auto row = mvtest::parts_row;

const char kStartsWith[] = "http://127.0.0.1:9/api/KeyValue/StartsWith?k=";

class KvTables : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://127.0.0.1:9");
        svc.install();
    }
    mvtest::Service svc;
};

// ---- progress ---------------------------------------------------------------

TEST_F(KvTables, ProgressNeedsAnImdbIdFirst) {
    for (const char *imdb : {static_cast<const char *>(nullptr), ""}) {
        EXPECT_EQ(mvfiles_get_progress(nullptr, 0, imdb), 6);
        EXPECT_STREQ(mvfiles_last_error(), "imdbId required");
    }
    mvfiles_set_io(nullptr);  // checked before the transport, too
    EXPECT_EQ(mvfiles_get_progress("u", 0, ""), 6);
    EXPECT_EQ(svc.count(), 0u);
}

TEST_F(KvTables, ProgressRowsReadFromKeyPartsAndValues) {
    svc.push(mvtest::Answer::json(rows({
        row("RVD_Position__0_tt0111161_1_2_5400", "0.25"),
        row("RVD_Position__0_tt0111161_-1_-1_8520", nullptr),
        row("RVD_Position__0_tt01111610_3_4_8589934592", "1"),
        row("RVD_Position__0_tt0111161_x_ 7_12abc", "2.5e-1junk"),
    })));
    ASSERT_EQ(mvfiles_get_progress(nullptr, 0, "tt0111161"), 0);
    EXPECT_EQ(svc.last().url, std::string(kStartsWith) + "RVD_Position__0_tt0111161");
    EXPECT_STREQ(mvfiles_last_error(), "");
    const struct {
        double value;
        int64_t size;
        int32_t season, episode;
    } want[] = {{0.25, 5400, 1, 2}, {0.0, 8520, -1, -1}, {1.0, 8589934592LL, 3, 4}, {0.25, 12, 0, 7}};
    ASSERT_EQ(mvfiles_progress_count(), 4);  // the longer id shares the prefix
    for (int32_t i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_NE(mvfiles_progress_key(i), nullptr);
        EXPECT_EQ(mvfiles_progress_updated(i), nullptr);
        EXPECT_DOUBLE_EQ(mvfiles_progress_value(i), want[i].value);
        EXPECT_EQ(mvfiles_progress_size(i), want[i].size);
        EXPECT_EQ(mvfiles_progress_season(i), want[i].season);
        EXPECT_EQ(mvfiles_progress_episode(i), want[i].episode);
    }
    EXPECT_EQ(mvfiles_progress_key(4), nullptr);
    EXPECT_EQ(mvfiles_progress_value(-1), 0.0);
}

TEST_F(KvTables, OutOfRangePartsSaturateLikeA32BitReader) {
    svc.push(mvtest::Answer::json(rows({row("RVD_Position_u_0_tt1_99999999999_-99999999999_1", "0")})));
    ASSERT_EQ(mvfiles_get_progress("u", 0, "tt1"), 0);
    EXPECT_EQ(mvfiles_progress_season(0), INT32_MAX);
    EXPECT_EQ(mvfiles_progress_episode(0), INT32_MIN);
}

// A comma-decimal LC_NUMERIC for the life of the object.
class CommaLocale {
public:
    CommaLocale() : active_(mvtest::use_comma_locale()) {}
    ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    bool active() const { return active_; }

private:
    bool active_;
};

TEST_F(KvTables, ProgressValueIgnoresTheHostLocale) {
    CommaLocale loc;
    if (!loc.active()) GTEST_SKIP() << "no comma-decimal locale available";
    ASSERT_NE(std::strtod("0.25", nullptr), 0.25);  // the runtime reader now differs
    svc.push(mvtest::Answer::json(rows({
        row("RVD_Position_u_0_tt1_1_1_100", "0.25"),
        row("RVD_Position_u_0_tt1_1_2_100", "0.30000000000000004"),
        row("RVD_Position_u_0_tt1_1_3_100", "1e-3"),
        row("RVD_Position_u_0_tt1_1_4_100", "0,5"),
    })));
    ASSERT_EQ(mvfiles_get_progress("u", 0, "tt1"), 0);
    EXPECT_EQ(mvfiles_progress_value(0), 0.25);
    EXPECT_EQ(mvfiles_progress_value(1), 0.30000000000000004);
    EXPECT_EQ(mvfiles_progress_value(2), 0.001);
    EXPECT_EQ(mvfiles_progress_value(3), 0.0);  // "," is no decimal separator on the wire
}

// ---- refused long prefixes ----------------------------------------------------

struct LongPrefix {
    const char *name;
    size_t fixed;  // bytes of the prefix around the variable part
    size_t limit;  // most bytes the prefix may have
    mvfiles_result (*run)(const std::string &);
    const char *message;
};

TEST_F(KvTables, PrefixThatDoesNotFitIsRefusedAndNothingIsSent) {
    const LongPrefix cases[] = {
        // "RVD_Position_" + user + "_0_tt1" within 255 bytes
        {"progress", 19, 255, [](const std::string &v) { return mvfiles_get_progress(v.c_str(), 0, "tt1"); },
         "progress: key prefix too long (at most 255 bytes)"},
        // "RVD_ExternalSubtitle_" + imdb within 127 bytes
        {"subtitles", 21, 127,
         [](const std::string &v) { return mvfiles_get_external_subtitles(v.c_str(), 1, 1); },
         "subtitles: key prefix too long (at most 127 bytes)"},
        // "VELTRONA_PlaybackSession_" + user within 255 bytes
        {"session index", 25, 255, [](const std::string &v) { return mvfiles_get_session_index(v.c_str()); },
         "session index: key prefix too long (at most 255 bytes)"},
    };
    svc.push(mvtest::Answer::json(rows({row("RVD_MoviesPlaylist_1", "tt1")})));
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    for (const LongPrefix &c : cases) {
        SCOPED_TRACE(c.name);
        svc.requests.clear();
        size_t fill = c.limit - c.fixed;  // the longest variable part that fits
        EXPECT_EQ(c.run(std::string(fill + 1, 'a')), 6);
        EXPECT_STREQ(mvfiles_last_error(), c.message);
        EXPECT_EQ(svc.count(), 0u);
        EXPECT_EQ(mvfiles_playlist_count(), 1);
        EXPECT_STREQ(g_sf.kv_tag, "plays|Movies");

        // One byte less fits and is sent whole (the fallback answer is "[]").
        EXPECT_EQ(c.run(std::string(fill, 'a')), 4);
        ASSERT_EQ(svc.count(), 1u);
        EXPECT_EQ(svc.last().url.size() - (sizeof kStartsWith - 1), c.limit);
    }
}

// ---- external subtitles ---------------------------------------------------------

TEST_F(KvTables, SubtitlesNeedAnImdbId) {
    for (const char *imdb : {static_cast<const char *>(nullptr), ""}) {
        EXPECT_EQ(mvfiles_get_external_subtitles(imdb, 1, 1), 6);
        EXPECT_STREQ(mvfiles_last_error(), "imdb id required");
    }
    EXPECT_EQ(svc.count(), 0u);
}

TEST_F(KvTables, SubtitlesKeepOnlyTheRequestedEpisode) {
    svc.push(mvtest::Answer::json(rows({
        row("RVD_ExternalSubtitle_tt0944947_1_1_en.srt", "https://s.example/a/en.srt"),
        row("RVD_ExternalSubtitle_tt0944947_1_2_en.srt", "https://s.example/b/en.srt"),
        row("RVD_ExternalSubtitle_tt0944947_1_10_en.srt", "https://s.example/c/en.srt"),
        row("RVD_ExternalSubtitle_tt09449470_1_1_en.srt", "https://s.example/d/en.srt"),
        "{\"value\":\"keyless\"}",
        row("RVD_ExternalSubtitle_tt0944947_1_1_de.srt_sdh", "https://s.example/a/de.sdh.srt"),
    })));
    ASSERT_EQ(mvfiles_get_external_subtitles("tt0944947", 1, 1), 0);
    EXPECT_EQ(svc.last().url, std::string(kStartsWith) + "RVD_ExternalSubtitle_tt0944947");
    ASSERT_EQ(mvfiles_sub_count(), 2);
    EXPECT_STREQ(mvfiles_sub_key(0), "RVD_ExternalSubtitle_tt0944947_1_1_en.srt");
    EXPECT_STREQ(mvfiles_sub_uri(0), "https://s.example/a/en.srt");
    EXPECT_STREQ(mvfiles_sub_label(0), "en.srt");
    EXPECT_STREQ(mvfiles_sub_filename(0), "en.srt");
    EXPECT_STREQ(mvfiles_sub_label(1), "de.srt_sdh");
    EXPECT_STREQ(mvfiles_sub_filename(1), "de.srt");
    for (int32_t i = -1; i <= 2; i++) {
        EXPECT_EQ(mvfiles_sub_updated(i), nullptr);
        EXPECT_EQ(mvfiles_sub_enabled(i), 0);
    }
    EXPECT_EQ(mvfiles_sub_key(2), nullptr);
    EXPECT_EQ(mvfiles_sub_id(-1), 0);

    // Ids are the stable hash of the key, the same on every run.
    EXPECT_EQ(mvfiles_sub_id(0), mvfiles_stable_hash("RVD_ExternalSubtitle_tt0944947_1_1_en.srt"));
    EXPECT_GT(mvfiles_sub_id(0), 0);

    // The cache key names the episode: the same episode is served, another fetches.
    ASSERT_EQ(mvfiles_get_external_subtitles("tt0944947", 1, 1), 0);
    EXPECT_EQ(svc.count(), 1u);
    EXPECT_EQ(mvfiles_get_external_subtitles("tt0944947", 1, 2), 4);  // fallback "[]"
    EXPECT_EQ(svc.count(), 2u);
}

struct Sub {
    const char *label;  // key suffix; its first "_" part is the file name
    const char *uri;
};

struct LinkCase {
    const char *name;
    std::vector<Sub> subs;
    std::vector<int> parent;  // index of each record's parent, -1 for a root
};

TEST_F(KvTables, SubtitlesLinkToTheSubtitleTheyDeriveFrom) {
    const LinkCase cases[] = {
        {"child of a differing uri", {{"en.srt", "h/a/en.srt"}, {"en.srt_forced", "h/a/en.forced.srt"}}, {-1, 0}},
        {"both ways", {{"en.srt", "h/a/en.srt"}, {"en.srt_x", "h/b/en.srt"}}, {1, 0}},
        {"never its own parent", {{"fr.srt", "h/fr.srt"}}, {-1}},
        {"equal uris are not linked", {{"en.srt", "h/en.srt"}, {"en.srt_2", "h/en.srt"}}, {-1, -1}},
        {"last match wins",
         {{"x.srt_a", "h/1/x.srt"}, {"y.srt", "h/y.srt"}, {"x.srt_b", "h/2/x.srt"}, {"z.srt", "h/3/x.srt"}},
         {3, -1, 3, -1}},
        {"uri without a slash", {{"a.srt", "a.srt"}, {"a.srt_c", "b.srt"}}, {-1, 0}},
        {"no uri", {{"a.srt", nullptr}, {"a.srt_c", "h/a.srt"}}, {-1, -1}},
    };
    for (const LinkCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> r;
        for (const Sub &s : c.subs) r.push_back(row(std::string("RVD_ExternalSubtitle_tt1_0_0_") + s.label, s.uri));
        svc.push(mvtest::Answer::json(rows(r)));
        ASSERT_EQ(mvfiles_get_external_subtitles("tt1", 0, 0), 0);
        ASSERT_EQ(mvfiles_sub_count(), static_cast<int32_t>(c.subs.size()));
        for (int32_t i = 0; i < mvfiles_sub_count(); i++) {
            int p = c.parent[i];
            EXPECT_EQ(mvfiles_sub_is_child(i), p >= 0 ? 1 : 0) << i;
            EXPECT_EQ(mvfiles_sub_parent_id(i), p >= 0 ? mvfiles_sub_id(p) : 0) << i;
        }
        mvfiles_kv_free();
    }
}

// Larger tables are linked through an index of last path segments; it must
// pick exactly the parent the pairwise rule picks: the last other record
// whose uri differs and ends in the record's file name.
TEST_F(KvTables, SubtitleLinkingMatchesThePairwiseRule) {
    const std::vector<std::string> names = {"a.srt", "b.srt", "c.srt", "d.srt"};
    // Names that are empty or prefixes of one another, and names that all
    // land in one slot of a 2048-slot FNV-1a table, as a server could pick.
    const std::vector<std::string> prefixes = {"", "a", "a.srt", "a.srt.srt", "b", "a.srs"};
    std::vector<std::string> flooded;
    for (int s = 0; flooded.size() < 64; s++) {
        std::string f = "f" + std::to_string(s);
        uint64_t h = 1469598103934665603ull;
        for (unsigned char c : f) h = (h ^ c) * 1099511628211ull;
        if ((h & 2047) == 0) flooded.push_back(f);
    }
    struct Round {
        int n;
        const std::vector<std::string> &names;
    } rounds[] = {{33, names}, {200, names}, {1000, names}, {1000, names}, {300, prefixes}, {1000, flooded}};
    std::mt19937 rng(1);
    for (const Round &round : rounds) {
        const int n = round.n;
        auto name = [&] { return round.names[rng() % round.names.size()]; };
        std::vector<std::string> r, file, uri;
        for (int i = 0; i < n; i++) {
            file.push_back(name());
            unsigned u = rng() % 10;  // a few shared uris, some without "/", some missing
            uri.push_back(u == 9 ? "" : u == 8 ? name() : "h/" + std::to_string(rng() % 3) + "/" + name());
            r.push_back(row("RVD_ExternalSubtitle_tt1_0_0_" + file[i] + "_" + std::to_string(i),
                            uri[i].empty() ? nullptr : uri[i].c_str()));
        }
        svc.push(mvtest::Answer::json(rows(r)));
        ASSERT_EQ(mvfiles_get_external_subtitles("tt1", 0, 0), 0);
        for (int i = 0; i < n; i++) {
            int want = -1;
            for (int k = 0; k < n && !uri[i].empty(); k++) {
                size_t slash = uri[k].rfind('/');
                std::string seg = slash == std::string::npos ? uri[k] : uri[k].substr(slash + 1);
                if (k != i && !uri[k].empty() && uri[k] != uri[i] && seg == file[i]) want = k;
            }
            ASSERT_EQ(mvfiles_sub_parent_id(i), want >= 0 ? mvfiles_sub_id(want) : 0) << n << " " << i;
            ASSERT_EQ(mvfiles_sub_is_child(i), want >= 0 ? 1 : 0) << n << " " << i;
        }
        mvfiles_kv_free();
    }
}

// ---- session index ----------------------------------------------------------------

TEST_F(KvTables, SessionIndexPrefixesAndFields) {
    const std::string kRows = rows({
        row("VELTRONA_PlaybackSession_ab_2_tt0944947_1_3_2147483648_ps-1", ""),
        row("VELTRONA_PlaybackSession_abc_0_tt0111161_-1_-1_77_ps-2", nullptr),
    });
    svc.fallback = mvtest::Answer::json(kRows);
    ASSERT_EQ(mvfiles_get_session_index(nullptr), 0);
    EXPECT_EQ(svc.last().url, std::string(kStartsWith) + "VELTRONA_PlaybackSession");
    EXPECT_STREQ(g_sf.kv_tag, "sessix|VELTRONA_PlaybackSession");
    ASSERT_EQ(mvfiles_get_session_index(""), 0);  // the same look-up: served from the table
    EXPECT_EQ(svc.count(), 1u);

    ASSERT_EQ(mvfiles_get_session_index("ab"), 0);
    EXPECT_EQ(svc.last().url, std::string(kStartsWith) + "VELTRONA_PlaybackSession_ab");
    ASSERT_EQ(mvfiles_sessionix_count(), 2);  // abc shares the prefix
    EXPECT_STREQ(mvfiles_sessionix_key(0), "VELTRONA_PlaybackSession_ab_2_tt0944947_1_3_2147483648_ps-1");
    EXPECT_STREQ(mvfiles_sessionix_user(0), "ab");
    EXPECT_STREQ(mvfiles_sessionix_imdb(0), "tt0944947");
    EXPECT_STREQ(mvfiles_sessionix_sessionkey(0), "ps-1");
    EXPECT_EQ(mvfiles_sessionix_profile(0), 2);
    EXPECT_EQ(mvfiles_sessionix_season(0), 1);
    EXPECT_EQ(mvfiles_sessionix_episode(0), 3);
    EXPECT_EQ(mvfiles_sessionix_size(0), 2147483648LL);
    EXPECT_STREQ(mvfiles_sessionix_user(1), "abc");
    EXPECT_EQ(mvfiles_sessionix_season(1), -1);
    EXPECT_EQ(mvfiles_sessionix_key(2), nullptr);
    EXPECT_EQ(mvfiles_sessionix_size(-1), 0);
}

}  // namespace
