// The global client record, error reporting and the configuration exports.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "api/core.h"
#include "http/buf.h"

mvfiles_state g_sf;

const char *const MVFILES_DEFAULT_ORIGIN = "https://api.mvfiles.example";

namespace {

void set_err_v(const char *fmt, va_list ap) {
    if (!fmt || !*fmt) {
        g_sf.last_error[0] = 0;  // the common "no error", without formatting
        return;
    }
    int n = std::vsnprintf(g_sf.last_error, sizeof g_sf.last_error, fmt, ap);
    if (n < 0) g_sf.last_error[0] = 0;
}

}  // namespace

void mvfiles_set_err(const char *fmt, ...) noexcept {
    va_list ap;
    va_start(ap, fmt);
    set_err_v(fmt, ap);
    va_end(ap);
}

mvfiles_result mvfiles_fail(mvfiles_result code, const char *fmt, ...) noexcept {
    va_list ap;
    va_start(ap, fmt);
    set_err_v(fmt, ap);
    va_end(ap);
    return code;
}

mvfiles_result mvfiles_require_transport(const char *text) noexcept {
    return g_sf.transport_set ? MVFILES_OK : mvfiles_fail(MVFILES_ERR_NO_TRANSPORT, "%s", text);
}

void mvfiles_default_origin_check() noexcept {
    if (g_sf.host[0] == 0)
        std::snprintf(g_sf.host, sizeof g_sf.host, "%s", MVFILES_DEFAULT_ORIGIN);
}

void mvfiles_lookup_prologue() noexcept {
    mvfiles_default_origin_check();
    g_sf.last_error[0] = 0;
    g_sf.last_http_code = 0;
}

void mvfiles_free_all() noexcept {
    mvfiles_files_free();
    mvfiles_kv_free();
    mvfiles_sessions_free();
}

const char *mvfiles_version(void) noexcept { return "1.0.0"; }

void mvfiles_set_host(const char *origin) noexcept {
    mvfiles_default_origin_check();
    if (!origin || !*origin) {
        std::snprintf(g_sf.host, sizeof g_sf.host, "%s", MVFILES_DEFAULT_ORIGIN);
        return;
    }
    if (std::strncmp(origin, "http://", 7) == 0 || std::strncmp(origin, "https://", 8) == 0)
        std::snprintf(g_sf.host, sizeof g_sf.host, "%s", origin);
    else
        std::snprintf(g_sf.host, sizeof g_sf.host, "https://%s", origin);
}

mvfiles_result mvfiles_set_io(const veltrona_io *io) noexcept {
    mvfiles_default_origin_check();
    if (!io) {
        g_sf.transport = nullptr;
        g_sf.transport_set = 0;
        return MVFILES_OK;
    }
    const veltrona_http *h = veltrona_http_of(io);
    if (!h) {
        return mvfiles_fail(MVFILES_ERR_TRANSPORT,
                            "io carries no fleet transport (need veltrona_http: use "
                            "mvfiles_use_curl / mvfiles_use_fake, or an io built with "
                            "veltrona_io_over_http)");
    }
    g_sf.transport = h;
    g_sf.transport_set = 1;
    mvfiles_set_err("");
    return MVFILES_OK;
}

const char *mvfiles_last_error(void) noexcept { return g_sf.last_error; }

int32_t mvfiles_last_http_code(void) noexcept { return g_sf.last_http_code; }

void mvfiles_shutdown(void) noexcept {
    mvfiles_free_all();
    g_sf.transport_set = 0;
    g_sf.transport = nullptr;
    g_sf.last_http_code = 0;
    g_sf.writes_armed = 0;
    g_sf.last_error[0] = 0;
}

mvfiles_result mvfiles_arm_writes(int32_t arm) noexcept {
    if (static_cast<uint32_t>(arm) > 1) return mvfiles_fail(MVFILES_ERR_ARG, "arm must be 0 or 1");
    g_sf.writes_armed = arm;
    mvfiles_set_err(arm ? "writes ARMED \xE2\x80\x94 production mutations possible" : "writes disarmed");
    return MVFILES_OK;
}

int32_t mvfiles_writes_armed(void) noexcept { return g_sf.writes_armed; }
