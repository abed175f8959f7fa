// The real HTTP transport on Windows, over WinHTTP in synchronous mode.
// Each call opens its own session, connection and request, performs one
// exchange and closes them again; nothing survives between calls. Texts
// cross into WinHTTP as UTF-16 and come back as UTF-8. The steps shared
// with the libcurl transport live in exchange.cpp.
#include "http/real_transport.h"

#if defined(_WIN32)

#include <cstdlib>
#include <cstring>
#include <cwchar>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winhttp.h>

#include "http/buf.h"
#include "http/exchange.h"
#include "http/headers.h"
#include "http/pace.h"

namespace {

// veltrona_user_agent as WinHTTP takes it.
constexpr wchar_t kUserAgent[] = L"veltrona-http/1.0";

// The answer's pace (pace.h) as far as WinHTTP lets it be watched.
struct wpace {
    veltrona_pace p;
    DWORD recv_ms;  // the receive timeout of the request
    DWORD wait_ms;  // the receive timeout last set for the next wait; 0: recv_ms
    int bounded;    // the next wait ends where the window does
};

// Everything one call owns; zeroed at the start, released at the end.
struct wwork {
    HINTERNET session;
    HINTERNET connection;
    HINTERNET request;
    wchar_t *url;
    wchar_t *host;
    wchar_t *object;
    wchar_t *method;
    wchar_t *headers;
    DWORD headers_len;  // in UTF-16 units, without the terminator
    INTERNET_PORT port;
    int https;
    wpace pace;
    veltrona_delivery dv;
};

// A new NUL-terminated UTF-16 copy of a UTF-8 text (measure, then
// convert); NULL for NULL, an unconvertible text or no memory. With
// len_out the converted length without the terminator is returned too.
wchar_t *utf8_to_utf16(const char *s, DWORD *len_out = nullptr) {
    if (!s) return nullptr;
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    if (n <= 0) return nullptr;
    wchar_t *w = static_cast<wchar_t *>(std::malloc(static_cast<size_t>(n) * sizeof(wchar_t)));
    if (!w) return nullptr;
    if (MultiByteToWideChar(CP_UTF8, 0, s, -1, w, n) != n) {
        std::free(w);
        return nullptr;
    }
    if (len_out) *len_out = static_cast<DWORD>(n - 1);
    return w;
}

// A new NUL-terminated UTF-8 text from exactly n UTF-16 units; NULL for
// n = 0 and on every failure.
char *utf16_to_utf8n(const wchar_t *s, int n) {
    if (!s || n <= 0) return nullptr;
    int m = WideCharToMultiByte(CP_UTF8, 0, s, n, nullptr, 0, nullptr, nullptr);
    if (m <= 0) return nullptr;
    char *out = static_cast<char *>(std::malloc(static_cast<size_t>(m) + 1));
    if (!out) return nullptr;
    if (WideCharToMultiByte(CP_UTF8, 0, s, n, out, m, nullptr, nullptr) != m) {
        std::free(out);
        return nullptr;
    }
    out[m] = 0;
    return out;
}

wchar_t *wcopy(const wchar_t *s, DWORD n) {
    wchar_t *w = static_cast<wchar_t *>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(wchar_t)));
    if (!w) return nullptr;
    if (n) std::memcpy(w, s, n * sizeof(wchar_t));
    w[n] = 0;
    return w;
}

void release(wwork *w) {
    if (w->request) WinHttpCloseHandle(w->request);
    if (w->connection) WinHttpCloseHandle(w->connection);
    if (w->session) WinHttpCloseHandle(w->session);
    std::free(w->url);
    std::free(w->host);
    std::free(w->object);
    std::free(w->method);
    std::free(w->headers);
    veltrona_delivery_free(&w->dv);
}

int fail_last(char **err, const char *what) {
    return veltrona_fail(err, veltrona_failure(what, static_cast<unsigned long>(GetLastError())));
}

void set_dword(HINTERNET h, DWORD option, DWORD value) {
    (void)WinHttpSetOption(h, option, &value, sizeof value);
}

