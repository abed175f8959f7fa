// UTF-8 checks and the escaping of texts that go into messages.
#include <cstdio>
#include <cstring>

#include "api/util.h"

size_t mvfiles_utf8_char(const char *text, size_t n) noexcept {
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    if (n == 0) return 0;
    unsigned c = s[0];
    if (c < 0x80) return 1;
    size_t len = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    if (len == 0 || n < len) return 0;
    for (size_t i = 1; i < len; i++)
        if ((s[i] & 0xC0) != 0x80) return 0;
    unsigned c1 = s[1];
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 >= 0x90))
        return 0;
    return len;
}

bool mvfiles_utf8_valid(const char *s, size_t n) noexcept {
    for (size_t i = 0; i < n;) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            i++;
            continue;
        }
        size_t k = mvfiles_utf8_char(s + i, n - i);
        if (k == 0) return false;
        i += k;
    }
    return true;
}

namespace {

// Whether the n bytes at s are the start of a character that a cut ended
// early: a lead byte followed only by continuation bytes, fewer than it needs.
bool cut_character(const unsigned char *s, size_t n) {
    unsigned c = s[0];
    size_t need = c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 0;
    if (need == 0 || n >= need) return false;
    for (size_t i = 1; i < n; i++)
        if ((s[i] & 0xC0) != 0x80) return false;
    return true;
}

// Writes the escape of byte c ("\r", "\n", "\t" or "\xNN") at out.
size_t escape_byte(char *out, unsigned char c) {
    if (c == '\r' || c == '\n' || c == '\t') {
        out[0] = '\\';
        out[1] = c == '\r' ? 'r' : c == '\n' ? 'n' : 't';
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

size_t mvfiles_escape_text(char *out, size_t size, const char *text, size_t n, bool controls,
                           bool was_cut) noexcept {
    if (size == 0) return 0;
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        size_t k = c < 0x80 ? 1 : mvfiles_utf8_char(text + i, n - i);
        if (k == 0 && was_cut && cut_character(s + i, n - i)) break;
        bool escape = k == 0 || (controls && (c < 0x20 || c == 0x7F));
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

const char *mvfiles_echo(char *out, size_t size, const char *text) noexcept {
    mvfiles_escape_text(out, size, text ? text : "", text ? std::strlen(text) : 0, true, false);
    return out;
}
