// The in-memory fake HTTP server reached as a transport: routing, delivery,
// file ranges, drip pacing, failures, counters and the last-request journal.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "http/fake_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// Callback context: every header call (":status" included) and body piece.
struct Rec {
    Pairs headers;
    std::vector<std::string> pieces;
    std::vector<Clock::time_point> times;
    int stop_header_at = -1;  // header call index that answers 1; -2: every call
    int stop_body_at = -1;    // body piece index that answers 1

    std::string body() const {
        std::string s;
        for (const std::string &p : pieces) s += p;
        return s;
    }
    const char *header(const std::string &name) const {
        for (const auto &h : headers) {
            if (h.first == name) return h.second.c_str();
        }
        return nullptr;
    }
};

int32_t on_header(void *ctx, const char *name, const char *value) {
    auto *r = static_cast<Rec *>(ctx);
    r->headers.emplace_back(name, value);
    int i = static_cast<int>(r->headers.size()) - 1;
    return (r->stop_header_at == -2 || r->stop_header_at == i) ? 1 : 0;
}

int32_t on_body(void *ctx, const void *data, uint64_t len) {
    auto *r = static_cast<Rec *>(ctx);
    EXPECT_GE(len, 1u);
    r->pieces.emplace_back(static_cast<const char *>(data), static_cast<size_t>(len));
    r->times.push_back(Clock::now());
    return static_cast<int>(r->pieces.size()) - 1 == r->stop_body_at ? 1 : 0;
}

struct Result {
    int32_t rc = 0;
    int32_t status = 0;
    bool has_err = false;
    std::string err;
};

struct Send {
    const char *method = "GET";
    const char *url = "http://h/u";
    std::vector<const char *> headers;
    uint64_t body_len = 0;
    const char *user = nullptr;
};

Result send(const Send &s, Rec *rec) {
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = s.method;
    req.url = s.url;
    req.headers = s.headers.empty() ? nullptr : s.headers.data();
    req.header_count = s.headers.size();
    req.body_len = s.body_len;
    req.user = s.user;
    if (rec) {
        req.on_header = on_header;
        req.on_body = on_body;
        req.cb_ctx = rec;
    }
    const veltrona_http *t = veltrona_http_fake();
    Result r;
    char *err = nullptr;
    r.rc = t->request(t->user_data, &req, &r.status, &err);
    if (err) {
        r.has_err = true;
        r.err = err;
        t->free(t->user_data, err);
    }
    return r;
}

Result get(const char *url, Rec *rec, std::vector<const char *> headers = {}) {
    Send s;
    s.url = url;
    s.headers = std::move(headers);
    return send(s, rec);
}

std::string digits(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + i % 10));
    return s;
}

class FakeServer : public ::testing::Test {
protected:
    void SetUp() override { veltrona_fake_reset(); }
    void TearDown() override { veltrona_fake_reset(); }
};

TEST_F(FakeServer, StaticRouteDeliversStatusHeadersThenBody) {
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/u", 200, "Content-Type: text/plain\r\nX-A: 1\n", "hello", 5), 0);
    Rec rec;
    Result r = get("http://h/u", &rec);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.status, 200);
    EXPECT_FALSE(r.has_err);
    EXPECT_EQ(rec.headers, (Pairs{{":status", "200"}, {"Content-Type", "text/plain"}, {"X-A", "1"}}));
    EXPECT_EQ(rec.pieces, std::vector<std::string>{"hello"});
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/u"), 1);
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 1);
}

