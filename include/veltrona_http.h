/*
 * veltrona_http.h - transport ABI of the mvfiles library.
 *
 * A transport is a small versioned record (veltrona_http) with one request
 * operation and one release operation. The request operation performs one
 * synchronous HTTP exchange described by a veltrona_http_request record and
 * reports the status, the response headers and the body through the
 * record's two callbacks. A host hands its own transport to the library
 * wrapped in a veltrona_io record: mvfiles_set_io(io).
 *
 * Writing a host transport:
 *   1. Fill a veltrona_http: size VELTRONA_HTTP_SIZE, version
 *      VELTRONA_HTTP_VERSION, your request operation, optionally a free
 *      operation and a user_data pointer.
 *   2. Put its address in a veltrona_io_ctx (magic VELTRONA_IO_MAGIC, size
 *      VELTRONA_IO_CTX_SIZE) and the context's address in a veltrona_io.
 *   3. Call mvfiles_set_io. The library validates the records and keeps
 *      only the veltrona_http pointer: that record and what its user_data
 *      refers to must outlive the installation (until another transport is
 *      installed, mvfiles_set_io(NULL) or mvfiles_shutdown); the io record
 *      and its context may go once the call has returned.
 *
 * Threads: the library calls request on the thread that called the export
 * (mvfiles_get_by_imdb, ...), one call at a time, and the request operation
 * must run every callback on that same thread before it returns. The
 * library's own transports keep nothing between calls and start no thread.
 *
 * Ownership: the library owns every request record, header line, body and
 * callback context it passes; they are valid only during the request call.
 * The transport owns the error text it hands out (released through its own
 * free) and the texts it passes to the callbacks (valid only during each
 * callback).
 *
 * The records are a binary interface: fields in the order given, the widths
 * given, natural alignment, 64-bit platform (8-byte pointers).
 * Plain C; compiles as C99 and C++.
 */
#ifndef VELTRONA_HTTP_H
#define VELTRONA_HTTP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Magic of a veltrona_io_ctx: the bytes "VTLH". */
#define VELTRONA_IO_MAGIC 0x56544C48u

/* Contract version a transport record must carry. */
#define VELTRONA_HTTP_VERSION 1u

/* Sizes of the records as this header lays them out. */
#define VELTRONA_HTTP_SIZE 32u
#define VELTRONA_HTTP_REQUEST_SIZE 112u
#define VELTRONA_IO_CTX_SIZE 24u

/* veltrona_http_request.flags */
#define VELTRONA_HTTP_DECOMPRESS 1u          /* ask for gzip/deflate decoding */
#define VELTRONA_HTTP_KEEP_RECV_TIMEOUT 2u   /* leave the receive timeout at timeout_ms */

/* Growable byte buffer of the transport layer; all-zero is an empty buffer.
 * data: heap block owned by the buffer, NULL until something was added;
 * len: bytes in use, without the terminating NUL; cap: bytes allocated.
 * Once data is not NULL, data[len] is 0, so the content always reads as a
 * NUL-terminated text (it may hold NUL bytes of its own). No export takes
 * or returns one. */
typedef struct veltrona_buf {
    char *data;
    uint64_t len;
    uint64_t cap;
} veltrona_buf;

/* Header callback, called with the request's cb_ctx: first with the name
 * ":status" and the status code as decimal text ("404"), then once per
 * response header in the order received, the name as sent and the value
 * without leading blanks. Every header call comes before the first body
 * call. Both texts are NUL-terminated, owned by the transport and valid only
 * during the call. Return 0 to go on; a nonzero result asks the transport to
 * stop delivering (it still returns 0 with the status). Runs on the thread
 * that called request. */
typedef int32_t (*veltrona_header_cb)(void *cb_ctx, const char *name, const char *value);

/* Body callback, called with the request's cb_ctx and the next len (at
 * least 1) bytes of the body, in order; the piece sizes are the transport's
 * choice. The bytes are owned by the transport and valid only during the
 * call. Return 0 to go on; a nonzero result asks the transport to stop
 * reading. Runs on the thread that called request. The library's own
 * callbacks ask to stop, and fail the call, once the body passes 32 MiB or
 * memory runs out. */
typedef int32_t (*veltrona_body_cb)(void *cb_ctx, const void *data, uint64_t len);

