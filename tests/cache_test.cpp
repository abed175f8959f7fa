// The response cache: one entry per family (files, kv, sessions), its
// time-to-live, invalidation and the presence test, seen from a host.
#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "api/core.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

using mvtest::Answer;

const char *const kFile = R"([{"key":"f1","imdb":"tt0111161"}])";
const char *const kProgress =
    R"([{"key":"RVD_Position_u1_0_tt0111161_1_2_3","value":"0.5","p5":"1","p6":"2","p7":"3"}])";
const char *const kSession = R"([{"id":"s1","value":"1"}])";

// What the tests need to know of one family.
struct Family {
    const char *name;
    std::function<mvfiles_result()> read;    // the read that fills the entry
    std::function<mvfiles_result()> other;   // a read of the same family with another key
    const char *answer;                      // what the service answers to both
    const char *stored_key;                  // the entry's key after read()
    std::function<int32_t()> count;          // rows of the table read() builds
    int64_t *time;
    int32_t *ttl;
    int32_t default_ttl;
    char *key_field;
};

const Family kFamilies[] = {
    {"files", [] { return mvfiles_get_by_imdb("tt0111161", -1, -1); },
     [] { return mvfiles_get_by_imdb("tt0111162", 1, 2); }, kFile, "files|tt0111161|-1|-1",
     [] { return mvfiles_count(); }, &g_sf.files_time, &g_sf.files_ttl, 300, g_sf.files_key},
    {"kv", [] { return mvfiles_get_progress("u1", 0, "tt0111161"); },
     [] { return mvfiles_get_progress("u2", 0, "tt0111161"); }, kProgress,
     "prog|RVD_Position_u1_0_tt0111161", [] { return mvfiles_progress_count(); }, &g_sf.kv_time,
     &g_sf.kv_ttl, 900, g_sf.kv_tag},
    {"sessions", [] { return mvfiles_get_playback_sessions("s1"); },
     [] { return mvfiles_get_playback_sessions("s2"); }, kSession, "sess|s1",
     [] { return mvfiles_session_count(); }, &g_sf.sessions_time, &g_sf.sessions_ttl, 60,
     g_sf.sessions_key},
};

int32_t has(const char *family) {
    int32_t flag = -1;
    EXPECT_EQ(mvfiles_cache_has(family, "not consulted", &flag), 0) << family;
    return flag;
}

class Cache : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://svc.test");
        svc.install();
    }
    void TearDown() override { mvtest::reset_client(); }

    void fill(const Family &f) {
        svc.push(Answer::json(f.answer));
        ASSERT_EQ(f.read(), 0) << f.name << ": " << mvfiles_last_error();
        ASSERT_EQ(f.count(), 1) << f.name;
    }
    void fill_all() {
        for (const Family &f : kFamilies) fill(f);
    }

    mvtest::Service svc;
};

TEST_F(Cache, RepeatedReadIsServedFromTheEntry) {
    for (const Family &f : kFamilies) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(has(f.name), 0);
        fill(f);
        EXPECT_EQ(has(f.name), 1);
        EXPECT_STREQ(f.key_field, f.stored_key);
        EXPECT_EQ(*f.ttl, f.default_ttl);
        size_t sent = svc.count();
        mvfiles_set_err("left over");
        EXPECT_EQ(f.read(), 0);
        EXPECT_EQ(svc.count(), sent);
        EXPECT_STREQ(mvfiles_last_error(), "");
        EXPECT_EQ(mvfiles_last_http_code(), 0);
        EXPECT_EQ(f.count(), 1);
    }
}

TEST_F(Cache, TtlChangesApplyToHeldTables) {
    for (size_t which = 0; which < 3; which++) {
        SCOPED_TRACE(kFamilies[which].name);
        mvtest::reset_client();
        mvfiles_set_host("http://svc.test");
        svc.install();
        fill_all();
        for (const Family &f : kFamilies) *f.time -= 2;
        mvfiles_cache_set_ttl(which == 0 ? 1 : 0, which == 1 ? 1 : -5, which == 2 ? 1 : 0);
        for (size_t i = 0; i < 3; i++) {
            const Family &f = kFamilies[i];
            EXPECT_EQ(*f.ttl, i == which ? 1 : f.default_ttl) << f.name;
            EXPECT_EQ(has(f.name), i == which ? 0 : 1) << f.name;
        }
        // The stale table stays readable, and "*" still sees it.
        EXPECT_EQ(kFamilies[which].count(), 1);
        EXPECT_EQ(has("*"), 1);
        size_t sent = svc.count();
        svc.push(Answer::json(kFamilies[which].answer));
        EXPECT_EQ(kFamilies[which].read(), 0);
        EXPECT_EQ(svc.count(), sent + 1);
        EXPECT_EQ(has(kFamilies[which].name), 1);  // refilled now
    }
}

