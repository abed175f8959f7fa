// The in-memory fake HTTP server: route table, counters, last-request
// journal and the request operation that answers from them.
#include "http/fake_server.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "http/buf.h"
#include "http/headers.h"
#include "http/platform.h"

namespace {

struct fake_route {
    char *method;
    char *url;
    int32_t kind;
    int32_t status;
    char *headers;
    char *body;
    uint64_t body_len;
    int32_t range_mode;
    int32_t drip_chunks;
    char *fail_msg;
    int32_t calls;
};

constexpr uint64_t DELIVER_PIECE = 65536;
constexpr uint64_t DRIP_PIECE = 64;
constexpr int32_t DRIP_WAIT_MS = 10;
const char DEFAULT_FAIL[] = "fake: transport failure";
const char DRIP_HEADERS[] = "Content-Type: application/octet-stream\n";

// Everything below is guarded by g_l. g_last_req is also read without the
// lock by veltrona_fake_last_request, hence atomic.
fake_route *g_routes = nullptr;
int32_t g_n = 0;
int32_t g_cap = 0;
int32_t g_total = 0;
int32_t g_writes = 0;
std::atomic<char *> g_last_req{nullptr};
veltrona_lock g_l = VELTRONA_LOCK_INIT;

struct locked {
    locked() noexcept { veltrona_lock_take(&g_l); }
    ~locked() { veltrona_lock_drop(&g_l); }
    locked(const locked &) = delete;
    locked &operator=(const locked &) = delete;
};

// Counters wrap instead of overflowing.
void bump(int32_t *n) noexcept { *n = static_cast<int32_t>(static_cast<uint32_t>(*n) + 1u); }

bool is_write_method(const char *m) noexcept {
    static const char *const writes[] = {"PUT",       "MKCOL", "DELETE", "MOVE", "COPY",
                                         "PROPPATCH", "LOCK",  "UNLOCK", "POST"};
    for (const char *w : writes) {
        if (std::strcmp(m, w) == 0) return true;
    }
    return false;
}

fake_route *find(const char *method, const char *url) noexcept {
    for (int32_t i = 0; i < g_n; ++i) {
        if (std::strcmp(g_routes[i].method, method) == 0 && std::strcmp(g_routes[i].url, url) == 0)
            return &g_routes[i];
    }
    return nullptr;
}

void clear_payload(fake_route *r) noexcept {
    std::free(r->headers);
    std::free(r->body);
    std::free(r->fail_msg);
    r->headers = nullptr;
    r->body = nullptr;
    r->fail_msg = nullptr;
    r->body_len = 0;
}

// The route for (method, url), emptied of its payload, or a new zeroed one;
// NULL when the table is full or memory ran out (the table is then unchanged).
fake_route *obtain(const char *method, const char *url) noexcept {
    if (fake_route *r = find(method, url)) {
        clear_payload(r);
        return r;
    }
    if (g_n >= FAKE_MAX_ROUTES) return nullptr;
    if (g_n == g_cap) {
        int32_t cap = g_cap ? g_cap * 2 : 16;
        void *p = std::realloc(g_routes, static_cast<size_t>(cap) * sizeof(fake_route));
        if (!p) return nullptr;
        g_routes = static_cast<fake_route *>(p);
        g_cap = cap;
    }
    char *m = veltrona_strdup(method);
    char *u = veltrona_strdup(url);
    if (!m || !u) {
        std::free(m);
        std::free(u);
        return nullptr;
    }
    fake_route *r = &g_routes[g_n++];
    std::memset(r, 0, sizeof *r);
    r->method = m;
    r->url = u;
    return r;
}

// Stores a copy of the body; a length of 0 is no body. false when the copy
// failed (the route then has none).
bool store_body(fake_route *r, const void *body, uint64_t len) noexcept {
    if (len == 0) return true;
    char *p = static_cast<char *>(std::malloc(static_cast<size_t>(len)));
    if (!p) return false;
    std::memcpy(p, body, static_cast<size_t>(len));
    r->body = p;
    r->body_len = len;
    return true;
}

// JSON string content: control bytes as \u00XX, quote and backslash escaped,
// every other byte copied as it is.
int32_t json_escape(veltrona_buf *b, const char *s) noexcept {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(s); *p; ++p) {
        if (*p < 32) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(*p));
            if (veltrona_buf_adds(b, esc) != 0) return -1;
        } else if (*p == '"' || *p == '\\') {
            if (veltrona_buf_addc(b, '\\') != 0 || veltrona_buf_addc(b, static_cast<char>(*p)) != 0)
                return -1;
        } else if (veltrona_buf_addc(b, static_cast<char>(*p)) != 0) {
            return -1;
        }
    }
    return 0;
}

