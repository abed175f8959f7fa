// io adapter: wraps any transport in the library's one static io record,
// whose get, post and free run a whole exchange and hand back the body as
// one NUL-terminated heap text. Internal to the transport layer.
#ifndef VELTRONA_HTTP_IO_ADAPTER_H
#define VELTRONA_HTTP_IO_ADAPTER_H

#include <cstdint>

#include "veltrona_http.h"

// The io record bound to `http` (not validated here) with `user_data`
// stored in its context; NULL, changing nothing, when http is NULL. Every
// call returns the same record, rebound to the latest transport.
const veltrona_io *veltrona_io_over_http(const veltrona_http *http, uint64_t user_data) noexcept;

#endif
