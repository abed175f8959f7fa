// Playback sessions: the POST by ids, the table and its getters, the cache
// entry of the family.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "api/core.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

using mvtest::Answer;

const char *const kRows =
    R"([{"id":"s1","created":"2024-01-02","value":"101"},{"Id":"s2","Value":"0"}])";

class Sessions : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://svc.test");
        svc.install();
    }
    void TearDown() override { mvtest::reset_client(); }

    // Loads a one-row table for ids "keep" to check that failures leave it.
    void load_keep() {
        svc.push(Answer::json(R"([{"id":"keep","value":"1"}])"));
        ASSERT_EQ(mvfiles_get_playback_sessions("keep"), 0);
    }
    void expect_keep() {
        EXPECT_EQ(mvfiles_session_count(), 1);
        ASSERT_NE(mvfiles_session_id(0), nullptr);
        EXPECT_STREQ(mvfiles_session_id(0), "keep");
        EXPECT_STREQ(g_sf.sessions_key, "sess|keep");
    }

    mvtest::Service svc;
};

TEST_F(Sessions, PostsTheIdsAsPlainText) {
    // The ids travel exactly as passed: separators, blanks and all.
    const std::string ids = "a1,b2; c3\n\"d\"";
    svc.push(Answer::json(kRows));
    ASSERT_EQ(mvfiles_get_playback_sessions(ids.c_str()), 0);
    ASSERT_EQ(svc.count(), 1u);
    const mvtest::Request &r = svc.last();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url, "http://svc.test/api/AAA/GetPlaybackSessions");
    EXPECT_EQ(r.body, ids);
    EXPECT_EQ(r.body_len, ids.size());
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0], "Content-Type: text/plain");

    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_last_http_code(), 200);
    ASSERT_EQ(mvfiles_session_count(), 2);
    EXPECT_STREQ(mvfiles_session_id(0), "s1");
    EXPECT_STREQ(mvfiles_session_created(0), "2024-01-02");
    EXPECT_STREQ(mvfiles_session_value(0), "101");
    EXPECT_STREQ(mvfiles_session_id(1), "s2");
    EXPECT_EQ(mvfiles_session_created(1), nullptr);
    EXPECT_STREQ(mvfiles_session_value(1), "0");
    EXPECT_EQ(g_sf.sessions_ttl, 60);
}

TEST_F(Sessions, RepeatWithinTtlIsAnsweredFromTheTable) {
    svc.fallback = Answer::json(kRows);
    ASSERT_EQ(mvfiles_get_playback_sessions("a,b"), 0);
    mvfiles_set_err("stale text");
    ASSERT_EQ(mvfiles_get_playback_sessions("a,b"), 0);
    EXPECT_EQ(svc.count(), 1u);
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_last_http_code(), 0);
    EXPECT_EQ(mvfiles_session_count(), 2);

    // Served even without a transport while it is fresh.
    mvfiles_set_io(nullptr);
    EXPECT_EQ(mvfiles_get_playback_sessions("a,b"), 0);
    svc.install();

    // Different ids, or the same ids once stale, fetch again.
    ASSERT_EQ(mvfiles_get_playback_sessions("a"), 0);
    EXPECT_EQ(svc.count(), 2u);
    g_sf.sessions_time -= 61;
    ASSERT_EQ(mvfiles_get_playback_sessions("a"), 0);
    EXPECT_EQ(svc.count(), 3u);
}

TEST_F(Sessions, EmptyArrayIsACachedSuccess) {
    svc.push(Answer::json("[]"));
    ASSERT_EQ(mvfiles_get_playback_sessions("x"), 0);
    EXPECT_EQ(mvfiles_session_count(), 0);
    EXPECT_EQ(mvfiles_session_id(0), nullptr);
    EXPECT_EQ(mvfiles_session_bit(0, 0), -1);
    int32_t has = -1;
    EXPECT_EQ(mvfiles_cache_has("sessions", nullptr, &has), 0);
    EXPECT_EQ(has, 1);
    ASSERT_EQ(mvfiles_get_playback_sessions("x"), 0);
    EXPECT_EQ(svc.count(), 1u);
}

TEST_F(Sessions, OnlyObjectElementsBecomeRows) {
    svc.push(Answer::json(
        R"([1, {"Id":"a","Value":"10"}, "x", null, {"id":7,"created":null,"value":true}, [],)"
        R"( {"CREATED":"c","VALUE":"1","Value":"0","value":"01","value":"11"}])"));
    ASSERT_EQ(mvfiles_get_playback_sessions("ids"), 0);
    ASSERT_EQ(mvfiles_session_count(), 3);
    // Exact names before PascalCase before other cases; the first of equals.
    EXPECT_STREQ(mvfiles_session_created(2), "c");
    EXPECT_STREQ(mvfiles_session_value(2), "01");
    EXPECT_STREQ(mvfiles_session_id(0), "a");
    EXPECT_EQ(mvfiles_session_created(0), nullptr);
    EXPECT_STREQ(mvfiles_session_value(0), "10");
    // Members of the wrong type read as null, the row stays.
    EXPECT_EQ(mvfiles_session_id(1), nullptr);
    EXPECT_EQ(mvfiles_session_created(1), nullptr);
    EXPECT_EQ(mvfiles_session_value(1), nullptr);
}

