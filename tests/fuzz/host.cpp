// The host transport shared by the fuzz targets.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz.h"
#include "mvfiles.h"

namespace mvfuzz {

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
    *status = 0;
    *err = nullptr;
    Reply r = host().answer ? host().answer(req->method, req->url) : Reply{};
    if (r.fail) {
        *err = static_cast<char *>(std::malloc(16));
        if (*err) std::strcpy(*err, "host: no answer");
        return -1;
    }
    *status = r.code;
    bool stop = req->on_header && req->on_header(req->cb_ctx, ":status", r.status.c_str());
    for (size_t i = 0; !stop && req->on_header && i < r.headers.size(); i++) {
        const auto &h = r.headers[i];
        stop = req->on_header(req->cb_ctx, h.first.c_str(), h.second ? h.second->c_str() : nullptr);
    }
    if (!stop && req->on_body && !r.body.empty()) req->on_body(req->cb_ctx, r.body.data(), r.body.size());
    return 0;
}

void release(void *, char *text) { std::free(text); }

const veltrona_http s_http = {VELTRONA_HTTP_SIZE, VELTRONA_HTTP_VERSION, nullptr, request, release};
veltrona_io_ctx s_ctx = {VELTRONA_IO_MAGIC, VELTRONA_IO_CTX_SIZE, &s_http, 0};
const veltrona_io s_io = {&s_ctx, nullptr, nullptr, nullptr};

}  // namespace

const veltrona_http *Host::http() const { return &s_http; }

void Host::install() { MVFUZZ_CHECK(mvfiles_set_io(&s_io) == MVFILES_OK); }

Host &host() {
    static Host h;
    return h;
}

void fresh_client() {
    mvfiles_cache_clear();
    mvfiles_set_host("http://fuzz.invalid");
}

}  // namespace mvfuzz
