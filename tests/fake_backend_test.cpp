// The offline fixture backend: routes, failure modes, statistics and the
// exported controls, through the backend's transport record and through the
// client's look-ups over the bundled corpus.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <yyjson.h>

#include "api/core.h"
#include "fake/fixture_backend.h"
#include "http/buf.h"
#include "mvfiles.h"
#include "support/platform.h"
#include "support/service.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char *const kOrigin = "https://api.mvfiles.example";

std::string url_of(const std::string &path) { return std::string(kOrigin) + path; }

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A temporary corpus directory, removed with its files.
class TempCorpus {
public:
    TempCorpus() : dir_(mvtest::temp_dir()) {}
    ~TempCorpus() {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(std::filesystem::u8path(dir_), ec);
    }
    const char *dir() const { return dir_.c_str(); }
    void put(const std::string &name, const std::string &content) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << content;
    }

private:
    std::string dir_;
};

// What one exchange with the backend's transport record produced.
struct Outcome {
    int32_t rc = 0;
    int32_t status = -7;
    bool has_err = false;
    std::string err;
    int header_calls = 0;
    std::string status_header;
    int body_calls = 0;
    std::string body;
};

struct Sink {
    veltrona_collect col;
    Outcome *out;
};

int32_t on_header(void *ctx, const char *name, const char *value) {
    Sink *s = static_cast<Sink *>(ctx);
    s->out->header_calls++;
    if (std::strcmp(name, ":status") == 0) s->out->status_header = value ? value : "";
    return veltrona_collect_header(&s->col, name, value);
}

int32_t on_body(void *ctx, const void *data, uint64_t len) {
    Sink *s = static_cast<Sink *>(ctx);
    s->out->body_calls++;
    return veltrona_collect_body(&s->col, data, len);
}

// Sends one request straight to the backend's request operation.
Outcome ask(const char *method, const char *url) {
    const veltrona_http *h = mvfiles_fake_backend(nullptr);
    Outcome o;
    Sink sink;
    sink.out = &o;
    veltrona_collect_init(&sink.col, 0);
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = method;
    req.url = url;
    req.on_header = on_header;
    req.on_body = on_body;
    req.cb_ctx = &sink;
    char *err = reinterpret_cast<char *>(1);
    o.rc = h->request(h->user_data, &req, &o.status, &err);
    if (err) {
        o.has_err = true;
        o.err = err;
        h->free(h->user_data, err);
    }
    if (sink.col.body.data) o.body.assign(sink.col.body.data, sink.col.body.len);
    veltrona_collect_free(&sink.col);
    return o;
}

Outcome ask(const char *method, const std::string &url) { return ask(method, url.c_str()); }

const std::string kNotFound = "{\"type\":\"x\",\"title\":\"Not Found\",\"status\":404}";
const std::string kNoWrites = "fake: NO write routes \xE2\x80\x94 armed writes cannot succeed offline";

// Every file the route tables can name.
const char *const kAllFixtures[] = {
    "getfiles.movie-single.json", "getfiles.movie-multi.json", "getfiles.tv-all.json",
    "getfiles.tv-s1e1.json", "getfiles.tv-nomatch.json", "getfiles.404.json",
    "playbacksessions.result.json", "storages.getauth.b64.txt", "playlists.movies.json",
    "playlists.series.json", "playlists.production.json", "externalsubs.tt0111161.json",
    "externalsubs.tt0944947.json", "position.rows.json", "playbacksessions.rows.json",
    "storages.onedrivesitems.rows.json", "storages.onedrives.rows.json",
};

class FakeBackend : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_fake_mode(0);
        mvfiles_fake_corpus(MVFILES_FIXTURES_DIR);
        mvfiles_fake_reset();
        ASSERT_EQ(mvfiles_use_fake(), 0);
    }
    void TearDown() override {
        mvfiles_fake_mode(0);
        mvfiles_fake_corpus(MVFILES_FIXTURES_DIR);
    }
};

