// The io adapter: one static io record and its context, and the exchange
// that its get and post operations run on the wrapped transport.
#include "http/io_adapter.h"

#include <cstdlib>
#include <cstring>

#include "http/buf.h"
#include "http/headers.h"

namespace {

veltrona_io_ctx ctx;
veltrona_io io;
int32_t done = 0;

const char DEFAULT_CONTENT_TYPE[] = "application/x-www-form-urlencoded";

// The answer being collected. `oom` remembers a failed append: the
// transport still ends the exchange normally after the stop, and a cut body
// must not be handed out as the whole answer.
struct str_sink {
    veltrona_buf buf;
    int32_t oom;
};

int32_t str_body(void *sink, const void *data, uint64_t len) noexcept {
    auto *s = static_cast<str_sink *>(sink);
    if (veltrona_buf_add(&s->buf, data, len) != 0) {
        s->oom = 1;
        return 1;
    }
    return 0;
}

int32_t io_do(const char *method, const char *url, const char *body, const char *content_type,
              const veltrona_http *t, char **out_body, int32_t *out_status, char **out_err) noexcept {
    // The transport needs somewhere to put status and error text, and the
    // answer needs somewhere to go.
    if (!out_body || !out_status || !out_err) {
        if (out_err) *out_err = veltrona_strdup("io_over_http: bad arguments");
        return -1;
    }
    if (!t) {
        *out_err = veltrona_strdup("io_over_http: no transport installed");
        return -1;
    }

    str_sink sink = {{nullptr, 0, 0}, 0};
    veltrona_http_request req;
    veltrona_request_init(&req, method, url, nullptr);
    req.on_body = str_body;
    req.cb_ctx = &sink;

    char line[256];
    const char *const lines[1] = {line};
    if (std::strcmp(method, "POST") == 0) {
        if (veltrona_header_line("Content-Type", content_type ? content_type : DEFAULT_CONTENT_TYPE,
                                 line, sizeof line) != 0) {
            *out_err = veltrona_strdup("bad content type");
            return -1;
        }
        if (!body) body = "";
        req.headers = lines;
        req.header_count = 1;
        req.body = body;
        req.body_len = std::strlen(body);
    }

    *out_body = nullptr;
    int32_t rc = t->request(t->user_data, &req, out_status, out_err);
    if (rc != 0) {
        veltrona_buf_free(&sink.buf);
        return rc;
    }
    // The final NUL also gives an empty answer a block of its own.
    if (sink.oom || veltrona_buf_addc(&sink.buf, 0) != 0) {
        veltrona_buf_free(&sink.buf);
        // The "oom" text replaces whatever text the transport left.
        if (*out_err && t->free) t->free(t->user_data, *out_err);
        *out_err = veltrona_strdup("oom");
        return -1;
    }
    *out_body = sink.buf.data;
    return 0;
}

int32_t io_get(veltrona_io_ctx *c, const char *url, char **out_body, int32_t *out_status,
               char **out_err) noexcept {
    return io_do("GET", url, nullptr, nullptr, veltrona_http_from_ctx(c), out_body, out_status, out_err);
}

int32_t io_post(veltrona_io_ctx *c, const char *url, const char *body, const char *content_type,
                char **out_body, int32_t *out_status, char **out_err) noexcept {
    return io_do("POST", url, body, content_type, veltrona_http_from_ctx(c), out_body, out_status,
                 out_err);
}

void io_free_buf(veltrona_io_ctx *, char *text) noexcept { std::free(text); }

}  // namespace

const veltrona_io *veltrona_io_over_http(const veltrona_http *http, uint64_t user_data) noexcept {
    if (!http) return nullptr;
    if (!done) {
        ctx.magic = VELTRONA_IO_MAGIC;
        ctx.size = VELTRONA_IO_CTX_SIZE;
        io.ctx = &ctx;
        io.get = io_get;
        io.post = io_post;
        io.free = io_free_buf;
        done = 1;
    }
    ctx.http = http;
    ctx.user_data = user_data;
    return &io;
}
