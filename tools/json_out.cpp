// Compact JSON writing with strict escaping.
#include "json_out.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mvcli {

size_t utf8_seq_len(const unsigned char *p, size_t n) {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
    else return 0;
    if (n < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return 0;
    if (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return 0;
    return len;
}

void json_quote(std::string &out, const char *text, size_t len) {
    static const char hex[] = "0123456789abcdef";
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    out += '"';
    size_t i = 0;
    while (i < len) {
        unsigned char c = p[i];
        if (c >= 0x80) {
            size_t n = utf8_seq_len(p + i, len - i);
            if (n == 0) {
                out += "\xEF\xBF\xBD";   // U+FFFD for a byte that is not UTF-8
                ++i;
            } else {
                out.append(text + i, n);
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
}

void Json::value_prefix() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) out_ += ',';
        first_.back() = false;
    }
}

Json &Json::begin_object() {
    value_prefix();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

Json &Json::end_object() {
    out_ += '}';
    first_.pop_back();
    return *this;
}

Json &Json::begin_array() {
    value_prefix();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

Json &Json::end_array() {
    out_ += ']';
    first_.pop_back();
    return *this;
}

Json &Json::key(const char *name) {
    value_prefix();
    json_quote(out_, name, std::strlen(name));
    out_ += ':';
    after_key_ = true;
    return *this;
}

Json &Json::str(const char *text) {
    if (!text) return null();
    value_prefix();
    json_quote(out_, text, std::strlen(text));
    return *this;
}

Json &Json::str(const std::string &text) {
    value_prefix();
    json_quote(out_, text.data(), text.size());
    return *this;
}

Json &Json::num(int64_t v) {
    value_prefix();
    out_ += std::to_string(v);
    return *this;
}

Json &Json::num_or_null(int64_t v) { return v < 0 ? null() : num(v); }

Json &Json::real(double v) {
    if (!std::isfinite(v)) return null();
    value_prefix();
    // The shortest of the usual precisions that reads back as the same number.
    char buf[40];
    for (int prec = 15; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    // The program never changes the locale, so the separator is always ".".
    out_ += buf;
    return *this;
}

Json &Json::boolean(bool v) {
    value_prefix();
    out_ += v ? "true" : "false";
    return *this;
}

Json &Json::null() {
    value_prefix();
    out_ += "null";
    return *this;
}

Json &Json::flag(int32_t v) {
    if (v == 1) return boolean(true);
    if (v == 0) return boolean(false);
    return null();
}

Json &Json::raw(const char *json) {
    value_prefix();
    out_ += json;
    return *this;
}

} // namespace mvcli