TEST_F(FakeServer, HeaderTextParsing) {
    const std::string name128(128, 'n'), name127(127, 'n');
    const std::string value512(512, 'v'), value511(511, 'v');
    const std::string text = "no colon here\n"
                             " Spaced : v1\n"
                             ":empty-name\n"
                             "X-B:   padded\r\r\n"
                             "\n" +
                             name128 + ": long\n" + name127 + ": ok\n" + "X-L: " + value512 + "\n" + "X-M: " +
                             value511 + "\n" + "X-Colon: a:b\n" + "Last: unterminated";
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/u", 201, text.c_str(), nullptr, 0), 0);
    Rec rec;
    Result r = get("http://h/u", &rec);
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(rec.headers, (Pairs{{":status", "201"},
                                  {" Spaced ", "v1"},
                                  {"", "empty-name"},
                                  {"X-B", "padded\r"},
                                  {name127, "ok"},
                                  {"X-M", value511},
                                  {"X-Colon", "a:b"},
                                  {"Last", "unterminated"}}));
    EXPECT_TRUE(rec.pieces.empty());
}

TEST_F(FakeServer, CallbackStopsEndTheDelivery) {
    const std::string big = digits(2 * 65536 + 1);
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/u", 200, "A: 1\nB: 2\n", big.data(), big.size()), 0);
    struct Case {
        int stop_header_at, stop_body_at;
        size_t headers;
        std::vector<size_t> pieces;
    } cases[] = {
        {-1, -1, 3, {65536, 65536, 1}},
        {0, -1, 1, {}},
        {1, -1, 2, {}},
        {-1, 0, 3, {65536}},
    };
    for (const Case &c : cases) {
        Rec rec;
        rec.stop_header_at = c.stop_header_at;
        rec.stop_body_at = c.stop_body_at;
        Result r = get("http://h/u", &rec);
        EXPECT_EQ(r.rc, 0) << "a stop is not a failure";
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(rec.headers.size(), c.headers);
        std::vector<size_t> sizes;
        for (const std::string &p : rec.pieces) sizes.push_back(p.size());
        EXPECT_EQ(sizes, c.pieces);
        if (c.pieces.size() == 3) {
            EXPECT_EQ(rec.body(), big);
        }
    }
}

TEST_F(FakeServer, NoRouteAnswers404AndCountsOnlyTheTotal) {
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/other", 200, nullptr, "x", 1), 0);
    Rec rec;
    Result r = get("http://h/u", &rec);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(rec.headers, (Pairs{{":status", "404"}}));
    EXPECT_TRUE(rec.pieces.empty());
    EXPECT_EQ(veltrona_fake_calls(nullptr, "http://h/u"), 1);
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/u"), 0);
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/other"), 0);
    EXPECT_EQ(veltrona_fake_calls_method("GET"), 0);
    EXPECT_EQ(veltrona_fake_calls_method(nullptr), 1);
    // Keys are exact: case and query count.
    EXPECT_EQ(get("http://h/Other", nullptr).status, 404);
    EXPECT_EQ(get("http://h/other?x", nullptr).status, 404);
    Send post;
    post.method = "POST";
    post.url = "http://h/other";
    EXPECT_EQ(send(post, nullptr).status, 404);
}

TEST_F(FakeServer, HeadFallsBackToTheGetRoute) {
    ASSERT_EQ(veltrona_fake_file("http://h/f", "0123456789", 10, FAKE_RANGE_CLAMP), 0);
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/s", 200, "X: y\n", "static", 6), 0);
    Send head;
    head.method = "HEAD";
    head.url = "http://h/f";
    Rec rec;
    Result r = send(head, &rec);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(rec.headers, (Pairs{{":status", "200"}, {"Content-Length", "10"}, {"Accept-Ranges", "bytes"}}));
    EXPECT_TRUE(rec.pieces.empty());
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/f"), 1);
    EXPECT_EQ(veltrona_fake_calls("HEAD", "http://h/f"), 0);

    // A ranged HEAD gets the ranged header text, still without a body.
    Rec ranged;
    head.headers = {"Range: bytes=2-3"};
    EXPECT_EQ(send(head, &ranged).status, 206);
    EXPECT_STREQ(ranged.header("Content-Range"), "bytes 2-3/10");
    EXPECT_TRUE(ranged.pieces.empty());

    // Only file routes leave the body out.
    Rec st;
    head.url = "http://h/s";
    head.headers.clear();
    EXPECT_EQ(send(head, &st).status, 200);
    EXPECT_EQ(st.body(), "static");
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/s"), 1);

    // A HEAD route of its own comes first.
    ASSERT_EQ(veltrona_fake_set("HEAD", "http://h/s", 204, nullptr, nullptr, 0), 0);
    EXPECT_EQ(send(head, nullptr).status, 204);
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/s"), 1);
}

