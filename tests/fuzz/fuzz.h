// Fuzz targets: one plain function per door through which outside bytes
// enter the library, run by libFuzzer and by the corpus replay test alike.
#ifndef MVFILES_FUZZ_H
#define MVFILES_FUZZ_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "http/buf.h"

#define MVFUZZ_TARGETS(X) \
    X(files) X(kv) X(storages) X(sessions) X(delivery) X(http_utils) X(fake_server) X(fixture) X(text)
#define MVFUZZ_DECLARE(name) int mvfuzz_##name(const uint8_t *data, size_t size);
MVFUZZ_TARGETS(MVFUZZ_DECLARE)

// A wrong answer: the libFuzzer driver aborts (a finding), the replay test
// records a failure.
void mvfuzz_fail(const char *what, const char *file, int line);
#define MVFUZZ_CHECK(c) ((c) ? (void)0 : mvfuzz_fail(#c, __FILE__, __LINE__))

namespace mvfuzz {

// The input cut at each sep byte, into at most max_parts pieces.
std::vector<std::string> split(const uint8_t *data, size_t size, char sep, size_t max_parts = SIZE_MAX);

// One answer of the host transport; a header value nullopt is sent as NULL.
struct Reply {
    std::string status = "200";  // the ":status" text
    int32_t code = 200;          // the status the request operation reports
    std::vector<std::pair<std::string, std::optional<std::string>>> headers;
    std::string body;
};

// The host transport: answers every request with answer(url).
extern std::function<Reply(const std::string &url)> answer;
const veltrona_http *host();
// Installs the host transport through an io record and forgets every table.
void fresh_client();

// One exchange on t into a collector c (initialised here, bound 0); the
// caller frees c. Returns the request operation's result, err its text.
int32_t exchange(const veltrona_http *t, const char *method, const char *url,
                 const std::vector<const char *> &headers, veltrona_collect *c, std::string *err = nullptr);

// Calls every getter for every index from -1 to n, reading each text.
void read_text(const char *s);
inline void read_text(...) {}
template <typename... Get>
void read_rows(int32_t n, Get... get) {
    for (int32_t i = -1; i <= n; i++) (read_text(get(i)), ...);
}

}  // namespace mvfuzz

#endif