// A corpus in which every file holds its own name, so that a body tells
// which fixture a route chose.
class FakeRoutes : public FakeBackend {
protected:
    void SetUp() override {
        FakeBackend::SetUp();
        for (const char *f : kAllFixtures) corpus_.put(f, f);
        ASSERT_EQ(mvfiles_fake_corpus(corpus_.dir()), 0);
    }
    TempCorpus corpus_;
};

struct RouteCase {
    const char *method;
    const char *path;     // appended to the origin
    int32_t status;       // 0: a failure is expected
    const char *body;     // expected body, or the expected error text on failure
};

TEST_F(FakeRoutes, EachUrlReachesItsFixtureOrCannedAnswer) {
    const RouteCase cases[] = {
        {"GET", "/api/finder/getfiles?id=tt0111161", 200, "getfiles.movie-single.json"},
        {"GET", "/api/finder/getfiles?id=tt4154796", 200, "getfiles.movie-multi.json"},
        {"GET", "/api/finder/getfiles?id=tt0944947", 200, "getfiles.tv-all.json"},
        {"GET", "/api/finder/getfiles?id=tt0944947&s=&e=", 200, "getfiles.tv-all.json"},
        {"GET", "/api/finder/getfiles?id=tt0944947&s=1&e=1", 200, "getfiles.tv-s1e1.json"},
        {"GET", "/api/finder/getfiles?id=tt0944947&s=01&e=001", 200, "getfiles.tv-s1e1.json"},
        {"GET", "/api/finder/getfiles?id=tt0944947&s=1&e=2", 200, "getfiles.tv-all.json"},
        {"GET", "/api/finder/getfiles?id=tt0944947&s=1&e=", 200, "getfiles.tv-all.json"},
        {"GET", "/api/finder/getfiles?id=tt0944947&s=99&e=5", 200, "getfiles.tv-nomatch.json"},
        {"GET", "/api/finder/getfiles?id=tt0111162", 404, "getfiles.404.json"},
        {"GET", "/api/finder/getfiles?id=tt01111610", 404, "getfiles.404.json"},
        {"GET", "/api/finder/getfiles?id=", 404, kNotFound.c_str()},
        {"GET", "/api/finder/getfiles?s=1&e=1", 404, kNotFound.c_str()},
        // Only the exact token POST is a POST.
        {"post", "/api/finder/getfiles?id=tt0111161", 200, "getfiles.movie-single.json"},
        {nullptr, "/api/finder/getfiles?id=tt4154796", 200, "getfiles.movie-multi.json"},
        {"POST", "/api/finder/getfiles", 405, ""},
        {"GET", "/api/APIFunction?name=GetAuth", 200, "storages.getauth.b64.txt"},
        {"POST", "/api/APIFunction?name=GetAuth", 200, "storages.getauth.b64.txt"},
        {"POST", "/api/AAA/GetPlaybackSessions", 200, "playbacksessions.result.json"},
        {"POST", "/api/KeyValue?key=RVD_Position_u_1_tt0111161_-1_-1_8520&value=0.5", 0,
         kNoWrites.c_str()},
        {"POST", "/api/AAA/UpdatePlaybackSession?key=abc", 0, kNoWrites.c_str()},
        {"POST", "/api/AAA/DownloadMagnet", 0, kNoWrites.c_str()},
        {"POST", "/api/KeyValue/StartsWith?k=RVD_MoviesPlaylist", 0, kNoWrites.c_str()},
        {"GET", "/api/AAA/UpdatePlaybackSession?key=abc", 0, "fake: unrouted URL"},
        {"GET", "/api/AAA/GetPlaybackSessions", 0, "fake: unrouted URL"},
        {"GET", "/api/other", 0, "fake: unrouted URL"},
        {"GET", "/api/KeyValue/StartsWith?k=", 500, "error"},
        {"GET", "/api/KeyValue/StartsWith", 500, "error"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_Other", 404, kNotFound.c_str()},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_MoviesPlaylist", 200, "playlists.movies.json"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_SeriesPlaylist", 200, "playlists.series.json"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_ProductionPlaylist_x", 200,
         "playlists.production.json"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_ExternalSubtitle_tt0111161_-1_-1_", 200,
         "externalsubs.tt0111161.json"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_ExternalSubtitle_tt0944947_1_1_", 200,
         "externalsubs.tt0944947.json"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_ExternalSubtitle_tt4154796", 404,
         kNotFound.c_str()},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_Position_u1_0_tt0111161", 200,
         "position.rows.json"},
        {"GET", "/api/KeyValue/StartsWith?k=VELTRONA_PlaybackSession", 200,
         "playbacksessions.rows.json"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_ONEDRIVESITEMS_x", 200,
         "storages.onedrivesitems.rows.json"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_ONEDRIVES", 200, "storages.onedrives.rows.json"},
    };
    for (const RouteCase &c : cases) {
        SCOPED_TRACE(std::string(c.method ? c.method : "(null)") + " " + c.path);
        int64_t fails = mvfiles_fake_fail_count();
        Outcome o = ask(c.method, url_of(c.path));
        if (c.status == 0) {
            EXPECT_EQ(o.rc, -1);
            EXPECT_EQ(o.err, c.body);
            EXPECT_EQ(o.status, 0);
            EXPECT_EQ(o.header_calls + o.body_calls, 0);
            EXPECT_EQ(mvfiles_fake_fail_count(), fails + 1);
        } else {
            EXPECT_EQ(o.rc, 0);
            EXPECT_FALSE(o.has_err);
            EXPECT_EQ(o.status, c.status);
            EXPECT_EQ(o.header_calls, 1);  // ":status" only
            EXPECT_EQ(o.status_header, std::to_string(c.status));
            EXPECT_EQ(o.body_calls, *c.body ? 1 : 0);
            EXPECT_EQ(o.body, c.body);
            EXPECT_EQ(mvfiles_fake_fail_count(), fails);
        }
    }
}

