// GET and POST helpers: the request record a host transport receives,
// status and message handling, the body bound.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "api/core.h"
#include "api/request.h"
#include "http/buf.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

class Request : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        svc.install();
    }
    int32_t get(const char *const *lines = nullptr, veltrona_buf *hdrs = nullptr) {
        std::free(body);
        body = nullptr;
        return mvfiles_http_get("https://svc.example/a?b=1", lines, &body, &len, hdrs, &status, msg,
                                sizeof msg);
    }
    int32_t post(const void *b, uint64_t n, const char *ct) {
        std::free(body);
        body = nullptr;
        return mvfiles_http_post("https://svc.example/p", b, n, ct, &body, &len, &status, msg,
                                 sizeof msg);
    }
    void TearDown() override { std::free(body); }

    mvtest::Service svc;
    char *body = nullptr;
    uint64_t len = 0;
    int32_t status = -1;
    char msg[256] = "";
};

TEST_F(Request, GetRecordAsTheTransportSeesIt) {
    const char *lines[] = {"Accept: application/json", "X-Trace: 1", nullptr};
    svc.push(mvtest::Answer::json("[1]"));
    ASSERT_EQ(get(lines), 0);
    const auto &r = svc.last();
    EXPECT_EQ(r.size, 112u);
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.url, "https://svc.example/a?b=1");
    EXPECT_EQ(r.header_count, 2u);
    EXPECT_EQ(r.headers, (std::vector<std::string>{"Accept: application/json", "X-Trace: 1"}));
    EXPECT_TRUE(r.body_null);
    EXPECT_EQ(r.body_len, 0u);
    EXPECT_FALSE(r.has_user);
    EXPECT_FALSE(r.has_password);
    EXPECT_EQ(r.timeout_ms, 120000);
    EXPECT_EQ(r.connect_timeout_ms, 15000);
    EXPECT_EQ(r.recv_timeout_ms, 0);
    EXPECT_EQ(r.flags, 0u);
    EXPECT_EQ(r.on_header, &veltrona_collect_header);
    EXPECT_EQ(r.on_body, &veltrona_collect_body);
    EXPECT_NE(r.cb_ctx, nullptr);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(len, 3u);
    EXPECT_STREQ(body, "[1]");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(mvfiles_last_http_code(), 200);
}

TEST_F(Request, GetHeaderLinesCappedAt15) {
    std::vector<std::string> text;
    std::vector<const char *> lines;
    for (int i = 0; i < 20; i++) text.push_back("X-N: " + std::to_string(i));
    for (auto &t : text) lines.push_back(t.c_str());
    lines.push_back(nullptr);
    ASSERT_EQ(get(lines.data()), 0);
    EXPECT_EQ(svc.last().header_count, 15u);
    EXPECT_EQ(svc.last().headers.back(), "X-N: 14");

    const char *empty[] = {nullptr};
    ASSERT_EQ(get(empty), 0);
    EXPECT_EQ(svc.last().header_count, 0u);
    ASSERT_EQ(get(nullptr), 0);
    EXPECT_TRUE(svc.last().headers_null);
    EXPECT_EQ(svc.last().header_count, 0u);
}

TEST_F(Request, GetHandsOutHeaderBlock) {
    mvtest::Answer a = mvtest::Answer::json("x");
    a.headers = {{"Content-Type", "text/plain"}, {"X-Empty", ""}};
    svc.push(a);
    veltrona_buf hdrs{};
    ASSERT_EQ(get(nullptr, &hdrs), 0);
    const char want[] = "Content-Type\0text/plain\0X-Empty\0\0";
    ASSERT_EQ(hdrs.len, sizeof want - 1);
    EXPECT_EQ(std::memcmp(hdrs.data, want, sizeof want - 1), 0);
    veltrona_buf_free(&hdrs);
}

TEST_F(Request, PostRecordAndContentType) {
    svc.push(mvtest::Answer::json("{}"));
    ASSERT_EQ(post("a,b", 3, "application/json"), 0);
    const auto &r = svc.last();
    EXPECT_EQ(r.size, 112u);
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url, "https://svc.example/p");
    EXPECT_EQ(r.headers, (std::vector<std::string>{"Content-Type: application/json"}));
    EXPECT_EQ(r.header_count, 1u);
    EXPECT_EQ(r.body, "a,b");
    EXPECT_EQ(r.body_len, 3u);
    EXPECT_EQ(r.timeout_ms, 120000);
    EXPECT_EQ(r.connect_timeout_ms, 15000);
    EXPECT_EQ(r.flags, 0u);
    EXPECT_EQ(r.on_body, &veltrona_collect_body);

    for (const char *none : {static_cast<const char *>(nullptr), ""}) {
        ASSERT_EQ(post("", 0, none), 0);
        EXPECT_TRUE(svc.last().headers_null);
        EXPECT_EQ(svc.last().header_count, 0u);
        EXPECT_EQ(svc.last().body_len, 0u);
    }
    // A content type longer than 145 bytes is cut to fit the 160-byte line.
    std::string ct(200, 'c');
    ASSERT_EQ(post("", 0, ct.c_str()), 0);
    EXPECT_EQ(svc.last().headers[0], "Content-Type: " + std::string(145, 'c'));
}

