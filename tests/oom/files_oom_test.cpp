// Every allocation of the file look-ups and of the JSON export failed in
// turn: the documented result, no crash, no leak, the previous table kept.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "api/core.h"
#include "mvfiles.h"
#include "support/failalloc.h"
#include "support/service.h"

namespace {

const char *const kPrevious =
    R"([{"key":"old-0","entries":[{"uri":"u0"},{"uri":"u1"}]},{"key":"old-1"}])";
const char *const kPreviousKey = "files|tt0000001|-1|-1";

// New answer: several files, entries, texts long enough to leave the
// small-string paths, and a nested member for the export.
std::string new_answer() {
    std::string s = "[";
    for (int i = 0; i < 4; i++) {
        if (i) s += ",";
        s += "{\"key\":\"new-" + std::to_string(i) + "\",\"fileName\":\"" + std::string(200, 'f') +
             "\",\"size\":" + std::to_string(1000 + i) +
             ",\"meta\":{\"a\":[1,2,3],\"b\":\"" + std::string(300, 'm') + "\"},\"entries\":[" +
             "{\"uri\":\"u\",\"isActive\":true,\"accessSource\":{\"contentSource\":2}},\"x\"," +
             "{\"url\":\"v\"}]}";
    }
    return s + ",7]";
}

// The test transport behind a thin relay that notes where in the exchange
// the armed allocation was reached: before it, inside it (the body
// collector), or after it (parse and table).
struct GuardedService {
    mvtest::Service svc;
    veltrona_http http{};
    veltrona_io_ctx ctx{};
    veltrona_io io{};
    bool reached = false;              // the exchange began
    bool tripped_in_transport = false; // the failing allocation was inside it

    GuardedService() {
        http.size = VELTRONA_HTTP_SIZE;
        http.version = VELTRONA_HTTP_VERSION;
        http.user_data = this;
        http.request = &GuardedService::request;
        http.free = &GuardedService::release;
        ctx.magic = VELTRONA_IO_MAGIC;
        ctx.size = VELTRONA_IO_CTX_SIZE;
        ctx.http = &http;
        io.ctx = &ctx;
    }
    void install() { ASSERT_EQ(mvfiles_set_io(&io), 0); }
    void reset_marks() {
        reached = false;
        tripped_in_transport = false;
    }

