// The request helpers under allocation failure: every run ends in a clean
// result, nothing leaks, and the last HTTP code is touched only by an
// exchange that reached the transport.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "api/core.h"
#include "api/request.h"
#include "http/buf.h"
#include "mvfiles.h"
#include "support/failalloc.h"
#include "support/service.h"

namespace {

class RequestOom : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        svc.install();
        // Answers are built before arming so the transport itself allocates
        // only what the library asks of it.
        mvtest::Answer a = mvtest::Answer::json(std::string(5000, 'b'));
        a.piece = 700;
        a.headers = {{"Content-Type", "text/plain"}};
        svc.fallback = a;
        svc.requests.reserve(1000);
    }
    mvtest::Service svc;
};

TEST_F(RequestOom, GetSweep) {
    const char *lines[] = {"Accept: */*", nullptr};
    int cut_bodies = 0;
    long runs = mvtest::failalloc_sweep(
        [&] {
            char *body = nullptr;
            uint64_t len = 0;
            int32_t st = 0;
            char msg[256] = "";
            veltrona_buf hdrs{};
            g_sf.last_http_code = 777;
            int32_t rc = mvfiles_http_get("https://x/y", lines, &body, &len, &hdrs, &st, msg, sizeof msg);
            std::string m = msg;
            bool ok = rc == 0 && body && len == 5000 && hdrs.len > 0;
            std::free(body);
            veltrona_buf_free(&hdrs);
            return std::make_tuple(rc, m, ok, g_sf.last_http_code);
        },
        [&](long k, const std::tuple<int32_t, std::string, bool, int32_t> &r, bool tripped) {
            auto [rc, m, ok, code] = r;
            if (!tripped) {
                EXPECT_EQ(rc, 0);
                EXPECT_TRUE(ok);
                return;
            }
            EXPECT_EQ(rc, -1) << "allocation " << k;
            if (m == "oom: response body") cut_bodies++;
            if (m == "oom: header table") {
                EXPECT_EQ(code, 777) << "no exchange, no HTTP code";
            } else {
                EXPECT_TRUE(m == "oom: response body" || m == "transport failure" ||
                            m.rfind("transport: ", 0) == 0)  // the test transport's own copy
                    << m;
            }
        },
        [] {});
    EXPECT_GT(runs, 3);
    // A body or header block that could not grow is a failure, never a cut
    // body handed out as the whole answer.
    EXPECT_GT(cut_bodies, 0);
}

TEST_F(RequestOom, PostSweep) {
    long runs = mvtest::failalloc_sweep(
        [&] {
            char *body = nullptr;
            uint64_t len = 0;
            int32_t st = 0;
            char msg[256] = "";
            g_sf.last_http_code = 777;
            int32_t rc = mvfiles_http_post("https://x/y", "abc", 3, "text/plain", &body, &len, &st, msg,
                                           sizeof msg);
            std::string m = msg;
            std::free(body);
            return std::make_tuple(rc, m, g_sf.last_http_code);
        },
        [&](long k, const std::tuple<int32_t, std::string, int32_t> &r, bool tripped) {
            auto [rc, m, code] = r;
            if (!tripped) {
                EXPECT_EQ(rc, 0);
                return;
            }
            EXPECT_EQ(rc, -1) << "allocation " << k;
            if (m == "oom: content-type") EXPECT_EQ(code, 777);
            else EXPECT_TRUE(m == "oom: response body" || m == "transport failure" || m.rfind("transport: ", 0) == 0) << m;
        },
        [] {});
    EXPECT_GT(runs, 3);
}

}  // namespace
