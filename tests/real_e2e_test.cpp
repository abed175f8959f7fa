// The client's exports over the real transport against the loopback server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <yyjson.h>

#include "mvfiles.h"
#include "http/real_transport.h"
#include "support/loopback.h"
#include "support/service.h"

namespace {

#ifdef _WIN32
const char kRefused[] = "transport: transport: WinHttpSendRequest failed: 12029";
#else
const char kRefused[] = "transport: transport: WinHttpSendRequest failed: 7";
#endif

class RealEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        ASSERT_TRUE(server.start(MVFILES_TESTS_DIR "/loopback_server.py", MVFILES_FIXTURES_DIR)) << server.why();
        mvfiles_set_host(server.origin().c_str());
        ASSERT_EQ(mvfiles_use_curl(), MVFILES_OK);
    }
    void TearDown() override {
        mvfiles_shutdown();
        server.stop();
    }

    mvtest::Loopback server;
};

TEST_F(RealEndToEnd, FileLookUp) {
    ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), MVFILES_OK) << mvfiles_last_error();
    EXPECT_EQ(mvfiles_last_http_code(), 200);
    ASSERT_GE(mvfiles_count(), 1);
    EXPECT_STREQ(mvfiles_imdb(0), "tt0111161");
    EXPECT_NE(mvfiles_key(0), nullptr);

    EXPECT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), MVFILES_ERR_NOT_FOUND) << mvfiles_last_error();
    EXPECT_EQ(mvfiles_last_http_code(), 404);
    // The server takes only GET on the finder route.
    const char *keys[] = {"k1"};
    EXPECT_EQ(mvfiles_get_by_keys(keys, 1), MVFILES_ERR_HTTP);
    EXPECT_STREQ(mvfiles_last_error(), "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)");
}

TEST_F(RealEndToEnd, KeyValueAndSessions) {
    ASSERT_EQ(mvfiles_get_progress("u1", 0, "tt0111161"), MVFILES_OK) << mvfiles_last_error();
    ASSERT_EQ(mvfiles_progress_count(), 1);
    EXPECT_DOUBLE_EQ(mvfiles_progress_value(0), 0.25);
    EXPECT_EQ(mvfiles_progress_size(0), 5400);

    ASSERT_EQ(mvfiles_get_playback_sessions("s-1,s-2"), MVFILES_OK) << mvfiles_last_error();
    ASSERT_EQ(mvfiles_session_count(), 1);
    EXPECT_STREQ(mvfiles_session_id(0), "s-1,s-2");  // the server echoes the ids it received
    EXPECT_EQ(mvfiles_session_bit(0, 0), 1);
    EXPECT_EQ(mvfiles_session_bit(0, 1), 0);
}

TEST_F(RealEndToEnd, ArmedWrite) {
    EXPECT_EQ(mvfiles_save_progress("u1", 0, "tt0111161", -1, -1, 0, 30.0, 120.0), MVFILES_ERR_NOT_ARMED);
    EXPECT_EQ(server.writes(), "[]");
    mvfiles_arm_writes(1);
    ASSERT_EQ(mvfiles_save_progress("u1", 0, "tt0111161", -1, -1, 0, 30.0, 120.0), MVFILES_OK)
        << mvfiles_last_error();
    EXPECT_EQ(mvfiles_last_http_code(), 200);
    std::string w = server.writes();
    EXPECT_NE(w.find("/api/KeyValue?key=RVD_Position_u1_0_tt0111161_-1_-1_120&value=0.25"), std::string::npos) << w;
    EXPECT_NE(w.find("\"content_type\":\"text/plain\""), std::string::npos) << w;
}

TEST_F(RealEndToEnd, UnreachableOrigin) {
    server.stop();  // its port is free now
    EXPECT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), MVFILES_ERR_TRANSPORT);
    // The request helper and the look-up each wrap the message once.
    EXPECT_STREQ(mvfiles_last_error(), kRefused);
    EXPECT_EQ(mvfiles_last_http_code(), 0);
}

}  // namespace
