#include "support/service.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
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

// Suites that fail allocations on purpose provide this hook (failalloc.cpp):
// the test transport's own bookkeeping is then neither failed nor counted,
// so that only the library's allocations are exercised.
extern "C" void mvtest_heap_pause(int on) __attribute__((weak));

namespace {
struct HeapPause {
    HeapPause() { if (mvtest_heap_pause) mvtest_heap_pause(1); }
    ~HeapPause() { if (mvtest_heap_pause) mvtest_heap_pause(0); }
};
}  // namespace

int32_t Service::do_request(void *user, const veltrona_http_request *req, int32_t *status,
                            char **err) {
    auto *self = static_cast<Service *>(user);
    *status = 0;
    *err = nullptr;
    std::optional<Answer> routed;
    const Answer *ap = nullptr;
    bool from_queue = false;
    {
        HeapPause pause;
        try {
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
            if (self->route) {
                routed = self->route(self->requests.back());
                ap = &*routed;
            } else if (!self->queue_.empty()) {
                ap = &self->queue_.front();
                from_queue = true;
            } else {
                ap = &self->fallback;
            }
        } catch (...) {
            return -1;
        }
    }
    const Answer &a = *ap;
    int32_t rc = 0;
    if (a.fail) {
        *status = a.status_on_fail;
        if (a.fail_with_text) {
            *err = static_cast<char *>(std::malloc(a.fail_text.size() + 1));
            if (*err) std::memcpy(*err, a.fail_text.c_str(), a.fail_text.size() + 1);
        }
        rc = -1;
    } else {
        *status = a.status;
        bool stop = false;
        if (req->on_header) {
            char code[16];
            std::snprintf(code, sizeof code, "%d", a.status);
            stop = req->on_header(req->cb_ctx, ":status", code) != 0;
            for (size_t i = 0; !stop && i < a.headers.size(); i++)
                stop = req->on_header(req->cb_ctx, a.headers[i].first.c_str(),
                                      a.headers[i].second.c_str()) != 0;
        }
        if (!stop && req->on_body && !a.body.empty()) {
            uint64_t piece = a.piece ? a.piece : a.body.size();
            for (size_t off = 0; off < a.body.size(); off += piece) {
                uint64_t n = a.body.size() - off < piece ? a.body.size() - off : piece;
                if (req->on_body(req->cb_ctx, a.body.data() + off, n) != 0) break;
            }
        }
    }
    HeapPause pause;
    routed.reset();
    if (from_queue) self->queue_.erase(self->queue_.begin());
    return rc;
}

void Service::do_free(void *, char *text) { std::free(text); }

void reset_client() {
    mvfiles_shutdown();
    mvfiles_fake_mode(0);
    mvfiles_fake_reset();
    g_sf.host[0] = 0;
    g_sf.origin_fault = nullptr;
    g_sf.files_ttl = 0;
    g_sf.kv_ttl = 0;
    g_sf.sessions_ttl = 0;
    g_sf.files_time = g_sf.kv_time = g_sf.sessions_time = 0;
    g_sf.files_key[0] = g_sf.kv_tag[0] = g_sf.kv_prefix[0] = g_sf.sessions_key[0] = 0;
}

}  // namespace mvtest