int32_t json_string(veltrona_buf *b, const char *s) noexcept {
    if (veltrona_buf_addc(b, '"') != 0 || json_escape(b, s) != 0 || veltrona_buf_addc(b, '"') != 0)
        return -1;
    return 0;
}

// Replaces the journal with a description of req. A description that could
// not be built whole is not kept: a cut text would no longer be JSON.
void record(const veltrona_http_request *req) noexcept {
    veltrona_buf b = {nullptr, 0, 0};
    bool ok = veltrona_buf_adds(&b, "{\"method\":") == 0 && json_string(&b, req->method) == 0 &&
              veltrona_buf_adds(&b, ",\"url\":") == 0 && json_string(&b, req->url) == 0 &&
              veltrona_buf_adds(&b, ",\"headers\":[") == 0;
    uint64_t count = req->headers ? req->header_count : 0;
    for (uint64_t i = 0; ok && i < count; ++i) {
        const char *line = req->headers[i] ? req->headers[i] : "";
        ok = (i == 0 || veltrona_buf_addc(&b, ',') == 0) && json_string(&b, line) == 0;
    }
    if (ok) {
        char tail[64];
        std::snprintf(tail, sizeof tail, "],\"body_len\":%llu,\"credentials\":%s}",
                      static_cast<unsigned long long>(req->body_len), req->user ? "true" : "false");
        ok = veltrona_buf_adds(&b, tail) == 0;
    }
    if (!ok) veltrona_buf_free(&b);
    std::free(g_last_req.exchange(b.data, std::memory_order_acq_rel));
}

// Header lines of an LF-separated text; true when a callback asked to stop
// (and `consult` is set).
bool deliver_lines(const veltrona_http_request *req, const char *text, bool consult) noexcept {
    if (!text || !req->on_header) return false;
    const char *p = text;
    while (*p) {
        const char *end = std::strchr(p, '\n');
        if (!end) end = p + std::strlen(p);
        const char *colon = static_cast<const char *>(std::memchr(p, ':', static_cast<size_t>(end - p)));
        if (colon) {
            const char *v = colon + 1;
            while (v < end && *v == ' ') ++v;
            const char *vend = end;
            if (vend > v && vend[-1] == '\r') --vend;
            size_t nlen = static_cast<size_t>(colon - p);
            size_t vlen = static_cast<size_t>(vend - v);
            if (nlen <= 127 && vlen <= 511) {
                char name[128];
                char value[512];
                std::memcpy(name, p, nlen);
                name[nlen] = 0;
                std::memcpy(value, v, vlen);
                value[vlen] = 0;
                if (req->on_header(req->cb_ctx, name, value) != 0 && consult) return true;
            }
        }
        p = *end ? end + 1 : end;
    }
    return false;
}

bool deliver_status(const veltrona_http_request *req, int32_t status) noexcept {
    if (!req->on_header) return false;
    char s[24];
    std::snprintf(s, sizeof s, "%ld", static_cast<long>(status));
    return req->on_header(req->cb_ctx, ":status", s) != 0;
}

void deliver(const veltrona_http_request *req, int32_t status, const char *headers, const char *body,
             uint64_t len) noexcept {
    if (deliver_status(req, status)) return;
    if (deliver_lines(req, headers, true)) return;
    uint64_t off = 0;
    while (off < len && req->on_body) {
        uint64_t n = len - off < DELIVER_PIECE ? len - off : DELIVER_PIECE;
        if (req->on_body(req->cb_ctx, body + off, n) != 0) return;
        off += n;
    }
}

// Drip routes deliver status and headers whatever the callbacks answer, then
// the body in small pieces with a pause after each one unless the piece
// limit was reached.
void deliver_drip(const veltrona_http_request *req, int32_t status, const char *headers,
                  const char *body, uint64_t len, int32_t chunks) noexcept {
    (void)deliver_status(req, status);
    (void)deliver_lines(req, headers, false);
    uint64_t off = 0;
    int32_t count = 0;
    while (off < len) {
        uint64_t n = len - off < DRIP_PIECE ? len - off : DRIP_PIECE;
        if (req->on_body && req->on_body(req->cb_ctx, body + off, n) != 0) return;
        off += n;
        ++count;
        if (chunks > 0 && count >= chunks) return;
        veltrona_sleep_ms(DRIP_WAIT_MS);
    }
}

// Value of the request's first "Range:" line, leading spaces skipped.
const char *range_value(const veltrona_http_request *req) noexcept {
    if (!req->headers) return nullptr;
    for (uint64_t i = 0; i < req->header_count; ++i) {
        const char *line = req->headers[i];
        if (!line) continue;
        if (std::strlen(line) < 6 || !veltrona_same_ci(line, "range", 5) || line[5] != ':') continue;
        const char *v = line + 6;
        while (*v == ' ') ++v;
        return v;
    }
    return nullptr;
}

