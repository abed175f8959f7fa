// The real HTTP transport. On POSIX systems it runs over libcurl; each call
// is one self-contained exchange on its own easy handle.
//
// What is fixed whatever the platform: the user agent "veltrona-http/1.0",
// no redirects, HTTP/1.1, TLS peer and host-name verification, connect
// timeout plus send and receive timeouts that limit each wait for progress
// (not the whole exchange), gzip/deflate decoding only on request, one
// credential retry after a 401 (Digest preferred over Basic), and the order
// in which status, headers and body reach the callbacks.
#include "http/real_transport.h"

#if !defined(_WIN32)

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <curl/curl.h>
#include <netdb.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "http/buf.h"
#include "http/headers.h"

namespace {

constexpr const char *kUserAgent = "veltrona-http/1.0";
constexpr int32_t kDefaultTimeoutMs = 60000;
constexpr int32_t kDefaultConnectMs = 15000;
constexpr size_t kMaxHeaderName = 127;
constexpr size_t kHeaderLineSize = 2048;

enum auth_choice { AUTH_NONE = 0, AUTH_BASIC = 1, AUTH_DIGEST = 2 };

// Headers of the answer being delivered and whether they went out yet.
struct flush_state {
    const veltrona_http_request *req;
    veltrona_buf hdrs;   // name NUL value NUL ...
    int32_t status;
    int delivered;
    int stopped;         // a callback asked to stop
};

// Everything one call owns; zeroed at the start, released at the end.
struct cwork {
    CURL *easy;
    CURLM *multi;
    CURLU *url;
    curl_slist *headers;
    curl_slist *resolve; // the host's addresses, resolved on the calling thread
    int https;

    // Raw head of the answer being received, status line first.
    veltrona_buf raw;
    int raw_failed;
    int head_done;       // blank line closing a final (non-1xx) head seen
    int32_t head_status; // from the status line of that head

    int creds_ok;        // user name and password handed to libcurl
    int retry_pass;      // 1 while the credential retry runs
    int retry_abort;     // the first answer was cut short to send again
    int final_cut;       // the final answer was cut short after its head
    auth_choice retry_scheme;

    // Idle-timeout tracking.
    int64_t last_activity_ms;
    curl_off_t last_dl, last_ul;
    int connected;
    int sent;
    int32_t send_timeout_ms, recv_timeout_ms;

