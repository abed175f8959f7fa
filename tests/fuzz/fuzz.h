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

#include "veltrona_http.h"

#define MVFUZZ_TARGETS(X) \
    X(files) X(kv) X(storages) X(sessions) X(delivery) X(http_utils) X(fake_server) X(fixture) X(text)
#define MVFUZZ_DECLARE(name) int mvfuzz_##name(const uint8_t *data, size_t size);
MVFUZZ_TARGETS(MVFUZZ_DECLARE)

// A wrong answer. The libFuzzer driver aborts (a finding), the replay test
// records a failure.
void mvfuzz_fail(const char *what, const char *file, int line);
#define MVFUZZ_CHECK(c) ((c) ? (void)0 : mvfuzz_fail(#c, __FILE__, __LINE__))

namespace mvfuzz {

// The input cut at every sep byte (at most max_parts pieces, the last one
// takes the rest).
std::vector<std::string> split(const uint8_t *data, size_t size, char sep, size_t max_parts = SIZE_MAX);

// One scripted answer of the host transport.
struct Reply {
    std::string status = "200";  // ":status" text
    int32_t code = 200;          // the status the request operation reports
    std::vector<std::pair<std::string, std::optional<std::string>>> headers;  // nullopt: NULL value
    std::string body;
    bool fail = false;           // no response at all
};

// A host-supplied transport answering every request with answer(method,
// url); install() hands it to the library through an io record.
struct Host {
    std::function<Reply(const std::string &method, const std::string &url)> answer;
    const veltrona_http *http() const;
    void install();
};
Host &host();

// Forgets every table so that the next look-up asks the transport.
void fresh_client();

}  // namespace mvfuzz

#endif
