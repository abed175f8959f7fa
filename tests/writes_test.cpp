// The three armed writes: the switch, the order of checks, the requests
// they build and how they judge the answer.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "api/core.h"
#include "mvfiles.h"
#include "support/platform.h"
#include "support/service.h"

namespace {

using mvtest::Answer;

const char *const kOrigin = "http://svc.test";

mvfiles_result save(const char *user, const char *imdb, double pos, double dur) {
    return mvfiles_save_progress(user, 2, imdb, 3, 4, 0x5eed, pos, dur);
}

class Writes : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host(kOrigin);
        svc.install();
        mvfiles_arm_writes(1);
    }
    void TearDown() override {
        std::setlocale(LC_NUMERIC, "C");
        mvtest::reset_client();
    }

    // The value= part of the last save-progress URL.
    std::string sent_value() const {
        const std::string &u = svc.last().url;
        size_t at = u.find("&value=");
        return at == std::string::npos ? "<none>" : u.substr(at + 7);
    }

    mvtest::Service svc;
};

struct Op {
    const char *name;
    std::function<mvfiles_result()> good;  // valid arguments
    std::function<mvfiles_result()> bad;   // a missing argument
    const char *not_armed;
    const char *bad_text;
};

const Op kOps[] = {
    {"save_progress", [] { return save("u1", "tt1", 30, 120); }, [] { return save("", nullptr, -1, 0); },
     "NOT_ARMED: save_progress mutates a real user's watch position (mvfiles_arm_writes(1) to enable)",
     "userId and imdbId required"},
    {"update_playback_session",
     [] { return mvfiles_update_playback_session("k", "QUJD", "10", "20"); },
     [] { return mvfiles_update_playback_session(nullptr, "", nullptr, nullptr); },
     "NOT_ARMED: update_playback_session overwrites a real session row (mvfiles_arm_writes(1) to enable)",
     "key and base64 required"},
    {"download_magnet",
     [] { return mvfiles_download_magnet("u1", "m", nullptr, nullptr, nullptr, nullptr); },
     [] { return mvfiles_download_magnet("u1", "", nullptr, nullptr, nullptr, ""); },
     "NOT_ARMED: download_magnet queues a real download (mvfiles_arm_writes(1) to enable)",
     "userId and (magnet or tkey) required"},
};

TEST_F(Writes, DisarmedRefusesFirstAndSendsNothing) {
    mvfiles_arm_writes(0);
    for (const Op &op : kOps) {
        EXPECT_EQ(op.good(), 9) << op.name;
        EXPECT_STREQ(mvfiles_last_error(), op.not_armed) << op.name;
        EXPECT_EQ(op.bad(), 9) << op.name;
        EXPECT_STREQ(mvfiles_last_error(), op.not_armed) << op.name;
    }
    mvfiles_set_io(nullptr);
    for (const Op &op : kOps) {
        EXPECT_EQ(op.bad(), 9) << op.name;
        EXPECT_STREQ(mvfiles_last_error(), op.not_armed) << op.name;
    }
    EXPECT_EQ(svc.count(), 0u);
}

TEST_F(Writes, ArgumentsAreCheckedBeforeTheTransport) {
    mvfiles_set_io(nullptr);
    g_sf.last_http_code = 418;  // no look-up prologue: a refusal keeps it
    for (const Op &op : kOps) {
        EXPECT_EQ(op.bad(), 6) << op.name;
        EXPECT_STREQ(mvfiles_last_error(), op.bad_text) << op.name;
        EXPECT_EQ(op.good(), 7) << op.name;
        EXPECT_STREQ(mvfiles_last_error(), "no transport installed") << op.name;
        EXPECT_EQ(mvfiles_last_http_code(), 418) << op.name;
    }
    EXPECT_EQ(svc.count(), 0u);
}

