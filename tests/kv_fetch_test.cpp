// Key-value prefix fetch: failures leave every table untouched, rows are
// read as the service sends them, one row table is held at a time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/core.h"
#include "kv/kv.h"
#include "mvfiles.h"
#include "support/kv_rows.h"
#include "support/service.h"

namespace {

using mvtest::quote;
using mvtest::rows;
const auto row = mvtest::parts_row;

const char *const kGetAuthOk = "eyJvayI6dHJ1ZX0=";  // {"ok":true}

// Everything a failed fetch must leave as it was.
struct KvSnapshot {
    const void *doc, *rows, *playlists, *progress, *subtitles, *sessionix, *storages;
    uint64_t count, playlist_count, progress_count, subtitle_count, sessionix_count, storage_count;
    std::string tag, prefix;
    int64_t time;
    int32_t valid;
    bool operator==(const KvSnapshot &o) const {
        return doc == o.doc && rows == o.rows && playlists == o.playlists && progress == o.progress &&
               subtitles == o.subtitles && sessionix == o.sessionix && storages == o.storages &&
               count == o.count && playlist_count == o.playlist_count &&
               progress_count == o.progress_count && subtitle_count == o.subtitle_count &&
               sessionix_count == o.sessionix_count && storage_count == o.storage_count &&
               tag == o.tag && prefix == o.prefix && time == o.time && valid == o.valid;
    }
};

KvSnapshot snapshot() {
    return {g_sf.kv_doc,         g_sf.kv_rows,        g_sf.playlists,       g_sf.progress,
            g_sf.subtitles,      g_sf.sessionix,      g_sf.storages,        g_sf.kv_count,
            g_sf.playlist_count, g_sf.progress_count, g_sf.subtitle_count,  g_sf.sessionix_count,
            g_sf.storage_count,  g_sf.kv_tag,         g_sf.kv_prefix,       g_sf.kv_time,
            g_sf.kv_valid};
}

class KvFetch : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://127.0.0.1:9");
        svc.install();
    }

    // Loads a Movies playlist table through the service.
    void load_movies() {
        svc.push(mvtest::Answer::json(rows({row("RVD_MoviesPlaylist_1",
                                                "{\"Id\":1,\"Name\":\"Night\",\"IMDbIds\":[\"tt0111161\"]}")})));
        ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
        ASSERT_EQ(mvfiles_playlist_count(), 1);
    }

    mvtest::Service svc;
};

struct FetchFailure {
    const char *name;
    mvtest::Answer answer;
    mvfiles_result rc;
    const char *message;
    int32_t http_code;
};

mvtest::Answer status_only(int32_t status, const std::string &body = "") {
    return mvtest::Answer::json(body, status);
}

const std::vector<FetchFailure> &fetch_failures() {
    static const std::vector<FetchFailure> cases = {
        {"transport", mvtest::Answer::failure("connection refused"), 1,
         "transport: transport: connection refused", 0},
        {"http404", status_only(404, "{\"status\":404}"), 5, "no rows for prefix (HTTP 404)", 404},
        {"http500", status_only(500, "{\"error\":1}"), 2, "HTTP 500", 500},
        {"http302", status_only(302), 2, "HTTP 302", 302},
        {"http204", status_only(204), 4, "empty body", 204},
        {"empty200", status_only(200), 4, "empty body", 200},
        {"invalid", status_only(200, "{ this is not json"), 3, "keyvalue: invalid JSON", 200},
        {"object", status_only(200, "{}"), 3, "keyvalue: root is not an array", 200},
        {"null", status_only(200, "null"), 3, "keyvalue: root is not an array", 200},
        {"emptyarray", status_only(200, "[]"), 4, "keyvalue: no rows", 200},
    };
    return cases;
}

struct Lookup {
    const char *name;
    mvfiles_result (*run)();
};

