// The real HTTP transport. On POSIX systems it runs over libcurl; each call
// is one self-contained exchange on its own easy handle.
//
// What is fixed whatever the platform: the user agent "veltrona-http/1.0",
// no redirects, HTTP/1.1, TLS peer and host-name verification, connect
// timeout plus send and receive timeouts that limit each wait for progress
// (not the whole exchange), a least pace for the answer once the request is
// out (pace.h), gzip/deflate decoding only on request, one
// credential retry after a 401 (Digest preferred over Basic), and the order
// in which status, headers and body reach the callbacks. The steps shared
// with the WinHTTP transport live in exchange.cpp.
#include "http/real_transport.h"

#if !defined(_WIN32)

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <curl/curl.h>
#include <netdb.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "http/buf.h"
#include "http/exchange.h"
#include "http/headers.h"
#include "http/pace.h"

namespace {

enum auth_choice { AUTH_NONE = 0, AUTH_BASIC = 1, AUTH_DIGEST = 2 };

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
    veltrona_buf first_raw;  // head of the 401 answered by the retry
    int32_t first_status;

    // Idle-timeout tracking.
    int64_t last_activity_ms;
    curl_off_t last_dl, last_ul;
    int connected;
    int sent;
    veltrona_waits waits;

    // Pace of the answer: its bytes so far (head lines counted as they
    // arrive, the body as it came off the wire) and its windows.
    uint64_t head_bytes;
    uint64_t answer_seen;
    veltrona_pace pace;

    veltrona_delivery dv;
};

// libcurl's process-wide setup, run once by whichever thread needs it first.
CURLcode global_init() {
    static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    return rc;
}

int32_t add_line(void *ctx, const char *line, const char *name, const char *value) {
    cwork *w = static_cast<cwork *>(ctx);
    char empty[160];
    if (*value == 0) {
        // libcurl reads "Name:" as "remove Name"; "Name;" sends it empty.
        std::snprintf(empty, sizeof empty, "%s;", name);
        line = empty;
    }
    curl_slist *n = curl_slist_append(w->headers, line);
    if (!n) return -1;
    w->headers = n;
    return 0;
}

