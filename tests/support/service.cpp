#include "support/service.h"

#include <cstdlib>
#include <cstring>

#include "api/core.h"
#include "mvfiles.h"

namespace mvtest {

Service::Service() {
    http_.size = VELTRONA_HTTP_SIZE;
    http_.version = VELTRONA_HTTP_VERSION;
    http_.user_data = this;
    http_.request = &Service::do_request;
    http_.free = &Service::do_free;
    ctx_.magic = VELTRONA_IO_MAGIC;
    ctx_.size = VELTRONA_IO_CTX_SIZE;
    ctx_.http = &http_;
    io_.ctx = &ctx_;
}

void Service::install() { mvfiles_set_io(&io_); }

int32_t Service::do_request(void *user, const veltrona_http_request *req, int32_t *status,
                            char **err) {
    auto *self = static_cast<Service *>(user);
    *status = 0;
    *err = nullptr;
    Request r;
    r.size = req->size;
    r.method = req->method ? req->method : "";
    r.url = req->url ? req->url : "";
    r.headers_null = req->headers == nullptr;
    r.header_count = req->header_count;
    for (uint64_t i = 0; i < req->header_count; i++)
        if (req->headers[i]) r.headers.emplace_back(req->headers[i]);
    r.body_null = req->body == nullptr;
    r.body_len = req->body_len;
    if (req->body) r.body.assign(static_cast<const char *>(req->body), req->body_len);
    r.has_user = req->user != nullptr;
    r.has_password = req->password != nullptr;
    r.timeout_ms = req->timeout_ms;
    r.connect_timeout_ms = req->connect_timeout_ms;
    r.recv_timeout_ms = req->recv_timeout_ms;
    r.flags = req->flags;
    r.on_header = req->on_header;
    r.on_body = req->on_body;
    r.cb_ctx = req->cb_ctx;
    self->requests.push_back(r);

    Answer a;
    if (self->route) {
        a = self->route(r);
    } else if (!self->queue_.empty()) {
        a = self->queue_.front();
        self->queue_.erase(self->queue_.begin());
    } else {
        a = self->fallback;
    }
    if (a.fail) {
        *status = a.status_on_fail;
        if (a.fail_with_text) {
            *err = static_cast<char *>(std::malloc(a.fail_text.size() + 1));
            if (*err) std::memcpy(*err, a.fail_text.c_str(), a.fail_text.size() + 1);
        }
        return -1;
    }
    *status = a.status;
    if (req->on_header) {
        std::string code = std::to_string(a.status);
        if (req->on_header(req->cb_ctx, ":status", code.c_str()) != 0) return 0;
        for (auto &h : a.headers)
            if (req->on_header(req->cb_ctx, h.first.c_str(), h.second.c_str()) != 0) return 0;
    }
    if (req->on_body && !a.body.empty()) {
        uint64_t piece = a.piece ? a.piece : a.body.size();
        for (size_t off = 0; off < a.body.size(); off += piece) {
            uint64_t n = a.body.size() - off < piece ? a.body.size() - off : piece;
            if (req->on_body(req->cb_ctx, a.body.data() + off, n) != 0) break;
        }
    }
    return 0;
}

void Service::do_free(void *, char *text) { std::free(text); }

void reset_client() {
    mvfiles_shutdown();
    g_sf.host[0] = 0;
    g_sf.files_ttl = 0;
    g_sf.kv_ttl = 0;
    g_sf.sessions_ttl = 0;
    g_sf.files_time = g_sf.kv_time = g_sf.sessions_time = 0;
    g_sf.files_key[0] = g_sf.kv_tag[0] = g_sf.kv_prefix[0] = g_sf.sessions_key[0] = 0;
}

}  // namespace mvtest
