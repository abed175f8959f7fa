// Library-wide helpers: string copies, percent-encoding, the stable hash,
// the staleness test and the dual-name JSON member readers.
#ifndef MVFILES_API_UTIL_H
#define MVFILES_API_UTIL_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <yyjson.h>

#include "api/printf_check.h"

// Heap copies released with free(); NULL for a NULL text or out of memory.
char *mvfiles_strdup(const char *s) noexcept;
// n bytes copied as they are plus a NUL; NULL for (NULL, n > 0) or no memory;
// (NULL, 0) gives "".
char *mvfiles_strndup(const char *s, size_t n) noexcept;

// A URL (or any text) formatted printf-style into a heap block of exactly
// the size it needs, released with free(); NULL when memory runs out.
char *mvfiles_format_url(const char *fmt, ...) noexcept MVFILES_PRINTF_LIKE(1, 2);

// The texts one after another in a heap block of exactly the size they
// need, released with free(); NULL when memory runs out. The look-ups build
// their URLs with it: it costs a fraction of formatting.
char *mvfiles_concat(std::initializer_list<const char *> parts) noexcept;

// Texts and decimal numbers written into a fixed buffer as snprintf would
// write them: what does not fit is cut, the buffer always ends in a NUL,
// and length() is the length of the whole text. For cache keys, which every
// look-up builds.
class mvfiles_text {
public:
    mvfiles_text(char *buf, size_t size) noexcept : buf_(buf), size_(size) {
        if (size_) buf_[0] = 0;
    }
    mvfiles_text &add(const char *s) noexcept { return add(s, std::strlen(s)); }
    mvfiles_text &add(const char *s, size_t n) noexcept {
        if (len_ + 1 < size_) {
            size_t room = size_ - 1 - len_;
            size_t k = n < room ? n : room;
            std::memcpy(buf_ + len_, s, k);
            buf_[len_ + k] = 0;
        }
        len_ += n;
        return *this;
    }
    mvfiles_text &add(int32_t v) noexcept {
        char digits[12];
        char *w = digits + sizeof digits;
        uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
        do *--w = static_cast<char>('0' + u % 10); while (u /= 10);
        if (v < 0) *--w = '-';
        return add(w, static_cast<size_t>(digits + sizeof digits - w));
    }
    size_t length() const noexcept { return len_; }
    // Whether the whole text fitted.
    bool whole() const noexcept { return len_ < size_; }

private:
    char *buf_;
    size_t size_;
    size_t len_ = 0;
};

// Percent-encodes everything but A-Z a-z 0-9 - . _ ~ ("%XX", upper case).
// "" for NULL; NULL when memory runs out. Released with free().
char *mvfiles_url_encode(const char *s) noexcept;
// The same into out, which has room for 3 * n + 1 bytes; returns out.
char *mvfiles_url_encode_to(char *out, const char *s, size_t n) noexcept;

// Hash of exactly len bytes decoded as UTF-8 into UTF-16 units; 0 for NULL
// or malformed UTF-8. Range 0..2147483647. Allocates nothing.
int32_t mvfiles_stable_hash_impl(const char *s, size_t len) noexcept;

// Whether the n bytes at s are well-formed UTF-8, as a JSON writer wants
// it: no stray or cut sequence, overlong form, surrogate or code point past
// U+10FFFF.
bool mvfiles_utf8_valid(const char *s, size_t n) noexcept;

// Copies the n bytes of text into out (size bytes, always terminated) as
// valid UTF-8: a byte that starts no character becomes "\xNN", and with
// controls also a backslash, CR, LF and tab become "\\", "\r", "\n",
// "\t" and other bytes below 0x20 and 0x7F "\xNN". With was_cut, a
// character that the end of the bytes cut short is dropped rather than
// escaped. What does not fit is left out a whole character or escape at a
// time. Returns the length written.
size_t mvfiles_escape_text(char *out, size_t size, const char *text, size_t n, bool controls,
                           bool was_cut) noexcept;
// Length of the n bytes at s without the escape (a lone "\", "\x" or
// "\xN") that a cut left unfinished at their end; n when there is none.
size_t mvfiles_whole_escapes(const char *s, size_t n) noexcept;
// A caller's argument as a message shows it: escaped as above (controls
// too) into out; "" for NULL. Returns out.
const char *mvfiles_echo(char *out, size_t size, const char *text) noexcept;

// 1 when a table stamped at t is stale under ttl, else 0.
int32_t mvfiles_cache_expired(int64_t t, int32_t ttl) noexcept;

// Member of an object under key a (exact), then b (exact), then a case-
// insensitively (ASCII); NULL when none.
yyjson_val *mvfiles_geti(yyjson_val *obj, const char *a, const char *b) noexcept;

// Number conversions of one value, with the readers' saturation rules:
// write the value and return 1, or write 0 and return 0 (also for NULL).
int mvfiles_val_i32(yyjson_val *v, int32_t *out) noexcept;
int mvfiles_val_i64(yyjson_val *v, int64_t *out) noexcept;

// Typed readers: write the value and return 1, or write 0/NULL and return 0.
int mvfiles_js(const char **out, yyjson_val *obj, const char *a, const char *b) noexcept;
int mvfiles_ji(int32_t *out, yyjson_val *obj, const char *a, const char *b) noexcept;
int mvfiles_jll(int64_t *out, yyjson_val *obj, const char *a, const char *b) noexcept;
int mvfiles_jd(double *out, yyjson_val *obj, const char *a, const char *b) noexcept;
int mvfiles_jb(int *out, yyjson_val *obj, const char *a, const char *b) noexcept;

#endif