TEST_F(Writes, MissingArguments) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct {
        const char *name;
        std::function<mvfiles_result()> call;
        const char *text;
    } cases[] = {
        {"null user", [] { return save(nullptr, "tt1", 1, 2); }, "userId and imdbId required"},
        {"duration 0", [] { return save("u", "tt1", 0, 0); }, "duration must be > 0, position >= 0"},
        {"position -1", [] { return save("u", "tt1", -1, 120); }, "duration must be > 0, position >= 0"},
        {"duration NaN", [=] { return save("u", "tt1", 1, nan); }, "duration must be > 0, position >= 0"},
        {"position NaN", [=] { return save("u", "tt1", nan, 1); }, "duration must be > 0, position >= 0"},
        {"duration inf", [=] { return save("u", "tt1", 1, inf); }, "duration must be > 0, position >= 0"},
        {"position inf", [=] { return save("u", "tt1", inf, 1); }, "duration must be > 0, position >= 0"},
        {"key too long", [] { return save(std::string(231, 'u').c_str(), "tt1", 1, 2); },
         "save_progress: key too long (at most 255 bytes)"},
        {"empty key", [] { return mvfiles_update_playback_session("", "QQ==", nullptr, nullptr); },
         "key and base64 required"},
        {"null body", [] { return mvfiles_update_playback_session("k", nullptr, "1", "2"); },
         "key and base64 required"},
        {"null user", [] { return mvfiles_download_magnet(nullptr, "m", "s", "d", "e", "t"); },
         "userId and (magnet or tkey) required"},
        {"no magnet", [] { return mvfiles_download_magnet("u", nullptr, "s", "d", "e", nullptr); },
         "userId and (magnet or tkey) required"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(), 6) << c.name;
        EXPECT_STREQ(mvfiles_last_error(), c.text) << c.name;
    }
    EXPECT_EQ(svc.count(), 0u);
}

TEST_F(Writes, SaveProgressRequest) {
    ASSERT_EQ(mvfiles_save_progress("u1", 2, "tt0111161", 3, 4, -77, 30, 120), 0);
    ASSERT_EQ(svc.count(), 1u);
    const mvtest::Request &r = svc.last();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url,
              "http://svc.test/api/KeyValue?key=RVD_Position_u1_2_tt0111161_3_4_120&value=0.25");
    EXPECT_EQ(r.body_len, 0u);
    EXPECT_EQ(r.body, "");
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0], "Content-Type: text/plain");
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_last_http_code(), 200);
}

TEST_F(Writes, SaveProgressValueAndKey) {
    struct {
        double pos, dur;
        const char *value, *key_tail;
    } cases[] = {
        {30, 120, "0.25", "_3_4_120"},
        {500, 120, "1", "_3_4_120"},
        {40, 120, "0.33333333333333331", "_3_4_120"},
        {0, 120, "0", "_3_4_120"},
        {-0.0, 120, "0", "_3_4_120"},
        {1, 5400.9, "0.00018515432613083006", "_3_4_5400"},
        {0.5, 0.9, "0.55555555555555558", "_3_4_0"},
        {1, 1e30, "9.9999999999999991e-31", "_3_4_9223372036854775807"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(save("u", "tt1", c.pos, c.dur), 0) << c.pos << "/" << c.dur;
        EXPECT_EQ(sent_value(), c.value) << c.pos << "/" << c.dur;
        std::string key_end = std::string(c.key_tail) + "&value=";
        EXPECT_NE(svc.last().url.find(key_end), std::string::npos) << svc.last().url;
    }
}

TEST_F(Writes, SaveProgressEncodesKey) {
    ASSERT_EQ(mvfiles_save_progress("a/b c&d", -1, "tt1", -1, -1, 0, 1, 4), 0);
    EXPECT_EQ(svc.last().url,
              "http://svc.test/api/KeyValue?key=RVD_Position_a%2Fb%20c%26d_-1_tt1_-1_-1_4"
              "&value=0.25");
    // A key of 255 bytes fits; one more byte is refused (see MissingArguments).
    const std::string user(230, 'u');
    ASSERT_EQ(save(user.c_str(), "tt1", 1, 2), 0);
    EXPECT_NE(svc.last().url.find("RVD_Position_" + user + "_2_tt1_3_4_2&"), std::string::npos);
}

TEST_F(Writes, SaveProgressIgnoresTheLocale) {
    if (!mvtest::use_comma_locale()) GTEST_SKIP() << "no locale with a decimal comma available";
    char probe[32];
    std::snprintf(probe, sizeof probe, "%.2f", 0.25);
    ASSERT_STREQ(probe, "0,25");  // the host's locale is really in force
    struct {
        double pos, dur;
        const char *value;
    } cases[] = {
        {30, 120, "0.25"},
        {1, 3, "0.33333333333333331"},
        {1, 1e30, "9.9999999999999991e-31"},
        {500, 120, "1"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(save("u", "tt1", c.pos, c.dur), 0);
        EXPECT_EQ(sent_value(), c.value);
    }
}

TEST_F(Writes, UpdatePlaybackSessionRequest) {
    struct {
        const char *key, *pos, *dur, *url;
    } cases[] = {
        {"k1", "10", nullptr, "http://svc.test/api/AAA/UpdatePlaybackSession?key=k1"},
        {"k1", nullptr, "20", "http://svc.test/api/AAA/UpdatePlaybackSession?key=k1"},
        {"k1", "", "20", "http://svc.test/api/AAA/UpdatePlaybackSession?key=k1"},
        {"k1", "10", "20",
         "http://svc.test/api/AAA/UpdatePlaybackSession?key=k1&position=10&duration=20"},
        {"a/b c", "1.5 s", "2&3",
         "http://svc.test/api/AAA/UpdatePlaybackSession?key=a%2Fb%20c&position=1.5%20s&duration=2%263"},
    };
    const std::string body = "QUJD+/9=";
    for (const auto &c : cases) {
        ASSERT_EQ(mvfiles_update_playback_session(c.key, body.c_str(), c.pos, c.dur), 0);
        const mvtest::Request &r = svc.last();
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.url, c.url);
        EXPECT_EQ(r.body, body);  // sent as given, not encoded
        EXPECT_EQ(r.body_len, body.size());
        ASSERT_EQ(r.headers.size(), 1u);
        EXPECT_EQ(r.headers[0], "Content-Type: text/plain");
    }
}

TEST_F(Writes, DownloadMagnetBody) {
    struct {
        const char *user, *magnet, *storage, *downloader, *ext, *tkey, *body;
    } cases[] = {
        {"u1", "m", nullptr, nullptr, nullptr, nullptr, R"({"userId":"u1","magnet":"m"})"},
        {"u1", nullptr, nullptr, nullptr, "avi", "t", R"({"userId":"u1","extension":"avi","tkey":"t"})"},
        {"u1", "", nullptr, nullptr, nullptr, "t", R"({"userId":"u1","magnet":"","tkey":"t"})"},
        {"u1", "m", "", "", "", "",
         R"({"userId":"u1","magnet":"m","storageId":"","downloaderId":"","extension":"","tkey":""})"},
        {"u", "magnet:?xt=\"q\"\\", "s1", "d1", "mkv", "t1",
         R"({"userId":"u","magnet":"magnet:?xt=\"q\"\\","storageId":"s1","downloaderId":"d1","extension":"mkv","tkey":"t1"})"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(mvfiles_download_magnet(c.user, c.magnet, c.storage, c.downloader, c.ext, c.tkey), 0)
            << c.body;
        const mvtest::Request &r = svc.last();
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.url, "http://svc.test/api/AAA/DownloadMagnet");
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.body_len, std::strlen(c.body));
        ASSERT_EQ(r.headers.size(), 1u);
        EXPECT_EQ(r.headers[0], "Content-Type: application/json");
    }
}

