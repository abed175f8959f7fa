// GET and POST through the installed transport, collecting a bounded body.
#include "api/request.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/core.h"
#include "http/buf.h"

namespace {

// What GET and POST set up alike: empty outputs, a collector bounded to
// 32 MiB, and a request record with the library's waits (no flags, no
// receive timeout of its own).
void begin(veltrona_http_request *req, veltrona_collect *col, const char *method, const char *url,
           char **out_body, uint64_t *out_len) {
    *out_body = nullptr;
    *out_len = 0;
    veltrona_collect_init(col, MVFILES_BODY_BOUND);
    col->keep_headers = 0;  // GET turns it on for a caller that takes the block
    veltrona_request_init(req, method, url, col);
    req->timeout_ms = 120000;
    req->connect_timeout_ms = 15000;
}

// Calls the transport and settles the outcome shared by GET and POST.
int32_t exchange(const veltrona_http_request *req, veltrona_collect *col, char **out_body,
                 uint64_t *out_len, veltrona_buf *out_headers, int32_t *status, char *msg,
                 size_t msg_size) {
    int32_t local_status = 0;
    if (!status) status = &local_status;
    const veltrona_http *t = g_sf.transport;
    char *text = nullptr;
    int32_t rc = t->request(t->user_data, req, status, &text);
    if (rc != 0) {
        if (col->over_bound)
            std::snprintf(msg, msg_size, "body exceeds %u MB bound", 32u);
        else if (text)
            std::snprintf(msg, msg_size, "transport: %s", text);
        else
            std::snprintf(msg, msg_size, "transport failure");
    } else if (col->over_bound) {
        // A response cut at the bound is never handed out as a success.
        std::snprintf(msg, msg_size, "body exceeds %u MB bound", 32u);
        rc = -1;
    } else if (col->oom) {
        // So is one that could not be collected whole for lack of memory.
        std::snprintf(msg, msg_size, "oom: response body");
        rc = -1;
    }
    if (text && t->free) t->free(t->user_data, text);
    g_sf.last_http_code = *status;
    if (rc != 0) {
        veltrona_collect_free(col);
        return -1;
    }
    if (col->body.len > 0) {
        *out_body = col->body.data;
        *out_len = col->body.len;
    } else {
        std::free(col->body.data);
    }
    col->body.data = nullptr;
    col->body.len = 0;
    col->body.cap = 0;
    if (out_headers) {
        *out_headers = col->headers;
        col->headers.data = nullptr;
        col->headers.len = 0;
        col->headers.cap = 0;
    }
    veltrona_collect_free(col);
    return 0;
}

}  // namespace

int32_t mvfiles_http_get(const char *url, const char *const *header_lines, char **out_body,
                         uint64_t *out_len, veltrona_buf *out_headers, int32_t *out_status,
                         char *msg, size_t msg_size) noexcept {
    veltrona_collect col;
    veltrona_http_request req;
    begin(&req, &col, "GET", url, out_body, out_len);
    col.keep_headers = out_headers != nullptr;

    const char **table = nullptr;
    if (header_lines) {
        table = static_cast<const char **>(std::malloc(16 * sizeof(const char *)));
        if (!table) {
            std::snprintf(msg, msg_size, "oom: header table");
            return -1;
        }
        size_t n = 0;
        while (n < 15 && header_lines[n]) {
            table[n] = header_lines[n];
            n++;
        }
        table[n] = nullptr;
        req.headers = table;
        req.header_count = n;
    }
    int32_t rc = exchange(&req, &col, out_body, out_len, out_headers, out_status, msg, msg_size);
    std::free(table);
    return rc;
}

int32_t mvfiles_http_post(const char *url, const void *body, uint64_t body_len,
                          const char *content_type, char **out_body, uint64_t *out_len,
                          int32_t *out_status, char *msg, size_t msg_size) noexcept {
    veltrona_collect col;
    veltrona_http_request req;
    begin(&req, &col, "POST", url, out_body, out_len);
    req.body = body;
    req.body_len = body_len;

    char *line = nullptr;
    const char *lines[1];
    if (content_type && *content_type) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "Content-Type: %s", content_type);
        line = veltrona_strdup(buf);
        if (!line) {
            std::snprintf(msg, msg_size, "oom: content-type");
            veltrona_collect_free(&col);
            return -1;
        }
        lines[0] = line;
        req.headers = lines;
        req.header_count = 1;
    }
    int32_t rc = exchange(&req, &col, out_body, out_len, nullptr, out_status, msg, msg_size);
    std::free(line);
    return rc;
}

mvfiles_result mvfiles_transport_failure(const char *msg) noexcept {
    // exchange() wrote the transport's own text after "transport: ". Only
    // the fixture backend's "oom" is the library running out of memory; a
    // host's or the network transport's text is theirs, whatever it says.
    static const char own[] = "transport: oom";
    const size_t n = sizeof own - 1;
    if (mvfiles_transport_is_fixture() && std::strncmp(msg, own, n) == 0 &&
        (msg[n] == 0 || std::strncmp(msg + n, ": ", 2) == 0))
        return mvfiles_fail(MVFILES_ERR_OOM, "%s", msg + sizeof "transport: " - 1);
    return mvfiles_fail(MVFILES_ERR_TRANSPORT, "transport: %s", msg);
}

mvfiles_result mvfiles_judge_response(int32_t rc, const char *msg, int32_t status, char **body,
                                      const char *not_found, const char *not_allowed) noexcept {
    if (rc != 0) return mvfiles_transport_failure(msg);
    if (status >= 200 && status <= 299) return MVFILES_OK;
    std::free(*body);
    *body = nullptr;
    if (status == 404 && not_found) return mvfiles_fail(MVFILES_ERR_NOT_FOUND, "%s", not_found);
    if (status == 405 && not_allowed) return mvfiles_fail(MVFILES_ERR_HTTP, "%s", not_allowed);
    return mvfiles_fail(MVFILES_ERR_HTTP, "HTTP %ld", static_cast<long>(status));
}

mvfiles_result mvfiles_read_array(char *body, uint64_t len, const char *word, const char *oom_text,
                                  yyjson_doc **doc) noexcept {
    *doc = nullptr;
    if (!body || len == 0) {
        std::free(body);
        return mvfiles_fail(MVFILES_ERR_EMPTY, "empty body");
    }
    yyjson_read_err err;
    yyjson_doc *d = yyjson_read_opts(body, static_cast<size_t>(len), 0, nullptr, &err);
    std::free(body);
    if (!d) {
        // A valid answer that could not be parsed for lack of memory is not
        // invalid JSON.
        if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
            return mvfiles_fail(MVFILES_ERR_OOM, "%s", oom_text);
        }
        return mvfiles_fail(MVFILES_ERR_JSON, "%s: invalid JSON", word);
    }
    if (!yyjson_is_arr(yyjson_doc_get_root(d))) {
        yyjson_doc_free(d);
        return mvfiles_fail(MVFILES_ERR_JSON, "%s: root is not an array", word);
    }
    *doc = d;
    return MVFILES_OK;
}
