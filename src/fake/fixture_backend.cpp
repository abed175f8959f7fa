// The offline fixture backend: one static transport record whose request
// operation answers the service's read routes from files of a corpus
// directory, injects whole-response failures on demand and counts calls.
#include "fake/fixture_backend.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "http/buf.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

struct fixture_state {
    char dir[512];  // first member: the record's user_data reads as this text
    int32_t mode;
    int64_t calls;
    int64_t fails;
    char last_url[1024];
};

// Canned bodies; their lengths are part of what callers observe.
constexpr char k_not_found[] = "{\"type\":\"x\",\"title\":\"Not Found\",\"status\":404}";
constexpr char k_fake_500[] = "{\"error\":\"fake 500\"}";
constexpr char k_fake_404[] = "{\"status\":404}";
constexpr char k_not_json[] = "{ this is not json";
constexpr char k_null[] = "null";
constexpr char k_kv_error[] = "error";
static_assert(sizeof k_not_found - 1 == 45, "not-found body");
static_assert(sizeof k_fake_500 - 1 == 20, "500 body");
static_assert(sizeof k_fake_404 - 1 == 14, "404 body");
static_assert(sizeof k_not_json - 1 == 18, "invalid JSON body");

constexpr const char *k_no_writes =
    "fake: NO write routes \xE2\x80\x94 armed writes cannot succeed offline";

struct id_route {
    const char *id;
    const char *fixture;
};

struct kv_route {
    const char *prefix;
    const char *fixture;
};

// First match wins: RVD_ONEDRIVESITEMS must come before RVD_ONEDRIVES.
constexpr kv_route k_kv_routes[] = {
    {"RVD_MoviesPlaylist", "playlists.movies.json"},
    {"RVD_SeriesPlaylist", "playlists.series.json"},
    {"RVD_ProductionPlaylist", "playlists.production.json"},
    {"RVD_ExternalSubtitle_tt0111161", "externalsubs.tt0111161.json"},
    {"RVD_ExternalSubtitle_tt0944947", "externalsubs.tt0944947.json"},
    {"RVD_Position_", "position.rows.json"},
    {"VELTRONA_PlaybackSession", "playbacksessions.rows.json"},
    {"RVD_ONEDRIVESITEMS", "storages.onedrivesitems.rows.json"},
    {"RVD_ONEDRIVES", "storages.onedrives.rows.json"},
};

constexpr id_route k_movie_routes[] = {
    {"tt0111161", "getfiles.movie-single.json"},
    {"tt4154796", "getfiles.movie-multi.json"},
};

constexpr const char *k_series_id = "tt0944947";

}  // namespace

static fixture_state fs;
static veltrona_http s_fake;

static void free_buf(void *, char *text) { std::free(text); }

// Value of the query parameter `name` in url: empty and NULL when absent,
// empty (but returned) when present without a value. The search is a plain
// substring search and the value is not percent-decoded.
static const char *qval(const char *url, const char *name, char *out, size_t capacity) {
    out[0] = 0;
    char pattern[40];
    std::snprintf(pattern, sizeof pattern, "%s=", name);
    const char *p = std::strstr(url, pattern);
    if (!p) return nullptr;
    p += std::strlen(pattern);
    size_t n = std::strcspn(p, "&");
    if (n > capacity - 1) n = capacity - 1;
    std::memcpy(out, p, n);
    out[n] = 0;
    return out;
}

// Leading decimal digits as a number; no digits give 0. Growth stops once
// the value is far beyond any season or episode compared against it.
static long long lead_num(const char *s) {
    long long v = 0;
    for (; *s >= '0' && *s <= '9'; s++)
        if (v < 100000000) v = v * 10 + (*s - '0');
    return v;
}

constexpr size_t k_path_capacity = 1024;

// Opens a corpus file for binary reading. Paths are UTF-8 like every text
// the library takes; Windows gets them as UTF-16 through the wide C runtime,
// because the narrow one would read them in the ANSI code page.
static std::FILE *open_corpus_file(const char *path) {
#if defined(_WIN32)
    // One UTF-8 byte never gives more than one UTF-16 unit, so the path
    // fits without an allocation. Malformed UTF-8 (a directory cut inside a
    // character, say) opens nothing rather than some other file.
    wchar_t wide[k_path_capacity];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide,
                            static_cast<int>(k_path_capacity)) == 0)
        return nullptr;
    return _wfopen(wide, L"rb");
#else
    return std::fopen(path, "rb");
