// File look-ups by IMDb id and by keys: requests as sent, argument checks,
// failures that keep the previous table, the table as a cache, playability.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/core.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

using mvtest::Answer;

const char *const kOrigin = "http://svc.test:8080";
const char *const kTwoFiles =
    R"([{"key":"old-0","entries":[{"uri":"u"}]},{"key":"old-1"}])";
const char *const kOneFile = R"([{"key":"new-0","entries":[{"uri":"u"}]}])";

class FilesLookup : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host(kOrigin);
        svc.fallback = Answer::json(kOneFile);
        svc.install();
    }
    void TearDown() override { mvtest::reset_client(); }

    std::string url(const std::string &tail) const { return std::string(kOrigin) + tail; }

    // Builds the table the failure cases must leave alone.
    void load_previous() {
        svc.push(Answer::json(kTwoFiles));
        ASSERT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
        ASSERT_EQ(mvfiles_count(), 2);
        prev_time = g_sf.files_time;
    }
    void expect_previous_intact() {
        EXPECT_EQ(mvfiles_count(), 2);
        EXPECT_STREQ(mvfiles_key(0), "old-0");
        EXPECT_STREQ(mvfiles_key(1), "old-1");
        EXPECT_EQ(mvfiles_entry_count(0), 1);
        EXPECT_STREQ(mvfiles_entry_uri(0, 0), "u");
        EXPECT_STREQ(g_sf.files_key, "files|tt0000001|-1|-1");
        EXPECT_EQ(g_sf.files_time, prev_time);
    }

    mvtest::Service svc;
    int64_t prev_time = 0;
};

TEST_F(FilesLookup, UrlAndCacheKeyForms) {
    struct Case {
        const char *id;
        int32_t s, e;
        const char *tail, *key;
    } cases[] = {
        {"tt0111161", -1, -1, "/api/finder/getfiles?id=tt0111161", "files|tt0111161|-1|-1"},
        {"tt0111161", 1, 3, "/api/finder/getfiles?id=tt0111161&s=1&e=3", "files|tt0111161|1|3"},
        {"tt0111161", -1, 5, "/api/finder/getfiles?id=tt0111161&s=&e=5", "files|tt0111161|-1|5"},
        {"tt0111161", 2, -1, "/api/finder/getfiles?id=tt0111161&s=2&e=", "files|tt0111161|2|-1"},
        {"tt0111161", 0, 0, "/api/finder/getfiles?id=tt0111161&s=0&e=0", "files|tt0111161|0|0"},
        // Any pair of negatives is sent without a suffix and stored as -1|-1.
        {"tt0111161", -2, -3, "/api/finder/getfiles?id=tt0111161", "files|tt0111161|-1|-1"},
        // Ids are sent as passed: capitals kept, nothing needs escaping.
        {"TT0111161", -1, -1, "/api/finder/getfiles?id=TT0111161", "files|TT0111161|-1|-1"},
        {"tT1234567890", 2147483647, 0,
         "/api/finder/getfiles?id=tT1234567890&s=2147483647&e=0", "files|tT1234567890|2147483647|0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.id) + " " + std::to_string(c.s) + " " + std::to_string(c.e));
        g_sf.files_valid = 0;  // every case fetches
        svc.push(Answer::json(kOneFile));
        ASSERT_EQ(mvfiles_get_by_imdb(c.id, c.s, c.e), 0) << mvfiles_last_error();
        const mvtest::Request &r = svc.last();
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.url, url(c.tail));
        EXPECT_TRUE(r.headers_null);
        EXPECT_EQ(r.header_count, 0u);
        EXPECT_TRUE(r.body_null);
        EXPECT_STREQ(g_sf.files_key, c.key);
        EXPECT_STREQ(mvfiles_last_error(), "");
        EXPECT_EQ(mvfiles_last_http_code(), 200);
    }
}

TEST_F(FilesLookup, KeysArePostedAsCompactJsonArray) {
    const char *keys[] = {"k1", "a \"quoted\" key/\xC3\xA9", "k3"};
    svc.push(Answer::json(kOneFile));
    ASSERT_EQ(mvfiles_get_by_keys(keys, 3), 0) << mvfiles_last_error();
    ASSERT_EQ(svc.count(), 1u);
    const mvtest::Request &r = svc.last();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url, url("/api/finder/getfiles"));
    EXPECT_EQ(r.body, "[\"k1\",\"a \\\"quoted\\\" key/\xC3\xA9\",\"k3\"]");
    EXPECT_EQ(r.body_len, r.body.size());
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0], "Content-Type: application/json");
    EXPECT_STREQ(g_sf.files_key, "keys|3");
    EXPECT_STREQ(mvfiles_key(0), "new-0");

    // A look-up by keys is never answered from the table.
    svc.push(Answer::json(kOneFile));
    ASSERT_EQ(mvfiles_get_by_keys(keys, 3), 0);
    EXPECT_EQ(svc.count(), 2u);
}