    static int32_t request(void *user, const veltrona_http_request *req, int32_t *status,
                           char **err) {
        auto *g = static_cast<GuardedService *>(user);
        g->reached = true;
        const veltrona_http *inner = g->svc.http();
        int32_t rc = inner->request(inner->user_data, req, status, err);
        g->tripped_in_transport = mvtest::failalloc_tripped();
        return rc;
    }
    static void release(void *user, char *text) {
        auto *g = static_cast<GuardedService *>(user);
        g->svc.http()->free(g->svc.http()->user_data, text);
    }
};

class FilesOom : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://svc.test");
        gs.install();
        restore_previous();
        answer = new_answer();
    }
    void TearDown() override { mvtest::reset_client(); }

    // Builds (or rebuilds) the table the failing runs must leave alone.
    void restore_previous() {
        gs.svc.fallback = mvtest::Answer::json(kPrevious);
        g_sf.files_valid = 0;
        ASSERT_EQ(mvfiles_get_by_imdb("tt0000001", -1, -1), 0) << mvfiles_last_error();
    }
    void expect_previous() {
        EXPECT_EQ(mvfiles_count(), 2);
        EXPECT_STREQ(mvfiles_key(0), "old-0");
        EXPECT_STREQ(mvfiles_key(1), "old-1");
        EXPECT_STREQ(mvfiles_entry_uri(0, 1), "u1");
        EXPECT_STREQ(g_sf.files_key, kPreviousKey);
    }
    void expect_new() {
        EXPECT_EQ(mvfiles_count(), 4);
        EXPECT_STREQ(mvfiles_key(3), "new-3");
        EXPECT_EQ(mvfiles_entry_count(2), 2);
        EXPECT_EQ(mvfiles_entry_content_source(2, 0), 2);
        EXPECT_STREQ(mvfiles_entry_url(2, 1), "v");
    }

    // Judges one failing run of a look-up.
    void check_failure(long k, int32_t r) {
        // No SCOPED_TRACE here: gtest keeps its trace storage once made,
        // which the leak count would take for a leak.
        std::string msg = mvfiles_last_error();
        if (!gs.reached) {
            // Before the exchange: the look-up's own buffers, or the POST's
            // content-type line, which the request helper reports.
            bool oom = r == MVFILES_ERR_OOM && msg.compare(0, 3, "oom") == 0;
            bool ctype = r == MVFILES_ERR_TRANSPORT && msg == "transport: oom: content-type";
            EXPECT_TRUE(oom || ctype) << "allocation " << k << ": " << r << " " << msg;
            EXPECT_EQ(mvfiles_last_http_code(), 0);
        } else if (gs.tripped_in_transport) {
            // The body collector or the test transport itself ran short.
            EXPECT_EQ(r, MVFILES_ERR_TRANSPORT) << "allocation " << k << ": " << msg;
            EXPECT_TRUE(msg == "transport: oom: response body" ||
                        msg == "transport: transport failure")
                << "allocation " << k << ": " << msg;
        } else {
            // After the answer arrived: the parse or the table; never taken
            // for invalid JSON.
            EXPECT_EQ(r, MVFILES_ERR_OOM) << "allocation " << k << ": " << msg;
            EXPECT_EQ(msg, "oom: indexing files") << "allocation " << k;
            EXPECT_EQ(mvfiles_last_http_code(), 200);
        }
        expect_previous();
    }

    template <typename Op>
    long sweep(Op op) {
        long failing_runs = 0;
        long runs = mvtest::failalloc_sweep(
            [&] {
                gs.reset_marks();
                return op();
            },
            [&](long k, int32_t r, bool tripped) {
                if (tripped) {
                    failing_runs++;
                    check_failure(k, r);
                } else {
                    EXPECT_EQ(r, 0) << mvfiles_last_error();
                    expect_new();
                }
            },
            [&] {
                // A run that succeeded replaced the table: put the previous
                // one back so that the live blocks compare.
                if (std::strcmp(g_sf.files_key, kPreviousKey) != 0) restore_previous();
                gs.svc.fallback = mvtest::Answer::json(answer);
            });
        // At least the body, the parse's two blocks and the table.
        EXPECT_GE(failing_runs, 4);
        return runs;
    }

    GuardedService gs;
    std::string answer;
};

TEST_F(FilesOom, LookupByImdb) {
    gs.svc.fallback = mvtest::Answer::json(answer);
    sweep([] { return mvfiles_get_by_imdb("tt0000002", 3, -1); });
    EXPECT_STREQ(g_sf.files_key, kPreviousKey);
}

TEST_F(FilesOom, LookupByKeys) {
    static const char *const keys[] = {"key-one", "key-two-with-a-longer-text", "k3", "k4"};
    gs.svc.fallback = mvtest::Answer::json(answer);
    sweep([] { return mvfiles_get_by_keys(keys, 4); });
}

TEST_F(FilesOom, FileJson) {
    gs.svc.fallback = mvtest::Answer::json(answer);
    ASSERT_EQ(mvfiles_get_by_imdb("tt0000002", -1, -1), 0);
    // The export keeps its last text; make one so that each run replaces it.
    ASSERT_NE(mvfiles_file_json(1), nullptr);
    std::string expected = mvfiles_file_json(0);
    ASSERT_GT(expected.size(), 500u);
    long runs = mvtest::failalloc_sweep(
        [] { return mvfiles_file_json(0); },
        [&](long k, const char *text, bool tripped) {
            if (tripped)
                EXPECT_EQ(text, nullptr) << "allocation " << k;
            else
                EXPECT_EQ(std::string(text ? text : "(null)"), expected);
            EXPECT_EQ(mvfiles_count(), 4);
            EXPECT_STREQ(mvfiles_key(0), "new-0");
        },
        [] {});
    EXPECT_GE(runs, 2);
}

}  // namespace