// The caller's header lines, filtered and rebuilt, the Content-Length line,
// then markers that keep libcurl from adding headers of its own. 0 or -1.
int build_headers(cwork *w, const veltrona_http_request *req) {
    if (veltrona_request_lines(req, add_line, w) != 0) return -1;
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
        if (colon && veltrona_name_is(p, static_cast<size_t>(colon - p), kName)) {
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
                    if (veltrona_name_is(tok, tn, "digest")) digest = 1;
                    else if (veltrona_name_is(tok, tn, "basic")) basic = 1;
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

// The header block of the answer now complete, from its raw head.
void collect_headers(cwork *w) {
    if (w->raw_failed) {
        veltrona_read_head(&w->dv, nullptr, 0);
        return;
    }
    veltrona_read_head(&w->dv, w->raw.data, static_cast<size_t>(w->raw.len));
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
    w->last_activity_ms = veltrona_steady_ms();
    w->head_bytes += len;
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
        w->dv.status = w->head_status;
        long code = 0;
        if (curl_easy_getinfo(w->easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code > 0)
            w->dv.status = static_cast<int32_t>(code);
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
    w->last_activity_ms = veltrona_steady_ms();
    if (len == 0) return 0;
    return veltrona_deliver_body(&w->dv, data, len) ? 0 : len;
}

int on_curl_progress(void *ud, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    cwork *w = static_cast<cwork *>(ud);
    if (dlnow != w->last_dl || ulnow != w->last_ul) {
        w->last_dl = dlnow;
        w->last_ul = ulnow;
        w->last_activity_ms = veltrona_steady_ms();
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
            w->last_activity_ms = veltrona_steady_ms();
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
            w->last_activity_ms = veltrona_steady_ms();
        }
    }
}

// Starts the answer's windows once the request is out (or the answer has
// begun), counts what came since the last look, and keeps the next wait
// within the window. False when a window closed short of the floor.
bool keep_pace(cwork *w, int *wait_ms) {
    curl_off_t body = 0;
    curl_easy_getinfo(w->easy, CURLINFO_SIZE_DOWNLOAD_T, &body);
    uint64_t total = w->head_bytes + (body > 0 ? static_cast<uint64_t>(body) : 0);
    if (!w->pace.window_end && (w->sent || total)) veltrona_pace_start(&w->pace);
    if (total > w->answer_seen) veltrona_pace_add(&w->pace, total - w->answer_seen);
    w->answer_seen = total;
    int64_t left = veltrona_pace_left(&w->pace);
    if (left == 0) return false;
    if (left < *wait_ms) *wait_ms = static_cast<int>(left);
    return true;
}

// One transfer on the multi handle, with the idle timeouts and the pace of
// the answer enforced here.
CURLcode run_transfer(cwork *w, const veltrona_http_request *req) {
    w->connected = 0;
    w->sent = 0;
    w->last_dl = w->last_ul = 0;
    w->head_bytes = w->answer_seen = 0;
    w->pace = veltrona_pace{};
    w->last_activity_ms = veltrona_steady_ms();
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
            int64_t limit = w->sent ? w->waits.recv_ms : w->waits.send_ms;
            int64_t left = w->last_activity_ms + limit - veltrona_steady_ms();
            if (left <= 0) {
                timed_out = 1;
                break;
            }
            if (left < wait_ms) wait_ms = static_cast<int>(left);
        }
        if (!keep_pace(w, &wait_ms)) {
            timed_out = 1;
            break;
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
    veltrona_buf_free(&w->first_raw);
    veltrona_delivery_free(&w->dv);
}

// The message for a transfer that ended in `rc` without the answer, named
// after the WinHTTP step it failed in (see veltrona_failure in exchange.h).
char *failure_text(const cwork *w, CURLcode rc) {
    unsigned long code = static_cast<unsigned long>(rc);
    if (w->head_done) return veltrona_failure("WinHttpReadData", code);
    if (w->sent) return veltrona_failure("WinHttpReceiveResponse", code);
    return veltrona_failure("WinHttpSendRequest", code);
}

// Session-wide settings: user agent, no proxy from the environment,
// connect timeout, no signals.
CURLcode open_session(cwork *w) {
    CURL *e = w->easy;
    // No proxy but what the caller configures: libcurl would otherwise take
    // one from the environment, which this library never reads.
    CURLcode rc = curl_easy_setopt(e, CURLOPT_USERAGENT, veltrona_user_agent);
    if (rc == CURLE_OK) rc = curl_easy_setopt(e, CURLOPT_PROXY, "");
    if (rc != CURLE_OK) return rc;
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(w->waits.connect_ms));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    return CURLE_OK;
}

// Method, body and HTTP version of the request.
CURLcode open_request(cwork *w, const veltrona_http_request *req) {
    CURL *e = w->easy;
    CURLcode rc = curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, req->method);
    if (rc == CURLE_OK && std::strcmp(req->method, "HEAD") == 0) rc = curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (rc == CURLE_OK && (req->body || std::strcmp(req->method, "PUT") == 0 || std::strcmp(req->method, "POST") == 0)) {
        rc = curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                              static_cast<curl_off_t>(req->body ? req->body_len : 0));
        if (rc == CURLE_OK) rc = curl_easy_setopt(e, CURLOPT_POSTFIELDS, req->body ? req->body : "");
    }
    if (rc == CURLE_OK) rc = curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    return rc;
}

// Options whose results are not consulted: redirects off, TLS verification
// on, decoding only on request; then the callbacks and the credentials.
void set_request_options(cwork *w, const veltrona_http_request *req) {
    CURL *e = w->easy;
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (req->flags & VELTRONA_HTTP_DECOMPRESS) {
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    } else {
        // Without the flag the body arrives exactly as the server sent it.
        curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, on_curl_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, w);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, on_curl_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, w);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, on_curl_progress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, w);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    if (req->user) {
        // Credentials are handed over now but used by no scheme until a 401
        // names one: the first send carries none.
        w->creds_ok = curl_easy_setopt(e, CURLOPT_USERNAME, req->user) == CURLE_OK &&
                      curl_easy_setopt(e, CURLOPT_PASSWORD, req->password ? req->password : "") == CURLE_OK;
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_NONE));
    }
}