TEST_F(Request, StatusAndMessageTable) {
    struct Case {
        const char *what;
        mvtest::Answer answer;
        int32_t rc;
        const char *msg;  // nullptr: not checked (success)
        int32_t http_code;
        const char *body;  // nullptr: no body
    };
    mvtest::Answer with_text = mvtest::Answer::failure("bad request");
    mvtest::Answer without_text = mvtest::Answer::failure();
    without_text.fail_with_text = false;
    mvtest::Answer failed_after_response = mvtest::Answer::failure("reset");
    failed_after_response.status_on_fail = 200;
    mvtest::Answer empty;
    empty.status = 204;
    Case cases[] = {
        {"404 with a body", mvtest::Answer::json("{\"e\":1}", 404), 0, nullptr, 404, "{\"e\":1}"},
        {"500", mvtest::Answer::json("oops", 500), 0, nullptr, 500, "oops"},
        {"no body", empty, 0, nullptr, 204, nullptr},
        {"failure with text", with_text, -1, "transport: bad request", 0, nullptr},
        {"failure without text", without_text, -1, "transport failure", 0, nullptr},
        {"failure after a response", failed_after_response, -1, "transport: reset", 200, nullptr},
    };
    for (auto &c : cases) {
        svc.push(c.answer);
        g_sf.last_http_code = 777;
        std::strcpy(msg, "untouched");
        EXPECT_EQ(get(), c.rc) << c.what;
        EXPECT_EQ(mvfiles_last_http_code(), c.http_code) << c.what;
        if (c.msg) {
            EXPECT_STREQ(msg, c.msg) << c.what;
        }
        if (c.body) {
            ASSERT_NE(body, nullptr) << c.what;
            EXPECT_STREQ(body, c.body);
        } else {
            EXPECT_EQ(body, nullptr) << c.what;
            EXPECT_EQ(len, 0u) << c.what;
        }
        // POST settles the outcome the same way.
        svc.push(c.answer);
        EXPECT_EQ(post("x", 1, "text/plain"), c.rc) << c.what;
        EXPECT_EQ(mvfiles_last_http_code(), c.http_code) << c.what;
        if (c.msg) {
            EXPECT_STREQ(msg, c.msg) << c.what;
        }
    }
}

TEST_F(Request, MessageCutToBuffer) {
    svc.push(mvtest::Answer::failure(std::string(500, 'e')));
    char small[16];
    char *b = nullptr;
    uint64_t n = 0;
    int32_t st = 0;
    EXPECT_EQ(mvfiles_http_get("u", nullptr, &b, &n, nullptr, &st, small, sizeof small), -1);
    EXPECT_STREQ(small, "transport: eeee");
}

TEST_F(Request, BodyBoundIsExact) {
    std::string exact(MVFILES_BODY_BOUND, 'a');
    mvtest::Answer a = mvtest::Answer::json(exact);
    a.piece = 1 << 20;
    svc.push(a);
    ASSERT_EQ(get(), 0);
    EXPECT_EQ(len, MVFILES_BODY_BOUND);

    // One byte more is a failure, never a truncated success; the status stays.
    a.body.push_back('b');
    svc.push(a);
    EXPECT_EQ(get(), -1);
    EXPECT_STREQ(msg, "body exceeds 32 MB bound");
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(mvfiles_last_http_code(), 200);

    svc.push(a);
    EXPECT_EQ(post("", 0, nullptr), -1);
    EXPECT_STREQ(msg, "body exceeds 32 MB bound");
}

// A transport that reports failure after the collector stopped it at the
// bound: the bound is named, not the transport's text.
int32_t fail_after_overflow(void *, const veltrona_http_request *req, int32_t *status, char **err) {
    *status = 200;
    *err = veltrona_strdup("aborted by callback");
    req->on_header(req->cb_ctx, ":status", "200");
    static std::string big(MVFILES_BODY_BOUND + 10, 'z');
    req->on_body(req->cb_ctx, big.data(), big.size());
    return -1;
}
void free_text(void *, char *t) { std::free(t); }

TEST_F(Request, OverBoundFailureNamesTheBound) {
    veltrona_http h{VELTRONA_HTTP_SIZE, VELTRONA_HTTP_VERSION, nullptr, fail_after_overflow, free_text};
    veltrona_io_ctx ctx{VELTRONA_IO_MAGIC, VELTRONA_IO_CTX_SIZE, &h, 0};
    veltrona_io io{&ctx, nullptr, nullptr, nullptr};
    ASSERT_EQ(mvfiles_set_io(&io), 0);
    EXPECT_EQ(get(), -1);
    EXPECT_STREQ(msg, "body exceeds 32 MB bound");
    EXPECT_EQ(mvfiles_last_http_code(), 200);
}

}  // namespace
