// A host-supplied transport for the tests: scripted answers, and a record
// of every request exactly as the library built it.
#ifndef MVFILES_TEST_SERVICE_H
#define MVFILES_TEST_SERVICE_H

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "veltrona_http.h"

namespace mvtest {

struct Answer {
    int32_t status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool fail = false;            // no response: the request operation returns -1
    bool fail_with_text = true;   // hand out fail_text (else no error text)
    std::string fail_text = "connection refused";
    int32_t status_on_fail = 0;   // status left behind by a failing transport
    uint64_t piece = 0;           // body piece size; 0 delivers the body at once

    static Answer json(const std::string &body, int32_t status = 200) {
        Answer a;
        a.status = status;
        a.body = body;
        return a;
    }
    static Answer failure(const std::string &text = "connection refused") {
        Answer a;
        a.fail = true;
        a.fail_text = text;
        return a;
    }
};

struct Request {
    uint32_t size = 0;
    std::string method, url;
    std::vector<std::string> headers;   // the non-NULL lines, in order
    uint64_t header_count = 0;
    bool headers_null = true;
    std::string body;
    bool body_null = true;
    uint64_t body_len = 0;
    bool has_user = false, has_password = false;
    int32_t timeout_ms = 0, connect_timeout_ms = 0, recv_timeout_ms = 0;
    uint32_t flags = 0;
    veltrona_header_cb on_header = nullptr;
    veltrona_body_cb on_body = nullptr;
    void *cb_ctx = nullptr;
};

// The transport, its io context and io record; install() hands it to the
// library with mvfiles_set_io. Answers come from route() when set, else
// from the queue, else from fallback.
class Service {
public:
    Service();
    Service(const Service &) = delete;
    Service &operator=(const Service &) = delete;

    const veltrona_http *http() const { return &http_; }
    const veltrona_io *io() const { return &io_; }
    void install();

    void push(Answer a) { queue_.push_back(std::move(a)); }
    std::function<Answer(const Request &)> route;
    Answer fallback = Answer::json("[]");

    std::vector<Request> requests;
    size_t count() const { return requests.size(); }
    const Request &last() const { return requests.back(); }

private:
    static int32_t do_request(void *user, const veltrona_http_request *req, int32_t *status,
                              char **err);
    static void do_free(void *user, char *text);

    veltrona_http http_{};
    veltrona_io_ctx ctx_{};
    veltrona_io io_{};
    std::vector<Answer> queue_;
};

// Resets the client to its load state between tests of one process.
void reset_client();

}  // namespace mvtest

#endif
