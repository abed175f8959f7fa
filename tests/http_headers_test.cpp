// Header and range utilities: method tokens, header lines, the two header
// look-ups, Content-Range parsing and the ranged GET.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "http/buf.h"
#include "http/exchange.h"
#include "http/fake_server.h"
#include "http/headers.h"

namespace {

TEST(MethodOk, Tokens) {
    const std::string t32(32, 'A');
    const std::string t33(33, 'A');
    struct Case {
        const char *method;
        int32_t want;
    } cases[] = {
        {"GET", 1},
        {"PROPPATCH", 1},
        {"M-SEARCH", 1},
        {"!#$%&'*+-.^_`|~", 1},
        {t32.c_str(), 1},
        {t33.c_str(), 0},
        {"", 0},
        {nullptr, 0},
        {"GE T", 0},
        {"GET\r", 0},
        {"G\xc3\xa9T", 0},
        {"GET:", 0},
        {"(GET)", 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(veltrona_method_ok(c.method), c.want) << (c.method ? c.method : "(null)");
    }
}

// The one case folding serves the header look-ups and the JSON member
// readers: only A-Z fold, so neighbours one bit apart ('[' and '{') and
// bytes above 0x7F stay distinct whatever the locale.
TEST(SameCi, FoldsOnlyAsciiLetters) {
    struct Case {
        const char *a, *b;
        bool want;
    } cases[] = {
        {"Content-Type", "content-TYPE", true},
        {"AZ", "az", true},
        {"a\x80", "A\x80", true},
        {"ab", "ac", false},
        {"[@", "{`", false},      // one bit apart, not letters
        {"\xc4", "\xe4", false},  // Latin-1 letters are not folded
    };
    for (const Case &c : cases)
        EXPECT_EQ(veltrona_same_ci(c.a, c.b, std::strlen(c.a)), c.want) << c.a << " ~ " << c.b;
    static_assert(veltrona_fold_ascii('Q') == 'q' && veltrona_fold_ascii('@') == '@',
                  "usable at compile time");
}

TEST(HeaderLine, WritesAndRefuses) {
    struct Case {
        const char *name;
        const char *value;
        size_t size;
        int32_t want;
        const char *text;  // expected line when written
    } cases[] = {
        {"Content-Type", "text/plain", 256, 0, "Content-Type: text/plain"},
        {"X-A", nullptr, 256, 0, "X-A: "},
        {"X-A", "", 256, 0, "X-A: "},
        {"X-U", "caf\xc3\xa9", 256, 0, "X-U: caf\xc3\xa9"},
        {"X-A", "1", 7, 0, "X-A: 1"},
        {"Bad Name", "v", 256, -1, nullptr},
        {"Bad:Name", "v", 256, -1, nullptr},
        {"", "v", 256, -1, nullptr},
        {nullptr, "v", 256, -1, nullptr},
        {"X-A", "a\tb", 256, -1, nullptr},
        {"X-A", "a\rb", 256, -1, nullptr},
        {"X-A", "a\nb", 256, -1, nullptr},
        {"X-A", "a\x7f", 256, -1, nullptr},
        {"X", "", 3, -1, nullptr},
    };
    for (const Case &c : cases) {
        char out[256];
        std::memset(out, '#', sizeof out);
        out[255] = 0;
        EXPECT_EQ(veltrona_header_line(c.name, c.value, out, c.size), c.want) << (c.name ? c.name : "(null)");
        if (c.text)
            EXPECT_STREQ(out, c.text);
        else
            EXPECT_EQ(out[0], '#') << "a refused line leaves the buffer untouched";
    }
    char small[4];
    EXPECT_EQ(veltrona_header_line("X", "v", nullptr, 256), -1);
    EXPECT_EQ(veltrona_header_line("X", "v", small, 0), -1);
}

TEST(HeaderLine, CutLineIsRefusedAndStaysInside) {
    // "X-A: 12" needs 8 bytes with its NUL: 7 bytes cut it, 8 hold it.
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(veltrona_header_line("X-A", "12", out, 7), -1);
    EXPECT_STREQ(out, "X-A: 1");
    EXPECT_EQ(out[7], '#') << "nothing written past the given size";
    EXPECT_EQ(veltrona_header_line("X-A", "12", out, 8), 0);
    EXPECT_STREQ(out, "X-A: 12");
}

veltrona_http_request request_with(const std::vector<const char *> &lines) {
    veltrona_http_request r;
    std::memset(&r, 0, sizeof r);
    r.size = VELTRONA_HTTP_REQUEST_SIZE;
    r.method = "GET";
    r.url = "http://h/";
    r.headers = lines.data();
    r.header_count = lines.size();
    return r;
}

TEST(HeaderGet, FindsFirstMatchingLine) {
    const std::vector<const char *> lines = {nullptr, "Content-Type :x", "Co", "content-type:\t text/plain",
                                             "Content-Type: second", "X-Empty:", "X-\xc3\x84: u"};
    veltrona_http_request r = request_with(lines);
    struct Case {
        const char *name;
        const char *want;  // nullptr: not found
    } cases[] = {
        {"Content-Type", "text/plain"},
        {"CONTENT-TYPE", "text/plain"},
        {"Content", nullptr},
        {"X-Empty", ""},
        {"x-\xc3\xa4", nullptr},  // only ASCII letters fold
        {"X-\xc3\x84", "u"},
        {"", nullptr},
        {nullptr, nullptr},
    };
    for (const Case &c : cases) {
        const char *got = veltrona_header_get(&r, c.name);
        if (c.want) {
            ASSERT_NE(got, nullptr) << c.name;
            EXPECT_STREQ(got, c.want) << c.name;
        } else {
            EXPECT_EQ(got, nullptr) << (c.name ? c.name : "(null)");
        }
    }
    // The value points into the caller's line.
    EXPECT_EQ(veltrona_header_get(&r, "content-type"), lines[3] + 15);

    EXPECT_EQ(veltrona_header_get(nullptr, "Content-Type"), nullptr);
    r.header_count = 0;
    EXPECT_EQ(veltrona_header_get(&r, "Content-Type"), nullptr);
    r.header_count = 3;
    r.headers = nullptr;
    EXPECT_EQ(veltrona_header_get(&r, "Content-Type"), nullptr);
}

TEST(HdrsGet, WalksTheCollectorBlock) {
    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    ASSERT_EQ(veltrona_collect_header(&c, ":status", "200"), 0);
    ASSERT_EQ(veltrona_collect_header(&c, "Content-Length", "10"), 0);
    ASSERT_EQ(veltrona_collect_header(&c, "Location", "/x"), 0);
    ASSERT_EQ(veltrona_collect_header(&c, "X-Empty", ""), 0);
    ASSERT_EQ(veltrona_collect_header(&c, "location", "/second"), 0);

    struct Case {
        const char *name;
        const char *want;
    } cases[] = {
        {"content-length", "10"}, {"LOCATION", "/x"}, {"X-Empty", ""},  {"Content", nullptr},
        {"Content-Length2", nullptr}, {":status", nullptr}, {"", nullptr}, {nullptr, nullptr},
    };
    for (const Case &k : cases) {
        const char *got = veltrona_hdrs_get(&c.headers, k.name);
        if (k.want) {
            ASSERT_NE(got, nullptr) << k.name;
            EXPECT_STREQ(got, k.want) << k.name;
        } else {
            EXPECT_EQ(got, nullptr) << (k.name ? k.name : "(null)");
        }
    }
    EXPECT_EQ(veltrona_hdrs_get(nullptr, "Location"), nullptr);
    veltrona_buf empty = {nullptr, 0, 0};
    EXPECT_EQ(veltrona_hdrs_get(&empty, "Location"), nullptr);
    veltrona_collect_free(&c);
}

TEST(HdrsGet, EntryCutShortEndsTheWalk) {
    // A block whose last entry lost its value to a failed append: the name's
    // terminator is the buffer's own NUL.
    veltrona_buf b = {nullptr, 0, 0};
    ASSERT_EQ(veltrona_buf_add(&b, "A\0" "1\0" "Cut", 7), 0);
    ASSERT_NE(veltrona_hdrs_get(&b, "a"), nullptr);
    EXPECT_STREQ(veltrona_hdrs_get(&b, "a"), "1");
    EXPECT_EQ(veltrona_hdrs_get(&b, "Cut"), nullptr);
    veltrona_buf_free(&b);
}

// The raw head as WinHTTP hands it over (libcurl refuses some of these
// lines before they get here).
TEST(ReadHead, KeepsNamesAsReceivedAndDropsWhatCannotBeDelivered) {
    const char raw[] = "HTTP/1.1 200 OK\r\nX-A: a\r\nno colon\r\nX-Empty:\r\nX-Blank: \t \r\n"
                       "X-Spaced :\t v w \r\n: no name\r\nX-Nul: a\0b\r\nX-LF: lf\nX-Last:last";
    veltrona_delivery d{};
    veltrona_read_head(&d, raw, sizeof raw - 1);
    std::vector<std::string> got;
    for (uint64_t off = 0; off < d.hdrs.len; off += got.back().size() + 1) got.emplace_back(d.hdrs.data + off);
    EXPECT_EQ(got, (std::vector<std::string>{"X-A", "a", "X-Spaced ", "v w ", "X-LF", "lf", "X-Last", "last"}));
    veltrona_read_head(&d, "HTTP/1.1 204 No Content\r\n\r\n", 27);
    EXPECT_EQ(d.hdrs.len, 0u);
    veltrona_delivery_free(&d);
}

TEST(ContentRange, FormsAndRefusals) {
    struct Case {
        const char *text;
        int32_t rc;
        int64_t first, last, total;  // checked on success only
    } cases[] = {
        {"bytes 0-99/1000", 0, 0, 99, 1000},
        {"bytes */1000", 0, -1, -1, 1000},
        {"bytes 5-*", 0, 5, -1, -1},
        {"bytes 5-*/20", 0, 5, -1, 20},
        {"bytes 0-99", 0, 0, 99, -1},
        {"bytes 0-99/*", 0, 0, 99, -1},
        {"bytes", 0, -1, -1, -1},
        {"bytes *", 0, -1, -1, -1},
        {"bytes 0-100/50", 0, 0, 100, 50},
        {"bytes   7-7/8", 0, 7, 7, 8},
        {"bytes 9223372036854775806-9223372036854775807/9223372036854775807", 0,
         INT64_C(9223372036854775806), INT64_C(9223372036854775807), INT64_C(9223372036854775807)},
        {"bytes 5-3/10", -1, 0, 0, 0},
        {"bytes 10-20/5", -1, 0, 0, 0},
        {"Bytes 0-1/2", -1, 0, 0, 0},
        {"bytes 0-1/2x", -1, 0, 0, 0},
        {"bytes 0-1x/2", -1, 0, 0, 0},
        {"bytes -1-5/10", -1, 0, 0, 0},
        {"bytes 1--5/10", -1, 0, 0, 0},
        {"bytes 0-1/-2", -1, 0, 0, 0},
        {"bytes x-1/2", -1, 0, 0, 0},
        {"bytes 1/2", -1, 0, 0, 0},
        {"bytes 1-/2", -1, 0, 0, 0},
        {"bytes 0-1/", -1, 0, 0, 0},
        {"bytes */x", -1, 0, 0, 0},
        {"bytes *x", -1, 0, 0, 0},
        {"", -1, 0, 0, 0},
        {nullptr, -1, 0, 0, 0},
    };
    for (const Case &c : cases) {
        int64_t f = 42, l = 42, t = 42;
        const char *shown = c.text ? c.text : "(null)";
        ASSERT_EQ(veltrona_content_range(c.text, &f, &l, &t), c.rc) << shown;
        if (c.rc == 0) {
            EXPECT_EQ(f, c.first) << shown;
            EXPECT_EQ(l, c.last) << shown;
            EXPECT_EQ(t, c.total) << shown;
        }
    }
}

class HttpRange : public ::testing::Test {
protected:
    void SetUp() override { veltrona_fake_reset(); }
    void TearDown() override { veltrona_fake_reset(); }
};

std::string digits(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + i % 10));
    return s;
}