TEST_F(FakeServer, FileRanges) {
    const std::string content = digits(100);
    struct Case {
        int32_t mode;
        const char *range;  // the header line, or nullptr
        int32_t status;
        const char *content_range;  // nullptr: none expected
        size_t first, count;
    } cases[] = {
        {1, nullptr, 200, nullptr, 0, 100},
        {1, "Range: bytes=10-19", 206, "bytes 10-19/100", 10, 10},
        {1, "Range: bytes=90-200", 206, "bytes 90-99/100", 90, 10},
        {1, "Range: bytes=100-", 416, "bytes */100", 0, 0},
        {1, "Range: bytes=50-", 206, "bytes 50-99/100", 50, 50},
        {1, "Range: bytes=5", 206, "bytes 5-99/100", 5, 95},
        {1, "Range: bytes=0-0", 206, "bytes 0-0/100", 0, 1},
        {1, "Range: bytes=99-99", 206, "bytes 99-99/100", 99, 1},
        {1, "Range: bytes=0-99", 206, "bytes 0-99/100", 0, 100},
        {1, "Range: bytes=150-160", 416, "bytes */100", 0, 0},
        {1, "range:bytes=10-19", 206, "bytes 10-19/100", 10, 10},
        {1, "RANGE:    bytes=10-19", 206, "bytes 10-19/100", 10, 10},
        {1, "Range : bytes=10-19", 200, nullptr, 0, 100},
        {1, "Range: items=10-19", 200, nullptr, 0, 100},
        {1, "Range: Bytes=10-19", 200, nullptr, 0, 100},
        {1, "Ranges: bytes=10-19", 200, nullptr, 0, 100},
        {7, "Range: bytes=90-200", 206, "bytes 90-99/100", 90, 10},
        {2, "Range: bytes=90-200", 416, "bytes */100", 0, 0},
        {2, "Range: bytes=90-99", 206, "bytes 90-99/100", 90, 10},
        {2, "Range: bytes=90-", 206, "bytes 90-99/100", 90, 10},
        {0, "Range: bytes=10-19", 200, nullptr, 0, 100},
        {0, "Range: bytes=-10", 200, nullptr, 0, 100},
        // Suffix ranges answer the file's tail, never bytes before it.
        {1, "Range: bytes=-10", 206, "bytes 90-99/100", 90, 10},
        {1, "Range: bytes=-1", 206, "bytes 99-99/100", 99, 1},
        {1, "Range: bytes=-100", 206, "bytes 0-99/100", 0, 100},
        {1, "Range: bytes=-250", 206, "bytes 0-99/100", 0, 100},
        {2, "Range: bytes=-250", 206, "bytes 0-99/100", 0, 100},
        {1, "Range: bytes=-0", 416, "bytes */100", 0, 0},
        {1, "Range: bytes=-99999999999999999999999", 206, "bytes 0-99/100", 0, 100},
        // A last position below the first cannot be served.
        {1, "Range: bytes=20-10", 416, "bytes */100", 0, 0},
        {2, "Range: bytes=20-10", 416, "bytes */100", 0, 0},
        {1, "Range: bytes=5--3", 416, "bytes */100", 0, 0},
        {1, "Range: bytes=9999999999999999999999-", 416, "bytes */100", 0, 0},
    };
    for (const Case &c : cases) {
        veltrona_fake_reset();
        ASSERT_EQ(veltrona_fake_file("http://h/f", content.data(), content.size(), c.mode), 0);
        std::vector<const char *> lines = {"Accept: */*"};
        if (c.range) lines.push_back(c.range);
        Rec rec;
        Result r = get("http://h/f", &rec, lines);
        const std::string what = std::string(c.range ? c.range : "(none)") + " mode " + std::to_string(c.mode);
        ASSERT_EQ(r.rc, 0) << what;
        EXPECT_EQ(r.status, c.status) << what;
        if (c.status == 200) {
            EXPECT_EQ(rec.headers, (Pairs{{":status", "200"}, {"Content-Length", "100"}, {"Accept-Ranges", "bytes"}}))
                << what;
        } else if (c.status == 206) {
            EXPECT_EQ(rec.headers, (Pairs{{":status", "206"},
                                          {"Content-Range", c.content_range},
                                          {"Content-Length", std::to_string(c.count)}}))
                << what;
        } else {
            EXPECT_EQ(rec.headers, (Pairs{{":status", "416"}, {"Content-Range", c.content_range}})) << what;
        }
        EXPECT_EQ(rec.body(), content.substr(c.first, c.count)) << what;
    }
}