const Lookup kLookups[] = {
    {"playlists", [] { return mvfiles_get_playlists(nullptr, nullptr, "Series"); }},
    {"progress", [] { return mvfiles_get_progress("u1", 0, "tt0111161"); }},
    {"subtitles", [] { return mvfiles_get_external_subtitles("tt0944947", 1, 1); }},
    {"sessionix", [] { return mvfiles_get_session_index("u1"); }},
    {"storages", [] { return mvfiles_get_storages(); }},
};

TEST_F(KvFetch, EveryFetchFailureOfEveryLookUpLeavesTheTablesAsTheyWere) {
    load_movies();
    for (const Lookup &lk : kLookups) {
        for (const FetchFailure &f : fetch_failures()) {
            SCOPED_TRACE(std::string(lk.name) + "/" + f.name);
            svc.route = [&](const mvtest::Request &r) {
                if (r.url.find("GetAuth") != std::string::npos) return mvtest::Answer::json(kGetAuthOk);
                return f.answer;
            };
            KvSnapshot before = snapshot();
            size_t sent = svc.count();
            EXPECT_EQ(lk.run(), f.rc);
            EXPECT_STREQ(mvfiles_last_error(), f.message);
            EXPECT_EQ(mvfiles_last_http_code(), f.http_code);
            EXPECT_TRUE(snapshot() == before);
            EXPECT_EQ(svc.count() - sent, std::string(lk.name) == "storages" ? 2u : 1u);
            EXPECT_STREQ(mvfiles_playlist_name(0), "Night");
            EXPECT_STREQ(mvfiles_playlist_imdb(0, 0), "tt0111161");
        }
    }
}

TEST_F(KvFetch, WithoutTransportEveryLookUpGives7AndSendsNothing) {
    load_movies();
    mvfiles_set_io(nullptr);
    for (const Lookup &lk : kLookups) {
        SCOPED_TRACE(lk.name);
        KvSnapshot before = snapshot();
        EXPECT_EQ(lk.run(), 7);
        EXPECT_STREQ(mvfiles_last_error(), MVFILES_NO_TRANSPORT_MSG);
        EXPECT_TRUE(snapshot() == before);
    }
    EXPECT_EQ(svc.count(), 1u);
}

TEST_F(KvFetch, EmptyPrefixIsRefusedBeforeAnyRequest) {
    for (const char *prefix : {static_cast<const char *>(nullptr), ""}) {
        EXPECT_EQ(mvfiles_kv_fetch("t", prefix), 6);
        EXPECT_STREQ(mvfiles_last_error(), "key prefix required");
    }
    EXPECT_EQ(svc.count(), 0u);
}

struct RowCase {
    const char *name;
    const char *body;
    std::vector<std::vector<const char *>> rows;  // key, value, p0, p1 of each row
};

