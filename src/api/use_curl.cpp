// Installing the library's real HTTP transport.
#include "api/core.h"
#include "http/real_transport.h"

mvfiles_result mvfiles_use_curl(void) noexcept {
    mvfiles_default_origin_check();
    const veltrona_http *h = veltrona_http_curl();
    if (!h) h = veltrona_http_winhttp();
    if (!h) return mvfiles_fail(MVFILES_ERR_TRANSPORT, "no real transport available in this build");
    g_sf.transport = h;
    g_sf.transport_set = 1;
    mvfiles_set_err("");
    return MVFILES_OK;
}