TEST_F(FakeServer, OnlyTheFirstRangeLineCounts) {
    const std::string content = digits(100);
    ASSERT_EQ(veltrona_fake_file("http://h/f", content.data(), content.size(), FAKE_RANGE_CLAMP), 0);
    Rec rec;
    EXPECT_EQ(get("http://h/f", &rec, {nullptr, "Range: none", "Range: bytes=0-0"}).status, 200);
    EXPECT_EQ(rec.body(), content);
}

TEST_F(FakeServer, EmptyFile) {
    ASSERT_EQ(veltrona_fake_file("http://h/e", nullptr, 0, FAKE_RANGE_CLAMP), 0);
    Rec whole;
    EXPECT_EQ(get("http://h/e", &whole).status, 200);
    EXPECT_EQ(whole.headers, (Pairs{{":status", "200"}, {"Content-Length", "0"}, {"Accept-Ranges", "bytes"}}));
    EXPECT_TRUE(whole.pieces.empty());
    for (const char *range : {"Range: bytes=0-0", "Range: bytes=0-", "Range: bytes=-5", "Range: bytes=0"}) {
        Rec rec;
        EXPECT_EQ(get("http://h/e", &rec, {range}).status, 416) << range;
        EXPECT_STREQ(rec.header("Content-Range"), "bytes */0") << range;
        EXPECT_TRUE(rec.pieces.empty()) << range;
    }
}

TEST_F(FakeServer, DripPiecesAndPacing) {
    const std::string body = digits(200);
    ASSERT_EQ(veltrona_fake_drip("http://h/d", 200, body.data(), body.size(), 2), 0);
    Rec two;
    Result r = get("http://h/d", &two);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(two.headers, (Pairs{{":status", "200"}, {"Content-Type", "application/octet-stream"}}));
    ASSERT_EQ(two.pieces.size(), 2u);
    EXPECT_EQ(two.body(), body.substr(0, 128));
    EXPECT_GE(two.times[1] - two.times[0], std::chrono::milliseconds(8));

    // All pieces, with a wait after each one, the last included.
    ASSERT_EQ(veltrona_fake_drip("http://h/d", 503, body.data(), body.size(), 0), 0);
    Rec all;
    Clock::time_point start = Clock::now();
    r = get("http://h/d", &all);
    Clock::duration took = Clock::now() - start;
    EXPECT_EQ(r.status, 503);
    std::vector<size_t> sizes;
    for (const std::string &p : all.pieces) sizes.push_back(p.size());
    EXPECT_EQ(sizes, (std::vector<size_t>{64, 64, 64, 8}));
    EXPECT_EQ(all.body(), body);
    EXPECT_GE(took, std::chrono::milliseconds(35));
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/d"), 2);
}

