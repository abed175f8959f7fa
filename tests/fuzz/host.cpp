// The host transport and helpers shared by the fuzz targets.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz.h"
#include "mvfiles.h"

namespace mvfuzz {

std::function<Reply(const std::string &url)> answer;

std::vector<std::string> split(const uint8_t *data, size_t size, char sep, size_t max_parts) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; i++) {
        if (static_cast<char>(data[i]) == sep && parts.size() < max_parts)
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(data[i]));
    }
    return parts;
}

namespace {

int32_t request(void *, const veltrona_http_request *req, int32_t *status, char **err) {
    *err = nullptr;
    Reply r = answer(req->url);
    *status = r.code;
    bool stop = req->on_header && req->on_header(req->cb_ctx, ":status", r.status.c_str());
    for (size_t i = 0; !stop && req->on_header && i < r.headers.size(); i++) {
        const auto &h = r.headers[i];
        stop = req->on_header(req->cb_ctx, h.first.c_str(), h.second ? h.second->c_str() : nullptr);
    }
    if (!stop && req->on_body && !r.body.empty()) req->on_body(req->cb_ctx, r.body.data(), r.body.size());
    return 0;
}

const veltrona_http s_http = {VELTRONA_HTTP_SIZE, VELTRONA_HTTP_VERSION, nullptr, request, nullptr};
veltrona_io_ctx s_ctx = {VELTRONA_IO_MAGIC, VELTRONA_IO_CTX_SIZE, &s_http, 0};
const veltrona_io s_io = {&s_ctx, nullptr, nullptr, nullptr};
volatile size_t s_read = 0;

}  // namespace

const veltrona_http *host() { return &s_http; }

void fresh_client() {
    MVFUZZ_CHECK(mvfiles_set_io(&s_io) == MVFILES_OK);
    mvfiles_cache_clear();
    mvfiles_set_host("http://fuzz.invalid");
}

int32_t exchange(const veltrona_http *t, const char *method, const char *url,
                 const std::vector<const char *> &headers, veltrona_collect *c, std::string *err) {
    veltrona_collect_init(c, 0);
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = method;
    req.url = url;
    req.headers = headers.data();
    req.header_count = headers.size();
    req.on_header = veltrona_collect_header;
    req.on_body = veltrona_collect_body;
    req.cb_ctx = c;
    int32_t status = 0;
    char *text = nullptr;
    int32_t rc = t->request(t->user_data, &req, &status, &text);
    MVFUZZ_CHECK(status == c->status);
    if (err) *err = text ? text : "";
    if (text && t->free) t->free(t->user_data, text);
    return rc;
}

void read_text(const char *s) { s_read = s_read + (s ? std::strlen(s) : 0); }

}  // namespace mvfuzz