TEST_F(Sessions, GettersAndBits) {
    EXPECT_EQ(mvfiles_session_count(), 0);  // no table yet
    EXPECT_EQ(mvfiles_session_id(0), nullptr);
    EXPECT_EQ(mvfiles_session_bit(0, 0), -1);

    svc.push(Answer::json(R"([{"id":"a","value":"10x1"},{"id":"b"},{"id":"c","value":""}])"));
    ASSERT_EQ(mvfiles_get_playback_sessions("a"), 0);
    struct {
        int32_t row, pos, want;
    } cases[] = {
        {0, 0, 1},   {0, 1, 0},  {0, 2, -1}, {0, 3, 1}, {0, 4, -1}, {0, -1, -1},
        {1, 0, -1},  // value absent
        {2, 0, -1},  // value empty
        {3, 0, -1},  {-1, 0, -1}, {INT32_MIN, 0, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(mvfiles_session_bit(c.row, c.pos), c.want) << c.row << "," << c.pos;
    for (int32_t i : {-1, 3, INT32_MAX}) {
        EXPECT_EQ(mvfiles_session_id(i), nullptr) << i;
        EXPECT_EQ(mvfiles_session_created(i), nullptr) << i;
        EXPECT_EQ(mvfiles_session_value(i), nullptr) << i;
    }
    ASSERT_EQ(mvfiles_cache_invalidate("sessions", nullptr), 0);
    EXPECT_EQ(mvfiles_session_count(), 0);
    EXPECT_EQ(mvfiles_session_id(0), nullptr);
    EXPECT_EQ(mvfiles_session_bit(0, 0), -1);
}

TEST_F(Sessions, FailuresKeepThePreviousTable) {
    struct Case {
        const char *name;
        Answer answer;
        int32_t result, http;
        const char *error;
    };
    Answer refused = Answer::failure("connection refused");
    Answer cut;
    cut.fail = true;
    cut.fail_with_text = false;
    const Case cases[] = {
        {"405", Answer::json("[]", 405), 2, 405, "sessions: HTTP 405 (GET is not allowed, POST-only)"},
        {"500", Answer::json("[]", 500), 2, 500, "HTTP 500"},
        {"empty", Answer::json("", 200), 4, 200, "empty body"},
        {"not json", Answer::json("[{\"id\":", 200), 3, 200, "sessions: invalid JSON"},
        {"object", Answer::json(R"({"id":"a"})", 200), 3, 200, "sessions: root is not an array"},
        {"refused", refused, 1, 0, "transport: transport: connection refused"},
        {"no text", cut, 1, 0, "transport: transport failure"},
    };
    load_keep();
    for (const Case &c : cases) {
        svc.push(c.answer);
        EXPECT_EQ(mvfiles_get_playback_sessions(c.name), c.result) << c.name;
        EXPECT_STREQ(mvfiles_last_error(), c.error) << c.name;
        EXPECT_EQ(mvfiles_last_http_code(), c.http) << c.name;
        expect_keep();
        int32_t has = 0;
        mvfiles_cache_has("sessions", nullptr, &has);
        EXPECT_EQ(has, 1) << c.name;
    }
    // The kept table still answers its own ids.
    size_t sent = svc.count();
    EXPECT_EQ(mvfiles_get_playback_sessions("keep"), 0);
    EXPECT_EQ(svc.count(), sent);
}

TEST_F(Sessions, TransportIsCheckedBeforeTheIds) {
    load_keep();
    mvfiles_set_io(nullptr);
    EXPECT_EQ(mvfiles_get_playback_sessions(nullptr), 7);
    EXPECT_STREQ(mvfiles_last_error(), MVFILES_NO_TRANSPORT_MSG);
    EXPECT_EQ(mvfiles_get_playback_sessions("other"), 7);

    svc.install();
    size_t sent = svc.count();
    for (const char *ids : {static_cast<const char *>(nullptr), ""}) {
        EXPECT_EQ(mvfiles_get_playback_sessions(ids), 6);
        EXPECT_STREQ(mvfiles_last_error(), "session ids required");
        EXPECT_EQ(mvfiles_last_http_code(), 0);
    }
    EXPECT_EQ(svc.count(), sent);
    expect_keep();
}

TEST_F(Sessions, LongIdListsNeverAnswerFromACutKey) {
    svc.fallback = Answer::json(kRows);
    // "sess|" plus 506 bytes fills the key exactly: cached as usual.
    const std::string fits(506, 'f');
    ASSERT_EQ(mvfiles_get_playback_sessions(fits.c_str()), 0);
    ASSERT_EQ(mvfiles_get_playback_sessions(fits.c_str()), 0);
    EXPECT_EQ(svc.count(), 1u);

    // Two lists that only differ past the key's capacity are both fetched,
    // and a repeat of either is fetched again.
    std::string a(600, 'x'), b(600, 'x');
    a += ",a";
    b += ",b";
    ASSERT_EQ(mvfiles_get_playback_sessions(a.c_str()), 0);
    ASSERT_EQ(mvfiles_get_playback_sessions(b.c_str()), 0);
    ASSERT_EQ(mvfiles_get_playback_sessions(b.c_str()), 0);
    EXPECT_EQ(svc.count(), 4u);
    EXPECT_EQ(svc.last().body, b);

    // Nor does a list equal to the cut key's text find the long list's rows.
    ASSERT_EQ(mvfiles_get_playback_sessions(std::string(506, 'x').c_str()), 0);
    EXPECT_EQ(svc.count(), 5u);
}

}  // namespace