struct file_answer {
    int32_t status;
    char headers[192];
    uint64_t first;  // first byte of the content to send
    uint64_t count;  // bytes to send
};

void answer_whole(uint64_t size, file_answer *a) noexcept {
    a->status = 200;
    std::snprintf(a->headers, sizeof a->headers, "Content-Length: %llu\nAccept-Ranges: bytes\n",
                  static_cast<unsigned long long>(size));
    a->first = 0;
    a->count = size;
}

void answer_unsatisfiable(uint64_t size, file_answer *a) noexcept {
    a->status = 416;
    std::snprintf(a->headers, sizeof a->headers, "Content-Range: bytes */%llu\n",
                  static_cast<unsigned long long>(size));
    a->first = 0;
    a->count = 0;
}

void answer_part(uint64_t first, uint64_t last, uint64_t size, file_answer *a) noexcept {
    a->status = 206;
    a->first = first;
    a->count = last - first + 1;
    std::snprintf(a->headers, sizeof a->headers,
                  "Content-Range: bytes %lld-%lld/%llu\nContent-Length: %lld\n",
                  static_cast<long long>(first), static_cast<long long>(last),
                  static_cast<unsigned long long>(size), static_cast<long long>(a->count));
}

// Status, header text and byte span of a file route's answer. Every span
// handed back lies inside the content.
void file_range(const fake_route *r, const veltrona_http_request *req, file_answer *a) noexcept {
    const uint64_t size = r->body_len;
    const char *v = range_value(req);
    if (!v || r->range_mode == FAKE_RANGE_OFF || std::strncmp(v, "bytes=", 6) != 0) {
        answer_whole(size, a);
        return;
    }
    const char *p = v + 6;

    // Suffix form "bytes=-N": the last N bytes, the whole file when N is
    // larger; no bytes at all (N of 0, or an empty file) cannot be served.
    const char *q = p;
    while (std::isspace(static_cast<unsigned char>(*q))) ++q;
    if (q[0] == '-' && std::isdigit(static_cast<unsigned char>(q[1]))) {
        unsigned long long n = std::strtoull(q + 1, nullptr, 10);
        if (n == 0 || size == 0) {
            answer_unsatisfiable(size, a);
            return;
        }
        answer_part(n >= size ? 0 : size - n, size - 1, size, a);
        return;
    }

    char *e = nullptr;
    long long first = std::strtoll(p, &e, 10);
    long long last;
    const long long end = static_cast<long long>(size) - 1;
    if (*e == '-' && e[1] != 0)
        last = std::strtoll(e + 1, nullptr, 10);
    else
        last = end;

    if (first < 0 || static_cast<unsigned long long>(first) >= size || last < first) {
        answer_unsatisfiable(size, a);
        return;
    }
    if (last > end) {
        if (r->range_mode == FAKE_RANGE_STRICT) {
            answer_unsatisfiable(size, a);
            return;
        }
        last = end;
    }
    answer_part(static_cast<uint64_t>(first), static_cast<uint64_t>(last), size, a);
}

char *copy_bytes(const char *src, uint64_t len) noexcept {
    if (len == 0 || !src) return nullptr;
    char *p = static_cast<char *>(std::malloc(static_cast<size_t>(len)));
    if (p) std::memcpy(p, src, static_cast<size_t>(len));
    return p;
}

void fake_free(void *, char *text) noexcept { std::free(text); }

void set_err(char **err, const char *text) noexcept {
    if (err) *err = veltrona_strdup(text);
}