TEST_F(KvFetch, RowsAreReadAsTheServiceSendsThem) {
    const RowCase cases[] = {
        {"numbers only", "[1,2]", {}},
        {"Key only", "[{\"Key\":\"A\"}]", {{"A", nullptr, nullptr, nullptr}}},
        {"key before Key", "[{\"Key\":\"B\",\"key\":\"a\",\"Value\":\"v\"}]", {{"a", "v", nullptr, nullptr}}},
        {"numeric part", "[{\"key\":\"k\",\"p0\":5,\"P1\":\"x\"}]", {{"k", nullptr, nullptr, "x"}}},
        {"other case", "[{\"KEY\":\"x\",\"vALUE\":\"y\"}]", {{"x", "y", nullptr, nullptr}}},
        {"the winning member must be a string",
         "[{\"Key\":\"B\",\"key\":5,\"kEy\":\"c\",\"vaLue\":1,\"VALUE\":\"v\"}]",
         {{nullptr, nullptr, nullptr, nullptr}}},
        {"earliest exact name wins; other forms after exact ones",
         "[{\"key\":5,\"p0\":\"x\",\"key\":\"b\",\"p1\":\"z\"},"
         "{\"key\":\"a\",\"P0\":\"y\",\"Key\":\"c\"}]",
         {{nullptr, nullptr, "x", "z"}, {"a", nullptr, "y", nullptr}}},
        {"non-objects skipped", "[\"s\",{\"key\":\"a\"},3,null,{\"key\":\"b\",\"value\":7}]",
         {{"a", nullptr, nullptr, nullptr}, {"b", nullptr, nullptr, nullptr}}},
    };
    for (const RowCase &c : cases) {
        SCOPED_TRACE(c.name);
        svc.push(mvtest::Answer::json(c.body));
        ASSERT_EQ(mvfiles_kv_fetch("tag", "RVD_X"), 0);
        EXPECT_STREQ(mvfiles_last_error(), "");
        EXPECT_EQ(g_sf.kv_valid, 1);
        ASSERT_EQ(g_sf.kv_count, c.rows.size());
        for (size_t i = 0; i < c.rows.size(); i++) {
            const mvfiles_kv_row &r = g_sf.kv_rows[i];
            const char *got[] = {r.key, r.value, r.p[0], r.p[1]};
            for (int f = 0; f < 4; f++) {
                if (c.rows[i][f])
                    EXPECT_STREQ(got[f], c.rows[i][f]);
                else
                    EXPECT_EQ(got[f], nullptr);
            }
            EXPECT_EQ(r.p[9], nullptr);
        }
    }
}

TEST_F(KvFetch, SuccessStampsTagPrefixAndTime) {
    svc.push(mvtest::Answer::json(rows({row("RVD_X_1", "v")})));
    int64_t t0 = mvfiles_now();
    ASSERT_EQ(mvfiles_kv_fetch("the-tag", "RVD_X"), 0);
    EXPECT_STREQ(g_sf.kv_tag, "the-tag");
    EXPECT_STREQ(g_sf.kv_prefix, "RVD_X");
    EXPECT_EQ(g_sf.kv_ttl, 900);
    EXPECT_GE(g_sf.kv_time, t0);
    EXPECT_EQ(svc.last().method, "GET");
    EXPECT_TRUE(svc.last().headers.empty());
    EXPECT_EQ(svc.last().url, "http://127.0.0.1:9/api/KeyValue/StartsWith?k=RVD_X");
}

TEST_F(KvFetch, PrefixReachesTheServicePercentEncoded) {
    ASSERT_EQ(mvfiles_get_progress("a b&c", 3, "tt1"), 4);  // fallback answer "[]"
    EXPECT_EQ(svc.last().url, "http://127.0.0.1:9/api/KeyValue/StartsWith?k=RVD_Position_a%20b%26c_3_tt1");
}

TEST_F(KvFetch, ReleasedRowsAreFetchedAgain) {
    load_movies();
    mvfiles_kv_free();
    EXPECT_EQ(mvfiles_playlist_count(), 0);
    EXPECT_EQ(g_sf.kv_valid, 0);
    mvfiles_kv_free();  // repeating the release is harmless
    svc.push(mvtest::Answer::json(rows({row("RVD_MoviesPlaylist_2", "tt1")})));
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    EXPECT_EQ(svc.count(), 2u);
    EXPECT_STREQ(mvfiles_playlist_key(0), "RVD_MoviesPlaylist_2");
}

// ---- one key-value table at a time ----------------------------------------

const std::string kPositionRows = rows({row("RVD_Position_u1_0_tt0111161_1_2_5400", "0.25")});
const std::string kSessionRows = rows({row("VELTRONA_PlaybackSession_u1_0_tt0111161_1_2_99_sk", "")});

TEST_F(KvFetch, ProgressFetchEmptiesPlaylists) {
    load_movies();
    svc.push(mvtest::Answer::json(kPositionRows));
    ASSERT_EQ(mvfiles_get_progress("u1", 0, "tt0111161"), 0);
    EXPECT_EQ(mvfiles_playlist_count(), 0);
    EXPECT_EQ(mvfiles_playlist_name(0), nullptr);
    EXPECT_EQ(mvfiles_progress_count(), 1);
}

