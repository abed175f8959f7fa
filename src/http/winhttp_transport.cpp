// The WinHTTP transport. Placeholder until the transport itself lands: no
// real transport is available in this build yet.
#include "http/real_transport.h"

#ifdef _WIN32
const veltrona_http *veltrona_http_winhttp() noexcept { return nullptr; }
#endif