#endif
}

// Size of an open file, or -1. long holds only 32 bits on Windows, where a
// larger file must not pass for a small one.
static int64_t corpus_file_size(std::FILE *f) {
#if defined(_WIN32)
    if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
    return _ftelli64(f);
#else
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    return std::ftell(f);
#endif
}

// Whole content of one corpus file, NUL-terminated (the NUL not counted);
// NULL for a missing or unreadable file or when memory runs out, which sets
// *oom.
static char *read_corpus(const char *name, size_t *out_len, bool *oom) {
    char path[k_path_capacity];
#if defined(_WIN32)
    // Joined with the native separator: the long-path form \\?\C:\... takes
    // no '/' and no doubled backslash, so a directory ending in one gets no
    // other.
    const size_t n = std::strlen(fs.dir);
    std::snprintf(path, sizeof path, n && fs.dir[n - 1] == '\\' ? "%s%s" : "%s\\%s", fs.dir, name);
#else
    std::snprintf(path, sizeof path, "%s/%s", fs.dir, name);
#endif
    errno = 0;
    std::FILE *f = open_corpus_file(path);
    if (!f) {
        // The C library could not allocate the stream itself.
        *oom = errno == ENOMEM;
        return nullptr;
    }
    char *data = nullptr;
    int64_t size = corpus_file_size(f);
    if (size >= 0 && size <= INT32_MAX && std::fseek(f, 0, SEEK_SET) == 0) {
        data = static_cast<char *>(std::malloc(static_cast<size_t>(size) + 1));
        *oom = data == nullptr;
        if (data) {
            size_t want = static_cast<size_t>(size);
            size_t got = want ? std::fread(data, 1, want, f) : 0;
            // A read error (a directory opened by that name, for one) makes
            // the file unreadable rather than an empty fixture.
            if (got == want) (void)std::fgetc(f);
            if (got != want || std::ferror(f)) {
                std::free(data);
                data = nullptr;
            } else {
                data[want] = 0;
                *out_len = want;
            }
        }
    }
    std::fclose(f);
    return data;
}

static int32_t deliver(const veltrona_http_request *req, int32_t *status, int32_t code,
                       const char *body, size_t len) {
    *status = code;
    if (req->on_header) {
        char text[24];
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(code));
        (void)req->on_header(req->cb_ctx, ":status", text);
    }
    if (len > 0 && req->on_body) (void)req->on_body(req->cb_ctx, body, len);
    return 0;
}

// A routing failure: counted, no callback, a heap copy of the text (none
// when even that copy fails).
static int32_t route_fail(char **err, const char *text) {
    fs.fails++;
    *err = veltrona_strdup(text);
    return -1;
}

static int32_t serve_fixture(const veltrona_http_request *req, int32_t *status, char **err,
                             const char *name, int32_t code, const char *missing) {
    size_t len = 0;
    bool oom = false;
    char *data = read_corpus(name, &len, &oom);
    if (!data && oom) {
        // Not a routing failure: the client reports it as out of memory.
        *err = veltrona_strdup("oom: fixture");
        return -1;
    }
    if (!data) return route_fail(err, missing);
    deliver(req, status, code, data, len);
    std::free(data);
    return 0;
}

static int32_t route_files(const veltrona_http_request *req, const char *url, int32_t *status,
                           char **err) {
    char id[64], s[32], e[32];
    qval(url, "id", id, sizeof id);
    qval(url, "s", s, sizeof s);
    qval(url, "e", e, sizeof e);
    if (!id[0]) return deliver(req, status, 404, k_not_found, sizeof k_not_found - 1);

    const char *fixture = nullptr;
    int32_t code = 200;
    for (const id_route &r : k_movie_routes)
        if (std::strcmp(id, r.id) == 0) fixture = r.fixture;
    if (!fixture && std::strcmp(id, k_series_id) == 0) {
        long long season = lead_num(s);
        if (s[0] && season == 1 && e[0] && lead_num(e) == 1)
            fixture = "getfiles.tv-s1e1.json";
        else if (s[0] && season == 99)
            fixture = "getfiles.tv-nomatch.json";
        else
            fixture = "getfiles.tv-all.json";
    }
    if (!fixture) {
        fixture = "getfiles.404.json";
        code = 404;
    }
    return serve_fixture(req, status, err, fixture, code, "fake: getfiles fixture missing");
}

