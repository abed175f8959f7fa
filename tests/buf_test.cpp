// Buffers, duplicators, the response collector and io validation.
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "http/buf.h"

namespace {

TEST(Buf, GrowthFrom64ByDoubling) {
    veltrona_buf b{};
    ASSERT_EQ(veltrona_buf_add(&b, "", 0), 0);
    EXPECT_EQ(b.cap, 64u);
    EXPECT_EQ(b.len, 0u);
    ASSERT_NE(b.data, nullptr);
    EXPECT_STREQ(b.data, "");
    veltrona_buf_free(&b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.cap, 0u);

    struct Case {
        size_t n;
        uint64_t cap;
    } cases[] = {{63, 64}, {64, 128}, {65, 128}, {127, 128}, {128, 256}, {1000, 1024}};
    for (const auto &c : cases) {
        std::string s(c.n, 'q');
        ASSERT_EQ(veltrona_buf_add(&b, s.data(), s.size()), 0);
        EXPECT_EQ(b.cap, c.cap) << c.n;
        EXPECT_EQ(b.len, c.n);
        EXPECT_EQ(b.data[b.len], 0);
        veltrona_buf_free(&b);
    }
}

TEST(Buf, AddcAddsAndOverflowIsRefused) {
    veltrona_buf b{};
    ASSERT_EQ(veltrona_buf_adds(&b, "ab"), 0);
    ASSERT_EQ(veltrona_buf_addc(&b, 0), 0);
    ASSERT_EQ(veltrona_buf_addc(&b, 'c'), 0);
    EXPECT_EQ(b.len, 4u);
    EXPECT_EQ(std::memcmp(b.data, "ab\0c\0", 5), 0);
    // A length that would overflow 64 bits is refused and changes nothing.
    EXPECT_EQ(veltrona_buf_add(&b, "x", UINT64_MAX - 2), -1);
    EXPECT_EQ(b.len, 4u);
    veltrona_buf_free(&b);
}

TEST(Strings, Duplicators) {
    EXPECT_EQ(veltrona_strdup(nullptr), nullptr);
    char *p = veltrona_strndup("a\0b", 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "a\0b\0", 4), 0);
    std::free(p);
    p = veltrona_strdup("hello");
    EXPECT_STREQ(p, "hello");
    std::free(p);
}

TEST(Collect, StatusAndHeaderBlock) {
    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    struct Case {
        const char *value;
        int32_t want;
    } statuses[] = {{"206", 206}, {"  404x", 404}, {"+201", 201}, {"abc", 0}, {nullptr, 0}};
    for (const auto &s : statuses) {
        EXPECT_EQ(veltrona_collect_header(&c, ":status", s.value), 0);
        EXPECT_EQ(c.status, s.want) << (s.value ? s.value : "(null)");
    }
    EXPECT_EQ(c.headers.len, 0u) << ":status never enters the block";
    EXPECT_EQ(veltrona_collect_header(&c, "X-Null", nullptr), 0);
    EXPECT_EQ(veltrona_collect_header(&c, "A", "b"), 0);
    const char want[] = "X-Null\0\0A\0b\0";
    ASSERT_EQ(c.headers.len, sizeof want - 1);
    EXPECT_EQ(std::memcmp(c.headers.data, want, sizeof want - 1), 0);
    veltrona_collect_free(&c);
    EXPECT_EQ(c.headers.data, nullptr);
    EXPECT_EQ(c.status, 0);
}