/* One exchange, built by the caller (the library builds it on its stack)
 * and only read by the transport, never kept after request returns. The
 * library's requests carry timeout_ms 120000, connect_timeout_ms 15000,
 * flags 0, recv_timeout_ms 0, no credentials, and at most one header line
 * ("Content-Type: ..." on a POST). */
typedef struct veltrona_http_request {
    uint32_t size;                 /* VELTRONA_HTTP_REQUEST_SIZE (112); smaller is refused */
    const char *method;            /* token: "GET", "POST", "HEAD", ...; required */
    const char *url;               /* absolute URL with scheme and host, UTF-8; required */
    const char *const *headers;    /* header_count "Name: value" lines without CR/LF;
                                      NULL entries skipped; may be NULL when the count is 0 */
    uint64_t header_count;
    const void *body;              /* request body or NULL */
    uint64_t body_len;             /* bytes of body */
    const char *user;              /* user name for HTTP authentication; NULL: no credentials */
    const char *password;          /* NULL counts as "" */
    int32_t timeout_ms;            /* send/receive; <= 0 means 60000 */
    int32_t connect_timeout_ms;    /* <= 0 means 15000 */
    uint32_t flags;                /* VELTRONA_HTTP_* bits; other bits ignored */
    int32_t recv_timeout_ms;       /* <= 0 means 60000; ignored with KEEP_RECV_TIMEOUT */
    veltrona_header_cb on_header;  /* may be NULL */
    veltrona_body_cb on_body;      /* may be NULL */
    void *cb_ctx;                  /* first argument of both callbacks */
} veltrona_http_request;

/* Request operation: performs the exchange synchronously. Sets *status to 0
 * and *err to NULL on entry. Returns 0 when any HTTP response arrived,
 * whatever its status (404 and 500 are successes here), with *status the
 * response status and the headers and body delivered through the callbacks;
 * nonzero when no response was obtained, with *err a NUL-terminated message
 * allocated by the transport (or NULL) and *status what it had learnt (0
 * before a response). The caller copies *err and releases a non-NULL *err
 * with free(user_data, *err) when free is not NULL, after success and
 * failure alike. The library reports a failure as MVFILES_ERR_TRANSPORT,
 * its last error "transport: transport: " and the message ("transport:
 * transport failure" without one); a message that is "oom" or begins with
 * "oom: " says the transport ran out of memory and is reported as
 * MVFILES_ERR_OOM with that message as the last error. */
typedef int32_t (*veltrona_request_fn)(void *user_data, const veltrona_http_request *req,
                                       int32_t *status, char **err);
typedef void (*veltrona_free_fn)(void *user_data, char *text);

/* Transport record; accepted only with size >= 32, version 1 and a request.
 * user_data is passed unchanged as the first argument of request and free;
 * free may be NULL (error texts are then left alone). Owned by whoever
 * built it: the library's own records are constants. */
typedef struct veltrona_http {
    uint32_t size;
    uint32_t version;
    void *user_data;
    veltrona_request_fn request;
    veltrona_free_fn free;
} veltrona_http;

/* io context: carries the magic and the transport. Owned by the host. */
typedef struct veltrona_io_ctx {
    uint32_t magic;                /* VELTRONA_IO_MAGIC */
    uint32_t size;                 /* VELTRONA_IO_CTX_SIZE (24); accepted if >= 24 */
    const veltrona_http *http;
    uint64_t user_data;            /* the creator's value; not read by the library */
} veltrona_io_ctx;

typedef int32_t (*veltrona_io_get_fn)(veltrona_io_ctx *ctx, const char *url, char **out_body,
                                      int32_t *out_status, char **out_err);
typedef int32_t (*veltrona_io_post_fn)(veltrona_io_ctx *ctx, const char *url, const char *body,
                                       const char *content_type, char **out_body,
                                       int32_t *out_status, char **out_err);
typedef void (*veltrona_io_free_fn)(veltrona_io_ctx *ctx, char *text);

/* io record: the carrier through which a host installs a transport. Owned
 * by the host; only ctx is read, during mvfiles_set_io. */

/* get, post and free of an io record: one whole exchange returning the body
 * as a NUL-terminated text released with free, for code that wants a
 * one-call interface. The client never calls them; mvfiles_set_io reads
 * only ctx. */
typedef struct veltrona_io {
    veltrona_io_ctx *ctx;
    veltrona_io_get_fn get;
    veltrona_io_post_fn post;
    veltrona_io_free_fn free;
} veltrona_io;

#ifdef __cplusplus
}
#endif

#endif /* VELTRONA_HTTP_H */