TEST_F(FakeBackend, MissingFixturesFailWithTheirRoutesText) {
    TempCorpus empty;
    ASSERT_EQ(mvfiles_fake_corpus(empty.dir()), 0);
    const RouteCase cases[] = {
        {"GET", "/api/finder/getfiles?id=tt0111161", 0, "fake: getfiles fixture missing"},
        {"GET", "/api/finder/getfiles?id=tt0111162", 0, "fake: getfiles fixture missing"},
        {"GET", "/api/KeyValue/StartsWith?k=RVD_ONEDRIVES", 0, "fake: kv fixture missing"},
        {"POST", "/api/AAA/GetPlaybackSessions", 0, "fake: sessions fixture missing"},
        {"GET", "/api/APIFunction?name=GetAuth", 0, "fake: storages fixture missing"},
    };
    for (const RouteCase &c : cases) {
        SCOPED_TRACE(c.path);
        Outcome o = ask(c.method, url_of(c.path));
        EXPECT_EQ(o.rc, -1);
        EXPECT_EQ(o.err, c.body);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.header_calls + o.body_calls, 0);
    }
    EXPECT_EQ(mvfiles_fake_fail_count(), 5);
    EXPECT_EQ(mvfiles_fake_calls(), 5);

    // Canned answers need no file.
    Outcome o = ask("POST", url_of("/api/finder/getfiles"));
    EXPECT_EQ(o.status, 405);
    EXPECT_EQ(mvfiles_fake_fail_count(), 5);
}

TEST_F(FakeBackend, OddFixturesAreSentByteForByte) {
    TempCorpus odd;
    const std::string binary("{\"a\":\"x\0y\"}\r\n", 14);
    odd.put("getfiles.movie-single.json", binary);
    odd.put("getfiles.movie-multi.json", "");
    ASSERT_TRUE(std::filesystem::create_directory(std::string(odd.dir()) + "/getfiles.tv-all.json"));
    ASSERT_EQ(mvfiles_fake_corpus(odd.dir()), 0);

    Outcome o = ask("GET", url_of("/api/finder/getfiles?id=tt0111161"));
    EXPECT_EQ(o.status, 200);
    EXPECT_EQ(o.body, binary);

    o = ask("GET", url_of("/api/finder/getfiles?id=tt4154796"));
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.status, 200);
    EXPECT_EQ(o.body_calls, 0);

    // A directory in place of a file is unreadable, not an empty answer.
    o = ask("GET", url_of("/api/finder/getfiles?id=tt0944947"));
    EXPECT_EQ(o.rc, -1);
    EXPECT_EQ(o.err, "fake: getfiles fixture missing");
}

