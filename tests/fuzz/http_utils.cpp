// The header and range utilities. LF-separated input: a Content-Range
// value, a header name, a header value, then request header lines; the
// whole input also serves as a response body.
#include <cstring>

#include "fuzz/fuzz.h"
#include "http/headers.h"

namespace {

bool token(const std::string &s) {
    for (unsigned char c : s)
        if (!((c >= '0' && c <= '9') || ((c | 32) >= 'a' && (c | 32) <= 'z') || std::strchr("!#$%&'*+-.^_`|~", c)))
            return false;
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
        MVFUZZ_CHECK(range.compare(0, 5, "bytes") == 0 && f >= -1 && t >= -1 && (l == -1 || (f >= 0 && l >= f)) &&
                     (f == -1 || l == -1 || t == -1 || f <= t));
    MVFUZZ_CHECK(veltrona_method_ok(name.c_str()) == (token(name) && name.size() <= 32));

    bool value_ok = true;
    for (unsigned char c : value) value_ok = value_ok && c >= 32 && c != 127;
    for (size_t cap : {3, 4, 16, 64, 2048}) {
        char out[2048];
        std::string line = name + ": " + value;
        bool ok = token(name) && value_ok && cap > 3 && line.size() < cap;
        MVFUZZ_CHECK(veltrona_header_line(name.c_str(), value.c_str(), out, cap) == (ok ? 0 : -1) && (!ok || line == out));
    }

    // The first request line "<name>:" gives the value after its blanks;
    // every fourth entry is NULL.
    std::vector<const char *> lines;
    const char *want = nullptr;
    for (size_t k = 3; k < seg.size(); k++) {
        const char *s = k % 4 ? seg[k].c_str() : nullptr;
        lines.push_back(s);
        if (s && !want && !name.empty() && std::strlen(s) > name.size() && s[name.size()] == ':' &&
            veltrona_same_ci(s, name.c_str(), name.size()))
            want = s + name.size() + 1 + std::strspn(s + name.size() + 1, " \t");
    }
    veltrona_http_request req{};
    req.headers = lines.data();
    req.header_count = lines.size();
    MVFUZZ_CHECK(veltrona_header_get(&req, name.c_str()) == want);

    // A ranged GET answered 200 with the whole input keeps it from `first`.
    std::string body(reinterpret_cast<const char *>(data), size);
    answer = [&](const std::string &) { return Reply{"200", 200, {}, body}; };
    int64_t first = size ? data[0] % 64 : 0;
    size_t skip = static_cast<size_t>(first) < size ? static_cast<size_t>(first) : 0;
    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    int32_t status = 0;
    char *err = nullptr;
    MVFUZZ_CHECK(veltrona_http_range(host(), "http://fuzz.invalid/", first, first + 9, &c, &status, &err) == 0);
    MVFUZZ_CHECK(status == 200 && std::string(c.body.data ? c.body.data : "", c.body.len) == body.substr(skip));
    veltrona_collect_free(&c);
    return 0;
}