TEST_F(FakeServer, DripIgnoresHeaderStopsButHonoursBodyStops) {
    const std::string body = digits(200);
    ASSERT_EQ(veltrona_fake_drip("http://h/d", 200, body.data(), body.size(), -1), 0);
    Rec heads;
    heads.stop_header_at = -2;
    get("http://h/d", &heads);
    EXPECT_EQ(heads.headers.size(), 2u) << "header lines go on after a stop";
    EXPECT_EQ(heads.body(), body);

    Rec stop;
    stop.stop_body_at = 1;
    get("http://h/d", &stop);
    EXPECT_EQ(stop.pieces.size(), 2u);

    ASSERT_EQ(veltrona_fake_drip("http://h/e", 200, nullptr, 0, 0), 0);
    Rec empty;
    EXPECT_EQ(get("http://h/e", &empty).status, 200);
    EXPECT_TRUE(empty.pieces.empty());
}

TEST_F(FakeServer, WriteMethodsAreCounted) {
    struct Case {
        const char *method;
        bool write;
    } cases[] = {
        {"POST", true}, {"DELETE", true}, {"PROPPATCH", true}, {"UNLOCK", true},
        {"PATCH", false}, {"post", false}, {"GET", false},
    };
    int32_t want = 0;
    for (const Case &c : cases) {
        Send s;
        s.method = c.method;
        ASSERT_EQ(send(s, nullptr).rc, 0) << c.method;
        if (c.write) ++want;
        EXPECT_EQ(veltrona_fake_writes_sent(), want) << c.method;
    }
    // A refused request is not handled and so not counted.
    Send bad;
    bad.method = "PO ST";
    EXPECT_EQ(send(bad, nullptr).rc, -1);
    EXPECT_EQ(veltrona_fake_writes_sent(), want);
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), static_cast<int32_t>(sizeof cases / sizeof cases[0]));
}

TEST_F(FakeServer, LastRequestJournal) {
    EXPECT_EQ(veltrona_fake_last_request(), nullptr);
    struct Case {
        Send send;
        const char *json;
    };
    Send a;
    a.url = "U";
    a.headers = {"A: 1", nullptr};
    a.user = "me";
    Send b;
    b.method = "POST";
    b.url = "http://h/\x01q\"\\\x7f\xc3\xa9\t";
    b.headers = {"X: \"quoted\""};
    b.body_len = UINT64_C(12345678901234);
    Send c;
    c.url = "http://h/none";
    const Case cases[] = {
        {a, "{\"method\":\"GET\",\"url\":\"U\",\"headers\":[\"A: 1\",\"\"],\"body_len\":0,\"credentials\":true}"},
        {b, "{\"method\":\"POST\",\"url\":\"http://h/\\u0001q\\\"\\\\\x7f\xc3\xa9\\u0009\",\"headers\":"
            "[\"X: \\\"quoted\\\"\"],\"body_len\":12345678901234,\"credentials\":false}"},
        {c, "{\"method\":\"GET\",\"url\":\"http://h/none\",\"headers\":[],\"body_len\":0,\"credentials\":false}"},
    };
    for (const Case &k : cases) {
        send(k.send, nullptr);
        ASSERT_NE(veltrona_fake_last_request(), nullptr);
        EXPECT_STREQ(veltrona_fake_last_request(), k.json);
    }
    // Refused requests leave the journal alone.
    Send bad;
    bad.method = "";
    send(bad, nullptr);
    EXPECT_STREQ(veltrona_fake_last_request(), cases[2].json);
}

TEST_F(FakeServer, ReplacingARouteKeepsItsCalls) {
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/u", 200, nullptr, "one", 3), 0);
    get("http://h/u", nullptr);
    get("http://h/u", nullptr);
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/u", 202, "N: 2\n", "two", 3), 0);
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/u"), 2);
    Rec rec;
    EXPECT_EQ(get("http://h/u", &rec).status, 202);
    EXPECT_EQ(rec.body(), "two");
    EXPECT_EQ(rec.headers, (Pairs{{":status", "202"}, {"N", "2"}}));
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/u"), 3);

    // Any kind may replace any other on the same key.
    ASSERT_EQ(veltrona_fake_file("http://h/u", "abc", 3, FAKE_RANGE_OFF), 0);
    Rec file;
    EXPECT_EQ(get("http://h/u", &file).status, 200);
    EXPECT_EQ(file.body(), "abc");
    EXPECT_EQ(file.header("N"), nullptr) << "the old header text is gone";
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/u"), 4);
}

