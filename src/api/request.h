// The two request functions every fetch and write goes through.
#ifndef MVFILES_API_REQUEST_H
#define MVFILES_API_REQUEST_H

#include <cstddef>
#include <cstdint>

#include <yyjson.h>

#include "mvfiles.h"
#include "veltrona_http.h"

// Most body bytes a response may carry (32 MiB).
#define MVFILES_BODY_BOUND 33554432u

// GET url through the installed transport. header_lines: NULL-terminated
// array (at most 15 are sent) or NULL. On success (0) *out_body is a heap
// block released with free() and followed by a NUL, or NULL for an empty
// body; *out_headers (when given) receives the header block. On failure (-1)
// msg holds the reason. Precondition: a transport is installed.
int32_t mvfiles_http_get(const char *url, const char *const *header_lines, char **out_body,
                         uint64_t *out_len, veltrona_buf *out_headers, int32_t *out_status,
                         char *msg, size_t msg_size) noexcept;

// POST body (body_len bytes) with an optional content type (NULL or "" for
// none). Same outcome as mvfiles_http_get, without response headers.
int32_t mvfiles_http_post(const char *url, const void *body, uint64_t body_len,
                          const char *content_type, char **out_body, uint64_t *out_len,
                          int32_t *out_status, char *msg, size_t msg_size) noexcept;

// The result of a request that failed with msg (from mvfiles_http_get or
// mvfiles_http_post): 1 "transport: msg", or 8 with the transport's own
// text when the fixture backend is installed and that text is "oom" or
// begins with "oom: " (the backend ran out of memory).
mvfiles_result mvfiles_transport_failure(const char *msg) noexcept;

// Judges a request for the look-up or write that sent it, from the result
// and message of mvfiles_http_get/post and the status: as
// mvfiles_transport_failure when the request failed; for a status outside 200..299 the body is
// released and the result is 5 with not_found for a 404 (when given), 2
// with not_allowed for a 405 (when given), else 2 "HTTP <status>". 0 when
// the caller goes on with the body.
mvfiles_result mvfiles_judge_response(int32_t rc, const char *msg, int32_t status, char **body,
                                      const char *not_found, const char *not_allowed) noexcept;

// Reads a 2xx answer whose root must be an array, taking ownership of body:
// 4 "empty body" for no body, 8 with oom_text when the parse ran out of
// memory, 3 "<word>: invalid JSON" or "<word>: root is not an array".
// On 0, *doc holds the document (the array may be empty).
mvfiles_result mvfiles_read_array(char *body, uint64_t len, const char *word, const char *oom_text,
                                  yyjson_doc **doc) noexcept;

#endif
