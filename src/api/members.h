// One-pass reading of several members of a JSON object. For each pair of
// key names it finds the value the dual-name look-up (mvfiles_geti) would:
// an exact match of the first name wins over one of the second, either wins
// over a case-insensitive match of the first, and among equal matches the
// earliest member wins. It relies on every pair differing only in case
// (check a table with pairs_fold_equal), so that one walk over the members
// serves every name at once: table builders read thousands of objects.
#ifndef MVFILES_API_MEMBERS_H
#define MVFILES_API_MEMBERS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <yyjson.h>

#include "http/headers.h"

namespace mvfiles_members {

struct Name {
    const char *a, *b;
    size_t len;
};

constexpr size_t cstrlen(const char *s) {
    size_t n = 0;
    while (s[n]) n++;
    return n;
}

// A pair of key names; len is the length of both.
#define MVFILES_MEMBER(a, b) {a, b, ::mvfiles_members::cstrlen(a)}

// Names grouped by length, so that a member key is compared only with the
// names it could be.
constexpr size_t kMaxLen = 24;
constexpr size_t kPerLen = 12;

struct ByLength {
    uint8_t count[kMaxLen + 1];
    uint8_t index[kMaxLen + 1][kPerLen];
};

template <size_t N>
constexpr ByLength group_by_length(const Name (&names)[N]) {
    ByLength g{};
    for (size_t i = 0; i < N; i++) {
        size_t len = names[i].len;
        g.index[len][g.count[len]++] = static_cast<uint8_t>(i);
    }
    return g;
}

// The one-pass reader relies on each pair folding to the same text.
template <size_t N>
constexpr bool pairs_fold_equal(const Name (&names)[N]) {
    for (size_t i = 0; i < N; i++) {
        if (cstrlen(names[i].b) != names[i].len) return false;
        for (size_t j = 0; j < names[i].len; j++)
            if (veltrona_fold_ascii(static_cast<unsigned char>(names[i].a[j])) !=
                veltrona_fold_ascii(static_cast<unsigned char>(names[i].b[j])))
                return false;
    }
    return true;
}

// How a member key of the name's length L matches the name: 0 exactly the
// first form, 1 exactly the second, 2 the first with case folded, 3 not at
// all. L is a constant so that the exact comparisons compile to a few loads.
template <size_t L>
uint8_t match_rank(const char *key, const Name &name) {
    if (std::memcmp(key, name.a, L) == 0) return 0;
    if (std::memcmp(key, name.b, L) == 0) return 1;
    return veltrona_same_ci(key, name.a, L) ? 2 : 3;
}

// The matcher for a key of length len (at most kMaxLen).
inline uint8_t match_len(size_t len, const char *key, const Name &name) {
    switch (len) {
#define LEN(n) \
    case n:    \
        return match_rank<n>(key, name);
        LEN(1) LEN(2) LEN(3) LEN(4) LEN(5) LEN(6) LEN(7) LEN(8) LEN(9) LEN(10) LEN(11) LEN(12)
        LEN(13) LEN(14) LEN(15) LEN(16) LEN(17) LEN(18) LEN(19) LEN(20) LEN(21) LEN(22) LEN(23)
        LEN(24)
#undef LEN
    default:
        return 3;
    }
}

// Exact comparison of n bytes with a few loads that stay inside both texts:
// whole words, then one last word (or half word) that may overlap the ones
// before it.
inline bool same_bytes(const char *x, const char *y, size_t n) {
    if (n >= 8) {
        uint64_t a, b;
        for (size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(&a, x + i, 8);
            std::memcpy(&b, y + i, 8);
            if (a != b) return false;
        }
        std::memcpy(&a, x + n - 8, 8);
        std::memcpy(&b, y + n - 8, 8);
        return a == b;
    }
    if (n >= 4) {
        uint32_t a, b, c, d;
        std::memcpy(&a, x, 4);
        std::memcpy(&b, y, 4);
        std::memcpy(&c, x + n - 4, 4);
        std::memcpy(&d, y + n - 4, 4);
        return a == b && c == d;
    }
    if (n == 0) return true;
    return x[0] == y[0] && x[n / 2] == y[n / 2] && x[n - 1] == y[n - 1];
}

// Objects of one answer list their members in the same order, but optional
// members come and go between them. So each name remembers the name that
// followed it last time (at[0]: the first name), and the reader tries that
// one first.
constexpr size_t kPositions = 32;
struct Layout {
    uint8_t at[kPositions];
    Layout() { std::memset(at, 0xFF, sizeof at); }
};

// Fills out[i] with the value of names[i] in obj (NULL when absent).
template <size_t N>
void find_members(yyjson_val *obj, const Name (&names)[N], const ByLength &by_len,
                  Layout &layout, yyjson_val *(&out)[N]) {
    uint8_t rank[N];
    for (size_t i = 0; i < N; i++) {
        out[i] = nullptr;
        rank[i] = 3;
    }
    static_assert(N < kPositions, "a layout remembers a successor for each name");
    yyjson_obj_iter it = yyjson_obj_iter_with(obj);
    yyjson_val *key;
    size_t after = 0;  // 0 before the first name found, i + 1 after names[i]
    while ((key = yyjson_obj_iter_next(&it)) != nullptr) {
        size_t len = unsafe_yyjson_get_len(key);
        if (len > kMaxLen) continue;
        const char *k = unsafe_yyjson_get_str(key);
        uint8_t guess = layout.at[after];
        if (guess < N && names[guess].len == len && same_bytes(k, names[guess].a, len)) {
            if (rank[guess] != 0) {
                rank[guess] = 0;
                out[guess] = yyjson_obj_iter_get_val(key);
            }
            after = guess + 1u;
            continue;
        }
        for (size_t c = 0; c < by_len.count[len]; c++) {
            size_t i = by_len.index[len][c];
            uint8_t r = match_len(len, k, names[i]);
            if (r == 3) continue;
            if (r < rank[i]) {
                rank[i] = r;
                out[i] = yyjson_obj_iter_get_val(key);
            }
            layout.at[after] = static_cast<uint8_t>(i);
            after = i + 1;
            break;  // no two names of a table fold to the same text
        }
    }
}

}  // namespace mvfiles_members

#endif
