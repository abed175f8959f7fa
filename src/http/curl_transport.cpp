// Real HTTP transport over libcurl (placeholder until the transport lands).
#include "http/real_transport.h"

const veltrona_http *veltrona_http_curl() noexcept { return nullptr; }
const veltrona_http *veltrona_http_winhttp() noexcept { return nullptr; }
