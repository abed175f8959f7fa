// UTF-8 checks and the escaping of texts that go into messages.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "api/util.h"

namespace {

// Bytes of the character that lead byte c begins (1 to 4); 0 for a byte
// that begins none (a continuation byte, 0xC0, 0xC1, 0xF5-0xFF).
size_t lead_length(unsigned c) {
    return c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
}

// Whether the k bytes after s[0] are all continuation bytes.
bool continued(const unsigned char *s, size_t k) {
    for (size_t i = 1; i <= k; i++)
        if ((s[i] & 0xC0) != 0x80) return false;
    return true;
}

// Length of the well-formed character at the start of the n bytes at s (1
// to 4), or 0 when they do not start with one: a stray or invalid byte, a
// cut sequence, an overlong form, a surrogate or a code point past
// U+10FFFF (what a JSON writer refuses).
size_t utf8_char(const unsigned char *s, size_t n) {
    unsigned c = s[0];
    size_t len = lead_length(c);
    if (len == 0 || n < len || !continued(s, len - 1)) return 0;
    unsigned c1 = s[1];
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 >= 0x90))
        return 0;
    return len;
}

// Whether the n bytes at s are the start of a character that a cut ended
// early: a lead byte followed only by continuation bytes, fewer than it needs.
bool cut_character(const unsigned char *s, size_t n) {
    size_t need = lead_length(s[0]);
    return need > 1 && n < need && continued(s, n - 1);
}

// Writes the escape of byte c ("\\", "\r", "\n", "\t" or "\xNN") at out.
size_t escape_byte(char *out, unsigned char c) {
    if (c == '\\' || c == '\r' || c == '\n' || c == '\t') {
        out[0] = '\\';
        out[1] = c == '\\' ? '\\' : c == '\r' ? 'r' : c == '\n' ? 'n' : 't';
        return 2;
    }
    static const char hex[] = "0123456789ABCDEF";
    out[0] = '\\';
    out[1] = 'x';
    out[2] = hex[c >> 4];
    out[3] = hex[c & 15];
    return 4;
}

}  // namespace

bool mvfiles_utf8_valid(const char *text, size_t n) noexcept {
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    for (size_t i = 0; i < n;) {
        size_t k = s[i] < 0x80 ? 1 : utf8_char(s + i, n - i);
        if (k == 0) return false;
        i += k;
    }
    return true;
}

size_t mvfiles_escape_text(char *out, size_t size, const char *text, size_t n, bool controls,
                           bool was_cut) noexcept {
    if (size == 0) return 0;
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        size_t k = c < 0x80 ? 1 : utf8_char(s + i, n - i);
        if (k == 0 && was_cut && cut_character(s + i, n - i)) break;
        // In an echo a backslash is escaped too: every backslash there
        // starts an escape, and a backslash followed by "n" never reads
        // like a line feed.
        bool escape = k == 0 || (controls && (c < 0x20 || c == 0x7F || c == '\\'));
        char esc[4];
        size_t w = escape ? escape_byte(esc, c) : k;
        // What does not fit is left out whole: no character or escape is split.
        if (o + w >= size) break;
        std::memcpy(out + o, escape ? esc : text + i, w);
        o += w;
        i += escape ? 1 : k;
    }
    out[o] = 0;
    return o;
}

size_t mvfiles_whole_escapes(const char *s, size_t n) noexcept {
    size_t run = 0;  // backslashes that end the text
    while (run < n && s[n - 1 - run] == '\\') run++;
    if (run % 2) return n - 1;
    // "\x" or "\xN" at the end, its backslash not the second of a "\\".
    for (size_t k : {2, 3}) {
        if (n < k || s[n - k] != '\\' || s[n - k + 1] != 'x') continue;
        if (k == 3 && !std::isxdigit(static_cast<unsigned char>(s[n - 1]))) continue;
        size_t before = 0;
        while (before < n - k && s[n - k - 1 - before] == '\\') before++;
        if (before % 2 == 0) return n - k;
    }
    return n;
}

const char *mvfiles_echo(char *out, size_t size, const char *text) noexcept {
    mvfiles_escape_text(out, size, text ? text : "", text ? std::strlen(text) : 0, true, false);
    return out;
}
