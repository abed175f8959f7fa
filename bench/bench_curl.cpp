// Look-ups by IMDb id over the real transport against the loopback server,
// against the same number of bare libcurl requests (one easy handle each),
// on the warm heap. Prints requests per second of both and their ratio (the
// aim is at most 1.15), and what the library adds per request beside a bare
// yyjson parse of the same answer.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include "mvfiles.h"
#include "support/bench.h"

namespace {

constexpr int kRequests = 1000;
constexpr int kRounds = 3;

struct Server {
    pid_t pid = -1;
    int in_fd = -1;
    int port = 0;

    bool start() {
        int in_pipe[2], out_pipe[2];
        if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) return false;
        pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            dup2(in_pipe[0], 0);
            dup2(out_pipe[1], 1);
            close(in_pipe[1]);
            close(out_pipe[0]);
            execlp("python3", "python3", MVFILES_SOURCE_DIR "/tests/loopback_server.py", "--lifetime", "300",
                   "--fixtures", MVFILES_SOURCE_DIR "/fixtures", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(in_pipe[0]);
        close(out_pipe[1]);
        in_fd = in_pipe[1];
        char line[128] = {0};
        size_t n = 0;
        char c;
        while (n + 1 < sizeof line && read(out_pipe[0], &c, 1) == 1 && c != '\n') line[n++] = c;
        close(out_pipe[0]);
        int https = 0;
        return std::sscanf(line, "http=%d https=%d", &port, &https) == 2 && port > 0;
    }
    ~Server() {
        if (in_fd >= 0) close(in_fd);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

size_t sink(char *data, size_t size, size_t n, void *ud) {
    static_cast<std::string *>(ud)->append(data, size * n);
    return size * n;
}

std::string g_answer;  // the body of the last bare request

double run_library() {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRequests; i++) {
        mvfiles_cache_invalidate("files", nullptr);
        if (mvfiles_get_by_imdb("tt0111161", -1, -1) != MVFILES_OK) {
            std::fprintf(stderr, "look-up failed: %s\n", mvfiles_last_error());
            std::exit(1);
        }
    }
    return seconds_since(t0);
}

double run_bare(const std::string &url) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRequests; i++) {
        std::string got;
        CURL *e = curl_easy_init();
        curl_easy_setopt(e, CURLOPT_URL, url.c_str());
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, sink);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &got);
        CURLcode rc = curl_easy_perform(e);
        curl_easy_cleanup(e);
        if (rc != CURLE_OK || got.empty()) {
            std::fprintf(stderr, "bare request failed: %d\n", static_cast<int>(rc));
            std::exit(1);
        }
        g_answer.swap(got);
    }
    return seconds_since(t0);
}

}  // namespace

int main() {
    bench::print_header("real transport: look-ups against bare libcurl requests",
                        "requests: wall-clock, best of 3 rounds; parse: CPU time, median");
    if (!bench::warm_heap()) std::printf("(warm heap NOT AVAILABLE: the C library refused the settings)\n");
    Server server;
    if (!server.start()) {
        std::fprintf(stderr, "loopback server did not start\n");
        return 1;
    }
    std::string origin = "http://127.0.0.1:" + std::to_string(server.port);
    std::string url = origin + "/api/finder/getfiles?id=tt0111161";
    curl_global_init(CURL_GLOBAL_DEFAULT);
    mvfiles_set_host(origin.c_str());
    if (mvfiles_use_curl() != MVFILES_OK) {
        std::fprintf(stderr, "no real transport: %s\n", mvfiles_last_error());
        return 1;
    }
    // Warm both paths up, then keep the best of a few alternating rounds.
    run_library();
    run_bare(url);
    double lib = 1e9, bare = 1e9;
    for (int r = 0; r < kRounds; r++) {
        double a = run_library();
        double b = run_bare(url);
        if (a < lib) lib = a;
        if (b < bare) bare = b;
    }
    std::printf("library look-ups: %d in %.3f s, %.0f requests/s\n", kRequests, lib, kRequests / lib);
    std::printf("bare libcurl:     %d in %.3f s, %.0f requests/s\n", kRequests, bare, kRequests / bare);
    std::printf("ratio (library / bare time): %.3f (aim: at most 1.15)\n", lib / bare);
    std::vector<bench::Runner> parse = {{"yyjson", [] { bench::yyjson_parse(g_answer); }}};
    bench::race(parse);
    std::printf("library minus bare libcurl: %.1f us per request; bare yyjson parse of the answer (%zu bytes): %s\n",
                (lib - bare) / kRequests * 1e6, g_answer.size(), bench::fmt_time(parse[0].median).c_str());
    mvfiles_shutdown();
    return 0;
}