TEST_F(FilesLookup, RejectsMalformedIdsWithoutSending) {
    const std::string thirteen = "tt01234567890";
    ASSERT_EQ(thirteen.size(), 13u);
    struct Case {
        const char *id;
        const char *msg;
    } cases[] = {
        {nullptr, "imdb id required"},
        {"", "imdb id required"},
        {"tt123", "imdb id must look like tt\xE2\x80\xA6 (got 'tt123')"},
        {thirteen.c_str(), "imdb id must look like tt\xE2\x80\xA6 (got 'tt01234567890')"},
        {"abc", "imdb id must look like tt\xE2\x80\xA6 (got 'abc')"},
        {"t01111612", "imdb id must be tt+digits"},
        {"tt01a1161", "imdb id must be tt+digits"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id ? c.id : "(null)");
        EXPECT_EQ(mvfiles_get_by_imdb(c.id, -1, -1), MVFILES_ERR_ARG);
        EXPECT_STREQ(mvfiles_last_error(), c.msg);
    }
    EXPECT_EQ(svc.count(), 0u);

    // Boundaries that pass: 5 and 10 digits, either case of t.
    for (const char *ok : {"tt12345", "Tt1234567890"}) {
        g_sf.files_valid = 0;
        EXPECT_EQ(mvfiles_get_by_imdb(ok, -1, -1), 0) << ok << ": " << mvfiles_last_error();
    }
}

TEST_F(FilesLookup, KeyListLimits) {
    std::vector<std::string> store(4097);
    for (size_t i = 0; i < store.size(); i++) store[i] = "key" + std::to_string(i);
    std::vector<const char *> keys;
    for (auto &s : store) keys.push_back(s.c_str());

    EXPECT_EQ(mvfiles_get_by_keys(keys.data(), 4097), MVFILES_ERR_ARG);
    EXPECT_STREQ(mvfiles_last_error(), "too many keys (max 4096)");

    // An empty key is named before the list is found too long.
    keys[2] = "";
    EXPECT_EQ(mvfiles_get_by_keys(keys.data(), 4097), MVFILES_ERR_ARG);
    EXPECT_STREQ(mvfiles_last_error(), "keys[2] empty");
    keys[2] = nullptr;
    EXPECT_EQ(mvfiles_get_by_keys(keys.data(), 3), MVFILES_ERR_ARG);
    EXPECT_STREQ(mvfiles_last_error(), "keys[2] empty");

    EXPECT_EQ(mvfiles_get_by_keys(nullptr, 3), MVFILES_ERR_ARG);
    EXPECT_STREQ(mvfiles_last_error(), "keys required");
    EXPECT_EQ(mvfiles_get_by_keys(keys.data(), 0), MVFILES_ERR_ARG);
    EXPECT_STREQ(mvfiles_last_error(), "keys required");
    EXPECT_EQ(svc.count(), 0u);

    keys[2] = store[2].c_str();
    svc.push(Answer::json(kOneFile));
    EXPECT_EQ(mvfiles_get_by_keys(keys.data(), 4096), 0) << mvfiles_last_error();
    EXPECT_STREQ(g_sf.files_key, "keys|4096");
}

TEST_F(FilesLookup, NoTransportIsReportedBeforeArguments) {
    mvfiles_set_io(nullptr);
    EXPECT_EQ(mvfiles_get_by_imdb(nullptr, -1, -1), MVFILES_ERR_NO_TRANSPORT);
    EXPECT_STREQ(mvfiles_last_error(), MVFILES_NO_TRANSPORT_MSG);
    EXPECT_EQ(mvfiles_get_by_keys(nullptr, 0), MVFILES_ERR_NO_TRANSPORT);
    EXPECT_STREQ(mvfiles_last_error(), MVFILES_NO_TRANSPORT_MSG);
}

struct FailureCase {
    const char *name;
    Answer answer;
    int32_t result;
    const char *msg;
    int32_t http_code;
};

Answer failing(const char *text, bool with_text, int32_t status) {
    Answer a = Answer::failure(text);
    a.fail_with_text = with_text;
    a.status_on_fail = status;
    return a;
}

