// Misbehaving servers, through the exports over the real transport: every
// answer ends in a definite result and message, and one that is refused
// leaves the file table held before it as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "api/request.h"
#include "http/buf.h"
#include "mvfiles.h"
#include "support/loopback.h"
#include "support/platform.h"
#include "support/service.h"

namespace {

struct Case {
    const char *name;  // route /hostile/<name>/, or the garbage port for "tls-garbage"
    int32_t result;
    const char *message;
    int32_t http;      // last HTTP code
};

#ifdef _WIN32
// WinHTTP as Wine provides it: it skips what libcurl refuses in a head and
// refuses an interim answer.
const Case kCases[] = {
    {"bad-status", 2, "HTTP 2", 2},
    {"no-colon", 3, "getfiles: invalid JSON", 200},
    {"nul-header", 0, "", 200},
    {"long-header", 0, "", 200},
    {"many-headers", 0, "", 200},
    {"short-body", 1, "transport: transport: WinHttpReadData failed: 12030", 0},
    {"bad-chunk", 3, "getfiles: invalid JSON", 200},
    {"reset", 1, "transport: transport: WinHttpQueryDataAvailable failed: 10054", 0},
    {"tls-garbage", 1, "transport: transport: WinHttpSendRequest failed: 12157", 0},
    {"gzip-bomb", 3, "getfiles: invalid JSON", 200},
    {"interim", 1, "transport: transport: WinHttpReceiveResponse failed: 12152", 0},
    {"204-body", 4, "empty body", 204},
    {"304-body", 2, "HTTP 304", 304},
    {"http10-close", 0, "", 200},
};
#else
// The error numbers in the messages are the real transport's (libcurl's).
// libcurl refuses a whole head with a line that has no colon or holds a NUL.
const Case kCases[] = {
    {"bad-status", 1, "transport: transport: WinHttpReceiveResponse failed: 1", 0},
    {"no-colon", 1, "transport: transport: WinHttpReceiveResponse failed: 8", 0},
    {"nul-header", 1, "transport: transport: WinHttpReceiveResponse failed: 8", 0},
    {"long-header", 1, "transport: transport: WinHttpReceiveResponse failed: 27", 0},
    {"many-headers", 0, "", 200},
    {"short-body", 1, "transport: transport: WinHttpReadData failed: 18", 0},
    {"bad-chunk", 1, "transport: transport: WinHttpReadData failed: 56", 0},
    {"reset", 1, "transport: transport: WinHttpReadData failed: 56", 0},
    {"tls-garbage", 1, "transport: transport: WinHttpSendRequest failed: 35", 0},
    // Look-ups never ask for decoding: the gzip bytes are not JSON.
    {"gzip-bomb", 3, "getfiles: invalid JSON", 200},
    {"interim", 0, "", 200},
    {"204-body", 4, "empty body", 204},
    {"304-body", 2, "HTTP 304", 304},
    {"http10-close", 0, "", 200},
};
#endif

class HostileServer : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        ASSERT_TRUE(server.start(MVFILES_TESTS_DIR "/loopback_server.py", MVFILES_FIXTURES_DIR, false, 120, true))
            << server.why();
        ASSERT_EQ(mvfiles_use_curl(), MVFILES_OK);
    }
    void TearDown() override {
        mvfiles_shutdown();
        server.stop();
    }
    mvtest::Loopback server;
};

TEST_F(HostileServer, EveryCaseEndsDefinitelyAndKeepsTheTable) {
#ifdef _WIN32
    if (!mvtest::under_wine()) GTEST_SKIP() << "the WinHTTP outcomes above are Wine's";
#endif
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        mvfiles_set_host(server.origin().c_str());
        ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), MVFILES_OK) << mvfiles_last_error();
        const int32_t count = mvfiles_count();
        const std::string key = mvfiles_key(0);

        std::string origin = std::strcmp(c.name, "tls-garbage")
                                 ? server.url(std::string("/hostile/") + c.name)
                                 : "https://127.0.0.1:" + std::to_string(server.garbage_port());
        mvfiles_set_host(origin.c_str());
        EXPECT_EQ(mvfiles_get_by_imdb("tt0000002", -1, -1), c.result);
        EXPECT_STREQ(mvfiles_last_error(), c.message);
        EXPECT_EQ(mvfiles_last_http_code(), c.http);
        if (c.result == MVFILES_OK) {
            EXPECT_STREQ(mvfiles_key(0), "hostile");
        } else {
            EXPECT_EQ(mvfiles_count(), count);
            EXPECT_EQ(key, mvfiles_key(0));
        }
    }
}

// Asked for decoding, the transport stops the gzip body at the collector's
// bound instead of inflating all of it.
TEST_F(HostileServer, DecodedBodyStopsAtTheBound) {
    if (mvtest::under_wine()) GTEST_SKIP() << "Wine's WinHTTP ignores WINHTTP_OPTION_DECOMPRESSION";
    const veltrona_http *t = mvtest::real_transport();
    std::string url = server.url("/hostile/gzip-bomb/");
    veltrona_collect col;
    veltrona_collect_init(&col, MVFILES_BODY_BOUND);
    veltrona_http_request req{};
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = "GET";
    req.url = url.c_str();
    req.flags = VELTRONA_HTTP_DECOMPRESS;
    req.on_header = veltrona_collect_header;
    req.on_body = veltrona_collect_body;
    req.cb_ctx = &col;
    int32_t status = 0;
    char *err = nullptr;
    EXPECT_EQ(t->request(t->user_data, &req, &status, &err), 0) << (err ? err : "");
    t->free(t->user_data, err);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(col.over_bound, 1);
    EXPECT_EQ(col.body.len, MVFILES_BODY_BOUND);
    veltrona_collect_free(&col);
}

}  // namespace
