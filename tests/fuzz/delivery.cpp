// ":status" values and header pairs from a host transport, into the
// response collector and through a look-up. The input is LF-separated: the
// status text, then names and values in turn (a value "\xff" is NULL).
#include <cstdio>
#include <cstring>

#include "fuzz/fuzz.h"
#include "http/headers.h"
#include "mvfiles.h"

namespace {

// Blanks, a sign, digits up to the first other byte, held to the 32-bit
// range; no digits give 0.
int32_t read_status(const char *s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) s++;
    long long sign = *s == '-' ? -1 : 1, v = 0;
    for (s += *s == '-' || *s == '+'; *s >= '0' && *s <= '9'; s++) v = v < 1LL << 40 ? v * 10 + (*s - '0') : v;
    v *= sign;
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}

}  // namespace

int mvfuzz_delivery(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::vector<std::string> seg = split(data, size, '\n');
    Reply reply{seg[0], read_status(seg[0].c_str()), {}, "[{\"key\":\"k\"}]"};
    for (size_t k = 1; k + 1 < seg.size(); k += 2) {
        std::string name = seg[k].c_str(), value = seg[k + 1].c_str();
        reply.headers.emplace_back(name, value == "\xff" ? std::nullopt : std::optional<std::string>(value));
        if (name == ":status") reply.code = value == "\xff" ? 0 : read_status(value.c_str());
    }
    answer = [&](const std::string &) { return reply; };
    veltrona_collect c;
    MVFUZZ_CHECK(exchange(host(), "GET", "http://fuzz.invalid/", {}, &c) == 0 && !c.oom);
    // Every name finds the value of its first case-insensitive namesake.
    for (const auto &h : reply.headers) {
        const std::optional<std::string> *want = nullptr;
        for (size_t k = 0; !want && k < reply.headers.size(); k++) {
            const auto &g = reply.headers[k];
            if (g.first != ":status" && g.first.size() == h.first.size() &&
                veltrona_same_ci(g.first.c_str(), h.first.c_str(), h.first.size()))
                want = &g.second;
        }
        const char *got = veltrona_hdrs_get(&c.headers, h.first.c_str());
        MVFUZZ_CHECK(want ? got && want->value_or("") == got : !got);
    }
    veltrona_collect_free(&c);

    // The same answer through a look-up: the status decides the outcome.
    fresh_client();
    int32_t rc = mvfiles_get_by_imdb("tt0111161", -1, -1), status = reply.code;
    char msg[32];
    std::snprintf(msg, sizeof msg, "HTTP %ld", static_cast<long>(status));
    MVFUZZ_CHECK(mvfiles_last_http_code() == status);
    MVFUZZ_CHECK(status >= 200 && status <= 299 ? rc == MVFILES_OK && mvfiles_count() == 1
                 : status == 404                ? rc == MVFILES_ERR_NOT_FOUND
                                                : rc == MVFILES_ERR_HTTP && !std::strcmp(mvfiles_last_error(), msg));
    return 0;
}
