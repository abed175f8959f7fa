// Every allocation of the fake server's setters and request operation, and
// of the io adapter's exchange, failed in turn: never a cut answer or a cut
// journal taken for a whole one, no crash, no leak.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "http/fake_server.h"
#include "http/io_adapter.h"
#include "support/failalloc.h"

namespace {

const char URL[] = "http://h/u";
const char HEADERS[] = "A: 1\nB: 2\n";

// What the callbacks saw, kept in fixed storage: the test itself must not
// allocate while the heap is armed.
struct Seen {
    int lines = 0;  // header lines after ":status"
    int status = 0;
    size_t body = 0;
    bool body_ok = true;
    const std::string *want = nullptr;
};

int32_t on_header(void *ctx, const char *name, const char *value) {
    auto *s = static_cast<Seen *>(ctx);
    if (std::strcmp(name, ":status") == 0)
        s->status = std::atoi(value);
    else
        ++s->lines;
    return 0;
}

int32_t on_body(void *ctx, const void *data, uint64_t len) {
    auto *s = static_cast<Seen *>(ctx);
    if (s->body + len > s->want->size() || std::memcmp(s->want->data() + s->body, data, len) != 0)
        s->body_ok = false;
    s->body += len;
    return 0;
}

struct Outcome {
    int32_t set_rc = 0;
    int32_t rc = 0;
    int32_t status = 0;
    Seen seen;
    bool journal_null = false;
    bool journal_whole = false;
};

const char *const kJournal =
    "{\"method\":\"GET\",\"url\":\"http://h/u\",\"headers\":[\"Range: bytes=2-5\"],\"body_len\":0,"
    "\"credentials\":false}";

// Sets the route and sends one ranged GET; `expect` is the body a whole
// answer carries.
Outcome serve(int32_t kind, const std::string &body, const std::string &expect) {
    Outcome o;
    if (kind == FAKE_FILE)
        o.set_rc = veltrona_fake_file(URL, body.data(), body.size(), FAKE_RANGE_CLAMP);
    else
        o.set_rc = veltrona_fake_set("GET", URL, 200, HEADERS, body.data(), body.size());
    const char *lines[] = {"Range: bytes=2-5"};
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = "GET";
    req.url = URL;
    req.headers = lines;
    req.header_count = 1;
    req.on_header = on_header;
    req.on_body = on_body;
    req.cb_ctx = &o.seen;
    o.seen.want = &expect;
    const veltrona_http *t = veltrona_http_fake();
    char *err = nullptr;
    o.rc = t->request(t->user_data, &req, &o.status, &err);
    t->free(t->user_data, err);
    const char *j = veltrona_fake_last_request();
    o.journal_null = j == nullptr;
    o.journal_whole = j && std::strcmp(j, kJournal) == 0;
    return o;
}

TEST(HttpToolsOom, StaticRouteAnswersWholeOrWithoutTheFailedPart) {
    const std::string body(300, 's');
    long runs = mvtest::failalloc_sweep(
        [&] { return serve(FAKE_STATIC, body, body); },
        [&](long k, const Outcome &o, bool tripped) {
            EXPECT_EQ(o.rc, 0) << k;
            EXPECT_TRUE(o.journal_null || o.journal_whole) << "cut journal at " << k;
            if (o.status == 404) {
                EXPECT_EQ(o.set_rc, -1) << "a route that was not added: " << k;
                return;
            }
            EXPECT_EQ(o.status, 200) << k;
            EXPECT_TRUE(o.seen.lines == 0 || o.seen.lines == 2) << k;
            EXPECT_TRUE(o.seen.body == 0 || o.seen.body == body.size()) << k;
            EXPECT_TRUE(o.seen.body_ok) << k;
            if (!tripped) {
                EXPECT_EQ(o.set_rc, 0);
                EXPECT_EQ(o.seen.lines, 2);
                EXPECT_EQ(o.seen.body, body.size());
                EXPECT_TRUE(o.journal_whole);
            }
        },
        [] { veltrona_fake_reset(); });
    EXPECT_GT(runs, 3);
}

TEST(HttpToolsOom, FileRouteAnswersTheRangeOrAnEmptyBody) {
    const std::string content = "0123456789";
    const std::string part = content.substr(2, 4);
    long runs = mvtest::failalloc_sweep(
        [&] { return serve(FAKE_FILE, content, part); },
        [&](long k, const Outcome &o, bool tripped) {
            EXPECT_EQ(o.rc, 0) << k;
            EXPECT_TRUE(o.journal_null || o.journal_whole) << k;
            if (o.status == 404) {
                EXPECT_EQ(o.set_rc, -1) << k;
                return;
            }
            EXPECT_TRUE(o.seen.body == 0 || o.seen.body == part.size()) << k;
            EXPECT_TRUE(o.seen.body_ok) << k;
            if (!tripped) {
                EXPECT_EQ(o.status, 206);
                EXPECT_EQ(o.seen.lines, 2);
                EXPECT_EQ(o.seen.body, part.size());
            }
        },
        [] { veltrona_fake_reset(); });
    EXPECT_GT(runs, 2);
}

struct IoOutcome {
    int32_t rc = 0;
    int32_t status = 0;
    bool body_null = true;
    size_t body_len = 0;
    bool body_ok = false;
    bool err_null = true;
    bool err_oom = false;
};

TEST(HttpToolsOom, IoAdapterNeverHandsOutACutBody) {
    // Three delivery pieces; the buffer must grow for the second, so an
    // append fails after some of the body was already collected.
    const std::string body(2 * 65536 + 10, 'b');
    const veltrona_io *io = veltrona_io_over_http(veltrona_http_fake(), 0);
    ASSERT_NE(io, nullptr);
    long runs = mvtest::failalloc_sweep(
        [&] {
            IoOutcome o;
            int32_t set_rc = veltrona_fake_set("GET", URL, 200, nullptr, body.data(), body.size());
            char *out = nullptr;
            char *err = nullptr;
            o.rc = io->get(io->ctx, URL, &out, &o.status, &err);
            o.body_null = out == nullptr;
            if (out) {
                o.body_len = std::strlen(out);
                o.body_ok = o.body_len == 0 || (o.body_len == body.size() && std::memcmp(out, body.data(), body.size()) == 0);
            }
            o.err_null = err == nullptr;
            o.err_oom = err && std::strcmp(err, "oom") == 0;
            io->free(io->ctx, out);
            io->free(io->ctx, err);
            (void)set_rc;
            return o;
        },
        [&](long k, const IoOutcome &o, bool tripped) {
            if (o.rc == 0) {
                ASSERT_FALSE(o.body_null) << k;
                EXPECT_TRUE(o.body_ok) << k;
                if (o.body_len == 0) {
                    // Only a route without its body copy or without the route.
                    EXPECT_TRUE(o.status == 200 || o.status == 404) << k;
                }
            } else {
                EXPECT_EQ(o.rc, -1) << k;
                EXPECT_TRUE(o.body_null) << k;
                EXPECT_TRUE(o.err_oom || o.err_null) << k;
            }
            if (!tripped) {
                EXPECT_EQ(o.rc, 0);
                EXPECT_EQ(o.body_len, body.size());
            }
        },
        [] { veltrona_fake_reset(); });
    EXPECT_GT(runs, 3);
}

}  // namespace