TEST_F(KvFetch, ProgressSessionIndexProgressSendsThreeRequests) {
    svc.route = [](const mvtest::Request &r) {
        return mvtest::Answer::json(r.url.find("Position") != std::string::npos ? kPositionRows : kSessionRows);
    };
    ASSERT_EQ(mvfiles_get_progress("u1", 0, "tt0111161"), 0);
    ASSERT_EQ(mvfiles_get_session_index("u1"), 0);
    EXPECT_EQ(mvfiles_progress_count(), 0);
    ASSERT_EQ(mvfiles_get_progress("u1", 0, "tt0111161"), 0);
    EXPECT_EQ(mvfiles_sessionix_count(), 0);
    EXPECT_EQ(svc.count(), 3u);
}

TEST_F(KvFetch, RepeatedLookUpAnswersFromTheTable) {
    svc.route = [](const mvtest::Request &r) {
        std::string k = r.url.substr(r.url.find("k=") + 2);
        return mvtest::Answer::json(rows({row(k + "_1", "tt1,tt2")}));
    };
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Series"), 0);
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Series"), 0);
    EXPECT_EQ(svc.count(), 1u);
    EXPECT_EQ(mvfiles_last_http_code(), 0);
    EXPECT_STREQ(mvfiles_last_error(), "");

    // A fresh entry is served even with no transport installed.
    mvfiles_set_io(nullptr);
    EXPECT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Series"), 0);
    svc.install();

    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    EXPECT_EQ(svc.count(), 2u);
    ASSERT_EQ(mvfiles_playlist_count(), 1);
    EXPECT_STREQ(mvfiles_playlist_key(0), "RVD_MoviesPlaylist_1");

    // Stale rows are fetched again.
    g_sf.kv_time -= 901;
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    EXPECT_EQ(svc.count(), 3u);
}

TEST_F(KvFetch, StoragesLookUpsAreNeverCachedAndEmptyPlaylists) {
    load_movies();
    svc.route = [](const mvtest::Request &r) {
        if (r.url.find("GetAuth") != std::string::npos) return mvtest::Answer::json(kGetAuthOk);
        return mvtest::Answer::json(rows({row("RVD_ONEDRIVES_d1", "{\"id\":\"d1\"}")}));
    };
    ASSERT_EQ(mvfiles_get_storages(), 0);
    ASSERT_EQ(mvfiles_get_storages(), 0);
    EXPECT_EQ(svc.count(), 5u);  // the playlist load, then two requests per storages look-up
    EXPECT_EQ(mvfiles_playlist_count(), 0);
    EXPECT_EQ(mvfiles_storage_count(), 1);
    EXPECT_STREQ(g_sf.kv_tag, "storages");
    EXPECT_STREQ(g_sf.kv_prefix, "RVD_ONEDRIVES");
}

}  // namespace

// The number readers give exactly what the C library's readers give, on the
// plain shapes they read themselves and on the edges where they hand over.
TEST(KvNumbers, SameAsTheCLibrary) {
#if !defined(_WIN32)  // decimals always go to the C runtime there
    for (const char *s : {"0.4375", "-0", "-0.0", "0.1", "0.30000000000000004", "123456789012345",
                          "1234567890123456", "9007199254740993", "0.000000000000001", "1e3",
                          "5.", ".5", "-", "+2.5", " 7.25", "12x", "0x10", "", "inf"}) {
        double want = std::strtod(s, nullptr), got = mvfiles_parse_double(s);
        EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << s;
    }
#endif
    for (const char *s : {"0", "-0", "42", "-17x", "999999999999999999", "9223372036854775807",
                          "-9223372036854775808", "99999999999999999999", "+7", " 7", "-", "x1"}) {
        EXPECT_EQ(mvfiles_part_i64(s), static_cast<int64_t>(std::strtoll(s, nullptr, 10))) << s;
    }
}