    flush_state fs;
};

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// libcurl's process-wide setup, run once by whichever thread needs it first.
CURLcode global_init() {
    static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    return rc;
}

char *make_msg(const char *what, unsigned long code) {
    char text[128];
    std::snprintf(text, sizeof text, "%s failed: %lu", what, code);
    return veltrona_strdup(text);
}

// a (n bytes) equals the lower-case name b, ignoring ASCII case.
bool lower_eq(const char *a, size_t n, const char *b) {
    return std::strlen(b) == n && veltrona_same_ci(a, b, n);
}

// Appends the caller's header lines, filtered and rebuilt, then the
// Content-Length line and the markers that keep libcurl from adding headers
// of its own. 0, or -1 when the list could not be built.
int build_headers(cwork *w, const veltrona_http_request *req) {
    char line[kHeaderLineSize];
    char value_buf[kHeaderLineSize];
    for (uint64_t i = 0; req->headers && i < req->header_count; i++) {
        const char *h = req->headers[i];
        if (!h) continue;
        const char *colon = std::strchr(h, ':');
        if (!colon) continue;
        size_t name_len = static_cast<size_t>(colon - h);
        if (name_len == 0 || name_len > kMaxHeaderName) continue;
        if (lower_eq(h, name_len, "host") || lower_eq(h, name_len, "content-length") ||
            lower_eq(h, name_len, "accept-encoding"))
            continue;
        if (req->user && lower_eq(h, name_len, "authorization")) continue;
        char name[kMaxHeaderName + 1];
        std::memcpy(name, h, name_len);
        name[name_len] = 0;
        const char *value = colon + 1;
        while (*value == ' ') value++;
        if (veltrona_header_line(name, value, line, sizeof line) != 0) continue;
        const char *entry = line;
        if (*value == 0) {
            // libcurl reads "Name:" as "remove Name"; "Name;" sends it empty.
            std::snprintf(value_buf, sizeof value_buf, "%s;", name);
            entry = value_buf;
        }
        curl_slist *n = curl_slist_append(w->headers, entry);
        if (!n) return -1;
        w->headers = n;
    }
    if (req->body || std::strcmp(req->method, "PUT") == 0 || std::strcmp(req->method, "POST") == 0) {
        std::snprintf(line, sizeof line, "Content-Length: %" PRIu64, req->body ? req->body_len : 0);
        curl_slist *n = curl_slist_append(w->headers, line);
        if (!n) return -1;
        w->headers = n;
    }
    // Nothing beyond what the caller asked for: no "Accept: */*", no
    // "Expect: 100-continue", no form content type for bodies. A caller's
    // own line of the same name comes first and wins.
    static const char *const markers[] = {"Accept:", "Expect:", "Content-Type:"};
    for (const char *m : markers) {
        curl_slist *n = curl_slist_append(w->headers, m);
        if (!n) return -1;
        w->headers = n;
    }
    return 0;
}

// Scheme to answer a 401 with, from the WWW-Authenticate lines of the raw
// head: Digest when offered, else Basic.
auth_choice pick_scheme(const veltrona_buf *raw) {
    if (!raw->data) return AUTH_NONE;
    int basic = 0, digest = 0;
    const char *p = raw->data;
    const char *end = raw->data + raw->len;
    static const char kName[] = "www-authenticate";
    while (p < end) {
        const char *eol = p;
        while (eol < end && *eol != '\r' && *eol != '\n') eol++;
        const char *colon = static_cast<const char *>(std::memchr(p, ':', static_cast<size_t>(eol - p)));
        if (colon && lower_eq(p, static_cast<size_t>(colon - p), kName)) {
            // Challenges are separated by commas; a token not followed by
            // "=" at the start of an element is a scheme name.
            const char *q = colon + 1;
            int at_element = 1;
            while (q < eol) {
                if (*q == ' ' || *q == '\t') { q++; continue; }
                if (*q == ',') { at_element = 1; q++; continue; }
                if (*q == '"') {
                    q++;
                    while (q < eol && *q != '"') {
                        if (*q == '\\' && q + 1 < eol) q++;
                        q++;
                    }
                    if (q < eol) q++;
                    continue;
                }
                const char *tok = q;
                while (q < eol && *q != ' ' && *q != '\t' && *q != ',' && *q != '=' && *q != '"') q++;
                size_t tn = static_cast<size_t>(q - tok);
                if (tn == 0) { q++; continue; }
                const char *after = q;
                while (after < eol && (*after == ' ' || *after == '\t')) after++;
                int is_param = after < eol && *after == '=';
                if (at_element && !is_param) {
                    if (lower_eq(tok, tn, "digest")) digest = 1;
                    else if (lower_eq(tok, tn, "basic")) basic = 1;
                }
                if (is_param) {
                    at_element = 0;
                    q = after + 1;
                } else {
                    // After a scheme name its first parameter follows.
                    at_element = 0;
                }
            }
        }
        p = eol;
        while (p < end && (*p == '\r' || *p == '\n')) p++;
    }
    if (digest) return AUTH_DIGEST;
    if (basic) return AUTH_BASIC;
    return AUTH_NONE;
}

// Turns the raw head (status line skipped) into the header block: name as
// received up to the first colon, value after leading blanks and tabs;
// headers with an empty name or value are dropped.
void collect_headers(cwork *w) {
    veltrona_buf_free(&w->fs.hdrs);
    if (w->raw_failed || !w->raw.data || w->raw.len == 0) return;
    const char *p = w->raw.data;
    const char *end = w->raw.data + w->raw.len;
    while (p < end && *p != '\r' && *p != '\n') p++;
    while (p < end && (*p == '\r' || *p == '\n')) p++;
    while (p < end) {
        const char *eol = p;
        while (eol < end && *eol != '\r' && *eol != '\n') eol++;
        const char *colon = static_cast<const char *>(std::memchr(p, ':', static_cast<size_t>(eol - p)));
        if (colon) {
            const char *v = colon + 1;
            while (v < eol && (*v == ' ' || *v == '\t')) v++;
            size_t nlen = static_cast<size_t>(colon - p);
            size_t vlen = static_cast<size_t>(eol - v);
            // A NUL inside a header would shift every later entry of the
            // block, so such a header is dropped.
            int has_nul = std::memchr(p, 0, static_cast<size_t>(eol - p)) != nullptr;
            if (nlen && vlen && !has_nul) {
                veltrona_buf *b = &w->fs.hdrs;
                (void)(veltrona_buf_add(b, p, nlen) == 0 && veltrona_buf_addc(b, 0) == 0 &&
                       veltrona_buf_add(b, v, vlen) == 0 && veltrona_buf_addc(b, 0) == 0);
            }
        }
        p = eol;
        while (p < end && (*p == '\r' || *p == '\n')) p++;
    }
}

// Delivers ":status" and the header block once, when on_header is set.
void flush_headers(flush_state *fs) {
    if (fs->delivered) return;
    fs->delivered = 1;
    const veltrona_http_request *req = fs->req;
    if (!req->on_header) return;
    char status[24];
    std::snprintf(status, sizeof status, "%ld", static_cast<long>(fs->status));
    if (req->on_header(req->cb_ctx, ":status", status)) {
        fs->stopped = 1;
        return;
    }
    uint64_t off = 0;
    while (fs->hdrs.data && off < fs->hdrs.len) {
        const char *name = fs->hdrs.data + off;
        size_t nlen = std::strlen(name);
        if (off + nlen + 1 >= fs->hdrs.len) break;  // incomplete last entry
        const char *value = name + nlen + 1;
        size_t vlen = std::strlen(value);
        if (req->on_header(req->cb_ctx, name, value)) {
            fs->stopped = 1;
            return;
        }
        off += nlen + vlen + 2;
    }
}

int32_t status_of_line(const char *p, size_t n) {
    size_t i = 0;
    while (i < n && p[i] != ' ') i++;
    while (i < n && p[i] == ' ') i++;
    int32_t code = 0;
    for (int k = 0; k < 3 && i < n && p[i] >= '0' && p[i] <= '9'; k++, i++) code = code * 10 + (p[i] - '0');
    return code;
}

size_t on_curl_header(char *data, size_t size, size_t n, void *ud) {
    cwork *w = static_cast<cwork *>(ud);
    size_t len = size * n;
    w->last_activity_ms = now_ms();
    if (len >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        // A new head: an interim 1xx answer is replaced by what follows.
        w->raw.len = 0;
        if (w->raw.data) w->raw.data[0] = 0;
        w->raw_failed = 0;
        w->head_done = 0;
        w->head_status = status_of_line(data, len);
    } else if (w->head_done) {
        return len;  // trailers after the body are not part of the head
    }
    if (len == 0 || data[0] == '\r' || data[0] == '\n') {
        if (w->head_status >= 100 && w->head_status < 200) return len;
        w->head_done = 1;
        if (!w->retry_pass && w->head_status == 401 && w->creds_ok) {
            w->retry_scheme = pick_scheme(&w->raw);
            if (w->retry_scheme != AUTH_NONE) {
                // Nothing of this answer is delivered: stop here and send
                // again with credentials.
                w->retry_abort = 1;
                return 0;
            }
        }
        w->fs.status = w->head_status;
        long code = 0;
        if (curl_easy_getinfo(w->easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code > 0)
            w->fs.status = static_cast<int32_t>(code);
        collect_headers(w);
        if (w->retry_pass && w->retry_scheme == AUTH_DIGEST && w->head_status == 401) {
            // Digest credentials were refused. libcurl would try them once
            // more on its own; the retry is spent, so this answer is final
            // and ends at its head.
            w->final_cut = 1;
            return 0;
        }
        return len;
    }
    if (!w->raw_failed && veltrona_buf_add(&w->raw, data, len) != 0) w->raw_failed = 1;
    return len;
}

size_t on_curl_body(char *data, size_t size, size_t n, void *ud) {
    cwork *w = static_cast<cwork *>(ud);
    size_t len = size * n;
    w->last_activity_ms = now_ms();
    if (len == 0) return 0;
    flush_headers(&w->fs);
    if (w->fs.stopped) return 0;
    const veltrona_http_request *req = w->fs.req;
    if (req->on_body && req->on_body(req->cb_ctx, data, len)) {
        w->fs.stopped = 1;
        return 0;
    }
    return len;
}

int on_curl_progress(void *ud, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    cwork *w = static_cast<cwork *>(ud);
    if (dlnow != w->last_dl || ulnow != w->last_ul) {
        w->last_dl = dlnow;
        w->last_ul = ulnow;
        w->last_activity_ms = now_ms();
    }
    return 0;
}

// Moves the idle clock along the phases of the exchange: until connected
// libcurl's connect timeout rules; then the send timeout while the request
// goes out, the receive timeout while waiting for and reading the answer.
void update_phase(cwork *w, const veltrona_http_request *req) {
    if (!w->connected) {
        curl_off_t t = 0;
        CURLINFO what = w->https ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T;
        if (curl_easy_getinfo(w->easy, what, &t) == CURLE_OK && t > 0) {
            w->connected = 1;
            w->last_activity_ms = now_ms();
        }
    }
    if (w->connected && !w->sent) {
        long hdr = 0;
        curl_off_t up = 0;
        curl_easy_getinfo(w->easy, CURLINFO_REQUEST_SIZE, &hdr);
        curl_easy_getinfo(w->easy, CURLINFO_SIZE_UPLOAD_T, &up);
        uint64_t want = req->body ? req->body_len : 0;
        if (hdr > 0 && static_cast<uint64_t>(up) >= want) {
            w->sent = 1;
            w->last_activity_ms = now_ms();
        }
    }
}

// One transfer on the multi handle, with the idle timeouts enforced here.
CURLcode run_transfer(cwork *w, const veltrona_http_request *req) {
    w->connected = 0;
    w->sent = 0;
    w->last_dl = w->last_ul = 0;
    w->last_activity_ms = now_ms();
    if (curl_multi_add_handle(w->multi, w->easy) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_OK;
    int timed_out = 0;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(w->multi, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (!running) break;
        update_phase(w, req);
        int wait_ms = 1000;
        if (w->connected) {
            int64_t limit = w->sent ? w->recv_timeout_ms : w->send_timeout_ms;
            int64_t left = w->last_activity_ms + limit - now_ms();
            if (left <= 0) {
                timed_out = 1;
                break;
            }
            if (left < wait_ms) wait_ms = static_cast<int>(left);
        }
        if (curl_multi_poll(w->multi, nullptr, 0, wait_ms, nullptr) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
    }
    if (timed_out) {
        result = CURLE_OPERATION_TIMEDOUT;
    } else if (result == CURLE_OK) {
        int left = 0;
        CURLMsg *msg;
        while ((msg = curl_multi_info_read(w->multi, &left)) != nullptr)
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == w->easy) result = msg->data.result;
    }
    update_phase(w, req);
    curl_multi_remove_handle(w->multi, w->easy);
    return result;
}

// Opens the URL the way the exchange needs it: http or https only, no
// credentials or fragment taken from the URL itself. 0 or a CURLUcode.
unsigned long crack_url(cwork *w, const char *url) {
    CURLUcode uc = curl_url_set(w->url, CURLUPART_URL, url, 0);
    if (uc != CURLUE_OK) return static_cast<unsigned long>(uc);
    char *scheme = nullptr;
    uc = curl_url_get(w->url, CURLUPART_SCHEME, &scheme, 0);
    if (uc != CURLUE_OK) return static_cast<unsigned long>(uc);
    int http = std::strcmp(scheme, "http") == 0;
    w->https = std::strcmp(scheme, "https") == 0;
    curl_free(scheme);
    if (!http && !w->https) return CURLUE_UNSUPPORTED_SCHEME;
    curl_url_set(w->url, CURLUPART_USER, nullptr, 0);
    curl_url_set(w->url, CURLUPART_PASSWORD, nullptr, 0);
    curl_url_set(w->url, CURLUPART_OPTIONS, nullptr, 0);
    curl_url_set(w->url, CURLUPART_FRAGMENT, nullptr, 0);
    return 0;
}

// Resolves the URL's host name on the calling thread and hands the
// addresses to libcurl as its DNS entry for host and port. libcurl would
// otherwise resolve names on a thread of its own, and the library starts
// none. As with the platform resolver on Windows, the look-up itself is not
// bounded by the connect timeout. IP literals need no look-up.
CURLcode pre_resolve(cwork *w) {
    char *host = nullptr, *port = nullptr;
    if (curl_url_get(w->url, CURLUPART_HOST, &host, CURLU_PUNYCODE) != CURLUE_OK)
        return CURLE_URL_MALFORMAT;
    if (curl_url_get(w->url, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) != CURLUE_OK) {
        curl_free(host);
        return CURLE_URL_MALFORMAT;
    }
    unsigned char probe[sizeof(struct in6_addr)];
    CURLcode rc = CURLE_OK;
    if (host[0] != '[' && inet_pton(AF_INET, host, probe) != 1) {
        struct addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        struct addrinfo *list = nullptr;
        int gai = getaddrinfo(host, port, &hints, &list);
        if (gai != 0 || !list) {
            rc = gai == EAI_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_COULDNT_RESOLVE_HOST;
        } else {
            veltrona_buf entry{};
            bool ok = veltrona_buf_adds(&entry, host) == 0 && veltrona_buf_addc(&entry, ':') == 0 &&
                      veltrona_buf_adds(&entry, port) == 0 && veltrona_buf_addc(&entry, ':') == 0;
            int n = 0;
            for (struct addrinfo *a = list; ok && a; a = a->ai_next) {
                char text[INET6_ADDRSTRLEN];
                const void *src = nullptr;
                if (a->ai_family == AF_INET)
                    src = &reinterpret_cast<struct sockaddr_in *>(a->ai_addr)->sin_addr;
                else if (a->ai_family == AF_INET6)
                    src = &reinterpret_cast<struct sockaddr_in6 *>(a->ai_addr)->sin6_addr;
                if (!src || !inet_ntop(a->ai_family, src, text, sizeof text)) continue;
                bool v6 = a->ai_family == AF_INET6;
                ok = (n == 0 || veltrona_buf_addc(&entry, ',') == 0) &&
                     (!v6 || veltrona_buf_addc(&entry, '[') == 0) && veltrona_buf_adds(&entry, text) == 0 &&
                     (!v6 || veltrona_buf_addc(&entry, ']') == 0);
                n++;
            }
            freeaddrinfo(list);
            if (!ok) {
                rc = CURLE_OUT_OF_MEMORY;
            } else if (n == 0) {
                rc = CURLE_COULDNT_RESOLVE_HOST;
            } else {
                w->resolve = curl_slist_append(nullptr, entry.data);
                if (!w->resolve) rc = CURLE_OUT_OF_MEMORY;
            }
            veltrona_buf_free(&entry);
        }
    }
    curl_free(host);
    curl_free(port);
    if (rc == CURLE_OK && w->resolve) rc = curl_easy_setopt(w->easy, CURLOPT_RESOLVE, w->resolve);
    return rc;
}

void release(cwork *w) {
    if (w->easy) curl_easy_cleanup(w->easy);
    if (w->multi) curl_multi_cleanup(w->multi);
    if (w->url) curl_url_cleanup(w->url);
    if (w->headers) curl_slist_free_all(w->headers);
    if (w->resolve) curl_slist_free_all(w->resolve);
    veltrona_buf_free(&w->raw);
    veltrona_buf_free(&w->fs.hdrs);
}

// The message for a transfer that ended in `rc` without the answer.
char *failure_text(const cwork *w, CURLcode rc) {
    unsigned long code = static_cast<unsigned long>(rc);
    if (w->head_done) return make_msg("WinHttpReadData", code);
    if (w->sent) return make_msg("WinHttpReceiveResponse", code);
    return make_msg("WinHttpSendRequest", code);
}

int32_t curl_request(void *, const veltrona_http_request *req, int32_t *status, char **err) noexcept {
    *status = 0;
    *err = nullptr;
    if (!req || req->size < VELTRONA_HTTP_REQUEST_SIZE || !req->method || !req->url) {
        *err = veltrona_strdup("bad request");
        return -1;
    }
    if (!veltrona_method_ok(req->method)) {
        *err = veltrona_strdup("bad method");
        return -1;
    }
    if (global_init() != CURLE_OK) {
        *err = make_msg("WinHttpOpen", static_cast<unsigned long>(CURLE_FAILED_INIT));
        return -1;
    }

    cwork w;
    std::memset(&w, 0, sizeof w);
    w.fs.req = req;
    int32_t timeout = req->timeout_ms > 0 ? req->timeout_ms : kDefaultTimeoutMs;
    int32_t connect = req->connect_timeout_ms > 0 ? req->connect_timeout_ms : kDefaultConnectMs;
    w.send_timeout_ms = timeout;
    if (req->flags & VELTRONA_HTTP_KEEP_RECV_TIMEOUT)
        w.recv_timeout_ms = timeout;
    else
        w.recv_timeout_ms = req->recv_timeout_ms > 0 ? req->recv_timeout_ms : kDefaultTimeoutMs;

    w.url = curl_url();
    if (!w.url) {
        *err = veltrona_strdup("oom");
        return -1;
    }
    unsigned long uc = crack_url(&w, req->url);
    if (uc != 0) {
        release(&w);
        *err = make_msg("WinHttpCrackUrl", uc);
        return -1;
    }

    w.easy = curl_easy_init();
    w.multi = w.easy ? curl_multi_init() : nullptr;
    if (!w.easy || !w.multi) {
        release(&w);
        *err = make_msg("WinHttpOpen", static_cast<unsigned long>(CURLE_FAILED_INIT));
        return -1;
    }
    CURL *e = w.easy;
    // No proxy but what the caller configures: libcurl would otherwise take
    // one from the environment, which this library never reads.
    CURLcode rc = curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
    if (rc == CURLE_OK) rc = curl_easy_setopt(e, CURLOPT_PROXY, "");
    if (rc != CURLE_OK) {
        release(&w);
        *err = make_msg("WinHttpOpen", static_cast<unsigned long>(rc));
        return -1;
    }
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    rc = pre_resolve(&w);
    if (rc != CURLE_OK) {
        release(&w);
        *err = make_msg("WinHttpSendRequest", static_cast<unsigned long>(rc));
        return -1;
    }

    rc = curl_easy_setopt(e, CURLOPT_CURLU, w.url);
    if (rc == CURLE_OK) rc = curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    if (rc != CURLE_OK) {
        release(&w);
        *err = make_msg("WinHttpConnect", static_cast<unsigned long>(rc));
        return -1;
    }

    rc = curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, req->method);
    if (rc == CURLE_OK && std::strcmp(req->method, "HEAD") == 0) rc = curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (rc == CURLE_OK && (req->body || std::strcmp(req->method, "PUT") == 0 || std::strcmp(req->method, "POST") == 0)) {
        rc = curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                              static_cast<curl_off_t>(req->body ? req->body_len : 0));
        if (rc == CURLE_OK) rc = curl_easy_setopt(e, CURLOPT_POSTFIELDS, req->body ? req->body : "");
    }
    if (rc == CURLE_OK) rc = curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    if (rc != CURLE_OK) {
        release(&w);
        *err = make_msg("WinHttpOpenRequest", static_cast<unsigned long>(rc));
        return -1;
    }

    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (req->flags & VELTRONA_HTTP_DECOMPRESS) {
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    } else {
        // Without the flag the body arrives exactly as the server sent it.
        curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    }

    if (build_headers(&w, req) != 0) {
        release(&w);
        *err = veltrona_strdup("utf-8 headers");
        return -1;
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, w.headers);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, on_curl_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &w);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, on_curl_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &w);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, on_curl_progress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &w);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

    if (req->user) {
        // Credentials are handed over now but used by no scheme until a 401
        // names one: the first send carries none.
        w.creds_ok = curl_easy_setopt(e, CURLOPT_USERNAME, req->user) == CURLE_OK &&
                     curl_easy_setopt(e, CURLOPT_PASSWORD, req->password ? req->password : "") == CURLE_OK;
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_NONE));
    }

    rc = run_transfer(&w, req);
    if (w.retry_abort && rc == CURLE_WRITE_ERROR) {
        // The answer was a 401 offering a scheme we can answer: send the same
        // request once more with that scheme alone.
        long scheme = w.retry_scheme == AUTH_DIGEST ? static_cast<long>(CURLAUTH_DIGEST)
                                                    : static_cast<long>(CURLAUTH_BASIC);
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, scheme);
        w.retry_pass = 1;
        w.retry_abort = 0;
        w.head_done = 0;
        rc = run_transfer(&w, req);
    }

    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && (w.fs.stopped || w.final_cut))) {
        char *text = failure_text(&w, rc);
        release(&w);
        *err = text;
        return -1;
    }
    if (!w.head_done) {
        // A transfer that ends without any head (nothing received).
        release(&w);
        *err = make_msg("WinHttpReceiveResponse", static_cast<unsigned long>(CURLE_GOT_NOTHING));
        return -1;
    }
    flush_headers(&w.fs);
    *status = w.fs.status;
    release(&w);
    return 0;
}

void curl_free_text(void *, char *text) noexcept { std::free(text); }

const veltrona_http g_curl_http = {32u, VELTRONA_HTTP_VERSION, nullptr, curl_request, curl_free_text};

}  // namespace

const veltrona_http *veltrona_http_curl() noexcept { return &g_curl_http; }

// WinHTTP exists only on Windows.
const veltrona_http *veltrona_http_winhttp() noexcept { return nullptr; }

#else  // _WIN32

// On Windows the WinHTTP transport is the real one and libcurl is not used;
// veltrona_http_winhttp() is defined with that transport.
const veltrona_http *veltrona_http_curl() noexcept { return nullptr; }

#endif