int32_t fake_request(void *, const veltrona_http_request *req, int32_t *status, char **err) noexcept {
    if (status) *status = 0;
    if (err) *err = nullptr;
    if (!req || req->size < VELTRONA_HTTP_REQUEST_SIZE || !req->method || !req->url) {
        set_err(err, "fake: bad request");
        return -1;
    }
    if (!veltrona_method_ok(req->method)) {
        set_err(err, "fake: bad method");
        return -1;
    }

    veltrona_lock_take(&g_l);
    bump(&g_total);
    if (is_write_method(req->method)) bump(&g_writes);
    record(req);

    fake_route *r = find(req->method, req->url);
    if (!r && std::strcmp(req->method, "HEAD") == 0) r = find("GET", req->url);
    if (!r) {
        veltrona_lock_drop(&g_l);
        deliver(req, 404, nullptr, nullptr, 0);
        if (status) *status = 404;
        return 0;
    }
    bump(&r->calls);

    // Everything the answer needs is copied under the lock; callbacks and
    // waits run without it and may call back into the server.
    int32_t kind = r->kind;
    int32_t st = r->status;
    int32_t chunks = r->drip_chunks;
    char *hdrs = nullptr;
    char *body = nullptr;
    uint64_t len = 0;
    file_answer fa;

    if (kind == FAKE_FAIL) {
        set_err(err, r->fail_msg ? r->fail_msg : DEFAULT_FAIL);
        veltrona_lock_drop(&g_l);
        return -1;
    }
    if (kind == FAKE_FILE) {
        file_range(r, req, &fa);
        st = fa.status;
        if (fa.count && std::strcmp(req->method, "HEAD") != 0) {
            body = copy_bytes(r->body + fa.first, fa.count);
            if (body) len = fa.count;
        }
    } else {
        hdrs = veltrona_strdup(r->headers ? r->headers : "");
        body = copy_bytes(r->body, r->body_len);
        if (body) len = r->body_len;
    }
    veltrona_lock_drop(&g_l);

    if (kind == FAKE_FILE)
        deliver(req, st, fa.headers, body, len);
    else if (kind == FAKE_DRIP)
        deliver_drip(req, st, hdrs, body, len, chunks);
    else
        deliver(req, st, hdrs, body, len);
    if (status) *status = st;
    std::free(hdrs);
    std::free(body);
    return 0;
}

const veltrona_http g_fake_http = {VELTRONA_HTTP_SIZE, VELTRONA_HTTP_VERSION, nullptr, fake_request,
                                   fake_free};

}  // namespace

const veltrona_http *veltrona_http_fake() noexcept { return &g_fake_http; }

int32_t veltrona_fake_set(const char *method, const char *url, int32_t status, const char *headers,
                          const void *body, uint64_t len) noexcept {
    if (!method || !url || !veltrona_method_ok(method) || (!body && len)) return -1;
    locked hold;
    fake_route *r = obtain(method, url);
    if (!r) return -1;
    r->kind = FAKE_STATIC;
    r->status = status;
    r->headers = veltrona_strdup(headers ? headers : "");
    (void)store_body(r, body, len);
    return r->headers ? 0 : -1;
}

int32_t veltrona_fake_file(const char *url, const void *data, uint64_t len, int32_t range_mode) noexcept {
    if (!url || (!data && len)) return -1;
    locked hold;
    fake_route *r = obtain("GET", url);
    if (!r) return -1;
    r->kind = FAKE_FILE;
    r->status = 200;
    r->range_mode = range_mode;
    return store_body(r, data, len) ? 0 : -1;
}

int32_t veltrona_fake_drip(const char *url, int32_t status, const void *body, uint64_t len,
                           int32_t chunks) noexcept {
    if (!url || (!body && len)) return -1;
    locked hold;
    fake_route *r = obtain("GET", url);
    if (!r) return -1;
    r->kind = FAKE_DRIP;
    r->status = status;
    r->drip_chunks = chunks;
    r->headers = veltrona_strdup(DRIP_HEADERS);
    (void)store_body(r, body, len);
    return r->headers ? 0 : -1;
}

int32_t veltrona_fake_fail(const char *method, const char *url, const char *msg) noexcept {
    if (!method || !url) return -1;
    locked hold;
    fake_route *r = obtain(method, url);
    if (!r) return -1;
    r->kind = FAKE_FAIL;
    r->fail_msg = veltrona_strdup(msg ? msg : DEFAULT_FAIL);
    return r->fail_msg ? 0 : -1;
}

int32_t veltrona_fake_calls(const char *method, const char *url) noexcept {
    locked hold;
    if (!method || !url) return g_total;
    const fake_route *r = find(method, url);
    return r ? r->calls : 0;
}

int32_t veltrona_fake_calls_method(const char *method) noexcept {
    locked hold;
    if (!method) return g_total;
    uint32_t sum = 0;
    for (int32_t i = 0; i < g_n; ++i) {
        if (std::strcmp(g_routes[i].method, method) == 0) sum += static_cast<uint32_t>(g_routes[i].calls);
    }
    return static_cast<int32_t>(sum);
}

int32_t veltrona_fake_writes_sent() noexcept {
    locked hold;
    return g_writes;
}

const char *veltrona_fake_last_request() noexcept { return g_last_req.load(std::memory_order_acquire); }

void veltrona_fake_reset() noexcept {
    locked hold;
    for (int32_t i = 0; i < g_n; ++i) {
        clear_payload(&g_routes[i]);
        std::free(g_routes[i].method);
        std::free(g_routes[i].url);
    }
    std::free(g_routes);
    g_routes = nullptr;
    g_n = 0;
    g_cap = 0;
    g_total = 0;
    g_writes = 0;
    std::free(g_last_req.exchange(nullptr, std::memory_order_acq_rel));
}
