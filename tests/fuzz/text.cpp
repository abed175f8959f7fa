// Percent-encoding and the stable hash, each checked against a plain
// implementation of its rules.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/util.h"
#include "fuzz/fuzz.h"
#include "mvfiles.h"

namespace {

std::string encode(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (std::strchr("-._~", c) && c) {
            out += static_cast<char>(c);
        } else if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += "0123456789ABCDEF"[c / 16];
            out += "0123456789ABCDEF"[c % 16];
        }
    }
    return out;
}

// UTF-8 to UTF-16 units first, then the two hash lanes over the units.
int32_t hash(const uint8_t *b, size_t len) {
    std::vector<uint32_t> units;
    for (size_t i = 0; i < len; i++) {
        uint32_t cp = b[i];
        size_t more = cp < 0x80 ? 0 : (cp >> 5) == 6 ? 1 : (cp >> 4) == 14 ? 2 : (cp >> 3) == 30 ? 3 : 9;
        if (more == 9 || i + more >= len + (more == 0)) return 0;
        cp = more ? cp & (0x3F >> more) : cp;
        for (size_t k = 1; k <= more; k++) {
            if ((b[i + k] >> 6) != 2) return 0;
            cp = cp << 6 | (b[i + k] & 0x3F);
        }
        i += more;
        if (cp > 0xFFFF) {
            units.push_back((((cp - 0x10000) >> 10) + 0xD800) & 0xFFFF);
            units.push_back(((cp & 0x3FF) + 0xDC00) & 0xFFFF);
        } else {
            units.push_back(cp);
        }
    }
    units.push_back(0);
    uint32_t lane1 = 5381, lane2 = 5381;
    for (size_t k = 0; units[k] != 0; k += 2) {
        lane1 = (lane1 * 33) ^ units[k];
        if (units[k + 1] == 0) break;
        lane2 = (lane2 * 33) ^ units[k + 1];
    }
    uint32_t h = lane1 + lane2 * 1566083941u;
    if (h == 0x80000000u) return 0;
    int64_t v = static_cast<int32_t>(h);
    return static_cast<int32_t>(v < 0 ? -v : v);
}

}  // namespace

int mvfuzz_text(const uint8_t *data, size_t size) {
    std::string bytes(reinterpret_cast<const char *>(data), size);
    std::string text = bytes.c_str();
    char *enc = mvfiles_url_encode(text.c_str());
    MVFUZZ_CHECK(enc && encode(text) == enc);
    std::free(enc);
    MVFUZZ_CHECK(mvfiles_stable_hash_impl(bytes.data(), size) == hash(data, size));
    MVFUZZ_CHECK(mvfiles_stable_hash(text.c_str()) == hash(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
    return 0;
}
