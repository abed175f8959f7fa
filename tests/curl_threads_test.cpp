// The real transport starts no thread of its own, not even to resolve a
// host name: every pthread_create of this binary is counted.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "http/buf.h"
#include "http/real_transport.h"
#include "support/loopback.h"

namespace {
std::atomic<int> g_threads{0};
}

extern "C" int pthread_create(pthread_t *t, const pthread_attr_t *attr, void *(*fn)(void *),
                              void *arg) {
    using real_fn = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static real_fn real = reinterpret_cast<real_fn>(dlsym(RTLD_NEXT, "pthread_create"));
    g_threads++;
    return real(t, attr, fn, arg);
}

namespace {

// A name other than "localhost" (which libcurl answers without resolving)
// that this machine resolves to 127.0.0.1, or "" when there is none.
std::string loopback_name() {
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return "";
    struct addrinfo hints {};
    hints.ai_family = AF_INET;
    struct addrinfo *list = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &list) != 0) return "";
    bool loopback = false;
    for (auto *a = list; a; a = a->ai_next)
        if (reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr.s_addr == htonl(INADDR_LOOPBACK))
            loopback = true;
    freeaddrinfo(list);
    return loopback ? name : "";
}

TEST(CurlThreads, HostNamesAreResolvedOnTheCallingThread) {
    mvtest::Loopback server;
    ASSERT_TRUE(server.start(MVFILES_TESTS_DIR "/loopback_server.py")) << server.why();
    const veltrona_http *t = veltrona_http_curl();
    ASSERT_NE(t, nullptr);
    std::string host = loopback_name();
    if (host.empty()) GTEST_SKIP() << "the host name does not resolve to 127.0.0.1";
    std::string url = "http://" + host + ":" + std::to_string(server.port()) + "/echo";

    g_threads = 0;
    for (int i = 0; i < 3; i++) {
        veltrona_collect c;
        veltrona_collect_init(&c, 0);
        veltrona_http_request req{};
        req.size = VELTRONA_HTTP_REQUEST_SIZE;
        req.method = "GET";
        req.url = url.c_str();
        req.timeout_ms = 5000;
        req.on_header = veltrona_collect_header;
        req.on_body = veltrona_collect_body;
        req.cb_ctx = &c;
        int32_t status = 0;
        char *err = nullptr;
        int32_t rc = t->request(t->user_data, &req, &status, &err);
        EXPECT_EQ(rc, 0) << (err ? err : "");
        EXPECT_EQ(status, 200);
        EXPECT_GT(c.body.len, 0u);
        if (err) t->free(t->user_data, err);
        veltrona_collect_free(&c);
    }
    EXPECT_EQ(g_threads.load(), 0);
}

}  // namespace
