// String copies, percent-encoding, the stable hash, staleness and the
// dual-name JSON member readers.
#include "api/util.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/core.h"
#include "http/buf.h"
#include "http/headers.h"

// One implementation of the heap copies serves the whole library: it lives
// in the transport layer, which the client may call but which never calls
// the client.
char *mvfiles_strdup(const char *s) noexcept { return veltrona_strdup(s); }

char *mvfiles_strndup(const char *s, size_t n) noexcept { return veltrona_strndup(s, n); }

char *mvfiles_format_url(const char *fmt, ...) noexcept {
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    // Most URLs fit the stack buffer and are formatted once; a longer one
    // is formatted again into its exact block.
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    char *out = n < 0 ? nullptr : static_cast<char *>(std::malloc(static_cast<size_t>(n) + 1));
    if (out && static_cast<size_t>(n) < sizeof small)
        std::memcpy(out, small, static_cast<size_t>(n) + 1);
    else if (out)
        std::vsnprintf(out, static_cast<size_t>(n) + 1, fmt, again);
    va_end(again);
    return out;
}

char *mvfiles_concat(std::initializer_list<const char *> parts) noexcept {
    size_t n = 0;
    for (const char *p : parts) n += std::strlen(p);
    char *out = static_cast<char *>(std::malloc(n + 1));
    if (!out) return nullptr;
    char *w = out;
    for (const char *p : parts) {
        size_t k = std::strlen(p);
        std::memcpy(w, p, k);
        w += k;
    }
    *w = 0;
    return out;
}

char *mvfiles_url_encode(const char *s) noexcept {
    size_t n = s ? std::strlen(s) : 0;
    if (n > (SIZE_MAX - 1) / 3) return nullptr;
    char *out = static_cast<char *>(std::malloc(3 * n + 1));
    return out ? mvfiles_url_encode_to(out, s, n) : nullptr;
}

char *mvfiles_url_encode_to(char *out, const char *s, size_t n) noexcept {
    static const char hex[] = "0123456789ABCDEF";
    char *w = out;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            *w++ = static_cast<char>(c);
        } else {
            *w++ = '%';
            *w++ = hex[c >> 4];
            *w++ = hex[c & 15];
        }
    }
    *w = 0;
    return out;
}

// The stable hash is Bernstein's djb2 string hash ("times 33 xor") in its
// well-known two-lane form over UTF-16 units: two lanes start at djb2's
// 5381 and take every other unit as lane = lane * 33 ^ unit, and the sum
// lane1 + lane2 * 1566083941 is the result. That hash is defined over a
// string's UTF-16 units, so the UTF-8 text is decoded first: a non-ASCII
// text must give the number the UTF-16 original gives, not a hash of its
// bytes.
//
// Why it has to be stable: it is the id of an external-subtitle row
// (mvfiles_sub_id, and parent_id links rows by it), which hosts keep and
// compare across calls, runs and machines. So it takes no per-process seed
// (the randomised string hashes of modern runtimes would not do) and
// depends on nothing of the platform: fixed-width unsigned arithmetic that
// wraps modulo 2^32 everywhere, and its own UTF-8 decoding rather than the
// width of wchar_t.
namespace {

// The two hash lanes fed one UTF-16 unit at a time; a zero unit ends the
// hash, as it would end the unit string.
struct HashLanes {
    uint32_t lane1 = 5381, lane2 = 5381;
    size_t count = 0;
    bool ended = false;
    void feed(uint16_t unit) {
        if (ended) return;
        if (unit == 0) {
            ended = true;
            return;
        }
        if (count++ % 2 == 0)
            lane1 = (lane1 * 33u) ^ unit;
        else
            lane2 = (lane2 * 33u) ^ unit;
    }
};

}  // namespace

// The text is decoded and hashed in one pass, so the hash needs no memory
// and cannot fail for lack of it.
int32_t mvfiles_stable_hash_impl(const char *s, size_t len) noexcept {
    if (!s) return 0;
    if (len == 0) return 371857150;
    const auto *b = reinterpret_cast<const unsigned char *>(s);
    HashLanes h;
    for (size_t i = 0; i < len; i++) {
        unsigned c = b[i];
        if (c < 0x80) {
            h.feed(static_cast<uint16_t>(c));
            continue;
        }
        size_t more;
        uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            more = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            cp = c & 0x07;
        } else {
            return 0;  // stray continuation byte or 0xF8..0xFF
        }
        if (i + more >= len) return 0;  // sequence runs past the end
        for (size_t k = 1; k <= more; k++) {
            unsigned cc = b[i + k];
            if ((cc & 0xC0) != 0x80) return 0;
            cp = (cp << 6) | (cc & 0x3F);
        }
        i += more;
        if (cp <= 0xFFFF) {
            h.feed(static_cast<uint16_t>(cp));
        } else {
            h.feed(static_cast<uint16_t>(((cp - 0x10000) >> 10) + 0xD800));
            h.feed(static_cast<uint16_t>((cp & 0x3FF) + 0xDC00));
        }
    }
    uint32_t v = h.lane1 + h.lane2 * 1566083941u;
    // Read as signed and made non-negative; INT32_MIN has no positive twin.
    if (v == 0x80000000u) return 0;
    auto sv = static_cast<int32_t>(v);
    return sv < 0 ? -sv : sv;
}

int32_t mvfiles_stable_hash(const char *text) noexcept {
    if (!text) return 0;
    return mvfiles_stable_hash_impl(text, std::strlen(text));
}

