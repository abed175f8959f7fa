// In-memory scriptable HTTP server reached as an ordinary transport: static
// answers, files with byte ranges, slowly dripped bodies and injected
// failures, plus counters and a JSON journal of the last request. All state
// is process-wide and guarded by one lock; these functions are internal to
// the transport layer and not exported from the shared library.
#ifndef VELTRONA_HTTP_FAKE_SERVER_H
#define VELTRONA_HTTP_FAKE_SERVER_H

#include <cstdint>

#include "veltrona_http.h"

// Route kinds.
constexpr int32_t FAKE_STATIC = 0;
constexpr int32_t FAKE_FILE = 1;
constexpr int32_t FAKE_FAIL = 2;
constexpr int32_t FAKE_DRIP = 3;

// Range handling of file routes; any other nonzero mode acts as CLAMP.
constexpr int32_t FAKE_RANGE_OFF = 0;     // every Range header is ignored
constexpr int32_t FAKE_RANGE_CLAMP = 1;   // a last position past the end is clamped
constexpr int32_t FAKE_RANGE_STRICT = 2;  // a last position past the end answers 416

// Most routes the server holds.
constexpr int32_t FAKE_MAX_ROUTES = 256;

// The server's constant transport record (never freed).
const veltrona_http *veltrona_http_fake() noexcept;

// Static answer for (method, url): status, header text of LF-separated
// "Name: value" lines (NULL: none) and a body (NULL only with len 0).
// 0, or -1 when refused or a copy failed. Replacing a route keeps its calls.
int32_t veltrona_fake_set(const char *method, const char *url, int32_t status, const char *headers,
                          const void *body, uint64_t len) noexcept;

// File served to GET (and HEAD) at url, honouring "Range: bytes=..." per
// range_mode. 0, or -1.
int32_t veltrona_fake_file(const char *url, const void *data, uint64_t len, int32_t range_mode) noexcept;

// Body served to GET at url in 64-byte pieces 10 ms apart; at most `chunks`
// pieces when chunks > 0. 0, or -1.
int32_t veltrona_fake_drip(const char *url, int32_t status, const void *body, uint64_t len,
                           int32_t chunks) noexcept;

// (method, url) fails as a transport with msg (NULL: "fake: transport
// failure"). 0, or -1.
int32_t veltrona_fake_fail(const char *method, const char *url, const char *msg) noexcept;

// Requests answered by the route (0 if none); all handled requests when
// either argument is NULL.
int32_t veltrona_fake_calls(const char *method, const char *url) noexcept;

// Requests answered by all routes of that method; all handled when NULL.
int32_t veltrona_fake_calls_method(const char *method) noexcept;

// Handled requests whose method is a write method (PUT, POST, DELETE, ...).
int32_t veltrona_fake_writes_sent() noexcept;

// JSON description of the last handled request, owned by the server and
// valid until the next handled request or reset; NULL when none. Read it
// only while no request is being served.
const char *veltrona_fake_last_request() noexcept;

// Forgets every route, counter and the last request.
void veltrona_fake_reset() noexcept;

#endif