TEST_F(FakeServer, RouteTableHolds256) {
    for (int i = 0; i < FAKE_MAX_ROUTES; ++i) {
        std::string url = "http://h/" + std::to_string(i);
        ASSERT_EQ(veltrona_fake_set("GET", url.c_str(), 200, nullptr, "x", 1), 0) << i;
    }
    EXPECT_EQ(veltrona_fake_set("GET", "http://h/new", 200, nullptr, "x", 1), -1);
    EXPECT_EQ(veltrona_fake_set("POST", "http://h/0", 200, nullptr, "x", 1), -1);
    EXPECT_EQ(veltrona_fake_file("http://h/new", "x", 1, 1), -1);
    EXPECT_EQ(veltrona_fake_drip("http://h/new", 200, "x", 1, 0), -1);
    EXPECT_EQ(veltrona_fake_fail("GET", "http://h/new", nullptr), -1);
    EXPECT_EQ(get("http://h/new", nullptr).status, 404);
    // Replacing an existing route still succeeds.
    EXPECT_EQ(veltrona_fake_set("GET", "http://h/255", 201, nullptr, "y", 1), 0);
    EXPECT_EQ(get("http://h/255", nullptr).status, 201);
    EXPECT_EQ(get("http://h/0", nullptr).status, 200);
}

TEST_F(FakeServer, SetterRefusals) {
    EXPECT_EQ(veltrona_fake_set(nullptr, "http://h/u", 200, nullptr, nullptr, 0), -1);
    EXPECT_EQ(veltrona_fake_set("GET", nullptr, 200, nullptr, nullptr, 0), -1);
    EXPECT_EQ(veltrona_fake_set("G T", "http://h/u", 200, nullptr, nullptr, 0), -1);
    EXPECT_EQ(veltrona_fake_set("GET", "http://h/u", 200, nullptr, nullptr, 5), -1);
    EXPECT_EQ(veltrona_fake_file(nullptr, "x", 1, 1), -1);
    EXPECT_EQ(veltrona_fake_file("http://h/u", nullptr, 5, 1), -1);
    EXPECT_EQ(veltrona_fake_drip(nullptr, 200, "x", 1, 0), -1);
    EXPECT_EQ(veltrona_fake_drip("http://h/u", 200, nullptr, 5, 0), -1);
    EXPECT_EQ(veltrona_fake_fail(nullptr, "http://h/u", nullptr), -1);
    EXPECT_EQ(veltrona_fake_fail("GET", nullptr, nullptr), -1);
    // Nothing was added by any of them.
    EXPECT_EQ(get("http://h/u", nullptr).status, 404);
}

TEST_F(FakeServer, FailRoutes) {
    ASSERT_EQ(veltrona_fake_fail("POST", "http://h/f", nullptr), 0);
    ASSERT_EQ(veltrona_fake_fail("bad method", "http://h/g", "custom"), 0) << "the method is not tested";
    Send s;
    s.method = "POST";
    s.url = "http://h/f";
    s.body_len = 3;
    Rec rec;
    Result r = send(s, &rec);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.status, 0);
    ASSERT_TRUE(r.has_err);
    EXPECT_EQ(r.err, "fake: transport failure");
    EXPECT_TRUE(rec.headers.empty());
    EXPECT_TRUE(rec.pieces.empty());
    EXPECT_EQ(veltrona_fake_calls("POST", "http://h/f"), 1);
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 1);
    EXPECT_EQ(veltrona_fake_writes_sent(), 1);
    EXPECT_STREQ(veltrona_fake_last_request(),
                 "{\"method\":\"POST\",\"url\":\"http://h/f\",\"headers\":[],\"body_len\":3,\"credentials\":false}");

    ASSERT_EQ(veltrona_fake_fail("GET", "http://h/f2", "dns failure"), 0);
    r = get("http://h/f2", nullptr);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, "dns failure");

    // Turned back into a static route, with its count kept.
    ASSERT_EQ(veltrona_fake_set("POST", "http://h/f", 200, nullptr, "ok", 2), 0);
    r = send(s, &rec);
    EXPECT_EQ(r.rc, 0);
    EXPECT_FALSE(r.has_err);
    EXPECT_EQ(rec.body(), "ok");
    EXPECT_EQ(veltrona_fake_calls("POST", "http://h/f"), 2);
}