TEST_F(Cache, TtlSetBeforeTheFirstFillIsKept) {
    mvfiles_cache_set_ttl(10, 20, 30);
    fill_all();
    EXPECT_EQ(g_sf.files_ttl, 10);
    EXPECT_EQ(g_sf.kv_ttl, 20);
    EXPECT_EQ(g_sf.sessions_ttl, 30);
    mvfiles_cache_set_ttl(0, -1, INT32_MIN);
    EXPECT_EQ(g_sf.files_ttl, 10);
    EXPECT_EQ(g_sf.kv_ttl, 20);
    EXPECT_EQ(g_sf.sessions_ttl, 30);
}

TEST_F(Cache, InvalidateMatchesTheStoredKey) {
    struct {
        const char *key;
        bool drops;
    } cases[] = {{"other", false}, {"STORED", true}, {"", true}, {nullptr, true}};
    for (const Family &f : kFamilies) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(f.name) + " " + (c.key ? c.key : "(null)"));
            fill_all();
            std::string stored = f.stored_key;
            const char *key = c.key && std::string(c.key) == "STORED" ? stored.c_str() : c.key;
            EXPECT_EQ(mvfiles_cache_invalidate(f.name, key), 0);
            EXPECT_EQ(f.count(), c.drops ? 0 : 1);
            EXPECT_EQ(has(f.name), c.drops ? 0 : 1);
            EXPECT_STREQ(f.key_field, f.stored_key);  // the key itself survives a drop
            for (const Family &g : kFamilies) {
                if (&g == &f) continue;
                EXPECT_EQ(g.count(), 1) << g.name;
            }
            size_t sent = svc.count();
            svc.push(Answer::json(f.answer));
            EXPECT_EQ(f.read(), 0);
            EXPECT_EQ(svc.count(), sent + (c.drops ? 1 : 0));
        }
    }
}

TEST_F(Cache, UnknownFamiliesAreRefused) {
    fill_all();
    const char *names[] = {nullptr, "", "KV", "Files", "SESSIONS", "kv ", "session", "all", "**"};
    for (const char *name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        mvfiles_set_err("kept");
        g_sf.last_http_code = 201;
        EXPECT_EQ(mvfiles_cache_invalidate(name, nullptr), 6);
        int32_t flag = 7;
        EXPECT_EQ(mvfiles_cache_has(name, nullptr, &flag), 6);
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(mvfiles_cache_has(name, nullptr, nullptr), 6);
        EXPECT_STREQ(mvfiles_last_error(), "kept");
        EXPECT_EQ(mvfiles_last_http_code(), 201);
        for (const Family &f : kFamilies) EXPECT_EQ(f.count(), 1) << f.name;
    }
    EXPECT_EQ(mvfiles_cache_has("kv", nullptr, nullptr), 0);
}

TEST_F(Cache, StarSeesStaleEntriesAndDropsAll) {
    EXPECT_EQ(has("*"), 0);
    fill_all();
    for (const Family &f : kFamilies) *f.time -= f.default_ttl + 1;
    for (const Family &f : kFamilies) EXPECT_EQ(has(f.name), 0) << f.name;
    EXPECT_EQ(has("*"), 1);
    EXPECT_EQ(mvfiles_cache_invalidate("*", "ignored"), 0);
    EXPECT_EQ(has("*"), 0);
    for (const Family &f : kFamilies) {
        EXPECT_EQ(f.count(), 0) << f.name;
        EXPECT_EQ(*f.ttl, f.default_ttl) << f.name;
    }

    // Any one family held is enough for "*".
    fill(kFamilies[2]);
    EXPECT_EQ(has("*"), 1);
    mvfiles_cache_clear();
    EXPECT_EQ(has("*"), 0);
    EXPECT_EQ(g_sf.sessions_doc, nullptr);
}

// A table stamped after now was built before the clock was set back: its
// age is unknown, so it is fetched again rather than kept until the clock
// catches up.
TEST_F(Cache, ClockSetBackMakesEntriesStale) {
    for (const Family &f : kFamilies) {
        fill(f);
        *f.time = mvfiles_now() + 86400;  // as after a step back of one day
        EXPECT_EQ(has(f.name), 0) << f.name;
        size_t sent = svc.count();
        fill(f);
        EXPECT_EQ(svc.count(), sent + 1) << f.name;
    }
}