// Failures shared by both look-ups; the 404 text differs and is set per test.
std::vector<FailureCase> common_failures() {
    return {
        {"transport with text", failing("connection refused", true, 0), 1,
         "transport: transport: connection refused", 0},
        {"transport without text", failing("", false, 0), 1, "transport: transport failure", 0},
        {"a host's \"oom\" is its own failure", failing("oom: socket", true, 0), 1,
         "transport: transport: oom: socket", 0},
        {"500", Answer::json("[{}]", 500), 2, "HTTP 500", 500},
        {"302", Answer::json("", 302), 2, "HTTP 302", 302},
        {"empty body", Answer::json("", 200), 4, "empty body", 200},
        {"not json", Answer::json("<html>", 200), 3, "getfiles: invalid JSON", 200},
        {"cut json", Answer::json("[{\"key\":\"a\"}", 200), 3, "getfiles: invalid JSON", 200},
        {"object root", Answer::json("{}", 200), 3, "getfiles: root is not an array", 200},
        {"empty array", Answer::json(" [ ] ", 200), 4, "getfiles: no files (empty array)", 200},
    };
}

TEST_F(FilesLookup, ImdbFailuresKeepThePreviousTable) {
    auto cases = common_failures();
    cases.push_back({"404", Answer::json("[{}]", 404), 5, "no files for this id (HTTP 404)", 404});
    cases.push_back({"405 is just a status here", Answer::json("", 405), 2, "HTTP 405", 405});
    load_previous();
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        svc.push(c.answer);
        EXPECT_EQ(mvfiles_get_by_imdb("tt0000002", 1, 2), c.result);
        EXPECT_STREQ(mvfiles_last_error(), c.msg);
        EXPECT_EQ(mvfiles_last_http_code(), c.http_code);
        expect_previous_intact();
    }
    // The previous query is still answered from the intact table.
    size_t sent = svc.count();
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), sent);
}

TEST_F(FilesLookup, KeysFailuresKeepThePreviousTable) {
    auto cases = common_failures();
    cases.push_back({"404", Answer::json("", 404), 5, "no files for these keys (HTTP 404)", 404});
    cases.push_back({"405", Answer::json("nope", 405), 2,
                     "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)", 405});
    load_previous();
    const char *keys[] = {"k1", "k2"};
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        svc.push(c.answer);
        EXPECT_EQ(mvfiles_get_by_keys(keys, 2), c.result);
        EXPECT_STREQ(mvfiles_last_error(), c.msg);
        EXPECT_EQ(mvfiles_last_http_code(), c.http_code);
        expect_previous_intact();
    }
}

TEST_F(FilesLookup, FreshTableAnswersTheSameQuery) {
    load_previous();
    ASSERT_EQ(svc.count(), 1u);
    EXPECT_EQ(g_sf.files_ttl, 300);

    // A failed look-up of another title leaves a message and a code behind;
    // the hit clears both.
    svc.push(Answer::json("", 500));
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000009", -1, -1), 2);
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 2u);
    EXPECT_EQ(mvfiles_last_http_code(), 0);
    EXPECT_STREQ(mvfiles_last_error(), "");
    expect_previous_intact();

    // Other negatives never match the stored -1|-1 form.
    for (int round = 0; round < 2; round++) {
        size_t before = svc.count();
        svc.push(Answer::json(kTwoFiles));
        EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -2, -3), 0);
        EXPECT_EQ(svc.count(), before + 1);
        EXPECT_STREQ(g_sf.files_key, "files|tt0000001|-1|-1");
    }
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 4u);

    // The id in capitals is a key of its own.
    svc.push(Answer::json(kOneFile));
    EXPECT_EQ(mvfiles_get_by_imdb("TT0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 5u);
    EXPECT_STREQ(g_sf.files_key, "files|TT0000001|-1|-1");
    EXPECT_EQ(mvfiles_get_by_imdb("TT0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 5u);
    svc.push(Answer::json(kTwoFiles));
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 6u);

    // Season and episode are part of the key.
    svc.push(Answer::json(kOneFile));
    ASSERT_EQ(mvfiles_get_by_imdb("tt0000001", 1, 2), 0);
    size_t before = svc.count();
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", 1, 2), 0);
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", 1, 3), 0);
    EXPECT_EQ(svc.count(), before + 1);
}

TEST_F(FilesLookup, StaleOrDroppedTableFetchesAgain) {
    load_previous();
    // Fresh up to and including the last second of the time-to-live.
    g_sf.files_time = mvfiles_now() - 290;
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 1u);
    g_sf.files_time = mvfiles_now() - 301;
    svc.push(Answer::json(kOneFile));
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 2u);
    EXPECT_STREQ(mvfiles_key(0), "new-0");
    EXPECT_EQ(mvfiles_last_http_code(), 200);

    // A released table answers nothing, though its key is kept.
    mvfiles_files_free();
    EXPECT_STREQ(g_sf.files_key, "files|tt0000001|-1|-1");
    EXPECT_EQ(mvfiles_count(), 0);
    svc.push(Answer::json(kOneFile));
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 3u);

    // A table built by keys does not answer a look-up by id.
    const char *keys[] = {"k"};
    svc.push(Answer::json(kOneFile));
    ASSERT_EQ(mvfiles_get_by_keys(keys, 1), 0);
    svc.push(Answer::json(kOneFile));
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_EQ(svc.count(), 5u);
}