// Host, port, scheme and object (path with the query) of the URL.
int crack(wwork *w, char **err) {
    URL_COMPONENTS uc;
    std::memset(&uc, 0, sizeof uc);
    uc.dwStructSize = sizeof uc;
    uc.dwHostNameLength = static_cast<DWORD>(-1);
    uc.dwUrlPathLength = static_cast<DWORD>(-1);
    uc.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(w->url, static_cast<DWORD>(std::wcslen(w->url)), 0, &uc))
        return fail_last(err, "WinHttpCrackUrl");
    w->port = uc.nPort;
    w->https = uc.nScheme == INTERNET_SCHEME_HTTPS;
    w->host = wcopy(uc.lpszHostName ? uc.lpszHostName : L"", uc.lpszHostName ? uc.dwHostNameLength : 0);
    DWORD path = uc.lpszUrlPath ? uc.dwUrlPathLength : 0;
    DWORD extra = uc.lpszExtraInfo ? uc.dwExtraInfoLength : 0;
    w->object = static_cast<wchar_t *>(std::malloc((static_cast<size_t>(path) + extra + 1) * sizeof(wchar_t)));
    if (!w->host || !w->object) return veltrona_fail(err, veltrona_strdup("oom"));
    if (path) std::memcpy(w->object, uc.lpszUrlPath, path * sizeof(wchar_t));
    if (extra) std::memcpy(w->object + path, uc.lpszExtraInfo, extra * sizeof(wchar_t));
    w->object[path + extra] = 0;
    return 0;
}

int32_t add_line(void *ctx, const char *line, const char *, const char *) {
    veltrona_buf *b = static_cast<veltrona_buf *>(ctx);
    return veltrona_buf_adds(b, line) == 0 && veltrona_buf_add(b, "\r\n", 2) == 0 ? 0 : -1;
}

// The extra header text: the caller's lines, filtered and rebuilt, and the
// Content-Length line, each ending in CR LF, as UTF-16. None when empty.
int build_headers(wwork *w, const veltrona_http_request *req, char **err) {
    veltrona_buf text{};
    int ok = veltrona_request_lines(req, add_line, &text) == 0;
    if (ok && text.len) ok = (w->headers = utf8_to_utf16(text.data, &w->headers_len)) != nullptr;
    veltrona_buf_free(&text);
    return ok ? 0 : veltrona_fail(err, veltrona_strdup("utf-8 headers"));
}

bool is_timeout(DWORD code) {
    // Wine reports a timed-out wait with the socket's number.
    return code == ERROR_WINHTTP_TIMEOUT || code == WSAETIMEDOUT;
}

int pace_failure(char **err, const char *what) {
    return veltrona_fail(err, veltrona_failure(what, ERROR_WINHTTP_TIMEOUT));
}