TEST_F(Cache, FailedRefreshKeepsTheEarlierEntry) {
    for (const Family &f : kFamilies) {
        SCOPED_TRACE(f.name);
        fill(f);
        svc.push(Answer::json("[]", 500));
        EXPECT_EQ(f.other(), 2);
        EXPECT_STREQ(mvfiles_last_error(), "HTTP 500");
        EXPECT_EQ(mvfiles_last_http_code(), 500);
        EXPECT_EQ(f.count(), 1);
        EXPECT_STREQ(f.key_field, f.stored_key);
        EXPECT_EQ(has(f.name), 1);
        svc.push(Answer::failure());
        EXPECT_EQ(f.other(), 1);
        EXPECT_EQ(has(f.name), 1);
        // The earlier query is still a hit.
        size_t sent = svc.count();
        EXPECT_EQ(f.read(), 0);
        EXPECT_EQ(svc.count(), sent);
    }
}

TEST_F(Cache, FilesKeyNamesSeasonAndEpisodeAsPassed) {
    svc.fallback = Answer::json(kFile);
    struct {
        int32_t s, e;
        size_t requests;  // after two identical reads
    } cases[] = {{-1, -1, 1}, {1, 3, 1}, {-2, -3, 2}, {-1, -2, 2}, {-5, 4, 1}};
    for (const auto &c : cases) {
        mvfiles_cache_clear();
        size_t before = svc.count();
        ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", c.s, c.e), 0);
        ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", c.s, c.e), 0);
        EXPECT_EQ(svc.count() - before, c.requests) << c.s << "," << c.e;
    }
    // A look-up by keys replaces the entry; its key never matches an id.
    const char *keys[] = {"f1"};
    ASSERT_EQ(mvfiles_get_by_keys(keys, 1), 0);
    EXPECT_STREQ(g_sf.files_key, "keys|1");
    size_t before = svc.count();
    ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), 0);
    EXPECT_EQ(svc.count(), before + 1);
}

TEST_F(Cache, KvEntryIsSharedByItsReads) {
    svc.route = [](const mvtest::Request &r) {
        if (r.url.find("RVD_MoviesPlaylist") != std::string::npos)
            return Answer::json(R"([{"key":"RVD_MoviesPlaylist_1","value":"tt1,tt2"}])");
        return Answer::json(kProgress);
    };
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    EXPECT_EQ(svc.count(), 1u);
    ASSERT_EQ(mvfiles_get_progress("u1", 0, "tt0111161"), 0);
    EXPECT_EQ(mvfiles_playlist_count(), 0);
    ASSERT_EQ(mvfiles_get_playlists(nullptr, nullptr, "Movies"), 0);
    EXPECT_EQ(svc.count(), 3u);  // the progress fetch replaced the entry

    // A long user id still hits: its key is kept whole.
    const std::string user(200, 'u');
    ASSERT_EQ(mvfiles_get_progress(user.c_str(), 0, "tt0111161"), 0);
    ASSERT_EQ(mvfiles_get_progress(user.c_str(), 0, "tt0111161"), 0);
    EXPECT_EQ(svc.count(), 4u);

    // An entry whose own table came out empty is present but never a hit.
    svc.route = nullptr;
    svc.fallback = Answer::json("[1,2]");
    ASSERT_EQ(mvfiles_get_progress("u9", 0, "tt0111161"), 0);
    EXPECT_EQ(mvfiles_progress_count(), 0);
    EXPECT_EQ(has("kv"), 1);
    ASSERT_EQ(mvfiles_get_progress("u9", 0, "tt0111161"), 0);
    EXPECT_EQ(svc.count(), 6u);
}

TEST_F(Cache, WritesDoNotTouchEntries) {
    fill_all();
    mvfiles_arm_writes(1);
    ASSERT_EQ(mvfiles_save_progress("u1", 0, "tt0111161", 1, 2, 0, 1, 3), 0);
    ASSERT_EQ(mvfiles_update_playback_session("s1", "QQ==", "1", "3"), 0);
    size_t sent = svc.count();
    for (const Family &f : kFamilies) {
        EXPECT_EQ(f.read(), 0) << f.name;
        EXPECT_EQ(f.count(), 1) << f.name;
    }
    EXPECT_EQ(svc.count(), sent);
}

}  // namespace
