// Percent-encoding and the stable hash, each checked against a plain
// implementation of its rules; then the text as an origin for a look-up.
#include <cstdlib>
#include <cstring>

#include "api/core.h"
#include "api/util.h"
#include "fuzz/fuzz.h"
#include "mvfiles.h"

namespace {

std::string encode(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c && std::strchr("-._~", c)))
            out += static_cast<char>(c);
        else
            out += std::string("%") + "0123456789ABCDEF"[c / 16] + "0123456789ABCDEF"[c % 16];
    }
    return out;
}

// UTF-8 to UTF-16 units first, then the two lanes over the units up to a 0.
int32_t hash(const std::string &b) {
    std::vector<uint32_t> units;
    for (size_t i = 0; i < b.size(); i++) {
        uint32_t cp = static_cast<unsigned char>(b[i]);
        size_t more = cp < 0x80 ? 0 : cp >> 5 == 6 ? 1 : cp >> 4 == 14 ? 2 : cp >> 3 == 30 ? 3 : 9;
        if (more == 9 || (more && i + more >= b.size())) return 0;
        cp = more ? cp & (0x3F >> more) : cp;
        for (size_t k = 1; k <= more; k++) {
            if (static_cast<unsigned char>(b[i + k]) >> 6 != 2) return 0;
            cp = cp << 6 | (b[i + k] & 0x3F);
        }
        i += more;
        if (cp > 0xFFFF) units.push_back((((cp - 0x10000) >> 10) + 0xD800) & 0xFFFF);
        units.push_back(cp > 0xFFFF ? (cp & 0x3FF) + 0xDC00 : cp);
    }
    units.push_back(0);
    uint32_t lane[2] = {5381, 5381};
    for (size_t k = 0; units[k]; k++) lane[k % 2] = lane[k % 2] * 33 ^ units[k];
    uint32_t h = lane[0] + lane[1] * 1566083941u;
    int64_t v = static_cast<int32_t>(h);
    return h == 0x80000000u ? 0 : static_cast<int32_t>(v < 0 ? -v : v);
}

// Whether url goes where origin names, read as URL parsers read it (the
// authority ends at the first '/', '?', '#' or '\\'; a user part, up to an
// '@', would name another host): url begins with origin, its authority is
// origin's own, and it is one host with at most a port of 1 to 65535.
bool goes_to_named_host(const std::string &url, const std::string &origin) {
    size_t at = url.find("://") + 3, named_at = origin.find("://") + 3;
    std::string auth = url.substr(at, url.find_first_of("/?#\\", at) - at);
    size_t colon = auth[0] == '[' ? auth.find(']') + 1 : auth.find(':');  // 0: no host or no ']'
    std::string port = colon < auth.size() ? auth.substr(colon + 1) : "1";
    return url.rfind(origin, 0) == 0 && auth == origin.substr(named_at, origin.find('/', named_at) - named_at) &&
           !auth.empty() && auth.find('@') == std::string::npos && colon != 0 &&
           (colon >= auth.size() || auth[colon] == ':') && !port.empty() && port.size() <= 5 &&
           port.find_first_not_of("0123456789") == std::string::npos && std::stol(port) >= 1 &&
           std::stol(port) <= 65535;
}

}  // namespace

int mvfuzz_text(const uint8_t *data, size_t size) {
    std::string bytes(reinterpret_cast<const char *>(data), size), text = bytes.c_str();
    char *enc = mvfiles_url_encode(text.c_str());
    MVFUZZ_CHECK(enc && encode(text) == enc);
    std::free(enc);
    MVFUZZ_CHECK(mvfiles_stable_hash_impl(bytes.data(), size) == hash(bytes));
    MVFUZZ_CHECK(mvfiles_stable_hash(text.c_str()) == hash(text));

    std::vector<std::string> urls;
    mvfuzz::answer = [&](const std::string &url) { return urls.push_back(url), mvfuzz::Reply{"200", 200, {}, "[{}]"}; };
    mvfuzz::fresh_client();
    mvfiles_set_host(text.c_str());
    int32_t rc = mvfiles_get_by_imdb("tt0111161", -1, -1);
    bool scheme = text.rfind("http://", 0) == 0 || text.rfind("https://", 0) == 0;
    std::string origin = text.empty() ? MVFILES_DEFAULT_ORIGIN : scheme ? text : "https://" + text;
    if (std::strncmp(mvfiles_last_error(), "invalid origin: ", 16) == 0)
        MVFUZZ_CHECK(rc == MVFILES_ERR_ARG && urls.empty());
    else
        MVFUZZ_CHECK(rc == MVFILES_OK && urls.size() == 1 && goes_to_named_host(urls[0], origin));
    return 0;
}
