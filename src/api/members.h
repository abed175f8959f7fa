// One-pass reading of several members of a JSON object. For each pair of
// key names it finds the value the dual-name look-up (mvfiles_geti) would:
// an exact match of the first name wins over one of the second, either wins
// over a case-insensitive match of the first, and among equal matches the
// earliest member wins. It relies on every pair differing only in case
// (check a table with member_names_ok), so that one walk over the members
// serves every name at once: table builders read thousands of objects.
#ifndef MVFILES_API_MEMBERS_H
#define MVFILES_API_MEMBERS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <yyjson.h>

#include "http/headers.h"

namespace mvfiles_members {

constexpr size_t cstrlen(const char *s) {
    size_t n = 0;
    while (s[n]) n++;
    return n;
}

// n bytes of s from `at` as the number a little-endian load of them gives.
constexpr uint64_t le_bytes(const char *s, size_t at, size_t n) {
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the name words below assume a little-endian target"
#endif

// A pair of key names of the same length. The first name is also kept as
// the few loads that compare a key with it (see is_first_name): for 8 bytes
// or more the first and last 8 and, past 16, the 8 from offset 8; for 4 to
// 7 the first and last 4; below that the first, middle and last byte.
struct Name {
    const char *a, *b;
    size_t len;
    uint64_t head, mid, tail;
};

constexpr Name make_name(const char *a, const char *b) {
    size_t n = cstrlen(a);
    if (n >= 8) return {a, b, n, le_bytes(a, 0, 8), n > 16 ? le_bytes(a, 8, 8) : 0, le_bytes(a, n - 8, 8)};
    if (n >= 4) return {a, b, n, le_bytes(a, 0, 4), 0, le_bytes(a, n - 4, 4)};
    if (n == 0) return {a, b, 0, 0, 0, 0};
    return {a, b, n, le_bytes(a, 0, 1), le_bytes(a, n / 2, 1), le_bytes(a, n - 1, 1)};
}

#define MVFILES_MEMBER(a, b) ::mvfiles_members::make_name(a, b)

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

// It also relies on no two names of a table folding to the same text: the
// first name a key matches is the only one it can match.
template <size_t N>
constexpr bool names_fold_apart(const Name (&names)[N]) {
    for (size_t i = 0; i < N; i++) {
        for (size_t k = i + 1; k < N; k++) {
            if (names[i].len != names[k].len) continue;
            size_t j = 0;
            while (j < names[i].len && veltrona_fold_ascii(static_cast<unsigned char>(names[i].a[j])) ==
                                           veltrona_fold_ascii(static_cast<unsigned char>(names[k].a[j])))
                j++;
            if (j == names[i].len) return false;
        }
    }
    return true;
}

// The check every table of names passes, at compile time.
template <size_t N>
constexpr bool member_names_ok(const Name (&names)[N]) {
    return pairs_fold_equal(names) && names_fold_apart(names);
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

// Whether the key of len bytes is exactly the first name, with the loads
// the name keeps (at most three, all inside the key).
inline bool is_first_name(const char *k, size_t len, const Name &name) {
    if (len != name.len) return false;
    if (len >= 8) {
        uint64_t h, t;
        std::memcpy(&h, k, 8);
        std::memcpy(&t, k + len - 8, 8);
        if (h != name.head || t != name.tail) return false;
        if (len <= 16) return true;
        uint64_t m;
        std::memcpy(&m, k + 8, 8);
        return m == name.mid;
    }
    if (len >= 4) {
        uint32_t h, t;
        std::memcpy(&h, k, 4);
        std::memcpy(&t, k + len - 4, 4);
        return h == static_cast<uint32_t>(name.head) && t == static_cast<uint32_t>(name.tail);
    }
    if (len == 0) return true;
    return static_cast<unsigned char>(k[0]) == name.head &&
           static_cast<unsigned char>(k[len / 2]) == name.mid &&
           static_cast<unsigned char>(k[len - 1]) == name.tail;
}

// The key that follows the member whose value is val. Written as a branch
// that expects a scalar, not as a select: the processor then runs ahead
// through the members instead of waiting for each value's type to load.
inline yyjson_val *next_key(yyjson_val *val) {
#if defined(__GNUC__)
    if (__builtin_expect(unsafe_yyjson_is_ctn(val), 0))
#else
    if (unsafe_yyjson_is_ctn(val))
#endif
        return reinterpret_cast<yyjson_val *>(reinterpret_cast<uint8_t *>(val) + val->uni.ofs);
    return val + 1;
}

// Objects of one answer list their members in the same order, but optional
// members come and go between them. A layout remembers two things from the
// objects read before, and the reader checks each guess against the key
// itself, so any content of a layout gives the same members and one may be
// kept from answer to answer:
// - the whole order of the members of the last objects that named each of
//   their members exactly once by its exact first name (two such orders, for
//   answers whose objects alternate between two shapes); an object whose
//   keys are exactly one of them is read by comparing each key once;
// - for every name, the name that followed it (at[0]: the first name), tried
//   first for each member of any other object, then the one after it.
constexpr size_t kPositions = 32;
struct Layout {
    struct Order {
        uint8_t len = 0;  // members; 0: none learned
        uint8_t name[kPositions];
        uint32_t have = 0;
    };
    uint8_t at[kPositions];
    Order order[2];
    uint8_t next_order = 0;  // the one replaced by the next order learned
    Layout() { std::memset(at, 0xFF, sizeof at); }
};

// The members find_members found: m[i] is the value of names[i], NULL when
// the object has no such member. (Only the slots found are written: an
// object is read in the time clearing every slot would take.)
template <size_t N>
struct Found {
    static_assert(N <= 32, "one bit a name");
    yyjson_val *val[N];
    uint32_t have = 0;
    yyjson_val *operator[](size_t i) const { return (have >> i) & 1u ? val[i] : nullptr; }
};

// Reads obj as one of the layout's orders; false when its keys are not
// exactly that order's names.
template <size_t N>
bool find_in_order(yyjson_val *obj, size_t n, const Name (&names)[N], const Layout &layout,
                   Found<N> &out) {
    for (const Layout::Order &o : layout.order) {
        if (o.len != n) continue;
        yyjson_val *key = unsafe_yyjson_get_first(obj);
        size_t j = 0;
        for (; j < n; j++) {
            uint8_t i = o.name[j];
            if (!is_first_name(unsafe_yyjson_get_str(key), unsafe_yyjson_get_len(key), names[i])) break;
            out.val[i] = key + 1;
            key = next_key(key + 1);
        }
        if (j == n) {
            out.have = o.have;
            return true;
        }
    }
    return false;
}

// Finds the value of each of names in obj.
template <size_t N>
void find_members(yyjson_val *obj, const Name (&names)[N], const ByLength &by_len,
                  Layout &layout, Found<N> &out) {
    static_assert(N < kPositions, "a layout remembers a successor for each name");
    size_t n = unsafe_yyjson_get_len(obj);
    if (n != 0 && find_in_order(obj, n, names, layout, out)) return;
    uint8_t rank[N];  // where `have` has the name's bit
    uint32_t have = 0;
    size_t after = 0;  // 0 before the first name found, i + 1 after names[i]
    // The order of this object, while each member is a first name met once.
    Layout::Order seen;
    bool exact = n < kPositions;
    yyjson_val *key = unsafe_yyjson_get_first(obj);
    for (size_t j = 0; j < n; j++) {
        size_t len = unsafe_yyjson_get_len(key);
        const char *k = unsafe_yyjson_get_str(key);
        yyjson_val *val = key + 1;
        key = next_key(val);
        if (len > kMaxLen) {
            exact = false;
            continue;
        }
        uint8_t guess = layout.at[after];
        if (guess < N && !is_first_name(k, len, names[guess])) {
            // An optional member absent from this object: try the name that
            // followed the guess, keeping the layout as it was.
            guess = layout.at[guess + 1];
            if (!(guess < N && is_first_name(k, len, names[guess]))) guess = 0xFF;
        }
        uint8_t found = 0xFF, r = 3;
        if (guess < N) {
            found = guess;
            r = 0;
        } else {
            for (size_t c = 0; c < by_len.count[len]; c++) {
                size_t i = by_len.index[len][c];
                r = match_len(len, k, names[i]);
                if (r == 3) continue;
                found = static_cast<uint8_t>(i);
                layout.at[after] = found;
                break;  // no two names of a table fold to the same text
            }
        }
        if (found == 0xFF) {
            exact = false;
            continue;
        }
        uint32_t bit = 1u << found;
        if (r != 0 || (have & bit)) exact = false;
        if (exact) seen.name[j] = found;
        if (!(have & bit) || r < rank[found]) {
            have |= bit;
            rank[found] = r;
            out.val[found] = val;
        }
        after = found + 1u;
    }
    out.have = have;
    if (exact && n != 0) {
        seen.len = static_cast<uint8_t>(n);
        seen.have = have;
        layout.order[layout.next_order] = seen;
        layout.next_order ^= 1;
    }
}

}  // namespace mvfiles_members

#endif