TEST_F(FilesLookup, CacheAnswersWithoutTransport) {
    load_previous();
    ASSERT_EQ(mvfiles_set_io(nullptr), 0);
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0);
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000002", -1, -1), MVFILES_ERR_NO_TRANSPORT);
    EXPECT_STREQ(mvfiles_last_error(), MVFILES_NO_TRANSPORT_MSG);
    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", 1, -1), MVFILES_ERR_NO_TRANSPORT);
    const char *keys[] = {"k"};
    EXPECT_EQ(mvfiles_get_by_keys(keys, 1), MVFILES_ERR_NO_TRANSPORT);
    expect_previous_intact();
    EXPECT_EQ(svc.count(), 1u);
}

TEST_F(FilesLookup, OverlongIdNeverHits) {
    // An id long enough to cut the key could only come from a failed query,
    // which stores no key; it must neither hit nor crash.
    std::string id(400, '1');
    id[0] = id[1] = 't';
    load_previous();
    std::snprintf(g_sf.files_key, sizeof g_sf.files_key, "files|%s|-1|-1", id.c_str());
    EXPECT_EQ(mvfiles_get_by_imdb(id.c_str(), -1, -1), MVFILES_ERR_ARG);
    EXPECT_EQ(svc.count(), 1u);
}

TEST_F(FilesLookup, Playability) {
    const std::string with_entry =
        R"([{"key":"a","entries":[]},{"key":"b","entries":[{"isActive":false}]}])";
    struct Case {
        const char *name;
        const char *id;
        std::vector<Answer> answers;
        int32_t result;
        const char *msg_prefix;
    } cases[] = {
        {"one file with an entry", "tt0000003", {Answer::json(with_entry)}, 1, ""},
        {"no file with entries", "tt0000003",
         {Answer::json(R"([{"entries":[]},{"entries":["x",1,null]},{}])")}, 0, ""},
        {"empty array", "tt0000003", {Answer::json("[]")}, 0, "getfiles: no files"},
        {"404", "tt0000003", {Answer::json("", 404)}, 0, "no files for this id"},
        {"transport failure", "tt0000003", {Answer::failure("down")}, -1, "transport: "},
        {"500", "tt0000003", {Answer::json("[]", 500)}, 2, "HTTP 500"},
        {"invalid json", "tt0000003", {Answer::json("nope")}, 3, "getfiles: invalid JSON"},
        {"bad id", "abc", {}, 6, "imdb id must look like"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_sf.files_valid = 0;
        for (const Answer &a : c.answers) svc.push(a);
        EXPECT_EQ(mvfiles_is_playable(c.id), c.result);
        EXPECT_EQ(std::strncmp(mvfiles_last_error(), c.msg_prefix, std::strlen(c.msg_prefix)), 0)
            << mvfiles_last_error();
    }

    // The table of the title stays for the getters; the query is the plain
    // one, and the second call is answered from the table.
    svc.push(Answer::json(with_entry));
    size_t before = svc.count();
    ASSERT_EQ(mvfiles_is_playable("tt0000004"), 1);
    EXPECT_EQ(svc.last().url, url("/api/finder/getfiles?id=tt0000004"));
    EXPECT_EQ(mvfiles_count(), 2);
    EXPECT_STREQ(mvfiles_key(1), "b");
    EXPECT_EQ(mvfiles_is_playable("tt0000004"), 1);
    EXPECT_EQ(svc.count(), before + 1);

    svc.push(Answer::json("[{}]"));
    EXPECT_EQ(mvfiles_is_playable_se("tt0000004", 2, 7), 0);
    EXPECT_EQ(svc.last().url, url("/api/finder/getfiles?id=tt0000004&s=2&e=7"));

    mvfiles_set_io(nullptr);
    EXPECT_EQ(mvfiles_is_playable("tt0000005"), MVFILES_ERR_NO_TRANSPORT);
}

}  // namespace
