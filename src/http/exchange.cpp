// Request-header rebuilding, response-head reading and delivery, shared by
// the real transports.
#include "http/exchange.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "http/buf.h"
#include "http/headers.h"

const char veltrona_user_agent[] = "veltrona-http/1.0";

namespace {

constexpr int32_t kDefaultTimeoutMs = 60000;
constexpr int32_t kDefaultConnectMs = 15000;
constexpr size_t kMaxHeaderName = 127;
constexpr size_t kHeaderLineSize = 2048;

}  // namespace

veltrona_waits veltrona_waits_of(const veltrona_http_request *req) noexcept {
    veltrona_waits w;
    w.connect_ms = req->connect_timeout_ms > 0 ? req->connect_timeout_ms : kDefaultConnectMs;
    w.send_ms = req->timeout_ms > 0 ? req->timeout_ms : kDefaultTimeoutMs;
    w.set_recv = (req->flags & VELTRONA_HTTP_KEEP_RECV_TIMEOUT) ? 0 : 1;
    w.recv_ms = w.set_recv ? (req->recv_timeout_ms > 0 ? req->recv_timeout_ms : kDefaultTimeoutMs) : w.send_ms;
    return w;
}

int32_t veltrona_request_lines(const veltrona_http_request *req, veltrona_line_fn add, void *ctx) noexcept {
    char line[kHeaderLineSize];
    char name[kMaxHeaderName + 1];
    for (uint64_t i = 0; req->headers && i < req->header_count; i++) {
        const char *h = req->headers[i];
        if (!h) continue;
        const char *colon = std::strchr(h, ':');
        if (!colon) continue;
        size_t name_len = static_cast<size_t>(colon - h);
        if (name_len == 0 || name_len > kMaxHeaderName) continue;
        if (veltrona_name_is(h, name_len, "host") || veltrona_name_is(h, name_len, "content-length") ||
            veltrona_name_is(h, name_len, "accept-encoding"))
            continue;
        if (req->user && veltrona_name_is(h, name_len, "authorization")) continue;
        std::memcpy(name, h, name_len);
        name[name_len] = 0;
        const char *value = colon + 1;
        while (*value == ' ') value++;
        if (veltrona_header_line(name, value, line, sizeof line) != 0) continue;
        if (add(ctx, line, name, value) != 0) return -1;
    }
    int put_or_post = std::strcmp(req->method, "PUT") == 0 || std::strcmp(req->method, "POST") == 0;
    if (req->body || put_or_post) {
        char len[24];
        std::snprintf(len, sizeof len, "%" PRIu64, req->body ? req->body_len : 0);
        std::snprintf(line, sizeof line, "Content-Length: %s", len);
        if (add(ctx, line, "Content-Length", len) != 0) return -1;
    }
    return 0;
}

void veltrona_read_head(veltrona_delivery *d, const char *raw, size_t len) noexcept {
    veltrona_buf_free(&d->hdrs);
    if (!raw || len == 0) return;
    const char *p = raw;
    const char *end = raw + len;
    while (p < end && *p != '\r' && *p != '\n') p++;
    while (p < end && (*p == '\r' || *p == '\n')) p++;
    while (p < end) {
        const char *eol = p;
        while (eol < end && *eol != '\r' && *eol != '\n') eol++;
        size_t n = static_cast<size_t>(eol - p);
        const char *colon = static_cast<const char *>(std::memchr(p, ':', n));
        // A NUL inside a header would shift every later entry of the block.
        if (colon && !std::memchr(p, 0, n)) {
            const char *v = colon + 1;
            while (v < eol && (*v == ' ' || *v == '\t')) v++;
            size_t nlen = static_cast<size_t>(colon - p);
            size_t vlen = static_cast<size_t>(eol - v);
            if (nlen && vlen) {
                veltrona_buf *b = &d->hdrs;
                (void)(veltrona_buf_add(b, p, nlen) == 0 && veltrona_buf_addc(b, 0) == 0 &&
                       veltrona_buf_add(b, v, vlen) == 0 && veltrona_buf_addc(b, 0) == 0);
            }
        }
        p = eol;
        while (p < end && (*p == '\r' || *p == '\n')) p++;
    }
}

void veltrona_deliver_headers(veltrona_delivery *d) noexcept {
    if (d->delivered) return;
    d->delivered = 1;
    const veltrona_http_request *req = d->req;
    if (!req->on_header) return;
    char status[24];
    std::snprintf(status, sizeof status, "%ld", static_cast<long>(d->status));
    if (req->on_header(req->cb_ctx, ":status", status)) {
        d->stopped = 1;
        return;
    }
    uint64_t off = 0;
    while (d->hdrs.data && off < d->hdrs.len) {
        const char *name = d->hdrs.data + off;
        size_t nlen = std::strlen(name);
        if (off + nlen + 1 >= d->hdrs.len) break;  // incomplete last entry
        const char *value = name + nlen + 1;
        size_t vlen = std::strlen(value);
        if (req->on_header(req->cb_ctx, name, value)) {
            d->stopped = 1;
            return;
        }
        off += nlen + vlen + 2;
    }
}

int32_t veltrona_deliver_body(veltrona_delivery *d, const void *data, uint64_t len) noexcept {
    veltrona_deliver_headers(d);
    if (d->stopped) return 1;
    const veltrona_http_request *req = d->req;
    if (req->on_body && req->on_body(req->cb_ctx, data, len)) {
        d->stopped = 1;
        return 1;
    }
    return 0;
}

void veltrona_delivery_free(veltrona_delivery *d) noexcept { veltrona_buf_free(&d->hdrs); }

int32_t veltrona_request_start(const veltrona_http_request *req, int32_t *status, char **err) noexcept {
    *status = 0;
    *err = nullptr;
    if (!req || req->size < VELTRONA_HTTP_REQUEST_SIZE || !req->method || !req->url)
        return veltrona_fail(err, veltrona_strdup("bad request"));
    if (!veltrona_method_ok(req->method)) return veltrona_fail(err, veltrona_strdup("bad method"));
    return 0;
}

int32_t veltrona_fail(char **err, char *text) noexcept {
    *err = text;
    return -1;
}

char *veltrona_failure(const char *what, unsigned long code) noexcept {
    char text[128];
    std::snprintf(text, sizeof text, "%s failed: %lu", what, code);
    return veltrona_strdup(text);
}