struct ModeCase {
    int32_t mode;
    int32_t rc, status;
    const char *body;        // or the error text for mode 1
    mvfiles_result lookup;   // what the file look-up makes of it
    const char *message;
};

TEST_F(FakeBackend, FailureModesAnswerEveryUrlAlike) {
    const ModeCase cases[] = {
        {1, -1, 0, "fake: injected transport failure", 1,
         "transport: transport: fake: injected transport failure"},
        {2, 0, 500, "{\"error\":\"fake 500\"}", 2, "HTTP 500"},
        {3, 0, 404, "{\"status\":404}", 5, "no files for this id (HTTP 404)"},
        {4, 0, 200, "{ this is not json", 3, "getfiles: invalid JSON"},
        {5, 0, 200, "", 4, "empty body"},
        {6, 0, 200, "null", 3, "getfiles: root is not an array"},
    };
    const char *const urls[] = {"/api/finder/getfiles?id=tt0111161", "/api/nowhere",
                                "/api/AAA/DownloadMagnet"};
    for (const ModeCase &c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        ASSERT_EQ(mvfiles_fake_mode(c.mode), 0);
        for (const char *path : urls) {
            mvfiles_fake_reset();
            Outcome o = ask("POST", url_of(path));
            EXPECT_EQ(o.rc, c.rc);
            EXPECT_EQ(o.status, c.status);
            if (c.rc) {
                EXPECT_EQ(o.err, c.body);
                EXPECT_EQ(o.header_calls + o.body_calls, 0);
            } else {
                EXPECT_FALSE(o.has_err);
                EXPECT_EQ(o.header_calls, 1);
                EXPECT_EQ(o.body_calls, *c.body ? 1 : 0);
                EXPECT_EQ(o.body, c.body);
            }
            EXPECT_EQ(mvfiles_fake_calls(), 1);
            EXPECT_EQ(mvfiles_fake_fail_count(), 0);
            EXPECT_EQ(std::string(mvfiles_fake_last_url()), "POST " + url_of(path));
        }
        EXPECT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), c.lookup);
        EXPECT_STREQ(mvfiles_last_error(), c.message);
        EXPECT_EQ(mvfiles_last_http_code(), c.status);
    }
    // Values outside 0..6 are refused and the mode stays.
    for (int32_t bad : {7, -1, INT32_MIN}) EXPECT_EQ(mvfiles_fake_mode(bad), 6) << bad;
    EXPECT_EQ(ask("GET", url_of("/x")).status, 200);
    ASSERT_EQ(mvfiles_fake_mode(0), 0);
    EXPECT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), 0);
    // The internal setter stores anything; values outside 1..6 route.
    mvfiles_fake_set_mode(42);
    EXPECT_EQ(ask("GET", url_of("/api/finder/getfiles?id=tt0111161")).status, 200);
}

TEST_F(FakeBackend, StatisticsCountAndResetKeepsModeAndCorpus) {
    EXPECT_STREQ(mvfiles_fake_last_url(), "");
    ask("GET", url_of("/api/finder/getfiles?id=tt0111161"));
    ask("GET", url_of("/api/unknown"));
    ask("POST", url_of("/api/AAA/DownloadMagnet"));
    ask("GET", nullptr);
    EXPECT_EQ(mvfiles_fake_calls(), 4);
    EXPECT_EQ(mvfiles_fake_fail_count(), 3);
    EXPECT_STREQ(mvfiles_fake_last_url(), "GET ");

    // The last URL keeps at most 1023 bytes.
    std::string long_url = url_of("/api/finder/getfiles?id=tt0111161&pad=") + std::string(2000, 'p');
    EXPECT_EQ(ask("GET", long_url).status, 200);
    EXPECT_EQ(std::string(mvfiles_fake_last_url()), ("GET " + long_url).substr(0, 1023));

    // Routing a request whose URL is the last-URL text itself.
    ask("GET", url_of("/api/finder/getfiles?id=tt4154796"));
    Outcome again = ask("GET", mvfiles_fake_last_url() + 4);
    EXPECT_EQ(again.body, read_file(std::string(MVFILES_FIXTURES_DIR) + "/getfiles.movie-multi.json"));
    EXPECT_EQ(std::string(mvfiles_fake_last_url()), "GET " + url_of("/api/finder/getfiles?id=tt4154796"));

    ASSERT_EQ(mvfiles_fake_mode(3), 0);
    mvfiles_fake_reset();
    EXPECT_EQ(mvfiles_fake_calls(), 0);
    EXPECT_EQ(mvfiles_fake_fail_count(), 0);
    EXPECT_STREQ(mvfiles_fake_last_url(), "");
    EXPECT_EQ(ask("GET", url_of("/x")).status, 404);
    ASSERT_EQ(mvfiles_fake_mode(0), 0);
    EXPECT_EQ(ask("GET", url_of("/api/finder/getfiles?id=tt0111161")).status, 200);
}

