// The io adapter: one record rebound to the latest transport, and its get,
// post and free run over a recording transport.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "http/buf.h"
#include "http/io_adapter.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

char sentinel_byte;
char *const SENTINEL = &sentinel_byte;

struct Out {
    int32_t rc = 0;
    int32_t status = -7;
    char *body = SENTINEL;
    char *err = nullptr;
};

class IoAdapter : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        io = veltrona_io_over_http(svc.http(), 0);
        ASSERT_NE(io, nullptr);
    }
    void TearDown() override {
        mvtest::reset_client();
    }

    Out get(const char *url) {
        Out o;
        o.rc = io->get(io->ctx, url, &o.body, &o.status, &o.err);
        return o;
    }
    Out post(const char *url, const char *body, const char *type) {
        Out o;
        o.rc = io->post(io->ctx, url, body, type, &o.body, &o.status, &o.err);
        return o;
    }
    void release(Out &o) {
        if (o.body != SENTINEL) io->free(io->ctx, o.body);
        io->free(io->ctx, o.err);
        o.body = SENTINEL;
        o.err = nullptr;
    }

    mvtest::Service svc;
    const veltrona_io *io = nullptr;
};

TEST_F(IoAdapter, OneRecordReboundToTheLatestTransport) {
    mvtest::Service other;
    EXPECT_EQ(veltrona_io_over_http(nullptr, 5), nullptr);
    EXPECT_EQ(io->ctx->http, svc.http()) << "a NULL transport changes nothing";
    EXPECT_EQ(io->ctx->user_data, 0u);

    const veltrona_io *a = veltrona_io_over_http(svc.http(), 1);
    const veltrona_io *b = veltrona_io_over_http(other.http(), UINT64_C(0x123456789));
    EXPECT_EQ(a, b);
    EXPECT_EQ(b->ctx->magic, VELTRONA_IO_MAGIC);
    EXPECT_EQ(b->ctx->size, VELTRONA_IO_CTX_SIZE);
    EXPECT_EQ(b->ctx->http, other.http());
    EXPECT_EQ(b->ctx->user_data, UINT64_C(0x123456789));
    EXPECT_EQ(veltrona_http_of(b), other.http());

    Out o = get("http://h/x");
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(other.count(), 1u);
    EXPECT_EQ(svc.count(), 0u);
    release(o);
}

TEST_F(IoAdapter, InstallsTheWrappedTransportInTheClient) {
    ASSERT_EQ(mvfiles_set_io(io), MVFILES_OK);
    svc.push(mvtest::Answer::json("[]"));
    mvfiles_get_by_imdb("tt0111161", -1, -1);
    ASSERT_EQ(svc.count(), 1u);
    EXPECT_EQ(svc.last().method, "GET");
    EXPECT_NE(svc.last().url.find("/api/finder/getfiles?id=tt0111161"), std::string::npos);
}

TEST_F(IoAdapter, GetBuildsAPlainRequest) {
    mvtest::Answer a = mvtest::Answer::json("hello world");
    a.piece = 3;
    svc.push(a);
    Out o = get("http://h/get");
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(o.status, 200);
    EXPECT_EQ(o.err, nullptr);
    ASSERT_NE(o.body, SENTINEL);
    EXPECT_STREQ(o.body, "hello world");
    const mvtest::Request &r = svc.last();
    EXPECT_EQ(r.size, VELTRONA_HTTP_REQUEST_SIZE);
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.url, "http://h/get");
    EXPECT_EQ(r.header_count, 0u);
    EXPECT_TRUE(r.body_null);
    release(o);
}

TEST_F(IoAdapter, PostContentTypes) {
    struct Case {
        const char *type;
        const char *line;  // nullptr: refused
    } cases[] = {
        {nullptr, "Content-Type: application/x-www-form-urlencoded"},
        {"", "Content-Type: "},
        {"application/json; charset=utf-8", "Content-Type: application/json; charset=utf-8"},
        {"text/plain\nX-Injected: 1", nullptr},
        {"text/plain\r", nullptr},
        {"text\tplain", nullptr},
        {"text/plain\x7f", nullptr},
    };
    for (const Case &c : cases) {
        size_t before = svc.count();
        Out o = post("http://h/post", "a=1&b=2", c.type);
        const char *what = c.type ? c.type : "(null)";
        if (c.line) {
            ASSERT_EQ(o.rc, 0) << what;
            ASSERT_EQ(svc.count(), before + 1) << what;
            const mvtest::Request &r = svc.last();
            EXPECT_EQ(r.method, "POST") << what;
            EXPECT_EQ(r.header_count, 1u) << what;
            ASSERT_EQ(r.headers.size(), 1u) << what;
            EXPECT_EQ(r.headers[0], c.line) << what;
            EXPECT_EQ(r.body, "a=1&b=2") << what;
            EXPECT_EQ(r.body_len, 7u) << what;
        } else {
            EXPECT_EQ(o.rc, -1) << what;
            ASSERT_NE(o.err, nullptr) << what;
            EXPECT_STREQ(o.err, "bad content type") << what;
            EXPECT_EQ(o.body, SENTINEL) << what;
            EXPECT_EQ(o.status, -7) << what;
            EXPECT_EQ(svc.count(), before) << "nothing is sent: " << what;
        }
        release(o);
    }
    // A line that does not fit its buffer is refused the same way.
    const std::string huge(300, 'x');
    Out o = post("http://h/post", "", huge.c_str());
    EXPECT_EQ(o.rc, -1);
    EXPECT_STREQ(o.err, "bad content type");
    release(o);
}

