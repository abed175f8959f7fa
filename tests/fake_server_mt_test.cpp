// The fake server under concurrent use: two threads send requests while a
// third replaces and adds routes and reads the counters. Also built under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "http/fake_server.h"

namespace {

constexpr const char *STATIC_URL = "http://h/static";
constexpr const char *FILE_URL = "http://h/file";
constexpr const char *DRIP_URL = "http://h/drip";
constexpr const char *POST_URL = "http://h/post";
constexpr const char *MISSING_URL = "http://h/missing";
constexpr size_t BODY = 100;

struct Got {
    int32_t status = 0;
    std::string body;
    int32_t peeked = -1;  // a counter read from inside a callback
};

int32_t on_header(void *ctx, const char *name, const char *value) {
    auto *g = static_cast<Got *>(ctx);
    // The server holds no lock during callbacks, so calling back into it
    // must not deadlock.
    if (std::strcmp(name, ":status") == 0) {
        g->status = std::atoi(value);
        g->peeked = veltrona_fake_calls(nullptr, nullptr);
    }
    return 0;
}

int32_t on_body(void *ctx, const void *data, uint64_t len) {
    static_cast<Got *>(ctx)->body.append(static_cast<const char *>(data), static_cast<size_t>(len));
    return 0;
}

int32_t send(const char *method, const char *url, const char *range, Got *g) {
    const char *lines[1] = {range};
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = method;
    req.url = url;
    req.headers = range ? lines : nullptr;
    req.header_count = range ? 1 : 0;
    req.on_header = on_header;
    req.on_body = on_body;
    req.cb_ctx = g;
    const veltrona_http *t = veltrona_http_fake();
    int32_t status = 0;
    char *err = nullptr;
    int32_t rc = t->request(t->user_data, &req, &status, &err);
    if (err) t->free(t->user_data, err);
    return rc == 0 ? status : -1;
}

// A body made of one repeated letter: a torn copy would mix two letters.
bool uniform(const std::string &s, size_t len) {
    if (s.size() != len) return false;
    for (char c : s) {
        if (c != s[0] || (c != 'A' && c != 'B')) return false;
    }
    return true;
}

class FakeServerMt : public ::testing::Test {
protected:
    void SetUp() override { veltrona_fake_reset(); }
    void TearDown() override { veltrona_fake_reset(); }
};

TEST_F(FakeServerMt, ConcurrentRequestsAndRouteChanges) {
    const std::string a(BODY, 'A'), b(BODY, 'B');
    ASSERT_EQ(veltrona_fake_set("GET", STATIC_URL, 200, "X-Kind: static\n", a.data(), a.size()), 0);
    ASSERT_EQ(veltrona_fake_file(FILE_URL, a.data(), a.size(), FAKE_RANGE_CLAMP), 0);
    ASSERT_EQ(veltrona_fake_drip(DRIP_URL, 200, a.data(), a.size(), 2), 0);
    ASSERT_EQ(veltrona_fake_set("POST", POST_URL, 201, nullptr, nullptr, 0), 0);

    constexpr int ROUNDS = 60;
    std::atomic<int> senders_left{2};
    std::atomic<int> bad{0};

    auto sender = [&](int id) {
        for (int i = 0; i < ROUNDS; ++i) {
            Got st, fi, po, mi;
            if (send("GET", STATIC_URL, nullptr, &st) != 200 || !uniform(st.body, BODY)) ++bad;
            if (send("GET", FILE_URL, "Range: bytes=10-19", &fi) != 206 || !uniform(fi.body, 10)) ++bad;
            if (send("POST", POST_URL, nullptr, &po) != 201 || !po.body.empty()) ++bad;
            if (send("GET", MISSING_URL, nullptr, &mi) != 404 || mi.peeked < 1) ++bad;
            if ((i + id) % 6 == 0) {
                Got dr;
                if (send("GET", DRIP_URL, nullptr, &dr) != 200 || !uniform(dr.body, BODY)) ++bad;
            }
        }
        --senders_left;
    };

    std::atomic<int> replaced{0};
    auto changer = [&]() {
        int32_t last_total = 0;
        int round = 0;
        while (senders_left.load() > 0) {
            const std::string &body = (round % 2) ? b : a;
            if (veltrona_fake_set("GET", STATIC_URL, 200, "X-Kind: static\n", body.data(), body.size()) != 0 ||
                veltrona_fake_file(FILE_URL, body.data(), body.size(), FAKE_RANGE_CLAMP) != 0 ||
                veltrona_fake_drip(DRIP_URL, 200, body.data(), body.size(), 2) != 0)
                ++bad;
            // New routes make the table grow while others look routes up.
            if (round < 100) {
                std::string url = "http://h/extra/" + std::to_string(round);
                if (veltrona_fake_set("GET", url.c_str(), 200, nullptr, "x", 1) != 0) ++bad;
            }
            int32_t total = veltrona_fake_calls(nullptr, nullptr);
            if (total < last_total) ++bad;
            last_total = total;
            (void)veltrona_fake_calls_method("GET");
            (void)veltrona_fake_writes_sent();
            (void)veltrona_fake_calls("GET", STATIC_URL);
            ++round;
            ++replaced;
            std::this_thread::yield();
        }
    };

    std::thread t1(sender, 0), t2(sender, 1), t3(changer);
    t1.join();
    t2.join();
    t3.join();

    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(replaced.load(), 0);

    int drips = 0;
    for (int id = 0; id < 2; ++id) {
        for (int i = 0; i < ROUNDS; ++i) drips += (i + id) % 6 == 0;
    }
    const int32_t per_route = 2 * ROUNDS;
    EXPECT_EQ(veltrona_fake_calls("GET", STATIC_URL), per_route);
    EXPECT_EQ(veltrona_fake_calls("GET", FILE_URL), per_route);
    EXPECT_EQ(veltrona_fake_calls("POST", POST_URL), per_route);
    EXPECT_EQ(veltrona_fake_calls("GET", DRIP_URL), drips);
    EXPECT_EQ(veltrona_fake_calls("GET", MISSING_URL), 0);
    EXPECT_EQ(veltrona_fake_writes_sent(), per_route);
    const int32_t total = 4 * per_route + drips;
    EXPECT_EQ(veltrona_fake_calls(nullptr, nullptr), total);
    // Every handled request is either answered by a route or a 404.
    EXPECT_EQ(veltrona_fake_calls_method("GET") + veltrona_fake_calls_method("POST") + per_route, total);
    // With every thread joined the journal may be read.
    ASSERT_NE(veltrona_fake_last_request(), nullptr);
    EXPECT_EQ(std::strncmp(veltrona_fake_last_request(), "{\"method\":", 10), 0);
}

TEST_F(FakeServerMt, ResetWhileRequestsAreServed) {
    const std::string a(BODY, 'A');
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<int> sent{0};
    auto sender = [&]() {
        for (int i = 0; i < 50 || !stop.load(); ++i) {
            Got g;
            int32_t st = send("GET", STATIC_URL, nullptr, &g);
            ++sent;
            // Either the route was there and answered whole, or it was gone.
            if (!((st == 200 && uniform(g.body, BODY)) || (st == 404 && g.body.empty()))) ++bad;
        }
    };
    auto resetter = [&]() {
        for (int i = 0; i < 100; ++i) {
            if (veltrona_fake_set("GET", STATIC_URL, 200, nullptr, a.data(), a.size()) != 0) ++bad;
            std::this_thread::yield();
            veltrona_fake_reset();
        }
        stop = true;
    };
    std::thread t1(sender), t2(sender), t3(resetter);
    t1.join();
    t2.join();
    t3.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(sent.load(), 0);
    EXPECT_LE(veltrona_fake_calls(nullptr, nullptr), sent.load());
}

}  // namespace
