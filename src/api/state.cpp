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
    len = mvfiles_escape_text(e, sizeof g_sf.last_error, raw, len, false, cut);
    // Nor does a cut end inside an escape of an echoed argument.
    if (cut) e[mvfiles_whole_escapes(e, len)] = 0;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Why the n bytes of a, an origin's authority (after its scheme, up to the
// first '/'), name no host a request can safely go to; NULL when they do.
// Every URL parser must read the same single host from it: a host name or
// a bracketed IPv6 literal, then at most one ":port" of 1 to 65535. So an
// empty host ("https://") and user info ("a@evil.example", which sends to
// evil.example) are refused.
const char *authority_fault(const char *a, size_t n) {
    if (n == 0) return "no host name";
    if (std::memchr(a, '@', n)) return "holds '@'";
    size_t host = 0;
    if (a[0] == '[') {
        const char *end = static_cast<const char *>(std::memchr(a, ']', n));
        if (!end || !std::memchr(a, ':', static_cast<size_t>(end - a))) return "bad IPv6 literal";
        for (const char *p = a + 1; p < end; p++)
            if (!is_digit(*p) && !std::strchr("abcdefABCDEF:.", *p)) return "bad IPv6 literal";
        host = static_cast<size_t>(end - a) + 1;
        if (host < n && a[host] != ':') return "bad IPv6 literal";
    } else {
        while (host < n && a[host] != ':') {
            if (a[host] == '[' || a[host] == ']') return "bad IPv6 literal";
            host++;
        }
        if (host == 0) return "no host name";
    }
    if (host == n) return nullptr;
    // a[host] is ':': a port of 1 to 5 digits, 1 to 65535, ends the text.
    const char *bad_port = "port must be 1 to 65535";
    if (n - host - 1 < 1 || n - host - 1 > 5) return bad_port;
    long port = 0;
    for (size_t i = host + 1; i < n; i++) {
        if (!is_digit(a[i])) return bad_port;
        port = port * 10 + (a[i] - '0');
    }
    return port >= 1 && port <= 65535 ? nullptr : bad_port;
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
    size_t from = !has_scheme ? 0 : origin[4] == 's' ? 8 : 7;
    size_t len = std::strcspn(origin + from, "/");
    // "HTTPS://x", "ftp://x" or "https:/x", which get "https://" in front,
    // would otherwise send to the host "HTTPS", "ftp" or "https".
    if (!has_scheme && len > 0 && origin[len - 1] == ':' && origin[len] == '/')
        return "scheme must be http:// or https://";
    return authority_fault(origin + from, len);
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