TEST_F(IoAdapter, PostBodies) {
    Out o = post("http://h/post", nullptr, "text/plain");
    ASSERT_EQ(o.rc, 0);
    EXPECT_FALSE(svc.last().body_null);
    EXPECT_EQ(svc.last().body_len, 0u);
    EXPECT_EQ(svc.last().headers, std::vector<std::string>{"Content-Type: text/plain"});
    release(o);

    // The body goes up to its first NUL.
    const char with_nul[] = "ab\0cd";
    o = post("http://h/post", with_nul, nullptr);
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(svc.last().body, "ab");
    EXPECT_EQ(svc.last().body_len, 2u);
    release(o);
}

TEST_F(IoAdapter, AnswersComeBackAsText) {
    mvtest::Answer no_content;
    no_content.status = 204;
    svc.push(no_content);
    Out o = get("http://h/204");
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(o.status, 204);
    ASSERT_NE(o.body, nullptr);
    ASSERT_NE(o.body, SENTINEL);
    EXPECT_STREQ(o.body, "");
    release(o);

    // Error statuses are successful exchanges; judging them is the caller's.
    svc.push(mvtest::Answer::json("oops", 500));
    o = get("http://h/500");
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.status, 500);
    EXPECT_STREQ(o.body, "oops");
    release(o);

    // An embedded NUL: the block holds every byte, the text ends at the NUL.
    const std::string bin("abc\0def", 7);
    svc.push(mvtest::Answer::json(bin));
    o = get("http://h/bin");
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(std::strlen(o.body), 3u);
    EXPECT_EQ(std::memcmp(o.body, "abc\0def\0", 8), 0);
    release(o);
}

TEST_F(IoAdapter, TransportFailurePassesThrough) {
    mvtest::Answer down = mvtest::Answer::failure("connection refused");
    down.status_on_fail = 0;
    svc.push(down);
    Out o = get("http://h/down");
    EXPECT_EQ(o.rc, -1);
    EXPECT_EQ(o.body, nullptr);
    ASSERT_NE(o.err, nullptr);
    EXPECT_STREQ(o.err, "connection refused");
    EXPECT_EQ(o.status, 0);
    release(o);

    mvtest::Answer silent = mvtest::Answer::failure();
    silent.fail_with_text = false;
    svc.push(silent);
    o = post("http://h/down", "x", nullptr);
    EXPECT_EQ(o.rc, -1);
    EXPECT_EQ(o.err, nullptr);
    EXPECT_EQ(o.body, nullptr);
    release(o);
}

TEST_F(IoAdapter, InvalidContextsFindNoTransport) {
    veltrona_io_ctx bad_magic = *io->ctx;
    bad_magic.magic = 0x48544C56u;
    veltrona_io_ctx small = *io->ctx;
    small.size = VELTRONA_IO_CTX_SIZE - 1;
    veltrona_http v2 = *svc.http();
    v2.version = 2;
    veltrona_io_ctx old_version = *io->ctx;
    old_version.http = &v2;
    veltrona_io_ctx *cases[] = {&bad_magic, &small, &old_version, nullptr};
    for (veltrona_io_ctx *ctx : cases) {
        Out g;
        g.rc = io->get(ctx, "http://h/x", &g.body, &g.status, &g.err);
        EXPECT_EQ(g.rc, -1);
        ASSERT_NE(g.err, nullptr);
        EXPECT_STREQ(g.err, "io_over_http: no transport installed");
        EXPECT_EQ(g.body, SENTINEL);
        EXPECT_EQ(g.status, -7);
        release(g);
        Out p;
        p.rc = io->post(ctx, "http://h/x", "b", nullptr, &p.body, &p.status, &p.err);
        EXPECT_EQ(p.rc, -1);
        EXPECT_STREQ(p.err, "io_over_http: no transport installed");
        release(p);
    }
    EXPECT_EQ(svc.count(), 0u);

    // Any valid context works, not only the adapter's own.
    mvtest::Service host;
    Out o;
    o.rc = io->get(host.io()->ctx, "http://h/host", &o.body, &o.status, &o.err);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(host.count(), 1u);
    release(o);

    // A record bound to a transport the validation refuses fails every call.
    const veltrona_io *rebound = veltrona_io_over_http(&v2, 0);
    o = Out();
    o.rc = rebound->get(rebound->ctx, "http://h/x", &o.body, &o.status, &o.err);
    EXPECT_EQ(o.rc, -1);
    EXPECT_STREQ(o.err, "io_over_http: no transport installed");
    release(o);
}

}  // namespace