TEST_F(FakeServer, BadRequestsAreRefusedUncounted) {
    const veltrona_http *t = veltrona_http_fake();
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = "GET";
    req.url = "http://h/u";
    struct Case {
        const char *what;
        void (*spoil)(veltrona_http_request *);
        bool null_record;
        const char *err;
    } cases[] = {
        {"null record", [](veltrona_http_request *) {}, true, "fake: bad request"},
        {"size 111", [](veltrona_http_request *r) { r->size = 111; }, false, "fake: bad request"},
        {"null method", [](veltrona_http_request *r) { r->method = nullptr; }, false, "fake: bad request"},
        {"null url", [](veltrona_http_request *r) { r->url = nullptr; }, false, "fake: bad request"},
        {"method with blank", [](veltrona_http_request *r) { r->method = "G T"; }, false, "fake: bad method"},
        {"empty method", [](veltrona_http_request *r) { r->method = ""; }, false, "fake: bad method"},
    };
    for (const Case &c : cases) {
        veltrona_http_request r = req;
        c.spoil(&r);
        int32_t status = 99;
        char *err = reinterpret_cast<char *>(&status);
        EXPECT_EQ(t->request(t->user_data, c.null_record ? nullptr : &r, &status, &err), -1) << c.what;
        EXPECT_EQ(status, 0) << c.what;
        ASSERT_NE(err, nullptr) << c.what;
        EXPECT_STREQ(err, c.err) << c.what;
        t->free(t->user_data, err);
    }
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 0);
    EXPECT_EQ(veltrona_fake_last_request(), nullptr);

    // Missing out-parameters are tolerated.
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/u", 200, nullptr, "x", 1), 0);
    EXPECT_EQ(t->request(t->user_data, &req, nullptr, nullptr), 0);
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/u"), 1);
}

TEST_F(FakeServer, CallsPerMethodAndReset) {
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/a", 200, nullptr, nullptr, 0), 0);
    ASSERT_EQ(veltrona_fake_file("http://h/b", "x", 1, 0), 0);
    ASSERT_EQ(veltrona_fake_set("POST", "http://h/a", 200, nullptr, nullptr, 0), 0);
    get("http://h/a", nullptr);
    get("http://h/b", nullptr);
    get("http://h/b", nullptr);
    Send post;
    post.method = "POST";
    post.url = "http://h/a";
    send(post, nullptr);
    get("http://h/none", nullptr);
    EXPECT_EQ(veltrona_fake_calls_method("GET"), 3);
    EXPECT_EQ(veltrona_fake_calls_method("POST"), 1);
    EXPECT_EQ(veltrona_fake_calls_method("get"), 0);
    EXPECT_EQ(veltrona_fake_calls_method(nullptr), 5);
    EXPECT_EQ(veltrona_fake_calls("GET", nullptr), 5);
    EXPECT_EQ(veltrona_fake_writes_sent(), 1);
    ASSERT_NE(veltrona_fake_last_request(), nullptr);

    veltrona_fake_reset();
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 0);
    EXPECT_EQ(veltrona_fake_calls("GET", "http://h/a"), 0);
    EXPECT_EQ(veltrona_fake_calls_method("GET"), 0);
    EXPECT_EQ(veltrona_fake_writes_sent(), 0);
    EXPECT_EQ(veltrona_fake_last_request(), nullptr);
    EXPECT_EQ(get("http://h/a", nullptr).status, 404);
    // The table grows again from empty.
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/a", 200, nullptr, nullptr, 0), 0);
    EXPECT_EQ(get("http://h/a", nullptr).status, 200);
}

}  // namespace