static int32_t route_kv(const veltrona_http_request *req, const char *url, int32_t *status,
                        char **err) {
    char k[256];
    qval(url, "k", k, sizeof k);
    if (!k[0]) return deliver(req, status, 500, k_kv_error, sizeof k_kv_error - 1);
    for (const kv_route &r : k_kv_routes)
        if (std::strncmp(k, r.prefix, std::strlen(r.prefix)) == 0)
            return serve_fixture(req, status, err, r.fixture, 200, "fake: kv fixture missing");
    return deliver(req, status, 404, k_not_found, sizeof k_not_found - 1);
}

static bool is_getauth(const char *url) {
    return std::strstr(url, "APIFunction") && std::strstr(url, "GetAuth");
}

static int32_t fake_request(void *, const veltrona_http_request *req, int32_t *status,
                            char **err) {
    if (!status || !err) return -1;
    *status = 0;
    *err = nullptr;
    if (!req) {
        *err = veltrona_strdup("fake: no request record");
        return -1;
    }

    const char *url = req->url ? req->url : "";
    // A caller may hand back the last URL text itself; keep routing on a
    // copy so that rewriting last_url below cannot change what is routed.
    char url_copy[sizeof fs.last_url];
    const uintptr_t at = reinterpret_cast<uintptr_t>(url);
    const uintptr_t lo = reinterpret_cast<uintptr_t>(fs.last_url);
    if (at >= lo && at < lo + sizeof fs.last_url) {
        std::snprintf(url_copy, sizeof url_copy, "%s", url);
        url = url_copy;
    }
    fs.calls++;
    const bool post = req->method && std::strcmp(req->method, "POST") == 0;
    // Long URLs are cut to what the text holds.
    if (std::snprintf(fs.last_url, sizeof fs.last_url, "%s%s", post ? "POST " : "GET ", url) < 0)
        fs.last_url[0] = 0;

    switch (fs.mode) {
    case 1:
        // Injected failures are not routing failures: fails stays as it is.
        *err = veltrona_strdup("fake: injected transport failure");
        return -1;
    case 2: return deliver(req, status, 500, k_fake_500, sizeof k_fake_500 - 1);
    case 3: return deliver(req, status, 404, k_fake_404, sizeof k_fake_404 - 1);
    case 4: return deliver(req, status, 200, k_not_json, sizeof k_not_json - 1);
    case 5: return deliver(req, status, 200, nullptr, 0);
    case 6: return deliver(req, status, 200, k_null, sizeof k_null - 1);
    default: break;
    }

    if (post) {
        if (std::strstr(url, "GetPlaybackSessions"))
            return serve_fixture(req, status, err, "playbacksessions.result.json", 200,
                                 "fake: sessions fixture missing");
        if (std::strstr(url, "getfiles")) return deliver(req, status, 405, nullptr, 0);
        if (std::strstr(url, "UpdatePlaybackSession") || std::strstr(url, "DownloadMagnet") ||
            std::strstr(url, "/api/KeyValue"))
            return route_fail(err, k_no_writes);
    }
    if (is_getauth(url))
        return serve_fixture(req, status, err, "storages.getauth.b64.txt", 200,
                             "fake: storages fixture missing");
    if (!post && std::strstr(url, "getfiles")) return route_files(req, url, status, err);
    if (std::strstr(url, "KeyValue/StartsWith")) return route_kv(req, url, status, err);
    return route_fail(err, "fake: unrouted URL");
}

static const veltrona_http *refill() {
    s_fake.size = VELTRONA_HTTP_SIZE;
    s_fake.version = VELTRONA_HTTP_VERSION;
    s_fake.user_data = &fs;
    s_fake.request = fake_request;
    s_fake.free = free_buf;
    return &s_fake;
}

const veltrona_http *mvfiles_fake_backend(const char *dir) noexcept {
    if (dir && *dir && dir != fs.dir) std::snprintf(fs.dir, sizeof fs.dir, "%s", dir);
    return refill();
}

const veltrona_http *mvfiles_fake_install() noexcept { return refill(); }

void mvfiles_fake_set_mode(int32_t mode) noexcept { fs.mode = mode; }

int64_t mvfiles_fake_calls_internal() noexcept { return fs.calls; }

int64_t mvfiles_fake_fail_internal() noexcept { return fs.fails; }

const char *mvfiles_fake_last_url_internal() noexcept { return fs.last_url; }

void mvfiles_fake_wipe_stats() noexcept {
    fs.last_url[0] = 0;
    fs.calls = 0;
    fs.fails = 0;
}