// Reads the response head, the first window of the answer's pace starting
// once the request is out. WinHTTP shows nothing of a head until it is
// whole, so the whole head must arrive within that window (the response
// timeout set before the send; heads are far below the floor's worth of a
// window); a head that took longer fails too.
int receive_head(wwork *w, char **err) {
    veltrona_pace_start(&w->pace.p);
    const int64_t window = veltrona_pace_rule.window_ms;
    if (!WinHttpReceiveResponse(w->request, nullptr)) {
        DWORD code = GetLastError();
        if (is_timeout(code) && window <= static_cast<int64_t>(w->pace.recv_ms))
            return pace_failure(err, "WinHttpReceiveResponse");
        return veltrona_fail(err, veltrona_failure("WinHttpReceiveResponse", code));
    }
    DWORD size = 0;
    WinHttpQueryHeaders(w->request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    veltrona_pace_add(&w->pace.p, size / sizeof(wchar_t));
    return veltrona_pace_left(&w->pace.p) == 0 ? pace_failure(err, "WinHttpReceiveResponse") : 0;
}

// Before each wait for more of the body: fails when a window closed short
// of the floor, else lets the wait last no longer than the window allows
// (the receive timeout stays the bound when it is the shorter).
int pace_wait(wwork *w, char **err) {
    int64_t left = veltrona_pace_left(&w->pace.p);
    if (left == 0) return pace_failure(err, "WinHttpReadData");
    w->pace.bounded = left < static_cast<int64_t>(w->pace.recv_ms);
    DWORD wait = w->pace.bounded ? static_cast<DWORD>(left) : w->pace.recv_ms;
    if (wait != (w->pace.wait_ms ? w->pace.wait_ms : w->pace.recv_ms)) {
        set_dword(w->request, WINHTTP_OPTION_RECEIVE_TIMEOUT, wait);
        w->pace.wait_ms = wait;
    }
    return 0;
}

// A failed wait for the body: the pace's timeout when the wait ended where
// the window did, else the platform's failure of `what`.
int wait_failed(wwork *w, char **err, const char *what) {
    DWORD code = GetLastError();
    if (w->pace.bounded && is_timeout(code)) return pace_failure(err, "WinHttpReadData");
    return veltrona_fail(err, veltrona_failure(what, static_cast<unsigned long>(code)));
}

// Sends the request (with the extra header text on the first send only)
// and reads the response head.
int send_and_receive(wwork *w, const veltrona_http_request *req, bool with_headers, char **err) {
    const wchar_t *hdrs = with_headers && w->headers ? w->headers : WINHTTP_NO_ADDITIONAL_HEADERS;
    DWORD hdrs_len = with_headers && w->headers ? w->headers_len : 0;
    LPVOID body = req->body ? const_cast<void *>(req->body) : WINHTTP_NO_REQUEST_DATA;
    DWORD body_len = req->body ? static_cast<DWORD>(req->body_len) : 0;
    // The whole head must come within the first window of the answer.
    set_dword(w->request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(veltrona_pace_rule.window_ms));
    if (!WinHttpSendRequest(w->request, hdrs, hdrs_len, body, body_len, body_len, 0))
        return fail_last(err, "WinHttpSendRequest");
    return receive_head(w, err);
}

// The status code of the response head, when it can be read.
void query_status(wwork *w) {
    DWORD code = 0;
    DWORD size = sizeof code;
    if (WinHttpQueryHeaders(w->request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
        w->dv.status = static_cast<int32_t>(code);
}

// After a 401 to a request with credentials: one more send with the scheme
// the server prefers among those offered (Digest over Basic). Nothing here
// fails the call; a failed send leaves its message and the call carries on
// with the response it has.
void answer_challenge(wwork *w, const veltrona_http_request *req, char **err) {
    DWORD schemes = 0, first = 0, target = 0;
    if (!WinHttpQueryAuthSchemes(w->request, &schemes, &first, &target)) return;
    DWORD scheme;
    if (schemes & WINHTTP_AUTH_SCHEME_DIGEST)
        scheme = WINHTTP_AUTH_SCHEME_DIGEST;
    else if (schemes & WINHTTP_AUTH_SCHEME_BASIC)
        scheme = WINHTTP_AUTH_SCHEME_BASIC;
    else
        return;
    wchar_t *user = utf8_to_utf16(req->user);
    wchar_t *password = utf8_to_utf16(req->password ? req->password : "");
    if (user && password &&
        WinHttpSetCredentials(w->request, WINHTTP_AUTH_TARGET_SERVER, scheme, user, password, nullptr)) {
        char *text = nullptr;
        if (send_and_receive(w, req, false, &text) == 0) {
            query_status(w);
        } else {
            std::free(*err);
            *err = text;
        }
    }
    std::free(user);
    std::free(password);
}

// The response headers, from the raw head in CR LF form.
void collect_headers(wwork *w) {
    DWORD size = 0;
    WinHttpQueryHeaders(w->request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (size == 0) return;
    wchar_t *raw = static_cast<wchar_t *>(std::malloc(size + sizeof(wchar_t)));
    if (!raw) return;
    if (WinHttpQueryHeaders(w->request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw,
                            &size, WINHTTP_NO_HEADER_INDEX)) {
        query_status(w);
        int units = static_cast<int>(size / sizeof(wchar_t));
        char *text = utf16_to_utf8n(raw, units);
        if (text) veltrona_read_head(&w->dv, text, std::strlen(text));
        std::free(text);
    }
    std::free(raw);
}

// Streams the body to on_body in the pieces WinHTTP makes available,
// delivering the headers before the first piece.
int read_body(wwork *w, uint64_t *read, char **err) {
    for (;;) {
        DWORD avail = 0;
        if (pace_wait(w, err) != 0) return -1;
        if (!WinHttpQueryDataAvailable(w->request, &avail)) return wait_failed(w, err, "WinHttpQueryDataAvailable");
        if (avail == 0) return 0;
        char *block = static_cast<char *>(std::malloc(avail));
        if (!block) return veltrona_fail(err, veltrona_strdup("oom"));
        DWORD got = 0;
        if (!WinHttpReadData(w->request, block, avail, &got)) {
            std::free(block);
            return wait_failed(w, err, "WinHttpReadData");
        }
        veltrona_pace_add(&w->pace.p, got);
        *read += got;
        int stop = got == 0 || veltrona_deliver_body(&w->dv, block, got) != 0;
        std::free(block);
        if (stop) return 0;
    }
}

// WinHTTP ends the body without a failure when the server closes the
// connection before the Content-Length it announced. That answer is cut
// short, never a short success: -1 with the error a reset connection gives.
// Only an undecoded body with a length of its own can be held against it
// (no HEAD, no 1xx, 204 or 304, no Transfer-Encoding).
int check_length(wwork *w, const veltrona_http_request *req, uint64_t read, char **err) {
    const int32_t s = w->dv.status;
    if ((req->flags & VELTRONA_HTTP_DECOMPRESS) || std::strcmp(req->method, "HEAD") == 0 || s < 200 ||
        s == 204 || s == 304)
        return 0;
    wchar_t text[32];
    DWORD size = sizeof text;
    if (WinHttpQueryHeaders(w->request, WINHTTP_QUERY_TRANSFER_ENCODING, WINHTTP_HEADER_NAME_BY_INDEX, text,
                            &size, WINHTTP_NO_HEADER_INDEX) ||
        GetLastError() != ERROR_WINHTTP_HEADER_NOT_FOUND)
        return 0;
    size = sizeof text;
    if (!WinHttpQueryHeaders(w->request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return 0;
    // Digits only; anything else (a list, a sign, 20 digits) is not checked.
    uint64_t announced = 0;
    const wchar_t *p = text;
    for (; *p >= L'0' && *p <= L'9' && p - text < 19; p++) announced = announced * 10 + static_cast<uint64_t>(*p - L'0');
    if (p == text || *p) return 0;
    if (read >= announced) return 0;
    return veltrona_fail(err, veltrona_failure("WinHttpReadData", ERROR_WINHTTP_CONNECTION_ERROR));
}

// Everything up to the first send. 0, or -1 with *err set.
int prepare(wwork *w, const veltrona_http_request *req, char **err) {
    w->url = utf8_to_utf16(req->url);
    if (!w->url) return veltrona_fail(err, veltrona_strdup("utf-8 url"));
    if (crack(w, err) != 0) return -1;

    w->session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
    if (!w->session) return fail_last(err, "WinHttpOpen");
    veltrona_waits waits = veltrona_waits_of(req);
    w->pace.recv_ms = static_cast<DWORD>(waits.recv_ms);
    set_dword(w->session, WINHTTP_OPTION_CONNECT_TIMEOUT, static_cast<DWORD>(waits.connect_ms));
    set_dword(w->session, WINHTTP_OPTION_RECEIVE_TIMEOUT, static_cast<DWORD>(waits.send_ms));
    set_dword(w->session, WINHTTP_OPTION_SEND_TIMEOUT, static_cast<DWORD>(waits.send_ms));

    w->connection = WinHttpConnect(w->session, w->host, w->port, 0);
    if (!w->connection) return fail_last(err, "WinHttpConnect");

    w->method = utf8_to_utf16(req->method);
    if (!w->method) return veltrona_fail(err, veltrona_strdup("bad method"));
    w->request = WinHttpOpenRequest(w->connection, w->method, *w->object ? w->object : L"/", nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                    w->https ? WINHTTP_FLAG_SECURE : 0);
    if (!w->request) return fail_last(err, "WinHttpOpenRequest");

    set_dword(w->request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS);
    if (req->flags & VELTRONA_HTTP_DECOMPRESS)
        set_dword(w->request, WINHTTP_OPTION_DECOMPRESSION,
                  WINHTTP_DECOMPRESSION_FLAG_GZIP | WINHTTP_DECOMPRESSION_FLAG_DEFLATE);
    if (waits.set_recv) set_dword(w->request, WINHTTP_OPTION_RECEIVE_TIMEOUT, static_cast<DWORD>(waits.recv_ms));
    return build_headers(w, req, err);
}

int32_t winhttp_request(void *, const veltrona_http_request *req, int32_t *status, char **err) noexcept {
    if (veltrona_request_start(req, status, err) != 0) return -1;
    // WinHTTP takes 32-bit body lengths; a longer body cannot be sent whole.
    if (req->body && req->body_len > 0xFFFFFFFFull) return veltrona_fail(err, veltrona_strdup("bad request"));

    wwork w;
    std::memset(&w, 0, sizeof w);
    w.dv.req = req;
    int rc = prepare(&w, req, err);
    if (rc == 0) rc = send_and_receive(&w, req, true, err);
    if (rc == 0) {
        query_status(&w);
        if (w.dv.status == 401 && req->user) answer_challenge(&w, req, err);
        collect_headers(&w);
        char *text = nullptr;
        uint64_t read = 0;
        rc = read_body(&w, &read, &text);
        if (rc == 0 && !w.dv.stopped) rc = check_length(&w, req, read, &text);
        if (rc != 0) {
            std::free(*err);
            *err = text;
        }
    }
    if (rc != 0) {
        release(&w);
        return -1;
    }
    veltrona_deliver_headers(&w.dv);
    *status = w.dv.status;
    release(&w);
    return 0;
}

void winhttp_free_buf(void *, char *text) noexcept { std::free(text); }

const veltrona_http g_winhttp = {32u, VELTRONA_HTTP_VERSION, nullptr, winhttp_request, winhttp_free_buf};

}  // namespace

const veltrona_http *veltrona_http_winhttp() noexcept { return &g_winhttp; }

#endif
