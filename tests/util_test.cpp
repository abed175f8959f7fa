// Support utilities: hash, percent-encoding, copies, staleness, readers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <yyjson.h>

#include "api/core.h"
#include "api/util.h"
#include "mvfiles.h"

namespace {

TEST(StableHash, KnownValuesAndMalformedInput) {
    struct Case {
        const char *text;
        size_t len;  // SIZE_MAX: use strlen
        int32_t want;
    } cases[] = {
        {"", SIZE_MAX, 371857150},
        {"abc", SIZE_MAX, 1099313834},
        {"tt0111161", SIZE_MAX, 1597237101},
        {"\xC3", SIZE_MAX, 0},              // ends inside a sequence
        {"a\x80" "b", SIZE_MAX, 0},         // stray continuation byte
        {"\xF8\x88\x80\x80\x80", SIZE_MAX, 0},
        {"\xC3(", SIZE_MAX, 0},             // continuation byte expected
        {"\xE2\x82", SIZE_MAX, 0},
    };
    for (const auto &c : cases) {
        size_t n = c.len == SIZE_MAX ? std::strlen(c.text) : c.len;
        EXPECT_EQ(mvfiles_stable_hash_impl(c.text, n), c.want) << c.text;
    }
    EXPECT_EQ(mvfiles_stable_hash(nullptr), 0);
    EXPECT_EQ(mvfiles_stable_hash_impl(nullptr, 3), 0);
    EXPECT_EQ(mvfiles_stable_hash("tt0111161"), 1597237101);
}

// The hash works on UTF-16 units: an explicit reference over the units.
int32_t reference_hash(const std::u16string &units) {
    uint32_t l1 = 5381, l2 = 5381;
    for (size_t i = 0; i < units.size(); i += 2) {
        if (units[i] == 0) break;
        l1 = (l1 * 33u) ^ units[i];
        if (i + 1 >= units.size() || units[i + 1] == 0) break;
        l2 = (l2 * 33u) ^ units[i + 1];
    }
    uint32_t h = l1 + l2 * 1566083941u;
    if (h == 0x80000000u) return 0;
    int32_t s = static_cast<int32_t>(h);
    return s < 0 ? -s : s;
}

TEST(StableHash, MultiByteAndSurrogatePairs) {
    EXPECT_EQ(mvfiles_stable_hash("\xC3\xBC"), reference_hash(u"\u00FC"));
    EXPECT_EQ(mvfiles_stable_hash("x\xE2\x82\xAC"), reference_hash(u"x\u20AC"));
    // U+1F600 is hashed as its two surrogate units D83D DE00.
    EXPECT_EQ(mvfiles_stable_hash("\xF0\x9F\x98\x80"), reference_hash(std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(mvfiles_stable_hash("ab\xF0\x9F\x98\x80z"),
              reference_hash(std::u16string{u'a', u'b', 0xD83D, 0xDE00, u'z'}));
    // An explicit length covering a NUL ends the hash there.
    EXPECT_EQ(mvfiles_stable_hash_impl("ab\0cd", 5), mvfiles_stable_hash("ab"));
}

TEST(UrlEncode, Examples) {
    struct Case {
        const char *in, *want;
    } cases[] = {
        {"a b&c/\xC3\xBC", "a%20b%26c%2F%C3%BC"},
        {"A-z_0.9~", "A-z_0.9~"},
        {"+%=?#", "%2B%25%3D%3F%23"},
        {"\x01\x7F\xFF", "%01%7F%FF"},
        {"", ""},
    };
    for (const auto &c : cases) {
        char *out = mvfiles_url_encode(c.in);
        ASSERT_NE(out, nullptr);
        EXPECT_STREQ(out, c.want);
        std::free(out);
    }
    char *out = mvfiles_url_encode(nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, "");
    std::free(out);
}

TEST(Copies, StrdupAndStrndup) {
    EXPECT_EQ(mvfiles_strdup(nullptr), nullptr);
    EXPECT_EQ(mvfiles_strndup(nullptr, 2), nullptr);
    char *e = mvfiles_strndup(nullptr, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e, "");
    std::free(e);
    char *p = mvfiles_strndup("a\0b", 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "a\0b\0", 4), 0);
    std::free(p);
    char *d = mvfiles_strdup("xyz");
    EXPECT_STREQ(d, "xyz");
    std::free(d);
}

// Cache keys and prefixes are written as snprintf would write them.
TEST(Text, WritesAsSnprintfWould) {
    const int32_t numbers[] = {0, 7, -1, 2147483647, INT32_MIN};
    for (size_t size : {0, 1, 5, 9, 64}) {
        for (int32_t v : numbers) {
            SCOPED_TRACE(std::to_string(size) + " " + std::to_string(v));
            char want[64] = "unchanged", got[64] = "unchanged";
            int n = std::snprintf(want, size, "files|%s|%d", "tt01", v);
            mvfiles_text t(got, size);
            t.add("files|").add("tt01").add("|").add(v);
            EXPECT_EQ(t.length(), static_cast<size_t>(n));
            EXPECT_EQ(t.whole(), static_cast<size_t>(n) < size);
            EXPECT_STREQ(got, want);
        }
    }
    char *url = mvfiles_concat({"http://h", "/api?id=", "", "tt1"});
    EXPECT_STREQ(url, "http://h/api?id=tt1");
    std::free(url);
}

TEST(CacheExpired, Boundaries) {
    int64_t now = mvfiles_now();
    EXPECT_EQ(mvfiles_cache_expired(0, 300), 1);
    EXPECT_EQ(mvfiles_cache_expired(0, 0), 0);
    EXPECT_EQ(mvfiles_cache_expired(1, -5), 0);
    EXPECT_EQ(mvfiles_cache_expired(now - 100000, 0), 0);
    // Fresh up to and including t + ttl: read the boundary within one tick
    // of the clock.
    bool measured = false;
    for (int attempt = 0; attempt < 20 && !measured; attempt++) {
        int64_t t0 = mvfiles_now();
        int at_boundary = mvfiles_cache_expired(t0 - 300, 300);
        int past_boundary = mvfiles_cache_expired(t0 - 301, 300);
        if (mvfiles_now() != t0) continue;
        measured = true;
        EXPECT_EQ(at_boundary, 0);
        EXPECT_EQ(past_boundary, 1);
    }
    EXPECT_TRUE(measured);
    EXPECT_EQ(mvfiles_cache_expired(now + 1000, 300), 1) << "clock went backwards: stale";
}

// Parses JSON text into a document owned by the fixture.
class Readers : public ::testing::Test {
protected:
    yyjson_val *obj(const char *json) {
        yyjson_doc_free(doc_);
        doc_ = yyjson_read(json, std::strlen(json), 0);
        EXPECT_NE(doc_, nullptr) << json;
        return yyjson_doc_get_root(doc_);
    }
    void TearDown() override { yyjson_doc_free(doc_); }
    yyjson_doc *doc_ = nullptr;
};

TEST_F(Readers, LookupPrecedence) {
    const char *s = nullptr;
    yyjson_val *o = obj(R"({"key":"x","Key":"y"})");
    EXPECT_EQ(mvfiles_js(&s, o, "Key", "key"), 1);
    EXPECT_STREQ(s, "y");
    EXPECT_EQ(mvfiles_js(&s, o, "key", "Key"), 1);
    EXPECT_STREQ(s, "x");

    o = obj(R"({"KEY":"upper"})");
    EXPECT_EQ(mvfiles_js(&s, o, "key", "Key"), 1);
    EXPECT_STREQ(s, "upper");

    o = obj(R"({"kEY":"v"})");
    EXPECT_EQ(mvfiles_js(&s, o, "Id", "id"), 0);
    EXPECT_EQ(s, nullptr);

    // Exact match of the second name beats a case-insensitive one of the first.
    o = obj(R"({"NAME":"ci","alias":"exact"})");
    EXPECT_EQ(mvfiles_js(&s, o, "name", "alias"), 1);
    EXPECT_STREQ(s, "exact");
    // The case-insensitive pass uses only the first name; duplicates: first wins.
    o = obj(R"({"ALIAS":"no","Name":"one","NAME":"two"})");
    EXPECT_EQ(mvfiles_js(&s, o, "name", "alias"), 1);
    EXPECT_STREQ(s, "one");
    // Only the second name given: used for the case-insensitive pass.
    o = obj(R"({"ID":"b"})");
    EXPECT_EQ(mvfiles_js(&s, o, nullptr, "id"), 1);
    EXPECT_STREQ(s, "b");
    // A key with an embedded NUL never equals a shorter name.
    o = obj("{\"id\\u0000x\":\"nul\"}");
    EXPECT_EQ(mvfiles_js(&s, o, "id", nullptr), 0);

    EXPECT_EQ(mvfiles_geti(obj("[1]"), "a", "b"), nullptr);
    EXPECT_EQ(mvfiles_geti(obj("{}"), "a", "b"), nullptr);
    EXPECT_EQ(mvfiles_geti(obj(R"({"a":1})"), nullptr, nullptr), nullptr);
    EXPECT_EQ(mvfiles_geti(nullptr, "a", "b"), nullptr);
    EXPECT_EQ(mvfiles_js(&s, obj(R"(["key"])"), "key", "Key"), 0);
}

TEST_F(Readers, IntegerSaturationTable) {
    struct Case {
        const char *value;
        int ok32;
        int32_t v32;
        int ok64;
        int64_t v64;
    } cases[] = {
        {"3000000000", 1, INT32_MAX, 1, 3000000000LL},
        {"-3000000000", 1, INT32_MIN, 1, -3000000000LL},
        {"-2.9", 1, -2, 1, -2},
        {"2.9", 1, 2, 1, 2},
        {"2100000000.0", 1, INT32_MAX, 1, 2100000000LL},
        {"2099999999.9", 1, 2099999999, 1, 2099999999LL},
        {"-2100000000.0", 1, INT32_MIN, 1, -2100000000LL},
        {"18446744073709551615", 1, INT32_MAX, 1, INT64_MAX},
        {"-9223372036854775808", 1, INT32_MIN, 1, INT64_MIN},
        {"1e19", 1, INT32_MAX, 1, INT64_MAX},
        {"-1e19", 1, INT32_MIN, 1, INT64_MIN},
        {"9e18", 1, INT32_MAX, 1, INT64_MAX},
        {"8.9e18", 1, INT32_MAX, 1, 8900000000000000000LL},
        {"\"12\"", 0, 0, 0, 0},
        {"true", 0, 0, 0, 0},
        {"null", 0, 0, 0, 0},
        {"{}", 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        std::string json = std::string("{\"n\":") + c.value + "}";
        yyjson_val *o = obj(json.c_str());
        int32_t v32 = 99;
        int64_t v64 = 99;
        EXPECT_EQ(mvfiles_ji(&v32, o, "n", nullptr), c.ok32) << c.value;
        EXPECT_EQ(v32, c.v32) << c.value;
        EXPECT_EQ(mvfiles_jll(&v64, o, "n", nullptr), c.ok64) << c.value;
        EXPECT_EQ(v64, c.v64) << c.value;
    }
}

TEST_F(Readers, DoublesBooleansAndAbsence) {
    double d = 1;
    yyjson_val *o = obj(R"({"r":2.5,"u":7,"s":-3,"t":"1.5","b":false,"one":1,"nul":null})");
    EXPECT_EQ(mvfiles_jd(&d, o, "r", nullptr), 1);
    EXPECT_DOUBLE_EQ(d, 2.5);
    EXPECT_EQ(mvfiles_jd(&d, o, "u", nullptr), 1);
    EXPECT_DOUBLE_EQ(d, 7.0);
    EXPECT_EQ(mvfiles_jd(&d, o, "s", nullptr), 1);
    EXPECT_DOUBLE_EQ(d, -3.0);
    EXPECT_EQ(mvfiles_jd(&d, o, "t", nullptr), 0);
    EXPECT_DOUBLE_EQ(d, 0.0);

    int b = 7;
    EXPECT_EQ(mvfiles_jb(&b, o, "b", nullptr), 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(mvfiles_jb(&b, o, "one", nullptr), 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(mvfiles_jb(&b, o, "nul", nullptr), 0);
    const char *s = "x";
    EXPECT_EQ(mvfiles_js(&s, o, "nul", nullptr), 0);
    EXPECT_EQ(s, nullptr);
    int32_t i = 5;
    EXPECT_EQ(mvfiles_ji(&i, o, "missing", "Missing"), 0);
    EXPECT_EQ(i, 0);
}

}  // namespace
