/*
 * veltrona_http.h - transport ABI of the mvfiles library.
 *
 * A transport is a small versioned record with one request operation and one
 * release operation. The request operation performs one synchronous HTTP
 * exchange described by a veltrona_http_request record and reports the status,
 * the response headers and the body through the record's two callbacks.
 * Hosts hand their own transport to the library wrapped in a veltrona_io
 * record (mvfiles_set_io).
 *
 * The three records are a binary interface: fields in the order given, the
 * widths given, natural alignment, 64-bit platform (8-byte pointers).
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

/* Growable byte buffer; all-zero is an empty buffer. Once data is not NULL,
 * data[len] is 0, so the content always reads as a NUL-terminated text. */
typedef struct veltrona_buf {
    char *data;
    uint64_t len;
    uint64_t cap;
} veltrona_buf;

/* Header callback: first ":status" with the code as decimal text, then one
 * call per response header. Texts are valid only during the call. A nonzero
 * result asks the transport to stop. */
typedef int32_t (*veltrona_header_cb)(void *cb_ctx, const char *name, const char *value);

/* Body callback: len (at least 1) bytes of the body, valid only during the
 * call. A nonzero result asks the transport to stop reading. */
typedef int32_t (*veltrona_body_cb)(void *cb_ctx, const void *data, uint64_t len);

/* One exchange, built by the caller and only read by the transport. */
typedef struct veltrona_http_request {
    uint32_t size;                 /* VELTRONA_HTTP_REQUEST_SIZE (112) */
    const char *method;            /* token: "GET", "POST", "HEAD", ... */
    const char *url;               /* absolute URL, UTF-8 */
    const char *const *headers;    /* "Name: value" lines; NULL entries skipped */
    uint64_t header_count;
    const void *body;              /* request body or NULL */
    uint64_t body_len;
    const char *user;              /* NULL: no credentials */
    const char *password;          /* NULL counts as "" */
    int32_t timeout_ms;            /* send/receive; <= 0 means 60000 */
    int32_t connect_timeout_ms;    /* <= 0 means 15000 */
    uint32_t flags;                /* VELTRONA_HTTP_* bits */
    int32_t recv_timeout_ms;       /* <= 0 means 60000; ignored with KEEP_RECV_TIMEOUT */
    veltrona_header_cb on_header;
    veltrona_body_cb on_body;
    void *cb_ctx;                  /* first argument of both callbacks */
} veltrona_http_request;

/* Request operation: sets *status to 0 and *err to NULL on entry; returns 0
 * when any HTTP response arrived (whatever its status), nonzero when none was
 * obtained. A non-NULL *err is released by the caller with free(user_data, *err)
 * when free is not NULL, after success and failure alike. */
typedef int32_t (*veltrona_request_fn)(void *user_data, const veltrona_http_request *req,
                                       int32_t *status, char **err);
typedef void (*veltrona_free_fn)(void *user_data, char *text);

/* Transport record; accepted only with size >= 32, version 1 and a request. */
typedef struct veltrona_http {
    uint32_t size;
    uint32_t version;
    void *user_data;
    veltrona_request_fn request;
    veltrona_free_fn free;
} veltrona_http;

/* io context: carries the magic and the transport. */
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

/* io record: the carrier through which a host installs a transport. */
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
