// Compile-time proof that the transport records keep their binary layout.
#include <cstddef>

#include "veltrona_http.h"

static_assert(sizeof(void *) == 8, "the transport ABI is defined for 64-bit platforms");

static_assert(sizeof(veltrona_buf) == 24, "veltrona_buf");
static_assert(offsetof(veltrona_buf, data) == 0 && offsetof(veltrona_buf, len) == 8 &&
                  offsetof(veltrona_buf, cap) == 16,
              "veltrona_buf fields");

static_assert(sizeof(veltrona_http) == 32, "veltrona_http is 32 bytes");
static_assert(offsetof(veltrona_http, size) == 0 && offsetof(veltrona_http, version) == 4 &&
                  offsetof(veltrona_http, user_data) == 8 && offsetof(veltrona_http, request) == 16 &&
                  offsetof(veltrona_http, free) == 24,
              "veltrona_http fields");

static_assert(sizeof(veltrona_http_request) == 112, "veltrona_http_request is 112 bytes");
static_assert(offsetof(veltrona_http_request, size) == 0 &&
                  offsetof(veltrona_http_request, method) == 8 &&
                  offsetof(veltrona_http_request, url) == 16 &&
                  offsetof(veltrona_http_request, headers) == 24 &&
                  offsetof(veltrona_http_request, header_count) == 32 &&
                  offsetof(veltrona_http_request, body) == 40 &&
                  offsetof(veltrona_http_request, body_len) == 48 &&
                  offsetof(veltrona_http_request, user) == 56 &&
                  offsetof(veltrona_http_request, password) == 64 &&
                  offsetof(veltrona_http_request, timeout_ms) == 72 &&
                  offsetof(veltrona_http_request, connect_timeout_ms) == 76 &&
                  offsetof(veltrona_http_request, flags) == 80 &&
                  offsetof(veltrona_http_request, recv_timeout_ms) == 84 &&
                  offsetof(veltrona_http_request, on_header) == 88 &&
                  offsetof(veltrona_http_request, on_body) == 96 &&
                  offsetof(veltrona_http_request, cb_ctx) == 104,
              "veltrona_http_request fields");

static_assert(sizeof(veltrona_io_ctx) == 24, "veltrona_io_ctx is 24 bytes");
static_assert(offsetof(veltrona_io_ctx, magic) == 0 && offsetof(veltrona_io_ctx, size) == 4 &&
                  offsetof(veltrona_io_ctx, http) == 8 && offsetof(veltrona_io_ctx, user_data) == 16,
              "veltrona_io_ctx fields");

static_assert(sizeof(veltrona_io) == 32, "veltrona_io");
static_assert(offsetof(veltrona_io, ctx) == 0 && offsetof(veltrona_io, get) == 8 &&
                  offsetof(veltrona_io, post) == 16 && offsetof(veltrona_io, free) == 24,
              "veltrona_io fields");