// Everything up to the first send, in the order of the WinHTTP steps so that
// a failure is named after the same step (see veltrona_failure). 0, or -1
// with *err set.
int prepare(cwork *w, const veltrona_http_request *req, char **err) {
    w->url = curl_url();
    if (!w->url) return veltrona_fail(err, veltrona_strdup("oom"));
    unsigned long uc = crack_url(w, req->url);
    if (uc != 0) return veltrona_fail(err, veltrona_failure("WinHttpCrackUrl", uc));
    w->easy = curl_easy_init();
    w->multi = w->easy ? curl_multi_init() : nullptr;
    if (!w->easy || !w->multi) return veltrona_fail(err, veltrona_failure("WinHttpOpen", CURLE_FAILED_INIT));
    CURLcode rc = open_session(w);
    if (rc != CURLE_OK) return veltrona_fail(err, veltrona_failure("WinHttpOpen", rc));
    rc = pre_resolve(w);
    if (rc != CURLE_OK) return veltrona_fail(err, veltrona_failure("WinHttpSendRequest", rc));
    rc = curl_easy_setopt(w->easy, CURLOPT_CURLU, w->url);
    if (rc == CURLE_OK) rc = curl_easy_setopt(w->easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (rc != CURLE_OK) return veltrona_fail(err, veltrona_failure("WinHttpConnect", rc));
    rc = open_request(w, req);
    if (rc != CURLE_OK) return veltrona_fail(err, veltrona_failure("WinHttpOpenRequest", rc));
    set_request_options(w, req);
    if (build_headers(w, req) != 0) return veltrona_fail(err, veltrona_strdup("utf-8 headers"));
    curl_easy_setopt(w->easy, CURLOPT_HTTPHEADER, w->headers);
    return 0;
}

// Sends the request once more, with the scheme the 401 offered. When the
// retry brings no answer, the call carries on with the 401 it has: its
// status and headers are delivered (its body was never read) and the
// retry's failure stays as the error text.
CURLcode send_with_credentials(cwork *w, const veltrona_http_request *req, char **err) {
    long scheme = w->retry_scheme == AUTH_DIGEST ? static_cast<long>(CURLAUTH_DIGEST)
                                                 : static_cast<long>(CURLAUTH_BASIC);
    curl_easy_setopt(w->easy, CURLOPT_HTTPAUTH, scheme);
    w->first_raw = w->raw;
    w->first_status = w->head_status;
    std::memset(&w->raw, 0, sizeof w->raw);
    w->retry_pass = 1;
    w->retry_abort = 0;
    w->head_done = 0;
    CURLcode rc = run_transfer(w, req);
    if (rc == CURLE_OK || w->head_done) return rc;
    *err = failure_text(w, rc);
    w->dv.status = w->first_status;
    veltrona_read_head(&w->dv, w->first_raw.data, static_cast<size_t>(w->first_raw.len));
    w->head_done = 1;
    return CURLE_OK;
}

int32_t curl_request(void *, const veltrona_http_request *req, int32_t *status, char **err) noexcept {
    if (veltrona_request_start(req, status, err) != 0) return -1;
    if (global_init() != CURLE_OK) return veltrona_fail(err, veltrona_failure("WinHttpOpen", CURLE_FAILED_INIT));

    cwork w;
    std::memset(&w, 0, sizeof w);
    w.dv.req = req;
    w.waits = veltrona_waits_of(req);
    if (prepare(&w, req, err) != 0) {
        release(&w);
        return -1;
    }
    CURLcode rc = run_transfer(&w, req);
    if (w.retry_abort && rc == CURLE_WRITE_ERROR) rc = send_with_credentials(&w, req, err);
    int ended_by_us = rc == CURLE_WRITE_ERROR && (w.dv.stopped || w.final_cut);
    if (rc != CURLE_OK && !ended_by_us) {
        char *text = failure_text(&w, rc);
        std::free(*err);
        release(&w);
        return veltrona_fail(err, text);
    }
    if (!w.head_done) {
        // A transfer that ends without any head (nothing received).
        std::free(*err);
        release(&w);
        return veltrona_fail(err, veltrona_failure("WinHttpReceiveResponse", CURLE_GOT_NOTHING));
    }
    veltrona_deliver_headers(&w.dv);
    *status = w.dv.status;
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

// On Windows the WinHTTP transport is the real one and libcurl is not used.
const veltrona_http *veltrona_http_curl() noexcept { return nullptr; }

#endif
