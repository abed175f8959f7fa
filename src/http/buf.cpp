// Buffers, duplicators, the response collector, request records and io
// validation.
#include "http/buf.h"

#include <cstdlib>
#include <cstring>

#include "http/headers.h"

namespace {

// Grows b so that it can hold `needed` bytes; 0 or -1 (b unchanged).
int32_t reserve(veltrona_buf *b, uint64_t needed) noexcept {
    if (b->cap >= needed) return 0;
    uint64_t cap = b->cap ? b->cap : 64;
    if (!(cap == 64 && needed <= 64)) {
        while (cap < needed) {
            if (cap & (UINT64_C(1) << 63)) return -1;
            cap *= 2;
        }
    }
    if (cap > SIZE_MAX) return -1;
    void *p = std::realloc(b->data, static_cast<size_t>(cap));
    if (!p) return -1;
    b->data = static_cast<char *>(p);
    b->cap = cap;
    return 0;
}

// The length a Content-Length value announces: digits after optional
// blanks, nothing else; 0 for anything else or for more than `limit`.
uint64_t announced_length(const char *v, uint64_t limit) noexcept {
    while (*v == ' ' || *v == '\t') v++;
    if (*v < '0' || *v > '9') return 0;
    uint64_t n = 0;
    for (; *v >= '0' && *v <= '9'; v++) {
        n = n * 10 + static_cast<uint64_t>(*v - '0');
        if (n > limit) return 0;
    }
    return *v ? 0 : n;
}

// Sizes an empty body once for the length the answer announces, so that a
// large body is not copied again by every doubling. Only a hint: a false
// length just leaves growth to veltrona_buf_add, and a failed allocation
// here changes nothing (the body is then grown as it arrives).
void presize_body(veltrona_collect *c, const char *value) noexcept {
    if (c->bound == 0 || c->body.cap != 0) return;
    uint64_t n = announced_length(value, c->bound);
    if (n == 0 || n + 1 > SIZE_MAX) return;
    void *p = std::malloc(static_cast<size_t>(n + 1));
    if (!p) return;
    c->body.data = static_cast<char *>(p);
    c->body.data[0] = 0;
    c->body.cap = n + 1;
}

}  // namespace

int32_t veltrona_buf_add(veltrona_buf *b, const void *src, uint64_t n) noexcept {
    if (!b || (n && !src)) return -1;
    if (n > UINT64_MAX - 1 - b->len) return -1;
    if (reserve(b, b->len + n + 1) != 0) return -1;
    if (n) std::memcpy(b->data + b->len, src, static_cast<size_t>(n));
    b->len += n;
    b->data[b->len] = 0;
    return 0;
}

int32_t veltrona_buf_addc(veltrona_buf *b, char c) noexcept {
    if (!b) return -1;
    if (b->len > UINT64_MAX - 2) return -1;
    if (reserve(b, b->len + 2) != 0) return -1;
    b->data[b->len++] = c;
    b->data[b->len] = 0;
    return 0;
}

int32_t veltrona_buf_adds(veltrona_buf *b, const char *s) noexcept {
    if (!s) return -1;
    return veltrona_buf_add(b, s, std::strlen(s));
}

void veltrona_buf_free(veltrona_buf *b) noexcept {
    if (!b) return;
    std::free(b->data);
    b->data = nullptr;
    b->len = 0;
    b->cap = 0;
}

char *veltrona_strdup(const char *s) noexcept {
    if (!s) return nullptr;
    return veltrona_strndup(s, std::strlen(s));
}

char *veltrona_strndup(const char *s, size_t n) noexcept {
    if (n == SIZE_MAX || (n && !s)) return nullptr;
    char *p = static_cast<char *>(std::malloc(n + 1));
    if (!p) return nullptr;
    if (n) std::memcpy(p, s, n);
    p[n] = 0;
    return p;
}

void veltrona_collect_init(veltrona_collect *c, uint64_t bound) noexcept {
    std::memset(c, 0, sizeof *c);
    c->bound = bound;
    c->keep_headers = 1;
}

void veltrona_collect_free(veltrona_collect *c) noexcept {
    veltrona_buf_free(&c->body);
    veltrona_buf_free(&c->headers);
}

int32_t veltrona_collect_header(void *ctx, const char *name, const char *value) noexcept {
    auto *c = static_cast<veltrona_collect *>(ctx);
    if (!name) name = "";
    if (std::strcmp(name, ":status") == 0) {
        // A missing value reads as no digits: status 0. A number past the
        // 32-bit range is held at its end, as where long is 32 bits wide,
        // never wrapped into another status ("4294967496" is not 200).
        long v = value ? std::strtol(value, nullptr, 10) : 0;
        c->status = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
        return 0;
    }
    if (!value) value = "";
    if (veltrona_name_is(name, std::strlen(name), "content-length"))
        presize_body(c, value);
    if (!c->keep_headers) return 0;
    if (veltrona_buf_adds(&c->headers, name) != 0 || veltrona_buf_addc(&c->headers, 0) != 0 ||
        veltrona_buf_adds(&c->headers, value) != 0 || veltrona_buf_addc(&c->headers, 0) != 0) {
        c->oom = 1;
        return 1;
    }
    return 0;
}

int32_t veltrona_collect_body(void *ctx, const void *data, uint64_t len) noexcept {
    auto *c = static_cast<veltrona_collect *>(ctx);
    uint64_t held = c->body.len;
    if (c->bound != 0 && (len > c->bound || held + len > c->bound)) {
        if (held < c->bound && veltrona_buf_add(&c->body, data, c->bound - held) != 0) c->oom = 1;
        c->over_bound = 1;
        return 1;
    }
    if (len == 0) return 0;
    if (veltrona_buf_add(&c->body, data, len) != 0) {
        c->oom = 1;
        return 1;
    }
    return 0;
}

void veltrona_request_init(veltrona_http_request *req, const char *method, const char *url,
                           veltrona_collect *c) noexcept {
    std::memset(req, 0, sizeof *req);
    req->size = VELTRONA_HTTP_REQUEST_SIZE;
    req->method = method;
    req->url = url;
    if (c) {
        req->on_header = veltrona_collect_header;
        req->on_body = veltrona_collect_body;
        req->cb_ctx = c;
    }
}

const veltrona_http *veltrona_http_from_ctx(const veltrona_io_ctx *ctx) noexcept {
    if (!ctx || ctx->magic != VELTRONA_IO_MAGIC || ctx->size < VELTRONA_IO_CTX_SIZE) return nullptr;
    const veltrona_http *h = ctx->http;
    if (!h || h->size < VELTRONA_HTTP_SIZE || h->version != VELTRONA_HTTP_VERSION || !h->request)
        return nullptr;
    return h;
}

const veltrona_http *veltrona_http_of(const veltrona_io *io) noexcept {
    if (!io || !io->ctx) return nullptr;
    return veltrona_http_from_ctx(io->ctx);
}
