// HTTP header and range utilities shared by the transports and the io
// adapter. They keep no state and allocate nothing but one error text.
#ifndef VELTRONA_HTTP_HEADERS_H
#define VELTRONA_HTTP_HEADERS_H

#include <cstddef>
#include <cstdint>

#include "http/buf.h"
#include "veltrona_http.h"

// The library's one case folding: A-Z to a-z, every other byte unchanged,
// whatever the locale. constexpr so that tables of names can be checked
// at compile time.
constexpr unsigned char veltrona_fold_ascii(unsigned char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// True when n bytes of a and b are equal after veltrona_fold_ascii.
bool veltrona_same_ci(const char *a, const char *b, size_t n) noexcept;

// True when the n bytes at a are the header name `lower` (given in lower
// case), ASCII case ignored.
bool veltrona_name_is(const char *a, size_t n, const char *lower) noexcept;

// 1 when method is an HTTP token of 1 to 32 characters, else 0.
int32_t veltrona_method_ok(const char *method) noexcept;

// Writes "name: value" into out; 0 when written whole, -1 when refused
// (bad name or value, size <= 3) or cut.
int32_t veltrona_header_line(const char *name, const char *value, char *out, size_t size) noexcept;

// Value of the first request header line named `name` (ASCII case-
// insensitive), pointing into the caller's text; NULL when none.
const char *veltrona_header_get(const veltrona_http_request *req, const char *name) noexcept;

// Value of the first entry named `name` in a collector's header block.
const char *veltrona_hdrs_get(const veltrona_buf *block, const char *name) noexcept;

// Parses a Content-Range value: "bytes first-last/total", "bytes */total",
// "bytes first-*". Unknown parts are -1. 0, or -1 when refused.
int32_t veltrona_content_range(const char *text, int64_t *first, int64_t *last, int64_t *total) noexcept;

// GET bytes first..last of url through transport t into collector c.
// A 200 answer to a range starting past 0 is realigned to start at first.
int32_t veltrona_http_range(const veltrona_http *t, const char *url, int64_t first, int64_t last,
                            veltrona_collect *c, int32_t *status, char **err) noexcept;

#endif