TEST_F(Writes, StatusDecidesTheResult) {
    Answer silent;
    silent.fail = true;
    silent.fail_with_text = false;
    Answer late = Answer::failure("reset");
    late.status_on_fail = 200;
    struct {
        Answer answer;
        int32_t result, http;
        const char *text;
    } cases[] = {
        {Answer::json("", 200), 0, 200, ""},
        {Answer::json("ignored", 201), 0, 201, ""},
        {Answer::json("", 204), 0, 204, ""},
        {Answer::json("", 404), 2, 404, "HTTP 404"},
        {Answer::json("{}", 500), 2, 500, "HTTP 500"},
        {Answer::json("", 100), 2, 100, "HTTP 100"},
        {Answer::failure("connection refused"), 1, 0, "transport: transport: connection refused"},
        {silent, 1, 0, "transport: transport failure"},
        {late, 1, 200, "transport: transport: reset"},
    };
    for (const Op &op : kOps) {
        for (const auto &c : cases) {
            svc.push(c.answer);
            mvfiles_set_err("before");
            EXPECT_EQ(op.good(), c.result) << op.name << " " << c.text;
            EXPECT_STREQ(mvfiles_last_error(), c.text) << op.name;
            EXPECT_EQ(mvfiles_last_http_code(), c.http) << op.name << " " << c.text;
        }
    }
    EXPECT_EQ(svc.count(), 3 * (sizeof cases / sizeof cases[0]));
}

TEST_F(Writes, OfflineBackendRefusesEveryWrite) {
    ASSERT_EQ(mvfiles_use_fake(), 0);
    for (const Op &op : kOps) {
        EXPECT_EQ(op.good(), 1) << op.name;
        EXPECT_EQ(std::strncmp(mvfiles_last_error(), "transport: ", 11), 0) << mvfiles_last_error();
    }
    EXPECT_EQ(svc.count(), 0u);
}

}  // namespace
