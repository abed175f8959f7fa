// The client's look-ups and an armed write run over the in-memory fake HTTP
// server, installed through the io adapter; what went over the "wire" is
// checked through the server's counters and last-request journal.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "http/fake_server.h"
#include "http/io_adapter.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

const char ORIGIN[] = "http://fake.test";

std::string fixture(const char *name) {
    std::ifstream in(std::string(MVFILES_FIXTURES_DIR) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string url(const char *path) { return std::string(ORIGIN) + path; }

// The journal text the server writes for a request without credentials.
std::string journal(const char *method, const std::string &u, const std::string &headers, size_t body_len) {
    return std::string("{\"method\":\"") + method + "\",\"url\":\"" + u + "\",\"headers\":[" + headers +
           "],\"body_len\":" + std::to_string(body_len) + ",\"credentials\":false}";
}

class FakeServerE2e : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        veltrona_fake_reset();
        mvfiles_set_host(ORIGIN);
        ASSERT_EQ(mvfiles_set_io(veltrona_io_over_http(veltrona_http_fake(), 0)), MVFILES_OK);
    }
    void TearDown() override {
        veltrona_fake_reset();
        mvtest::reset_client();
    }
    static std::string last() {
        const char *j = veltrona_fake_last_request();
        return j ? j : "(none)";
    }
};

TEST_F(FakeServerE2e, FilesByImdb) {
    const std::string body = fixture("getfiles.movie-multi.json");
    ASSERT_FALSE(body.empty());
    const std::string u = url("/api/finder/getfiles?id=tt0111161");
    ASSERT_EQ(veltrona_fake_set("GET", u.c_str(), 200, "Content-Type: application/json\r\n", body.data(),
                                body.size()),
              0);

    ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), MVFILES_OK) << mvfiles_last_error();
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_last_http_code(), 200);
    ASSERT_EQ(mvfiles_count(), 3);
    EXPECT_STREQ(mvfiles_key(0), "a81c4f0b-2d6e-4b9a-8f13-7c5e9d20b401");
    EXPECT_STREQ(mvfiles_key(2), "a81c4f0b-2d6e-4b9a-8f13-7c5e9d20b403");
    EXPECT_EQ(veltrona_fake_calls("GET", u.c_str()), 1);
    EXPECT_EQ(last(), journal("GET", u, "", 0));

    // The same query within the time-to-live is answered from the table.
    ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), MVFILES_OK);
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 1);

    // Season and episode travel in the query; an unrouted URL is a 404.
    EXPECT_EQ(mvfiles_get_by_imdb("tt0111161", 1, 3), MVFILES_ERR_NOT_FOUND);
    EXPECT_EQ(mvfiles_last_http_code(), 404);
    EXPECT_STREQ(mvfiles_last_error(), "no files for this id (HTTP 404)");
    EXPECT_EQ(last(), journal("GET", u + "&s=1&e=3", "", 0));
    EXPECT_EQ(mvfiles_count(), 3) << "a failed look-up keeps the previous table";
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 2);
    EXPECT_EQ(veltrona_fake_writes_sent(), 0);
}

TEST_F(FakeServerE2e, FilesByImdbFromADrippedBody) {
    // The answer arrives in 64-byte pieces and is collected whole.
    const std::string body = fixture("getfiles.movie-single.json");
    ASSERT_GT(body.size(), 64u);
    const std::string u = url("/api/finder/getfiles?id=tt0111161&s=&e=5");
    ASSERT_EQ(veltrona_fake_drip(u.c_str(), 200, body.data(), body.size(), 0), 0);
    ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", -1, 5), MVFILES_OK) << mvfiles_last_error();
    EXPECT_EQ(mvfiles_count(), 1);
    EXPECT_EQ(veltrona_fake_calls("GET", u.c_str()), 1);
}

TEST_F(FakeServerE2e, FilesByKeys) {
    const std::string u = url("/api/finder/getfiles");
    const std::string body = fixture("getfiles.movie-multi.json");
    ASSERT_EQ(veltrona_fake_set("POST", u.c_str(), 200, nullptr, body.data(), body.size()), 0);
    const char *keys[] = {"a81c4f0b-2d6e-4b9a-8f13-7c5e9d20b401", "k2"};

    ASSERT_EQ(mvfiles_get_by_keys(keys, 2), MVFILES_OK) << mvfiles_last_error();
    EXPECT_EQ(mvfiles_count(), 3);
    const std::string sent = "[\"a81c4f0b-2d6e-4b9a-8f13-7c5e9d20b401\",\"k2\"]";
    EXPECT_EQ(last(), journal("POST", u, "\"Content-Type: application/json\"", sent.size()));
    EXPECT_EQ(veltrona_fake_calls("POST", u.c_str()), 1);

    // A GET-only server answers 405.
    ASSERT_EQ(veltrona_fake_set("POST", u.c_str(), 405, nullptr, nullptr, 0), 0);
    EXPECT_EQ(mvfiles_get_by_keys(keys, 1), MVFILES_ERR_HTTP);
    EXPECT_STREQ(mvfiles_last_error(), "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)");
    EXPECT_EQ(mvfiles_last_http_code(), 405);
    EXPECT_EQ(veltrona_fake_calls("POST", u.c_str()), 2);
}

