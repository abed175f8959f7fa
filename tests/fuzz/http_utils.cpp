// The header and range utilities. LF-separated input: a Content-Range
// value, a header name, a header value, then request header lines; the
// whole input also serves as a raw header block and as a response body.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz.h"
#include "http/buf.h"
#include "http/headers.h"

namespace {

bool token(const std::string &s) {
    for (unsigned char c : s) {
        bool alnum = (c >= '0' && c <= '9') || ((c | 32) >= 'a' && (c | 32) <= 'z');
        if (!alnum && !std::strchr("!#$%&'*+-.^_`|~", c)) return false;
    }
    return !s.empty();
}

}  // namespace

int mvfuzz_http_utils(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::vector<std::string> seg = split(data, size, '\n');
    seg.resize(seg.size() < 3 ? 3 : seg.size());
    std::string range = seg[0].c_str(), name = seg[1].c_str(), value = seg[2].c_str();

    int64_t f, l, t;
    if (veltrona_content_range(range.c_str(), &f, &l, &t) == 0)
        MVFUZZ_CHECK(range.compare(0, 5, "bytes") == 0 && f >= -1 && t >= -1 &&
                     (l == -1 || (f >= 0 && l >= f)) && (f == -1 || l == -1 || t == -1 || f <= t));

    MVFUZZ_CHECK(veltrona_method_ok(name.c_str()) == (token(name) && name.size() <= 32));

    bool value_ok = true;
    for (unsigned char c : value) value_ok = value_ok && c >= 32 && c != 127;
    for (size_t cap : {3, 4, 16, 64, 2048}) {
        char out[2048];
        std::string line = name + ": " + value;
        bool want = token(name) && value_ok && cap > 3 && line.size() < cap;
        int32_t rc = veltrona_header_line(name.c_str(), value.c_str(), out, cap);
        MVFUZZ_CHECK(rc == (want ? 0 : -1) && (!want || line == out));
    }

    // The first request line "<name>:" gives the value after its blanks.
    std::vector<const char *> lines;
    const char *want = nullptr;
    for (size_t k = 3; k < seg.size(); k++) {
        const char *s = seg[k].c_str();
        lines.push_back(k % 4 ? s : nullptr);
        if (!want && k % 4 && !name.empty() && std::strlen(s) > name.size() && s[name.size()] == ':' &&
            veltrona_same_ci(s, name.c_str(), name.size()))
            want = s + name.size() + 1 + std::strspn(s + name.size() + 1, " \t");
    }
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.headers = lines.data();
    req.header_count = lines.size();
    MVFUZZ_CHECK(veltrona_header_get(&req, name.c_str()) == want);

    // Any block of bytes: a found value lies inside it.
    char *raw = static_cast<char *>(std::malloc(size + 1));
    if (size) std::memcpy(raw, data, size);
    raw[size] = 0;
    veltrona_buf block = {raw, size, size + 1};
    const char *got = veltrona_hdrs_get(&block, name.c_str());
    MVFUZZ_CHECK(!got || (got > raw && got <= raw + size && got[-1] == 0));
    std::free(raw);

    // A ranged GET answered 200 with the whole input starts at `first`.
    host().answer = [&](const std::string &, const std::string &) {
        Reply r;
        r.body.assign(reinterpret_cast<const char *>(data), size);
        return r;
    };
    int64_t first = size ? data[0] % 64 : 0;
    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    int32_t status = 0;
    char *err = nullptr;
    MVFUZZ_CHECK(veltrona_http_range(host().http(), "http://fuzz.invalid/", first, first + 9, &c, &status, &err) == 0);
    uint64_t skip = static_cast<uint64_t>(first) < size ? static_cast<uint64_t>(first) : 0;
    MVFUZZ_CHECK(status == 200 && c.body.len == size - skip &&
                 (size == skip || std::memcmp(c.body.data, data + skip, size - skip) == 0));
    veltrona_collect_free(&c);
    return 0;
}