TEST_F(FakeBackend, InstallingAndSwitchingCorpus) {
    // The transport record is the backend's, pointing at the corpus text.
    const veltrona_http *h = mvfiles_fake_backend(nullptr);
    EXPECT_EQ(g_sf.transport, h);
    EXPECT_EQ(g_sf.transport_set, 1);
    EXPECT_EQ(h->size, 32u);
    EXPECT_EQ(h->version, 1u);
    EXPECT_STREQ(static_cast<const char *>(h->user_data), MVFILES_FIXTURES_DIR);
    EXPECT_EQ(mvfiles_fake_install(), h);

    // Installing empties the last error and writes the default origin.
    mvtest::reset_client();
    EXPECT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), 7);
    EXPECT_STRNE(mvfiles_last_error(), "");
    g_sf.host[0] = 0;
    EXPECT_EQ(mvfiles_use_fake(), 0);
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_STREQ(g_sf.host, MVFILES_DEFAULT_ORIGIN);

    EXPECT_EQ(mvfiles_fake_corpus(nullptr), 6);
    EXPECT_EQ(mvfiles_fake_corpus(""), 0);
    EXPECT_STREQ(static_cast<const char *>(h->user_data), MVFILES_FIXTURES_DIR);
    EXPECT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), 0);
    EXPECT_EQ(mvfiles_count(), 1);

    // A new corpus takes effect at the next request, the transport unchanged.
    TempCorpus other;
    other.put("getfiles.movie-multi.json", "[{\"key\":\"k1\"},{\"key\":\"k2\"}]");
    ASSERT_EQ(mvfiles_fake_corpus(other.dir()), 0);
    EXPECT_EQ(g_sf.transport, h);
    EXPECT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), 0);
    EXPECT_EQ(mvfiles_count(), 2);
    EXPECT_STREQ(mvfiles_key(1), "k2");

    // A path whose first 511 bytes name the bundled corpus is refused whole,
    // not cut to them: the directory set before stays.
    std::string padded = MVFILES_FIXTURES_DIR + std::string(511 - std::strlen(MVFILES_FIXTURES_DIR), '/') + "x";
    EXPECT_EQ(mvfiles_fake_corpus(padded.c_str()), 6);
    EXPECT_STREQ(static_cast<const char *>(h->user_data), other.dir());
}

// Corpus paths are UTF-8 on every platform; on Windows they must not go
// through the ANSI code page.
TEST_F(FakeBackend, CorpusDirectoryWithNonAsciiName) {
    namespace fsys = std::filesystem;
    TempCorpus parent;
    const std::string dir = std::string(parent.dir()) + "/corpus-J\xC3\xBCrgen-\xC3\xBC";
    struct Gone {
        fsys::path p;
        ~Gone() { std::error_code ec; fsys::remove_all(p, ec); }
    } gone{fsys::u8path(dir)};
    ASSERT_TRUE(fsys::create_directory(gone.p));
    fsys::copy_file(fsys::u8path(MVFILES_FIXTURES_DIR "/getfiles.movie-multi.json"),
                    gone.p / "getfiles.movie-multi.json");
    ASSERT_EQ(mvfiles_fake_corpus(dir.c_str()), 0);
    EXPECT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), 0) << mvfiles_last_error();
    EXPECT_EQ(mvfiles_count(), 3);
}