TEST_F(FakeServerE2e, ProgressFromTheKeyValueStore) {
    const std::string u = url("/api/KeyValue/StartsWith?k=RVD_Position_u42_0_tt0111161");
    const std::string rows = fixture("position.rows.json");
    ASSERT_EQ(veltrona_fake_set("GET", u.c_str(), 200, nullptr, rows.data(), rows.size()), 0);

    ASSERT_EQ(mvfiles_get_progress("u42", 0, "tt0111161"), MVFILES_OK) << mvfiles_last_error();
    ASSERT_GE(mvfiles_progress_count(), 1);
    EXPECT_STREQ(mvfiles_progress_key(0), "RVD_Position_u42_0_tt0111161_-1_-1_8520");
    EXPECT_DOUBLE_EQ(mvfiles_progress_value(0), 0.25);
    EXPECT_EQ(mvfiles_progress_size(0), 8520);
    EXPECT_EQ(last(), journal("GET", u, "", 0));
    EXPECT_EQ(veltrona_fake_calls_method("GET"), 1);

    // A server error surfaces as an HTTP failure with its code.
    const std::string other = url("/api/KeyValue/StartsWith?k=RVD_Position_u42_1_tt0111161");
    ASSERT_EQ(veltrona_fake_set("GET", other.c_str(), 500, nullptr, "error", 5), 0);
    EXPECT_EQ(mvfiles_get_progress("u42", 1, "tt0111161"), MVFILES_ERR_HTTP);
    EXPECT_STREQ(mvfiles_last_error(), "HTTP 500");
    EXPECT_EQ(mvfiles_last_http_code(), 500);
}

TEST_F(FakeServerE2e, PlaybackSessions) {
    const std::string u = url("/api/AAA/GetPlaybackSessions");
    const std::string rows = fixture("playbacksessions.result.json");
    ASSERT_EQ(veltrona_fake_set("POST", u.c_str(), 200, nullptr, rows.data(), rows.size()), 0);
    const char ids[] = "7d1e4c2a-93b5-4f60-8a17-2b9c0e5d3f11,0b6f8e31-5c2d-47a9-b4e0-91d7a3c6f822";

    ASSERT_EQ(mvfiles_get_playback_sessions(ids), MVFILES_OK) << mvfiles_last_error();
    ASSERT_EQ(mvfiles_session_count(), 3);
    EXPECT_STREQ(mvfiles_session_id(0), "7d1e4c2a-93b5-4f60-8a17-2b9c0e5d3f11");
    EXPECT_STREQ(mvfiles_session_value(0), "1101000010");
    EXPECT_EQ(last(), journal("POST", u, "\"Content-Type: text/plain\"", sizeof ids - 1));

    // A transport failure of the server reaches the host as result 1.
    const char other[] = "e95a0c7f-1d48-4b3e-a6f2-7c8d9b0e4a33";
    ASSERT_EQ(veltrona_fake_fail("POST", u.c_str(), "connection reset"), 0);
    EXPECT_EQ(mvfiles_get_playback_sessions(other), MVFILES_ERR_TRANSPORT);
    EXPECT_STREQ(mvfiles_last_error(), "transport: transport: connection reset");
    EXPECT_EQ(mvfiles_last_http_code(), 0);
    EXPECT_EQ(mvfiles_session_count(), 3) << "a failed look-up keeps the previous table";
    EXPECT_EQ(veltrona_fake_calls("POST", u.c_str()), 2);
}

TEST_F(FakeServerE2e, ArmedSaveProgress) {
    const std::string u = url("/api/KeyValue?key=RVD_Position_u42_0_tt0111161_-1_-1_8520&value=0.25");
    ASSERT_EQ(veltrona_fake_set("POST", u.c_str(), 200, nullptr, nullptr, 0), 0);

    // Disarmed: refused before anything is sent.
    EXPECT_EQ(mvfiles_save_progress("u42", 0, "tt0111161", -1, -1, 0, 2130.0, 8520.0), MVFILES_ERR_NOT_ARMED);
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 0);
    EXPECT_EQ(veltrona_fake_writes_sent(), 0);

    ASSERT_EQ(mvfiles_arm_writes(1), MVFILES_OK);
    ASSERT_EQ(mvfiles_save_progress("u42", 0, "tt0111161", -1, -1, 0, 2130.0, 8520.0), MVFILES_OK)
        << mvfiles_last_error();
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_last_http_code(), 200);
    EXPECT_EQ(veltrona_fake_calls("POST", u.c_str()), 1);
    EXPECT_EQ(veltrona_fake_writes_sent(), 1);
    EXPECT_EQ(last(), journal("POST", u, "\"Content-Type: text/plain\"", 0));

    // A position the server does not know is a 404, reported as an HTTP failure.
    EXPECT_EQ(mvfiles_save_progress("u42", 0, "tt0111161", -1, -1, 0, 4260.0, 8520.0), MVFILES_ERR_HTTP);
    EXPECT_STREQ(mvfiles_last_error(), "HTTP 404");
    EXPECT_EQ(veltrona_fake_writes_sent(), 2);
}

}  // namespace