TEST(Collect, BodyBound) {
    struct Case {
        uint64_t bound;
        uint64_t a, b;
        int32_t ra, rb;
        uint64_t kept;
        int32_t over;
    } cases[] = {
        {10, 6, 6, 0, 1, 10, 1},
        {10, 5, 5, 0, 0, 10, 0},
        {10, 11, 1, 1, 1, 10, 1},
        {0, 6000, 6000, 0, 0, 12000, 0},
    };
    for (const auto &k : cases) {
        veltrona_collect c;
        veltrona_collect_init(&c, k.bound);
        std::string pa(k.a, 'a'), pb(k.b, 'b');
        EXPECT_EQ(veltrona_collect_body(&c, pa.data(), pa.size()), k.ra);
        EXPECT_EQ(veltrona_collect_body(&c, pb.data(), pb.size()), k.rb);
        EXPECT_EQ(c.body.len, k.kept);
        EXPECT_EQ(c.over_bound, k.over);
        EXPECT_EQ(c.oom, 0);
        veltrona_collect_free(&c);
        EXPECT_EQ(c.bound, k.bound) << "free keeps the bound";
    }
    veltrona_collect c;
    veltrona_collect_init(&c, 10);
    EXPECT_EQ(veltrona_collect_body(&c, "", 0), 0);
    EXPECT_EQ(c.body.data, nullptr);
    veltrona_collect_free(&c);
}

// An announced length only sizes the body: a false one never changes what is
// collected, and one over the bound reserves nothing.
TEST(Collect, ContentLengthSizesBodyOnce) {
    struct Case {
        const char *length;
        size_t sent;
        uint64_t cap_after_header;
    } cases[] = {
        {"8", 8, 9}, {" 4", 8, 5}, {"20", 3, 21}, {"1000", 3, 0}, {"8x", 8, 0}, {"", 8, 0},
        {"99999999999999999999999", 8, 0}, {"0", 8, 0},
    };
    for (const auto &k : cases) {
        veltrona_collect c;
        veltrona_collect_init(&c, 100);
        EXPECT_EQ(veltrona_collect_header(&c, "content-LENGTH", k.length), 0);
        EXPECT_EQ(c.body.cap, k.cap_after_header) << k.length;
        std::string body(k.sent, 'z');
        EXPECT_EQ(veltrona_collect_body(&c, body.data(), body.size()), 0);
        EXPECT_EQ(std::string(c.body.data, c.body.len), body) << k.length;
        EXPECT_EQ(c.over_bound + c.oom, 0);
        veltrona_collect_free(&c);
    }
}

int32_t dummy_request(void *, const veltrona_http_request *, int32_t *, char **) { return 0; }

TEST(Validate, IoRecords) {
    veltrona_http h{32, 1, nullptr, dummy_request, nullptr};
    veltrona_io_ctx ctx{VELTRONA_IO_MAGIC, 24, &h, 0};
    veltrona_io io{&ctx, nullptr, nullptr, nullptr};
    EXPECT_EQ(veltrona_http_from_ctx(&ctx), &h);
    EXPECT_EQ(veltrona_http_of(&io), &h);
    struct Case {
        const char *what;
        uint32_t hsize, version, magic, csize;
        bool request;
    } refused[] = {
        {"version 2", 32, 2, VELTRONA_IO_MAGIC, 24, true},
        {"size 31", 31, 1, VELTRONA_IO_MAGIC, 24, true},
        {"context size 23", 32, 1, VELTRONA_IO_MAGIC, 23, true},
        {"wrong magic", 32, 1, 0x56544C49, 24, true},
        {"no request", 32, 1, VELTRONA_IO_MAGIC, 24, false},
    };
    for (const auto &r : refused) {
        veltrona_http h2{r.hsize, r.version, nullptr, r.request ? dummy_request : nullptr, nullptr};
        veltrona_io_ctx c2{r.magic, r.csize, &h2, 0};
        veltrona_io io2{&c2, nullptr, nullptr, nullptr};
        EXPECT_EQ(veltrona_http_from_ctx(&c2), nullptr) << r.what;
        EXPECT_EQ(veltrona_http_of(&io2), nullptr) << r.what;
    }
    veltrona_io no_ctx{nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(veltrona_http_of(&no_ctx), nullptr);
    EXPECT_EQ(veltrona_http_of(nullptr), nullptr);
    EXPECT_EQ(veltrona_http_from_ctx(nullptr), nullptr);
}

}  // namespace
