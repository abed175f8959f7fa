// ":status" values and header pairs from a host transport, into the
// response collector and through a look-up. The input is LF-separated: the
// status text, then names and values in turn (a value "\xff" is NULL).
#include <cstdio>
#include <cstring>

#include "api/request.h"
#include "fuzz/fuzz.h"
#include "http/buf.h"
#include "http/headers.h"
#include "mvfiles.h"

namespace {

// Plain reading of a status text: blanks, a sign, digits up to the first
// other byte, held to the 32-bit range; no digits give 0.
int32_t read_status(const char *s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) s++;
    bool neg = *s == '-';
    if (*s == '-' || *s == '+') s++;
    long long v = 0;
    for (; *s >= '0' && *s <= '9'; s++) v = v < 1LL << 40 ? v * 10 + (*s - '0') : v;
    v = neg ? -v : v;
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}

bool same_name(const std::string &a, const std::string &b) {
    return a.size() == b.size() && veltrona_same_ci(a.c_str(), b.c_str(), a.size());
}

}  // namespace

int mvfuzz_delivery(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::vector<std::string> seg = split(data, size, '\n');
    Reply reply;
    reply.status = seg[0];
    int32_t status = read_status(seg[0].c_str());
    for (size_t k = 1; k + 1 < seg.size(); k += 2) {
        std::string name = seg[k].c_str(), value = seg[k + 1].c_str();
        bool null_value = value == "\xff";
        reply.headers.emplace_back(name, null_value ? std::nullopt : std::optional<std::string>(value));
        if (name == ":status") status = null_value ? 0 : read_status(value.c_str());
    }
    reply.code = status;
    reply.body = "[{\"key\":\"k\"}]";
    host().answer = [&](const std::string &, const std::string &) { return reply; };

    veltrona_collect c;
    veltrona_collect_init(&c, MVFILES_BODY_BOUND);
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = "GET";
    req.url = "http://fuzz.invalid/";
    req.on_header = veltrona_collect_header;
    req.on_body = veltrona_collect_body;
    req.cb_ctx = &c;
    int32_t out = 0;
    char *err = nullptr;
    MVFUZZ_CHECK(host().http()->request(nullptr, &req, &out, &err) == 0);
    MVFUZZ_CHECK(c.status == status && c.body.len == reply.body.size() && !c.oom);
    // Every name finds the value of its first case-insensitive namesake.
    for (const auto &h : reply.headers) {
        const std::optional<std::string> *want = nullptr;
        for (const auto &g : reply.headers)
            if (g.first != ":status" && same_name(g.first, h.first)) {
                want = &g.second;
                break;
            }
        const char *got = veltrona_hdrs_get(&c.headers, h.first.c_str());
        MVFUZZ_CHECK(want ? got && std::string(got) == want->value_or("") : got == nullptr);
    }
    veltrona_collect_free(&c);

    // The same answer through a look-up: the status decides the outcome.
    host().install();
    fresh_client();
    int32_t rc = mvfiles_get_by_imdb("tt0111161", -1, -1);
    MVFUZZ_CHECK(mvfiles_last_http_code() == status);
    char msg[32];
    std::snprintf(msg, sizeof msg, "HTTP %ld", static_cast<long>(status));
    if (status >= 200 && status <= 299)
        MVFUZZ_CHECK(rc == MVFILES_OK && mvfiles_count() == 1);
    else if (status == 404)
        MVFUZZ_CHECK(rc == MVFILES_ERR_NOT_FOUND);
    else
        MVFUZZ_CHECK(rc == MVFILES_ERR_HTTP && std::strcmp(mvfiles_last_error(), msg) == 0);
    return 0;
}