int32_t mvfiles_cache_expired(int64_t t, int32_t ttl) noexcept {
    if (ttl <= 0) return 0;
    if (t == 0) return 1;
    int64_t now = mvfiles_now();
    // A stamp later than now means the wall clock was set back since the
    // table was built: its age is unknown, so it is not trusted.
    if (now < t) return 1;
    return (now - t) > ttl ? 1 : 0;
}

namespace {

bool key_equals(yyjson_val *key, const char *name, size_t n) {
    return unsafe_yyjson_get_len(key) == n && std::memcmp(unsafe_yyjson_get_str(key), name, n) == 0;
}

bool key_equals_nocase(yyjson_val *key, const char *name, size_t n) {
    return unsafe_yyjson_get_len(key) == n && veltrona_same_ci(unsafe_yyjson_get_str(key), name, n);
}

template <typename Match>
yyjson_val *scan(yyjson_val *obj, Match match) {
    yyjson_obj_iter it = yyjson_obj_iter_with(obj);
    yyjson_val *key;
    while ((key = yyjson_obj_iter_next(&it)) != nullptr) {
        if (match(key)) return yyjson_obj_iter_get_val(key);
    }
    return nullptr;
}

}  // namespace

yyjson_val *mvfiles_geti(yyjson_val *obj, const char *a, const char *b) noexcept {
    if (!obj || !yyjson_is_obj(obj) || (!a && !b) || yyjson_obj_size(obj) == 0) return nullptr;
    yyjson_val *v;
    if (a) {
        size_t n = std::strlen(a);
        if ((v = scan(obj, [&](yyjson_val *k) { return key_equals(k, a, n); }))) return v;
    }
    if (b && (!a || std::strcmp(a, b) != 0)) {
        size_t n = std::strlen(b);
        if ((v = scan(obj, [&](yyjson_val *k) { return key_equals(k, b, n); }))) return v;
    }
    const char *first = a ? a : b;
    size_t n = std::strlen(first);
    return scan(obj, [&](yyjson_val *k) { return key_equals_nocase(k, first, n); });
}

int mvfiles_js(const char **out, yyjson_val *obj, const char *a, const char *b) noexcept {
    yyjson_val *v = mvfiles_geti(obj, a, b);
    if (v && yyjson_is_str(v)) {
        *out = yyjson_get_str(v);
        return 1;
    }
    *out = nullptr;
    return 0;
}

int mvfiles_val_i32(yyjson_val *v, int32_t *out) noexcept {
    *out = 0;
    if (yyjson_is_uint(v)) {
        uint64_t u = unsafe_yyjson_get_uint(v);
        *out = u > INT32_MAX ? INT32_MAX : static_cast<int32_t>(u);
        return 1;
    }
    if (yyjson_is_sint(v)) {
        int64_t s = unsafe_yyjson_get_sint(v);
        *out = s < INT32_MIN ? INT32_MIN : (s > INT32_MAX ? INT32_MAX : static_cast<int32_t>(s));
        return 1;
    }
    if (yyjson_is_real(v)) {
        double d = unsafe_yyjson_get_real(v);
        if (std::isnan(d)) return 0;
        if (d >= 2100000000.0)
            *out = INT32_MAX;
        else if (d <= -2100000000.0)
            *out = INT32_MIN;
        else
            *out = static_cast<int32_t>(d);
        return 1;
    }
    return 0;
}

int mvfiles_val_i64(yyjson_val *v, int64_t *out) noexcept {
    *out = 0;
    if (yyjson_is_uint(v)) {
        uint64_t u = unsafe_yyjson_get_uint(v);
        *out = u > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(u);
        return 1;
    }
    if (yyjson_is_sint(v)) {
        *out = unsafe_yyjson_get_sint(v);
        return 1;
    }
    if (yyjson_is_real(v)) {
        double d = unsafe_yyjson_get_real(v);
        if (std::isnan(d)) return 0;
        if (d >= 9e18)
            *out = INT64_MAX;
        else if (d <= -9e18)
            *out = INT64_MIN;
        else
            *out = static_cast<int64_t>(d);
        return 1;
    }
    return 0;
}

int mvfiles_ji(int32_t *out, yyjson_val *obj, const char *a, const char *b) noexcept {
    return mvfiles_val_i32(mvfiles_geti(obj, a, b), out);
}

int mvfiles_jll(int64_t *out, yyjson_val *obj, const char *a, const char *b) noexcept {
    return mvfiles_val_i64(mvfiles_geti(obj, a, b), out);
}

int mvfiles_jd(double *out, yyjson_val *obj, const char *a, const char *b) noexcept {
    yyjson_val *v = mvfiles_geti(obj, a, b);
    *out = 0.0;
    if (!v) return 0;
    if (yyjson_is_real(v)) {
        *out = yyjson_get_real(v);
        return 1;
    }
    if (yyjson_is_uint(v)) {
        *out = static_cast<double>(yyjson_get_uint(v));
        return 1;
    }
    if (yyjson_is_sint(v)) {
        *out = static_cast<double>(yyjson_get_sint(v));
        return 1;
    }
    return 0;
}

int mvfiles_jb(int *out, yyjson_val *obj, const char *a, const char *b) noexcept {
    yyjson_val *v = mvfiles_geti(obj, a, b);
    if (v && yyjson_is_bool(v)) {
        *out = yyjson_get_bool(v) ? 1 : 0;
        return 1;
    }
    *out = 0;
    return 0;
}
