// The steps that every real transport (libcurl, WinHTTP) takes the same
// way: the timeouts it derives from a request, the caller's header lines it
// passes on, the reading of a raw response head, and the delivery of
// status, headers and body pieces to the request's callbacks.
#ifndef VELTRONA_HTTP_EXCHANGE_H
#define VELTRONA_HTTP_EXCHANGE_H

#include <cstddef>
#include <cstdint>

#include "veltrona_http.h"

// User agent of both real transports.
extern const char veltrona_user_agent[];

// Waits of one exchange, in milliseconds, with the defaults applied.
// recv_ms is what a request-level receive timeout would be (recv_timeout_ms,
// or timeout_ms when VELTRONA_HTTP_KEEP_RECV_TIMEOUT keeps the session's);
// set_recv tells whether the request sets one of its own.
struct veltrona_waits {
    int32_t connect_ms;
    int32_t send_ms;
    int32_t recv_ms;
    int32_t set_recv;
};
veltrona_waits veltrona_waits_of(const veltrona_http_request *req) noexcept;

// Receives one request header line that a real transport passes on, already
// rebuilt as "Name: value" (no line end), with its name and value apart.
// Nonzero stops the walk as a failure.
using veltrona_line_fn = int32_t (*)(void *ctx, const char *line, const char *name, const char *value);

// Hands `add` the caller's header lines, filtered and rebuilt, then the
// Content-Length line the request needs (its body length; 0 for a PUT or
// POST without a body; none otherwise). Skipped silently: NULL entries,
// lines without a colon, empty names or names over 127 bytes, Host,
// Content-Length and Accept-Encoding (the platform writes its own),
// Authorization when credentials are given, and lines that
// veltrona_header_line refuses. 0, or -1 when `add` failed.
int32_t veltrona_request_lines(const veltrona_http_request *req, veltrona_line_fn add, void *ctx) noexcept;

// Status, headers and body of the answer being delivered.
struct veltrona_delivery {
    const veltrona_http_request *req;
    veltrona_buf hdrs;   // name NUL value NUL ... of the final answer
    int32_t status;
    int32_t delivered;   // ":status" and the headers went out (or were due)
    int32_t stopped;     // a callback asked to stop
};

// Replaces d->hdrs with the headers of a raw response head: the status line
// is skipped, each further line (CR, LF or both end it) splits at its first
// colon; the name is kept as received, the value starts after blanks and
// tabs. Lines without a colon, an empty name or value, or a NUL byte are
// left out; so is the rest of a header whose append failed.
void veltrona_read_head(veltrona_delivery *d, const char *raw, size_t len) noexcept;

// Calls on_header with ":status", then each header in order, once per
// exchange; a nonzero answer sets `stopped` and ends the delivery.
void veltrona_deliver_headers(veltrona_delivery *d) noexcept;

// Delivers one body piece (len >= 1), the headers first if still due.
// 0 to read on; 1 when a callback asked to stop (the piece is not delivered
// when the stop came from the headers).
int32_t veltrona_deliver_body(veltrona_delivery *d, const void *data, uint64_t len) noexcept;

void veltrona_delivery_free(veltrona_delivery *d) noexcept;

// Starts every real request the same way: *status 0 and *err NULL, then
// refuses a NULL record, one shorter than VELTRONA_HTTP_REQUEST_SIZE, or a
// NULL method or URL ("bad request"), and a method that is not a token
// ("bad method"). 0, or -1 with *err set.
int32_t veltrona_request_start(const veltrona_http_request *req, int32_t *status, char **err) noexcept;

// Sets *err to `text` and gives -1; a text that could not be made leaves
// *err NULL, which callers read as a failure without a message.
int32_t veltrona_fail(char **err, char *text) noexcept;

// "<what> failed: <code>" as a new heap text (NULL when out of memory).
//
// Why every transport names WinHTTP steps, on every platform: the failure
// texts reach hosts unchanged ("transport: WinHttpSendRequest failed: 12029"
// through mvfiles_last_error), hosts show them and may act on them, and
// they were fixed against WinHTTP, the transport of the library's home
// platform. So the libcurl transport names the WinHTTP step that stands
// where its transfer failed (WinHttpCrackUrl, WinHttpOpen, WinHttpConnect,
// WinHttpOpenRequest, WinHttpSendRequest, WinHttpReceiveResponse,
// WinHttpReadData) instead of a libcurl call, and a host's handling works
// whichever client ran the exchange. Only the number is the client's own:
// the Windows error code there, the CURLcode here. This is the one place
// that says so; the transports only name their steps.
char *veltrona_failure(const char *what, unsigned long code) noexcept;

#endif