// With no corpus ever given, fixtures are looked for under "/". A freshly
// loaded copy of the shared library has that state whatever this process did.
TEST(FakeBackendFresh, WithoutCorpusFixturesAreLookedForUnderRoot) {
    for (const char *f : kAllFixtures)
        if (std::filesystem::exists(std::string("/") + f)) GTEST_SKIP() << "/" << f << " exists";
    mvtest::Library lib(MVFILES_SHARED_LIB);
    ASSERT_TRUE(lib.loaded()) << lib.error();
    auto sym = [&lib](const char *name) { return lib.symbol(name); };
    auto use_fake = reinterpret_cast<mvfiles_result (*)()>(sym("mvfiles_use_fake"));
    auto by_imdb = reinterpret_cast<mvfiles_result (*)(const char *, int32_t, int32_t)>(
        sym("mvfiles_get_by_imdb"));
    auto last_error = reinterpret_cast<const char *(*)()>(sym("mvfiles_last_error"));
    auto fails = reinterpret_cast<int64_t (*)()>(sym("mvfiles_fake_fail_count"));
    auto last_url = reinterpret_cast<const char *(*)()>(sym("mvfiles_fake_last_url"));
    ASSERT_TRUE(use_fake && by_imdb && last_error && fails && last_url);

    EXPECT_EQ(use_fake(), 0);
    EXPECT_STREQ(last_error(), "");
    EXPECT_EQ(by_imdb("tt0111161", -1, -1), 1);
    EXPECT_STREQ(last_error(), "transport: transport: fake: getfiles fixture missing");
    EXPECT_EQ(fails(), 1);
    EXPECT_STREQ(last_url(), "GET https://api.mvfiles.example/api/finder/getfiles?id=tt0111161");
}

#ifdef _WIN32
// Paths are UTF-8, joined with '\' so that the long-path form opens.
TEST_F(FakeBackend, CorpusPathsAsWindowsOpensThem) {
    EXPECT_EQ(mvfiles_fake_corpus("C:\\corpus-J\xFCrgen"), 6);  // Windows-1252
    const std::string dir = "\\\\?\\" + std::filesystem::absolute(MVFILES_FIXTURES_DIR).make_preferred().u8string();
    ASSERT_EQ(mvfiles_fake_corpus(dir.c_str()), 0);
    EXPECT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), 0) << dir << ": " << mvfiles_last_error();
}

// FreeLibrary gives back all that the DLL took, tables too, without a shutdown.
TEST(FakeBackendFresh, UnloadingGivesBackWhatTheDllTook) {
    auto in_use = [] {
        HANDLE heaps[256];
        int64_t total = 0;
        for (DWORD i = 0, n = GetProcessHeaps(256, heaps); i < n && i < 256; i++)
            for (PROCESS_HEAP_ENTRY e{}; HeapWalk(heaps[i], &e);) total += e.wFlags & PROCESS_HEAP_ENTRY_BUSY ? e.cbData : 0;
        return total;
    };
    auto cycle = [] {
        mvtest::Library lib(MVFILES_SHARED_LIB);
        auto corpus = reinterpret_cast<mvfiles_result (*)(const char *)>(lib.symbol("mvfiles_fake_corpus"));
        auto use_fake = reinterpret_cast<mvfiles_result (*)()>(lib.symbol("mvfiles_use_fake"));
        auto files = reinterpret_cast<mvfiles_result (*)(const char *, int32_t, int32_t)>(lib.symbol("mvfiles_get_by_imdb"));
        auto json = reinterpret_cast<const char *(*)(int32_t)>(lib.symbol("mvfiles_file_json"));
        return corpus(MVFILES_FIXTURES_DIR) + use_fake() + files("tt4154796", -1, -1) == 0 && json(0);
    };
    for (int i = 0; i < 3; i++) ASSERT_TRUE(cycle());  // the loader's one-time costs
    const int64_t before = in_use();
    for (int i = 0; i < 200; i++) ASSERT_TRUE(cycle());
    EXPECT_LE((in_use() - before) / 200, 0) << "bytes per load and unload";
}
#endif