TEST_F(HttpRange, WholeAnswerIsRealignedToFirst) {
    const std::string content = digits(1000);
    // A static route ignores the Range header and answers everything.
    ASSERT_EQ(veltrona_fake_set("GET", "http://h/all", 200, nullptr, content.data(), content.size()), 0);
    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    int32_t status = -1;
    char *err = nullptr;
    ASSERT_EQ(veltrona_http_range(veltrona_http_fake(), "http://h/all", 100, 199, &c, &status, &err), 0);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(err, nullptr);
    ASSERT_EQ(c.body.len, 900u);
    EXPECT_EQ(std::string(c.body.data, 900), content.substr(100));
    EXPECT_EQ(c.body.data[900], 0);
    const char *journal = veltrona_fake_last_request();
    ASSERT_NE(journal, nullptr);
    EXPECT_NE(std::strstr(journal, "\"headers\":[\"Range: bytes=100-199\"]"), nullptr) << journal;
    veltrona_collect_free(&c);

    // A start at or past the end of a whole answer leaves it as received.
    veltrona_collect_init(&c, 0);
    ASSERT_EQ(veltrona_http_range(veltrona_http_fake(), "http://h/all", 1000, 1999, &c, &status, &err), 0);
    EXPECT_EQ(c.body.len, 1000u);
    veltrona_collect_free(&c);
}

