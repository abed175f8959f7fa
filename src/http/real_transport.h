// Providers of the real HTTP transport. Each returns its constant record,
// or NULL where that transport does not exist on the platform.
#ifndef VELTRONA_HTTP_REAL_TRANSPORT_H
#define VELTRONA_HTTP_REAL_TRANSPORT_H

#include "veltrona_http.h"

const veltrona_http *veltrona_http_curl() noexcept;
const veltrona_http *veltrona_http_winhttp() noexcept;

#endif
