// Number readers for key parts and row values. Values on the wire always use
// "." as the decimal separator, whatever locale the host process runs in.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "kv/kv.h"

namespace {

#if defined(_WIN32)
using c_locale_t = _locale_t;
c_locale_t make_c_locale() { return _create_locale(LC_NUMERIC, "C"); }
double strtod_c(const char *s, c_locale_t loc) { return _strtod_l(s, nullptr, loc); }
#else
using c_locale_t = locale_t;
c_locale_t make_c_locale() { return newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0)); }
double strtod_c(const char *s, c_locale_t loc) { return strtod_l(s, nullptr, loc); }
#endif

// Created on first use and kept for the life of the process; a failed
// creation is retried on the next call.
c_locale_t s_c_locale = nullptr;

// Used only when no "C" locale object could be made: rewrite the "." of the
// number into the current locale's separator and let strtod read that.
double strtod_rewritten(const char *s) {
    const char *dp = std::localeconv()->decimal_point;
    if (!dp || !*dp || std::strcmp(dp, ".") == 0) return std::strtod(s, nullptr);
    size_t dlen = std::strlen(dp);
    char buf[160];
    size_t w = 0;
    for (const char *r = s; *r && w + dlen + 1 < sizeof buf; r++) {
        if (*r == '.') {
            std::memcpy(buf + w, dp, dlen);
            w += dlen;
        } else if (*r == ',') {
            break;  // a "," never belongs to a wire number
        } else {
            buf[w++] = *r;
        }
    }
    buf[w] = 0;
    return std::strtod(buf, nullptr);
}


// Optional '-' and up to 18 digits, stopping at the first non-digit: the
// value strtoll gives, read without it. Anything else answers false.
bool plain_integer(const char *s, int64_t *out) {
    bool neg = *s == '-';
    if (neg) s++;
    int64_t v = 0;
    int digits = 0;
    for (; *s >= '0' && *s <= '9'; s++, digits++) {
        if (digits == 18) return false;
        v = v * 10 + (*s - '0');
    }
    if (digits == 0) return false;
    *out = neg ? -v : v;
    return true;
}

}  // namespace

double mvfiles_parse_double_slow(const char *s) noexcept {
    if (!s) return 0.0;
    if (!s_c_locale) s_c_locale = make_c_locale();
    if (s_c_locale) return strtod_c(s, s_c_locale);
    return strtod_rewritten(s);
}

int64_t mvfiles_part_read(const char *s) noexcept {
    if (!s) return 0;
    int64_t fast;
    if (plain_integer(s, &fast)) return fast;
    return static_cast<int64_t>(std::strtoll(s, nullptr, 10));
}