TEST_F(HttpRange, PartialAnswerPassesThrough) {
    const std::string content = digits(1000);
    ASSERT_EQ(veltrona_fake_file("http://h/f", content.data(), content.size(), FAKE_RANGE_CLAMP), 0);
    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    int32_t status = -1;
    char *err = nullptr;
    ASSERT_EQ(veltrona_http_range(veltrona_http_fake(), "http://h/f", 100, 199, &c, &status, &err), 0);
    EXPECT_EQ(status, 206);
    EXPECT_EQ(std::string(c.body.data, c.body.len), content.substr(100, 100));
    EXPECT_STREQ(veltrona_hdrs_get(&c.headers, "content-range"), "bytes 100-199/1000");
    veltrona_collect_free(&c);

    veltrona_collect_init(&c, 0);
    ASSERT_EQ(veltrona_http_range(veltrona_http_fake(), "http://h/f", 2000, 2001, &c, &status, &err), 0);
    EXPECT_EQ(status, 416);
    EXPECT_EQ(c.body.len, 0u);
    veltrona_collect_free(&c);
}

TEST_F(HttpRange, BadArgumentsSendNothing) {
    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    const veltrona_http *t = veltrona_http_fake();
    struct Case {
        const veltrona_http *t;
        const char *url;
        int64_t first, last;
        veltrona_collect *c;
    } cases[] = {
        {t, "http://h/", -1, 10, &c}, {t, "http://h/", 5, 4, &c}, {nullptr, "http://h/", 0, 1, &c},
        {t, nullptr, 0, 1, &c},       {t, "http://h/", 0, 1, nullptr},
    };
    for (const Case &k : cases) {
        int32_t status = 77;
        char *err = nullptr;
        EXPECT_EQ(veltrona_http_range(k.t, k.url, k.first, k.last, k.c, &status, &err), -1);
        ASSERT_NE(err, nullptr);
        EXPECT_STREQ(err, "bad range args");
        EXPECT_EQ(status, 77) << "the status is not touched";
        std::free(err);
    }
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), 0);

    // A failing transport's result and text come back unchanged.
    ASSERT_EQ(veltrona_fake_fail("GET", "http://h/down", "no route to host"), 0);
    int32_t status = 0;
    char *err = nullptr;
    EXPECT_EQ(veltrona_http_range(t, "http://h/down", 0, 1, &c, &status, &err), -1);
    ASSERT_NE(err, nullptr);
    EXPECT_STREQ(err, "no route to host");
    t->free(t->user_data, err);
    veltrona_collect_free(&c);
}

}  // namespace
