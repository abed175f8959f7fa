// Growable buffers, string duplicators, the response collector, request
// records and the validation of io records: the pieces every transport
// shares.
#ifndef VELTRONA_HTTP_BUF_H
#define VELTRONA_HTTP_BUF_H

#include <cstddef>
#include <cstdint>

#include "veltrona_http.h"

int32_t veltrona_buf_add(veltrona_buf *b, const void *src, uint64_t n) noexcept;
int32_t veltrona_buf_addc(veltrona_buf *b, char c) noexcept;
int32_t veltrona_buf_adds(veltrona_buf *b, const char *s) noexcept;
void veltrona_buf_free(veltrona_buf *b) noexcept;

// Heap copies released with free(): NULL for a NULL text, for (NULL, n > 0)
// and when memory runs out; (NULL, 0) gives "". strndup copies n bytes as
// they are, NUL bytes included, and adds a NUL.
char *veltrona_strdup(const char *s) noexcept;
char *veltrona_strndup(const char *s, size_t n) noexcept;

// Response collector: body bounded to `bound` bytes (0: no bound) and a
// header block of name NUL value NUL entries.
struct veltrona_collect {
    veltrona_buf body;
    veltrona_buf headers;
    int32_t status;
    uint64_t bound;
    int32_t over_bound;
    // Set when an append to the body or the header block failed for lack
    // of memory, so that a cut response is never taken for a whole one.
    int32_t oom;
    // 1 (the default) keeps the header block; 0 reads only the status and
    // the announced length, for callers that never look at the block.
    int32_t keep_headers;
};

void veltrona_collect_init(veltrona_collect *c, uint64_t bound) noexcept;
void veltrona_collect_free(veltrona_collect *c) noexcept;
int32_t veltrona_collect_header(void *c, const char *name, const char *value) noexcept;
int32_t veltrona_collect_body(void *c, const void *data, uint64_t len) noexcept;

// A zeroed request record of this version for method and url. With a
// collector, the answer's status, headers and body go to it; without one
// the caller sets the callbacks.
void veltrona_request_init(veltrona_http_request *req, const char *method, const char *url,
                           veltrona_collect *c) noexcept;

// The transport of a valid io context / io record, else NULL.
const veltrona_http *veltrona_http_from_ctx(const veltrona_io_ctx *ctx) noexcept;
const veltrona_http *veltrona_http_of(const veltrona_io *io) noexcept;

#endif
