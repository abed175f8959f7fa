// The global client record, error reporting and the configuration exports.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "api/core.h"
#include "api/util.h"
#include "http/buf.h"

mvfiles_state g_sf;

const char *const MVFILES_DEFAULT_ORIGIN = "https://api.mvfiles.example";

namespace {

void set_err_v(const char *fmt, va_list ap) {
    if (!fmt || !*fmt) {
        g_sf.last_error[0] = 0;  // the common "no error", without formatting
        return;
    }
    char *e = g_sf.last_error;
    int n = std::vsnprintf(e, sizeof g_sf.last_error, fmt, ap);
    if (n < 0) {
        e[0] = 0;
        return;
    }
    // The text stays valid UTF-8: a cut ends at the last whole character,
    // and a byte from a transport's text that starts no character is shown
    // as "\xNN".
    bool cut = static_cast<size_t>(n) >= sizeof g_sf.last_error;
    size_t len = cut ? sizeof g_sf.last_error - 1 : static_cast<size_t>(n);
    if (!cut && mvfiles_utf8_valid(e, len)) return;
    char raw[sizeof g_sf.last_error];
    std::memcpy(raw, e, len);
    mvfiles_escape_text(e, sizeof g_sf.last_error, raw, len, false, cut);
}

// Why origin cannot be used as it is; NULL when it can.
const char *origin_fault(const char *origin, bool has_scheme) {
    size_t n = std::strlen(origin);
    if (n + (has_scheme ? 0 : 8) > 255) return "over 255 bytes";
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(origin[i]);
        // A space or a control byte could split the request line or a
        // header of a host's own transport.
        if (c < 0x21 || c == 0x7F) return "holds a space or a control byte";
        // '#' and '?' would move every route into the fragment or the
        // query; '\\' is read as '/' by some URL parsers.
        if (c == '#') return "holds '#'";
        if (c == '?') return "holds '?'";
        if (c == '\\') return "holds '\\'";
    }
    if (!mvfiles_utf8_valid(origin, n)) return "not valid UTF-8";
    return nullptr;
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
    if (!g_sf.transport_set) return mvfiles_fail(MVFILES_ERR_NO_TRANSPORT, "%s", text);
    return mvfiles_require_origin();
}

mvfiles_result mvfiles_require_origin() noexcept {
    if (!g_sf.origin_fault) return MVFILES_OK;
    return mvfiles_fail(MVFILES_ERR_ARG, "invalid origin: %s", g_sf.origin_fault);
}

void mvfiles_default_origin_check() noexcept {
    if (g_sf.host[0] == 0)
        std::snprintf(g_sf.host, sizeof g_sf.host, "%s", MVFILES_DEFAULT_ORIGIN);
}

mvfiles_result mvfiles_lookup_prologue() noexcept {
    mvfiles_default_origin_check();
    g_sf.last_error[0] = 0;
    g_sf.last_http_code = 0;
    return mvfiles_require_origin();
}

void mvfiles_free_all() noexcept {
    mvfiles_files_free();
    mvfiles_kv_free();
    mvfiles_sessions_free();
}

void mvfiles_release_for_unload() noexcept {
    mvfiles_free_all();
    mvfiles_file_json_free();
}

const char *mvfiles_version(void) noexcept { return "1.0.0"; }

void mvfiles_set_host(const char *origin) noexcept {
    mvfiles_default_origin_check();
    if (!origin || !*origin) {
        std::snprintf(g_sf.host, sizeof g_sf.host, "%s", MVFILES_DEFAULT_ORIGIN);
        g_sf.origin_fault = nullptr;
        return;
    }
    bool has_scheme = std::strncmp(origin, "http://", 7) == 0 || std::strncmp(origin, "https://", 8) == 0;
    // An origin that cannot be used whole is not stored cut or raw: every
    // request would go to another host or another route. Until a usable
    // one is set, look-ups and writes refuse to run.
    if (const char *fault = origin_fault(origin, has_scheme)) {
        g_sf.origin_fault = fault;
        return;
    }
    g_sf.origin_fault = nullptr;
    std::snprintf(g_sf.host, sizeof g_sf.host, has_scheme ? "%s" : "https://%s", origin);
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