// The bundled corpus, read the way a host reads it.
struct LookupCase {
    const char *id;
    int32_t season, episode;
    mvfiles_result rc;
    int32_t count;
    const char *message;
};

TEST_F(FakeBackend, BundledFileFixturesAreAcceptedByTheLookUp) {
    const LookupCase cases[] = {
        {"tt0111161", -1, -1, 0, 1, ""},
        {"tt4154796", -1, -1, 0, 3, ""},
        {"tt0944947", -1, -1, 0, 4, ""},
        {"tt0944947", 1, 1, 0, 1, ""},
        {"tt0944947", 1, 2, 0, 4, ""},
        {"tt0944947", 99, 5, 4, 0, "getfiles: no files (empty array)"},
        {"tt0111162", -1, -1, 5, 0, "no files for this id (HTTP 404)"},
    };
    for (const LookupCase &c : cases) {
        SCOPED_TRACE(std::string(c.id) + " " + std::to_string(c.season) + " " +
                     std::to_string(c.episode));
        mvfiles_files_free();
        EXPECT_EQ(mvfiles_get_by_imdb(c.id, c.season, c.episode), c.rc);
        EXPECT_STREQ(mvfiles_last_error(), c.message);
        EXPECT_EQ(mvfiles_count(), c.count);
        for (int32_t i = 0; i < mvfiles_count(); i++) {
            EXPECT_STREQ(mvfiles_imdb(i), c.id);
            EXPECT_NE(mvfiles_key(i), nullptr);
            EXPECT_GT(mvfiles_size(i), 0);
            EXPECT_GT(mvfiles_duration_seconds(i), 0);
            if (c.season == 1 && c.episode == 1) {
                EXPECT_EQ(mvfiles_season(i), 1);
                EXPECT_EQ(mvfiles_episode(i), 1);
            }
        }
    }
    EXPECT_EQ(mvfiles_is_playable("tt4154796"), 1);
    EXPECT_EQ(mvfiles_is_playable_se("tt0944947", 99, 1), 0);
    EXPECT_EQ(mvfiles_is_playable("tt0111162"), 0);

    const char *keys[] = {"a81c4f0b-2d6e-4b9a-8f13-7c5e9d20b401"};
    EXPECT_EQ(mvfiles_get_by_keys(keys, 1), 2);
    EXPECT_STREQ(mvfiles_last_error(), "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)");
    EXPECT_EQ(mvfiles_last_http_code(), 405);
    EXPECT_STREQ(mvfiles_fake_last_url(), "POST https://api.mvfiles.example/api/finder/getfiles");
}

TEST_F(FakeBackend, BundledSessionAndGetAuthFixturesAreAccepted) {
    ASSERT_EQ(mvfiles_get_playback_sessions("7d1e4c2a-93b5-4f60-8a17-2b9c0e5d3f11"), 0);
    EXPECT_EQ(mvfiles_session_count(), 3);
    EXPECT_STREQ(mvfiles_session_id(0), "7d1e4c2a-93b5-4f60-8a17-2b9c0e5d3f11");
    EXPECT_NE(mvfiles_session_created(0), nullptr);
    EXPECT_EQ(mvfiles_session_bit(0, 0), 1);
    EXPECT_EQ(mvfiles_session_bit(0, 2), 0);

    // GetAuth is checked first; with only that file in the corpus the
    // storage look-up gets past it and stops at the missing drive rows.
    TempCorpus only_auth;
    only_auth.put("storages.getauth.b64.txt",
                  read_file(std::string(MVFILES_FIXTURES_DIR) + "/storages.getauth.b64.txt"));
    ASSERT_EQ(mvfiles_fake_corpus(only_auth.dir()), 0);
    EXPECT_EQ(mvfiles_get_storages(), 1);
    EXPECT_STREQ(mvfiles_last_error(), "transport: transport: fake: kv fixture missing");
    EXPECT_STREQ(mvfiles_fake_last_url(),
                 "GET https://api.mvfiles.example/api/KeyValue/StartsWith?k=RVD_ONEDRIVES");
}

}  // namespace
