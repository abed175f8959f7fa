// Every allocation of the session look-up and of each armed write fails in
// turn: each run ends with its documented result, leaks nothing and leaves
// the previous session table as it was.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "api/core.h"
#include "mvfiles.h"
#include "support/failalloc.h"
#include "support/service.h"

namespace {

// A transport that allocates nothing, so that only the library's own
// allocations are failed: it answers 200 and a body chosen from the
// request body, and keeps the last URL in a fixed buffer.
struct Plain {
    veltrona_http http{};
    veltrona_io_ctx ctx{};
    veltrona_io io{};
    char last_url[1024] = "";
    int calls = 0;
};
Plain g_plain;

const char *const kOld = R"([{"id":"old","created":"c","value":"1"}])";
const char *const kNew = R"([{"id":"n1","value":"10"},7,{"Id":"n2","Value":"01"}])";

int32_t plain_request(void *, const veltrona_http_request *req, int32_t *status, char **err) {
    *err = nullptr;
    g_plain.calls++;
    std::snprintf(g_plain.last_url, sizeof g_plain.last_url, "%s", req->url);
    *status = 200;
    const char *body = "";
    if (std::strstr(req->url, "GetPlaybackSessions"))
        body = req->body_len == 3 && std::memcmp(req->body, "old", 3) == 0 ? kOld : kNew;
    if (req->on_header(req->cb_ctx, ":status", "200") != 0) return 0;
    if (*body) req->on_body(req->cb_ctx, body, std::strlen(body));
    return 0;
}

void plain_free(void *, char *text) { std::free(text); }

void install_plain() {
    g_plain.http.size = VELTRONA_HTTP_SIZE;
    g_plain.http.version = VELTRONA_HTTP_VERSION;
    g_plain.http.request = plain_request;
    g_plain.http.free = plain_free;
    g_plain.ctx.magic = VELTRONA_IO_MAGIC;
    g_plain.ctx.size = VELTRONA_IO_CTX_SIZE;
    g_plain.ctx.http = &g_plain.http;
    g_plain.io.ctx = &g_plain.ctx;
    ASSERT_EQ(mvfiles_set_io(&g_plain.io), 0);
}

bool starts_with(const char *s, const char *p) { return std::strncmp(s, p, std::strlen(p)) == 0; }

// A failed run reports lack of memory, either directly (8) or as the
// request helper's failure to collect or to send (1).
void expect_oom_result(long k, mvfiles_result r) {
    const char *e = mvfiles_last_error();
    if (r == 8)
        EXPECT_TRUE(starts_with(e, "oom")) << "run " << k << ": " << e;
    else if (r == 1)
        EXPECT_TRUE(starts_with(e, "transport: oom")) << "run " << k << ": " << e;
    else
        ADD_FAILURE() << "run " << k << ": result " << r << " (" << e << ")";
}

class SessionsOom : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://svc.test");
        install_plain();
    }
    void TearDown() override { mvtest::reset_client(); }
};

TEST_F(SessionsOom, LookupKeepsThePreviousTable) {
    ASSERT_EQ(mvfiles_get_playback_sessions("old"), 0);
    int seen[10] = {};
    long runs = mvtest::failalloc_sweep(
        [] { return mvfiles_get_playback_sessions("new"); },
        [&](long k, mvfiles_result r, bool tripped) {
            if (r >= 0 && r < 10) seen[r]++;
            if (!tripped) {
                EXPECT_EQ(r, 0) << mvfiles_last_error();
                ASSERT_EQ(mvfiles_session_count(), 2);
                EXPECT_STREQ(mvfiles_session_id(1), "n2");
                EXPECT_EQ(mvfiles_session_bit(1, 1), 1);
                EXPECT_STREQ(g_sf.sessions_key, "sess|new");
                return;
            }
            if (r == 0) {  // the failure fell somewhere without consequence
                EXPECT_EQ(mvfiles_session_count(), 2) << "run " << k;
                return;
            }
            expect_oom_result(k, r);
            ASSERT_EQ(mvfiles_session_count(), 1) << "run " << k;
            EXPECT_STREQ(mvfiles_session_id(0), "old");
            EXPECT_STREQ(mvfiles_session_created(0), "c");
            EXPECT_EQ(mvfiles_session_bit(0, 0), 1);
            EXPECT_STREQ(g_sf.sessions_key, "sess|old");
            EXPECT_EQ(g_sf.sessions_valid, 1);
        },
        [] {
            // Put the "old" table back the same way it was built.
            if (std::strcmp(g_sf.sessions_key, "sess|old") != 0) {
                mvfiles_sessions_free();
                mvfiles_get_playback_sessions("old");
            }
        });
    EXPECT_GT(runs, 3);
    EXPECT_GT(seen[8], 0);  // the URL, the parse and the rows
    EXPECT_GT(seen[1], 0);  // the content-type line and the body
}

struct WriteCase {
    const char *name;
    std::function<mvfiles_result()> call;
    const char *url;  // the only URL the write may send
};

TEST_F(SessionsOom, ArmedWritesFailCleanly) {
    mvfiles_arm_writes(1);
    const WriteCase cases[] = {
        {"save_progress", [] { return mvfiles_save_progress("u/1", 0, "tt1", 1, 2, 0, 1, 3); },
         "http://svc.test/api/KeyValue?key=RVD_Position_u%2F1_0_tt1_1_2_3&value=0.33333333333333331"},
        // Both position and duration were given: the row is never
        // written without them.
        {"update_playback_session",
         [] { return mvfiles_update_playback_session("k 1", "QUJD", "10", "20"); },
         "http://svc.test/api/AAA/UpdatePlaybackSession?key=k%201&position=10&duration=20"},
        {"download_magnet",
         [] { return mvfiles_download_magnet("u1", "m", "s", nullptr, "avi", "t"); },
         "http://svc.test/api/AAA/DownloadMagnet"},
    };
    for (const WriteCase &c : cases) {
        SCOPED_TRACE(c.name);
        int oom = 0;
        long runs = mvtest::failalloc_sweep(
            [&] {
                g_plain.last_url[0] = 0;
                return c.call();
            },
            [&](long k, mvfiles_result r, bool tripped) {
                if (g_plain.last_url[0]) {
                    EXPECT_STREQ(g_plain.last_url, c.url) << "run " << k;
                }
                if (!tripped || r == 0) {
                    EXPECT_EQ(r, 0) << mvfiles_last_error();
                    EXPECT_STREQ(g_plain.last_url, c.url);
                    return;
                }
                expect_oom_result(k, r);
                oom += r == 8;
            },
            [] {});
        EXPECT_GT(runs, 2);
        EXPECT_GT(oom, 0);
    }
}

}  // namespace
