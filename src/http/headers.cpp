// Header and range utilities: token and header-line checks, case-insensitive
// look-ups, the Content-Range parser and the ranged GET.
#include "http/headers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Token characters besides the ASCII letters and digits.
const char extra[] = "!#$%&'*+-.^_`|~";

bool is_token_char(unsigned char c) noexcept {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c != 0 && std::strchr(extra, c) != nullptr;
}


// Decimal reading in the manner of strtoll; false when no digits were read.
bool read_int(const char *p, int64_t *out, const char **end) noexcept {
    char *e = nullptr;
    long long v = std::strtoll(p, &e, 10);
    *end = e;
    if (e == p) return false;
    *out = static_cast<int64_t>(v);
    return true;
}

}  // namespace

bool veltrona_same_ci(const char *a, const char *b, size_t n) noexcept {
    for (size_t i = 0; i < n; ++i) {
        if (veltrona_fold_ascii(static_cast<unsigned char>(a[i])) !=
            veltrona_fold_ascii(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool veltrona_name_is(const char *a, size_t n, const char *lower) noexcept {
    return std::strlen(lower) == n && veltrona_same_ci(a, lower, n);
}

int32_t veltrona_method_ok(const char *method) noexcept {
    if (!method || !*method) return 0;
    size_t n = 0;
    for (const char *p = method; *p; ++p, ++n) {
        if (!is_token_char(static_cast<unsigned char>(*p))) return 0;
    }
    return n <= 32 ? 1 : 0;
}

int32_t veltrona_header_line(const char *name, const char *value, char *out, size_t size) noexcept {
    if (!name || !*name || !out || size <= 3) return -1;
    for (const char *p = name; *p; ++p) {
        if (!is_token_char(static_cast<unsigned char>(*p))) return -1;
    }
    if (!value) value = "";
    for (const char *p = value; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 32 || c == 127) return -1;
    }
    int n = std::snprintf(out, size, "%s: %s", name, value);
    if (n < 0 || static_cast<size_t>(n) >= size) return -1;
    return 0;
}

const char *veltrona_header_get(const veltrona_http_request *req, const char *name) noexcept {
    if (!req || !name || !*name || req->header_count == 0 || !req->headers) return nullptr;
    size_t n = std::strlen(name);
    for (uint64_t i = 0; i < req->header_count; ++i) {
        const char *line = req->headers[i];
        if (!line) continue;
        // A line shorter than the name fails the comparison at its own NUL,
        // since no name byte is NUL, so nothing past it is read.
        if (!veltrona_same_ci(line, name, n) || line[n] != ':') continue;
        const char *v = line + n + 1;
        while (*v == ' ' || *v == '\t') ++v;
        return v;
    }
    return nullptr;
}

const char *veltrona_hdrs_get(const veltrona_buf *block, const char *name) noexcept {
    if (!block || !name || !block->data || block->len == 0) return nullptr;
    size_t n = std::strlen(name);
    const char *d = block->data;
    uint64_t len = block->len;
    uint64_t off = 0;
    // The block always ends in a NUL at d[len], so strlen never runs past it;
    // an entry cut short by a failed append (name without value) ends the walk.
    while (off < len) {
        size_t nlen = std::strlen(d + off);
        if (off + nlen >= len) break;
        uint64_t voff = off + nlen + 1;
        size_t vlen = std::strlen(d + voff);
        if (nlen == n && veltrona_same_ci(d + off, name, n)) return d + voff;
        off = voff + vlen + 1;
    }
    return nullptr;
}

int32_t veltrona_content_range(const char *text, int64_t *first, int64_t *last, int64_t *total) noexcept {
    int64_t f = -1, l = -1, t = -1;
    if (first) *first = -1;
    if (last) *last = -1;
    if (total) *total = -1;
    if (!text || std::strncmp(text, "bytes", 5) != 0) return -1;
    const char *p = text + 5;
    while (*p == ' ') ++p;

    if (*p == '*' || *p == 0) {
        if (*p == '*') ++p;
    } else {
        const char *e = nullptr;
        if (!read_int(p, &f, &e) || *e != '-' || f < 0) return -1;
        if (first) *first = f;
        p = e + 1;
        if (*p == '*') {
            ++p;
        } else {
            if (!read_int(p, &l, &e) || l < 0 || (*e != '/' && *e != 0)) return -1;
            if (last) *last = l;
            if (l < f) return -1;
            p = e;
        }
    }

    if (*p == 0) return 0;
    if (*p != '/') return -1;
    ++p;
    if (*p == '*') return 0;
    const char *e = nullptr;
    if (!read_int(p, &t, &e) || t < 0 || *e != 0) return -1;
    if (f != -1 && l != -1 && f > t) return -1;
    if (total) *total = t;
    return 0;
}

int32_t veltrona_http_range(const veltrona_http *t, const char *url, int64_t first, int64_t last,
                            veltrona_collect *c, int32_t *status, char **err) noexcept {
    // Both out-parameters are required by every transport; without them the
    // exchange cannot report anything.
    if (!status || !err) {
        if (err) *err = veltrona_strdup("bad range args");
        return -1;
    }
    if (!t || !t->request || !url || !c || first < 0 || first > last) {
        *err = veltrona_strdup("bad range args");
        return -1;
    }
    char line[128];
    std::snprintf(line, sizeof line, "Range: bytes=%lld-%lld", static_cast<long long>(first),
                  static_cast<long long>(last));
    const char *const lines[1] = {line};

    veltrona_http_request req;
    veltrona_request_init(&req, "GET", url, c);
    req.headers = lines;
    req.header_count = 1;

    int32_t rc = t->request(t->user_data, &req, status, err);
    if (rc != 0) return rc;

    // A server that ignored the range sent the whole resource: drop the bytes
    // before `first` so the body starts where the caller asked.
    if (*status == 200 && first > 0 && static_cast<uint64_t>(first) < c->body.len) {
        uint64_t keep = c->body.len - static_cast<uint64_t>(first);
        std::memmove(c->body.data, c->body.data + first, static_cast<size_t>(keep));
        c->body.len = keep;
        c->body.data[keep] = 0;
    }
    return 0;
}
